#include "chart/random_blocks.h"

#include <string>

#include "chart/text_util.h"

namespace quillon {
namespace {

bool StartsWith(std::string_view line, std::string_view prefix) {
  return line.substr(0, prefix.size()) == prefix;
}

}  // namespace

size_t FindLineContaining(const std::vector<std::string_view>& lines, size_t from,
                          std::string_view needle) {
  for (size_t i = from; i < lines.size(); ++i) {
    if (ContainsText(lines[i], needle)) return i;
  }
  return kNoLine;
}

size_t FindBranch(const std::vector<std::string_view>& lines, size_t from, int k) {
  const std::string needle = "#IF " + std::to_string(k);
  size_t level = 0;
  for (size_t i = from; i < lines.size(); ++i) {
    const std::string_view line = lines[i];
    if (level == 0 && ContainsText(line, needle)) return i;
    if (StartsWith(line, "#IF")) {
      ++level;
    } else if (StartsWith(line, "#ENDIF") && level > 0) {
      --level;
    }
  }
  return FindLineContaining(lines, from, needle);
}

size_t FindBranchEnd(const std::vector<std::string_view>& lines, size_t if_line) {
  size_t level = 0;
  for (size_t i = if_line; i < lines.size(); ++i) {
    const std::string_view line = lines[i];
    if (StartsWith(line, "#IF")) {
      ++level;
    } else if (StartsWith(line, "#ENDIF")) {
      if (level <= 1) return i;
      --level;
    }
  }
  return FindLineContaining(lines, if_line, "#ENDIF");
}

size_t EndOfBranchRun(const std::vector<std::string_view>& lines, size_t from) {
  size_t end = from - 1;
  size_t level = 0;
  for (size_t i = from; i < lines.size(); ++i) {
    const std::string_view line = lines[i];
    if (level == 0 && !StartsWith(line, "#IF")) break;  // the run ends before this line
    if (StartsWith(line, "#IF")) {
      ++level;
    } else if (StartsWith(line, "#ENDIF") && --level == 0) {
      end = i;
    }
  }
  if (level > 0) end = lines.size() - 1;
  return end;
}

}  // namespace quillon
