// The main window driven as a user would, on the offscreen platform: start-up and shut-down,
// settings, layout, keys, toolbar commands, full screen and the control panel.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDeadlineTimer>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QLocalSocket>
#include <QMenu>
#include <QMimeData>
#include <QMouseEvent>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QSettings>
#include <QTimer>
#include <QToolBar>
#include <QUrl>
#include <csignal>
#include <filesystem>
#include <functional>
#include <sstream>

#include "dialogs/random_select.h"
#include "platform/common_dialog.h"
#include "playlist/playlist_window.h"
#include "shell/full_screen_window.h"
#include "shell/main_window.h"
#include "shell/picture_widgets.h"
#include "shell/remote_channel.h"
#include "shell/shutdown_signals.h"
#include "support/test_data.h"

namespace quillon {
namespace {

// A chart of `measures` measures at 240 BPM (one second each) with a key note in each.
std::string ShortChart(const std::string& title, int measures, bool seven_keys = false) {
  std::string text = "#TITLE " + title + "\r\n#ARTIST someone\r\n#GENRE test\r\n#BPM 240\r\n";
  for (int m = 1; m <= measures; ++m) {
    char line[32];
    std::snprintf(line, sizeof line, "#%03d11:01\r\n", m);
    text += line;
  }
  if (seven_keys) text += "#00118:01\r\n";
  return text;
}

class MainWindowTest : public ::testing::Test {
 protected:
  MainWindowOptions Options() const {
    MainWindowOptions options;
    options.SettingsPath = QString::fromStdString((dir_.path() / "Quillon.ini").string());
    options.DataFolder = (dir_.path() / "data").string();
    options.UseSoundDevice = false;
    options.ShowMessageBoxes = false;
    options.Language = UiLanguage::English;
    options.DebugLogPath = (dir_.path() / "Debug.txt").string();
    options.RemoteSocketPath = QString::fromStdString((dir_.path() / "remote.sock").string());
    options.MediaControls = false;
    return options;
  }
  std::unique_ptr<MainWindow> Start(const std::string& chart = {}) {
    auto window = std::make_unique<MainWindow>(Options());
    window->Startup(chart);
    return window;
  }
  std::string Chart(const std::string& name, int measures, bool seven = false) const {
    return dir_.Write(name, ShortChart(name, measures, seven));
  }
  QSettings Ini() const {
    return QSettings(QString::fromStdString((dir_.path() / "Quillon.ini").string()),
                     QSettings::IniFormat);
  }
  // Runs `action` from the event loop once `ms` have passed (inside a play loop, say).
  static void Later(int ms, std::function<void()> action) {
    QTimer::singleShot(ms, std::move(action));
  }

  // Lets the event loop run for `ms` milliseconds.
  static void Wait(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
  }

