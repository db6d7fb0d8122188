#include "chart/sort.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <utility>
#include <vector>

namespace quillon {
namespace {

// The quicksort written plainly, recursion and all: the order SortObjects must reproduce.
void ReferenceSort(std::vector<BmsObject>& t, int lo, int hi) {
  if (lo >= hi) return;
  const int mid = static_cast<int>(std::nearbyint((lo + hi) / 2.0));
  std::swap(t[lo], t[mid]);
  int last = lo;
  for (int i = lo + 1; i <= hi; ++i)
    if (t[i].Position < t[lo].Position) std::swap(t[++last], t[i]);
  std::swap(t[lo], t[last]);
  ReferenceSort(t, lo, last - 1);
  ReferenceSort(t, last + 1, hi);
}

// Records whose Value is their original index, so every permutation is visible.
std::vector<BmsObject> Numbered(const std::vector<int32_t>& positions) {
  std::vector<BmsObject> t;
  for (size_t i = 0; i < positions.size(); ++i)
    t.push_back({.Channel = 11,
                 .Position = static_cast<double>(positions[i]),
                 .Value = static_cast<int16_t>(i)});
  return t;
}

BmsObject Bar(int32_t position, int16_t measure) {
  return {
      .Channel = channel::kBarLine, .Position = static_cast<double>(position), .Measure = measure};
}

BmsObject Note(int32_t position, int16_t value) {
  return {.Channel = 11, .Position = static_cast<double>(position), .Value = value};
}

TEST(SortObjects, MatchesTheQuicksortOrderOnRandomInput) {
  std::mt19937 rng(20240601);
  for (int round = 0; round < 3000; ++round) {
    const int n = static_cast<int>(rng() % 61);
    const int distinct = static_cast<int>(rng() % 8) + 1;  // many ties
    std::vector<int32_t> positions;
    for (int i = 0; i < n; ++i)
      positions.push_back(static_cast<int>(rng() % distinct) * 48 - (round % 7 == 0 ? 96 : 0));
    std::vector<BmsObject> expected = Numbered(positions);
    std::vector<BmsObject> actual = expected;
    ReferenceSort(expected, 0, n - 1);
    SortObjects(actual, 0, n - 1);
    ASSERT_EQ(actual, expected) << "round " << round;
  }
}

// A chart-sized table the way the compiler leaves it (a bar line, then the channel lines, measure
// by measure) gets the quicksort order too, not the fallback's; so does a range of it.
TEST(SortObjects, ChartSizedTableAndRangesKeepTheQuicksortOrder) {
  std::mt19937 rng(7);
  std::vector<int32_t> positions;
  for (int32_t start = 0; positions.size() < 10001; start += 192) {
    positions.push_back(start);
    for (int line = 0; line < 10; ++line) {
      for (int32_t k = 0; k < 192; k += 12)
        if (rng() % 3 == 0) positions.push_back(start + k);
    }
  }
  positions.resize(10001);
  for (auto [lo, hi] : {std::pair{0, 10000}, {2, 6}, {-5, 20000}}) {
    std::vector<BmsObject> t = Numbered(positions);
    std::vector<BmsObject> expected = t;
    ReferenceSort(expected, std::max(lo, 0), std::min(hi, 10000));
    SortObjects(t, lo, hi);
    EXPECT_EQ(t, expected) << lo << ".." << hi;
  }
}

TEST(SortObjects, DegenerateInputsFinishSorted) {
  const int n = 100'000;
  std::vector<std::vector<int32_t>> cases(4, std::vector<int32_t>(n, 384));  // the first all equal
  for (int i = 0; i < n; ++i) {
    cases[1][i] = i;
    cases[2][i] = n - i;
    cases[3][i] = i % 2 * 192;
  }
  for (std::vector<int32_t>& positions : cases) {
    std::vector<BmsObject> t = Numbered(positions);
    SortObjects(t, 0, n - 1);
    std::sort(positions.begin(), positions.end());
    for (int i = 0; i < n; ++i)
      ASSERT_EQ(t[i].Position, positions[i]) << "case " << &positions - cases.data();
  }
}

TEST(RaiseBarLines, MovesEachBarLineUpToLastToTheFrontOfItsPosition) {
  std::vector<BmsObject> t{Note(0, 1),   Note(0, 2),  Bar(0, 0),   Note(96, 3),
                           Note(192, 4), Bar(192, 1), Bar(192, 2), Bar(192, 3)};
  RaiseBarLines(t, 6);
  // Each bar line swaps with the first record of its run.
  const std::vector<BmsObject> raised{Bar(0, 0),   Note(0, 2),   Note(0, 1),  Note(96, 3),
                                      Bar(192, 2), Note(192, 4), Bar(192, 1), Bar(192, 3)};
  EXPECT_EQ(t, raised);
  RaiseBarLines(t, 99);  // clipped to the table
  EXPECT_EQ(t[4], Bar(192, 3));

  // Negative measure lengths can put records before position 0; bar line 0 must not jump ahead
  // of them and unsort the table.
  t = {Note(-96, 1), Bar(-96, 2), Note(0, 2), Bar(0, 0)};
  RaiseBarLines(t, 3);
  EXPECT_EQ(t, (std::vector<BmsObject>{Bar(-96, 2), Note(-96, 1), Bar(0, 0), Note(0, 2)}));
}

}  // namespace
}  // namespace quillon
