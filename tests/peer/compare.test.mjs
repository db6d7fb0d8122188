// The comparison scripts/peer-check.sh trusts: run with `node --test tests/peer`.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { compareNotes } from '../../scripts/peer-notes.mjs';

test('notes within a millisecond agree, a note more is named on its side', () => {
  const ours = [[1000, 11, 1, null], [1500.4, 12, 36, 2000], [2000, 11, 1, null]];
  const peer = [[1000.9, 11, 1, null], [1500, 12, 36, 2000.6]];
  assert.deepEqual(compareNotes(ours, peer), ['only-ours 11 01 2000.000 null']);
  assert.deepEqual(compareNotes(peer, ours), ['only-peer 11 01 null 2000.000']);
});

test('an extra note does not shift the pairing of the others', () => {
  const ours = [[1000, 11, 1, null], [2000, 11, 1, null], [3000, 11, 1, null]];
  const peer = [[2000, 11, 1, null], [3000, 11, 1, null]];
  assert.deepEqual(compareNotes(ours, peer), ['only-ours 11 01 1000.000 null']);
});

test('lane and id must both match; a moved note is a time difference', () => {
  const ours = [[1000, 11, 1295, null], [2000, 12, 1, null]];
  const peer = [[1000, 11, 1295, null], [2001.5, 12, 1, null], [1000, 13, 1295, null]];
  assert.deepEqual(compareNotes(ours, peer), [
    'only-peer 13 ZZ null 1000.000',
    'time 12 01 2000.000 2001.500',
  ]);
});

test('a long-note end differs when it moves or when one side has none', () => {
  const ours = [[0, 16, 10, 500], [0, 26, 10, null]];
  const peer = [[0, 16, 10, 502], [0, 26, 10, 400]];
  assert.deepEqual(compareNotes(ours, peer), [
    'end 16 0A 500.000 502.000',
    'end 26 0A null 400.000',
  ]);
});