  test::TempDir dir_;
};

TEST_F(MainWindowTest, StartsAndShutsDownInOrderAndWritesTheSettingsAndTheDefaultPlaylist) {
  auto window = Start();
  std::vector<std::string> expected;
  for (int step = 1; step <= 22; ++step)
    expected.push_back("startup " + std::to_string(step));
  EXPECT_EQ(window->trace(), expected);
  EXPECT_TRUE(window->isVisible());
  // First start: every view item checked, the English captions.
  for (int i = 0; i < 4; ++i) {
    EXPECT_TRUE(window->menu_item(QStringLiteral("mVie(%1)").arg(i))->isChecked());
  }
  EXPECT_EQ(window->menu_item(QStringLiteral("mF(0)"))->text(), QStringLiteral("Open(&O)"));
  EXPECT_EQ(window->menu_item(QStringLiteral("mVi(10)"))->text(),
            QStringLiteral("Full Screen(&F)\tAlt+Enter"));

  bool ended = false;
  window->on_ended = [&] { ended = true; };
  window->close();
  EXPECT_TRUE(ended);
  std::vector<std::string> tail(window->trace().end() - 10, window->trace().end());
  std::vector<std::string> shutdown;
  for (int step = 2; step <= 11; ++step)
    shutdown.push_back("shutdown " + std::to_string(step));
  EXPECT_EQ(tail, shutdown);
  EXPECT_EQ(window->DDEP(), "PCLOSE");

  QSettings ini = Ini();
  EXPECT_EQ(ini.value(QStringLiteral("WindowPos/MainState")).toString(), QStringLiteral("0"));
  EXPECT_EQ(ini.value(QStringLiteral("WindowPos/MainWidth")).toDouble(), window->width() * 15.0);
  EXPECT_EQ(ini.value(QStringLiteral("View/Item3")).toString(), QStringLiteral("True"));
  EXPECT_TRUE(std::filesystem::exists(dir_.path() / "data" / "quillon.bpl"));
}

TEST_F(MainWindowTest, AStaleListBesideTheProgramDoesNotReplaceTheUsersListAtTheNextStart) {
  dir_.Write("bin/quillon.bpl", "g\tt\ta\t--:--\t/stale.bms\r\n");
  MainWindowOptions options = Options();
  options.ProgramFolder = (dir_.path() / "bin").string();
  const std::string kept = Chart("kept.bms", 1);
  for (int run = 0; run < 2; ++run) {
    auto window = std::make_unique<MainWindow>(options);
    window->Startup({});
    Playlist& list = window->playlist_window().playlist();
    if (run == 0) {
      EXPECT_EQ(list.size(), 1u);  // the user had none: the one beside the program seeds it
      list.AddList(kept);
    } else {
      ASSERT_EQ(list.size(), 2u);
      EXPECT_EQ(list.entries()[1].FileName, kept);
    }
    window->close();
  }
}

TEST_F(MainWindowTest, RestoresPositionSizeAndTheMaximisedOrMinimisedState) {
  {
    auto window = Start();
    window->move(40, 30);
    window->resize(500, 600);
    window->showMaximized();
    window->close();
  }
  QSettings ini = Ini();
  EXPECT_EQ(ini.value(QStringLiteral("WindowPos/MainState")).toString(), QStringLiteral("2"));
  EXPECT_EQ(ini.value(QStringLiteral("WindowPos/MainWidth")).toDouble(), 500 * 15.0);
  EXPECT_EQ(ini.value(QStringLiteral("WindowPos/MainHeight")).toDouble(), 600 * 15.0);
  {
    auto window = Start();
    EXPECT_TRUE(window->isMaximized());
    EXPECT_EQ(window->normalGeometry().size(), QSize(500, 600));
    window->showMinimized();
    window->close();
  }
  EXPECT_EQ(Ini().value(QStringLiteral("WindowPos/MainState")).toString(), QStringLiteral("1"));
  auto window = Start();
  EXPECT_TRUE(window->isMinimized());
  EXPECT_TRUE(window->Minimized());
}

TEST_F(MainWindowTest, UnconvertibleSettingsKeepTheirDefaults) {
  {
    QSettings ini = Ini();
    ini.setValue(QStringLiteral("WindowPos/MainLeft"), QStringLiteral("left"));
    ini.setValue(QStringLiteral("WindowPos/MainState"), QStringLiteral("x"));
    ini.setValue(QStringLiteral("View/Item1"), QStringLiteral("maybe"));
    ini.setValue(QStringLiteral("view/item2"), QStringLiteral("False"));
  }
  auto window = Start();
  EXPECT_EQ(window->trace().back(), "startup 22");
  EXPECT_TRUE(window->menu_item(QStringLiteral("mVie(1)"))->isChecked());
  EXPECT_FALSE(window->menu_item(QStringLiteral("mVie(2)"))->isChecked());
  EXPECT_TRUE(window->command_toolbar()->isHidden());
}

TEST_F(MainWindowTest, ZoomGivesASquareDisplayAndAWindowJustLargeEnough) {
  auto window = Start();
  window->mZi_Click(1);
  EXPECT_EQ(window->picture1()->size(), QSize(256, 256));
  EXPECT_EQ(window->DisplayWidth(), 256);
  EXPECT_EQ(window->DisplayHeight(), 256);
  EXPECT_EQ(window->centralWidget()->width(), 256);
  const int bars = window->system_toolbar()->sizeHint().height() + 4 +
                   window->position_bar()->height() +
                   window->command_toolbar()->sizeHint().height() + window->title_panel()->height();
  EXPECT_EQ(window->centralWidget()->height(), bars + 256);
  // The bars follow the display, the title panel is at the bottom.
  EXPECT_EQ(window->position_bar()->y(), window->picture1()->geometry().bottom() + 1);
  EXPECT_EQ(window->title_panel()->geometry().bottom(), window->centralWidget()->height() - 1);

  EXPECT_TRUE(window->HandleKey(Qt::Key_1, Qt::AltModifier));
  EXPECT_EQ(window->picture1()->size(), QSize(128, 128));
  EXPECT_TRUE(window->HandleKey(Qt::Key_3, Qt::AltModifier));
  EXPECT_EQ(window->picture1()->size(), QSize(512, 512));
  // The digits act only with Alt alone.
  EXPECT_FALSE(window->HandleKey(Qt::Key_1, Qt::NoModifier));
  EXPECT_FALSE(window->HandleKey(Qt::Key_1, Qt::AltModifier | Qt::ShiftModifier));
  EXPECT_FALSE(window->HandleKey(Qt::Key_1, Qt::AltModifier | Qt::KeypadModifier));
  EXPECT_EQ(window->picture1()->size(), QSize(512, 512));

  // A manual resize: the display follows the window again.
  window->resize(window->width() + 40, window->height() + 30);
  EXPECT_EQ(window->picture1()->width(), window->centralWidget()->width());
  EXPECT_EQ(window->picture1()->height(), 512 + 30);
}

TEST_F(MainWindowTest, HiddenBarsMoveTheOthersAndEnlargeTheDisplay) {
  auto window = Start();
  window->mZi_Click(1);
  const int display_h = window->picture1()->height();
  const int panel_h = window->title_panel()->height();
  window->menu_item(QStringLiteral("mVie(3)"))->trigger();  // title information off
  EXPECT_TRUE(window->title_panel()->isHidden());
  EXPECT_EQ(window->picture1()->height(), display_h + panel_h);
  EXPECT_EQ(window->command_toolbar()->geometry().bottom(), window->centralWidget()->height() - 1);

  window->menu_item(QStringLiteral("mVie(0)"))->trigger();  // system toolbar off
  EXPECT_EQ(window->picture1()->y(), 0);
  window->close();
  QSettings ini = Ini();
  EXPECT_EQ(ini.value(QStringLiteral("View/Item0")).toString(), QStringLiteral("False"));
  EXPECT_EQ(ini.value(QStringLiteral("View/Item3")).toString(), QStringLiteral("False"));
  EXPECT_EQ(ini.value(QStringLiteral("View/Item1")).toString(), QStringLiteral("True"));
  // The next start comes up with the same bars.
  auto again = Start();
  EXPECT_TRUE(again->system_toolbar()->isHidden());
  EXPECT_FALSE(again->command_toolbar()->isHidden());
}

TEST_F(MainWindowTest, AWindowTooSmallForItsBarsHidesTheDisplayUntilItFitsAgain) {
  auto window = Start();
  window->resize(200, 60);
  EXPECT_TRUE(window->picture1()->isHidden());
  window->resize(400, 600);
  EXPECT_FALSE(window->picture1()->isHidden());
  EXPECT_EQ(window->DisplayWidth(), window->picture1()->width());
}

TEST_F(MainWindowTest, LoadingReplacesThePlaylistAndShowsTheChart) {
  auto window = Start();
  const std::string seven = Chart("seven.bms", 2, /*seven=*/true);
  EXPECT_EQ(window->bLoad(seven), 0);
  EXPECT_EQ(window->CurrentFile(), seven);
  EXPECT_EQ(window->windowTitle(), QStringLiteral("[Quillon] (test) seven.bms / someone   "));
  Playlist& list = window->playlist_window().playlist();
  ASSERT_EQ(list.size(), 1U);
  EXPECT_EQ(list.PlayIndex, 1);
  const int32_t ms = window->core().chart.TotalTimeMs;
  char length[16];
  std::snprintf(length, sizeof length, "%02d:%02d", ms / 60000, ms % 60000 / 1000);
  EXPECT_EQ(list.entries()[0].Length, length);
  // A seven-key chart ticks and locks the 7Lines element; a five-key chart frees it.
  QCheckBox* seven_lines = window->control_panel().Element(5);
  EXPECT_TRUE(seven_lines->isChecked());
  EXPECT_FALSE(seven_lines->isEnabled());
  window->bLoad(Chart("five.bms", 2));
  EXPECT_FALSE(seven_lines->isChecked());
  EXPECT_TRUE(seven_lines->isEnabled());
  EXPECT_TRUE(window->button(QStringLiteral("STOP"))->isChecked());

  // The load log went to the display.
  const auto& log = window->load_log();
  EXPECT_NE(std::find(log.begin(), log.end(), "[100%] Load Complete!"), log.end());
  // A missing chart is reported on the load log and leaves nothing loaded.
  EXPECT_EQ(window->bLoad((dir_.path() / "missing.bms").string()), -1);
  EXPECT_EQ(window->load_log().back(), "File not found.");
}

TEST_F(MainWindowTest, TheTimeAndStatusLinesShowTheNewChartWhenItsLoadEnds) {
  const std::string next = dir_.Write("slow.bms", "#TITLE slow\r\n#BPM 90\r\n#00211:01\r\n");
  QImage time_line, status_line, played_status_line;
  {
    auto window = Start();
    window->bLoad(Chart("fast.bms", 8));
    Later(300, [&] { window->HandleKey(Qt::Key_Period, Qt::NoModifier); });
    window->PlayFile();
    EXPECT_GT(window->core().status.Fps + window->core().status.FrameCount, 0);
    played_status_line = window->core().status.PicTimeDisp[1].copy();
    window->bLoad(next);
    time_line = window->core().status.PicTimeDisp[0].copy();
    status_line = window->core().status.PicTimeDisp[1].copy();
  }
  // The same lines as a player that never played anything else shows for that chart.
  auto fresh = Start();
  fresh->bLoad(next);
  EXPECT_EQ(time_line, fresh->core().status.PicTimeDisp[0]);
  EXPECT_EQ(status_line, fresh->core().status.PicTimeDisp[1]);
  EXPECT_NE(status_line, played_status_line);
  // And not the empty start-up ones.
  auto idle = Start();
  EXPECT_NE(time_line, idle->core().status.PicTimeDisp[0]);
  EXPECT_NE(status_line, idle->core().status.PicTimeDisp[1]);
}

// True when some pixel of `image` inside `area` is not black.
bool LitIn(const QImage& image, const QRect& area) {
  const QRect inside = area.intersected(image.rect());
  for (int y = inside.top(); y <= inside.bottom(); ++y) {
    for (int x = inside.left(); x <= inside.right(); ++x) {
      if ((image.pixel(x, y) & 0xFFFFFF) != 0) return true;
    }
  }
  return false;
}

// The kept message lines of the title view: each below the one before, whole inside the
// title picture, which ends above the status picture.
void ExpectMessagesWhole(MainWindow& window, const std::vector<QString>& texts) {
  const StatusDisplay& status = window.core().status;
  const auto& lines = status.title_lines();
  ASSERT_EQ(lines.size(), texts.size());
  PictureWidget* display = window.picture(QStringLiteral("picDisplay"));
  int below = 0;
  for (size_t i = 0; i < lines.size(); ++i) {
    EXPECT_EQ(lines[i].Text, texts[i]);
    EXPECT_GE(lines[i].Area.top(), below);
    EXPECT_LE(lines[i].Area.bottom(), display->height() - 1);
    EXPECT_TRUE(LitIn(status.PicDisplay, lines[i].Area)) << i;
    below = lines[i].Area.bottom() + 1;
  }
  EXPECT_EQ(status.PicDisplay.size(), display->size());
  EXPECT_LT(display->geometry().bottom(),
            window.picture(QStringLiteral("picStatus"))->geometry().top());
}

TEST_F(MainWindowTest, StartUpMessagesStandWholeOnTheirOwnLines) {
  for (UiLanguage language : {UiLanguage::English, UiLanguage::Japanese}) {
    const bool japanese = language == UiLanguage::Japanese;
    const QString loading =
        japanese ? QStringLiteral("なうろーでぃんぐ...") : QStringLiteral("Now loading...");
    const QString ready =
        japanese ? QStringLiteral("準備完了～^^;;") : QStringLiteral("Ready ^^;;");
    MainWindowOptions options = Options();
    options.Language = language;
    MainWindow window(options);
    window.Startup({});
    ExpectMessagesWhole(window, {loading, ready});
    // They stay through a zoom, and a chart's title replaces them.
    window.mZi_Click(0);
    ExpectMessagesWhole(window, {loading, ready});
    window.bLoad(Chart("title.bms", 1));
    EXPECT_TRUE(window.core().status.title_lines().empty());
    window.close();
  }
  // After a chart from the command line has played, "ready" follows its title.
  auto window = Start(Chart("cmd.bms", 1));
  ExpectMessagesWhole(*window, {QStringLiteral("Ready ^^;;")});
}

TEST_F(MainWindowTest, TheInfoLineKeepsClearOfTheGenreAtEveryZoom) {
  MainWindowOptions options = Options();
  options.Language = UiLanguage::Japanese;
  MainWindow window(options);
  window.Startup({});
  window.bLoad(dir_.Write("genre.bms",
                          "#GENRE a rather long genre name\r\n#TITLE t\r\n#ARTIST a\r\n"
                          "#PLAYLEVEL 3\r\n#BPM 120\r\n#00111:01\r\n"));
  const StatusDisplay& status = window.core().status;
  for (int zoom : {0, 1, 2}) {
    window.mZi_Click(zoom);
    SCOPED_TRACE(zoom);
    EXPECT_FALSE(status.GenreArea.isEmpty());
    EXPECT_FALSE(status.InfoArea.intersects(status.GenreArea));
    EXPECT_GE(status.InfoArea.left(), 0);
    EXPECT_TRUE(LitIn(status.PicDisplay, status.GenreArea));
    EXPECT_TRUE(LitIn(status.PicDisplay, status.InfoArea));
    // The square display stays square.
    EXPECT_EQ(window.picture1()->size(), QSize(128 << zoom, 128 << zoom));
  }
}

// The column of the rightmost lit pixel of `image`; -1 when it is black.
int RightmostLit(const QImage& image) {
  for (int x = image.width() - 1; x >= 0; --x) {
    for (int y = 0; y < image.height(); ++y) {
      if ((image.pixel(x, y) & 0xFFFFFF) != 0) return x;
    }
  }
  return -1;
}

TEST_F(MainWindowTest, TheTimeLineWithMillisecondsIsShownWhole) {
  // The Japanese interface font is the wider one on a Linux desktop.
  MainWindowOptions options = Options();
  options.Language = UiLanguage::Japanese;
  auto window = std::make_unique<MainWindow>(options);
  window->Startup({});
  window->bLoad(Chart("timer.bms", 120));
  PlayerCore& core = window->core();
  core.flags.Set(Element::MillisecondTimer, true);
  core.engine.ElapsedMs = 3599999.0;
  PictureWidget* time_line = window->picture(QStringLiteral("picTimeDisp(0)"));
  PictureWidget* status = window->picture(QStringLiteral("picStatus"));
  for (int zoom : {1, 2}) {
    window->mZi_Click(zoom);
    core.status.DrawTimeLine(core.engine, core.chart, core.flags);
    const QImage& picture = core.status.PicTimeDisp[0];
    ASSERT_FALSE(time_line->isHidden());
    EXPECT_EQ(picture.size(), time_line->size());
    // The text ends before the picture does, and the picture inside the status picture.
    const int lit = RightmostLit(picture);
    EXPECT_GT(lit, picture.width() / 2);
    EXPECT_LT(lit, picture.width() - 1);
    EXPECT_LE(time_line->geometry().right(), status->geometry().right());
    EXPECT_GE(time_line->x(), status->x());
  }
}

// A path that is no chart to read (a FIFO here, which a plain read would wait on for ever) is
// refused with one line in the load log, and nothing else changes: the chart that is playing
// plays on and the playlist stays. Reloading a chart whose file became a FIFO is refused too.
TEST_F(MainWindowTest, AFifoGivenAsAChartLeavesTheLoadedOnePlaying) {
  auto window = Start();
  const std::string song = Chart("song.bms", 8);
  window->bLoad(song);
  const auto& chart = window->core().chart;
  const int32_t objects = chart.ObjectLast;
  const std::string playlist = window->playlist_window().playlist().SaveBytes();
  const std::string fifo = (dir_.path() / "fifo.bms").string();
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  PlayEngine& engine = window->core().engine;
  int32_t result = 0;
  bool played_on = false;
  Later(150, [&] {
    result = window->bLoad(fifo);
    played_on = engine.Playing;
    window->HandleKey(Qt::Key_Period, Qt::NoModifier);
  });
  window->HandleKey(Qt::Key_Space, Qt::NoModifier);  // plays until stopped
  EXPECT_EQ(result, -1);
  EXPECT_TRUE(played_on);
  EXPECT_EQ(window->load_log().back(), "Not a chart file: " + fifo);
  EXPECT_EQ(window->CurrentFile(), song);
  EXPECT_EQ(chart.Header.Title, "song.bms");
  EXPECT_EQ(window->playlist_window().playlist().SaveBytes(), playlist);

  std::filesystem::remove(song);
  ASSERT_EQ(::mkfifo(song.c_str(), 0600), 0);
  window->Dispatch(QStringLiteral("RELOAD"));
  EXPECT_EQ(window->load_log().back(), "Not a chart file: " + song);
  EXPECT_EQ(chart.Header.Title, "song.bms");
  EXPECT_EQ(chart.ObjectLast, objects);
}

TEST_F(MainWindowTest, SpaceAndPeriodPauseResumeAndStopAWholePlay) {
  auto window = Start();
  window->bLoad(Chart("song.bms", 8));
  PlayEngine& engine = window->core().engine;
  bool paused_seen = false;
  bool resumed = false;
  Later(150, [&] {
    EXPECT_TRUE(engine.Playing);
    EXPECT_TRUE(window->button(QStringLiteral("PLAY"))->isChecked());
    window->HandleKey(Qt::Key_Space, Qt::NoModifier);
    paused_seen = engine.Paused && window->button(QStringLiteral("PAUSE"))->isChecked();
    Later(50, [&] {
      window->HandleKey(Qt::Key_Space, Qt::NoModifier);
      resumed = !engine.Paused;
      Later(50, [&] { window->HandleKey(Qt::Key_Period, Qt::NoModifier); });
    });
  });
  window->HandleKey(Qt::Key_Space, Qt::NoModifier);  // starts play; returns when it has ended
  EXPECT_TRUE(paused_seen);
  EXPECT_TRUE(resumed);
  EXPECT_FALSE(engine.Playing);
  EXPECT_TRUE(engine.StopRequest);
  EXPECT_TRUE(window->button(QStringLiteral("STOP"))->isChecked());
  EXPECT_FALSE(window->button(QStringLiteral("PAUSE"))->isEnabled());
}

TEST_F(MainWindowTest, RepeatButtonsHoldOneModeAtATime) {
  auto window = Start();
  QAction* rep1 = window->button(QStringLiteral("REP1"));
  QAction* repa = window->button(QStringLiteral("REPA"));
  rep1->trigger();
  EXPECT_EQ(window->RepeatMode(), 1);
  repa->trigger();
  EXPECT_FALSE(rep1->isChecked());
  EXPECT_TRUE(repa->isChecked());
  EXPECT_EQ(window->RepeatMode(), 2);
  repa->trigger();
  EXPECT_EQ(window->RepeatMode(), 0);
}

TEST_F(MainWindowTest, PlaylistStepsAndTheFullScreenPopupGoTheWayTheirCaptionsSay) {
  auto window = Start();
  Playlist& list = window->playlist_window().playlist();
  for (const char* name : {"a.bms", "b.bms", "c.bms"})
    list.AddList(Chart(name, 1));
  list.Select(1);
  list.StartSelected();  // loads b and arms the deferred play
  EXPECT_EQ(list.PlayIndex, 2);
  EXPECT_EQ(std::filesystem::path(window->CurrentFile()).filename(), "b.bms");
  window->mPi_Click(5);  // captioned "previous chart"
  EXPECT_EQ(std::filesystem::path(window->CurrentFile()).filename(), "a.bms");
  EXPECT_EQ(list.PlayIndex, 1);

  // Every other way to step, told apart while a remote client is in control: the steps then only
  // tell it which way they went.
  window->DdeControlled = true;
  const std::vector<std::pair<std::function<void()>, std::string>> steps = {
      {[&] { window->mPi_Click(6); }, "PNEXT"},
      {[&] { window->mPi_Click(5); }, "PPREV"},
      {[&] { window->HandleKey(Qt::Key_B, Qt::NoModifier); }, "PNEXT"},
      {[&] { window->HandleKey(Qt::Key_Z, Qt::ControlModifier); }, "PPREV"},
      {[&] { window->HandleKey(Qt::Key_6, Qt::KeypadModifier); }, "PNEXT"},
      {[&] { window->HandleKey(Qt::Key_4, Qt::KeypadModifier); }, "PPREV"},
      {[&] { window->Dispatch(QStringLiteral("NEXT")); }, "PNEXT"},
      {[&] { window->Dispatch(QStringLiteral("PREV")); }, "PPREV"},
  };
  for (const auto& [step, notification] : steps) {
    step();
    EXPECT_EQ(window->DDEP(), notification);
  }
  EXPECT_EQ(std::filesystem::path(window->CurrentFile()).filename(), "a.bms");
}

TEST_F(MainWindowTest, FullScreenMovesTheDisplayAndClosingThenOnlyHides) {
  auto window = Start();
  window->mVI_Click(10);
  EXPECT_TRUE(window->FullScreenOn());
  EXPECT_TRUE(window->menu_item(QStringLiteral("mVi(10)"))->isChecked());
  EXPECT_FALSE(window->isVisible());
  FullScreenWindow* fsc = window->full_screen_window();
  EXPECT_TRUE(fsc->isVisible());
  EXPECT_EQ(window->DisplayWidth(), fsc->width());
  EXPECT_EQ(window->DisplayHeight(), fsc->height());

  window->show();
  window->close();
  EXPECT_FALSE(window->Ended());
  EXPECT_FALSE(window->isVisible());
  EXPECT_TRUE(fsc->isVisible());

  window->mPi_Click(0);
  EXPECT_FALSE(window->FullScreenOn());
  EXPECT_FALSE(fsc->isVisible());
  EXPECT_TRUE(window->isVisible());
  EXPECT_EQ(window->DisplayWidth(), window->picture1()->width());
  // "Always on top" keeps the window above the others while it is checked.
  window->menu_item(QStringLiteral("mVi(20)"))->trigger();
  EXPECT_TRUE(window->windowFlags() & Qt::WindowStaysOnTopHint);
  EXPECT_TRUE(window->isVisible());
  window->menu_item(QStringLiteral("mVi(20)"))->trigger();
  EXPECT_FALSE(window->windowFlags() & Qt::WindowStaysOnTopHint);
  // Alt+Enter toggles it as its caption says.
  EXPECT_TRUE(window->HandleKey(Qt::Key_Return, Qt::AltModifier));
  EXPECT_TRUE(window->FullScreenOn());
  EXPECT_TRUE(window->HandleKey(Qt::Key_Return, Qt::AltModifier));
  EXPECT_FALSE(window->FullScreenOn());
}

TEST_F(MainWindowTest, ElementButtonsAndTheControlPanelAgree) {
  auto window = Start();
  ControlPanel& panel = window->control_panel();
  QAction* obj = window->button(QStringLiteral("OBJ"));
  QAction* bga = window->button(QStringLiteral("BGA"));
  EXPECT_TRUE(obj->isChecked());
  obj->trigger();
  EXPECT_FALSE(panel.Element(0)->isChecked());
  EXPECT_FALSE(window->core().flags[Element::Objects]);
  bga->trigger();
  EXPECT_FALSE(panel.Element(1)->isChecked());
  EXPECT_FALSE(panel.Element(7)->isChecked());
  panel.SetElementState(10, 0);
  EXPECT_FALSE(window->button(QStringLiteral("POLY"))->isChecked());
  EXPECT_TRUE(window->picture(QStringLiteral("picPolGraph"))->isHidden());

  // The arrow keys step the zoom bar, which runs upside down, and stop at its ends.
  QScrollBar* zoom = panel.ZoomBar();
  const int start = zoom->value();
  window->HandleKey(Qt::Key_Left, Qt::NoModifier);
  EXPECT_EQ(zoom->value(), start + 1);
  EXPECT_EQ(window->core().notes.Zoom, 0.75F);
  for (int i = 0; i < 20; ++i)
    window->HandleKey(Qt::Key_Right, Qt::NoModifier);
  EXPECT_EQ(zoom->value(), zoom->minimum());
  EXPECT_EQ(window->core().notes.Zoom, 10.0F);

  // The panel's close stores its switches and releases CPANEL; the next panel reads them back.
  window->Dispatch(QStringLiteral("CPANEL"));
  window->button(QStringLiteral("CPANEL"))->trigger();
  EXPECT_TRUE(panel.isVisible());
  panel.close();
  EXPECT_FALSE(window->button(QStringLiteral("CPANEL"))->isChecked());
  EXPECT_EQ(Ini().value(QStringLiteral("Show/Item0")).toString(), QStringLiteral("0"));
}

TEST_F(MainWindowTest, ACommandLineChartPlaysAtStartUpAndAutoEndCloses) {
  {
    QSettings ini = Ini();
    ini.setValue(QStringLiteral("Setting/AutoEnd"), QStringLiteral("1"));
  }
  const std::string chart = Chart("start.bms", 1);
  auto window = std::make_unique<MainWindow>(Options());
  bool ended = false;
  window->on_ended = [&] { ended = true; };
  window->Startup(chart);
  EXPECT_TRUE(ended);
  EXPECT_EQ(window->CurrentFile(), chart);
  EXPECT_EQ(window->trace().back(), "shutdown 11");

  // Stopped by the user: the program stays.
  auto stopped = std::make_unique<MainWindow>(Options());
  // Stop once play has begun, however long the start-up takes on a slow machine.
  QTimer poll;
  QObject::connect(&poll, &QTimer::timeout, [&] {
    if (!stopped->core().engine.Playing) return;
    poll.stop();
    stopped->HandleKey(Qt::Key_Period, Qt::NoModifier);
  });
  poll.start(10);
  stopped->Startup(Chart("long.bms", 6));
  EXPECT_FALSE(stopped->Ended());
  EXPECT_EQ(stopped->trace().back(), "startup 22");
}

TEST_F(MainWindowTest, TheJapaneseTableGivesTheMenusAndStatusWords) {
  MainWindowOptions options = Options();
  options.Language = UiLanguage::Japanese;
  MainWindow window(options);
  window.Startup({});
  EXPECT_EQ(window.menu_item(QStringLiteral("mF(1)"))->text(), QStringLiteral("リロード(&R)"));
  EXPECT_EQ(window.menu_item(QStringLiteral("mVi(21)"))->text(),
            QStringLiteral("オプション(&O)..."));
  EXPECT_EQ(window.menu_item(QStringLiteral("mVie(3)"))->text(),
            QStringLiteral("タイトル情報(&T)"));
  // The zoom items keep their designed captions.
  EXPECT_EQ(window.menu_item(QStringLiteral("mZi(2)"))->text(), QStringLiteral("200%(&2)\tAlt+3"));
  EXPECT_EQ(window.control_panel().Element(10)->text(), QStringLiteral("発音数ゲージ(&P)"));
}

TEST_F(MainWindowTest, RandomSelectAsksAtEachRandomBlockWhileItsElementIsTicked) {
  auto window = Start();
  window->control_panel().SetElementState(static_cast<int>(Element::RandomSelect), 1);
  const std::string chart =
      dir_.Write("random.bms",
                 "#BPM 120\r\n#RANDOM 3\r\n#IF 1\r\n#00111:01\r\n#ENDIF\r\n#IF 2\r\n#00112:01\r\n"
                 "#ENDIF\r\n#IF 3\r\n#00113:01\r\n#ENDIF\r\n");
  QString caption;
  int items = 0;
  Later(0, [&] {
    auto* dialog = dynamic_cast<RandomSelectDialog*>(QApplication::activeModalWidget());
    ASSERT_NE(dialog, nullptr);
    caption = dialog->Caption()->text();
    items = dialog->List()->count();
    dialog->List()->setCurrentRow(3);
    dialog->OkButton()->click();
  });
  window->bLoad(chart);
  EXPECT_EQ(caption, QStringLiteral("Block 1"));
  EXPECT_EQ(items, 4);
  const auto& table = window->core().chart.ObjectTable;
  const auto has_channel = [&](int channel) {
    return std::any_of(table.begin(), table.begin() + window->core().chart.ObjectLast + 1,
                       [&](const BmsObject& o) { return o.Channel == channel; });
  };
  EXPECT_TRUE(has_channel(13));
  EXPECT_FALSE(has_channel(11));
  EXPECT_FALSE(has_channel(12));
}

TEST_F(MainWindowTest, ASettingsFileThatCannotBeWrittenIsReportedAtShutDown) {
  dir_.Write("blocked", "a file where the settings folder should be");
  MainWindowOptions options = Options();
  options.SettingsPath = QString::fromStdString((dir_.path() / "blocked" / "Quillon.ini").string());
  MainWindow window(options);
  window.Startup({});
  testing::internal::CaptureStderr();
  window.close();
  const std::string err = testing::internal::GetCapturedStderr();
  EXPECT_NE(err.find("quillon: settings not saved: "), std::string::npos) << err;
  EXPECT_TRUE(window.Ended());
}

TEST_F(MainWindowTest, DroppedFilesReplaceThePlaylistAndTheFirstIsLoaded) {
  auto window = Start();
  QMimeData mime;
  mime.setUrls({QUrl::fromLocalFile(QString::fromStdString(Chart("one.bms", 1))),
                QUrl::fromLocalFile(QString::fromStdString(Chart("two.bms", 1)))});
  window->DropFiles(mime);
  EXPECT_EQ(window->playlist_window().playlist().size(), 2U);
  EXPECT_EQ(std::filesystem::path(window->CurrentFile()).filename(), "one.bms");
}

TEST_F(MainWindowTest, ThePositionBarSeeksAndNamesTheMeasureUnderThePointer) {
  auto window = Start();
  window->bLoad(Chart("bar.bms", 9));
  PictureWidget* bar = window->position_bar();
  const int32_t last = window->core().chart.LastMeasure;
  const QPointF middle(bar->width() / 2.0, 2);
  QMouseEvent move(QEvent::MouseMove, middle, bar->mapToGlobal(middle), Qt::NoButton, Qt::NoButton,
                   Qt::NoModifier);
  QApplication::sendEvent(bar, &move);
  const std::string expected = std::to_string((last + 1) / 2 + 1);
  EXPECT_EQ(bar->toolTip(), QStringLiteral("Measure ") + QString::fromStdString(expected));
  QMouseEvent press(QEvent::MouseButtonPress, middle, bar->mapToGlobal(middle), Qt::LeftButton,
                    Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(bar, &press);
  EXPECT_EQ(window->core().engine.StartMeasure, expected);
}

TEST_F(MainWindowTest, TheIdleGaugeStopsItsTimerAndTheNextSoundStartsIt) {
  auto window = Start();
  ASSERT_TRUE(window->core().flags[Element::PolyGauge]);
  Wait(30);
  EXPECT_FALSE(window->GaugeTimerRunning());  // nothing plays, the gauge is at 0
  window->AddGaugeInput(10);                  // what the engine does for each sound it fires
  EXPECT_TRUE(window->GaugeTimerRunning());
  Wait(100);
  EXPECT_TRUE(window->GaugeTimerRunning());  // still falling
  EXPECT_GT(window->core().status.GaugePeak, 0.0F);
  QDeadlineTimer deadline(5000);
  while (window->GaugeTimerRunning() && !deadline.hasExpired())
    Wait(20);
  EXPECT_FALSE(window->GaugeTimerRunning());
  EXPECT_TRUE(window->core().status.GaugeAtRest());

  // With the gauge element off, input does not start it.
  window->button(QStringLiteral("POLY"))->trigger();
  ASSERT_FALSE(window->core().flags[Element::PolyGauge]);
  window->AddGaugeInput(10);
  EXPECT_FALSE(window->GaugeTimerRunning());
}

// A mouse event on the position bar at `fraction` of its width.
void SendBarMouse(PictureWidget* bar, QEvent::Type type, double fraction, Qt::MouseButtons held) {
  const QPointF at(bar->width() * fraction, 2);
  const Qt::MouseButton button = type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton;
  QMouseEvent event(type, at, bar->mapToGlobal(at), button, held, Qt::NoModifier);
  QApplication::sendEvent(bar, &event);
}

TEST_F(MainWindowTest, DraggingOnThePositionBarSeeksAsItMoves) {
  auto window = Start();
  window->bLoad(Chart("drag.bms", 9));
  PictureWidget* bar = window->position_bar();
  PlayEngine& engine = window->core().engine;
  const int32_t last = window->core().chart.LastMeasure;
  // The measure a seek at `fraction` of the bar goes to (none of these lie on a boundary).
  const auto at = [&](double fraction) {
    return std::min<int32_t>(static_cast<int32_t>((last + 1) * fraction) + 1, last);
  };
  // Stopped: the start measure follows the pointer while the button is held.
  SendBarMouse(bar, QEvent::MouseButtonPress, 0.15, Qt::LeftButton);
  EXPECT_EQ(engine.StartMeasure, std::to_string(at(0.15)));
  SendBarMouse(bar, QEvent::MouseMove, 0.55, Qt::LeftButton);
  EXPECT_EQ(engine.StartMeasure, std::to_string(at(0.55)));
  SendBarMouse(bar, QEvent::MouseMove, 0.78, Qt::LeftButton);
  EXPECT_EQ(engine.StartMeasure, std::to_string(at(0.78)));
  SendBarMouse(bar, QEvent::MouseButtonRelease, 0.78, Qt::NoButton);
  SendBarMouse(bar, QEvent::MouseMove, 0.35, Qt::NoButton);  // no button: only the tooltip
  EXPECT_EQ(engine.StartMeasure, std::to_string(at(0.78)));
  EXPECT_EQ(bar->toolTip(), QStringLiteral("Measure %1").arg(at(0.35)));

  // Playing: two moves before the next frame seek once now and once after that frame.
  engine.StartMeasure = "0";
  int16_t right_after = -1;
  int16_t a_frame_later = -1;
  Later(100, [&] {
    SendBarMouse(bar, QEvent::MouseButtonPress, 0.15, Qt::LeftButton);
    SendBarMouse(bar, QEvent::MouseMove, 0.35, Qt::LeftButton);
    SendBarMouse(bar, QEvent::MouseMove, 0.55, Qt::LeftButton);
    right_after = engine.CurrentMeasure;
    Later(150, [&] {
      a_frame_later = engine.CurrentMeasure;
      window->HandleKey(Qt::Key_Period, Qt::NoModifier);
    });
  });
  window->PlayFile();
  EXPECT_EQ(right_after, at(0.15));
  EXPECT_EQ(a_frame_later, at(0.55));
}

TEST_F(MainWindowTest, TheTitleTimerDocksTheControlPanelBesideTheWindow) {
  auto window = Start();
  window->move(50, 40);
  window->button(QStringLiteral("CPANEL"))->trigger();
  ControlPanel& panel = window->control_panel();
  EXPECT_TRUE(panel.isVisible());
  Wait(350);
  EXPECT_EQ(panel.frameGeometry().top(), window->frameGeometry().top());
  // Against the window's right edge, or the screen's when it would not fit there.
  const int right = window->frameGeometry().left() + window->frameGeometry().width();
  const int screen = window->screen()->geometry().width();
  EXPECT_EQ(panel.frameGeometry().left(), std::min(right, screen - panel.frameGeometry().width()));
}

// Answers the frame-rate question and the save dialog as a user would.
class AnsweringDialogs : public DialogBackend {
 public:
  std::optional<QString> OpenFile(const FileDialogRequest&) override { return std::nullopt; }
  std::optional<QString> SaveFile(const FileDialogRequest& request) override {
    filter = request.filter;
    return save_path.empty() ? std::nullopt
                             : std::optional<QString>(QString::fromStdString(save_path));
  }
  std::optional<QColor> Color(QWidget*, const QColor&) override { return std::nullopt; }
  std::optional<QFont> Font(QWidget*, const QFont&) override { return std::nullopt; }
  std::optional<QString> Text(QWidget*, const QString& title, const QString& prompt,
                              const QString& initial) override {
    asked = title + QLatin1Char('|') + prompt + QLatin1Char('|') + initial;
    return fps;
  }
  std::optional<QString> fps = QStringLiteral("30");
  std::string save_path;
  QString asked;
  QString filter;
};

std::vector<std::string> FramesIn(const std::filesystem::path& folder) {
  std::vector<std::string> names;
  if (!std::filesystem::exists(folder)) return names;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

TEST_F(MainWindowTest, BitmapOutputWritesTheWholeChartAsNumberedFrames) {
  auto window = Start();
  window->bLoad(Chart("frames.bms", 2));
  AnsweringDialogs dialogs;
  ScopedDialogBackend scoped(dialogs);
  const auto folder = dir_.path() / "out";
  std::filesystem::create_directories(folder);
  dialogs.fps = QStringLiteral("29.97fps");
  dialogs.save_path = (folder / "clip.bmp").string();
  window->Dispatch(QStringLiteral("BMPOUT"));
  EXPECT_EQ(dialogs.asked, QStringLiteral("BitmapOutput|Enter the frame rate (FPS).|30"));
  EXPECT_TRUE(dialogs.filter.contains(QStringLiteral("*.bmp")));

  // Frames 1..N with no gap; N is the first frame past the chart's end.
  const std::vector<std::string> frames = FramesIn(folder);
  ASSERT_FALSE(frames.empty());
  for (size_t i = 0; i < frames.size(); ++i) {
    char name[32];
    std::snprintf(name, sizeof name, "clip%04zu.bmp", i + 1);
    EXPECT_EQ(frames[i], name);
  }
  const double step = 240 / 1250.0 * 1000.0 / static_cast<double>(29.97F);
  const double end = window->core().chart.EndPosition + 256.0;
  EXPECT_GT(step * static_cast<double>(frames.size()), end);
  EXPECT_LE(step * static_cast<double>(frames.size() - 1), end);
  // Afterwards the chart is stopped at its start measure.
  EXPECT_FALSE(window->core().engine.Playing);
  EXPECT_FALSE(window->BitmapOutputRunning);
  EXPECT_TRUE(window->button(QStringLiteral("STOP"))->isChecked());
}

TEST_F(MainWindowTest, BitmapOutputRefusesBadFrameRatesAndReportsUnwritableFiles) {
  auto window = Start();
  window->bLoad(Chart("bad.bms", 1));
  // Without an output the start-up has told about the missing sound device; count from here.
  const size_t before = window->messages().size();
  AnsweringDialogs dialogs;
  ScopedDialogBackend scoped(dialogs);
  const auto folder = dir_.path() / "bad";
  std::filesystem::create_directories(folder);
  dialogs.save_path = (folder / "x.bmp").string();
  for (const char* answer : {"0", "abc", "", "-5", "1e9"}) {
    dialogs.fps = QString::fromUtf8(answer);
    window->BitmapOutput();
    EXPECT_TRUE(FramesIn(folder).empty()) << answer;
    EXPECT_FALSE(window->core().engine.Playing) << answer;
    EXPECT_TRUE(window->button(QStringLiteral("STOP"))->isChecked()) << answer;
  }
  dialogs.fps = std::nullopt;  // Cancel
  window->BitmapOutput();
  EXPECT_TRUE(FramesIn(folder).empty());
  ASSERT_EQ(window->messages().size(), before + 1);  // only the too-high rate has a message
  EXPECT_NE(window->messages().back().find("at most 1000"), std::string::npos);

  // A folder that does not exist: the run stops at once with a message naming the file.
  dialogs.fps = QStringLiteral("30");
  dialogs.save_path = (dir_.path() / "missing" / "y.bmp").string();
  window->BitmapOutput();
  ASSERT_EQ(window->messages().size(), before + 2);
  EXPECT_NE(window->messages().back().find("y0001.bmp"), std::string::npos);
  EXPECT_FALSE(window->core().engine.Playing);
}

TEST_F(MainWindowTest, BitmapOutputPausesAndStopsWithTheNormalCommands) {
  auto window = Start();
  window->bLoad(Chart("long_frames.bms", 30));
  AnsweringDialogs dialogs;
  ScopedDialogBackend scoped(dialogs);
  const auto folder = dir_.path() / "stop";
  std::filesystem::create_directories(folder);
  dialogs.save_path = (folder / "s").string();
  size_t paused_at = 0;
  size_t still_paused = 0;
  Later(100, [&] {
    window->HandleKey(Qt::Key_C, Qt::NoModifier);  // pause
    paused_at = FramesIn(folder).size();
    Later(100, [&] {
      still_paused = FramesIn(folder).size();
      window->HandleKey(Qt::Key_V, Qt::NoModifier);  // stop
    });
  });
  window->BitmapOutput();
  const std::vector<std::string> frames = FramesIn(folder);
  EXPECT_GT(paused_at, 0U);
  EXPECT_EQ(still_paused, paused_at);
  // The stop ended the run without a further frame.
  EXPECT_EQ(frames.size(), paused_at);
  EXPECT_FALSE(window->core().engine.Playing);
  EXPECT_FALSE(window->core().engine.Paused);
}

TEST_F(MainWindowTest, TheDialogButtonsOpenTheirWindowsAndTheLoaderFillsThem) {
  auto window = Start();
  // The debug window traces the load to its list and to Debug.txt.
  window->Dispatch(QStringLiteral("DEBUG"));
  ASSERT_NE(window->debug_window(), nullptr);
  EXPECT_TRUE(window->DebugLogging());
  const std::string chart = Chart("dialogs.bms", 3);
  window->bLoad(chart);
  const std::string log = test::ReadFile(dir_.path() / "Debug.txt");
  EXPECT_NE(log.find("\tRead file ---------------\r\n"), std::string::npos);
  EXPECT_NE(log.find("\t" + chart + "\r\n"), std::string::npos);
  EXPECT_GT(window->debug_window()->List()->count(), 3);

  // The property dialog follows the loads; statistics opens it on the score tab.
  PropertyDialog& properties = window->property_dialog();
  EXPECT_EQ(properties.FileNameBox()->text(), QString::fromStdString(chart));
  window->button(QStringLiteral("PROP"))->trigger();
  EXPECT_TRUE(properties.isVisible());
  window->button(QStringLiteral("PROP"))->trigger();
  EXPECT_FALSE(properties.isVisible());
  window->mVI_Click(14);
  EXPECT_TRUE(properties.isVisible());
  EXPECT_EQ(properties.SelectedTab(), 3);
  EXPECT_TRUE(window->ScoreTabVisible());
  EXPECT_TRUE(window->button(QStringLiteral("PROP"))->isChecked());
  properties.close();
  EXPECT_FALSE(properties.isVisible());
  EXPECT_FALSE(window->ScoreTabVisible());
  EXPECT_FALSE(window->button(QStringLiteral("PROP"))->isChecked());

  // The options dialog: "do not scroll the title" stops the scroll and shows the whole title.
  window->Dispatch(QStringLiteral("OPTION"));
  OptionsDialog* options = window->options_dialog();
  ASSERT_NE(options, nullptr);
  options->findChild<QCheckBox*>(QStringLiteral("chkNoScrTitle"))->setChecked(true);
  options->findChild<QPushButton*>(QStringLiteral("cmdOK"))->click();
  EXPECT_TRUE(window->program_settings().NotScrollTitle);
  EXPECT_EQ(window->windowTitle(), QStringLiteral("[Quillon] (test) dialogs.bms / someone   "));
  EXPECT_EQ(Ini().value(QStringLiteral("Setting/NotScrollTitle")).toString(), QStringLiteral("1"));
}

// A remote client connected to the window's channel, collecting the lines it hears.
class Listener {
 public:
  explicit Listener(const MainWindow& window) {
    socket_.connectToServer(window.remote_server()->ServerPath());
    socket_.waitForConnected(2000);
    QObject::connect(&socket_, &QLocalSocket::readyRead, [this] {
      while (socket_.canReadLine())
        lines.push_back(socket_.readLine().trimmed().toStdString());
    });
  }
  // Lets events run until `count` lines have come or two seconds have passed.
  void WaitFor(size_t count) {
    QEventLoop loop;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
      if (lines.size() >= count) loop.quit();
    });
    poll.start(5);
    QTimer::singleShot(2000, &loop, &QEventLoop::quit);
    loop.exec();
  }
  std::vector<std::string> lines;

 private:
  QLocalSocket socket_;
};

TEST_F(MainWindowTest, RemoteCommandsDriveTheWindowAndItsNotificationsReachTheClients) {
  auto window = Start();
  ASSERT_NE(window->remote_server(), nullptr);
  Listener client(*window);
  while (window->remote_server()->ClientCount() == 0)
    Wait(5);

  // A command-bar key: the button runs and the item is emptied; NEXT only tells the client.
  window->ReceiveRemoteText("LNEXT");
  EXPECT_TRUE(window->DdeControlled);
  EXPECT_EQ(window->DDEP(), "");
  client.WaitFor(1);
  ASSERT_EQ(client.lines, std::vector<std::string>{"PNEXT"});
  // A client's own notification texts and system-toolbar keys do nothing.
  window->ReceiveRemoteText("PPREV");
  window->ReceiveRemoteText("LOPEN");
  EXPECT_EQ(window->DDEP(), "");

  // A load (the path holds a blank) and its deferred play: the length, then play.
  const std::string chart = Chart("with blank.bms", 1);
  window->ReceiveRemoteText("LLOAD " + chart);
  EXPECT_EQ(window->CurrentFile(), chart);
  const std::string length = "PLENGTH " + std::to_string(window->core().chart.TotalTimeMs);
  client.WaitFor(4);
  const std::vector<std::string> expected = {"PNEXT", "PENABLED False", length, "PENABLED True"};
  ASSERT_GE(client.lines.size(), 4U);
  EXPECT_EQ(std::vector<std::string>(client.lines.begin(), client.lines.begin() + 4), expected);
  // The viewer's own playlist was left alone.
  EXPECT_EQ(window->playlist_window().playlist().size(), 0U);

  // LCLOSE ends the control: the client hears PCLOSE, the item ends empty.
  client.lines.clear();
  window->ReceiveRemoteText("LCLOSE");
  EXPECT_FALSE(window->DdeControlled);
  EXPECT_EQ(window->DDEP(), "");
  client.WaitFor(1);
  ASSERT_FALSE(client.lines.empty());
  EXPECT_EQ(client.lines.back(), "PCLOSE");
}

TEST_F(MainWindowTest, TheDesktopsTextsFillThePlaylistWithoutTakingControl) {
  auto window = Start();
  Playlist& list = window->playlist_window().playlist();
  const std::string first = Chart("first.bms", 1);
  const std::string second = Chart("second song.bms", 1);
  // A second start with two charts: the first plays, the second joins the list.
  window->ReceiveRemoteText("LLOAD " + first);
  window->SetDdeControlled(false);  // its client left
  window->ReceiveRemoteText("LADD " + second);
  EXPECT_FALSE(window->DdeControlled);
  EXPECT_EQ(window->CurrentFile(), first);
  ASSERT_EQ(list.size(), 1U);
  EXPECT_EQ(list.entries()[0].FileName, second);
  EXPECT_FALSE(window->playlist_window().isVisible());

  // A playlist opens as the list, shown, and plays from its first row next (the added row is
  // taken as saved, so no question comes first).
  EXPECT_FALSE(list.ListSaved);
  list.ListSaved = true;
  list.PlayIndex = 3;
  const std::string bpl = dir_.Write("my list.bpl", "g\tt\ta\t--:--\t" + first + "\r\n");
  window->ReceiveRemoteText("LPLAYLIST " + bpl);
  EXPECT_FALSE(window->DdeControlled);
  ASSERT_EQ(list.size(), 1U);
  EXPECT_EQ(list.entries()[0].FileName, first);
  EXPECT_EQ(list.PlayIndex, 0);
  EXPECT_TRUE(window->playlist_window().isVisible());
  EXPECT_TRUE(window->button(QStringLiteral("PLAYLIST"))->isChecked());
  // A text without a path changes nothing.
  window->ReceiveRemoteText("LADD");
  window->ReceiveRemoteText("LPLAYLIST");
  EXPECT_EQ(list.size(), 1U);
  EXPECT_FALSE(window->DdeControlled);
}

TEST_F(MainWindowTest, AnEditorPreviewReloadsTheChartAndPlaysFromItsMeasure) {
  auto window = Start();
  const std::string chart = Chart("edited.bms", 4);
  window->bLoad(chart);
  const int32_t before = window->core().chart.LastMeasure;
  // The editor saved a longer chart, then asks to hear it from measure 6.
  dir_.Write("edited.bms", ShortChart("edited.bms", 8));
  bool playing_from = false;
  QTimer poll;
  QObject::connect(&poll, &QTimer::timeout, [&] {
    if (!window->core().engine.Playing) return;
    poll.stop();
    playing_from = window->core().engine.CurrentMeasure >= 6;
    window->ReceiveRemoteText("LSTOP");
  });
  poll.start(5);
  window->ReceiveRemoteText("LPREVIEW 6 " + chart);
  EXPECT_EQ(window->core().chart.LastMeasure, before + 4);
  EXPECT_EQ(window->core().engine.StartMeasure, "6");
  Wait(300);
  EXPECT_TRUE(playing_from);
  EXPECT_FALSE(window->core().engine.Playing);
}

TEST_F(MainWindowTest, APreviewStartedFromTheCommandLineLeavesThePlaylistAlone) {
  {
    auto first = Start();
    first->playlist_window().playlist().AddList(Chart("kept.bms", 1));
    first->close();  // writes the default playlist
  }
  auto window = std::make_unique<MainWindow>(Options());
  QTimer poll;
  int32_t measure = -1;
  QObject::connect(&poll, &QTimer::timeout, [&] {
    if (!window->core().engine.Playing) return;
    poll.stop();
    measure = window->core().engine.CurrentMeasure;
    window->HandleKey(Qt::Key_Period, Qt::NoModifier);
  });
  poll.start(5);
  window->Startup(Chart("previewed.bms", 4), 3, /*preview=*/true);
  EXPECT_GE(measure, 3);
  const Playlist& list = window->playlist_window().playlist();
  ASSERT_EQ(list.size(), 1U);
  EXPECT_EQ(std::filesystem::path(list.entries()[0].FileName).filename(), "kept.bms");
  EXPECT_EQ(std::filesystem::path(window->CurrentFile()).filename(), "previewed.bms");
}

// Runs events until `done` holds or ten seconds have passed. A play started meanwhile runs to its
// end inside, before `done` is asked again.
bool WaitUntil(const std::function<bool()>& done) {
  QDeadlineTimer deadline(10'000);
  while (!done() && !deadline.hasExpired())
    QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
  return done();
}

size_t LoadCount(const MainWindow& window) {
  const auto& log = window.load_log();
  return static_cast<size_t>(std::count(log.begin(), log.end(), "Now Loading..."));
}

// What a random-select question asks in the middle of a load.
std::string RandomChart() {
  return "#BPM 120\r\n#RANDOM 2\r\n#IF 1\r\n#00111:01\r\n#ENDIF\r\n#IF "
         "2\r\n#00112:01\r\n#ENDIF\r\n";
}

TEST_F(MainWindowTest, TermIntAndHupQuitAsFileQuitDoesDuringPlayALoadAndTheRandomQuestion) {
  const auto saved = [this] {
    return std::filesystem::exists(dir_.path() / "Quillon.ini") &&
           std::filesystem::exists(dir_.path() / "data" / "quillon.bpl");
  };
  {
    // SIGTERM during a play started from the command line.
    auto window = std::make_unique<MainWindow>(Options());
    bool ended = false;
    window->on_ended = [&] { ended = true; };
    ShutdownSignals signals_in([&] { window->RequestQuit(); });
    ASSERT_TRUE(signals_in.Installed());
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
      if (!window->core().engine.Playing) return;
      poll.stop();
      std::raise(SIGTERM);
    });
    poll.start(5);
    window->Startup(Chart("long.bms", 6));
    EXPECT_TRUE(ended);
    EXPECT_TRUE(window->Ended());
    EXPECT_EQ(window->trace().back(), "shutdown 11");
    EXPECT_EQ(window->DDEP(), "PCLOSE");
    EXPECT_TRUE(saved());
  }
  std::filesystem::remove(dir_.path() / "Quillon.ini");
  std::filesystem::remove(dir_.path() / "data" / "quillon.bpl");
  {
    // SIGHUP while the random-select question of a load is open, in full screen: the question
    // is cancelled (a branch is picked at random), the load ends, then the program quits.
    auto window = Start();
    bool ended = false;
    window->on_ended = [&] { ended = true; };
    ShutdownSignals signals_in([&] { window->RequestQuit(); });
    window->control_panel().SetElementState(static_cast<int>(Element::RandomSelect), 1);
    window->mVI_Click(10);
    ASSERT_TRUE(window->FullScreenOn());
    bool asked = false;
    Later(0, [&] {
      asked = dynamic_cast<RandomSelectDialog*>(QApplication::activeModalWidget()) != nullptr;
      std::raise(SIGHUP);
    });
    const std::string chart = dir_.Write("random.bms", RandomChart());
    window->bLoad(chart);
    EXPECT_TRUE(asked);
    EXPECT_EQ(window->CurrentFile(), chart);
    ASSERT_TRUE(WaitUntil([&] { return ended; }));
    EXPECT_EQ(window->trace().back(), "shutdown 11");
    EXPECT_TRUE(saved());
  }
  {
    // SIGINT with no window: the handler only hands the signal on; nothing runs twice.
    int calls = 0;
    ShutdownSignals signals_in([&] { ++calls; });
    std::raise(SIGINT);
    ASSERT_TRUE(WaitUntil([&] { return calls == 1; }));
    QCoreApplication::processEvents();
    EXPECT_EQ(calls, 1);
  }
}

TEST_F(MainWindowTest, ASecondSignalDuringShutDownEndsTheProcessAtOnce) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        ShutdownSignals signals_in([] {});
        std::raise(SIGTERM);
        std::raise(SIGTERM);
        std::_Exit(0);
      },
      testing::ExitedWithCode(128 + SIGTERM), "");
}

