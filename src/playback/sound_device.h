// The sound device: buffers of decoded sounds played through our own mixer.
//
// The operations keep the names the rest of the program calls them by (dsInitialize2, dsPlay,
// dsFree, ...). Each buffer has one voice: dsPlay restarts it from the start, never layered.
// Starts may be scheduled at an exact sample of the output stream, so a sound's onset does not
// depend on when the UI thread got round to it.
//
// Threads: every operation here is called on the UI thread, except that DecodeSound may run on
// any thread to make sounds for CreateBuffer. The mixer runs on the output's thread (SDL's audio
// thread, or whichever thread pulls memory output: the audio export, the tests, the benchmark
// and the fuzzer mix offline this way) and shares with the UI thread only a
// lock-free command queue and the immutable decoded sounds (see mixer.h).
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "playback/sound_backend.h"
#include "playback/sound_decoder.h"

namespace quillon {

class Mixer;

// The mix rate when nothing else decides it: before a chart is loaded, and for a chart without
// sounds.
inline constexpr int32_t kDefaultMixRate = 44100;

// The rate to mix a chart at: the one most of its sounds have, so that they play without
// resampling. `rates` holds each sound's rate (0, or a rate DecodeSound refuses, for a sound
// whose rate is unknown: it has no say). A tie goes to the higher rate, so that no sound of the
// tie loses its top octave; with no rate known, kDefaultMixRate, which is also the lowest mix rate
// (sounds at lower rates are resampled up to it).
int32_t MajorityRate(const std::vector<int32_t>& rates);

class SoundDevice {
 public:
  explicit SoundDevice(std::unique_ptr<SoundBackend> backend);
  // Closes the output (as dsTerminate) and releases every buffer.
  ~SoundDevice();
  SoundDevice(const SoundDevice&) = delete;
  SoundDevice& operator=(const SoundDevice&) = delete;

  // Opens the output at kDefaultMixRate (or the rate the output insists on): a device handle
  // (non-zero), 0 when no output could be opened. Everything else then works silently:
  // CreateBuffer gives 0, the rest does nothing. While open, a second call gives the same
  // handle. The window and mode are not needed here.
  int32_t dsInitialize2(int64_t window, int32_t mode);
  // The mix goes on whichever window has the focus; the flag is only kept.
  void dsSetGlobalFocus(int32_t on);
  // A buffer for a sound decoded already (on any thread) at Rate(); 0 with no device, or when
  // the sound is empty, not mono or stereo, or at another rate.
  int32_t CreateBuffer(std::shared_ptr<const DecodedSound> sound);
  // Level in hundredths of a decibel, clamped to [-10000, 0]: 0 leaves the sound at its own
  // loudness, -10000 is silence. Unknown ids are ignored, here and below.
  void dsSetVolume(int32_t id, int32_t level);
  // Silences the buffer and cancels its scheduled starts.
  void dsStop(int32_t id);
  // Plays the buffer once from its start, as soon as possible; a sounding buffer is cut and
  // restarted.
  void dsPlay(int32_t id);
  // Restarts the buffer from its start at output frame `frame` (see OutputFrame()); until then
  // it goes on as it was. A frame already played means as soon as possible. Up to
  // Mixer::kMaxPendingStarts starts per buffer may wait at once.
  void PlayAt(int32_t id, int64_t frame);
  // Releases the buffer (it falls silent). Ids are never reused while the device object lives.
  void dsFree(int32_t id);
  // Closes the output and releases every buffer when `device` is the open device's handle.
  void dsTerminate(int32_t device);

  // Mixes at `rate` from now on, when open and the output can run at that rate but does not yet:
  // the output is then closed and opened again at `rate`, which releases every buffer (their
  // sounds are at the old rate; their ids are not reused) and starts OutputFrame() at 0 again.
  // When it cannot open at `rate`, it goes back to the rate it had (silent when that fails too).
  // Returns Rate().
  int32_t UseRate(int32_t rate);

  // True when open and the output runs at whatever rate UseRate asks for (the sound card's
  // output, which converts the mix itself); false for an output held at one rate (an export).
  bool FollowsRate() const;

  bool IsOpen() const;
  // The mix rate while open (sounds for CreateBuffer are decoded at it), else 0.
  int32_t Rate() const;
  // Frames the output has taken from the mixer: starts scheduled at or before it begin at once.
  // Counted from the last time the output opened (see Opens()).
  int64_t OutputFrame() const;
  // How many times the output has been opened: it changes whenever OutputFrame() starts over.
  uint32_t Opens() const;
  // Voices sounding now (the polyphony gauge).
  int32_t ActiveVoices() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace quillon
