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
    {14, "Recent charts(&C)", "最近開いた譜面(&C)"},
    {15, "Clear recent charts(&L)", "最近開いた譜面をクリア(&L)"},
    {16, "(none)", "(なし)"},
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
    {600, "Restore size(&C)", "元のサイズに戻す(&C)"},
    {602, "Play(&P)", "再生(&P)"},
    {603, "Pause(&O)", "一時停止(&O)"},
    {604, "Stop(&S)", "停止(&S)"},
    {605, "Previous(&E)", "前の曲(&E)"},
    {606, "Next(&N)", "次の曲(&N)"},
    {611, "Main window(&M)", "メインウィンドウ(&M)"},
    {612, "Control panel(&T)", "コントロールパネル(&T)"},
    {613, "Playlist(&L)", "プレイリスト(&L)"},
    {700, "Open", "開く"},
    {701, "Reload", "リロード"},
    {702, "Options", "オプション"},
    {703, "Playlist", "プレイリスト"},
    {704, "Properties", "プロパティ"},
    {705, "Control panel", "コントロールパネル"},
    {706, "Show objects", "オブジェクト表示"},
    {707, "Show BGA", "BGA表示"},
    {708, "Show the polyphony gauge", "発音数ゲージ表示"},
    {709, "Play", "再生"},
    {710, "Pause", "一時停止"},
    {711, "Stop", "停止"},
    {712, "Previous chart", "前の曲"},
    {713, "Back one measure", "1小節戻す"},
    {714, "Forward one measure", "1小節送る"},
    {715, "Next chart", "次の曲"},
    {716, "Repeat one chart", "1曲リピート"},
    {717, "Repeat all charts", "全曲リピート"},
    {1000, "-", "☆"},
    {1001, "*", "★"},
    {1002, "Playing", "再生しています"},
    {1003, "Paused", "一時停止"},
    {1004, "Stopped", "停止"},
    {1005, "Starting...", "開始..."},
    {1100, "Measure %1", "%1小節"},
    {1101, "Now loading...", "なうろーでぃんぐ..."},
    {1102, "Ready ^^;;", "準備完了～^^;;"},
    {1103, "BMS files", "BMSファイル"},
    {1104, "All files", "すべてのファイル"},
    {1105, "Enter the frame rate (FPS).", "FPS値を入力してください。"},
    {1106, "Bitmap (*.BMP)", "ビットマップ(*.BMP)"},
    {1107, "Quillon playlist", "Quillonプレイリスト"},
    {1108, "The sound device could not be opened.",
     "Direct Soundインターフェースが作成できません。"},
    {1109, "Error while loading a sound file:\n", "ファイルロード中のエラー :\n"},
    {1110, "Video file", "動画ファイル"},
    {2000, "Options", "おぷしょん(謎"},
    {2001, "Extended settings", "拡張設定"},
    {2002, "Don't scroll the title(&C)", "タイトルをスクロールさせない(&C)"},
    {2003, "Keeps the title bar text still", "タイトルバーの文字列をスクロールさせません"},
    {2004, "Don't use the multimedia timer(&T)", "マルチメディアタイマーを利用しない(&T)"},
    {2005, "Best left unticked unless playback is unsteady",
     "不安定なとき以外はチェックしないことをおすすめします"},
    {2006, "Use Susie Plug-Ins (not implemented)", "Susie Plug-Inを利用する(未実装)"},
    {2007, "Uses Susie Plug-Ins. Use it when a BGA is not shown.",
     "Susie Plug-Inを使用します。表示されないBGAがある場合に使用してください。"},
    {2008, "Quit after playing a chart named at start-up(&E)",
     "ファイル名指定起動したときは演奏終了後に終了する(&E)"},
    {2009, "What happens when started by opening a chart", "関連づけ起動をした場合の処理です"},
    {2010, "While minimised, set Sleep to the value below(&S)",
     "ウィンドウを最小化した時は Sleep を以下の値に変える(&S)"},
    {2011, "Raise the number to lower the load while the window is minimised",
     "ウィンドウを最小化している時の負荷を下げたい場合は数字を大きくしてください"},
    {2012, "Takes effect from the next chart loaded", "次に読み込む譜面から有効になります"},
    {2013, "Title display", "タイトル表示"},
    {2014, "Font", "フォント"},
    {2015, "Colour", "文字色"},
    {2016, "Genre", "ジャンル"},
    {2017, "Title", "タイトル"},
    {2018, "Artist", "アーティスト"},
    {2100, "Length", "長さ"},
    {2101, "File name", "ファイル名"},
    {2102, "New(&N)", "新規作成(&N)"},
    {2103, "Open(&O)...", "開く(&O)..."},
    {2104, "Save(&S)...", "保存(&S)..."},
    {2105, "Close(&C)", "閉じる(&C)"},
    {2200, "BMS info", "BMS情報"},
    {2201, "Files used", "使用ファイル情報"},
    {2202, "Current state", "現在状態"},
    {2203, "BMS text", "BMS内容"},
    {2204, "Open folder(&O)", "フォルダを開く(&O)"},
    {2205, "Genre :", "ジャンル :"},
    {2206, "Title :", "タイトル :"},
    {2207, "Subtitle :", "サブタイトル :"},
    {2208, "Artist :", "アーティスト :"},
    {2209, "Subartist :", "サブアーティスト :"},
    {2210, "Play level :", "プレイレベル :"},
    {2211, "Rank :", "ランク :"},
    {2212, "Player :", "プレイヤー :"},
    {2213, "Total :", "トータル :"},
    {2214, "Difficulty :", "難易度 :"},
    {2215, "Modified :", "更新日時 :"},
    {2216, "Attributes :", "属性 :"},
    {2217, "Stage file :", "ステージファイル :"},
    {2218, "Banner :", "バナー :"},
    {2219, "Preview :", "プレビュー :"},
    {2220, "LN type :", "LNタイプ :"},
    {2221, "LN object :", "LNオブジェ :"},
    {2222, "LN mode :", "LNモード :"},
    {2223, "Points if all Great", "全Great時現得点"},
    {2224, "Points per key at Great", "Great時得点/1Key"},
    {2300, "Zoom", "表示倍率"},
    {2301, "Window size:", "画面サイズ:"},
    {2302, "Choose the pattern to play", "再生パターンを選んでください"},
    {2303, "Block %1", "%1個目"},
    {2400, "Library", "ライブラリ"},
    {2401, "Library(&L)...", "ライブラリ(&L)..."},
    {2402, "Title", "タイトル"},
    {2403, "Artist", "アーティスト"},
    {2404, "Genre", "ジャンル"},
    {2405, "Level", "レベル"},
    {2406, "Mode", "モード"},
    {2407, "BPM", "BPM"},
    {2408, "Notes", "ノーツ"},
    {2409, "Length", "長さ"},
    {2410, "Folder", "フォルダ"},
    {2411, "Search(&E):", "検索(&E):"},
    {2412, "Title, artist, genre or folder", "タイトル・アーティスト・ジャンル・フォルダ"},
    {2413, "Mode(&M):", "モード(&M):"},
    {2414, "Any", "すべて"},
    {2415, "%1 keys", "%1鍵"},
    {2416, "Level(&V):", "レベル(&V):"},
    {2417, "to", "～"},
    {2418, "Add to playlist(&A)", "プレイリストに追加(&A)"},
    {2419, "Show in folder(&O)", "フォルダを開く(&O)"},
    {2420, "Folders(&F)...", "フォルダ設定(&F)..."},
    {2421, "Scan(&S)", "スキャン(&S)"},
    {2422, "Cancel(&C)", "中止(&C)"},
    {2423, "Library folders", "ライブラリのフォルダ"},
    {2424, "Add(&A)...", "追加(&A)..."},
    {2425, "Remove(&R)", "削除(&R)"},
    {2426, "Close(&C)", "閉じる(&C)"},
    {2427, "%1 charts", "%1譜面"},
    {2428, "%1 of %2 charts", "%2譜面中 %1譜面"},
    {2429, "Scanning: %1 found, %2 read, %3 per second  %4",
     "スキャン中: %1件発見 %2件読み込み 毎秒%3件  %4"},
    {2430, "Scan finished: %1 read, %2 unchanged, %3 failed, %4 removed.",
     "スキャン完了: 読み込み%1件 変更なし%2件 エラー%3件 削除%4件。"},
    {2431, "Scan cancelled: %1 read, %2 unchanged, %3 failed, %4 removed.",
     "スキャン中止: 読み込み%1件 変更なし%2件 エラー%3件 削除%4件。"},
    {2432, " %1 folders skipped (loops or unreadable).",
     " スキップしたフォルダ%1件(ループまたは読み込み不可)。"},
    {2433, " %1 library folders not found; their charts were kept.",
     " 見つからないライブラリフォルダ%1件(譜面はそのまま残しました)。"},
    {2434, "This chart format is not supported yet.", "この譜面形式にはまだ対応していません。"},
    {2435, "Rebuild", "再構築"},
    {2437, "Reading the library...", "ライブラリを読み込んでいます..."},
    {2438, "The library could not be opened.", "ライブラリを開けませんでした。"},
    {2439, "Choose a library folder", "ライブラリのフォルダを選択"},
    {2440, "%1 charts added to the playlist.", "%1譜面をプレイリストに追加しました。"},
    {2441, "Add your chart folders with Folders..., then press Scan.",
     "「フォルダ設定...」で譜面のフォルダを追加し、「スキャン」を押してください。"},
    {2442, "Folder added. Press Scan to read its charts.",
     "フォルダを追加しました。「スキャン」で譜面を読み込みます。"},
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
