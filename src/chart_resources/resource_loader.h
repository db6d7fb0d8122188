// Loading a chart's sounds and pictures after it has been compiled.
//
// Sounds named by the #WAV lines the compile pass visited go into sound buffers; pictures named
// by the visited #BMP lines become 256 x 256 surfaces with the picture at the top right. Files
// are found without regard to case, and a sound or picture missing under its own extension is
// looked for under the common others (kick.wav -> kick.ogg).
//
// A #BMP line may name a movie instead (by its extension, or a missing picture whose name exists
// with a movie extension; a named .mpg gives way to an .mp4 of the same name). Movies are probed
// in the picture pass, their first frame becomes the id's picture and their path is kept for the
// BGA display, which decodes them only when they play.
//
// Threads: Load runs on the UI thread. Reading and decoding the files runs on worker threads
// ahead of it; the UI thread takes the results in file order, so the progress line, the lists
// and the tables advance exactly as they would one file at a time. Workers touch only their own
// result slots; everything else (surfaces, sound buffers, the view) stays on the UI thread.
#pragma once

#include <QImage>
#include <array>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "chart/loader.h"
#include "chart/model.h"
#include "platform/surface.h"
#include "playback/sound_device.h"
#include "playback/sound_module.h"

namespace quillon {

// What was loaded, for `quillon --dump --resources`.
struct LoadedSound {
  int Id = 0;
  std::string File;  // resolved path, relative to the chart's folder
  int64_t Frames = 0;
  int32_t Rate = 0;
  int32_t Channels = 0;
};
struct LoadedPicture {
  int Id = 0;
  std::string File;
  int32_t Width = 0;
  int32_t Height = 0;
  bool Movie = false;  // a movie: its frame count and frame rate follow
  int64_t Frames = 0;
  double Fps = 0.0;
};

// The sound-library level for a #VOLWAV value: the gain is WaveVolume / 100 (100 leaves sounds
// as they are), in hundredths of a decibel, from -10000 (silent, for 0 and below) to 0: the
// device never amplifies, so values above 100 play at the sounds' own loudness.
int32_t VolumeLevel(int16_t wave_volume);

class ResourceLoader : public ChartResources {
 public:
  // `device` is the sound device handle (0: no device). The references must outlive the loader.
  ResourceLoader(SoundDevice& sound, const int32_t& device, SoundMessages& messages,
                 SurfaceRegistry& surfaces, const ElementFlags& flags);

  void Reset(Chart& chart, bool keep_resources) override;
  void Load(Chart& chart, const CompiledLines& lines, LoadView& view) override;
  // Shut-down: every sound buffer and surface of the chart is released.
  void ReleaseAll(Chart& chart);

  // Decodes sounds even with no device, to report them; the sound table stays as it is without
  // a device. The dump uses this.
  bool DecodeWithoutDevice = false;
  int32_t DecodeRate = 44100;

  // Keeps each #BMP picture as decoded, at its own size, for a BGA composed larger than 256 x 256
  // (a video export); PictureSource gives it, nullptr for an id without one.
  bool KeepPictureSources = false;
  const QImage* PictureSource(int id) const;

  // The full path of each #WAV id as the chart wrote it (folder + name, upper case).
  std::vector<std::string> WaveFiles = std::vector<std::string>(kIdCount);
  // The composed BGA picture and the back buffer, remade by every load's reset.
  SurfaceHandle BgaDc = 0;
  SurfaceHandle BgaBitmap = 0;
  SurfaceHandle SpriteDc = 0;
  SurfaceHandle SpriteBitmap = 0;

  // By id: what each id holds now (a later definition of an id replaces an earlier one).
  const std::map<int, LoadedSound>& Sounds() const { return sounds_; }
  const std::map<int, LoadedPicture>& Pictures() const { return pictures_; }

 private:
  void LoadSounds(Chart& chart, const CompiledLines& lines, LoadView& view, size_t total);
  void LoadPictures(Chart& chart, const CompiledLines& lines, LoadView& view, size_t total);
  void ReleaseSounds(Chart& chart);
  void ReleasePictures(Chart& chart);

  SoundDevice& sound_;
  const int32_t& device_;
  SoundMessages& messages_;
  SurfaceRegistry& surfaces_;
  const ElementFlags& flags_;
  std::map<int, LoadedSound> sounds_;
  std::map<int, LoadedPicture> pictures_;
  std::map<int, QImage> picture_sources_;
};

}  // namespace quillon
