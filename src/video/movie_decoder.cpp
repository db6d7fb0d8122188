// MovieDecoder: libavformat demuxes the movie through MovieInput, libavcodec decodes its video
// stream one frame ahead of the current one (so the current frame's end is known), and
// libswscale scales the current frame into the BGA composition only when it is drawn.
#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <limits>
#include <mutex>

#include "platform/file_io.h"
#include "video/movie.h"
#include "video/movie_io.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/log.h>
#include <libavutil/pixdesc.h>
#include <libswscale/swscale.h>
}

namespace quillon {
namespace {

// What probing may read before it decides (bytes, and microseconds of the movie).
constexpr int64_t kProbeBytes = int64_t{5} << 20;
constexpr int64_t kProbeDuration = int64_t{5} * AV_TIME_BASE;
// The most packets one DecodeTo or Open reads: a hostile file cannot make one call run long.
constexpr int kPacketBudget = 3000;
// Undecodable packets in a row after which the movie is taken to have ended.
constexpr int kErrorLimit = 200;
// Further ahead than this from the current frame, DecodeTo seeks instead of decoding through.
constexpr double kSeekAheadMs = 1000.0;
// The demuxers a movie may come in; anything else (pictures, sounds, playlists) is not a movie.
constexpr const char* kDemuxers =
    "mpeg,mpegts,mpegvideo,m4v,h264,hevc,h261,h263,mov,avi,asf,matroska,flv,ogg,nut,rm,dv,ivf";
// From this many pixels a frame up, decoding uses two threads.
constexpr int64_t kThreadedPixels = int64_t{640} * 480;
// The scaler's filter: area averaging keeps the large downscale of an HD frame clean (no
// aliasing) at about 0.3 ms for 1920x1080; fast bilinear aliases, bilinear is slower.
constexpr int kScaleFilter = SWS_AREA;

void SilenceLibav() {
  static std::once_flag once;
  std::call_once(once, [] { av_log_set_level(AV_LOG_QUIET); });
}

bool SideTooLarge(int width, int height) {
  return width > kMovieSideLimit || height > kMovieSideLimit;
}

std::string SizeText(int width, int height) {
  return std::to_string(width) + "x" + std::to_string(height) + " is larger than " +
         std::to_string(kMovieSideLimit) + " on a side";
}

double RateOf(AVRational rate) {
  const double value = rate.den > 0 && rate.num > 0 ? av_q2d(rate) : 0.0;
  return value > 0.0 && value <= 1000.0 ? value : 0.0;
}

// An enum field libavcodec copied from the file: any number can be in it, so it is read as
// the int it is stored as (loading an out-of-range value as the enum is undefined).
template <typename Enum>
int RawValue(const Enum& field) {
  static_assert(sizeof(Enum) == sizeof(int));
  int value;
  std::memcpy(&value, &field, sizeof value);
  return value;
}

// libswscale's coefficient table for the frame's colourspace; unmarked frames are taken as
// BT.709 from 720 lines up and BT.601 below, as players commonly do.
int SwsColourspace(const AVFrame& frame) {
  switch (RawValue(frame.colorspace)) {
    case AVCOL_SPC_BT709:
      return SWS_CS_ITU709;
    case AVCOL_SPC_FCC:
      return SWS_CS_FCC;
    case AVCOL_SPC_SMPTE240M:
      return SWS_CS_SMPTE240M;
    case AVCOL_SPC_BT2020_NCL:
    case AVCOL_SPC_BT2020_CL:
      return SWS_CS_BT2020;
    case AVCOL_SPC_BT470BG:
    case AVCOL_SPC_SMPTE170M:
      return SWS_CS_ITU601;
    default:
      return frame.height >= 720 ? SWS_CS_ITU709 : SWS_CS_ITU601;
  }
}

bool FullRangeSource(const AVFrame& frame) {
  switch (frame.format) {
    case AV_PIX_FMT_YUVJ420P:
    case AV_PIX_FMT_YUVJ422P:
    case AV_PIX_FMT_YUVJ444P:
    case AV_PIX_FMT_YUVJ440P:
    case AV_PIX_FMT_YUVJ411P:
      return true;
    default:
      break;
  }
  const AVPixFmtDescriptor* desc = av_pix_fmt_desc_get(static_cast<AVPixelFormat>(frame.format));
  if (desc && (desc->flags & AV_PIX_FMT_FLAG_RGB)) return true;
  return RawValue(frame.color_range) == AVCOL_RANGE_JPEG;
}

}  // namespace

struct MovieDecoder::State {
  ~State() { Close(); }

