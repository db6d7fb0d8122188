#include "app/render_frames_command.h"

#include "chart_resources/headless_load.h"
#include "chart_resources/resource_loader.h"
#include "platform/surface.h"
#include "playback/frame_export.h"
#include "playback/headless.h"
#include "playback/note_display.h"
#include "playback/sound_backend.h"
#include "playback/sound_module.h"

namespace quillon {

int RunRenderFrames(const RenderFramesRequest& request, std::ostream& out, std::ostream& err) {
  SurfaceRegistry surfaces;
  surfaces.DisplayWidth = request.Width;
  surfaces.DisplayHeight = request.Height;
  const ElementFlags flags = ElementFlags::FirstStart();
  // Pictures only: no sound is played while frames are made.
  SoundDevice sound(MakeNullBackend());
  const int32_t no_device = 0;
  StreamSoundMessages messages(err);
  ResourceLoader resources(sound, no_device, messages, surfaces, flags);
  Chart chart;
  if (!LoadForExport(request.ChartPath, request.Options, flags, &resources, chart, err)) return 1;

  NoteDisplay display(surfaces, flags);
  display.DisplayWidth = request.Width;
  display.DisplayHeight = request.Height;
  display.LoadSkins(request.ProgramFolder, request.DataFolder);
  display.SetLaneLayout(chart.Header.SevenKeys ? 1 : 0);

  StillClock clock;
  HeadlessView view;
  SilentSounds sounds;
  PlayEngine engine(chart, flags, clock, view, sounds);
  FrameExportHooks hooks;
  hooks.DrawFrame = [&]() -> const QImage* {
    display.DrawFrame(engine, chart, resources.SpriteDc, resources.BgaDc, nullptr);
    return surfaces.Image(resources.SpriteDc);
  };
  const FrameRun run = RunFrameLoop(engine, chart, request.Fps, request.Base, hooks);
  if (!run.Error.empty()) {
    err << "quillon: frame " << run.FrameNumber + 1 << " not written, output stopped: " << run.Error
        << '\n';
    return 1;
  }
  if (run.Capped) {
    err << "quillon: play did not reach the end of the chart (a tempo of 0 or less); output "
           "stopped 10 s after its play length\n";
  }
  out << run.FrameNumber << " frames, " << FrameFileName(request.Base, 1) << " to " << run.LastFile
      << '\n';
  return 0;
}

}  // namespace quillon
