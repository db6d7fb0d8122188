#include "dialogs/property_dialog.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDateTime>
#include <QFontDatabase>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <functional>
#include <optional>
#include <string>
#include <utility>

#include "chart/header_scan.h"
#include "chart/numbers.h"
#include "chart/text_util.h"
#include "platform/file_manager.h"
#include "platform/surface.h"
#include "platform/text_encoding.h"
#include "video/movie.h"

namespace quillon {
namespace {

QString Utf8(const char* text) {
  return QString::fromUtf8(text);
}
QString Utf8(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// The area of a stage picture that is shown, scaled down to the stage picture box.
constexpr int kStageSourceWidth = 640;
constexpr int kStageSourceHeight = 480;

// A picture box: paints an image the dialog owns, at its natural size.
class ImageBox : public QWidget {
 public:
  ImageBox(const QImage& image, QWidget* parent) : QWidget(parent), image_(image) {
    setFixedSize(image.size());
  }

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter painter(this);
    painter.drawImage(0, 0, image_);
  }

 private:
  const QImage& image_;
};

// A file list whose items are picked by a click, or by moving the selection with the keys.
class PreviewList : public QListWidget {
 public:
  explicit PreviewList(QWidget* parent) : QListWidget(parent) {
    connect(this, &QListWidget::itemClicked, this, [this](QListWidgetItem* item) {
      if (on_pick) on_pick(item->text());
    });
  }

  std::function<void(const QString&)> on_pick;

