#include "support/test_clip.h"

#include <algorithm>
#include <cstdint>
#include <memory>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/log.h>
#include <libavutil/opt.h>
}

namespace quillon::test {
namespace {

constexpr QRgb kColours[kClipColours] = {qRgb(255, 0, 0),     qRgb(0, 255, 0),   qRgb(0, 0, 255),
                                         qRgb(255, 255, 0),   qRgb(0, 255, 255), qRgb(255, 0, 255),
                                         qRgb(255, 255, 255), qRgb(255, 128, 0)};

uint8_t Clamp8(double v) {
  return static_cast<uint8_t>(std::clamp(v + 0.5, 0.0, 255.0));
}

struct Yuv {
  uint8_t y, u, v;
};

// BT.601, limited range: black is (16, 128, 128).
Yuv ToYuv(QRgb c) {
  const double r = qRed(c), g = qGreen(c), b = qBlue(c);
  return {Clamp8(16 + 0.257 * r + 0.504 * g + 0.098 * b),
          Clamp8(128 - 0.148 * r - 0.291 * g + 0.439 * b),
          Clamp8(128 + 0.439 * r - 0.368 * g - 0.071 * b)};
}

void FillFrame(AVFrame& frame, const ClipOptions& options, int n) {
  const bool black =
      std::find(options.black.begin(), options.black.end(), n) != options.black.end();
  if (!options.moving) {
    const Yuv c = black ? Yuv{16, 128, 128} : ToYuv(ClipColour(n));
    for (int y = 0; y < frame.height; ++y)
      std::fill_n(frame.data[0] + y * frame.linesize[0], frame.width, c.y);
    for (int y = 0; y < (frame.height + 1) / 2; ++y) {
      std::fill_n(frame.data[1] + y * frame.linesize[1], (frame.width + 1) / 2, c.u);
      std::fill_n(frame.data[2] + y * frame.linesize[2], (frame.width + 1) / 2, c.v);
    }
    return;
  }
  // A diagonal gradient sliding with the frame number, light noise, slowly turning chroma.
  uint32_t noise = 2463534242u + static_cast<uint32_t>(n) * 7919u;
  for (int y = 0; y < frame.height; ++y) {
    uint8_t* line = frame.data[0] + y * frame.linesize[0];
    for (int x = 0; x < frame.width; ++x) {
      noise ^= noise << 13;
      noise ^= noise >> 17;
      noise ^= noise << 5;
      line[x] = static_cast<uint8_t>(16 + ((x + 2 * y + 6 * n) & 127) + (noise & 15));
    }
  }
  for (int y = 0; y < (frame.height + 1) / 2; ++y)
    for (int x = 0; x < (frame.width + 1) / 2; ++x) {
      frame.data[1][y * frame.linesize[1] + x] = static_cast<uint8_t>(64 + ((x + n) & 127));
      frame.data[2][y * frame.linesize[2] + x] = static_cast<uint8_t>(64 + ((y + 3 * n) & 127));
    }
}

struct Writer {
  AVFormatContext* format = nullptr;
  AVCodecContext* codec = nullptr;
  AVFrame* frame = nullptr;
  AVPacket* packet = nullptr;
  AVStream* stream = nullptr;
  ~Writer() {
    av_packet_free(&packet);
    av_frame_free(&frame);
    avcodec_free_context(&codec);
    if (format && format->pb) avio_closep(&format->pb);
    avformat_free_context(format);
  }

