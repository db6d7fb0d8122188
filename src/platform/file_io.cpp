#include "platform/file_io.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>

namespace quillon {
namespace {

// Closes the descriptor when it goes out of scope.
class Descriptor {
 public:
  explicit Descriptor(int fd) : fd_(fd) {}
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  ~Descriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  int get() const { return fd_; }

 private:
  int fd_;
};

FileRefusal RefusalOfOpenError(int error) {
  return error == ENOENT || error == ENOTDIR ? FileRefusal::Missing : FileRefusal::Unreadable;
}

// Opens `path` without blocking (a FIFO with no writer would block a plain open) and checks the
// open descriptor. On success `size` holds the file's size.
FileRefusal OpenChecked(const std::string& path, uint64_t cap, int& fd, uint64_t& size,
                        int& error) {
  fd = -1;
  if (path.empty()) return FileRefusal::Missing;
  fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) {
    error = errno;
    return RefusalOfOpenError(error);
  }
  struct stat info {};
  if (::fstat(fd, &info) != 0) {
    error = errno;
    return FileRefusal::Unreadable;
  }
  if (!S_ISREG(info.st_mode)) return FileRefusal::NotRegular;
  size = static_cast<uint64_t>(info.st_size);
  if (size > cap) return FileRefusal::TooLarge;
  return FileRefusal::None;
}

}  // namespace

FileRead ReadUserFile(const std::string& path, uint64_t cap) {
  FileRead result;
  int fd = -1;
  uint64_t size = 0;
  result.refusal = OpenChecked(path, cap, fd, size, result.error);
  const Descriptor closer(fd);
  if (!result.ok()) return result;

  // The size may change while reading: read to the end, but never past the cap.
  result.bytes.resize(static_cast<size_t>(size));
  size_t filled = 0;
  for (;;) {
    if (filled == result.bytes.size()) {
      if (result.bytes.size() > cap) {
        result.bytes = std::string();
        result.refusal = FileRefusal::TooLarge;
        return result;
      }
      // One byte more than expected tells whether the file grew.
      result.bytes.resize(filled +
                          std::min<size_t>(1 << 16, static_cast<size_t>(cap - filled) + 1));
    }
    const ssize_t got = ::read(fd, result.bytes.data() + filled, result.bytes.size() - filled);
    if (got < 0) {
      if (errno == EINTR) continue;
      result.error = errno;
      result.bytes = std::string();
      result.refusal = FileRefusal::Unreadable;
      return result;
    }
    if (got == 0) break;
    filled += static_cast<size_t>(got);
  }
  result.bytes.resize(filled);
  return result;
}

FileRead ReadUserFileHead(const std::string& path, uint64_t cap, size_t max_bytes) {
  FileRead result;
  int fd = -1;
  uint64_t size = 0;
  result.refusal = OpenChecked(path, cap, fd, size, result.error);
  const Descriptor closer(fd);
  if (!result.ok()) return result;
  // Read to the end rather than to the size: files under /proc say they hold nothing.
  result.bytes.resize(max_bytes);
  size_t filled = 0;
  while (filled < result.bytes.size()) {
    const ssize_t got = ::read(fd, result.bytes.data() + filled, result.bytes.size() - filled);
    if (got < 0) {
      if (errno == EINTR) continue;
      result.error = errno;
      result.bytes = std::string();
      result.refusal = FileRefusal::Unreadable;
      return result;
    }
    if (got == 0) break;  // it shrank meanwhile
    filled += static_cast<size_t>(got);
  }
  result.bytes.resize(filled);
  return result;
}

FileRefusal CheckUserFile(const std::string& path, uint64_t cap, int* error) {
  int fd = -1;
  uint64_t size = 0;
  int open_error = 0;
  const FileRefusal refusal = OpenChecked(path, cap, fd, size, open_error);
  const Descriptor closer(fd);
  if (error != nullptr) *error = open_error;
  return refusal;
}

std::string RefusalText(FileRefusal refusal, const std::string& kind, const std::string& path,
                        int error) {
  switch (refusal) {
    case FileRefusal::None:
      return {};
    case FileRefusal::Missing:
      return "File not found: " + path;
    case FileRefusal::NotRegular:
      return "Not a " + kind + " file: " + path;
    case FileRefusal::TooLarge:
      return "File too large: " + path;
    case FileRefusal::Unreadable:
      return "Cannot read " + path + ": " + std::strerror(error != 0 ? error : EIO);
  }
  return {};
}

std::string AbsolutePath(const std::string& path, const std::string& folder) {
  if (path.empty() || path.front() == '/') return path;
  std::filesystem::path base(folder);
  if (folder.empty()) {
    std::error_code error;
    base = std::filesystem::current_path(error);
    if (error) return path;
  }
  // std::filesystem paths are byte strings on Linux: no encoding is applied on the way.
  return (base / path).lexically_normal().string();
}

}  // namespace quillon
