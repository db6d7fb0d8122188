// Helpers for tests that read and write files.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace quillon::test {

// tests/data in the source tree.
std::filesystem::path DataDir();

// A fresh empty folder below the system's temporary folder, removed when the object dies.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::filesystem::path& path() const { return path_; }
  // Writes `bytes` to `name` (below this folder, parents made) and returns its full path.
  std::string Write(std::string_view name, std::string_view bytes) const;

 private:
  std::filesystem::path path_;
};

// The whole file as bytes.
std::string ReadFile(const std::filesystem::path& path);

}  // namespace quillon::test
