// A video file decoded back for tests: its streams, its length, one pixel of every frame (its
// luma, and its colour through the matrix the stream names) and the first channel of its sound.
#pragma once

#include <QRgb>
#include <string>
#include <vector>

namespace quillon::test {

struct DecodedVideo {
  std::vector<std::string> codecs;  // one codec name per stream, in stream order
  double duration = 0.0;            // seconds, as the container gives it
  std::vector<double> frame_times;  // seconds
  std::vector<int> luma;            // each frame's luma (0-255) at the pixel asked for
  std::vector<QRgb> colours;        // the same pixel's colour
  int sample_rate = 0;
  double sound_start = 0.0;  // seconds of the first decoded sample
  std::vector<float> left;   // the first channel, from sound_start on
};

// Decodes `path` whole; `x`, `y` is the pixel whose luma is kept. Empty when it cannot be read.
DecodedVideo DecodeVideo(const std::string& path, int x, int y);

// The time of the first frame whose luma is at least `luma`, of the first sample whose magnitude
// is at least `level`; -1 when there is none.
double FirstBrightFrame(const DecodedVideo& video, int luma);
double FirstLoudSample(const DecodedVideo& video, float level);

}  // namespace quillon::test
