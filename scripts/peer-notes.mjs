// The second reading for scripts/peer-check.sh: reads charts with bms-js (the npm package `bms`,
// installed outside the repository) and compares its notes with Quillon's `--dump --notes`.
//
//   node scripts/peer-notes.mjs notes CHART
//     prints {"notes": [[TimeMs, Lane, Value, EndTimeMs], ...]} as bms-js reads CHART, every
//     #RANDOM taking branch 1, sorted by time, then lane.
//   node scripts/peer-notes.mjs compare OURS.json PEER.json
//     prints one line per difference: KIND LANE ID OURS_MS PEER_MS, KIND one of time, end,
//     only-ours, only-peer; ID the two base-36 characters of the keysound id (a number from 1296
//     on), a time "null" where that side has none.
//
// The bms package is found in $QUILLON_PEER_DIR/node_modules (see peer-check.sh).
import { createRequire } from 'node:module';
import { readFileSync } from 'node:fs';
import { join } from 'node:path';
import { pathToFileURL } from 'node:url';

const kToleranceMs = 1;

// bms-js's IIDX double-play columns, back to the key channels they come from.
const kLaneOfColumn = {
  1: 11, 2: 12, 3: 13, 4: 14, 5: 15, 6: 18, 7: 19, SC: 16,
  8: 21, 9: 22, 10: 23, 11: 24, 12: 25, 13: 28, 14: 29, SC2: 26,
};

function loadBms() {
  const dir = process.env.QUILLON_PEER_DIR;
  if (!dir) throw new Error('QUILLON_PEER_DIR is not set');
  return createRequire(join(dir, 'package.json'))('bms');
}

function byTimeThenLane(a, b) {
  return a[0] - b[0] || a[1] - b[1];
}

export function peerNotes(bms, buffer) {
  const text = bms.Reader.read(buffer);
  const { chart } = bms.Compiler.compile(text, { rng: () => 1 });
  const timing = bms.Timing.fromBMSChart(chart);
  const ms = (beat) => timing.beatToSeconds(beat) * 1000;
  const notes = [];
  for (const note of bms.Notes.fromBMSChart(chart, {
    mapping: bms.Notes.CHANNEL_MAPPING.IIDX_DP,
  }).all()) {
    const lane = kLaneOfColumn[note.column];
    if (lane === undefined) continue; // 01, 17/27, 20, mines: no column
    const end = note.endBeat === undefined ? null : ms(note.endBeat);
    notes.push([ms(note.beat), lane, parseInt(note.keysound, 36), end]);
  }
  return notes.sort(byTimeThenLane);
}

function idText(value) {
  if (!Number.isInteger(value) || value < 0 || value >= 36 * 36) return String(value);
  return value.toString(36).toUpperCase().padStart(2, '0');
}

function msText(ms) {
  return ms === null ? 'null' : ms.toFixed(3);
}

function close(a, b) {
  if (a === null || b === null) return a === b;
  return Math.abs(a - b) <= kToleranceMs;
}

// Pairs the notes of one lane and id: first those within the tolerance of each other, then the
// rest in time order; what is left over is on one side only.
export function compareNotes(ours, peer) {
  const groups = new Map();
  const group = (note) => {
    const key = `${note[1]} ${note[2]}`;
    if (!groups.has(key)) groups.set(key, { ours: [], peer: [] });
    return groups.get(key);
  };
  for (const note of ours) group(note).ours.push(note);
  for (const note of peer) group(note).peer.push(note);

  const differences = [];
  for (const { ours: a, peer: b } of groups.values()) {
    const takenB = new Set();
    const pairs = [];
    const restA = [];
    for (const note of a) {
      const j = b.findIndex((other, k) => !takenB.has(k) && close(note[0], other[0]));
      if (j < 0) {
        restA.push(note);
      } else {
        takenB.add(j);
        pairs.push([note, b[j]]);
      }
    }
    const restB = b.filter((_, k) => !takenB.has(k));
    const n = Math.min(restA.length, restB.length);
    for (let k = 0; k < n; ++k) pairs.push([restA[k], restB[k]]);
    for (const [x, y] of pairs) {
      if (!close(x[0], y[0])) differences.push(['time', x, x[0], y[0]]);
      else if (!close(x[3], y[3])) differences.push(['end', x, x[3], y[3]]);
    }
    for (const x of restA.slice(n)) differences.push(['only-ours', x, x[0], null]);
    for (const y of restB.slice(n)) differences.push(['only-peer', y, null, y[0]]);
  }
  differences.sort((p, q) => byTimeThenLane(p[1], q[1]) || p[0].localeCompare(q[0]));
  return differences.map(
    ([kind, note, mine, theirs]) =>
      `${kind} ${note[1]} ${idText(note[2])} ${msText(mine)} ${msText(theirs)}`,
  );
}

function main(argv) {
  if (argv[0] === 'notes' && argv.length === 2) {
    const notes = peerNotes(loadBms(), readFileSync(argv[1]));
    process.stdout.write(JSON.stringify({ notes }) + '\n');
    return 0;
  }
  if (argv[0] === 'compare' && argv.length === 3) {
    const [ours, peer] = argv.slice(1).map((f) => JSON.parse(readFileSync(f, 'utf8')).notes);
    if (!Array.isArray(ours) || !Array.isArray(peer)) throw new Error('no "notes" array');
    for (const line of compareNotes(ours, peer)) process.stdout.write(line + '\n');
    return 0;
  }
  process.stderr.write('usage: peer-notes.mjs notes CHART | compare OURS.json PEER.json\n');
  return 2;
}

if (import.meta.url === pathToFileURL(process.argv[1]).href) {
  try {
    process.exitCode = main(process.argv.slice(2));
  } catch (error) {
    process.stderr.write(`peer-notes: ${error.message}\n`);
    process.exitCode = 2;
  }
}
