// The mixer: one voice per sound buffer, mixed to 16-bit stereo.
//
// Threads and ownership:
// - The control side (Add, Free, Play, PlayAt, Stop, SetVolume) is called on one thread, the UI
//   thread. It owns the id table and a shared_ptr to every sound, and never waits on the render
//   side except for a bounded moment when the command queue is full.
// - The render side (Render) runs on one thread at a time: SDL's audio thread, or the thread that
//   pulls memory output (the audio export pulls on the UI thread itself). It owns the voices'
//   playing state, reads the sounds' samples through plain pointers, never allocates, never frees
//   and never takes a lock.
// - They share only the command queue (a lock-free single-producer single-consumer ring), a few
//   atomic counters, and the sounds, which are immutable.
// - A freed sound stays owned by the control side until the render side has taken the Free
//   command from the queue; the control side then drops its reference (on the next control call),
//   so sound memory is always released on the control thread.
// - Voice objects are made by the control side and live as long as the mixer; a freed voice is
//   reused for a later buffer.
//
// The queue holds kQueueCapacity commands. When it is full (the render side has stopped pulling)
// the control side waits up to kQueueFullWait for room once, then drops commands until room
// appears. A dropped Free keeps the sound alive until the mixer is destroyed; a dropped Add makes
// Add return 0; a dropped Play, Stop or SetVolume is lost.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <deque>
#include <memory>
#include <unordered_map>
#include <utility>
#include <vector>

#include "playback/sound_decoder.h"
#include "playback/spsc_ring.h"

namespace quillon {

class Mixer {
 public:
  static constexpr size_t kQueueCapacity = 65536;
  static constexpr std::chrono::milliseconds kQueueFullWait{50};
  // Starts scheduled ahead per buffer; a later one beyond these is dropped.
  static constexpr int kMaxPendingStarts = 8;
  // Frames mixed per inner block.
  static constexpr int64_t kBlockFrames = 1024;
  // The limiter keeps the mix at or below this level (about -0.2 dB of full scale).
  static constexpr float kLimiterThreshold = 32000.0f;

  // Ids start at `first_id`.
  explicit Mixer(int32_t rate = 44100, int32_t first_id = 1);
  // The render side must be idle for good.
  ~Mixer();
  Mixer(const Mixer&) = delete;
  Mixer& operator=(const Mixer&) = delete;

  // --- Control side ---

  // A new buffer id (positive, never reused by this mixer) for `sound`, 0 when the sound is
  // empty or malformed (channels other than 1 or 2) or the queue is stalled. The sound should
  // be at the output's rate; the mixer does not check.
  int32_t Add(std::shared_ptr<const DecodedSound> sound);
  // Releases the buffer; it falls silent at once. Unknown ids are ignored, here and below.
  void Free(int32_t id);
  // Plays the buffer from its start at the first frame of the next render, cancelling scheduled
  // starts. A sounding buffer is cut and restarted: a buffer never sounds twice at once.
  void Play(int32_t id);
  // Restarts the buffer from its start at output frame `frame` (counted from the first render);
  // until then it goes on as it was, so a repeated sound is cut exactly where it restarts. A frame
  // already rendered means the first frame of the next render.
  void PlayAt(int32_t id, int64_t frame);
  // Silences the buffer at the next render and cancels its scheduled starts.
  void Stop(int32_t id);
  // Level in hundredths of a decibel, clamped to [-10000, 0]: 0 leaves the sound as it is,
  // -10000 is silence; gain = 10^(level / 2000).
  void SetVolume(int32_t id, int32_t level);
  // The id the next Add gives.
  int32_t NextId() const { return next_id_; }

  // --- Either side ---

  // Voices that sounded at the end of the last render.
  int32_t ActiveVoices() const { return active_voices_.load(std::memory_order_relaxed); }

  // --- Render side ---

  // Sets the output rate; only while nothing renders (an output calls it before it starts).
  void SetRate(int32_t rate);
  // Takes the queued commands, then mixes the next `frames` frames into `out` as interleaved
  // stereo 16-bit samples, limited so that they never wrap. PlayAt frames count the frames
  // rendered so far.
  void Render(int16_t* out, int64_t frames);

 private:
  // One buffer's playing state. Made by the control side; after that only the render side
  // touches it.
  struct Voice {
    const int16_t* samples = nullptr;
    int64_t frames = 0;
    int32_t channels = 0;
    float gain = 1;
    bool playing = false;
    int64_t position = 0;  // next frame of the sound
    int32_t start_count = 0;
    int64_t starts[kMaxPendingStarts] = {};  // output frames of scheduled restarts, ascending
    Voice* prev = nullptr;                   // in the list of voices to mix
    Voice* next = nullptr;
    bool linked = false;
  };
  struct Command {
    enum class Kind : uint8_t { Create, Free, Play, PlayAt, Stop, SetGain };
    Kind kind = Kind::Stop;
    Voice* voice = nullptr;
    const DecodedSound* sound = nullptr;
    int64_t frame = 0;
    float gain = 1;
  };
  struct Entry {
    Voice* voice = nullptr;
    std::shared_ptr<const DecodedSound> sound;
  };

  // Control side.
  bool Send(const Command& command);
  void Send(int32_t id, Command command);
  void ReleaseRetired();

  // Render side.
  void Apply(const Command& command);
  void Link(Voice& voice);
  void Unlink(Voice& voice);
  void MixVoice(Voice& voice, int64_t block_start, int64_t frames);
  void Finish(int16_t* out, int64_t frames);

  SpscRing<Command> queue_;
  std::atomic<int32_t> active_voices_{0};

  // Control side only.
  std::deque<Voice> voices_;  // stable addresses; fields belong to the render side once made
  std::vector<Voice*> free_voices_;
  std::unordered_map<int32_t, Entry> entries_;
  // Freed sounds with the queue position of their Free command.
  std::deque<std::pair<uint64_t, std::shared_ptr<const DecodedSound>>> retired_;
  // Freed sounds whose Free command was dropped: kept until the mixer goes.
  std::vector<std::shared_ptr<const DecodedSound>> stranded_;
  int32_t next_id_ = 1;
  bool stalled_ = false;

  // Render side only.
  Voice* playing_ = nullptr;  // voices sounding or with starts scheduled
  int64_t frame_ = 0;         // frames rendered so far
  float release_ = 0;
  float limiter_gain_ = 1;
  std::vector<float> mix_;
};

}  // namespace quillon
