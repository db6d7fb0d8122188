#include "dialogs/options_dialog.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QCoreApplication>
#include <QFile>
#include <QFontMetrics>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QScrollBar>
#include <QSettings>
#include <QTemporaryDir>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/common_dialog.h"

namespace quillon {
namespace {

using Calls = std::vector<std::string>;

class RecordingHost : public OptionsHost {
 public:
  void TitleSettingsChanged() override { calls.push_back("title"); }
  void SetTitleScroll(bool scroll) override { calls.push_back(scroll ? "scroll 1" : "scroll 0"); }
  Calls calls;
};

// Answers the colour dialogs in turn and the font dialog (nullopt: cancelled); keeps the presets.
class FakeDialogs : public DialogBackend {
 public:
  std::optional<QString> OpenFile(const FileDialogRequest&) override { return std::nullopt; }
  std::optional<QString> SaveFile(const FileDialogRequest&) override { return std::nullopt; }
  std::optional<QColor> Color(QWidget*, const QColor& initial) override {
    colours_offered.push_back(initial);
    if (colours.size() < colours_offered.size()) return std::nullopt;
    return colours[colours_offered.size() - 1];
  }
  std::optional<QFont> Font(QWidget*, const QFont& initial) override {
    font_offered = initial;
    return font;
  }
  std::vector<QColor> colours, colours_offered;
  std::optional<QFont> font;
  QFont font_offered;
};

class TestDialog : public OptionsDialog {
 public:
  using OptionsDialog::OptionsDialog;
  QStringList errors;

 protected:
  void ShowError(const QString& text) override { errors << text; }
};

QFont BoldFont(const char* family, int points) {
  return QFont(QString::fromUtf8(family), points, QFont::Bold);
}

// The most frequent colour other than black in `area`.
QRgb MainInk(const QImage& image, const QRect& area) {
  std::map<QRgb, int> counts;
  for (int y = area.top(); y <= area.bottom(); ++y)
    for (int x = area.left(); x <= area.right(); ++x)
      if (const QRgb pixel = image.pixel(x, y) & 0xFFFFFF) ++counts[pixel];
  auto most = counts.begin();
  for (auto it = counts.begin(); it != counts.end(); ++it)
    if (it->second > most->second) most = it;
  return most == counts.end() ? 0 : most->first;
}

class OptionsDialogTest : public testing::Test {
 protected:
  ~OptionsDialogTest() override { delete dialog.data(); }

  void Open(SettingsStore* with = nullptr) {
    delete dialog.data();  // a dialog closed before is gone, as in the program
    dialog = new TestDialog(host, settings, with != nullptr ? *with : store);
    dialog->show();
  }
  template <typename T = QPushButton>
  T* Find(const char* name) const {
    return dialog->findChild<T*>(QString::fromUtf8(name));
  }
  void Click(const char* name) const { Find(name)->click(); }
  std::string Stored(const char* section, const char* key) const {
    return store.Read(section, key).value_or("-");
  }

