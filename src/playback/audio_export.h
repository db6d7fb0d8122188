// Playing a chart on a virtual clock and mixing it into memory: the audio export, and the
// end-to-end check of scheduler and mixer. Every sound starts at the sample of its object's
// chart time, whatever the scheduler's step size.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "chart/model.h"
#include "playback/sound_backend.h"
#include "playback/sound_device.h"

namespace quillon {

struct ExportedAudio {
  int32_t Rate = 0;
  std::vector<int16_t> Samples;      // interleaved stereo
  std::vector<int64_t> StartFrames;  // the frame each fired sound started at, in firing order
};

// Plays `chart` from measure 0 at its start tempo with the live scheduler on a virtual clock (at
// most ExportLimitMs long), its sounds being buffers of `device`, which must be open on
// `backend`. Mixing goes on after the end of play until every sound has died away (at most
// `tail_ms` more).
ExportedAudio ExportChartAudio(Chart& chart, const ElementFlags& flags, SoundDevice& device,
                               MemoryBackend& backend, int32_t tail_ms = 10000);

// A 16-bit PCM WAV file of interleaved stereo samples; false with `error` set when it cannot
// be written.
bool WriteWav16(const std::string& path, int32_t rate, const std::vector<int16_t>& samples,
                std::string& error);

}  // namespace quillon