  void Close() {
    has_current = has_ahead = false;
    open = false;
    sws_freeContext(scaler);
    scaler = nullptr;
    av_frame_free(&current);
    av_frame_free(&ahead);
    av_packet_free(&packet);
    avcodec_free_context(&codec);
    avformat_close_input(&format);
    input.reset();
    file = OpenedFile();
  }

  bool OpenInput(std::string& error);
  bool FindStream(std::string& error);
  enum class Next { Frame, End, Budget };
  Next DecodeAhead();
  void MakeAheadCurrent();
  bool Seek(double ms);
  double TimeOf(const AVFrame& frame);
  int64_t StreamTime(double ms) const;

  OpenedFile file;
  std::unique_ptr<MovieInput> input;
  AVFormatContext* format = nullptr;
  AVCodecContext* codec = nullptr;
  AVPacket* packet = nullptr;
  AVFrame* current = nullptr;  // the current frame (empty before the first)
  AVFrame* ahead = nullptr;    // the frame after it, when decoded already
  SwsContext* scaler = nullptr;
  const std::atomic<bool>* cancel = nullptr;
  int stream = -1;
  AVRational time_base{1, 1};
  double origin = 0.0;  // the stream's start in time-base units
  bool origin_known = false;
  double fps = 0.0;  // the rate used for numbering and for frames without a time
  MovieInfo info;
  bool open = false;

