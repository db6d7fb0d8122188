#include "dialogs/property_dialog.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QCoreApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <vector>

#include "chart/loader.h"
#include "platform/file_manager.h"
#include "playback/play_engine.h"

namespace quillon {
namespace {

struct FakeHost : PropertyHost {
  std::vector<int> sounds, pictures;
  QImage picture;
  int closed = 0;
  void PlayPreviewSound(int id) override { sounds.push_back(id); }
  const QImage* PreviewPicture(int id) override {
    pictures.push_back(id);
    return picture.isNull() ? nullptr : &picture;
  }
  void PropertyClosed() override { ++closed; }
};

class TestDialog : public PropertyDialog {
 public:
  using PropertyDialog::PropertyDialog;
  QStringList opened;

 protected:
  bool OpenFolder(const QString& path) override {
    opened << path;
    return true;
  }
};

// The loader and the engine wired to the dialog the way the main window wires them.
struct LoadToDialog : LoadView {
  PropertyDialog& d;
  explicit LoadToDialog(PropertyDialog& dialog) : d(dialog) {}
  void ShowNoteCount(int32_t n, double per_note) override { d.ShowNoteCount(n, per_note); }
};
struct PlayToDialog : PlayView, TickClock, PlaySounds {
  PropertyDialog& d;
  explicit PlayToDialog(PropertyDialog& dialog) : d(dialog) {}
  bool ScoreTabVisible() const override { return d.ScoreTabVisible(); }
  void ShowPlayCounts(int32_t n, std::string_view score) override { d.ShowPlayCounts(n, score); }
  std::optional<double> TempoBoxValue() const override { return std::nullopt; }
  int32_t Now() override { return 0; }
  void Sleep(int32_t) override {}
  void Anchor(double) override {}
  void Restart(int32_t, double) override {}
  void Stop(int32_t) override {}
};

void Press(QWidget* target, int key, Qt::KeyboardModifiers mods) {
  QKeyEvent event(QEvent::KeyPress, key, mods);
  QCoreApplication::sendEvent(target, &event);
}

void ClickRow(QListWidget* list, int row) {
  const QPointF at = list->visualItemRect(list->item(row)).center();
  for (QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease}) {
    QMouseEvent event(type, at, list->viewport()->mapToGlobal(at), Qt::LeftButton,
                      type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton,
                      Qt::NoModifier);
    QCoreApplication::sendEvent(list->viewport(), &event);
  }
}

class PropertyDialogTest : public testing::Test {
 protected:
  // The texts of named labels and text boxes, joined by "|".
  std::string Text(std::initializer_list<const char*> names) const {
    QStringList texts;
    for (const char* name : names) {
      const QString key = QString::fromUtf8(name);
      auto* label = dialog.Control<QLabel>(key);
      texts << (label ? label->text() : dialog.Control<QLineEdit>(key)->text());
    }
    return texts.join(QLatin1Char('|')).toStdString();
  }
  FakeHost host;
  TestDialog dialog{host};
};

TEST_F(PropertyDialogTest, ScoreTabIsLiveOnlyOnTabThreeUntilTheUserCloses) {
  EXPECT_EQ(dialog.SelectedTab(), 1);
  for (int tab : {3, 2, 3, 4, 1}) {
    dialog.SelectTab(tab);
    EXPECT_EQ(dialog.ScoreTabVisible(), tab == 3) << tab;
  }
  dialog.Tabs()->setCurrentIndex(2);  // a click on the tab strip
  EXPECT_TRUE(dialog.ScoreTabVisible());

  dialog.show();
  dialog.CloseButton()->click();
  EXPECT_FALSE(dialog.isVisible());
  EXPECT_FALSE(dialog.ScoreTabVisible());
  EXPECT_EQ(host.closed, 1);
  dialog.show();  // PROP again: the tab is still 3, but nothing made it live
  EXPECT_EQ(dialog.SelectedTab(), 3);
  EXPECT_FALSE(dialog.ScoreTabVisible());
  dialog.SelectTab(3);  // the statistics menu item
  EXPECT_TRUE(dialog.ScoreTabVisible());

  dialog.AllowFinalClose();
  EXPECT_TRUE(dialog.close());
  EXPECT_EQ(host.closed, 1);
}

TEST_F(PropertyDialogTest, CtrlTabStepsThroughTheTabsBeforeTheFocusedControl) {
  QWidget* text = dialog.ChartTextBox();
  dialog.SelectTab(4);
  Press(text, Qt::Key_Tab, Qt::ControlModifier);
  EXPECT_EQ(dialog.SelectedTab(), 1);
  Press(text, Qt::Key_Backtab, Qt::ControlModifier | Qt::ShiftModifier);
  EXPECT_EQ(dialog.SelectedTab(), 4);
  Press(&dialog, Qt::Key_Backtab, Qt::ControlModifier | Qt::ShiftModifier);
  EXPECT_EQ(dialog.SelectedTab(), 3);
  Press(text, Qt::Key_Tab, Qt::NoModifier);
  Press(text, Qt::Key_Backtab, Qt::ShiftModifier);
  Press(text, Qt::Key_Tab, Qt::AltModifier);
  EXPECT_EQ(dialog.SelectedTab(), 3);
}

TEST_F(PropertyDialogTest, ScoreLabelsFollowTheLoaderAndTheEngine) {
  Chart chart;
  LoadToDialog load(dialog);
  ElementFlags flags = ElementFlags::FirstStart();
  ChartLoader(chart, load, flags).LoadBmsBytes("three.bms", "#BPM 120\r\n#00111:010101\r\n", false);
  EXPECT_EQ(Text({"lblTNotes", "lblKeyPts"}), "3|33333");

  PlayToDialog play(dialog);
  PlayEngine engine(chart, flags, play, play, play);
  std::vector<int32_t> notes;
  for (int32_t i = 0; i <= chart.ObjectLast; ++i)
    if (chart.ObjectTable[static_cast<size_t>(i)].Channel == 11) notes.push_back(i);
  ASSERT_EQ(notes.size(), 3U);
  dialog.SelectTab(3);
  const char* scores[] = {"33333", "66667", "100000"};
  for (size_t n = 0; n < 3; ++n) {
    engine.FireObject(notes[n]);
    EXPECT_EQ(Text({"lblPNotes", "lblCurPts"}), std::to_string(n + 1) + "|" + scores[n]);
  }

  // Off tab 3 the engine counts on but the labels stand still until the next note on tab 3.
  engine.ResetPlay();
  EXPECT_EQ(Text({"lblPNotes", "lblCurPts"}), "0|0");
  dialog.SelectTab(2);
  engine.FireObject(notes[0]);
  dialog.SelectTab(3);
  EXPECT_EQ(Text({"lblPNotes", "lblCurPts"}), "0|0");
  engine.FireObject(notes[1]);
  EXPECT_EQ(Text({"lblPNotes", "lblCurPts"}), "2|66667");

  ChartLoader(chart, load, flags).LoadBmsBytes("none.bms", "#BPM 120\r\n", false);
  EXPECT_EQ(Text({"lblTNotes", "lblKeyPts"}), "0|0");
}

TEST_F(PropertyDialogTest, FillsTabOneFromTheHeader) {
  BmsHeader header;
  header.FilePath = "/charts/a b/song.bms";
  header.Genre = "ジャンル";
  header.Bpm = 150;
  header.Player = 2;
  header.Rank = 9;
  header.SevenKeys = true;
  dialog.FillProperties(header);
  EXPECT_EQ(Text({"txtFileName", "txtGenre", "txtPlaylevel", "txtRank", "txtPlayer", "txtBPM"}),
            "/charts/a b/song.bms|ジャンル|★★★☆☆☆|?????|2 Players|150");
  EXPECT_TRUE(dialog.AttributeBox(3)->isChecked());
  header.PlayLevel = 7;  // no stars for it: the old text stays
  dialog.FillProperties(header);
  EXPECT_EQ(Text({"txtPlaylevel"}), "★★★☆☆☆");

  dialog.OpenFolderButton()->click();
  EXPECT_EQ(dialog.opened, QStringList{QStringLiteral("/charts/a b/song.bms")});
  dialog.SetChartText("#TITLE x\r\n#00111:01\r\n");
  EXPECT_EQ(dialog.ChartTextBox()->toPlainText(), QStringLiteral("#TITLE x\n#00111:01\n"));
}

TEST_F(PropertyDialogTest, ExtendedHeaderRowsInTheInterfaceLanguage) {
  BmsHeader header;
  header.SubTitle = "[ANOTHER]";
  header.SubArtist = "obj: 誰";
  header.Total = 312.5;
  header.Difficulty = 4;
  header.StageFile = "stage.png";
  header.Banner = "banner.png";
  header.Preview = "preview.ogg";
  header.LnType = 1;
  header.LnObj = 36 * 35 + 35;  // ZZ
  dialog.FillProperties(header);
  EXPECT_EQ(Text({"txtSubTitle", "txtSubArtist", "txtTotal", "txtDifficulty", "txtStageFile",
                  "txtBanner", "txtPreview", "txtLnType", "txtLnObj", "txtLnMode"}),
            "[ANOTHER]|obj: 誰|312.5|4|stage.png|banner.png|preview.ogg|1|ZZ|");
  header.LnObj = 36 * 36;  // beyond ZZ: a base-62 id ("Ku")
  header.Total = 0;        // not given
  dialog.FillProperties(header);
  EXPECT_EQ(Text({"txtLnObj", "txtTotal"}), "Ku|");

  // The captions follow the interface language.
  const auto caption_of = [](const PropertyDialog& d, const char* field) {
    const auto* grid = d.findChild<QLineEdit*>(QString::fromUtf8(field))->parentWidget();
    QStringList texts;
    for (const QLabel* label : grid->findChildren<QLabel*>())
      texts << label->text();
    return texts;
  };
  const TestDialog english(host, nullptr, UiLanguage::English);
  const TestDialog japanese(host, nullptr, UiLanguage::Japanese);
  EXPECT_TRUE(caption_of(english, "txtLnObj").contains(QStringLiteral("LN object :")));
  EXPECT_TRUE(caption_of(japanese, "txtSubTitle").contains(QString::fromUtf8("サブタイトル :")));
  EXPECT_TRUE(caption_of(english, "txtGenre").contains(QStringLiteral("Genre :")));
  EXPECT_TRUE(caption_of(japanese, "txtGenre").contains(QString::fromUtf8("ジャンル :")));
}

TEST_F(PropertyDialogTest, StagePictureShowsTheTopLeft640x480QuarteredAndClears) {
  QImage big(800, 600, QImage::Format_RGB32);
  big.fill(Qt::black);
  big.setPixel(636, 476, qRgb(1, 2, 3));  // inside 640x480
  big.setPixel(700, 500, qRgb(9, 9, 9));  // outside
  dialog.ShowStagePicture(&big);
  const QImage& shown = dialog.StagePicture();
  ASSERT_EQ(shown.size(), QSize(160, 120));
  EXPECT_EQ(shown.pixel(159, 119), qRgb(1, 2, 3));
  dialog.ShowStagePicture(nullptr);
  EXPECT_EQ(shown.pixel(159, 119), qRgb(0, 0, 0));
}

TEST_F(PropertyDialogTest, PreviewPlaysTheSoundOrShowsThePictureOfTheItemsId) {
  EXPECT_EQ(PreviewItemId("0A:KICK.WAV"), 10);
  EXPECT_EQ(PreviewItemId("1F:X.WAV"), 31);
  EXPECT_EQ(PreviewItemId("zz:X.WAV"), 0);
  EXPECT_EQ(PreviewItemId(""), 0);

  dialog.AddSoundFile("0A:KICK.WAV");
  dialog.AddSoundFile("zz:ODD.WAV");
  dialog.AddPictureFile("02:BACK.BMP");
  dialog.show();
  dialog.SelectTab(2);
  ClickRow(dialog.FileList(0), 0);
  ClickRow(dialog.FileList(0), 1);
  Press(dialog.FileList(0), Qt::Key_Up, Qt::NoModifier);
  EXPECT_EQ(host.sounds, (std::vector<int>{10, 0, 10}));

  dialog.ModeButton(1)->click();
  EXPECT_TRUE(dialog.FileList(1)->isVisible());
  host.picture = QImage(300, 100, QImage::Format_RGB32);
  host.picture.fill(qRgb(5, 6, 7));
  ClickRow(dialog.FileList(1), 0);
  EXPECT_EQ(host.pictures, std::vector<int>{2});
  EXPECT_EQ(dialog.PreviewImage().pixel(255, 99), qRgb(5, 6, 7));
  host.picture = QImage();  // no picture for the id: the old one goes
  ClickRow(dialog.FileList(1), 0);
  EXPECT_EQ(dialog.PreviewImage().pixel(255, 99), qRgb(0, 0, 0));
  EXPECT_EQ(host.sounds.size(), 3U);
  dialog.ClearFileLists();
  EXPECT_EQ(dialog.FileList(0)->count() + dialog.FileList(1)->count(), 0);
}

TEST(FileManager, AsksTheFileManagerAndOpensTheFolderWhenItCannot) {
  const QDBusMessage call = ShowItemsMessage(QStringLiteral("/tmp/a b/ü.bms"));
  ASSERT_EQ(call.arguments().size(), 2);
  EXPECT_EQ(call.arguments()[0].toStringList(),
            QStringList{QStringLiteral("file:///tmp/a%20b/%C3%BC.bms")});

  // The bus answers as `answer` says, or is missing when `bus` is false.
  QList<QUrl> opened;
  bool bus = true, answer = true;
  const FileManagerPorts ports{[&](const QDBusMessage&, std::function<void(bool)> answered) {
                                 if (bus) answered(answer);
                                 return bus;
                               },
                               [&](const QUrl& url) { return opened << url, true; }};
  const QString chart = QStringLiteral("/tmp/a b/x.bms");
  EXPECT_TRUE(ShowInFileManager(chart, ports));
  EXPECT_TRUE(opened.isEmpty());
  answer = false;
  EXPECT_TRUE(ShowInFileManager(chart, ports));
  bus = false;
  EXPECT_TRUE(ShowInFileManager(chart, ports));
  EXPECT_FALSE(ShowInFileManager(QString(), ports));
  const QUrl folder = QUrl::fromLocalFile(QStringLiteral("/tmp/a b"));
  EXPECT_EQ(opened, (QList<QUrl>{folder, folder}));
}

}  // namespace
}  // namespace quillon
