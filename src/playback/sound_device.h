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

#include "playback/sound_backend.h"
#include "playback/sound_decoder.h"

namespace quillon {

class Mixer;

class SoundDevice {
 public:
  explicit SoundDevice(std::unique_ptr<SoundBackend> backend);
  // Closes the output (as dsTerminate) and releases every buffer.
  ~SoundDevice();
  SoundDevice(const SoundDevice&) = delete;
  SoundDevice& operator=(const SoundDevice&) = delete;

  // Opens the output: a device handle (non-zero), 0 when no output could be opened. Everything
  // else then works silently: CreateBuffer gives 0, the rest does nothing. While open, a second
  // call gives the same handle. The window and mode are not needed here.
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

  bool IsOpen() const;
  // The output rate while open (sounds for CreateBuffer are decoded at it), else 0.
  int32_t Rate() const;
  // Frames the output has taken from the mixer: starts scheduled at or before it begin at once.
  int64_t OutputFrame() const;
  // Voices sounding now (the polyphony gauge).
  int32_t ActiveVoices() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace quillon
