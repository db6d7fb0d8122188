// Movie files as BGA: probing a file at load, decoding the frame due at a movie time, and
// scaling it into the 256 x 256 BGA composition.
//
// Files are read through OpenUserFile (a FIFO, a device or a folder is refused without
// blocking; the name's bytes are used as they are) and libavformat reads them through our own
// I/O callbacks on that descriptor, never by name. Sound tracks are ignored.
//
// Movie time is milliseconds since the movie started (its channel's switch). The frame due at a
// time is the last frame whose presentation time is at or before it: the first frame before
// the first time, the last frame held after the end.
//
// Threads: a MovieDecoder belongs to one thread at a time. MoviePlayer runs a decoder on a
// thread of its own and is driven from the UI thread.
#pragma once

#include <QImage>
#include <QRect>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>

namespace quillon {

// The BGA composition's side; a movie frame is scaled to fit it.
inline constexpr int kMovieFrameSize = 256;
// Movies wider or taller than this are refused (4K UHD plays, 8K does not).
inline constexpr int kMovieSideLimit = 4096;
// The most a movie file may hold.
inline constexpr uint64_t kMovieFileCap = uint64_t{4} << 30;

struct MovieInfo {
  int32_t Width = 0;
  int32_t Height = 0;
  double Fps = 0.0;         // the average frame rate
  int64_t Frames = 0;       // from the stream's header, else the duration times the frame rate
  double DurationMs = 0.0;  // of the video stream; 0 when the file does not say
  std::string Codec;        // libavcodec's short name: "mpeg1video", "h264", ...
};

// The part of the composition a movie of `width` x `height` covers: scaled to fit 256 x 256
// keeping its aspect ratio, centred horizontally, aligned to the top. Empty for a size of 0.
// At a composition of `size` square (a frame export at a higher resolution), the same rule.
QRect MovieRect(int width, int height, int size = kMovieFrameSize);

// Whether `path` ends in a movie extension (.mpg .mpeg .mp4 .m4v .avi .wmv .webm .mkv .mov),
// without regard to case.
bool HasMovieExtension(std::string_view path);

class MovieDecoder {
 public:
  MovieDecoder();
  ~MovieDecoder();
  MovieDecoder(const MovieDecoder&) = delete;
  MovieDecoder& operator=(const MovieDecoder&) = delete;

  // Opens the movie at `path` and decodes its first frame; false with a short reason in
  // `error` ("not a movie", "no video stream", "unsupported codec hevc", "7680x4320 is larger
  // than 4096 on a side", "the first frame does not decode", or the file's refusal).
  bool Open(const std::string& path, std::string& error);
  // The same over bytes in memory (kept by the caller while the decoder is open): probing
  // without a file, for the fuzz target and tests.
  bool OpenBytes(std::string_view bytes, std::string& error);
  bool IsOpen() const;
  const MovieInfo& Info() const;

  // Makes the frame due at movie time `ms` the current one. Frames passed on the way are
  // decoded but not scaled; a time before the current frame, or far ahead of it, seeks to the
  // key frame before it first. False when no frame is there at all (the decoder failed).
  bool DecodeTo(double ms);
  // The current frame scaled into `target` (a `size` square, kMovieFrameSize unless the BGA is
  // composed larger; Format_RGB32) at MovieRect; the rest of `target` is black. `target` is made
  // the right size when it is not.
  void Draw(QImage& target, int size = kMovieFrameSize);
  // The current frame: its number counted from 0 by its time and the frame rate (-1 before
  // any), its time and the time the frame after it is due (its time plus its duration).
  int64_t FrameIndex() const;
  double FrameStartMs() const;
  double FrameEndMs() const;

  // Makes the frame after the current one current (decoded, not scaled); false at the end.
  bool Step();
  // Whether the current frame is the movie's last (nothing decodes after it).
  bool AtEnd() const;
  // Whether the current frame is the movie's first: it is due at every time before its own.
  bool IsFirstFrame() const;
  // A flag another thread may raise to make a long DecodeTo or Step return early (the
  // current frame is then the one reached so far). Null for none.
  void SetCancel(const std::atomic<bool>* cancel);

 private:
  struct State;
  void Reset();
  bool OpenInput(std::string& error);
  std::unique_ptr<State> state_;
};

// Probes the movie at `path`: its MovieInfo, and its first frame drawn into `first_frame` when
// given; nullopt with the reason in `error`. Never reads more of the file than the first frame
// needs.
std::optional<MovieInfo> ProbeMovie(const std::string& path, std::string& error,
                                    QImage* first_frame = nullptr);

// Live play: a decoder on its own thread runs ahead of the chart's clock and keeps a few scaled
// frames ready; the UI thread takes the frame due and never waits for the decoder. When the
// decoder falls behind, it decodes without scaling up to the frame due. A backward jump or one
// far ahead (a seek, a restart of the movie) makes it seek. Idle (parked, or its frames ready
// and not yet due) the thread sleeps.
class MoviePlayer {
 public:
  MoviePlayer();
  ~MoviePlayer();  // stops and joins the thread
  MoviePlayer(const MoviePlayer&) = delete;
  MoviePlayer& operator=(const MoviePlayer&) = delete;

  // Plays the movie at `path` from here on (the thread opens it; the same path as now keeps
  // the open decoder). An empty path unbinds.
  void Bind(const std::string& path);
  // Tells the decoder the movie time is `ms` now. When the frame due at `ms` is ready and is
  // not the frame last taken, copies it into `target` and returns true. Never blocks on
  // decoding.
  bool Show(double ms, QImage& target);
  // Stops decoding until the next Show (the movie is not on screen).
  void Park();

 private:
  struct Shared;
  static void Run(Shared& shared);  // the decoding thread
  std::shared_ptr<Shared> shared_;
  std::thread thread_;
};

}  // namespace quillon