 protected:
  void keyPressEvent(QKeyEvent* event) override {
    const int before = currentRow();
    QListWidget::keyPressEvent(event);
    if (currentRow() != before && currentItem() != nullptr && on_pick) {
      on_pick(currentItem()->text());
    }
  }
};

QImage BlackImage(QSize size) {
  QImage image(size, QImage::Format_RGB32);
  image.fill(qRgb(0, 0, 0));
  return image;
}

// The picture in a format the pixel transfers read.
QImage Readable(const QImage& picture) {
  switch (picture.format()) {
    case QImage::Format_RGB32:
    case QImage::Format_ARGB32:
    case QImage::Format_ARGB32_Premultiplied:
      return picture;
    default:
      return picture.convertToFormat(QImage::Format_RGB32);
  }
}

QString DateText(std::chrono::system_clock::time_point date) {
  // An unknown date (the file's time could not be read) shows nothing.
  if (date == std::chrono::system_clock::time_point{}) return {};
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(date.time_since_epoch());
  return QDateTime::fromMSecsSinceEpoch(ms.count()).toString(QStringLiteral("yyyy/MM/dd HH:mm:ss"));
}

// An id as the chart writes it: two base-36 characters up to ZZ, else two base-62 ones; "" for 0
// or an id no chart could name.
std::string IdText(int id) {
  static constexpr char kDigits[] =
      "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
  if (id <= 0 || id >= kIdCount62) return {};
  const int base = id < kIdCount36 ? 36 : 62;
  return {kDigits[id / base], kDigits[id % base]};
}

// A caption and its read-only text box, the box `span` columns wide.
QLineEdit* AddField(QGridLayout* grid, int row, std::string_view caption, const char* name,
                    int span = 1) {
  auto* field = new QLineEdit;
  field->setObjectName(Utf8(name));
  field->setReadOnly(true);
  grid->addWidget(new QLabel(Utf8(caption)), row, 0);
  grid->addWidget(field, row, 1, 1, span);
  return field;
}

QLabel* AddScoreRow(QGridLayout* grid, int row, std::string_view caption, const char* name) {
  auto* label = new QLabel(Utf8(caption));
  label->setObjectName(QStringLiteral("lblCap%1").arg(row));
  auto* value = new QLabel(QStringLiteral("0"));
  value->setObjectName(Utf8(name));
  value->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  value->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  value->setMinimumWidth(120);
  grid->addWidget(label, row, 0);
  grid->addWidget(value, row, 1);
  return value;
}

QPushButton* AddButton(QHBoxLayout* bar, const char* name, std::string_view caption) {
  auto* button = new QPushButton(Utf8(caption));
  button->setObjectName(Utf8(name));
  bar->addWidget(button);
  return button;
}

}  // namespace

PropertyDialog::~PropertyDialog() = default;

int PreviewItemId(std::string_view item) {
  const std::optional<int> id = ReadWhole<int>("&H" + std::string(Left(item, 2)));
  return id.value_or(0);
}

PropertyDialog::PropertyDialog(PropertyHost& host, QWidget* parent, UiLanguage language)
    : QWidget(parent, Qt::Window),
      host_(host),
      language_(language),
      stage_picture_(BlackImage(kStagePictureSize)),
      preview_(BlackImage(kPreviewSize)) {
  setObjectName(QStringLiteral("frmProperty"));
  setWindowTitle(QStringLiteral("BMS Property"));
  preview_timer_ = new QTimer(this);
  preview_timer_->setInterval(33);
  connect(preview_timer_, &QTimer::timeout, this, [this] { StepMoviePreview(); });

  tabs_ = new QTabWidget(this);
  tabs_->setObjectName(QStringLiteral("tabSelect"));
  const StringTable strings(language_);
  tabs_->addTab(BuildInfoTab(), Utf8(strings.Get(2200)));
  tabs_->addTab(BuildFilesTab(), Utf8(strings.Get(2201)));
  tabs_->addTab(BuildScoreTab(), Utf8(strings.Get(2202)));
  tabs_->addTab(BuildTextTab(), Utf8(strings.Get(2203)));
  for (int i = 0; i < kTabCount; ++i)
    tabs_->widget(i)->setObjectName(QStringLiteral("picTabs%1").arg(i));
  connect(tabs_, &QTabWidget::currentChanged, this, [this](int index) { OnTabChanged(index + 1); });

  auto* bar = new QHBoxLayout;
  bar->addStretch(1);
  open_folder_ = AddButton(bar, "cmdOpenFold", strings.Get(2204));
  close_ = AddButton(bar, "cmdClose", strings.Get(2105));
  connect(open_folder_, &QPushButton::clicked, this, [this] { OpenFolder(file_name_->text()); });
  connect(close_, &QPushButton::clicked, this, &QWidget::close);

  auto* column = new QVBoxLayout(this);
  column->addWidget(tabs_, 1);
  column->addLayout(bar);

  // The dialog looks at the tab keys before whichever control has the focus.
  for (QWidget* child : findChildren<QWidget*>())
    child->installEventFilter(this);
}

QWidget* PropertyDialog::BuildInfoTab() {
  auto* panel = new QWidget;
  auto* grid = new QGridLayout(panel);
  file_name_ = new QLineEdit;
  file_name_->setObjectName(QStringLiteral("txtFileName"));
  file_name_->setReadOnly(true);
  grid->addWidget(file_name_, 0, 0, 1, 3);

  const StringTable strings(language_);
  const auto add = [&](int row, int text_id, const char* name, int span = 1) {
    AddField(grid, row, strings.Get(text_id), name, span);
  };
  add(1, 2205, "txtGenre");
  add(2, 2206, "txtTitle");
  add(3, 2207, "txtSubTitle");
  add(4, 2208, "txtArtist");
  add(5, 2209, "txtSubArtist");
  add(6, 2210, "txtPlaylevel");
  add(7, 2211, "txtRank");
  add(8, 2212, "txtPlayer");
  AddField(grid, 9, "BPM :", "txtBPM");
  add(10, 2213, "txtTotal");
  add(11, 2214, "txtDifficulty");
  add(12, 2215, "txtDate");

  grid->addWidget(new QLabel(Utf8(strings.Get(2216))), 13, 0);
  auto* boxes = new QHBoxLayout;
  constexpr std::array<std::pair<const char*, const char*>, 5> kAttributes{{
      {"chkBGA", "BGA"},
      {"chkLayer", "Layer"},
      {"chkMIDI", "MIDI"},
      {"chk7Line", "7Line"},
      {"chkRandom", "Random"},
  }};
  for (size_t i = 0; i < kAttributes.size(); ++i) {
    auto* box = new QCheckBox(Utf8(kAttributes[i].second));
    box->setObjectName(Utf8(kAttributes[i].first));
    // They show the chart's attributes; the user cannot change them.
    box->setAttribute(Qt::WA_TransparentForMouseEvents);
    box->setFocusPolicy(Qt::NoFocus);
    boxes->addWidget(box);
    attributes_[i] = box;
  }
  boxes->addStretch(1);
  grid->addLayout(boxes, 13, 1, 1, 2);

  AddField(grid, 14, "E-Mail :", "txtEMail", 2);
  AddField(grid, 15, "URL :", "Text1", 2);
  for (int row = 16; row <= 21; ++row) {
    constexpr const char* kNames[] = {"txtStageFile", "txtBanner", "txtPreview",
                                      "txtLnType",    "txtLnObj",  "txtLnMode"};
    add(row, 2217 + row - 16, kNames[row - 16], 2);
  }

  stage_box_ = new ImageBox(stage_picture_, panel);
  stage_box_->setObjectName(QStringLiteral("picStageBMP"));
  grid->addWidget(stage_box_, 1, 2, 6, 1, Qt::AlignTop | Qt::AlignRight);
  grid->setColumnStretch(1, 1);
  grid->setRowStretch(22, 1);
  return panel;
}

QWidget* PropertyDialog::BuildFilesTab() {
  auto* panel = new QWidget;
  auto* grid = new QGridLayout(panel);
  auto* mode_row = new QHBoxLayout;
  auto* group = new QButtonGroup(panel);
  constexpr std::array<const char*, 2> kModes{"WAV", "BMP"};
  for (int i = 0; i < 2; ++i) {
    auto* mode = new QRadioButton(Utf8(kModes[static_cast<size_t>(i)]));
    mode->setObjectName(QStringLiteral("optMode%1").arg(i));
    group->addButton(mode, i);
    mode_row->addWidget(mode);
    modes_[static_cast<size_t>(i)] = mode;

    auto* list = new PreviewList(panel);
    list->setObjectName(QStringLiteral("lstPrevItems%1").arg(i));
    list->on_pick = [this](const QString& item) { Preview(item); };
    grid->addWidget(list, 1, 0);  // both lists at the same place
    lists_[static_cast<size_t>(i)] = list;
  }
  mode_row->addStretch(1);
  grid->addLayout(mode_row, 0, 0, 1, 2);
  connect(group, &QButtonGroup::idToggled, this, [this](int id, bool on) {
    if (on) ChooseMode(id);
  });
  modes_[0]->setChecked(true);  // shows the sound list

  preview_box_ = new ImageBox(preview_, panel);
  preview_box_->setObjectName(QStringLiteral("picPrev"));
  grid->addWidget(preview_box_, 1, 1, Qt::AlignTop);
  grid->setColumnStretch(0, 1);
  return panel;
}

QWidget* PropertyDialog::BuildScoreTab() {
  auto* panel = new QWidget;
  auto* grid = new QGridLayout(panel);
  const StringTable strings(language_);
  current_points_ = AddScoreRow(grid, 0, strings.Get(2223), "lblCurPts");
  key_points_ = AddScoreRow(grid, 1, strings.Get(2224), "lblKeyPts");
  total_notes_ = AddScoreRow(grid, 2, "Total Notes", "lblTNotes");
  played_notes_ = AddScoreRow(grid, 3, "Played Notes", "lblPNotes");
  grid->setColumnStretch(2, 1);
  grid->setRowStretch(4, 1);
  return panel;
}

QWidget* PropertyDialog::BuildTextTab() {
  auto* panel = new QWidget;
  auto* column = new QVBoxLayout(panel);
  chart_text_ = new QPlainTextEdit;
  chart_text_->setObjectName(QStringLiteral("txtBMS"));
  chart_text_->setReadOnly(true);
  chart_text_->setLineWrapMode(QPlainTextEdit::NoWrap);
  chart_text_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  column->addWidget(chart_text_);
  return panel;
}

void PropertyDialog::FillProperties(const BmsHeader& header) {
  attributes_[0]->setChecked(header.HasBga);
  attributes_[1]->setChecked(header.HasLayer);
  attributes_[2]->setChecked(header.HasMidiFile);
  attributes_[3]->setChecked(header.SevenKeys);
  attributes_[4]->setChecked(header.HasRandom);

  auto set = [this](const char* name, const QString& text) {
    Control<QLineEdit>(Utf8(name))->setText(text);
  };
  set("txtFileName", Utf8(DisplayPath(header.FilePath)));
  set("txtArtist", Utf8(header.Artist));
  set("txtBPM", QString::number(header.Bpm));
  set("txtDate", DateText(header.FileDate));
  set("txtGenre", Utf8(header.Genre));
  set("txtPlayer", Utf8(PlayerText(header.Player)));
  if (const std::optional<std::string> stars = LevelStars(header.PlayLevel)) {
    set("txtPlaylevel", Utf8(*stars));
  }
  set("txtRank", Utf8(RankText(header.Rank)));
  set("txtTitle", Utf8(header.Title));
  set("txtEMail", Utf8(header.Email));
  set("Text1", Utf8(header.Url));
  // The extended reading's fields; a number not given (0) shows nothing.
  const auto number = [](double value) { return value == 0 ? QString() : QString::number(value); };
  set("txtSubTitle", Utf8(header.SubTitle));
  set("txtSubArtist", Utf8(header.SubArtist));
  set("txtTotal", number(header.Total));
  set("txtDifficulty", number(header.Difficulty));
  set("txtStageFile", Utf8(header.StageFile));
  set("txtBanner", Utf8(header.Banner));
  set("txtPreview", Utf8(header.Preview));
  set("txtLnType", number(header.LnType));
  set("txtLnObj", Utf8(IdText(header.LnObj)));
  set("txtLnMode", number(header.LnMode));
}

void PropertyDialog::ShowStagePicture(const QImage* picture) {
  stage_picture_.fill(qRgb(0, 0, 0));
  if (picture != nullptr && !picture->isNull()) {
    const QImage source = Readable(*picture);
    StretchBlt(&stage_picture_, 0, 0, kStagePictureSize.width(), kStagePictureSize.height(),
               &source, 0, 0, kStageSourceWidth, kStageSourceHeight, RasterOp::Copy);
  }
  stage_box_->update();
}

void PropertyDialog::SetChartText(std::string_view text) {
  QString lines = Utf8(text);
  lines.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  lines.replace(QLatin1Char('\r'), QLatin1Char('\n'));
  chart_text_->setPlainText(lines);
}

void PropertyDialog::ClearFileLists() {
  StopMoviePreview();
  // The next chart's files may have the same names: the old decoder is not kept.
  preview_movie_.reset();
  for (QListWidget* list : lists_)
    list->clear();
}

void PropertyDialog::AddSoundFile(std::string_view item) {
  lists_[0]->addItem(Utf8(item));
}

void PropertyDialog::AddPictureFile(std::string_view item) {
  // A movie's item is long ("04:BGA.MP4 (640x480, 1:05.2, 29.97 fps)"): the whole of it also
  // shows as the item's tooltip.
  lists_[1]->addItem(Utf8(item));
  lists_[1]->item(lists_[1]->count() - 1)->setToolTip(Utf8(item));
}

void PropertyDialog::ShowNoteCount(int32_t note_count, double score_per_note) {
  total_notes_->setText(QString::number(note_count));
  // Without notes there are no points to share out: the labels read 0.
  int64_t per_key = 0;
  if (note_count > 0 && std::isfinite(score_per_note) && score_per_note >= 0.0 &&
      score_per_note < 1e15) {
    per_key = static_cast<int64_t>(std::floor(score_per_note));
  }
  key_points_->setText(QString::number(per_key));
}

void PropertyDialog::ShowPlayCounts(int32_t played, std::string_view score) {
  played_notes_->setText(QString::number(played));
  current_points_->setText(Utf8(score));
}

void PropertyDialog::SelectTab(int number) {
  if (number < 1 || number > kTabCount) return;
  if (tabs_->currentIndex() != number - 1) {
    tabs_->setCurrentIndex(number - 1);  // the change signal runs the tab change
  } else {
    OnTabChanged(number);
  }
}

void PropertyDialog::OnTabChanged(int number) {
  selected_tab_ = number;
  score_tab_visible_ = number == kScoreTab;
}

void PropertyDialog::StepTab(int delta) {
  SelectTab((selected_tab_ - 1 + delta + kTabCount) % kTabCount + 1);
}

bool PropertyDialog::HandleTabKey(const QKeyEvent& key) {
  const Qt::KeyboardModifiers mods = key.modifiers() & ~Qt::KeypadModifier;
  if (key.key() == Qt::Key_Tab && mods == Qt::ControlModifier) {
    StepTab(1);
    return true;
  }
  // Shift+Tab arrives as Backtab.
  if ((key.key() == Qt::Key_Backtab || key.key() == Qt::Key_Tab) &&
      mods == (Qt::ControlModifier | Qt::ShiftModifier)) {
    StepTab(-1);
    return true;
  }
  return false;
}

bool PropertyDialog::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::KeyPress && HandleTabKey(*static_cast<QKeyEvent*>(event))) {
    return true;
  }
  return QWidget::eventFilter(watched, event);
}

