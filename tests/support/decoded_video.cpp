#include "support/decoded_video.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

namespace quillon::test {
namespace {

uint8_t Clamp8(double v) {
  return static_cast<uint8_t>(std::clamp(v + 0.5, 0.0, 255.0));
}

// The pixel at `x`, `y` of a 4:2:0 frame, through the matrix the frame names (BT.709, else
// BT.601), limited range.
QRgb ColourAt(const AVFrame& frame, int x, int y) {
  const double luma = 1.164 * (frame.data[0][y * frame.linesize[0] + x] - 16);
  const double u = frame.data[1][y / 2 * frame.linesize[1] + x / 2] - 128.0;
  const double v = frame.data[2][y / 2 * frame.linesize[2] + x / 2] - 128.0;
  if (frame.colorspace == AVCOL_SPC_BT709) {
    return qRgb(Clamp8(luma + 1.793 * v), Clamp8(luma - 0.213 * u - 0.533 * v),
                Clamp8(luma + 2.112 * u));
  }
  return qRgb(Clamp8(luma + 1.596 * v), Clamp8(luma - 0.392 * u - 0.813 * v),
              Clamp8(luma + 2.017 * u));
}

}  // namespace

DecodedVideo DecodeVideo(const std::string& path, int x, int y) {
  DecodedVideo out;
  AVFormatContext* format = nullptr;
  if (avformat_open_input(&format, path.c_str(), nullptr, nullptr) < 0) return out;
  avformat_find_stream_info(format, nullptr);
  out.duration = static_cast<double>(format->duration) / AV_TIME_BASE;
  std::vector<AVCodecContext*> codecs;
  for (unsigned i = 0; i < format->nb_streams; ++i) {
    const AVCodecParameters* par = format->streams[i]->codecpar;
    out.codecs.emplace_back(avcodec_get_name(par->codec_id));
    AVCodecContext* codec = avcodec_alloc_context3(avcodec_find_decoder(par->codec_id));
    avcodec_parameters_to_context(codec, par);
    codec->pkt_timebase = format->streams[i]->time_base;  // times move past dropped priming
    avcodec_open2(codec, codec->codec, nullptr);
    codecs.push_back(codec);
  }
  AVPacket* packet = av_packet_alloc();
  AVFrame* frame = av_frame_alloc();
  const auto drain = [&](unsigned index) {
    AVCodecContext* codec = codecs[index];
    const double base = av_q2d(format->streams[index]->time_base);
    while (avcodec_receive_frame(codec, frame) >= 0) {
      const double time = static_cast<double>(frame->best_effort_timestamp) * base;
      if (codec->codec_type == AVMEDIA_TYPE_VIDEO) {
        out.frame_times.push_back(time);
        out.luma.push_back(frame->data[0][y * frame->linesize[0] + x]);
        out.colours.push_back(ColourAt(*frame, x, y));
      } else if (frame->format == AV_SAMPLE_FMT_FLTP || frame->format == AV_SAMPLE_FMT_FLT) {
        if (out.left.empty()) out.sound_start = time;
        out.sample_rate = frame->sample_rate;
        const int step = frame->format == AV_SAMPLE_FMT_FLT ? frame->ch_layout.nb_channels : 1;
        const auto* samples = reinterpret_cast<const float*>(frame->data[0]);
        for (int i = 0; i < frame->nb_samples; ++i)
          out.left.push_back(samples[i * step]);
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

double FirstBrightFrame(const DecodedVideo& video, int luma) {
  for (size_t i = 0; i < video.luma.size(); ++i) {
    if (video.luma[i] >= luma) return video.frame_times[i];
  }
  return -1.0;
}

double FirstLoudSample(const DecodedVideo& video, float level) {
  if (video.sample_rate <= 0) return -1.0;
  for (size_t i = 0; i < video.left.size(); ++i) {
    if (std::fabs(video.left[i]) >= level) {
      return video.sound_start + static_cast<double>(i) / video.sample_rate;
    }
  }
  return -1.0;
}

}  // namespace quillon::test
