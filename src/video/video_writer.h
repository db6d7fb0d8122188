// Writing a finished video file: RGB frames and interleaved 16-bit stereo sound encoded with
// FFmpeg's libraries into the container the file's extension names.
//
//   .mp4   H.264 (libx264) + AAC, moov atom at the front (+faststart)
//   .webm  VP9 (libvpx-vp9) + Opus (libopus)
//   .mkv   H.264 + AAC
//
// The file is written under a temporary name in the same folder and renamed to its own name
// only by Finish; Abort (or destruction without Finish) removes it, so an error or an interrupt
// never leaves a half-written file under the name asked for.
//
// Timestamps: frame n lies at n / fps seconds, sound sample 0 at 0 s (the audio encoder's
// priming is hidden by the container: an edit list in .mp4, CodecDelay in .webm; in .mkv the
// AAC priming lies before 0 s). Write the sound alongside the frames, about a frame's worth
// after each: the muxer holds packets of one stream until the other has caught up.
//
// Threads: one thread at a time; the encoders may use threads of their own.
#pragma once

#include <QImage>
#include <cstdint>
#include <memory>
#include <string>

namespace quillon {

struct VideoSettings {
  int32_t Width = 1920;
  int32_t Height = 1080;
  int32_t Fps = 60;
  // Constant quality, from 0 (best, largest) to 100 (smallest); mapped to the video codec's own
  // scale (x264's CRF, VP9's CRF). The default keeps notes and text clean.
  int32_t Quality = kDefaultQuality;
  int32_t SampleRate = 48000;  // the sound is stereo
  static constexpr int32_t kDefaultQuality = 30;
};

class VideoWriter {
 public:
  VideoWriter();
  ~VideoWriter();  // aborts an unfinished file
  VideoWriter(const VideoWriter&) = delete;
  VideoWriter& operator=(const VideoWriter&) = delete;

  // Opens the encoders and the temporary file for `path`. False with a message naming what is
  // wrong: an extension with no container ("cannot write .avi videos: use .mp4, .webm or .mkv"),
  // an encoder this system's libraries lack ("this FFmpeg has no libx264 encoder for H.264: try
  // .webm"), a folder that cannot be written.
  bool Open(const std::string& path, const VideoSettings& settings, std::string& error);
  // The next frame (any QImage format; converted and scaled to the settings' size if it differs).
  bool WriteFrame(const QImage& frame, std::string& error);
  // The next `frames` stereo frames of sound (interleaved, 2 samples each).
  bool WriteSound(const int16_t* samples, int64_t frames, std::string& error);
  // Flushes the encoders, writes the trailer and renames the file to its own name.
  bool Finish(std::string& error);
  // Stops and removes the temporary file.
  void Abort();

  int64_t FramesWritten() const;
  // The temporary file's path while open (for messages and tests).
  std::string TemporaryPath() const;

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace quillon
