// Reading the files a user names: charts, playlists, sounds, pictures.
//
// Any of them may be a FIFO, a device, a folder, huge, unreadable or gone by the time it is read.
// Every read opens the path without blocking, checks the open descriptor (so a swap between a
// check and the open cannot make it block), refuses anything that is not a regular file, and
// never reads more than a cap: a reader is never blocked by a FIFO nor made to grow by /dev/zero.
#pragma once

#include <cstdint>
#include <string>

namespace quillon {

// The most each kind of file may hold.
inline constexpr uint64_t kChartFileCap = uint64_t{64} << 20;
inline constexpr uint64_t kPlaylistFileCap = uint64_t{64} << 20;
inline constexpr uint64_t kSoundFileCap = uint64_t{1} << 30;
inline constexpr uint64_t kPictureFileCap = uint64_t{64} << 20;

enum class FileRefusal {
  None,        // read (or readable)
  Missing,     // nothing at that path, or a part of it is not a folder
  NotRegular,  // a folder, FIFO, device or socket
  TooLarge,    // more bytes than the cap
  Unreadable,  // there, but cannot be opened or read (permissions, a symbolic link loop, I/O)
};

struct FileRead {
  std::string bytes;
  FileRefusal refusal = FileRefusal::None;
  int error = 0;  // errno of a failed open or read
  bool ok() const { return refusal == FileRefusal::None; }
};

// The whole file at `path` when it is a regular file of at most `cap` bytes.
FileRead ReadUserFile(const std::string& path, uint64_t cap);

// A file a user named, opened for reading after the checks of ReadUserFile (a regular file of at
// most the cap); the descriptor is closed with the object. For readers that take the bytes
// straight from the file into their own buffers (a sound decoder) instead of through one whole
// copy. A reader must stop at size(): the file may grow after the check.
class OpenedFile {
 public:
  OpenedFile() = default;
  OpenedFile(OpenedFile&& other) noexcept;
  OpenedFile& operator=(OpenedFile&& other) noexcept;
  ~OpenedFile();

  bool ok() const { return refusal == FileRefusal::None; }
  int fd() const { return fd_; }
  uint64_t size() const { return size_; }

  FileRefusal refusal = FileRefusal::Missing;
  int error = 0;  // errno of a failed open

 private:
  friend OpenedFile OpenUserFile(const std::string& path, uint64_t cap);
  int fd_ = -1;
  uint64_t size_ = 0;
};

// The file at `path` opened as ReadUserFile would read it; refused files are closed already.
OpenedFile OpenUserFile(const std::string& path, uint64_t cap);

// Whether ReadUserFile would accept the file now, without reading it.
FileRefusal CheckUserFile(const std::string& path, uint64_t cap, int* error = nullptr);

// A line naming the refused file: "Not a chart file: <path>" style texts for `kind` ("chart",
// "playlist", ...): "File not found: <path>", "Not a <kind> file: <path>", "File too large:
// <path>", "Cannot read <path>: <reason>". Empty for FileRefusal::None.
std::string RefusalText(FileRefusal refusal, const std::string& kind, const std::string& path,
                        int error = 0);

// `path` made absolute against `folder` (the current folder when `folder` is empty) and
// lexically normalised ("a/./b/../c" is "a/c"); its bytes are kept as they are (no decoding, no
// symbolic links resolved). An empty or absolute path is returned as it is, and so is a relative
// one when the current folder is unknown. Paths enter the playlist, the loader and the remote
// channel through this, so that they name the same file from any folder later.
std::string AbsolutePath(const std::string& path, const std::string& folder = {});

}  // namespace quillon
