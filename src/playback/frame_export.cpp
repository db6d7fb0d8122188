#include "playback/frame_export.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

namespace quillon {
namespace {

void Put16(char* out, size_t at, uint16_t v) {
  out[at] = static_cast<char>(v & 0xFF);
  out[at + 1] = static_cast<char>(v >> 8);
}
void Put32(char* out, size_t at, uint32_t v) {
  Put16(out, at, static_cast<uint16_t>(v & 0xFFFF));
  Put16(out, at + 2, static_cast<uint16_t>(v >> 16));
}

constexpr size_t kBmpHeaderBytes = 54;

// One row of 32-bit pixels as blue, green, red bytes: each pixel's bytes in memory are blue,
// green, red, alpha, so the row is the pixels with every fourth byte left out. Four pixels make
// twelve bytes, put together in registers and stored as one 8-byte and one 4-byte word.
void PackRow(const quint32* pixels, int width, char* out) {
  int x = 0;
  for (; x + 4 <= width; x += 4, pixels += 4, out += 12) {
    const uint64_t p0 = pixels[0] & 0xFFFFFFu;
    const uint64_t p1 = pixels[1] & 0xFFFFFFu;
    const uint64_t p2 = pixels[2] & 0xFFFFFFu;
    const quint32 p3 = pixels[3] & 0xFFFFFFu;
    const uint64_t low = p0 | p1 << 24 | p2 << 48;
    const auto high = static_cast<quint32>(p2 >> 16) | p3 << 8;
    std::memcpy(out, &low, sizeof low);
    std::memcpy(out + sizeof low, &high, sizeof high);
  }
  for (; x < width; ++x, ++pixels, out += 3) {
    out[0] = static_cast<char>(qBlue(*pixels));
    out[1] = static_cast<char>(qGreen(*pixels));
    out[2] = static_cast<char>(qRed(*pixels));
  }
}

// All of `size` bytes to a new (or emptied) file at `path`; false with errno set.
bool WriteWholeFile(const std::string& path, const char* data, size_t size) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd < 0) return false;
  while (size > 0) {
    const ssize_t written = ::write(fd, data, size);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) {
      const int failure = written < 0 ? errno : ENOSPC;
      ::close(fd);
      errno = failure;
      return false;
    }
    data += written;
    size -= static_cast<size_t>(written);
  }
  return ::close(fd) == 0;
}

}  // namespace

std::string OutputBaseOf(std::string_view path) {
  const size_t last_part = path.find_last_of("/\\") + 1;  // 0 when there is no separator
  const size_t dot = path.rfind('.');
  if (dot == std::string_view::npos || dot < last_part) return std::string(path);
  return std::string(path.substr(0, dot));
}

std::string FrameFileName(const std::string& base, int32_t n) {
  char digits[16];
  std::snprintf(digits, sizeof digits, "%04d", n);
  return base + digits + ".bmp";
}

bool BmpWriter::Write(const std::string& path, const QImage& image, std::string& error) {
  const QImage rgb =
      image.format() == QImage::Format_RGB32 || image.format() == QImage::Format_ARGB32
          ? image
          : image.convertToFormat(QImage::Format_RGB32);
  const int w = rgb.width();
  const int h = rgb.height();
  const size_t row = (static_cast<size_t>(w) * 3 + 3) & ~size_t{3};
  const size_t size = kBmpHeaderBytes + row * static_cast<size_t>(h);
  // The buffer keeps its pages from one frame to the next: only a larger frame makes it grow.
  if (buffer_.size() < size) buffer_.resize(size);
  char* file = buffer_.data();
  std::memset(file, 0, kBmpHeaderBytes);
  file[0] = 'B';
  file[1] = 'M';
  Put32(file, 2, static_cast<uint32_t>(size));
  Put32(file, 10, kBmpHeaderBytes);
  Put32(file, 14, 40);
  Put32(file, 18, static_cast<uint32_t>(w));
  Put32(file, 22, static_cast<uint32_t>(h));
  Put16(file, 26, 1);
  Put16(file, 28, 24);
  Put32(file, 34, static_cast<uint32_t>(row * static_cast<size_t>(h)));
  Put32(file, 38, 2835);  // 72 dpi
  Put32(file, 42, 2835);
  const size_t padding = row - static_cast<size_t>(w) * 3;
  for (int y = 0; y < h; ++y) {
    char* out = file + kBmpHeaderBytes + row * static_cast<size_t>(y);
    PackRow(reinterpret_cast<const quint32*>(rgb.constScanLine(h - 1 - y)), w, out);
    // The buffer may hold an earlier frame's pixels where this one pads its rows.
    std::memset(out + row - padding, 0, padding);
  }
  errno = 0;
  if (!WriteWholeFile(path, file, size)) {
    error = path + ": " + std::strerror(errno != 0 ? errno : EIO);
    return false;
  }
  return true;
}

bool WriteBmp24(const std::string& path, const QImage& image, std::string& error) {
  return BmpWriter().Write(path, image, error);
}

