// Replacing a file's contents so that a failure never leaves it half-written.
#pragma once

#include <string>
#include <string_view>

namespace quillon {

// Writes `bytes` to a new file in the folder of `path`, flushes it to disk and renames it over
// `path`. A file already there keeps its contents if anything fails (and after a crash the name
// holds either the old or the new contents, whole), and keeps its permissions
// on success; a symbolic link is followed, so the file it names is replaced. On failure returns
// false and sets `error` to the path and the reason.
bool ReplaceFileContents(const std::string& path, std::string_view bytes, std::string& error);

}  // namespace quillon
