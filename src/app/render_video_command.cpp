#include "app/render_video_command.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <streambuf>
#include <string>

#include "app/stop_signals.h"

namespace quillon {
namespace {

// The export's messages on the error stream: a message that comes while the progress line is
// showing starts on a line of its own.
class MessageBuffer : public std::streambuf {
 public:
  explicit MessageBuffer(std::ostream& err) : err_(err) {}
  bool progress_showing = false;

 protected:
  int overflow(int c) override {
    if (c == traits_type::eof()) return traits_type::not_eof(c);
    if (progress_showing) err_ << '\n';
    progress_showing = false;
    err_.put(static_cast<char>(c));
    return c;
  }

 private:
  std::ostream& err_;
};

}  // namespace

std::string VideoProgressText(int64_t frames, int64_t total, double seconds_so_far) {
  const int64_t percent = total > 0 ? std::min<int64_t>(100, frames * 100 / total) : 0;
  const double rate = seconds_so_far > 0 ? static_cast<double>(frames) / seconds_so_far : 0.0;
  char left[32] = "--:--";
  if (rate > 0) {
    const auto seconds = static_cast<int64_t>(static_cast<double>(total - frames) / rate + 0.5);
    std::snprintf(left, sizeof left, "%lld:%02lld",
                  static_cast<long long>(std::max<int64_t>(0, seconds) / 60),
                  static_cast<long long>(std::max<int64_t>(0, seconds) % 60));
  }
  char text[128];
  std::snprintf(text, sizeof text, "%lld%% %lld/%lld frames, %.1f frames/s, %s left",
                static_cast<long long>(percent), static_cast<long long>(frames),
                static_cast<long long>(total), rate, left);
  return text;
}

int RunRenderVideo(const RenderVideoRequest& request, std::ostream& out, std::ostream& err) {
  const StopSignals signals;
  MessageBuffer buffer(err);
  std::ostream messages(&buffer);
  const auto start = std::chrono::steady_clock::now();
  auto last_shown = start;
  bool shown = false;
  VideoExportHooks hooks;
  hooks.StopRequested = [] { return StopSignals::Signal() != 0; };
  hooks.Progress = [&](int64_t frames, int64_t total) {
    if (request.AfterFrame) request.AfterFrame(frames);
    if (!request.Progress) return;
    const auto now = std::chrono::steady_clock::now();
    if (shown && now - last_shown < std::chrono::milliseconds(250)) return;
    last_shown = now;
    shown = true;
    const double seconds = std::chrono::duration<double>(now - start).count();
    // Blanks after the text cover the end of a longer line before it.
    err << '\r' << VideoProgressText(frames, total, seconds) << "    " << std::flush;
    buffer.progress_showing = true;
  };
  const VideoExportResult result = ExportVideo(request.Export, hooks, messages);
  if (buffer.progress_showing) {
    if (result.Written) {
      const double seconds =
          std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
      err << '\r' << VideoProgressText(result.Frames, result.Frames, seconds) << "    ";
    }
    err << '\n';
  }
  if (result.Stopped) return 128 + StopSignals::Signal();
  if (!result.Written) return 1;
  const VideoSettings& video = request.Export.Video;
  char length[32];
  std::snprintf(length, sizeof length, "%.2f", result.Seconds);
  out << request.Export.OutPath << ": " << result.Frames << " frames, " << video.Width << "x"
      << video.Height << " at " << video.Fps << " fps, " << length << " s\n";
  return 0;
}

}  // namespace quillon
