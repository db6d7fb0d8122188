#include "playback/sound_probe.h"

#include <sndfile.h>

#include <algorithm>
#include <cstring>
#include <mutex>

#include "playback/sound_decoder.h"

namespace quillon {
namespace {

// libsndfile's virtual I/O over the bytes at hand. The file's length is that of the bytes: a
// format that looks at the end of the file (Ogg, for its length) sees the end of the head, which
// changes the length it reports but not the rate.
struct Head {
  std::string_view bytes;
  sf_count_t position = 0;
};

sf_count_t Length(void* user) {
  return static_cast<sf_count_t>(static_cast<Head*>(user)->bytes.size());
}

sf_count_t Seek(sf_count_t offset, int whence, void* user) {
  auto* head = static_cast<Head*>(user);
  const auto size = static_cast<sf_count_t>(head->bytes.size());
  sf_count_t base = 0;
  if (whence == SEEK_CUR) base = head->position;
  if (whence == SEEK_END) base = size;
  // Offsets come from file headers: refuse those that would overflow or go before the start.
  if ((offset > 0 && base > INT64_MAX - offset) || base + offset < 0) return -1;
  head->position = base + offset;
  return head->position;
}

sf_count_t Read(void* ptr, sf_count_t count, void* user) {
  auto* head = static_cast<Head*>(user);
  const auto size = static_cast<sf_count_t>(head->bytes.size());
  if (count <= 0 || head->position >= size) return 0;
  const sf_count_t n = std::min(count, size - head->position);
  std::memcpy(ptr, head->bytes.data() + head->position, static_cast<size_t>(n));
  head->position += n;
  return n;
}

sf_count_t Tell(void* user) {
  return static_cast<Head*>(user)->position;
}

}  // namespace

int32_t SoundFileRate(std::string_view head) {
  if (head.empty()) return 0;
  Head state{head};
  SF_VIRTUAL_IO io{Length, Seek, Read, nullptr, Tell};
  SF_INFO info{};
  {
    // A failed open writes libsndfile's one global error: probes take turns. (The loader
    // probes a chart's sounds before it decodes any.)
    static std::mutex open_mutex;
    std::lock_guard lock(open_mutex);
    SNDFILE* file = sf_open_virtual(&io, SFM_READ, &info, &state);
    if (file == nullptr) return 0;
    sf_close(file);
  }
  return info.samplerate >= kMinSoundRate && info.samplerate <= kMaxSoundRate ? info.samplerate : 0;
}

}  // namespace quillon
