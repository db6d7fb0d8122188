// libFuzzer target for the playlist reader: arbitrary bytes as a .bpl file go into the list, the
// list is written and read back, and the second reading must give the same rows.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "playlist/bpl_file.h"
#include "playlist/playlist.h"

namespace {

// The list never reaches these during a load; they only satisfy the constructor.
class NullHost : public quillon::PlaylistHost {
 public:
  int32_t LoadChart(const std::string&, bool) override { return -1; }
  void StopFile(bool) override {}
  void PlayFile() override {}
  std::string LoadedFilePath() const override { return {}; }
  bool IsPlaying() const override { return false; }
  int RepeatMode() const override { return 0; }
  void RearmEndTimer() override {}
  void SetPlaylistButton(bool) override {}
};

class NullView : public quillon::PlaylistView {
 public:
  quillon::SaveAnswer AskSaveChanges() override { return quillon::SaveAnswer::No; }
  std::string ChooseOpenFile() override { return {}; }
  std::string ChooseSaveFile() override { return {}; }
  void ReportSaveError(const std::string&) override {}
  void ReportRefusedFiles(const std::string&) override {}
  void ArmPlayStart() override {}
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  NullHost host;
  NullView view;
  quillon::Playlist list(host, view);
  list.LoadBytes(bytes);
  // Sorting exercises the comparison over whatever texts came in.
  if (size > 0) list.SortByColumn(static_cast<quillon::PlaylistColumn>(data[0] % 5));
  const std::string saved = list.SaveBytes();

  quillon::Playlist again(host, view);
  again.LoadBytes(saved);
  if (again.entries() != list.entries()) std::abort();
  if (again.SaveBytes() != saved) std::abort();
  return 0;
}
