#include "playback/sound_module.h"

#include "platform/file_io.h"

namespace quillon {

int32_t InitSound(SoundDevice& sound, int64_t window, SoundMessages& messages) {
  const int32_t device = sound.dsInitialize2(window, 2);
  if (device == 0) messages.ShowSoundError("Direct Soundインターフェースが作成できません。");
  sound.dsSetGlobalFocus(-1);
  return device;
}

int32_t LoadWave(SoundDevice& sound, int32_t device, const std::string& path, int32_t flags,
                 SoundMessages& messages) {
  if (device == 0) return 0;
  // Read through the checked reader: a FIFO or device named as a sound is refused, not waited
  // on, and no sound needs more than kSoundFileCap bytes.
  const FileRead read = ReadUserFile(path, kSoundFileCap);
  if (read.refusal == FileRefusal::Missing) return 0;
  const int32_t id = read.ok() ? sound.dsCreateDSB(device, read.bytes, flags) : 0;
  if (id == 0) messages.ShowSoundError("ファイルロード中のエラー :\n" + path);
  return id;
}

}  // namespace quillon
