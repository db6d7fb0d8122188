// Searching the line list for the parts of #RANDOM blocks.
//
// A block is "#RANDOM n" followed by branches "#IF k" ... "#ENDIF". The compiler jumps forward
// to the chosen "#IF k" line, and from the end of a branch past the last branch. When such a
// target does not exist, it skips the block by its structure instead (EndOfBranchRun), so a
// broken block never swallows the rest of the chart.
#pragma once

#include <cstddef>
#include <string_view>
#include <vector>

namespace quillon {

inline constexpr size_t kNoLine = static_cast<size_t>(-1);

// Index of the first line at or after `from` that contains `needle`; kNoLine when none does.
size_t FindLineContaining(const std::vector<std::string_view>& lines, size_t from,
                          std::string_view needle);

// The line of branch `k` ("#IF k") of the block whose branches start at or after `from`. Lines
// inside nested branches are passed over, so a nested block's "#IF k" is never taken for the
// outer one; when no line at the block's own level matches (unbalanced #IF / #ENDIF), the first
// line containing "#IF k" at any level is taken. kNoLine when there is none at all.
size_t FindBranch(const std::vector<std::string_view>& lines, size_t from, int k);

// The "#ENDIF" that closes the branch opened at line `if_line`, nested branches counted; when the
// nesting never closes, the first following line containing "#ENDIF". kNoLine when there is none.
size_t FindBranchEnd(const std::vector<std::string_view>& lines, size_t if_line);

// The run of branches that starts at line `from`: consecutive "#IF" ... "#ENDIF" groups, with
// nested groups counted. Returns the index of the run's last "#ENDIF", or from - 1 when no
// branch starts at `from`. A branch left open at the end of the list runs to the last line.
size_t EndOfBranchRun(const std::vector<std::string_view>& lines, size_t from);

}  // namespace quillon
