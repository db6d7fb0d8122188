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

// Reads from `fd` into bytes[filled..] until the buffer is full or the file ends; false (with
// `error`) when a read fails.
bool FillFrom(int fd, std::string& bytes, size_t& filled, int& error) {
  while (filled < bytes.size()) {
    const ssize_t got = ::read(fd, bytes.data() + filled, bytes.size() - filled);
    if (got < 0) {
      if (errno == EINTR) continue;
      error = errno;
      return false;
    }
    if (got == 0) break;
    filled += static_cast<size_t>(got);
  }
  return true;
}

}  // namespace

FileRead ReadUserFile(const std::string& path, uint64_t cap) {
  FileRead result;
  const OpenedFile file = OpenUserFile(path, cap);
  result.refusal = file.refusal;
  result.error = file.error;
  if (!result.ok()) return result;

  // The size may change while reading: read to the end, but never past the cap. One byte more
  // than expected tells whether the file grew.
  size_t filled = 0;
  result.bytes.resize(static_cast<size_t>(file.size()));
  for (;;) {
    if (!FillFrom(file.fd(), result.bytes, filled, result.error)) {
      result.bytes = std::string();
      result.refusal = FileRefusal::Unreadable;
      return result;
    }
    if (filled < result.bytes.size()) break;  // the end
    if (filled > cap) {
      result.bytes = std::string();
      result.refusal = FileRefusal::TooLarge;
      return result;
    }
    result.bytes.resize(filled + std::min<size_t>(1 << 16, static_cast<size_t>(cap - filled) + 1));
  }
  result.bytes.resize(filled);
  return result;
}

OpenedFile::OpenedFile(OpenedFile&& other) noexcept
    : refusal(other.refusal), error(other.error), fd_(other.fd_), size_(other.size_) {
  other.fd_ = -1;
}

OpenedFile& OpenedFile::operator=(OpenedFile&& other) noexcept {
  if (this != &other) {
    if (fd_ >= 0) ::close(fd_);
    refusal = other.refusal;
    error = other.error;
    fd_ = other.fd_;
    size_ = other.size_;
    other.fd_ = -1;
  }
  return *this;
}

OpenedFile::~OpenedFile() {
  if (fd_ >= 0) ::close(fd_);
}

OpenedFile OpenUserFile(const std::string& path, uint64_t cap) {
  OpenedFile file;
  int fd = -1;
  file.refusal = OpenChecked(path, cap, fd, file.size_, file.error);
  if (file.ok()) {
    file.fd_ = fd;
  } else if (fd >= 0) {
    ::close(fd);
  }
  return file;
}

FileRefusal CheckUserFile(const std::string& path, uint64_t cap, int* error) {
  const OpenedFile file = OpenUserFile(path, cap);
  if (error != nullptr) *error = file.error;
  return file.refusal;
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
