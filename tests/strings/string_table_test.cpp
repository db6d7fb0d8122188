#include "resources/string_table.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <optional>
#include <string>

namespace quillon {
namespace {

TEST(StringTable, HasEveryEntryInBothLanguages) {
  const std::vector<int> ids = StringTable::Ids();
  // Ascending without repeats, as the lookup's binary search needs.
  EXPECT_TRUE(std::adjacent_find(ids.begin(), ids.end(), std::greater_equal<int>()) == ids.end());
  for (const int id : {0, 10, 14, 15, 27, 101, 513, 600, 613, 717, 1005, 1100, 2000, 2303})
    EXPECT_TRUE(std::binary_search(ids.begin(), ids.end(), id)) << id;
  const StringTable en(UiLanguage::English);
  const StringTable ja(UiLanguage::Japanese);
  for (const int id : ids) {
    EXPECT_TRUE(StringTable::Has(id)) << id;
    EXPECT_FALSE(ja.Get(id).empty()) << id;
    EXPECT_EQ(en.Get(id).empty(), id == 30) << id;  // 30 has no English text
    // English texts are plain ASCII: no Japanese left in the English interface.
    const std::string english = en.Get(id);
    EXPECT_TRUE(std::all_of(english.begin(), english.end(),
                            [](char c) { return static_cast<unsigned char>(c) < 0x80; }))
        << id << " " << english;
    // A text filled in with a number has the place for it in both languages.
    EXPECT_EQ(english.find("%1") == std::string::npos, ja.Get(id).find("%1") == std::string::npos)
        << id;
  }
  for (const int id : {-1, 1, 35, 100, 499, 514, 999, 1006, 9999}) {
    EXPECT_FALSE(StringTable::Has(id)) << id;
    EXPECT_EQ(ja.Get(id), "") << id;
  }
}

TEST(StringTable, MenuTextsCarryTheirShortcutAfterATab) {
  EXPECT_EQ(StringTable(UiLanguage::English).Get(22), "Full Screen(&F)\tAlt+Enter");
  EXPECT_EQ(StringTable(UiLanguage::Japanese).Get(22), "全画面表示(&F)\tAlt+Enter");
}

TEST(StringTable, LanguageComesFromTheFirstSetVariable) {
  const char* names[] = {"LANGUAGE", "LC_ALL", "LC_MESSAGES", "LANG"};
  std::vector<std::optional<std::string>> saved;
  for (const char* name : names)
    saved.push_back(std::getenv(name) ? std::optional<std::string>(std::getenv(name))
                                      : std::nullopt);
  const auto with = [&](std::initializer_list<std::pair<const char*, const char*>> values) {
    for (const char* name : names)
      unsetenv(name);
    for (const auto& [name, value] : values)
      setenv(name, value, 1);
    return DetectUiLanguage();
  };
  const UiLanguage en = UiLanguage::English;
  const UiLanguage ja = UiLanguage::Japanese;
  EXPECT_EQ(with({}), en);
  EXPECT_EQ(with({{"LANG", "ja_JP.UTF-8"}}), ja);
  EXPECT_EQ(with({{"LANG", "jam_JM"}}), en);  // the language code, not any name beginning "ja"
  EXPECT_EQ(with({{"LC_ALL", "C"}, {"LANG", "ja_JP.UTF-8"}}), en);
  EXPECT_EQ(with({{"LC_ALL", ""}, {"LC_MESSAGES", "ja_JP.eucJP"}, {"LANG", "C"}}), ja);
  EXPECT_EQ(with({{"LANGUAGE", "ja:en"}, {"LC_ALL", "C.UTF-8"}}), ja);
  EXPECT_EQ(with({{"LANGUAGE", "en_GB:ja"}, {"LANG", "ja_JP.UTF-8"}}), en);
  for (size_t i = 0; i < saved.size(); ++i)
    saved[i] ? setenv(names[i], saved[i]->c_str(), 1) : unsetenv(names[i]);
}

}  // namespace
}  // namespace quillon
