#include "chart/sort.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
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
  for (int i = lo + 1; i <= hi; ++i) {
    if (t[i].Position < t[lo].Position) std::swap(t[++last], t[i]);
  }
  std::swap(t[lo], t[last]);
  ReferenceSort(t, lo, last - 1);
  ReferenceSort(t, last + 1, hi);
}

// Records whose Value is their original index, so every permutation is visible.
std::vector<BmsObject> Numbered(const std::vector<int32_t>& positions) {
  std::vector<BmsObject> t;
  for (size_t i = 0; i < positions.size(); ++i) {
    t.push_back({.Channel = 11, .Position = positions[i], .Value = static_cast<int16_t>(i)});
  }
  return t;
}

bool SortedByPosition(const std::vector<BmsObject>& t) {
  return std::is_sorted(t.begin(), t.end(), [](const BmsObject& a, const BmsObject& b) {
    return a.Position < b.Position;
  });
}

BmsObject Bar(int32_t position, int16_t measure) {
  return {.Channel = channel::kBarLine, .Position = position, .Measure = measure};
}

BmsObject Note(int32_t position, int16_t value) {
  return {.Channel = 11, .Position = position, .Value = value};
}

TEST(SortObjects, MatchesTheQuicksortOrderOnRandomInput) {
  std::mt19937 rng(20240601);
  for (int round = 0; round < 3000; ++round) {
    const int n = std::uniform_int_distribution<int>(0, 60)(rng);
    const int distinct = std::uniform_int_distribution<int>(1, 8)(rng);  // many ties
    std::vector<int32_t> positions;
    for (int i = 0; i < n; ++i) {
      positions.push_back(std::uniform_int_distribution<int>(0, distinct - 1)(rng) * 48 -
                          (round % 7 == 0 ? 96 : 0));
    }
    std::vector<BmsObject> expected = Numbered(positions);
    std::vector<BmsObject> actual = expected;
    ReferenceSort(expected, 0, n - 1);
    SortObjects(actual, 0, n - 1);
    ASSERT_EQ(actual, expected) << "round " << round;
  }
}

TEST(SortObjects, SortsOnlyTheGivenRange) {
  std::vector<BmsObject> t = Numbered({9, 8, 5, 5, 1, 5, 0, 7});
  std::vector<BmsObject> expected = t;
  ReferenceSort(expected, 2, 6);
  SortObjects(t, 2, 6);
  EXPECT_EQ(t, expected);
  EXPECT_EQ(t[0].Position, 9);
  EXPECT_EQ(t[7].Position, 7);
}

TEST(SortObjects, ClipsIndicesOutsideTheTable) {
  std::vector<BmsObject> t = Numbered({3, 1, 2});
  SortObjects(t, -5, 100);
  EXPECT_TRUE(SortedByPosition(t));
  std::vector<BmsObject> empty;
  SortObjects(empty, 0, 10);
  EXPECT_TRUE(empty.empty());
}

// A full table the way the compiler leaves it: bar lines, then channel lines measure by
// measure with chords and background sounds sharing positions.
TEST(SortObjects, ChartSizedTableKeepsTheQuicksortOrder) {
  std::mt19937 rng(7);
  std::vector<BmsObject> t;
  int16_t measure = 0;
  while (t.size() < 10001) {
    const int32_t start = measure * 192;
    t.push_back(Bar(start, measure));
    for (int ch : {1, 1, 11, 12, 13, 14, 15, 16, 18, 19}) {
      const int slots = ch == 1 ? 4 : 16;
      for (int k = 0; k < slots && t.size() < 10001; ++k) {
        if (rng() % 3 == 0) {
          t.push_back({.Channel = static_cast<int16_t>(ch),
                       .Position = start + 192 / slots * k,
                       .Value = static_cast<int16_t>(t.size() % 255 + 1)});
        }
      }
    }
    ++measure;
  }
  t.resize(10001);
  std::vector<BmsObject> expected = t;
  ReferenceSort(expected, 0, 10000);
  SortObjects(t, 0, 10000);
  EXPECT_EQ(t, expected);
}

TEST(SortObjects, DegenerateInputsFinishSorted) {
  const int n = 100'000;
  struct Case {
    const char* name;
    std::vector<int32_t> positions;
  };
  std::vector<Case> cases{{"all equal", std::vector<int32_t>(n, 384)},
                          {"sorted", {}},
                          {"reverse", {}},
                          {"two values", {}}};
  for (int i = 0; i < n; ++i) {
    cases[1].positions.push_back(i);
    cases[2].positions.push_back(n - i);
    cases[3].positions.push_back(i % 2 * 192);
  }
  for (const Case& c : cases) {
    std::vector<BmsObject> t = Numbered(c.positions);
    const auto start = std::chrono::steady_clock::now();
    SortObjects(t, 0, n - 1);
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    EXPECT_TRUE(SortedByPosition(t)) << c.name;
    std::vector<int32_t> sorted_positions = c.positions;
    std::sort(sorted_positions.begin(), sorted_positions.end());
    for (int i = 0; i < n; ++i)
      ASSERT_EQ(t[i].Position, sorted_positions[i]) << c.name;
    // Generous: sanitizer and debug builds are many times slower than a release build.
    EXPECT_LT(took.count(), 10.0) << c.name;
  }
}

TEST(RaiseBarLines, MovesEachBarLineToTheFrontOfItsPosition) {
  std::vector<BmsObject> t{Note(0, 1),   Note(0, 2),   Bar(0, 0),  Note(96, 3),
                           Note(192, 4), Note(192, 5), Bar(192, 1)};
  RaiseBarLines(t, 6);
  // Each bar line swaps with the first record of its run.
  EXPECT_EQ(t, (std::vector<BmsObject>{Bar(0, 0), Note(0, 2), Note(0, 1), Note(96, 3), Bar(192, 1),
                                       Note(192, 5), Note(192, 4)}));
}

TEST(RaiseBarLines, TwoBarLinesAtOnePositionSwap) {
  std::vector<BmsObject> t{Bar(0, 0), Bar(192, 1), Bar(192, 2), Note(200, 1)};
  RaiseBarLines(t, 3);
  EXPECT_EQ(t[1], Bar(192, 2));
  EXPECT_EQ(t[2], Bar(192, 1));
}

TEST(RaiseBarLines, LeavesRecordsAfterLastAlone) {
  std::vector<BmsObject> t{Bar(0, 0), Note(192, 1), Bar(192, 1)};
  RaiseBarLines(t, 1);
  EXPECT_EQ(t[2], Bar(192, 1));
  RaiseBarLines(t, 99);  // clipped to the table
  EXPECT_EQ(t[1], Bar(192, 1));
}

// Negative measure lengths can put records before position 0; bar line 0 must not jump ahead of
// them and unsort the table.
TEST(RaiseBarLines, KeepsNegativePositionsInOrder) {
  std::vector<BmsObject> t{Note(-96, 1), Bar(-96, 2), Note(0, 2), Bar(0, 0)};
  RaiseBarLines(t, 3);
  EXPECT_EQ(t[0], Bar(-96, 2));
  EXPECT_EQ(t[1], Note(-96, 1));
  EXPECT_EQ(t[2], Bar(0, 0));
  EXPECT_EQ(t[3], Note(0, 2));
}

}  // namespace
}  // namespace quillon
