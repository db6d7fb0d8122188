// The per-user settings store: an INI file read and written through QSettings, with sections and
// keys matched without regard to letter case, and every value a UTF-8 text.
//
// Threads: one thread at a time per store (QSettings shares a file between the stores of one
// process, so changes made through one store are seen by the others at once).
#pragma once

#include <QString>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

class QSettings;

namespace quillon {

class SettingsStore {
 public:
  // The user's file: ~/.config/Quillon/Quillon.ini (organisation and application "Quillon").
  SettingsStore();
  // A given INI file.
  explicit SettingsStore(const QString& path);
  ~SettingsStore();
  SettingsStore(const SettingsStore&) = delete;
  SettingsStore& operator=(const SettingsStore&) = delete;

  // The value of `key` in `section`, whatever the letter case of either; nullopt when the key is
  // absent or its value is not text (a hand-made "@Invalid()" and the like). A hand-written list
  // "a,b,c" comes back as the one text "a,b,c".
  std::optional<std::string> Read(std::string_view section, std::string_view key) const;

  // Sets `key` in `section` to `value`. A key of the same name in another letter case is replaced,
  // so that "end0" and "End0" stay one value, stored under the spelling written last.
  void Write(std::string_view section, std::string_view key, std::string_view value);

  // Writes pending changes to disk. False with `error` (naming the file and the reason) when the
  // file cannot be written; the old file is then left intact and the changes stay pending, so a
  // later Sync may still write them.
  bool Sync(std::string* error = nullptr);

  QString FilePath() const;

 private:
  // A fresh QSettings for the same file; see Sync.
  void Reopen();

  std::unique_ptr<QSettings> settings_;
};

}  // namespace quillon
