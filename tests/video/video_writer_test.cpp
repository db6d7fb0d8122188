#include "video/video_writer.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <QImage>
#include <cmath>
#include <filesystem>
#include <vector>

#include "support/test_clip.h"
#include "support/test_data.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

namespace quillon {
namespace {

constexpr int kFps = 30;
constexpr int kFrames = 30;  // one second
constexpr int kRate = 48000;
constexpr int kFlashFrame = 17;                           // the white frame
constexpr int kClickSample = kFlashFrame * kRate / kFps;  // the click, at the same time
constexpr double kFrameSeconds = 1.0 / kFps;

// Frames before the flash are blue, the flash white, the rest red.
QRgb ColourOf(int frame) {
  if (frame < kFlashFrame) return qRgb(20, 40, 200);
  return frame == kFlashFrame ? qRgb(255, 255, 255) : qRgb(200, 30, 30);
}

// One second of 320x240 at 30 fps with silence and a click; the sound goes in uneven pieces
// between the frames, so no piece matches the audio encoder's frame size.
bool WriteTestVideo(const std::string& path, std::string& error) {
  VideoWriter writer;
  VideoSettings settings;
  settings.Width = 320;
  settings.Height = 240;
  settings.Fps = kFps;
  if (!writer.Open(path, settings, error)) return false;
  std::vector<int16_t> sound(2 * kRate, 0);
  for (int i = kClickSample; i < kClickSample + 96; ++i)
    sound[2 * i] = sound[2 * i + 1] = (i / 12) % 2 ? 30000 : -30000;
  int64_t sent = 0;
  for (int n = 0; n < kFrames; ++n) {
    QImage frame(n == 5 ? 160 : 320, n == 5 ? 120 : 240, QImage::Format_RGB888);  // one scaled
    frame.fill(ColourOf(n));
    if (!writer.WriteFrame(frame, error)) return false;
    const int64_t piece = std::min<int64_t>(700 + 611 * (n % 3), kRate - sent);
    if (!writer.WriteSound(sound.data() + 2 * sent, piece, error)) return false;
    sent += piece;
  }
  if (!writer.WriteSound(sound.data() + 2 * sent, kRate - sent, error)) return false;
  EXPECT_EQ(writer.FramesWritten(), kFrames);
  return writer.Finish(error);
}

// What decoding a written file back shows.
struct Decoded {
  std::vector<AVCodecID> codecs;
  double duration = 0.0;
  std::vector<double> frame_times;
  std::vector<QRgb> frame_colours;  // the centre pixel, through the matrix the stream names
  double audio_start = 0.0;
  std::vector<float> left;  // the left channel from audio_start on
};

uint8_t Clamp8(double v) {
  return static_cast<uint8_t>(std::clamp(v + 0.5, 0.0, 255.0));
}

QRgb CentreColour(const AVFrame& frame) {
  const int x = frame.width / 2, y = frame.height / 2;
  const double luma = 1.164 * (frame.data[0][y * frame.linesize[0] + x] - 16);
  const double u = frame.data[1][y / 2 * frame.linesize[1] + x / 2] - 128.0;
  const double v = frame.data[2][y / 2 * frame.linesize[2] + x / 2] - 128.0;
  if (frame.colorspace == AVCOL_SPC_BT709)
    return qRgb(Clamp8(luma + 1.793 * v), Clamp8(luma - 0.213 * u - 0.533 * v),
                Clamp8(luma + 2.112 * u));
  return qRgb(Clamp8(luma + 1.596 * v), Clamp8(luma - 0.392 * u - 0.813 * v),
              Clamp8(luma + 2.017 * u));
}

Decoded Decode(const std::string& path) {
  Decoded out;
  AVFormatContext* format = nullptr;
  if (avformat_open_input(&format, path.c_str(), nullptr, nullptr) < 0) return out;
  avformat_find_stream_info(format, nullptr);
  out.duration = static_cast<double>(format->duration) / AV_TIME_BASE;
  std::vector<AVCodecContext*> codecs;
  for (unsigned i = 0; i < format->nb_streams; ++i) {
    const AVCodecParameters* par = format->streams[i]->codecpar;
    out.codecs.push_back(par->codec_id);
    AVCodecContext* codec = avcodec_alloc_context3(avcodec_find_decoder(par->codec_id));
    avcodec_parameters_to_context(codec, par);
    codec->pkt_timebase = format->streams[i]->time_base;  // to move times past dropped priming
    avcodec_open2(codec, codec->codec, nullptr);
    codecs.push_back(codec);
  }
  AVPacket* packet = av_packet_alloc();
  AVFrame* frame = av_frame_alloc();
  auto drain = [&](unsigned index) {
    AVCodecContext* codec = codecs[index];
    const double base = av_q2d(format->streams[index]->time_base);
    while (avcodec_receive_frame(codec, frame) >= 0) {
      const double time = static_cast<double>(frame->best_effort_timestamp) * base;
      if (codec->codec_type == AVMEDIA_TYPE_VIDEO) {
        out.frame_times.push_back(time);
        out.frame_colours.push_back(CentreColour(*frame));
      } else {
        if (out.left.empty()) out.audio_start = time;
        const auto* left = reinterpret_cast<const float*>(frame->data[0]);
        out.left.insert(out.left.end(), left, left + frame->nb_samples);
      }
      av_frame_unref(frame);
    }
  };
  while (av_read_frame(format, packet) >= 0) {
    const auto index = static_cast<unsigned>(packet->stream_index);
    avcodec_send_packet(codecs[index], packet);
    av_packet_unref(packet);
    drain(index);
  }
  for (unsigned i = 0; i < codecs.size(); ++i) {
    avcodec_send_packet(codecs[i], nullptr);
    drain(i);
    avcodec_free_context(&codecs[i]);
  }
  av_frame_free(&frame);
  av_packet_free(&packet);
  avformat_close_input(&format);
  return out;
}

bool Near(QRgb a, QRgb b) {
  return std::abs(qRed(a) - qRed(b)) <= 12 && std::abs(qGreen(a) - qGreen(b)) <= 12 &&
         std::abs(qBlue(a) - qBlue(b)) <= 12;
}

std::vector<std::string> FilesIn(const std::filesystem::path& folder) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder))
    names.push_back(entry.path().filename().string());
  return names;
}

