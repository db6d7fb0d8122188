#include "video/movie_io.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

extern "C" {
#include <libavformat/avformat.h>
#include <libavformat/avio.h>
#include <libavutil/error.h>
#include <libavutil/mem.h>
}

namespace quillon {
namespace {

constexpr int kBufferSize = 64 * 1024;

int RefuseOpen(AVFormatContext*, AVIOContext**, const char*, int, AVDictionary**) {
  return AVERROR(EPERM);
}

}  // namespace

MovieInput::~MovieInput() {
  if (context_) {
    av_freep(&context_->buffer);  // libavformat may have replaced the buffer we gave it
    avio_context_free(&context_);
  }
}

bool MovieInput::OpenDescriptor(int fd, uint64_t size) {
  fd_ = fd;
  size_ = size;
  return MakeContext();
}

bool MovieInput::OpenBytes(std::string_view bytes) {
  bytes_ = bytes.data();
  size_ = bytes.size();
  return MakeContext();
}

bool MovieInput::MakeContext() {
  auto* buffer = static_cast<unsigned char*>(av_malloc(kBufferSize));
  if (!buffer) return false;
  context_ = avio_alloc_context(buffer, kBufferSize, 0, this, &MovieInput::Read, nullptr,
                                &MovieInput::Seek);
  if (!context_) {
    av_free(buffer);
    return false;
  }
  return true;
}

int MovieInput::Read(void* opaque, uint8_t* buffer, int size) {
  auto& self = *static_cast<MovieInput*>(opaque);
  if (size <= 0) return 0;
  if (self.position_ >= self.size_) return AVERROR_EOF;
  const size_t want = static_cast<size_t>(
      std::min<uint64_t>(static_cast<uint64_t>(size), self.size_ - self.position_));
  if (!self.bytes_) {
    for (;;) {
      const ssize_t got = ::pread(self.fd_, buffer, want, static_cast<off_t>(self.position_));
      if (got < 0 && errno == EINTR) continue;
      if (got < 0) return AVERROR(EIO);
      if (got == 0) return AVERROR_EOF;  // the file shrank after the check
      self.position_ += static_cast<uint64_t>(got);
      return static_cast<int>(got);
    }
  }
  std::memcpy(buffer, self.bytes_ + self.position_, want);
  self.position_ += want;
  return static_cast<int>(want);
}

int64_t MovieInput::Seek(void* opaque, int64_t offset, int whence) {
  auto& self = *static_cast<MovieInput*>(opaque);
  const int64_t size = static_cast<int64_t>(self.size_);
  whence &= ~AVSEEK_FORCE;
  if (whence == AVSEEK_SIZE) return size;
  int64_t base = 0;
  if (whence == SEEK_CUR) {
    base = static_cast<int64_t>(self.position_);
  } else if (whence == SEEK_END) {
    base = size;
  } else if (whence != SEEK_SET) {
    return AVERROR(EINVAL);
  }
  // Both are at most the file cap, far from overflowing; a hostile offset is checked first.
  if (offset < -size - 1 || offset > size + 1) return AVERROR(EINVAL);
  const int64_t position = base + offset;
  if (position < 0 || position > size) return AVERROR(EINVAL);
  self.position_ = static_cast<uint64_t>(position);
  return position;
}

void ForbidNestedOpens(AVFormatContext* format) {
  format->io_open = &RefuseOpen;
}

}  // namespace quillon
