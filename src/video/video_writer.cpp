// VideoWriter: libswscale turns each RGB frame into limited-range YUV 4:2:0, libavcodec encodes
// it and the sound (cut into the audio encoder's frame size, the remainder kept for the next
// call), and libavformat interleaves both into the container, written under a hidden temporary
// name next to the file asked for until Finish renames it.
#include "video/video_writer.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/error.h>
#include <libavutil/log.h>
#include <libavutil/opt.h>
#include <libswscale/swscale.h>
}

namespace quillon {
namespace {

constexpr int32_t kSideLimit = 8192;
constexpr int32_t kFpsLimit = 240;
constexpr int64_t kAacBitRate = 192000;
constexpr int64_t kOpusBitRate = 160000;
// Seconds from one key frame to the next: a player seeking in a preview lands close by.
constexpr int kKeyIntervalSeconds = 2;
// x264's preset: "veryfast" encodes 720p60 above real time on two cores while the frames are
// drawn, and keeps thin lines and text clean at the default quality.
constexpr const char* kX264Preset = "veryfast";
// libvpx's speed in realtime mode (5..8 there; 8 is the fastest).
constexpr const char* kVpxSpeed = "8";

void SilenceLibav() {
  static std::once_flag once;
  std::call_once(once, [] { av_log_set_level(AV_LOG_QUIET); });
}

std::string AvError(int code) {
  char text[AV_ERROR_MAX_STRING_SIZE] = {};
  av_strerror(code, text, sizeof text);
  return text;
}

std::string Lower(std::string text) {
  for (char& c : text)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return text;
}

// What a container is made of, and the name of what it falls back to when an encoder is missing.
struct Container {
  const char* extension;
  const char* muxer;
  const char* video_encoder;
  const char* video_name;
  const char* audio_encoder;
  const char* audio_name;
  const char* alternative;
};

constexpr Container kContainers[] = {
    {".mp4", "mp4", "libx264", "H.264", "aac", "AAC", ".webm"},
    {".webm", "webm", "libvpx-vp9", "VP9", "libopus", "Opus", ".mp4"},
    {".mkv", "matroska", "libx264", "H.264", "aac", "AAC", ".webm"},
};

// The codec's constant-quality value for `quality` (0..100): one straight line through the
// codec's clean-looking value at the default quality, inside the codec's own range.
int CrfFor(const Container& container, int32_t quality) {
  const double from_default = quality - VideoSettings::kDefaultQuality;
  if (std::strcmp(container.video_encoder, "libx264") == 0)
    return static_cast<int>(std::lround(20.0 + 0.4 * from_default));  // 8 .. 48 of 0..51
  return static_cast<int>(std::lround(32.0 + 0.44 * from_default));   // 19 .. 63 of 0..63
}

std::string FolderOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

std::string NameOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Whether the encoder takes this sample format.
bool Takes(const AVCodec& encoder, AVSampleFormat format) {
  if (!encoder.sample_fmts) return false;
  for (const AVSampleFormat* f = encoder.sample_fmts; *f != AV_SAMPLE_FMT_NONE; ++f)
    if (*f == format) return true;
  return false;
}

bool TakesRate(const AVCodec& encoder, int rate) {
  if (!encoder.supported_samplerates) return true;
  for (const int* r = encoder.supported_samplerates; *r != 0; ++r)
    if (*r == rate) return true;
  return false;
}

}  // namespace

struct VideoWriter::State {
  ~State() { Release(); }

  // Frees everything libav holds; the temporary file stays (Abort and Finish see to it).
  void Release() {
    if (format) {
      if (format->pb) avio_closep(&format->pb);
      avformat_free_context(format);
      format = nullptr;
    }
    avcodec_free_context(&video);
    avcodec_free_context(&audio);
    av_frame_free(&picture);
    av_frame_free(&sound);
    av_packet_free(&packet);
    sws_freeContext(scaler);
    scaler = nullptr;
    pending.clear();
    open = false;
  }