  QTemporaryDir dir;
  QString path = dir.filePath(QStringLiteral("Quillon.ini"));
  SettingsStore store{path};
  ProgramSettings settings;
  RecordingHost host;
  FakeDialogs dialogs;
  ScopedDialogBackend backend{dialogs};
  QPointer<TestDialog> dialog;
};

TEST_F(OptionsDialogTest, OpensWithTheFlagsInForceAndTheStoredSleepPairOnAnUpsideDownBar) {
  settings.NotScrollTitle = true;
  settings.MinimizeSleepTime = 7;  // in force; the dialog shows the stored pair
  store.Write("Setting", "MinimizeSleep", "0");
  store.Write("Setting", "MinimizeSleepTime", "20");
  Open();
  EXPECT_TRUE(Find<QCheckBox>("chkNoScrTitle")->isChecked());
  EXPECT_FALSE(Find<QCheckBox>("chkMinimizeSleep")->isChecked());
  auto* bar = Find<QScrollBar>("vscSleep");
  const QLabel* label = Find<QLabel>("lblSleep");
  EXPECT_EQ(bar->value(), 30);
  EXPECT_EQ(label->text(), QStringLiteral("20"));
  for (const auto& [value, text] : {std::pair{0, "50"}, {50, "0"}}) {
    bar->setValue(value);
    EXPECT_EQ(label->text(), QString::fromUtf8(text));
  }
  Click("cmdOK");
  EXPECT_EQ(Stored("Setting", "MinimizeSleepTime"), "0");

  // A hand-written time beyond the bar is kept as long as the bar is not moved.
  store.Write("Setting", "MinimizeSleepTime", "120");
  Open();
  Click("cmdOK");
  EXPECT_EQ(Stored("Setting", "MinimizeSleepTime"), "120");
}

TEST_F(OptionsDialogTest, PreviewColoursEachLetterAlongTheGradient) {
  Open();
  dialogs.font = BoldFont("HHHH", 20);
  Click("cmdFont0");
  dialogs.colours = {QColor(255, 0, 0), QColor(0, 0, 255)};
  Click("cmdStart0");
  Click("cmdEnd0");
  EXPECT_EQ(dialogs.colours_offered, (std::vector<QColor>{Qt::white, Qt::cyan}));

  const QImage& preview = dialog->Preview();
  const QFontMetrics metrics(BoldFont("HHHH", 20), &preview);
  const int w = metrics.horizontalAdvance(QStringLiteral("H"));
  const QRgb letters[] = {qRgb(191, 0, 64), qRgb(128, 0, 128), qRgb(64, 0, 191), qRgb(0, 0, 255)};
  for (int k = 0; k < 4; ++k)  // the middle half of each letter's cell
    EXPECT_EQ(MainInk(preview, QRect(k * w + w / 4, 0, w / 2, metrics.height())),
              letters[k] & 0xFFFFFF);
}

TEST_F(OptionsDialogTest, CancelledDialogsAndCancelChangeNothing) {
  settings.InfoLines[0].Size = 10.5F;  // a font dialog answer would come back in whole points
  Open();
  const QImage before = dialog->Preview().copy();
  for (const char* button : {"cmdFont0", "cmdStart0", "cmdEnd2"})
    Click(button);
  EXPECT_EQ(dialog->Preview(), before);
  EXPECT_EQ(Find("cmdFont0")->font().pointSizeF(), 10.5);

  dialogs.font = BoldFont("IPAGothic", 14);
  Click("cmdFont0");
  Find<QCheckBox>("chkAutoEnd")->setChecked(true);
  Click("cmdCancel");
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_TRUE(dialog.isNull());
  EXPECT_FALSE(QFile::exists(path));
  EXPECT_FALSE(settings.AutoEnd);
  EXPECT_EQ(settings.InfoLines[0].Font, "ＭＳ Ｐゴシック");
  EXPECT_TRUE(host.calls.empty());
}

TEST_F(OptionsDialogTest, OkWritesExactlyTheKeysThenCallsTheHost) {
  settings.InfoLines[1].Size = 10.5F;
  Open();
  // A bold 12-point font for the title row; the font dialog is preset in whole points.
  dialogs.font = BoldFont("IPAGothic", 12);
  Click("cmdFont1");
  EXPECT_EQ(dialogs.font_offered.family(), QString::fromUtf8("ＭＳ Ｐゴシック"));
  EXPECT_EQ(dialogs.font_offered.pointSize(), 10);  // halves to even
  Find<QCheckBox>("chkNoScrTitle")->setChecked(true);
  Find<QCheckBox>("chkSusie")->setChecked(true);
  EXPECT_TRUE(Find<QCheckBox>("chkExtended")->isChecked());  // the extended reading by default
  Find<QCheckBox>("chkExtended")->setChecked(false);
  Find<QScrollBar>("vscSleep")->setValue(8);
  Click("cmdOK");

  QSettings file(path, QSettings::IniFormat);
  QStringList written;
  for (const QString& key : file.allKeys())
    written << key + QLatin1Char('=') + file.value(key).toString();
  written.sort();
  EXPECT_EQ(
      written.join(QLatin1Char(' ')).toStdString(),
      "InfoView/End0=16776960 InfoView/End1=16776960 InfoView/End2=16776960 "
      "InfoView/Font0=ＭＳ Ｐゴシック InfoView/Font1=IPAGothic InfoView/Font2=ＭＳ Ｐゴシック "
      "InfoView/FontBold0=False InfoView/FontBold1=True InfoView/FontBold2=False "
      "InfoView/FontItalic0=False InfoView/FontItalic1=False InfoView/FontItalic2=False "
      "InfoView/FontSize0=9 InfoView/FontSize1=12 InfoView/FontSize2=9 "
      "InfoView/Start0=16777215 InfoView/Start1=16777215 InfoView/Start2=16777215 "
      "Setting/AutoEnd=0 Setting/ExtendedCommands=False Setting/MinimizeSleep=1 "
      "Setting/MinimizeSleepTime=42 "
      "Setting/NotScrollTitle=1 Setting/NotUseMMTimer=0 Setting/UseSusie=1");
  EXPECT_EQ(host.calls, (Calls{"title", "scroll 0"}));
  EXPECT_TRUE(settings.NotScrollTitle && settings.UseSusie && settings.InfoLines[1].Bold);
  EXPECT_FALSE(settings.ExtendedCommands);
}

TEST_F(OptionsDialogTest, TheReadingBoxSpeaksTheInterfaceLanguageAndShowsTheSettingInForce) {
  settings.ExtendedCommands = false;
  for (const auto& [language, caption] :
       {std::pair{UiLanguage::English,
                  "Extended BMS commands (base-36 ids, #BPMxx, #STOP, long notes)"},
        std::pair{UiLanguage::Japanese, "拡張BMSコマンドを使う(&X)"}}) {
    TestDialog options(host, settings, store, nullptr, language);
    const auto* box = options.findChild<QCheckBox*>(QStringLiteral("chkExtended"));
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->text().toStdString(), caption);
    EXPECT_FALSE(box->isChecked());
  }
}

TEST_F(OptionsDialogTest, ASettingsFileThatCannotBeWrittenIsReportedAndTheSettingsApply) {
  QFile blocker(dir.filePath(QStringLiteral("blocker")));  // a file where a folder should be
  ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
  SettingsStore unwritable(blocker.fileName() + QStringLiteral("/Quillon.ini"));
  Open(&unwritable);
  Find<QCheckBox>("chkAutoEnd")->setChecked(true);
  Click("cmdOK");
  ASSERT_EQ(dialog->errors.size(), 1);
  EXPECT_TRUE(dialog->errors[0].contains(unwritable.FilePath()));
  EXPECT_TRUE(settings.AutoEnd);
  EXPECT_EQ(host.calls, (Calls{"title", "scroll 1"}));
  delete dialog.data();  // before the store it refers to
}

}  // namespace
}  // namespace quillon
