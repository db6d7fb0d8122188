#include "platform/debug_log.h"

#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>

namespace quillon {

namespace {

// The whole number of milliseconds: nearbyint rounds halves to even in the default rounding
// mode. The bounds are the powers of two just outside int64_t, both exact as doubles.
int64_t WholeMs(double ms) {
  if (!std::isfinite(ms)) return 0;
  const double r = std::nearbyint(ms);
  if (r < -9223372036854775808.0 || r >= 9223372036854775808.0) return 0;
  return static_cast<int64_t>(r);
}

void SetError(std::string* error, int code) {
  if (error) *error = std::strerror(code);
}

}  // namespace

std::string DebugLine(double elapsed_ms, std::string_view text) {
  std::string line = std::to_string(WholeMs(elapsed_ms));
  line += '\t';
  line += text;
  return line;
}

bool AppendDebugLine(const std::string& path, std::string_view line, std::string* error) {
  // Binary mode: the CR LF is written as it is, and the text bytes (UTF-8) unchanged.
  errno = 0;
  std::FILE* file = std::fopen(path.c_str(), "ab");
  if (!file) {
    SetError(error, errno != 0 ? errno : EIO);
    return false;
  }
  std::string bytes(line);
  bytes += "\r\n";
  errno = 0;
  const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  const int write_errno = errno;
  errno = 0;
  const bool closed = std::fclose(file) == 0;
  if (written && closed) return true;
  const int code = !written ? write_errno : errno;
  SetError(error, code != 0 ? code : EIO);
  return false;
}

}  // namespace quillon
