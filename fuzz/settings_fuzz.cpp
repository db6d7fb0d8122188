// libFuzzer target for the settings file: arbitrary bytes as Quillon.ini are read through every
// key of the settings table, and each value form is read from the raw bytes too. Whatever the
// file holds, reading must neither crash nor leave a value outside its field.
#include <unistd.h>

#include <QString>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "platform/settings_store.h"
#include "settings/settings_table.h"

namespace {

const std::string& ScratchPath() {
  static const std::string path = "/tmp/quillon-settings-fuzz-" + std::to_string(getpid()) + ".ini";
  return path;
}

void RemoveScratch() {
  std::remove(ScratchPath().c_str());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  quillon::ReadFlagValue(text);
  quillon::ReadLeadingNumber(text);
  quillon::ReadNumberValue(text);

  static const bool cleanup = std::atexit(RemoveScratch) == 0;
  (void)cleanup;
  const std::string& path = ScratchPath();
  if (FILE* file = std::fopen(path.c_str(), "wb")) {
    std::fwrite(data, 1, size, file);
    std::fclose(file);
  }
  const quillon::SettingsStore store(QString::fromStdString(path));
  const quillon::WindowPlacement placement = quillon::ReadWindowPlacement(store);
  if (placement.State && (*placement.State < 0 || *placement.State > 2)) std::abort();
  quillon::ProgramSettings settings;
  quillon::ReadNotScrollTitle(store, settings);
  quillon::LoadSettings(store, settings);
  quillon::ReadStartFlags(store, settings);
  for (const auto& item : quillon::ReadShowItems(store)) {
    if (item && (*item < 0 || *item > 2)) std::abort();
  }
  return 0;
}