FrameRun RunFrameLoop(PlayEngine& engine, const Chart& chart, float fps, const std::string& base,
                      const FrameExportHooks& hooks) {
  FrameRun run;
  auto log = [&](std::string_view text) {
    if (hooks.DebugLog) hooks.DebugLog(text);
  };
  // The live scheduler from the start of the chart, on the frame clock instead of the tick clock.
  engine.PicturesOnly = true;
  engine.Playing = true;
  engine.StopRequest = false;
  if (!engine.Cue(0)) {
    engine.PicturesOnly = false;
    return run;
  }
  const double end = chart.EndPosition + 256.0;
  const double limit_ms = chart.Extended ? ExportLimitMs(chart, engine.Timeline())
                                         : ExportLimitMs(chart, chart.CurrentBpm);
  BmpWriter writer;

  while (true) {
    if (engine.Paused) {
      if (hooks.Sleep) hooks.Sleep(5);
    } else {
      ++run.FrameNumber;
      const int32_t shown = hooks.FirstFrameAtStart ? run.FrameNumber - 1 : run.FrameNumber;
      engine.StepAt(shown / static_cast<double>(fps) * 1000.0);
      const QImage* frame = hooks.DrawFrame ? hooks.DrawFrame() : nullptr;
      const std::string file =
          hooks.TakeFrame ? std::string() : FrameFileName(base, run.FrameNumber);
      std::string error;
      const auto take = [&] {
        return hooks.TakeFrame ? hooks.TakeFrame(*frame, run.FrameNumber, error)
                               : writer.Write(file, *frame, error);
      };
      if (frame == nullptr || !take()) {
        // A sequence with a gap makes a broken video: stop at the first frame not written.
        if (frame == nullptr)
          error = file.empty() ? "nothing was drawn" : file + ": nothing was drawn";
        run.Error = error;
        --run.FrameNumber;
        break;
      }
      run.LastFile = file;
      if (!hooks.TakeFrame) {
        run.Bytes += static_cast<uint64_t>(54 + ((frame->width() * 3 + 3) & ~3) * frame->height());
      }
      char line[64];
      std::snprintf(line, sizeof line, "%04dfr\t%.2fs", run.FrameNumber, engine.ElapsedMs / 1000.0);
      log(line);
      if (engine.ElapsedMs > limit_ms) {
        // The position stood still or ran back (a tempo of 0 or less): play would never end.
        run.Capped = true;
        break;
      }
    }
    if (engine.PlayPosition > end || engine.StopRequest) break;
    if (hooks.ProcessEvents) hooks.ProcessEvents();
    // A stop that arrived with those events ends the run here: the stop has reset the play
    // state, so a further frame would show the chart from a wrong position.
    if (engine.StopRequest) break;
  }
  engine.PicturesOnly = false;
  return run;
}

namespace {

// "#,##0.00": two decimals, thousands separated by commas.
std::string GroupedTwoDecimals(double value) {
  char text[64];
  std::snprintf(text, sizeof text, "%.2f", value);
  std::string digits(text);
  const size_t point = digits.find('.');
  const size_t first = digits[0] == '-' ? 1 : 0;
  std::string grouped;
  for (size_t i = first; i < point; ++i) {
    if (i > first && (point - i) % 3 == 0) grouped += ',';
    grouped += digits[i];
  }
  return digits.substr(0, first) + grouped + digits.substr(point);
}

// A plain decimal number without trailing zeros: 5.5, 5, 12.345.
std::string PlainDecimal(double value) {
  char text[64];
  std::snprintf(text, sizeof text, "%.3f", value);
  std::string s(text);
  while (!s.empty() && s.back() == '0')
    s.pop_back();
  if (!s.empty() && s.back() == '.') s.pop_back();
  return s;
}

}  // namespace

std::vector<std::string> BitmapOutputReport(const FrameRun& run, const std::string& base,
                                            uint64_t last_file_bytes, int64_t elapsed_ms,
                                            int32_t total_time_ms) {
  std::vector<std::string> lines;
  lines.emplace_back("BitmapOutput Complete ------");
  lines.push_back("Total " + std::to_string(run.FrameNumber) + " frames");
  char last[16];
  std::snprintf(last, sizeof last, "%04d", run.FrameNumber);
  lines.push_back(base + "0001-" + last + ".bmp");
  lines.push_back(GroupedTwoDecimals(static_cast<double>(run.Bytes) / 1048576.0) + "MB(" +
                  std::to_string(last_file_bytes) + "byte/file)");
  char ratio[32];
  std::snprintf(ratio, sizeof ratio, "%.2f",
                total_time_ms > 0 ? static_cast<double>(elapsed_ms) / total_time_ms : 0.0);
  lines.push_back("Complete in " + std::to_string(elapsed_ms / 60000) + "m" +
                  PlainDecimal(static_cast<double>(elapsed_ms % 60000) / 1000.0) + "s (" + ratio +
                  "x)");
  lines.emplace_back(28, '-');
  return lines;
}

}  // namespace quillon
