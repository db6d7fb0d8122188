// The headless exports end: a chart whose play never moves is refused, and a file that cannot be
// written stops the export with a message naming it.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <csignal>
#include <filesystem>
#include <sstream>

#include "app/render_audio_command.h"
#include "app/render_frames_command.h"
#include "support/test_data.h"

namespace quillon {
namespace {

namespace fs = std::filesystem;

RenderFramesRequest Frames(const test::TempDir& dir, const std::string& chart) {
  RenderFramesRequest request;
  request.ChartPath = chart;
  request.Base = (dir.path() / "out").string();
  request.Fps = 30;
  request.Width = 64;
  request.Height = 48;
  request.ProgramFolder = (dir.path() / "program").string();
  request.DataFolder = (dir.path() / "data").string();
  return request;
}

RenderAudioRequest Audio(const test::TempDir& dir, const std::string& chart) {
  RenderAudioRequest request;
  request.ChartPath = chart;
  request.OutPath = (dir.path() / "out.wav").string();
  return request;
}

TEST(RenderTest, AChartWhoseStartTempoIsNotPositiveIsRefused) {
  test::TempDir dir;
  // No #BPM: the start tempo is 0, play would stand at position 0 for ever.
  const std::string chart = dir.Write("still.bms", "#00111:01\r\n#00211:01\r\n");
  const std::string reason = "quillon: " + chart +
                             ": the start tempo is 0 BPM (is #BPM missing?), so play would never "
                             "move: nothing rendered\n";
  std::ostringstream out, frames_err, audio_err;
  EXPECT_EQ(RunRenderFrames(Frames(dir, chart), out, frames_err), 1);
  EXPECT_EQ(frames_err.str(), reason);
  EXPECT_FALSE(fs::exists(dir.path() / "out0001.bmp"));
  EXPECT_EQ(RunRenderAudio(Audio(dir, chart), out, audio_err), 1);
  EXPECT_EQ(audio_err.str(), reason);
  EXPECT_FALSE(fs::exists(dir.path() / "out.wav"));
  EXPECT_EQ(out.str(), "");
}

// A full disk, as a write sees it: the file size limit makes the write fail part-way (EFBIG
// instead of ENOSPC), with the signal it would raise ignored.
class FullDisk {
 public:
  explicit FullDisk(rlim_t bytes) {
    getrlimit(RLIMIT_FSIZE, &saved_);
    old_handler_ = std::signal(SIGXFSZ, SIG_IGN);
    rlimit limit = saved_;
    limit.rlim_cur = bytes;
    setrlimit(RLIMIT_FSIZE, &limit);
  }
  ~FullDisk() {
    setrlimit(RLIMIT_FSIZE, &saved_);
    std::signal(SIGXFSZ, old_handler_);
  }

 private:
  rlimit saved_{};
  void (*old_handler_)(int) = nullptr;
};

TEST(RenderTest, AFileThatCannotBeWrittenStopsTheExportNamingIt) {
  test::TempDir dir;
  const std::string chart = dir.Write("c.bms", "#BPM 150\r\n#00011:01\r\n#00111:01\r\n");
  // Skins are written on the first run; make them before the disk is "full".
  std::ostringstream out, err;
  ASSERT_EQ(RunRenderFrames(Frames(dir, chart), out, err), 0) << err.str();
  RenderFramesRequest frames = Frames(dir, chart);
  frames.Base = (dir.path() / "full").string();
  std::ostringstream frames_err, audio_err;
  int frames_status = 0;
  int audio_status = 0;
  {
    const FullDisk full(4096);  // a 64 x 48 frame takes 9270 bytes
    frames_status = RunRenderFrames(frames, out, frames_err);
    audio_status = RunRenderAudio(Audio(dir, chart), out, audio_err);
  }
  EXPECT_EQ(frames_status, 1);
  EXPECT_NE(frames_err.str().find("frame 1 not written, output stopped: " +
                                  (dir.path() / "full0001.bmp").string()),
            std::string::npos)
      << frames_err.str();
  EXPECT_FALSE(fs::exists(dir.path() / "full0002.bmp"));
  EXPECT_EQ(audio_status, 1);
  EXPECT_NE(audio_err.str().find("cannot write " + (dir.path() / "out.wav").string()),
            std::string::npos)
      << audio_err.str();
}

}  // namespace
}  // namespace quillon
