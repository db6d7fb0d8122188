// Text and path helpers shared by the header scan, the compiler and the resource loader.
//
// Chart text is kept as UTF-8. Positions in a line ("the 7th character on") count characters
// (code points), not bytes; lines made of ASCII only, nearly all of them, take a byte fast path.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace quillon {

// `text` with every NUL removed, then leading and trailing spaces (only ' ') removed.
std::string TrimNull(std::string_view text);

// The path up to and including its last '/'; empty when it has none.
std::string GetFolderPath(std::string_view path);

// True when `path` is not empty and names an existing entry (hidden files included).
bool FileExists(const std::string& path);

// Upper case for chart text: ASCII letters, Latin-1 letters and full-width Latin letters.
// The same folding is used to match file names without regard to case.
std::string UpperCase(std::string_view text);

// Number of characters (code points) in UTF-8 text.
size_t CharCount(std::string_view text);

// The characters of `text` from the 1-based character `start` on, at most `count` of them
// (everything when count is npos). Out-of-range parts are clipped, as in Basic's Mid.
std::string_view Mid(std::string_view text, size_t start, size_t count = std::string_view::npos);

// The first `count` characters.
inline std::string_view Left(std::string_view text, size_t count) {
  return Mid(text, 1, count);
}

// Where `needle` first occurs in `text` from `from` on; npos when it does not. Looks for the
// needle's last character first, which suits chart text: the needles end in rare characters
// (':', ' ', a letter) while the text is mostly digits.
size_t FindText(std::string_view text, std::string_view needle, size_t from = 0);
inline bool ContainsText(std::string_view text, std::string_view needle) {
  return FindText(text, needle) != std::string_view::npos;
}

// Line ends: a text with no CR LF pair gets every LF and then every CR turned into CR LF;
// a text with at least one CR LF is left as it is.
void NormalizeLineEnds(std::string& text);

// Splits at CR LF into at most `limit` pieces (0 = no limit); the last piece holds the rest.
std::vector<std::string_view> SplitCrLf(std::string_view text, size_t limit = 0);

// The title as the title lines show it: the title, then a blank and the subtitle when there is
// one ("Song [ANOTHER]").
std::string TitleWithSubtitle(std::string_view title, std::string_view subtitle);

// The text the window title scrolls: "(" genre ") " title " / " artist and three blanks, the
// title with its subtitle after it when there is one.
std::string WindowTitleText(std::string_view genre, std::string_view title, std::string_view artist,
                            std::string_view subtitle = {});

}  // namespace quillon
