#include "resources/string_table.h"

#include <algorithm>
#include <cstdlib>
#include <iterator>
#include <string_view>

namespace quillon {
namespace {

struct Entry {
  int id;
  const char* english;
  const char* japanese;
};

// Ascending by id, so that lookups can use a binary search.
constexpr Entry kEntries[] = {
    {0, "Arial", "MS UI Gothic"},
    {10, "File(&F)", "ファイル(&F)"},
    {11, "Open(&O)", "開く(&O)"},
    {12, "Reload(&R)", "リロード(&R)"},
    {13, "Quit(&Q)", "終了(&Q)"},
    {20, "View(&V)", "表示(&V)"},
    {21, "Elements(&E)", "表示項目(&V)"},
    {22, "Full Screen(&F)\tAlt+Enter", "全画面表示(&F)\tAlt+Enter"},
    {23, "Zoom(&Z)", "拡大/縮小(&Z)"},
    {24, "Statistics(&S)", "統計(&S)"},
    {25, "Always on top(&A)", "常に手前に表示(&A)"},
    {26, "Option(&O)", "オプション(&O)..."},
    {27, "Extended BMS commands (base-36 ids, #BPMxx, #STOP, long notes)",
     "拡張BMSコマンドを使う(&X)"},
    {30, "", "mvie"},
    {31, "ToolBar(&T)", "ツールバー(&T)"},
    {32, "PositionBar(&P)", "ポジションバー(&P)"},
    {33, "CommandBar(&C)", "コマンドバー(&C)"},
    {34, "Title Info(&T)", "タイトル情報(&T)"},
    {101, "Playlist has changed. Save the changes?",
     "プレイリストが変更されています。変更を保存しますか?"},
    {102, "Save", "保存"},
    {500, "Objects(&O)", "オブジェ(&O)"},
    {501, "BGA(&B)", "BGA(&B)"},
    {502, "1/1000 Timer(&I)", "1/1000秒単位(&I)"},
    {503, "Lines(&L)", "ライン(&L)"},
    {504, "Random Select(&R)", "Random Select(&R)"},
    {505, "7Lines(&7)", "7ライン(&7)"},
    {506, "Separators(&S)", "セパレータ(&S)"},
    {507, "Layer(&L)", "Layer(&L)"},
    {508, "Commands(&C)", "コマンド表示(&C)"},
    {509, "AutoWait OFF(&W)", "AutoWait OFF(&W)"},
    {510, "PolyGauge(&P)", "発音数ゲージ(&P)"},
    {511, "Hidden(&H)", "Hidden(&H)"},
    {512, "Sudden(&D)", "Sudden(&D)"},
    {513, "Don't Load BMP(&D)", "BMPをロードしない(&D)"},
    {1000, "-", "☆"},
    {1001, "*", "★"},
    {1002, "Playing", "再生しています"},
    {1003, "Paused", "一時停止"},
    {1004, "Stopped", "停止"},
    {1005, "Starting...", "開始..."},
};

const Entry* Find(int id) {
  const auto* it = std::lower_bound(std::begin(kEntries), std::end(kEntries), id,
                                    [](const Entry& e, int wanted) { return e.id < wanted; });
  return it != std::end(kEntries) && it->id == id ? it : nullptr;
}

// True for a locale or language name whose language part is "ja": "ja", "ja_JP", "ja.UTF-8",
// "ja@...", "ja-JP". Other names that merely begin with the letters (e.g. "jam") are not.
bool NamesJapanese(std::string_view name) {
  if (name.substr(0, 2) != "ja") return false;
  return name.size() == 2 || std::string_view("_.@-").find(name[2]) != std::string_view::npos;
}

}  // namespace

UiLanguage DetectUiLanguage() {
  for (const char* variable : {"LANGUAGE", "LC_ALL", "LC_MESSAGES", "LANG"}) {
    const char* raw = std::getenv(variable);
    if (raw == nullptr) continue;
    std::string_view value(raw);
    // LANGUAGE is a priority list; its first entry decides.
    if (std::string_view(variable) == "LANGUAGE") value = value.substr(0, value.find(':'));
    if (value.empty()) continue;
    return NamesJapanese(value) ? UiLanguage::Japanese : UiLanguage::English;
  }
  return UiLanguage::English;
}

StringTable::StringTable(UiLanguage language) : language_(language) {}

std::string StringTable::Get(int id) const {
  const Entry* entry = Find(id);
  if (entry == nullptr) return {};
  return language_ == UiLanguage::Japanese ? entry->japanese : entry->english;
}

bool StringTable::Has(int id) {
  return Find(id) != nullptr;
}

std::vector<int> StringTable::Ids() {
  std::vector<int> ids;
  for (const Entry& e : kEntries)
    ids.push_back(e.id);
  return ids;
}

}  // namespace quillon
