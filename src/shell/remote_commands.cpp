#include "shell/remote_commands.h"

#include <array>
#include <charconv>
#include <optional>

#include "platform/file_io.h"

namespace quillon {

bool IsCommandBarKey(std::string_view key) {
  static constexpr std::array<std::string_view, 10> kKeys = {
      "PLAY", "PAUSE", "STOP", "PREV", "REW", "FF", "NEXT", "REP1", "REPA", "BMPOUT"};
  for (std::string_view k : kKeys) {
    if (k == key) return true;
  }
  return false;
}

namespace {

// The path of "<word> <path>" (empty for the bare word), or nullopt when `text` is another text.
std::optional<std::string_view> PathAfterWord(std::string_view text, std::string_view word) {
  if (!text.starts_with(word)) return std::nullopt;
  text.remove_prefix(word.size());
  if (text.empty()) return text;
  if (text.front() != ' ') return std::nullopt;
  return text.substr(1);
}

bool IsDesktopText(std::string_view text) {
  return PathAfterWord(text, kRemoteAddWord) || PathAfterWord(text, kRemotePlaylistWord);
}

}  // namespace

bool TakesRemoteControl(std::string_view text) {
  return text.starts_with('L') && !IsDesktopText(text);
}

RemotePreview ParseRemotePreview(std::string_view text) {
  RemotePreview preview;
  if (!text.starts_with(kRemotePreviewPrefix)) return preview;
  std::string_view rest = text.substr(kRemotePreviewPrefix.size());
  const size_t blank = rest.find(' ');
  const std::string_view word = rest.substr(0, blank);
  int measure = 0;
  const auto [end, error] = std::from_chars(word.data(), word.data() + word.size(), measure);
  (void)end;
  if (error == std::errc() && measure >= 0) preview.measure = measure;
  if (blank != std::string_view::npos) preview.path = std::string(rest.substr(blank + 1));
  return preview;
}

std::string ResolveRemoteText(std::string_view text) {
  // The path starts after the first blank of a load and after the second of a preview, as
  // HandleRemoteText reads them.
  size_t start = std::string_view::npos;
  if (text.starts_with(kRemotePreviewPrefix)) {
    start = text.find(' ', kRemotePreviewPrefix.size());
  } else if (text.starts_with("LLOAD") || IsDesktopText(text)) {
    start = text.find(' ');
  }
  if (start == std::string_view::npos) return std::string(text);
  return std::string(text.substr(0, start + 1)) + AbsolutePath(std::string(text.substr(start + 1)));
}

void HandleRemoteText(RemoteTarget& target, std::string_view text) {
  if (!text.starts_with('L')) return;
  if (const auto path = PathAfterWord(text, kRemoteAddWord)) {
    if (!path->empty()) target.AddToPlaylist(std::string(*path));
    return;
  }
  if (const auto path = PathAfterWord(text, kRemotePlaylistWord)) {
    if (!path->empty()) target.OpenPlaylist(std::string(*path));
    return;
  }
  target.SetDdeControlled(true);
  if (text == "LCLOSE") {
    target.BV_CLOSE();
    target.SetDdeControlled(false);
  }

  if (text.starts_with(kRemotePreviewPrefix)) {
    const RemotePreview preview = ParseRemotePreview(text);
    if (!preview.path.empty()) target.PreviewChart(preview.path, preview.measure);
    return;
  }

  if (text.starts_with("LLOAD")) {
    const size_t blank = text.find(' ');
    const std::string path(blank == std::string_view::npos ? text : text.substr(blank + 1));
    if (path == target.CurrentFile() && target.Paused()) {
      target.PlayFile();
      return;
    }
    target.LoadChart(path);
    target.ArmPlayFileTimer();
    return;
  }

  const std::string_view key = text.substr(1);
  if (IsCommandBarKey(key)) target.PressCommandButton(key);
  target.SetItemText(std::string());
}

}  // namespace quillon
