// Sorting the compiled objects by position, and raising bar lines to the front of their position.
//
// The order of records that share a position is part of the loaded chart (playback fires them in
// table order), so SortObjects reproduces one particular quicksort step for step:
//
//   1. a range lo..hi with lo >= hi is done;
//   2. mid = (lo + hi) / 2, a half rounded to the even neighbour; records lo and mid swap;
//   3. Lomuto partition against record lo: last = lo; every record i in lo+1..hi whose Position
//      is strictly less than record lo's moves to ++last;
//   4. records lo and last swap;
//   5. the ranges lo..last-1 and last+1..hi are sorted the same way.
//
// Ranges wait on an explicit stack instead of recursing, so no input can overflow the call
// stack; the sides of one partition are disjoint, so the order they are taken in does not change
// the result. The smaller side is taken first, which keeps the stack O(log n) deep.
//
// Equal positions are this quicksort's weak spot: a run of k equal positions costs k²/2
// comparisons, and all-equal input degenerates to n²/2. Every partition is therefore paid for
// from a budget of 16·n·(⌈log2 n⌉ + 1) + 1,000,000 comparisons, a multiple of what the
// quicksort needs on any real chart (a 10,001-record chart uses well under a tenth of it). A
// partition that would overdraw the budget is not started: that range and every range still
// waiting are finished with a stable sort by Position instead. The result is always sorted by
// Position, in O(n log n) time after the budget; only the order inside runs of equal positions
// then differs from the pure quicksort.
#include "chart/sort.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <utility>

namespace quillon {
namespace {

struct Range {
  int32_t lo;
  int32_t hi;
};

// (lo + hi) / 2 with a half rounded to the even neighbour.
int32_t MiddleIndex(int32_t lo, int32_t hi) {
  const int64_t sum = int64_t{lo} + int64_t{hi};
  int64_t mid = sum / 2;
  if (sum % 2 != 0 && mid % 2 != 0) ++mid;
  return static_cast<int32_t>(mid);
}

// The quicksort runs on 8-byte keys, not on the 16-byte records: the high half is the position
// (biased so that unsigned order is signed order), the low half the record's index. The steps
// look at positions only, so they permute the keys exactly as they would permute the records;
// the records are then moved once into the order the keys end in.
using Key = uint64_t;

Key MakeKey(int32_t position, uint32_t index) {
  return (static_cast<Key>(static_cast<uint32_t>(position) ^ 0x80000000u) << 32) | index;
}
uint32_t PositionBits(Key key) {
  return static_cast<uint32_t>(key >> 32);
}
uint32_t IndexOf(Key key) {
  return static_cast<uint32_t>(key);
}

// Steps 2 to 4 on keys lo..hi (lo < hi); returns where the pivot ends.
//
// The loop is the Lomuto partition without a branch on the comparison: both candidate keys are
// read and written back either swapped or as they were. This gives exactly the permutation of the
// plain "if smaller: swap(++last, i)" loop (when last + 1 == i both writes store the same key),
// and compiles to conditional moves, which matters where the comparison is unpredictable.
int32_t Partition(Key* keys, int32_t lo, int32_t hi) {
  std::swap(keys[lo], keys[MiddleIndex(lo, hi)]);
  const uint32_t pivot = PositionBits(keys[lo]);
  int32_t last = lo;
  for (int32_t i = lo + 1; i <= hi; ++i) {
    const Key current = keys[i];
    const Key first_not_smaller = keys[last + 1];
    const bool smaller = PositionBits(current) < pivot;
    // Masks rather than ?: so that the compiler cannot turn the selection back into a branch.
    const Key swap_bits = (current ^ first_not_smaller) & (Key{0} - Key{smaller});
    keys[i] = current ^ swap_bits;
    keys[last + 1] = first_not_smaller ^ swap_bits;
    last += static_cast<int32_t>(smaller);
  }
  std::swap(keys[lo], keys[last]);
  return last;
}

// The classic reading's positions are whole and fit 32 bits; anything else is clamped so the
// conversion stays defined.
int32_t ClassicPosition(double position) {
  if (!(position > INT32_MIN)) return INT32_MIN;
  if (position >= INT32_MAX) return INT32_MAX;
  return static_cast<int32_t>(position);
}

uint64_t ComparisonBudget(uint64_t n) {
  const uint64_t log2_ceil = n > 1 ? static_cast<uint64_t>(std::bit_width(n - 1)) : 0;
  return 16 * n * (log2_ceil + 1) + 1'000'000;
}

void StableSortRange(Key* keys, Range r) {
  std::stable_sort(keys + r.lo, keys + r.hi + 1,
                   [](Key a, Key b) { return PositionBits(a) < PositionBits(b); });
}

// The quicksort proper over keys[0..n-1].
void SortKeys(std::vector<Key>& key_table) {
  Key* keys = key_table.data();
  const int32_t hi = static_cast<int32_t>(key_table.size()) - 1;
  const uint64_t budget = ComparisonBudget(key_table.size());
  uint64_t spent = 0;
  std::vector<Range> pending{{0, hi}};
  while (!pending.empty()) {
    const Range r = pending.back();
    pending.pop_back();
    const auto cost = static_cast<uint64_t>(r.hi - r.lo);
    if (spent + cost > budget) {
      StableSortRange(keys, r);
      for (const Range& rest : pending)
        StableSortRange(keys, rest);
      return;
    }
    spent += cost;
    const int32_t last = Partition(keys, r.lo, r.hi);
    Range left{r.lo, last - 1};
    Range right{last + 1, r.hi};
    if (left.hi - left.lo < right.hi - right.lo) std::swap(left, right);
    // `left` is now the larger side: it waits below the smaller one.
    if (left.lo < left.hi) pending.push_back(left);
    if (right.lo < right.hi) pending.push_back(right);
  }
}

}  // namespace

void SortObjects(std::vector<BmsObject>& table, int32_t lo, int32_t hi) {
  // Indices outside the table are clipped to it.
  if (table.empty()) return;
  lo = std::max(lo, 0);
  hi = static_cast<int32_t>(std::min<int64_t>(hi, static_cast<int64_t>(table.size()) - 1));
  if (lo >= hi) return;

  const auto n = static_cast<uint32_t>(hi - lo + 1);
  std::vector<Key> keys(n);
  for (uint32_t i = 0; i < n; ++i)
    keys[i] = MakeKey(ClassicPosition(table[lo + i].Position), i);
  SortKeys(keys);
  const std::vector<BmsObject> before(table.begin() + lo, table.begin() + hi + 1);
  for (uint32_t i = 0; i < n; ++i)
    table[lo + i] = before[IndexOf(keys[i])];
}

void RaiseBarLines(std::vector<BmsObject>& table, int32_t last) {
  if (table.empty()) return;
  last = static_cast<int32_t>(std::min<int64_t>(last, static_cast<int64_t>(table.size()) - 1));
  if (last < 0) return;

  // The first group starts at record 0 with the highest position seen taken as 0, so the records
  // at position 0 (bar line 0 among them) form it. When the table starts below 0 (negative
  // measure lengths), the first group is the run at the first record's position instead: taking
  // 0 there would pull bar line 0 in front of the negative positions and unsort the table.
  double group_max = std::min(table[0].Position, 0.0);
  int32_t group_start = 0;
  for (int32_t i = 0; i <= last; ++i) {
    if (table[i].Position > group_max) {
      group_max = table[i].Position;
      group_start = i;
    } else if (table[i].Channel == channel::kBarLine) {
      std::swap(table[group_start], table[i]);
    }
  }
}

}  // namespace quillon
