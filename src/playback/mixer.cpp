// The mixer's two sides. See mixer.h for who owns what.
//
// Mixing is in float, in 16-bit units, block by block. Each voice adds its samples times its
// gain; a mono sound adds the same value to both sides. The sum then goes through a peak limiter
// shared by both channels: when a frame would exceed kLimiterThreshold the gain drops at once to
// bring it exactly to the threshold (no look-ahead, so nothing overshoots), and it recovers with
// an 80 ms release. A dense chord is thus turned down for a moment instead of wrapping or
// clipping hard, and a mix that stays below the threshold passes unchanged. It costs one compare
// per frame while nothing is loud.
#include "playback/mixer.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <thread>

namespace quillon {
namespace {

constexpr int64_t kNow = std::numeric_limits<int64_t>::min();
constexpr double kLimiterReleaseSeconds = 0.08;

// Rounds half away from zero; inline, unlike lrint.
int16_t ToInt16(float sample) {
  const float clamped = std::clamp(sample, -32768.0f, 32767.0f);
  return static_cast<int16_t>(clamped + (clamped < 0 ? -0.5f : 0.5f));
}

}  // namespace

Mixer::Mixer(int32_t rate, int32_t first_id)
    : queue_(kQueueCapacity),
      next_id_(std::max(first_id, 1)),
      mix_(static_cast<size_t>(2 * kBlockFrames)) {
  SetRate(rate);
}

Mixer::~Mixer() = default;

// --- Control side ---

int32_t Mixer::Add(std::shared_ptr<const DecodedSound> sound) {
  ReleaseRetired();
  if (!sound || (sound->Channels != 1 && sound->Channels != 2) || sound->Frames() <= 0 ||
      sound->Samples.size() != static_cast<size_t>(sound->Frames() * sound->Channels))
    return 0;
  if (next_id_ == std::numeric_limits<int32_t>::max()) return 0;
  Voice* voice = nullptr;
  if (!free_voices_.empty()) {
    voice = free_voices_.back();
    free_voices_.pop_back();
  } else {
    voice = &voices_.emplace_back();
  }
  if (!Send({.kind = Command::Kind::Create, .voice = voice, .sound = sound.get()})) {
    free_voices_.push_back(voice);
    return 0;
  }
  const int32_t id = next_id_++;
  entries_.emplace(id, Entry{voice, std::move(sound)});
  return id;
}

void Mixer::Free(int32_t id) {
  ReleaseRetired();
  const auto it = entries_.find(id);
  if (it == entries_.end()) return;
  Entry entry = std::move(it->second);
  entries_.erase(it);
  if (!Send({.kind = Command::Kind::Free, .voice = entry.voice})) {
    // The render side may still point at this sound and this voice: keep both.
    stranded_.push_back(std::move(entry.sound));
    return;
  }
  free_voices_.push_back(entry.voice);
  retired_.emplace_back(queue_.Pushed(), std::move(entry.sound));
}

void Mixer::Play(int32_t id) {
  Send(id, {.kind = Command::Kind::Play});
}

void Mixer::PlayAt(int32_t id, int64_t frame) {
  Send(id, {.kind = Command::Kind::PlayAt, .frame = frame});
}

void Mixer::Stop(int32_t id) {
  Send(id, {.kind = Command::Kind::Stop});
}

void Mixer::SetVolume(int32_t id, int32_t level) {
  level = std::clamp(level, -10000, 0);
  const float gain = level <= -10000 ? 0.0f : static_cast<float>(std::pow(10.0, level / 2000.0));
  Send(id, {.kind = Command::Kind::SetGain, .gain = gain});
}

void Mixer::Send(int32_t id, Command command) {
  ReleaseRetired();
  const auto it = entries_.find(id);
  if (it == entries_.end()) return;
  command.voice = it->second.voice;
  Send(command);
}

bool Mixer::Send(const Command& command) {
  if (queue_.TryPush(command)) {
    stalled_ = false;
    return true;
  }
  if (!stalled_) {
    // A pulling output empties the queue at every callback: give it a couple of them.
    const auto deadline = std::chrono::steady_clock::now() + kQueueFullWait;
    while (std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(std::chrono::microseconds(200));
      if (queue_.TryPush(command)) return true;
    }
    stalled_ = true;
  }
  return false;
}

void Mixer::ReleaseRetired() {
  const uint64_t taken = queue_.Popped();
  while (!retired_.empty() && retired_.front().first <= taken)
    retired_.pop_front();
}

// --- Render side ---

void Mixer::SetRate(int32_t rate) {
  rate = std::max(rate, 1);
  release_ = static_cast<float>(std::exp(-1.0 / (kLimiterReleaseSeconds * rate)));
}

void Mixer::Link(Voice& voice) {
  if (voice.linked) return;
  voice.prev = nullptr;
  voice.next = playing_;
  if (playing_) playing_->prev = &voice;
  playing_ = &voice;
  voice.linked = true;
}

void Mixer::Unlink(Voice& voice) {
  if (!voice.linked) return;
  if (voice.prev) voice.prev->next = voice.next;
  if (voice.next) voice.next->prev = voice.prev;
  if (playing_ == &voice) playing_ = voice.next;
  voice.prev = voice.next = nullptr;
  voice.linked = false;
}

void Mixer::Apply(const Command& command) {
  Voice& voice = *command.voice;
  switch (command.kind) {
    case Command::Kind::Create:
      Unlink(voice);
      voice.samples = command.sound->Samples.data();
      voice.frames = command.sound->Frames();
      voice.channels = command.sound->Channels;
      voice.gain = 1;
      voice.playing = false;
      voice.position = 0;
      voice.start_count = 0;
      break;
    case Command::Kind::Free:
      Unlink(voice);
      voice = Voice{};
      break;
    case Command::Kind::Play:
      if (!voice.samples) break;
      voice.start_count = 1;
      voice.starts[0] = kNow;
      Link(voice);
      break;
    case Command::Kind::PlayAt: {
      if (!voice.samples) break;
      int32_t n = voice.start_count;
      if (n == kMaxPendingStarts) {
        // Keep the earliest starts: drop the latest of the old ones and the new one.
        if (command.frame >= voice.starts[n - 1]) break;
        --n;
      }
      int32_t i = n;
      while (i > 0 && voice.starts[i - 1] > command.frame) {
        voice.starts[i] = voice.starts[i - 1];
        --i;
      }
      voice.starts[i] = command.frame;
      voice.start_count = n + 1;
      Link(voice);
      break;
    }
    case Command::Kind::Stop:
      voice.playing = false;
      voice.start_count = 0;
      Unlink(voice);
      break;
    case Command::Kind::SetGain:
      voice.gain = command.gain;
      break;
  }
}

void Mixer::MixVoice(Voice& voice, int64_t block_start, int64_t frames) {
  int64_t offset = 0;
  for (;;) {
    // Every start due by `offset` restarts the sound there (several at once restart it once).
    while (voice.start_count > 0 && voice.starts[0] <= block_start + offset) {
      std::copy(voice.starts + 1, voice.starts + voice.start_count, voice.starts);
      --voice.start_count;
      voice.playing = true;
      voice.position = 0;
    }
    const int64_t end =
        voice.start_count > 0 ? std::min(frames, voice.starts[0] - block_start) : frames;
    if (voice.playing) {
      const int64_t count = std::min(end - offset, voice.frames - voice.position);
      const float gain = voice.gain;
      float* out = mix_.data() + 2 * offset;
      if (gain != 0) {
        if (voice.channels == 1) {
          const int16_t* in = voice.samples + voice.position;
          for (int64_t i = 0; i < count; ++i) {
            const float s = static_cast<float>(in[i]) * gain;
            out[2 * i] += s;
            out[2 * i + 1] += s;
          }
        } else {
          const int16_t* in = voice.samples + 2 * voice.position;
          for (int64_t i = 0; i < 2 * count; ++i)
            out[i] += static_cast<float>(in[i]) * gain;
        }
      }
      voice.position += count;
      if (voice.position >= voice.frames) voice.playing = false;
    }
    if (end >= frames) return;
    offset = end;
  }
}

void Mixer::Finish(int16_t* out, int64_t frames) {
  float gain = limiter_gain_;
  for (int64_t i = 0; i < frames; ++i) {
    float left = mix_[static_cast<size_t>(2 * i)];
    float right = mix_[static_cast<size_t>(2 * i + 1)];
    const float peak = std::max(std::fabs(left), std::fabs(right));
    if (peak * gain > kLimiterThreshold) gain = kLimiterThreshold / peak;
    if (gain < 1) {
      left *= gain;
      right *= gain;
      gain = 1 - (1 - gain) * release_;
      if (gain > 0.99999f) gain = 1;
    }
    out[2 * i] = ToInt16(left);
    out[2 * i + 1] = ToInt16(right);
  }
  limiter_gain_ = gain;
}

void Mixer::Render(int16_t* out, int64_t frames) {
  Command command;
  while (queue_.TryPop(command))
    Apply(command);
  while (frames > 0) {
    const int64_t n = std::min(frames, kBlockFrames);
    std::fill(mix_.begin(), mix_.begin() + 2 * n, 0.0f);
    for (Voice* voice = playing_; voice;) {
      Voice* next = voice->next;
      MixVoice(*voice, frame_, n);
      if (!voice->playing && voice->start_count == 0) Unlink(*voice);
      voice = next;
    }
    Finish(out, n);
    out += 2 * n;
    frames -= n;
    frame_ += n;
  }
  int32_t active = 0;
  for (const Voice* voice = playing_; voice; voice = voice->next)
    active += voice->playing ? 1 : 0;
  active_voices_.store(active, std::memory_order_relaxed);
}

}  // namespace quillon