struct Format {
  const char* name;
  const char* video_encoder;
  const char* audio_encoder;
  AVCodecID video;
  AVCodecID audio;
};

class VideoWriterFormats : public ::testing::TestWithParam<Format> {};

TEST_P(VideoWriterFormats, DecodesBackInSyncWithTheRightColours) {
  const Format& f = GetParam();
  if (!test::HasEncoder(f.video_encoder)) GTEST_SKIP() << f.video_encoder;
  if (!test::HasEncoder(f.audio_encoder)) GTEST_SKIP() << f.audio_encoder;
  test::TempDir dir;
  const std::string path = (dir.path() / f.name).string();
  std::string error;
  ASSERT_TRUE(WriteTestVideo(path, error)) << error;
  // Only the finished file is left; the temporary one took its name.
  EXPECT_EQ(FilesIn(dir.path()), std::vector<std::string>{f.name});

  const Decoded d = Decode(path);
  ASSERT_EQ(d.codecs, (std::vector<AVCodecID>{f.video, f.audio}));
  EXPECT_NEAR(d.duration, 1.0, kFrameSeconds);
  ASSERT_EQ(d.frame_times.size(), static_cast<size_t>(kFrames));
  EXPECT_NEAR(d.frame_times.front(), 0.0, 1e-6);
  EXPECT_NEAR(d.frame_times.back(), (kFrames - 1) * kFrameSeconds, 1e-3);
  for (int n : {0, 5, kFlashFrame - 1, kFlashFrame, kFlashFrame + 1, kFrames - 1})
    EXPECT_TRUE(Near(d.frame_colours[static_cast<size_t>(n)], ColourOf(n)))
        << "frame " << n << ": " << std::hex << d.frame_colours[static_cast<size_t>(n)];

  // Written sample k plays at k / 48000 s: the click's onset, in the container's own time, is
  // where it was written and where the flash is. (The encoder's priming lies before 0 s.)
  ASSERT_LE(d.audio_start, 1e-6);
  EXPECT_NEAR(static_cast<double>(d.left.size()), kRate - d.audio_start * kRate,
              kRate * kFrameSeconds);
  size_t onset = 0;
  while (onset < d.left.size() && std::abs(d.left[onset]) < 0.25f)
    ++onset;
  ASSERT_LT(onset, d.left.size());
  const double click = d.audio_start + static_cast<double>(onset) / kRate;
  EXPECT_NEAR(click, static_cast<double>(kClickSample) / kRate, 0.002);
  EXPECT_NEAR(d.frame_times[kFlashFrame], click, kFrameSeconds);
}