  // Sends `f` (null to flush) and writes every packet that comes out.
  bool Encode(AVFrame* f) {
    if (avcodec_send_frame(codec, f) < 0) return false;
    for (;;) {
      const int got = avcodec_receive_packet(codec, packet);
      if (got == AVERROR(EAGAIN) || got == AVERROR_EOF) return true;
      if (got < 0) return false;
      if (packet->duration <= 0) packet->duration = 1;  // one frame, in the codec's time base
      av_packet_rescale_ts(packet, codec->time_base, stream->time_base);
      packet->stream_index = stream->index;
      if (av_interleaved_write_frame(format, packet) < 0) return false;
    }
  }
};

}  // namespace

bool HasEncoder(const std::string& name) {
  return avcodec_find_encoder_by_name(name.c_str()) != nullptr;
}

QRgb ClipColour(int frame) {
  return kColours[((frame % kClipColours) + kClipColours) % kClipColours];
}

int ClipColourIndex(QRgb pixel) {
  auto distance = [pixel](QRgb c) {
    const int r = qRed(pixel) - qRed(c), g = qGreen(pixel) - qGreen(c), b = qBlue(pixel) - qBlue(c);
    return r * r + g * g + b * b;
  };
  int best = -1, best_distance = distance(qRgb(0, 0, 0));
  for (int i = 0; i < kClipColours; ++i) {
    if (distance(kColours[i]) < best_distance) {
      best = i;
      best_distance = distance(kColours[i]);
    }
  }
  return best;
}

std::string WriteClip(const std::string& path, const ClipOptions& options) {
  av_log_set_level(AV_LOG_QUIET);
  const AVCodec* encoder = avcodec_find_encoder_by_name(options.codec.c_str());
  if (!encoder) return "no encoder " + options.codec;
  Writer w;
  if (avformat_alloc_output_context2(&w.format, nullptr, nullptr, path.c_str()) < 0)
    return "no container for " + path;
  w.codec = avcodec_alloc_context3(encoder);
  w.codec->width = options.width;
  w.codec->height = options.height;
  w.codec->time_base = AVRational{1, options.fps};
  w.codec->framerate = AVRational{options.fps, 1};
  w.codec->pix_fmt = AV_PIX_FMT_YUV420P;
  w.codec->gop_size = options.key_interval;
  w.codec->color_range = AVCOL_RANGE_MPEG;
  w.codec->colorspace = AVCOL_SPC_SMPTE170M;
  w.codec->strict_std_compliance = FF_COMPLIANCE_UNOFFICIAL;
  if (options.codec == "libx264") {
    av_opt_set(w.codec->priv_data, "preset", "veryfast", 0);
    av_opt_set(w.codec->priv_data, "crf", "23", 0);
  } else {
    w.codec->flags |= AV_CODEC_FLAG_QSCALE;
    w.codec->global_quality = FF_QP2LAMBDA * (options.moving ? 6 : 3);
  }
  if (w.format->oformat->flags & AVFMT_GLOBALHEADER) w.codec->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
  if (avcodec_open2(w.codec, encoder, nullptr) < 0) return "cannot open " + options.codec;
  w.stream = avformat_new_stream(w.format, nullptr);
  if (!w.stream) return "no stream";
  w.stream->time_base = w.codec->time_base;
  avcodec_parameters_from_context(w.stream->codecpar, w.codec);
  if (avio_open(&w.format->pb, path.c_str(), AVIO_FLAG_WRITE) < 0) return "cannot write " + path;
  if (avformat_write_header(w.format, nullptr) < 0) return "cannot write the header";
  w.frame = av_frame_alloc();
  w.packet = av_packet_alloc();
  w.frame->format = AV_PIX_FMT_YUV420P;
  w.frame->width = options.width;
  w.frame->height = options.height;
  if (av_frame_get_buffer(w.frame, 0) < 0) return "out of memory";
  for (int n = 0; n < options.frames; ++n) {
    if (av_frame_make_writable(w.frame) < 0) return "out of memory";
    FillFrame(*w.frame, options, n);
    w.frame->pts = n;
    if (!w.Encode(w.frame)) return "encoding failed at frame " + std::to_string(n);
  }
  if (!w.Encode(nullptr)) return "encoding failed at the end";
  if (av_write_trailer(w.format) < 0) return "cannot write the trailer";
  return {};
}

}  // namespace quillon::test
