#include "playback/video_export.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <vector>

#include "chart/timing.h"
#include "chart_resources/headless_load.h"
#include "chart_resources/resource_loader.h"
#include "platform/surface.h"
#include "playback/audio_export.h"
#include "playback/frame_export.h"
#include "playback/headless.h"
#include "playback/note_display.h"
#include "playback/sound_backend.h"
#include "playback/sound_device.h"
#include "playback/title_text.h"
#include "playback/video_frame.h"

namespace quillon {
namespace {

// The sound handed to the writer in step with the frames: up to the sample where the next frame
// starts, then (once the picture is over) silence to the end of the last frame.
class SoundFeed {
 public:
  SoundFeed(VideoWriter& writer, const std::vector<int16_t>& samples, int64_t rate, int64_t fps)
      : writer_(writer), samples_(samples), rate_(rate), fps_(fps) {}

  int64_t Frames() const { return static_cast<int64_t>(samples_.size() / 2); }
  // The first sample after `frames` frames of picture.
  int64_t SampleAfter(int64_t frames) const { return frames * rate_ / fps_; }

  // Writes the mix up to the start of frame `frames` (0-based), the mix's end at the most.
  bool WriteTo(int64_t frames, std::string& error) {
    const int64_t end = std::min(SampleAfter(frames), Frames());
    if (end <= written_) return true;
    const bool ok = writer_.WriteSound(samples_.data() + written_ * 2, end - written_, error);
    written_ = end;
    return ok;
  }
  // The rest of the mix, then silence up to the start of frame `frames`.
  bool Finish(int64_t frames, std::string& error) {
    if (!WriteTo(frames, error)) return false;
    const int64_t end = SampleAfter(frames);
    if (end <= written_) return true;
    const std::vector<int16_t> silence(static_cast<size_t>(end - written_) * 2, 0);
    written_ = end;
    return writer_.WriteSound(silence.data(), static_cast<int64_t>(silence.size() / 2), error);
  }

 private:
  VideoWriter& writer_;
  const std::vector<int16_t>& samples_;
  const int64_t rate_;
  const int64_t fps_;
  int64_t written_ = 0;
};

}  // namespace

VideoExportResult ExportVideo(const VideoExportRequest& request, const VideoExportHooks& hooks,
                              std::ostream& err) {
  VideoExportResult result;
  const VideoSettings& settings = request.Video;
  const auto fail = [&](const std::string& text) {
    err << "quillon: " << text << '\n';
    return result;
  };
  // The writer first: a name it cannot write is refused before the chart's files are read.
  VideoWriter writer;
  std::string error;
  if (!writer.Open(request.OutPath, settings, error)) return fail(error);

  auto backend = std::make_unique<MemoryBackend>(settings.SampleRate);
  MemoryBackend& memory = *backend;
  SoundDevice device(std::move(backend));
  const int32_t handle = device.dsInitialize2(0, 2);
  if (handle == 0) return fail("cannot mix at " + std::to_string(settings.SampleRate) + " Hz");
  const int side = std::min(settings.Width, settings.Height);
  SurfaceRegistry surfaces;
  surfaces.DisplayWidth = side;
  surfaces.DisplayHeight = side;
  const ElementFlags flags = ElementFlags::FirstStart();
  StreamSoundMessages messages(err);
  ResourceLoader resources(device, handle, messages, surfaces, flags);
  // The BGA is composed at the square's side from the pictures as decoded (and the movies' own
  // frames), unless the classic 256 x 256 composition is asked for.
  resources.KeepPictureSources = !request.ClassicBga;
  Chart chart;
  if (!LoadForExport(request.ChartPath, request.Options, flags, &resources, chart, err)) {
    return result;
  }
  // The same mix as the audio export's, whole, before the first frame.
  const ExportedAudio audio = ExportChartAudio(chart, flags, device, memory);

  NoteDisplay display(surfaces, flags);
  display.DisplayWidth = side;
  display.DisplayHeight = side;
  display.LoadSkins(request.ProgramFolder, request.DataFolder);
  display.SetLaneLayout(chart.Header.SevenKeys ? 1 : 0);
  if (!request.ClassicBga) {
    display.Bga.SetCompositionSize(side,
                                   [&resources](int id) { return resources.PictureSource(id); });
  }

  StillClock clock;
  HeadlessView view;
  SilentSounds sounds;
  PlayEngine engine(chart, flags, clock, view, sounds);
  VideoFrame frame(settings.Width, settings.Height, chart.Header);
  SoundFeed sound(writer, audio.Samples, settings.SampleRate, settings.Fps);

  const double picture_ms = TempoMap(chart).TimeAt(chart.EndPosition + 256.0);
  const double sound_ms = sound.Frames() * 1000.0 / settings.SampleRate;
  const int64_t expected =
      1 + static_cast<int64_t>(std::max(picture_ms, sound_ms) * settings.Fps / 1000.0);
  int64_t frames = 0;
  const auto took_frame = [&] {
    ++frames;
    if (hooks.Progress) hooks.Progress(frames, std::max(expected, frames));
  };
  bool stopped = false;
  const auto stop_asked = [&] {
    if (hooks.ProcessEvents) hooks.ProcessEvents();
    stopped = stopped || (hooks.StopRequested && hooks.StopRequested());
    return stopped;
  };

  FrameExportHooks loop;
  loop.FirstFrameAtStart = true;
  loop.DrawFrame = [&]() -> const QImage* {
    display.DrawFrame(engine, chart, resources.SpriteDc, resources.BgaDc, nullptr);
    return surfaces.Image(resources.SpriteDc);
  };
  loop.TakeFrame = [&](const QImage& picture, int32_t n, std::string& frame_error) {
    const std::string time_line =
        TimeLineText(engine.CurrentMeasure, chart.LastMeasure, engine.ElapsedMs, chart.TotalTimeMs,
                     flags[Element::MillisecondTimer]);
    if (!writer.WriteFrame(frame.Compose(picture, time_line), frame_error)) return false;
    if (!sound.WriteTo(n, frame_error)) return false;
    took_frame();
    return true;
  };
  loop.ProcessEvents = [&] {
    if (stop_asked()) engine.StopRequest = true;
  };
  const FrameRun run = RunFrameLoop(engine, chart, static_cast<float>(settings.Fps), "", loop);
  engine.Playing = false;
  if (!run.Error.empty()) {
    return fail("frame " + std::to_string(run.FrameNumber + 1) +
                " not written, output stopped: " + run.Error);
  }
  if (run.Capped) {
    err << "quillon: play did not reach the end of the chart (a tempo of 0 or less); the "
           "picture stopped 10 s after its play length\n";
  }
  // The sound rings on past the picture's end: the last frame is held until it has died away.
  while (!stopped && (frames == 0 || sound.SampleAfter(frames) < sound.Frames())) {
    if (!writer.WriteFrame(frame.Current(), error) || !sound.WriteTo(frames + 1, error)) {
      return fail(error);
    }
    took_frame();
    stop_asked();
  }
  if (stopped) {
    writer.Abort();
    result.Stopped = true;
    return fail("stopped: " + request.OutPath + " not written");
  }
  if (!sound.Finish(frames, error) || !writer.Finish(error)) return fail(error);
  result.Written = true;
  result.Frames = frames;
  result.SoundFrames = sound.Frames();
  result.Seconds = static_cast<double>(frames) / settings.Fps;
  return result;
}

}  // namespace quillon
