#include "playback/sound_module.h"

#include <filesystem>
#include <fstream>
#include <iterator>

namespace quillon {
namespace {

// Larger files are refused before reading: no sound DecodeSound accepts needs more.
constexpr std::uintmax_t kMaxSoundFileBytes = std::uintmax_t{1} << 30;

bool ReadWholeFile(const std::string& path, std::string& bytes) {
  std::error_code ec;
  const std::uintmax_t size = std::filesystem::file_size(path, ec);
  if (ec || size > kMaxSoundFileBytes) return false;
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  bytes.resize(static_cast<size_t>(size));
  in.read(bytes.data(), static_cast<std::streamsize>(size));
  if (static_cast<std::uintmax_t>(in.gcount()) != size) return false;
  return true;
}

}  // namespace

int32_t InitSound(SoundDevice& sound, int64_t window, SoundMessages& messages) {
  const int32_t device = sound.dsInitialize2(window, 2);
  if (device == 0) messages.ShowSoundError("Direct Soundインターフェースが作成できません。");
  sound.dsSetGlobalFocus(-1);
  return device;
}

int32_t LoadWave(SoundDevice& sound, int32_t device, const std::string& path, int32_t flags,
                 SoundMessages& messages) {
  std::error_code ec;
  if (device == 0 || path.empty() || !std::filesystem::exists(path, ec)) return 0;
  std::string image;
  int32_t id = 0;
  if (ReadWholeFile(path, image)) id = sound.dsCreateDSB(device, image, flags);
  if (id == 0) messages.ShowSoundError("ファイルロード中のエラー :\n" + path);
  return id;
}

}  // namespace quillon