TEST_F(MainWindowTest, ARemoteLoadAskedForDuringALoadRunsWhenItEnds) {
  auto window = Start();
  window->control_panel().SetElementState(static_cast<int>(Element::RandomSelect), 1);
  const std::string first = dir_.Write("random.bms", RandomChart());
  const std::string skipped = Chart("skipped.bms", 1);
  const std::string newest = Chart("newest.bms", 2);
  const size_t loads_before = LoadCount(*window);
  // While the random-select question of the first load is open, two loads are asked for; only
  // the newest is kept.
  Later(0, [&] {
    auto* dialog = dynamic_cast<RandomSelectDialog*>(QApplication::activeModalWidget());
    ASSERT_NE(dialog, nullptr);
    window->ReceiveRemoteText("LLOAD " + skipped);
    window->ReceiveRemoteText("LLOAD " + newest);
    dialog->OkButton()->click();
  });
  window->bLoad(first);
  EXPECT_EQ(window->CurrentFile(), first);
  ASSERT_TRUE(WaitUntil([&] { return window->CurrentFile() == newest; }));
  EXPECT_EQ(window->core().chart.Header.Title, "newest.bms");
  EXPECT_EQ(LoadCount(*window), loads_before + 2);
}

TEST_F(MainWindowTest, AOneShotClientLoadsByTheNamesBytesAndThenLeavesTheUserInControl) {
  auto window = Start();
  // A folder whose name is CP932 bytes ("曲" is 0x8B 0xC8), as unpacked BMS archives have them.
  const std::string chart = dir_.Write("\x8B\xC8/one.bms", ShortChart("one", 2));
  Playlist& list = window->playlist_window().playlist();
  for (const char* name : {"a.bms", "b.bms"})
    list.AddList(Chart(name, 1));
  std::ostringstream out, err;
  ASSERT_EQ(RunRemoteClient({"LLOAD " + chart}, 0, out, err, window->remote_server()->ServerPath()),
            0)
      << err.str();
  bool controlled = false;
  ASSERT_TRUE(WaitUntil([&] {
    controlled = controlled || window->DdeControlled;
    return window->CurrentFile() == chart && window->core().chart.Header.Title == "one";
  }));
  // The client has gone: control has ended, and the user's own "next" steps the playlist again.
  ASSERT_TRUE(WaitUntil([&] { return !window->DdeControlled; }));
  window->HandleKey(Qt::Key_B, Qt::NoModifier);
  EXPECT_NE(window->DDEP(), "PNEXT");
  EXPECT_NE(window->CurrentFile(), chart);
}

}  // namespace
}  // namespace quillon
