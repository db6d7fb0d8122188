// The interface strings in English and Japanese: menu captions, control panel captions, status
// words and the level marks. Each text is taken from the table of the user's interface language,
// the English one when that language is not Japanese.
#pragma once

#include <string>
#include <vector>

namespace quillon {

enum class UiLanguage { English, Japanese };

// Japanese when the user's interface language is Japanese: the first of LANGUAGE (its first
// colon-separated entry), LC_ALL, LC_MESSAGES and LANG that is set and not empty names the
// language "ja" ("ja", "ja_JP.UTF-8", "ja@...", ...); English otherwise.
UiLanguage DetectUiLanguage();

class StringTable {
 public:
  explicit StringTable(UiLanguage language = DetectUiLanguage());

  UiLanguage language() const { return language_; }

  // The entry's text in UTF-8; "" for an id the table does not have.
  std::string Get(int id) const;
  // True when the table has an entry `id` (entry 30 exists and is empty in English).
  static bool Has(int id);
  // Every id of the table, ascending.
  static std::vector<int> Ids();

 private:
  UiLanguage language_;
};

}  // namespace quillon
