#include "platform/common_dialog.h"

#include <gtest/gtest.h>

#include <functional>
#include <vector>

namespace quillon {
namespace {

using namespace std::string_literals;

// Answers every dialog with what the test put in, and keeps what the last one was sent.
struct FakeBackend : DialogBackend {
  std::optional<QString> file_answer;
  std::optional<QColor> color_answer;
  std::optional<QFont> font_answer;
  const char* kind = "";
  FileDialogRequest request;
  QColor initial_color;
  QFont initial_font;

  std::optional<QString> OpenFile(const FileDialogRequest& r) override {
    kind = "open", request = r;
    return file_answer;
  }
  std::optional<QString> SaveFile(const FileDialogRequest& r) override {
    kind = "save", request = r;
    return file_answer;
  }
  std::optional<QColor> Color(QWidget*, const QColor& initial) override {
    initial_color = initial;
    return color_answer;
  }
  std::optional<QFont> Font(QWidget*, const QFont& initial) override {
    initial_font = initial;
    return font_answer;
  }
};

QString Q(const char* utf8) {
  return QString::fromUtf8(utf8);
}

const std::string kBmsFilter = "BMSファイル\0*.bms\0すべてのファイル\0*.*\0"s;

TEST(FileRecordTest, FilterAndBufferAsTheDialogReceivesThem) {
  EXPECT_EQ(NulSeparatedFilter("Text|*.txt|All|*.*"), "Text\0*.txt\0All\0*.*\0\0"s);
  EXPECT_EQ(FileBuffer("a.bms", 0), "a.bms" + std::string(249, ' ') + "\0"s);
  EXPECT_EQ(FileBufferSize(0), 255);
  EXPECT_EQ(FileBufferSize(8), 8);
  // Characters, not bytes; a name longer than the buffer is kept whole.
  EXPECT_EQ(FileBuffer("曲曲", 8), "曲曲     \0"s);
  EXPECT_EQ(FileBuffer("long-name.bms", 4), "long-name.bms\0"s);
  EXPECT_EQ(TextBeforeNul("a.bms\0rest"s), "a.bms");
}

TEST(FileRecordTest, PairsBecomeQtEntriesAndTheIndexPicksOne) {
  EXPECT_EQ(QtFileFilter(kBmsFilter), Q("BMSファイル (*.bms);;すべてのファイル (*.*)"));
  EXPECT_EQ(QtFileFilter("Charts\0*.bms; *.bme;*.bml\0\0"s), Q("Charts (*.bms *.bme *.bml)"));
  // A description without its pattern is dropped; nothing after an empty entry is read.
  EXPECT_EQ(QtFileFilter("A\0*.a\0B\0"s), Q("A (*.a)"));
  EXPECT_EQ(QtFileFilter("A\0*.a\0\0B\0*.b\0"s), Q("A (*.a)"));
  // Index 1 is the first entry; one out of range falls back to it.
  EXPECT_EQ(QtSelectedFilter(kBmsFilter, 2), Q("すべてのファイル (*.*)"));
  EXPECT_EQ(QtSelectedFilter(kBmsFilter, 3), Q("BMSファイル (*.bms)"));
}

TEST(ConversionTest, BgrColoursAndPointsRoundedHalvesToEven) {
  EXPECT_EQ(ColorFromBgr(static_cast<std::int32_t>(0xFF0000FFu)), QColor(0xFF, 0, 0));
  EXPECT_EQ(BgrFromColor(QColor(0x11, 0x22, 0x33)), 0x00332211);
  EXPECT_EQ(PointsFromTenths(105), 10);
  EXPECT_EQ(PointsFromTenths(115), 12);
  EXPECT_EQ(PointsFromTenths(106), 11);
}

class CommonDialogTest : public testing::Test {
 protected:
  FakeBackend fake;
  ScopedDialogBackend scope{fake};
  C_CommonDialog dialog;
};

TEST_F(CommonDialogTest, FileDialogsGetTheRecordAndGiveThePathBack) {
  dialog.setFilter("Text|*.txt|All|*.*");
  dialog.setFilterIndex(2);
  dialog.setFilename("a.bms");
  dialog.setInitDir("/charts/曲");
  dialog.setDefaultExt("bms");
  fake.file_answer = Q("/charts/曲/譜面.bms");
  EXPECT_EQ(dialog.ShowOpen(), 0);
  EXPECT_STREQ(fake.kind, "open");
  const FileDialogRequest& r = fake.request;
  EXPECT_EQ(QStringList({r.filter, r.selected_filter, r.folder, r.file_name, r.default_suffix}),
            QStringList({Q("Text (*.txt);;All (*.*)"), Q("All (*.*)"), Q("/charts/曲"), Q("a.bms"),
                         Q("bms")}));
  EXPECT_EQ(dialog.filename(), "/charts/曲/譜面.bms");
  EXPECT_EQ(dialog.APIReturn(), 1);

  // A path as the initial name gives the folder to start in.
  dialog.setFilename("/songs/b.bms");
  EXPECT_EQ(dialog.ShowSave(), 0);
  EXPECT_STREQ(fake.kind, "save");
  EXPECT_EQ(fake.request.folder, Q("/songs"));
  EXPECT_EQ(fake.request.file_name, Q("b.bms"));
}

TEST_F(CommonDialogTest, CancelGivesTheErrorOnlyWhenCancelErrorIsSet) {
  const std::vector<std::function<int()>> shows = {[&] { return dialog.ShowOpen(); },
                                                   [&] { return dialog.ShowSave(); },
                                                   [&] { return dialog.ShowFont(); }};
  dialog.setFilename("keep.bms");
  dialog.setFontName("keep");
  for (size_t i = 0; i < shows.size(); ++i) {
    dialog.setCancelError(false);
    EXPECT_EQ(shows[i](), 0) << i;
    EXPECT_EQ(dialog.APIReturn(), 0) << i;
    dialog.setCancelError(true);
    EXPECT_EQ(shows[i](), kCancelError) << i;
  }
  EXPECT_EQ(dialog.filename(), "keep.bms");
  EXPECT_EQ(dialog.FontName(), "keep");

  // The colour dialog never errors, and a cancel keeps Color.
  dialog.setColor(0x00332211);
  EXPECT_EQ(dialog.ShowColor(), 0);
  EXPECT_EQ(fake.initial_color, QColor(0x11, 0x22, 0x33));
  EXPECT_EQ(dialog.Color(), 0x00332211);
  fake.color_answer = QColor(0x44, 0x55, 0x66);
  EXPECT_EQ(dialog.ShowColor(), 0);
  EXPECT_EQ(dialog.Color(), 0x00665544);
}

TEST_F(CommonDialogTest, ShowFontSendsAndTakesTheAttributes) {
  dialog.setFontName("Noto Sans");
  dialog.setFontSize(12);
  dialog.setFontBold(true);
  QFont answer(Q("DejaVu Serif"));
  answer.setPointSizeF(10.5);
  answer.setWeight(QFont::DemiBold);
  fake.font_answer = answer;
  EXPECT_EQ(dialog.ShowFont(), 0);
  EXPECT_EQ(fake.initial_font.family() + QString::number(fake.initial_font.pointSize()),
            Q("Noto Sans12"));
  EXPECT_EQ(fake.initial_font.weight(), QFont::Bold);
  EXPECT_EQ(dialog.FontName(), "DejaVu Serif");
  EXPECT_EQ(dialog.FontSize(), 10);
  EXPECT_FALSE(dialog.FontBold());  // 600 is below bold
}

TEST_F(CommonDialogTest, PlainFileDialogsReturnThePathOrEmpty) {
  EXPECT_EQ(OpenFileDialog(nullptr, kBmsFilter, "/曲"), "");
  EXPECT_EQ(fake.request.selected_filter, Q("BMSファイル (*.bms)"));
  fake.file_answer = Q("/曲/ファイル.bms");
  EXPECT_EQ(SaveFileDialog(nullptr, kBmsFilter, ""), "/曲/ファイル.bms");
  EXPECT_STREQ(fake.kind, "save");
  EXPECT_TRUE(fake.request.default_suffix.isEmpty());
  // A suffix given reaches the dialog, which adds it before asking about overwriting.
  SaveFileDialog(nullptr, kBmsFilter, "", "bpl");
  EXPECT_EQ(fake.request.default_suffix, Q("bpl"));
}

}  // namespace
}  // namespace quillon
