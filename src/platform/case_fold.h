// Upper-case folding for chart text and file names.
#pragma once

#include <string>
#include <string_view>

namespace quillon {

// `text` (UTF-8) with ASCII a-z, the Latin-1 letters U+00E0..U+00FE (except U+00F7) and the
// full-width letters U+FF41..U+FF5A turned into their upper-case forms; everything else,
// including bytes that are not valid UTF-8, is copied unchanged. Each folded character keeps
// its UTF-8 length, so the result is always exactly as long as `text`.
std::string FoldUpperCase(std::string_view text);

}  // namespace quillon
