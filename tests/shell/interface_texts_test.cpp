// The interface in each language, and File → Recent charts, on the offscreen platform.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAction>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QSettings>
#include <QTabWidget>
#include <QTreeWidget>
#include <filesystem>

#include "dialogs/control_panel.h"
#include "dialogs/options_dialog.h"
#include "dialogs/property_dialog.h"
#include "dialogs/random_select.h"
#include "playlist/playlist_window.h"
#include "shell/main_window.h"
#include "support/test_data.h"

namespace quillon {
namespace {

bool HasJapanese(const QString& text) {
  return std::any_of(text.begin(), text.end(), [](QChar c) {
    const char16_t u = c.unicode();
    return (u >= 0x3000 && u <= 0x9FFF) || (u >= 0xFF00 && u <= 0xFFEF);
  });
}

// Every text a user can read on `root` and the widgets and actions below it, each tagged with
// its object's name. The title font buttons are left out: they show the font's name, a setting.
QStringList ReadableTexts(const QWidget& root) {
  QStringList texts;
  const auto add = [&texts](const QObject& owner, const QString& text) {
    if (!text.isEmpty()) texts << owner.objectName() + QStringLiteral(": ") + text;
  };
  std::vector<const QWidget*> widgets{&root};
  for (const QWidget* child : root.findChildren<QWidget*>())
    widgets.push_back(child);
  for (const QWidget* w : widgets) {
    if (w->objectName().startsWith(QStringLiteral("cmdFont"))) continue;
    add(*w, w->windowTitle());
    add(*w, w->toolTip());
    if (const auto* label = qobject_cast<const QLabel*>(w)) add(*w, label->text());
    if (const auto* button = qobject_cast<const QAbstractButton*>(w)) add(*w, button->text());
    if (const auto* group = qobject_cast<const QGroupBox*>(w)) add(*w, group->title());
    if (const auto* menu = qobject_cast<const QMenu*>(w)) add(*w, menu->title());
    if (const auto* tabs = qobject_cast<const QTabWidget*>(w)) {
      for (int i = 0; i < tabs->count(); ++i)
        add(*w, tabs->tabText(i));
    }
    if (const auto* tree = qobject_cast<const QTreeWidget*>(w)) {
      for (int i = 0; i < tree->columnCount(); ++i)
        add(*w, tree->headerItem()->text(i));
    }
  }
  for (const QAction* action : root.findChildren<QAction*>()) {
    add(*action, action->text());
    add(*action, action->toolTip());
  }
  return texts;
}

class InterfaceTextsTest : public ::testing::Test {
 protected:
  MainWindowOptions Options(UiLanguage language) const {
    MainWindowOptions options;
    options.SettingsPath = QString::fromStdString((dir_.path() / "Quillon.ini").string());
    options.DataFolder = (dir_.path() / "data").string();
    options.UseSoundDevice = false;
    options.ShowMessageBoxes = false;
    options.Language = language;
    options.DebugLogPath = (dir_.path() / "Debug.txt").string();
    options.RemoteSocketPath = QStringLiteral("-");
    return options;
  }
  static QAction* RecentItem(const MainWindow& window, const QString& name) {
    for (QAction* action : window.recent_menu()->actions())
      if (action->objectName() == name) return action;
    ADD_FAILURE() << name.toStdString();
    return nullptr;
  }
  static QStringList RecentItems(const MainWindow& window) {
    QStringList items;
    for (const QAction* action : window.recent_menu()->actions())
      if (!action->isSeparator()) items << action->objectName() + QLatin1Char('=') + action->text();
    return items;
  }

  test::TempDir dir_;
};

TEST_F(InterfaceTextsTest, EveryWindowSpeaksTheInterfaceLanguage) {
  for (const UiLanguage language : {UiLanguage::English, UiLanguage::Japanese}) {
    MainWindow window(Options(language));
    window.Startup({});
    window.Dispatch(QStringLiteral("OPTION"));
    ASSERT_NE(window.options_dialog(), nullptr);
    RandomSelectDialog random(1, 2, &window, language);
    const std::vector<std::pair<const char*, const QWidget*>> windows = {
        {"main window", &window},
        {"options", window.options_dialog()},
        {"properties", &window.property_dialog()},
        {"control panel", &window.control_panel()},
        {"playlist", &window.playlist_window()},
        {"random select", &random},
    };
    for (const auto& [name, widget] : windows) {
      const QStringList texts = ReadableTexts(*widget);
      const auto japanese = std::count_if(texts.begin(), texts.end(), HasJapanese);
      if (language == UiLanguage::English) {
        for (const QString& text : texts)
          EXPECT_FALSE(HasJapanese(text)) << name << " - " << text.toStdString();
      } else {
        EXPECT_GT(japanese, 0) << name;
      }
    }
    window.options_dialog()->close();
    window.close();
  }
}

TEST_F(InterfaceTextsTest, RecentChartsKeepTheLastTenOpenedMostRecentFirst) {
  std::vector<std::string> charts;
  for (int i = 0; i < 12; ++i)
    charts.push_back(dir_.Write("c" + std::to_string(i) + ".bms", "#BPM 120\r\n#00111:01\r\n"));
  {
    MainWindow window(Options(UiLanguage::English));
    window.Startup({});
    EXPECT_EQ(RecentItems(window),
              (QStringList{QStringLiteral("mRecentNone=(none)"),
                           QStringLiteral("mRecentClear=Clear recent charts(&L)")}));
    for (const std::string& chart : charts)
      window.bLoad(chart);
    // A chart opened again moves to the top instead of being listed twice.
    window.bLoad(charts[5]);
    // A chart that is not there is not remembered.
    window.bLoad((dir_.path() / "missing.bms").string());
    const std::vector<std::string> expected = {charts[5], charts[11], charts[10], charts[9],
                                               charts[8], charts[7],  charts[6],  charts[4],
                                               charts[3], charts[2]};
    EXPECT_EQ(window.recent_charts(), expected);
    const QStringList items = RecentItems(window);
    ASSERT_EQ(items.size(), 11);
    EXPECT_EQ(items[0], QStringLiteral("mRecent(0)=&1 ") + QString::fromStdString(charts[5]));
    EXPECT_TRUE(items[9].startsWith(QStringLiteral("mRecent(9)=1&0 ")));
    window.close();
  }
  // The list outlives the window; choosing an item opens that chart.
  MainWindow window(Options(UiLanguage::English));
  window.Startup({});
  ASSERT_EQ(window.recent_charts().size(), 10U);
  RecentItem(window, QStringLiteral("mRecent(3)"))->trigger();
  EXPECT_EQ(window.CurrentFile(), charts[9]);
  EXPECT_EQ(window.recent_charts().front(), charts[9]);

  RecentItem(window, QStringLiteral("mRecentClear"))->trigger();
  EXPECT_TRUE(window.recent_charts().empty());
  QSettings ini(QString::fromStdString((dir_.path() / "Quillon.ini").string()),
                QSettings::IniFormat);
  EXPECT_EQ(ini.value(QStringLiteral("Recent/Chart0")).toString(), QString());
  window.close();
}

}  // namespace
}  // namespace quillon
