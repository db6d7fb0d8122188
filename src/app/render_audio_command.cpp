#include "app/render_audio_command.h"

#include "chart_resources/headless_load.h"
#include "chart_resources/resource_loader.h"
#include "platform/surface.h"
#include "playback/audio_export.h"
#include "playback/sound_module.h"

namespace quillon {

int RunRenderAudio(const RenderAudioRequest& request, std::ostream& out, std::ostream& err) {
  auto backend = std::make_unique<MemoryBackend>(request.Rate);
  MemoryBackend& memory = *backend;
  SoundDevice device(std::move(backend));
  const int32_t handle = device.dsInitialize2(0, 2);
  if (handle == 0) {
    err << "quillon: cannot mix at " << request.Rate << " Hz\n";
    return 1;
  }
  StreamSoundMessages messages(err);
  SurfaceRegistry surfaces;
  ElementFlags flags = ElementFlags::FirstStart();
  flags.Set(Element::DontLoadBmp, true);  // sound only
  ResourceLoader resources(device, handle, messages, surfaces, flags);
  Chart chart;
  if (!LoadForExport(request.ChartPath, request.Options, flags, &resources, chart, err)) return 1;

  const ExportedAudio audio = ExportChartAudio(chart, flags, device, memory);
  std::string write_error;
  if (!WriteWav16(request.OutPath, audio.Rate, audio.Samples, write_error)) {
    err << "quillon: " << write_error << '\n';
    return 1;
  }
  out << request.OutPath << ": " << audio.Samples.size() / 2 << " frames at " << audio.Rate
      << " Hz, " << audio.StartFrames.size() << " sounds\n";
  return 0;
}

}  // namespace quillon
