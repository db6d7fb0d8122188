// Paths that name something other than a small regular file: what every reader of a file the
// user names must refuse without blocking, growing or crashing.
#pragma once

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/file_io.h"
#include "support/test_data.h"

namespace quillon::test {

struct OddFile {
  std::string name;  // below the folder
  std::string path;
  FileRefusal refusal;  // what ReadUserFile says of it
  int error = 0;        // and the errno it gives, for an unreadable one
};

// Made in `dir`, each name ending in `extension`: a FIFO with no writer, a link to /dev/zero, a
// folder, a sparse file of `big_size` bytes, a symbolic link loop, a link to nothing (a file
// removed after its folder was listed) and, unless running as root (who reads everything), a
// file of mode 000.
inline std::vector<OddFile> MakeOddFiles(const TempDir& dir, const std::string& extension,
                                         uint64_t big_size) {
  namespace fs = std::filesystem;
  std::vector<OddFile> files;
  const auto add = [&](const std::string& stem, FileRefusal refusal, int error = 0) -> std::string {
    files.push_back({stem + extension, (dir.path() / (stem + extension)).string(), refusal, error});
    return files.back().path;
  };
  ::mkfifo(add("fifo", FileRefusal::NotRegular).c_str(), 0600);
  fs::create_symlink("/dev/zero", add("zero", FileRefusal::NotRegular));
  fs::create_directory(add("folder", FileRefusal::NotRegular));
  const std::string big = add("big", FileRefusal::TooLarge);
  dir.Write(big.substr(dir.path().string().size() + 1), "");
  fs::resize_file(big, big_size);
  const std::string loop = add("loop", FileRefusal::Unreadable, ELOOP);
  fs::create_symlink(loop, loop);
  fs::create_symlink(dir.path() / "nothing-here", add("gone", FileRefusal::Missing));
  if (::geteuid() != 0) {
    const std::string secret = add("secret", FileRefusal::Unreadable, EACCES);
    dir.Write(secret.substr(dir.path().string().size() + 1), "#TITLE secret\r\n");
    ::chmod(secret.c_str(), 0);
  }
  return files;
}

}  // namespace quillon::test
