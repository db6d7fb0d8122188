// libFuzzer target for the remote-control texts: arbitrary bytes, cut at line ends as the channel
// cuts them, each line through the command handler with a checking target. Whatever a client
// sends, the handler must neither crash nor act on a text it should ignore.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "shell/remote_commands.h"

namespace {

void Check(bool ok) {
  if (!ok) std::abort();
}

// Checks every call against the text being handled.
class CheckingTarget : public quillon::RemoteTarget {
 public:
  std::string_view text;
  bool controlled = false;
  int calls = 0;

  void SetDdeControlled(bool on) override { controlled = on; }
  void BV_CLOSE() override { Check(text == "LCLOSE"); }
  const std::string& CurrentFile() const override { return current_file_; }
  bool Paused() const override { return true; }
  void PlayFile() override { Check(text.substr(text.find(' ') + 1) == current_file_); }
  void LoadChart(const std::string& path) override {
    Check(text.starts_with("LLOAD") && text.ends_with(path));
    current_file_ = path.substr(0, path.size() / 2);
    ++calls;
  }
  void ArmPlayFileTimer() override { Check(calls > 0); }
  void PressCommandButton(std::string_view key) override {
    Check(quillon::IsCommandBarKey(key) && text.substr(1) == key);
  }
  void SetItemText(std::string item) override { Check(item.empty()); }
  void PreviewChart(const std::string& path, int measure) override {
    Check(text.starts_with(quillon::kRemotePreviewPrefix) && !path.empty() &&
          text.ends_with(path) && measure >= 0);
  }
  void AddToPlaylist(const std::string& path) override {
    Check(!path.empty() && text == "LADD " + path);
  }
  void OpenPlaylist(const std::string& path) override {
    Check(!path.empty() && text == "LPLAYLIST " + path);
  }

 private:
  std::string current_file_ = "/m/x.bms";
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view bytes(reinterpret_cast<const char*>(data), size);
  CheckingTarget target;
  while (!bytes.empty()) {
    const size_t end = bytes.find('\n');
    std::string_view line = bytes.substr(0, end);
    bytes.remove_prefix(end == std::string_view::npos ? bytes.size() : end + 1);
    if (line.ends_with('\r')) line.remove_suffix(1);
    const bool was_controlled = target.controlled;
    target.text = line;
    quillon::HandleRemoteText(target, line);
    // The desktop's texts ("LADD", "LPLAYLIST", bare or with a path) leave control as it was;
    // every other text starting with 'L' takes it, "LCLOSE" gives it up.
    const bool desktop = line == "LADD" || line.starts_with("LADD ") || line == "LPLAYLIST" ||
                         line.starts_with("LPLAYLIST ");
    if (line.starts_with('L') && !desktop)
      Check(target.controlled == (line != "LCLOSE"));
    else
      Check(target.controlled == was_controlled);
  }
  return 0;
}
