// libavformat's reading of a movie through our own callbacks: over an open descriptor (pread, up
// to the size the file check saw) or over bytes in memory. libavformat never opens anything by
// name itself, neither the movie nor a file the movie's contents name.
#pragma once

#include <cstdint>
#include <string_view>

struct AVIOContext;
struct AVFormatContext;

namespace quillon {

class MovieInput {
 public:
  MovieInput() = default;
  ~MovieInput();
  MovieInput(const MovieInput&) = delete;
  MovieInput& operator=(const MovieInput&) = delete;

  // Reads `size` bytes of the descriptor `fd` (kept open by the caller) or `bytes` (kept by the
  // caller). False when libavformat cannot make its context.
  bool OpenDescriptor(int fd, uint64_t size);
  bool OpenBytes(std::string_view bytes);

  AVIOContext* context() const { return context_; }

 private:
  static int Read(void* opaque, uint8_t* buffer, int size);
  static int64_t Seek(void* opaque, int64_t offset, int whence);
  bool MakeContext();

  AVIOContext* context_ = nullptr;
  int fd_ = -1;
  const char* bytes_ = nullptr;
  uint64_t size_ = 0;
  uint64_t position_ = 0;
};

// Makes `format` refuse every file its demuxer would open by a name found in the movie (playlist
// and reference demuxers), so a movie can only ever read itself.
void ForbidNestedOpens(AVFormatContext* format);

}  // namespace quillon