INSTANTIATE_TEST_SUITE_P(
    All, VideoWriterFormats,
    ::testing::Values(Format{"clip.mp4", "libx264", "aac", AV_CODEC_ID_H264, AV_CODEC_ID_AAC},
                      Format{"clip.webm", "libvpx-vp9", "libopus", AV_CODEC_ID_VP9,
                             AV_CODEC_ID_OPUS},
                      Format{"clip.MKV", "libx264", "aac", AV_CODEC_ID_H264, AV_CODEC_ID_AAC}),
    [](const auto& p) { return std::string(p.param.name).substr(5); });

TEST(VideoWriter, RefusesWhatItCannotWriteAndLeavesNoFile) {
  test::TempDir dir;
  VideoWriter writer;
  std::string error;
  EXPECT_FALSE(writer.Open((dir.path() / "clip.avi").string(), {}, error));
  EXPECT_EQ(error, "cannot write .avi videos: use .mp4, .webm or .mkv");
  EXPECT_FALSE(writer.Open((dir.path() / "clip").string(), {}, error));
  EXPECT_NE(error.find("no extension"), std::string::npos) << error;
  VideoSettings odd;
  odd.Width = 1279;
  EXPECT_FALSE(writer.Open((dir.path() / "clip.mp4").string(), odd, error));
  EXPECT_NE(error.find("1279x1080"), std::string::npos) << error;
  EXPECT_FALSE(writer.Open((dir.path() / "missing" / "clip.webm").string(), {}, error));
  EXPECT_NE(error.find("cannot write in"), std::string::npos) << error;
  if (::geteuid() != 0) {  // root writes anywhere
    std::filesystem::create_directory(dir.path() / "locked");
    std::filesystem::permissions(dir.path() / "locked", std::filesystem::perms::owner_read |
                                                            std::filesystem::perms::owner_exec);
    EXPECT_FALSE(writer.Open((dir.path() / "locked" / "clip.mp4").string(), {}, error));
    EXPECT_NE(error.find("Permission denied"), std::string::npos) << error;
    std::filesystem::permissions(dir.path() / "locked", std::filesystem::perms::owner_all);
    EXPECT_TRUE(FilesIn(dir.path() / "locked").empty());
    std::filesystem::remove(dir.path() / "locked");
  }
  EXPECT_TRUE(FilesIn(dir.path()).empty());
}

TEST(VideoWriter, AnUnfinishedFileIsRemoved) {
  if (!test::HasEncoder("libx264") || !test::HasEncoder("aac")) GTEST_SKIP();
  test::TempDir dir;
  VideoSettings settings;
  settings.Width = 64;
  settings.Height = 48;
  std::string error;
  QImage frame(64, 48, QImage::Format_RGB32);
  frame.fill(Qt::green);
  const std::vector<int16_t> sound(2 * 3000, 100);
  for (bool abort : {true, false}) {
    {
      VideoWriter writer;
      ASSERT_TRUE(writer.Open((dir.path() / "clip.mp4").string(), settings, error)) << error;
      const std::string temp = writer.TemporaryPath();
      EXPECT_EQ(temp, (dir.path() / (".clip.mp4.part-" + std::to_string(::getpid()))).string());
      EXPECT_EQ(FilesIn(dir.path()).size(), 1u);
      for (int n = 0; n < 10; ++n)
        ASSERT_TRUE(writer.WriteFrame(frame, error)) << error;
      ASSERT_TRUE(writer.WriteSound(sound.data(), 3000, error)) << error;
      if (abort) {
        writer.Abort();
        EXPECT_FALSE(writer.WriteFrame(frame, error));
      }
    }
    EXPECT_TRUE(FilesIn(dir.path()).empty()) << (abort ? "Abort" : "destructor");
  }
}

}  // namespace
}  // namespace quillon