void PropertyDialog::keyPressEvent(QKeyEvent* event) {
  if (HandleTabKey(*event)) return;
  QWidget::keyPressEvent(event);
}

void PropertyDialog::ChooseMode(int mode) {
  for (int i = 0; i < 2; ++i)
    lists_[static_cast<size_t>(i)]->setVisible(i == mode);
}

void PropertyDialog::Preview(const QString& item) {
  const int id = PreviewItemId(item.toStdString());
  StopMoviePreview();
  if (modes_[0]->isChecked()) {
    host_.PlayPreviewSound(id);
    return;
  }
  // The picture's top-left corner, unscaled; what it does not cover stays black.
  preview_.fill(qRgb(0, 0, 0));
  if (const QImage* picture = host_.PreviewPicture(id); picture != nullptr && !picture->isNull()) {
    const QImage source = Readable(*picture);
    BitBlt(&preview_, 0, 0, kPreviewSize.width(), kPreviewSize.height(), &source, 0, 0,
           RasterOp::Copy);
  }
  preview_box_->update();
  // A movie plays on from its first frame, which the picture above is.
  const std::string movie = host_.PreviewMovie(id);
  if (movie.empty()) return;
  if (!preview_movie_) preview_movie_ = std::make_unique<MoviePlayer>();
  preview_movie_->Bind(movie);
  preview_clock_.start();
  preview_timer_->start();
}

void PropertyDialog::StepMoviePreview() {
  const qint64 elapsed = preview_clock_.elapsed();
  if (preview_movie_ &&
      preview_movie_->Show(static_cast<double>(std::min<qint64>(elapsed, kMoviePreviewMs)),
                           preview_frame_)) {
    BitBlt(&preview_, 0, 0, kPreviewSize.width(), kPreviewSize.height(), &preview_frame_, 0, 0,
           RasterOp::Copy);
    preview_box_->update();
  }
  if (elapsed > kMoviePreviewMs + 500) StopMoviePreview();
}

void PropertyDialog::StopMoviePreview() {
  preview_timer_->stop();
  if (preview_movie_) preview_movie_->Park();
}

bool PropertyDialog::OpenFolder(const QString& chart_path) {
  return ShowInFileManager(chart_path);
}

void PropertyDialog::closeEvent(QCloseEvent* event) {
  score_tab_visible_ = false;
  StopMoviePreview();
  if (final_close_) {
    event->accept();
    return;
  }
  event->ignore();
  hide();
  host_.PropertyClosed();
}

}  // namespace quillon
