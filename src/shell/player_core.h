// Everything the main window owns that is not a widget: the chart, the display switches, the
// surfaces, the sound device, the resource loader, the note and status displays, the play clock
// and the play engine. The window builds one and hands references to the other windows.
//
// Threads: the UI thread owns all of it; the sound device's mixer runs on SDL's audio thread and
// is reached only through SoundDevice.
#pragma once

#include <memory>

#include "chart/model.h"
#include "chart_resources/resource_loader.h"
#include "platform/surface.h"
#include "playback/note_display.h"
#include "playback/play_engine.h"
#include "playback/play_sounds.h"
#include "playback/sound_backend.h"
#include "playback/sound_device.h"
#include "playback/status_display.h"

namespace quillon {

struct PlayerCore {
  // `view` and `messages` are the main window; `backend` the sound output (SDL, or none).
  PlayerCore(PlayView& view, SoundMessages& messages, std::unique_ptr<SoundBackend> backend)
      : sound(std::move(backend)),
        resources(sound, device, messages, surfaces, flags),
        notes(surfaces, flags),
        clock(sound),
        sounds(sound),
        engine(chart, flags, clock, view, sounds) {}

  Chart chart;
  ElementFlags flags = ElementFlags::FirstStart();
  SurfaceRegistry surfaces;
  SoundDevice sound;
  int32_t device = 0;  // the open sound device's handle; 0: no sound
  ResourceLoader resources;
  NoteDisplay notes;
  StatusDisplay status;
  AudioTickClock clock;
  DeviceSounds sounds;
  PlayEngine engine;
};

}  // namespace quillon