  bool OpenVideo(const Container& container, std::string& error);
  bool OpenAudio(const Container& container, std::string& error);
  bool Encode(AVCodecContext* codec, AVStream* stream, const AVFrame* frame, std::string& error);
  bool EncodeSound(const int16_t* samples, int count, std::string& error);
  void WriteFailed(int code, std::string& error) const {
    error = "cannot write " + final_path + ": " + AvError(code);
  }

  VideoSettings settings;
  std::string final_path, temp_path;
  AVFormatContext* format = nullptr;
  AVCodecContext* video = nullptr;
  AVCodecContext* audio = nullptr;
  AVStream* video_stream = nullptr;
  AVStream* audio_stream = nullptr;
  AVFrame* picture = nullptr;
  AVFrame* sound = nullptr;
  AVPacket* packet = nullptr;
  SwsContext* scaler = nullptr;
  int scaler_width = 0, scaler_height = 0;  // the frame size the scaler was made for
  int colourspace = SWS_CS_ITU709;
  int audio_frame_size = 0;
  // Whether the muxer records the audio encoder's priming (CodecDelay) without moving the sound's
  // timestamps by it, as Matroska needs; then this writer moves them itself.
  bool delay_audio_by_priming = false;
  std::vector<int16_t> pending;  // interleaved stereo not yet a whole audio frame
  int64_t frames = 0;            // video frames sent
  int64_t samples = 0;           // stereo sample frames sent to the audio encoder
  bool open = false;
  bool file_made = false;  // the temporary file exists
};

bool VideoWriter::State::OpenVideo(const Container& container, std::string& error) {
  const AVCodec* encoder = avcodec_find_encoder_by_name(container.video_encoder);
  if (!encoder) {
    error = std::string("this FFmpeg has no ") + container.video_encoder + " encoder for " +
            container.video_name + ": try " + container.alternative;
    return false;
  }
  video = avcodec_alloc_context3(encoder);
  if (!video) {
    error = "out of memory";
    return false;
  }
  video->width = settings.Width;
  video->height = settings.Height;
  video->pix_fmt = AV_PIX_FMT_YUV420P;
  video->time_base = AVRational{1, settings.Fps};
  video->framerate = AVRational{settings.Fps, 1};
  video->sample_aspect_ratio = AVRational{1, 1};
  video->gop_size = kKeyIntervalSeconds * settings.Fps;
  video->thread_count = 0;  // as many as the encoder sees fit for this machine
  // HD is BT.709; smaller pictures take BT.601's matrix, as players assume for them.
  const bool hd = settings.Height >= 720;
  colourspace = hd ? SWS_CS_ITU709 : SWS_CS_ITU601;
  video->colorspace = hd ? AVCOL_SPC_BT709 : AVCOL_SPC_SMPTE170M;
  video->color_primaries = AVCOL_PRI_BT709;
  video->color_trc = AVCOL_TRC_BT709;
  video->color_range = AVCOL_RANGE_MPEG;
  if (format->oformat->flags & AVFMT_GLOBALHEADER) video->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;

  const std::string crf = std::to_string(CrfFor(container, settings.Quality));
  AVDictionary* options = nullptr;
  av_dict_set(&options, "crf", crf.c_str(), 0);
  if (std::strcmp(container.video_encoder, "libx264") == 0) {
    av_dict_set(&options, "preset", kX264Preset, 0);
  } else {
    video->bit_rate = 0;  // constant quality, no bit-rate cap
    av_dict_set(&options, "deadline", "realtime", 0);
    av_dict_set(&options, "cpu-used", kVpxSpeed, 0);
    av_dict_set(&options, "row-mt", "1", 0);
    av_dict_set(&options, "tile-columns", "2", 0);  // libvpx lowers it for narrow pictures
  }
  const int opened = avcodec_open2(video, encoder, &options);
  av_dict_free(&options);
  if (opened < 0) {
    error =
        std::string("cannot start the ") + container.video_encoder + " encoder: " + AvError(opened);
    return false;
  }
  video_stream = avformat_new_stream(format, nullptr);
  picture = av_frame_alloc();
  if (!video_stream || !picture) {
    error = "out of memory";
    return false;
  }
  video_stream->time_base = video->time_base;
  video_stream->avg_frame_rate = video->framerate;
  if (avcodec_parameters_from_context(video_stream->codecpar, video) < 0) {
    error = "out of memory";
    return false;
  }
  picture->format = AV_PIX_FMT_YUV420P;
  picture->width = settings.Width;
  picture->height = settings.Height;
  picture->colorspace = video->colorspace;
  picture->color_primaries = video->color_primaries;
  picture->color_trc = video->color_trc;
  picture->color_range = video->color_range;
  if (av_frame_get_buffer(picture, 0) < 0) {
    error = "out of memory";
    return false;
  }
  return true;
}

bool VideoWriter::State::OpenAudio(const Container& container, std::string& error) {
  const AVCodec* encoder = avcodec_find_encoder_by_name(container.audio_encoder);
  if (!encoder) {
    error = std::string("this FFmpeg has no ") + container.audio_encoder + " encoder for " +
            container.audio_name + ": try " + container.alternative;
    return false;
  }
  if (!TakesRate(*encoder, settings.SampleRate)) {
    error = std::string(container.audio_name) + " sound cannot be " +
            std::to_string(settings.SampleRate) + " Hz: use 48000";
    return false;
  }
  AVSampleFormat sample_format = AV_SAMPLE_FMT_NONE;
  for (AVSampleFormat f : {AV_SAMPLE_FMT_S16, AV_SAMPLE_FMT_FLTP, AV_SAMPLE_FMT_FLT}) {
    if (Takes(*encoder, f)) {
      sample_format = f;
      break;
    }
  }
  if (sample_format == AV_SAMPLE_FMT_NONE) {
    error = std::string("the ") + container.audio_encoder + " encoder takes no sample format here";
    return false;
  }
  audio = avcodec_alloc_context3(encoder);
  if (!audio) {
    error = "out of memory";
    return false;
  }
  audio->sample_fmt = sample_format;
  audio->sample_rate = settings.SampleRate;
  audio->time_base = AVRational{1, settings.SampleRate};
  const AVChannelLayout stereo = AV_CHANNEL_LAYOUT_STEREO;
  if (av_channel_layout_copy(&audio->ch_layout, &stereo) < 0) {
    error = "out of memory";
    return false;
  }
  audio->bit_rate = std::strcmp(container.audio_encoder, "aac") == 0 ? kAacBitRate : kOpusBitRate;
  if (format->oformat->flags & AVFMT_GLOBALHEADER) audio->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
  const int opened = avcodec_open2(audio, encoder, nullptr);
  if (opened < 0) {
    error =
        std::string("cannot start the ") + container.audio_encoder + " encoder: " + AvError(opened);
    return false;
  }
  audio_frame_size = audio->frame_size > 0 ? audio->frame_size : 1024;
  // Matroska keeps the time of each block before the priming is dropped: the decoder drops
  // `initial_padding` samples and subtracts CodecDelay from the block times. libavformat up to
  // 59.30.100 wrote CodecDelay for Opus but left the times as the encoder gave them (sample 0 at
  // -priming), so the sound played late by the priming; later versions move the times themselves.
  delay_audio_by_priming = audio->initial_padding > 0 && audio->codec_id == AV_CODEC_ID_OPUS &&
                           std::strcmp(format->oformat->name, "mp4") != 0 &&
                           avformat_version() <= AV_VERSION_INT(59, 30, 100);
  audio_stream = avformat_new_stream(format, nullptr);
  sound = av_frame_alloc();
  if (!audio_stream || !sound) {
    error = "out of memory";
    return false;
  }
  audio_stream->time_base = audio->time_base;
  if (avcodec_parameters_from_context(audio_stream->codecpar, audio) < 0) {
    error = "out of memory";
    return false;
  }
  sound->format = sample_format;
  sound->sample_rate = settings.SampleRate;
  sound->nb_samples = audio_frame_size;
  if (av_channel_layout_copy(&sound->ch_layout, &stereo) < 0 || av_frame_get_buffer(sound, 0) < 0) {
    error = "out of memory";
    return false;
  }
  return true;
}

// Sends `frame` (null: the end) and writes every packet the encoder has ready.
bool VideoWriter::State::Encode(AVCodecContext* codec, AVStream* stream, const AVFrame* frame,
                                std::string& error) {
  int result = avcodec_send_frame(codec, frame);
  if (result < 0) {
    error = std::string("the ") + codec->codec->name + " encoder failed: " + AvError(result);
    return false;
  }
  for (;;) {
    result = avcodec_receive_packet(codec, packet);
    if (result == AVERROR(EAGAIN) || result == AVERROR_EOF) return true;
    if (result < 0) {
      error = std::string("the ") + codec->codec->name + " encoder failed: " + AvError(result);
      return false;
    }
    // A video frame lasts one tick of 1/fps; the container's duration counts the last one.
    if (packet->duration == 0 && codec == video) packet->duration = 1;
    if (codec == audio && delay_audio_by_priming) {
      packet->pts += codec->initial_padding;
      packet->dts += codec->initial_padding;
    }
    av_packet_rescale_ts(packet, codec->time_base, stream->time_base);
    packet->stream_index = stream->index;
    result = av_interleaved_write_frame(format, packet);  // takes the packet's data
    if (result < 0) {
      WriteFailed(result, error);
      return false;
    }
  }
}

// Encodes `count` stereo sample frames (at most one audio frame) from interleaved 16-bit sound;
// fewer than a whole frame only at the end, padded with silence if the encoder needs full ones.
bool VideoWriter::State::EncodeSound(const int16_t* samples_in, int count, std::string& error) {
  if (av_frame_make_writable(sound) < 0) {
    error = "out of memory";
    return false;
  }
  const bool small_last = audio->codec->capabilities & AV_CODEC_CAP_SMALL_LAST_FRAME;
  const int size = small_last ? count : audio_frame_size;
  sound->nb_samples = size;
  sound->pts = samples;
  switch (audio->sample_fmt) {
    case AV_SAMPLE_FMT_S16: {
      auto* out = reinterpret_cast<int16_t*>(sound->data[0]);
      std::copy(samples_in, samples_in + 2 * count, out);
      std::fill(out + 2 * count, out + 2 * size, int16_t{0});
      break;
    }
    case AV_SAMPLE_FMT_FLTP: {
      auto* left = reinterpret_cast<float*>(sound->data[0]);
      auto* right = reinterpret_cast<float*>(sound->data[1]);
      for (int i = 0; i < count; ++i) {
        left[i] = static_cast<float>(samples_in[2 * i]) * (1.0f / 32768.0f);
        right[i] = static_cast<float>(samples_in[2 * i + 1]) * (1.0f / 32768.0f);
      }
      std::fill(left + count, left + size, 0.0f);
      std::fill(right + count, right + size, 0.0f);
      break;
    }
    default: {  // AV_SAMPLE_FMT_FLT
      auto* out = reinterpret_cast<float*>(sound->data[0]);
      for (int i = 0; i < 2 * count; ++i)
        out[i] = static_cast<float>(samples_in[i]) * (1.0f / 32768.0f);
      std::fill(out + 2 * count, out + 2 * size, 0.0f);
      break;
    }
  }
  samples += size;
  return Encode(audio, audio_stream, sound, error);
}

VideoWriter::VideoWriter() : state_(std::make_unique<State>()) {}

VideoWriter::~VideoWriter() {
  Abort();
}

bool VideoWriter::Open(const std::string& path, const VideoSettings& settings, std::string& error) {
  Abort();
  SilenceLibav();
  State& s = *state_;
  const std::string name = NameOf(path);
  const size_t dot = name.rfind('.');
  const std::string extension = dot == std::string::npos ? "" : Lower(name.substr(dot));
  const Container* container = nullptr;
  for (const Container& c : kContainers)
    if (extension == c.extension) container = &c;
  if (!container) {
    error = extension.empty() ? path + " has no extension: use .mp4, .webm or .mkv"
                              : "cannot write " + extension + " videos: use .mp4, .webm or .mkv";
    return false;
  }
  if (settings.Width <= 0 || settings.Height <= 0 || settings.Width > kSideLimit ||
      settings.Height > kSideLimit || settings.Width % 2 != 0 || settings.Height % 2 != 0) {
    error = "cannot make a " + std::to_string(settings.Width) + "x" +
            std::to_string(settings.Height) + " video: the sides must be even, at most " +
            std::to_string(kSideLimit);
    return false;
  }
  if (settings.Fps <= 0 || settings.Fps > kFpsLimit) {
    error = "cannot make a video at " + std::to_string(settings.Fps) +
            " frames per second: from 1 to " + std::to_string(kFpsLimit);
    return false;
  }
  if (settings.Quality < 0 || settings.Quality > 100) {
    error = "the quality " + std::to_string(settings.Quality) + " is not from 0 to 100";
    return false;
  }
  s.settings = settings;
  s.final_path = path;
  s.temp_path = FolderOf(path) + "/." + name + ".part-" + std::to_string(::getpid());

  // The muxer is chosen by the final name's extension, never guessed from the temporary name.
  if (avformat_alloc_output_context2(&s.format, nullptr, container->muxer, nullptr) < 0 ||
      !s.format) {
    error = std::string("this FFmpeg cannot write ") + container->muxer + " files";
    return false;
  }
  s.packet = av_packet_alloc();
  if (!s.packet) {
    error = "out of memory";
    s.Release();
    return false;
  }
  if (!s.OpenVideo(*container, error) || !s.OpenAudio(*container, error)) {
    s.Release();
    return false;
  }
  const int made = avio_open(&s.format->pb, s.temp_path.c_str(), AVIO_FLAG_WRITE);
  if (made < 0) {
    error = "cannot write in " + FolderOf(path) + ": " + AvError(made);
    s.Release();
    return false;
  }
  s.file_made = true;
  // The muxer reopens its file by this name (the +faststart pass moves the index to the front).
  av_freep(&s.format->url);
  s.format->url = av_strdup(s.temp_path.c_str());
  // Sound may start before 0 (the encoder's priming, hidden by the container's own means);
  // shifting every stream to make it non-negative would move frame 0 off 0 s.
  s.format->avoid_negative_ts = AVFMT_AVOID_NEG_TS_DISABLED;
  AVDictionary* options = nullptr;
  if (std::strcmp(container->muxer, "mp4") == 0) av_dict_set(&options, "movflags", "+faststart", 0);
  const int header = avformat_write_header(s.format, &options);
  av_dict_free(&options);
  if (header < 0) {
    s.WriteFailed(header, error);
    Abort();
    return false;
  }
  s.frames = 0;
  s.samples = 0;
  s.open = true;
  return true;
}

bool VideoWriter::WriteFrame(const QImage& frame, std::string& error) {
  State& s = *state_;
  if (!s.open) {
    error = "no video is open";
    return false;
  }
  if (frame.isNull()) {
    error = "the frame is empty";
    return false;
  }
  QImage converted;
  const QImage* image = &frame;
  if (frame.format() != QImage::Format_RGB32 && frame.format() != QImage::Format_ARGB32) {
    converted = frame.convertToFormat(QImage::Format_RGB32);
    image = &converted;
  }
  if (!s.scaler || image->width() != s.scaler_width || image->height() != s.scaler_height) {
    sws_freeContext(s.scaler);
    // Bicubic only matters when the frame is scaled; at the same size it filters the chroma.
    s.scaler = sws_getContext(image->width(), image->height(), AV_PIX_FMT_RGB32, s.settings.Width,
                              s.settings.Height, AV_PIX_FMT_YUV420P, SWS_BICUBIC, nullptr, nullptr,
                              nullptr);
    if (!s.scaler) {
      error = "cannot convert a " + std::to_string(image->width()) + "x" +
              std::to_string(image->height()) + " frame";
      return false;
    }
    s.scaler_width = image->width();
    s.scaler_height = image->height();
    // Full-range RGB in, limited-range YUV out with the matrix the stream is tagged with.
    sws_setColorspaceDetails(s.scaler, sws_getCoefficients(SWS_CS_DEFAULT), 1,
                             sws_getCoefficients(s.colourspace), 0, 0, 1 << 16, 1 << 16);
  }
  if (av_frame_make_writable(s.picture) < 0) {
    error = "out of memory";
    return false;
  }
  const uint8_t* source[] = {image->constBits()};
  const int stride[] = {static_cast<int>(image->bytesPerLine())};
  sws_scale(s.scaler, source, stride, 0, image->height(), s.picture->data, s.picture->linesize);
  s.picture->pts = s.frames;
  if (!s.Encode(s.video, s.video_stream, s.picture, error)) return false;
  ++s.frames;
  return true;
}

bool VideoWriter::WriteSound(const int16_t* samples, int64_t frames, std::string& error) {
  State& s = *state_;
  if (!s.open) {
    error = "no video is open";
    return false;
  }
  if (frames <= 0) return true;
  const size_t size = static_cast<size_t>(s.audio_frame_size);
  // The remainder of the last call is topped up to a whole frame first; then whole frames go
  // straight from `samples`, and what is left waits for the next call.
  int64_t used = 0;
  if (!s.pending.empty()) {
    const int64_t missing = static_cast<int64_t>(size - s.pending.size() / 2);
    used = std::min(missing, frames);
    s.pending.insert(s.pending.end(), samples, samples + 2 * used);
    if (s.pending.size() / 2 < size) return true;
    if (!s.EncodeSound(s.pending.data(), s.audio_frame_size, error)) return false;
    s.pending.clear();
  }
  for (; frames - used >= s.audio_frame_size; used += s.audio_frame_size)
    if (!s.EncodeSound(samples + 2 * used, s.audio_frame_size, error)) return false;
  s.pending.assign(samples + 2 * used, samples + 2 * frames);
  return true;
}

bool VideoWriter::Finish(std::string& error) {
  State& s = *state_;
  if (!s.open) {
    error = "no video is open";
    return false;
  }
  bool ok = true;
  if (!s.pending.empty()) {
    ok = s.EncodeSound(s.pending.data(), static_cast<int>(s.pending.size() / 2), error);
    s.pending.clear();
  }
  ok = ok && s.Encode(s.video, s.video_stream, nullptr, error) &&
       s.Encode(s.audio, s.audio_stream, nullptr, error);
  if (ok) {
    const int trailer = av_write_trailer(s.format);
    if (trailer < 0) {
      s.WriteFailed(trailer, error);
      ok = false;
    }
  }
  if (ok) {
    const int closed = avio_closep(&s.format->pb);
    if (closed < 0) {
      s.WriteFailed(closed, error);
      ok = false;
    }
  }
  if (ok) {
    // On disk before it takes its name, so a crash never leaves a truncated file under it.
    const int fd = ::open(s.temp_path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd >= 0) {
      ::fsync(fd);
      ::close(fd);
    }
    if (std::rename(s.temp_path.c_str(), s.final_path.c_str()) != 0) {
      error = "cannot write " + s.final_path + ": " + std::strerror(errno);
      ok = false;
    } else {
      s.file_made = false;
    }
  }
  if (!ok) {
    Abort();
    return false;
  }
  s.Release();
  return true;
}

void VideoWriter::Abort() {
  State& s = *state_;
  s.Release();
  if (s.file_made) {
    ::unlink(s.temp_path.c_str());
    s.file_made = false;
  }
}

int64_t VideoWriter::FramesWritten() const {
  return state_->frames;
}

std::string VideoWriter::TemporaryPath() const {
  return state_->open ? state_->temp_path : std::string();
}

}  // namespace quillon
