// Movie clips for tests and benchmarks, encoded at run time with libavcodec's own encoders.
// Each frame of a plain clip is one solid colour from a small table of far-apart colours,
// chosen by the frame's number, so that the frame shown can be told after lossy coding.
#pragma once

#include <QRgb>
#include <string>
#include <vector>

namespace quillon::test {

struct ClipOptions {
  std::string codec = "mpeg1video";  // an encoder's name: mpeg1video, mpeg4, libx264, ...
  int width = 64;
  int height = 48;
  int fps = 25;
  int frames = 25;
  int key_interval = 12;   // frames from one key frame to the next
  std::vector<int> black;  // frames drawn black instead of their colour
  bool moving = false;     // gradients and noise changing every frame instead of colours
};

// Writes the clip to `path` in the container its extension names (.mpg .avi .mp4 .mkv ...).
// Empty on success, else what failed.
std::string WriteClip(const std::string& path, const ClipOptions& options);

// Whether libavcodec has an encoder of that name.
bool HasEncoder(const std::string& name);

inline constexpr int kClipColours = 8;
// The colour of frame `frame` of a plain clip.
QRgb ClipColour(int frame);
// The frame number (modulo kClipColours) whose colour is nearest to `pixel`; -1 when the
// pixel is nearer black than any of them.
int ClipColourIndex(QRgb pixel);

}  // namespace quillon::test
