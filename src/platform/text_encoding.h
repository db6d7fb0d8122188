// Decoding chart and playlist bytes into UTF-8 text.
#pragma once

#include <string>
#include <string_view>

namespace quillon {

bool IsValidUtf8(std::string_view bytes);

// Chart text: UTF-8 when the bytes are valid UTF-8 (a leading byte-order mark is dropped),
// otherwise Shift-JIS (CP932). Bytes that are not valid CP932 become U+FFFD; NULs are kept.
std::string DecodeChartText(std::string_view bytes);

// CP932 bytes to UTF-8, with U+FFFD for each invalid sequence.
std::string Cp932ToUtf8(std::string_view bytes);

// A file name as UTF-8 text to show (decoded as chart text: UTF-8, else CP932), with TAB, CR and
// LF written as \t, \r and \n. For showing only: files are opened by their bytes.
std::string DisplayPath(std::string_view path);

}  // namespace quillon
