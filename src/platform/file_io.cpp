#include "platform/file_io.h"

#include <filesystem>
#include <fstream>
#include <system_error>

namespace quillon {

std::optional<std::string> ReadFileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  std::string bytes;
  std::error_code error;
  const uintmax_t size = std::filesystem::file_size(path, error);
  if (!error) bytes.reserve(static_cast<size_t>(size));
  char buffer[1 << 16];
  while (in.read(buffer, sizeof buffer) || in.gcount() > 0) {
    bytes.append(buffer, static_cast<size_t>(in.gcount()));
  }
  if (in.bad()) return std::nullopt;
  return bytes;
}

}  // namespace quillon
