// Reading whole files.
#pragma once

#include <optional>
#include <string>

namespace quillon {

// The whole file as bytes; nullopt when it cannot be opened or read to its end.
std::optional<std::string> ReadFileBytes(const std::string& path);

}  // namespace quillon
