// Putting the compiled objects in position order.
#pragma once

#include <cstdint>
#include <vector>

#include "chart/model.h"

namespace quillon {

// Sorts records lo..hi of `table` by Position ascending. The order of records that share a
// position is the one a middle-pivot quicksort (Lomuto partition, pivot swapped to lo) gives;
// an input that would make it degenerate (far more work than n log n) has its unsorted rest
// finished by a stable merge sort instead, so the sort always ends in O(n log n) and never
// recurses.
void SortObjects(std::vector<BmsObject>& table, int32_t lo, int32_t hi);

// After sorting: moves each bar line to the front of the run of records at its position.
void RaiseBarLines(std::vector<BmsObject>& table, int32_t last);

}  // namespace quillon
