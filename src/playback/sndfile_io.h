// What the sound decoder and the rate probe share of libsndfile: its virtual I/O over bytes in
// memory, and opening a file, which takes turns across threads.
#pragma once

#include <sndfile.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <string_view>

namespace quillon::sndfile {

// A read-only byte range as a libsndfile file.
struct MemorySource {
  std::string_view bytes;
  sf_count_t position = 0;

  static sf_count_t Length(void* user) {
    return static_cast<sf_count_t>(static_cast<MemorySource*>(user)->bytes.size());
  }
  static sf_count_t Seek(sf_count_t offset, int whence, void* user) {
    auto* source = static_cast<MemorySource*>(user);
    const auto size = static_cast<sf_count_t>(source->bytes.size());
    sf_count_t base = 0;
    if (whence == SEEK_CUR) base = source->position;
    if (whence == SEEK_END) base = size;
    // Offsets come from file headers: refuse those that would overflow or go before the start.
    if ((offset > 0 && base > INT64_MAX - offset) || base + offset < 0) return -1;
    source->position = base + offset;
    return source->position;
  }
  static sf_count_t Read(void* ptr, sf_count_t count, void* user) {
    auto* source = static_cast<MemorySource*>(user);
    const auto size = static_cast<sf_count_t>(source->bytes.size());
    if (count <= 0 || source->position >= size) return 0;
    const sf_count_t n = std::min(count, size - source->position);
    std::memcpy(ptr, source->bytes.data() + source->position, static_cast<size_t>(n));
    source->position += n;
    return n;
  }
  static sf_count_t Tell(void* user) { return static_cast<MemorySource*>(user)->position; }

  static SF_VIRTUAL_IO Io() { return SF_VIRTUAL_IO{Length, Seek, Read, nullptr, Tell}; }
};

// sf_open_virtual for reading. libsndfile keeps the reason an open failed in one global, so opens
// take turns, and `failure` (when given) receives that reason before the next open may run.
inline SNDFILE* Open(SF_VIRTUAL_IO& io, void* source, SF_INFO& info,
                     const char** failure = nullptr) {
  static std::mutex open_mutex;
  std::lock_guard lock(open_mutex);
  SNDFILE* file = sf_open_virtual(&io, SFM_READ, &info, source);
  if (file == nullptr && failure != nullptr) *failure = sf_strerror(nullptr);
  return file;
}

}  // namespace quillon::sndfile