  bool has_current = false, has_ahead = false;
  double current_ms = 0.0, current_duration_ms = 0.0;
  double ahead_ms = 0.0, ahead_duration_ms = 0.0;
  double last_decoded_ms = std::numeric_limits<double>::quiet_NaN();
  double first_ms = 0.0;  // the first frame's time
  bool draining = false, ended = false;
  int budget = 0;
  int errors_in_row = 0;
  // The target of a call that ran out of budget; a later call at or after it continues
  // forward instead of seeking again, so that every call makes progress.
  double unfinished_target = std::numeric_limits<double>::quiet_NaN();
  // What the scaler was made for: source size and format, destination size, colourspace.
  struct ScaleKey {
    int width = 0, height = 0, format = -1, to_width = 0, to_height = 0, colourspace = 0;
    bool full_range = false;
    bool operator==(const ScaleKey&) const = default;
  } scaler_key;
};

bool MovieDecoder::State::OpenInput(std::string& error) {
  SilenceLibav();
  format = avformat_alloc_context();
  if (!format) {
    error = "out of memory";
    return false;
  }
  format->pb = input->context();
  format->flags |= AVFMT_FLAG_CUSTOM_IO;
  format->probesize = kProbeBytes;
  format->max_analyze_duration = kProbeDuration;
  ForbidNestedOpens(format);
  AVDictionary* options = nullptr;
  av_dict_set(&options, "format_whitelist", kDemuxers, 0);
  const int opened = avformat_open_input(&format, "", nullptr, &options);
  av_dict_free(&options);
  if (opened < 0) {  // avformat_open_input freed the context
    error = "not a movie";
    return false;
  }
  if (avformat_find_stream_info(format, nullptr) < 0) {
    error = "not a movie";
    return false;
  }
  return FindStream(error);
}

bool MovieDecoder::State::FindStream(std::string& error) {
  int best = av_find_best_stream(format, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
  if (best >= 0 && (format->streams[best]->disposition & AV_DISPOSITION_ATTACHED_PIC)) best = -1;
  for (unsigned i = 0; best < 0 && i < format->nb_streams; ++i) {
    const AVStream* s = format->streams[i];
    if (s->codecpar->codec_type == AVMEDIA_TYPE_VIDEO &&
        !(s->disposition & AV_DISPOSITION_ATTACHED_PIC))
      best = static_cast<int>(i);
  }
  if (best < 0) {
    error = "no video stream";
    return false;
  }
  stream = best;
  for (unsigned i = 0; i < format->nb_streams; ++i)
    if (static_cast<int>(i) != stream) format->streams[i]->discard = AVDISCARD_ALL;
  AVStream* s = format->streams[stream];
  const AVCodecParameters* par = s->codecpar;
  if (SideTooLarge(par->width, par->height)) {
    error = SizeText(par->width, par->height);
    return false;
  }
  const AVCodec* decoder = avcodec_find_decoder(par->codec_id);
  if (!decoder) {
    error = std::string("unsupported codec ") + avcodec_get_name(par->codec_id);
    return false;
  }
  codec = avcodec_alloc_context3(decoder);
  if (!codec || avcodec_parameters_to_context(codec, par) < 0) {
    error = "out of memory";
    return false;
  }
  codec->max_pixels = int64_t{kMovieSideLimit} * kMovieSideLimit;
  // Large movies decode on two threads (libavcodec's frame threads give the same pixels as
  // one thread, a frame later); HD decodes twice as fast so. Small ones need no second thread.
  codec->thread_count = int64_t{par->width} * par->height >= kThreadedPixels ? 2 : 1;
  if (avcodec_open2(codec, decoder, nullptr) < 0) {
    error = std::string("unsupported codec ") + avcodec_get_name(par->codec_id);
    return false;
  }
  packet = av_packet_alloc();
  current = av_frame_alloc();
  ahead = av_frame_alloc();
  if (!packet || !current || !ahead) {
    error = "out of memory";
    return false;
  }
  time_base = s->time_base.num > 0 && s->time_base.den > 0 ? s->time_base : AVRational{1, 90000};
  if (s->start_time != AV_NOPTS_VALUE) {
    origin = static_cast<double>(s->start_time);
    origin_known = true;
  }
  // libavformat's best guess prefers the stream's nominal rate, which numbers frames right
  // where the average is skewed by a short last frame.
  fps = RateOf(av_guess_frame_rate(format, s, nullptr));
  if (fps == 0.0) fps = RateOf(s->avg_frame_rate);
  if (fps == 0.0) fps = RateOf(s->r_frame_rate);
  info.Fps = fps;
  if (fps == 0.0) fps = 30.0;
  info.Width = par->width;
  info.Height = par->height;
  info.Codec = avcodec_get_name(par->codec_id);
  if (s->duration != AV_NOPTS_VALUE && s->duration > 0)
    info.DurationMs = static_cast<double>(s->duration) * av_q2d(time_base) * 1000.0;
  else if (format->duration != AV_NOPTS_VALUE && format->duration > 0)
    info.DurationMs = static_cast<double>(format->duration) * 1000.0 / AV_TIME_BASE;
  if (s->nb_frames > 0)
    info.Frames = s->nb_frames;
  else if (info.DurationMs > 0.0)
    info.Frames = std::llround(std::min(info.DurationMs * fps / 1000.0, 1e15));
  return true;
}

double MovieDecoder::State::TimeOf(const AVFrame& frame) {
  const int64_t ts =
      frame.best_effort_timestamp != AV_NOPTS_VALUE ? frame.best_effort_timestamp : frame.pts;
  double ms;
  if (ts == AV_NOPTS_VALUE) {
    ms = std::isnan(last_decoded_ms) ? 0.0 : last_decoded_ms + 1000.0 / fps;
  } else {
    if (!origin_known) {
      origin = static_cast<double>(ts);
      origin_known = true;
    }
    ms = (static_cast<double>(ts) - origin) * av_q2d(time_base) * 1000.0;
  }
  last_decoded_ms = ms;
  return ms;
}

int64_t MovieDecoder::State::StreamTime(double ms) const {
  const double ts = origin + ms / 1000.0 / av_q2d(time_base);
  constexpr double kLimit = 9.0e18;
  return static_cast<int64_t>(std::clamp(ts, -kLimit, kLimit));
}

MovieDecoder::State::Next MovieDecoder::State::DecodeAhead() {
  if (has_ahead) return Next::Frame;
  if (ended) return Next::End;
  for (;;) {
    const int received = avcodec_receive_frame(codec, ahead);
    if (received == 0) {
      if (ahead->width <= 0 || ahead->height <= 0 || SideTooLarge(ahead->width, ahead->height)) {
        av_frame_unref(ahead);
        continue;
      }
      errors_in_row = 0;
      ahead_ms = TimeOf(*ahead);
      const int64_t duration = ahead->pkt_duration;
      ahead_duration_ms =
          duration > 0 ? static_cast<double>(duration) * av_q2d(time_base) * 1000.0 : 1000.0 / fps;
      if (!(ahead_duration_ms > 0.0 && ahead_duration_ms < 1e9)) ahead_duration_ms = 1000.0 / fps;
      has_ahead = true;
      return Next::Frame;
    }
    if (received == AVERROR_EOF || draining) {
      ended = true;
      return Next::End;
    }
    if (received != AVERROR(EAGAIN) && ++errors_in_row > kErrorLimit) {
      ended = true;
      return Next::End;
    }
    if (budget <= 0 || (cancel && cancel->load(std::memory_order_relaxed))) return Next::Budget;
    --budget;
    const int read = av_read_frame(format, packet);
    if (read < 0) {
      draining = true;
      avcodec_send_packet(codec, nullptr);
      continue;
    }
    if (packet->stream_index == stream && avcodec_send_packet(codec, packet) < 0 &&
        ++errors_in_row > kErrorLimit) {
      av_packet_unref(packet);
      ended = true;
      return Next::End;
    }
    av_packet_unref(packet);
  }
}

void MovieDecoder::State::MakeAheadCurrent() {
  std::swap(current, ahead);
  av_frame_unref(ahead);
  has_current = true;
  has_ahead = false;
  current_ms = ahead_ms;
  current_duration_ms = ahead_duration_ms;
}

bool MovieDecoder::State::Seek(double ms) {
  const int64_t ts = StreamTime(ms);
  if (av_seek_frame(format, stream, ts, AVSEEK_FLAG_BACKWARD) < 0 &&
      av_seek_frame(format, stream, StreamTime(first_ms), AVSEEK_FLAG_BACKWARD) < 0 &&
      av_seek_frame(format, -1, 0, AVSEEK_FLAG_BYTE) < 0)
    return false;
  avcodec_flush_buffers(codec);
  av_frame_unref(ahead);
  has_ahead = false;
  draining = ended = false;
  errors_in_row = 0;
  last_decoded_ms = ms - 1000.0 / fps;  // a frame without a time after the seek is taken as due
  return true;
}

MovieDecoder::MovieDecoder() : state_(std::make_unique<State>()) {}
MovieDecoder::~MovieDecoder() = default;

void MovieDecoder::Reset() {
  const std::atomic<bool>* cancel = state_->cancel;
  state_ = std::make_unique<State>();
  state_->cancel = cancel;
}

bool MovieDecoder::Open(const std::string& path, std::string& error) {
  Reset();
  state_->file = OpenUserFile(path, kMovieFileCap);
  if (!state_->file.ok()) {
    error = RefusalText(state_->file.refusal, "movie", path, state_->file.error);
    return false;
  }
  state_->input = std::make_unique<MovieInput>();
  if (!state_->input->OpenDescriptor(state_->file.fd(), state_->file.size())) {
    error = "out of memory";
    state_->Close();
    return false;
  }
  return OpenInput(error);
}

bool MovieDecoder::OpenBytes(std::string_view bytes, std::string& error) {
  Reset();
  state_->input = std::make_unique<MovieInput>();
  if (!state_->input->OpenBytes(bytes)) {
    error = "out of memory";
    state_->Close();
    return false;
  }
  return OpenInput(error);
}

bool MovieDecoder::OpenInput(std::string& error) {
  State& s = *state_;
  s.budget = kPacketBudget;
  if (!s.OpenInput(error)) {
    s.Close();
    return false;
  }
  if (s.DecodeAhead() != State::Next::Frame) {
    error = "the first frame does not decode";
    s.Close();
    return false;
  }
  s.MakeAheadCurrent();
  s.first_ms = s.current_ms;
  s.open = true;
  return true;
}

bool MovieDecoder::IsOpen() const {
  return state_->open;
}
const MovieInfo& MovieDecoder::Info() const {
  return state_->info;
}

bool MovieDecoder::DecodeTo(double ms) {
  State& s = *state_;
  if (!s.open || !s.has_current || std::isnan(ms)) return s.has_current;
  s.budget = kPacketBudget;
  const bool resuming = !std::isnan(s.unfinished_target) && ms >= s.unfinished_target;
  s.unfinished_target = std::numeric_limits<double>::quiet_NaN();
  const bool backward = ms < s.current_ms && s.current_ms > s.first_ms;
  const bool far_ahead = !resuming && !s.ended && ms > s.current_ms + kSeekAheadMs &&
                         !(s.has_ahead && s.ahead_ms > ms);
  if (backward || far_ahead) {
    // Seek to the key frame before `ms`; when the demuxer lands after it (an inexact index),
    // seek further back, and at last to the start.
    // Past the end nothing decodes: that too seeks further back.
    constexpr double kBackoffMs[] = {0.0, 1000.0, 5000.0, std::numeric_limits<double>::infinity()};
    bool found = false;
    for (double backoff : kBackoffMs) {
      const double to = std::max(ms - backoff, s.first_ms);
      if (!s.Seek(to)) break;
      const State::Next next = s.DecodeAhead();
      if (next == State::Next::Budget) break;
      if (next == State::Next::Frame && (s.ahead_ms <= ms || to <= s.first_ms)) {
        found = true;
        break;
      }
      if (to <= s.first_ms) break;
    }
    // Nothing decoded there (yet): the current frame stays.
    if (!found && !s.has_ahead) {
      if (!s.ended) s.unfinished_target = ms;
      return true;
    }
    s.MakeAheadCurrent();
  }
  for (;;) {
    const State::Next next = s.DecodeAhead();
    if (next == State::Next::Budget) {
      s.unfinished_target = ms;
      break;
    }
    if (next == State::Next::End || s.ahead_ms > ms) break;
    s.MakeAheadCurrent();  // passed frames are never scaled
  }
  return true;
}

bool MovieDecoder::Step() {
  State& s = *state_;
  if (!s.open) return false;
  s.budget = kPacketBudget;
  if (s.DecodeAhead() != State::Next::Frame) return false;
  s.MakeAheadCurrent();
  return true;
}

bool MovieDecoder::AtEnd() const {
  const State& s = *state_;
  return !s.open || (s.ended && !s.has_ahead);
}

void MovieDecoder::SetCancel(const std::atomic<bool>* cancel) {
  state_->cancel = cancel;
}

int64_t MovieDecoder::FrameIndex() const {
  const State& s = *state_;
  if (!s.has_current) return -1;
  return std::llround(std::clamp(s.current_ms * s.fps / 1000.0, -1e15, 1e15));
}

double MovieDecoder::FrameStartMs() const {
  return state_->has_current ? state_->current_ms : 0.0;
}

double MovieDecoder::FrameEndMs() const {
  const State& s = *state_;
  if (!s.has_current) return 0.0;
  return s.has_ahead ? s.ahead_ms : s.current_ms + s.current_duration_ms;
}

bool MovieDecoder::IsFirstFrame() const {
  return state_->has_current && state_->current_ms <= state_->first_ms;
}

void MovieDecoder::Draw(QImage& target, int size) {
  State& s = *state_;
  size = std::clamp(size, 1, kMovieSideLimit);
  if (target.width() != size || target.height() != size || target.format() != QImage::Format_RGB32)
    target = QImage(size, size, QImage::Format_RGB32);
  const AVFrame* frame = s.current;
  const QRect rect = s.has_current ? MovieRect(frame->width, frame->height, size) : QRect();
  // Black around the movie's part (all of it when there is no frame).
  const int bpl = static_cast<int>(target.bytesPerLine());
  uchar* bits = target.bits();
  for (int y = 0; y < size; ++y) {
    auto* line = reinterpret_cast<uint32_t*>(bits + y * bpl);
    if (y < rect.top() || y > rect.bottom()) {
      std::fill(line, line + size, 0xFF000000u);
    } else {
      std::fill(line, line + rect.left(), 0xFF000000u);
      std::fill(line + rect.right() + 1, line + size, 0xFF000000u);
    }
  }
  if (rect.isEmpty()) return;
  const State::ScaleKey key{frame->width,           frame->height, frame->format,
                            rect.width(),           rect.height(), SwsColourspace(*frame),
                            FullRangeSource(*frame)};
  if (!s.scaler || !(key == s.scaler_key)) {
    sws_freeContext(s.scaler);
    s.scaler = sws_getContext(
        frame->width, frame->height, static_cast<AVPixelFormat>(frame->format), rect.width(),
        rect.height(), AV_PIX_FMT_BGRA, kScaleFilter, nullptr, nullptr, nullptr);
    s.scaler_key = key;
    if (s.scaler)
      sws_setColorspaceDetails(s.scaler, sws_getCoefficients(key.colourspace), key.full_range,
                               sws_getCoefficients(SWS_CS_DEFAULT), 1, 0, 1 << 16, 1 << 16);
  }
  uint8_t* dst[4] = {bits + rect.top() * bpl + rect.left() * 4, nullptr, nullptr, nullptr};
  const int dst_stride[4] = {bpl, 0, 0, 0};
  const bool drawn = s.scaler && sws_scale(s.scaler, frame->data, frame->linesize, 0, frame->height,
                                           dst, dst_stride) > 0;
  for (int y = rect.top(); y <= rect.bottom(); ++y) {
    auto* line = reinterpret_cast<uint32_t*>(bits + y * bpl) + rect.left();
    if (!drawn) {
      std::fill(line, line + rect.width(), 0xFF000000u);
      continue;
    }
    for (int x = 0; x < rect.width(); ++x)
      line[x] |= 0xFF000000u;  // Format_RGB32 is opaque
  }
}

QRect MovieRect(int width, int height, int size) {
  if (width <= 0 || height <= 0 || size <= 0) return {};
  const double scale =
      std::min(static_cast<double>(size) / width, static_cast<double>(size) / height);
  const int w = std::clamp(static_cast<int>(std::lround(width * scale)), 1, size);
  const int h = std::clamp(static_cast<int>(std::lround(height * scale)), 1, size);
  return QRect((size - w) / 2, 0, w, h);
}

bool HasMovieExtension(std::string_view path) {
  constexpr std::string_view kExtensions[] = {".mpg", ".mpeg", ".mp4", ".m4v", ".avi",
                                              ".wmv", ".webm", ".mkv", ".mov"};
  for (std::string_view extension : kExtensions) {
    if (path.size() < extension.size()) continue;
    const std::string_view tail = path.substr(path.size() - extension.size());
    bool same = true;
    for (size_t i = 0; i < tail.size() && same; ++i) {
      const char c = tail[i];
      same = (c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c) == extension[i];
    }
    if (same) return true;
  }
  return false;
}

std::optional<MovieInfo> ProbeMovie(const std::string& path, std::string& error,
                                    QImage* first_frame) {
  MovieDecoder decoder;
  if (!decoder.Open(path, error)) return std::nullopt;
  if (first_frame) decoder.Draw(*first_frame);
  return decoder.Info();
}

}  // namespace quillon
