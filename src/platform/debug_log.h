// The trace lines of the debug window and the log file they are also written to.
//
// A line is the play clock's reading in whole milliseconds, a TAB, then the message. The file is
// opened, appended to and closed again for every line, so that each line is on disk even if the
// program dies right after it; it is never truncated.
#pragma once

#include <string>
#include <string_view>

namespace quillon {

// "1234\t" + text: `elapsed_ms` rounded to the nearest whole number, halves to even (1234.5 ->
// 1234, 1235.5 -> 1236). A reading that is not a finite number or does not fit 64 bits gives 0.
std::string DebugLine(double elapsed_ms, std::string_view text);

// Appends `line` and CR LF to the file at `path` (made when missing), opened and closed for this
// one line. False when the file cannot be opened, written or closed; `error` then gets the reason.
bool AppendDebugLine(const std::string& path, std::string_view line, std::string* error = nullptr);

}  // namespace quillon
