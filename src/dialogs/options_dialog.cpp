#include "dialogs/options_dialog.h"

#include <QCheckBox>
#include <QColor>
#include <QFont>
#include <QFontMetrics>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPainter>
#include <QPushButton>
#include <QScrollBar>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>
#include <optional>
#include <string>

#include "chart/numbers.h"
#include "platform/common_dialog.h"
#include "platform/gradient_text.h"

namespace quillon {
namespace {

// The sleep bar runs upside down: position p shows kSleepTop − p.
constexpr int kSleepTop = 50;
constexpr QSize kPreviewSize{400, 76};
// Font sizes beyond this (only a hand-edited settings file has them) are shown at this size; the
// stored size is kept as it is.
constexpr double kLargestShownPoints = 144;

QString Utf8(const char* text) {
  return QString::fromUtf8(text);
}

// The font a title row is shown in, on its button and in the preview.
QFont RowFont(const TitleLineStyle& row) {
  QFont font;
  font.setFamilies({QString::fromStdString(row.Font)});
  if (row.Size > 0) font.setPointSizeF(std::min<double>(row.Size, kLargestShownPoints));
  font.setBold(row.Bold);
  font.setItalic(row.Italic);
  return font;
}

// The whole points the font dialog is preset with (halves to even); 0 leaves its default.
int32_t WholePoints(float size) {
  if (!(size > 0)) return 0;
  return ToWhole<int32_t>(size).value_or(0);
}

// The picture box picPrev: shows the preview picture as it is.
class PreviewBox : public QWidget {
 public:
  PreviewBox(const QImage& image, QWidget* parent) : QWidget(parent), image_(image) {
    setFixedSize(image.size() + QSize(2, 2));
  }

 protected:
  void paintEvent(QPaintEvent* /*event*/) override {
    QPainter painter(this);
    painter.setPen(palette().color(QPalette::Dark));
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
    painter.drawImage(1, 1, image_);
  }

 private:
  const QImage& image_;
};

QCheckBox* AddCheckBox(QVBoxLayout* column, const char* name, const std::string& caption,
                       const std::string& tooltip) {
  auto* box = new QCheckBox(QString::fromStdString(caption));
  box->setObjectName(Utf8(name));
  box->setToolTip(QString::fromStdString(tooltip));
  column->addWidget(box);
  return box;
}

QPushButton* MakeButton(const QString& name, const QString& caption = {}) {
  auto* button = new QPushButton(caption);
  button->setObjectName(name);
  button->setAutoDefault(false);
  return button;
}

void ShowColour(QPushButton* button, int32_t bgr) {
  button->setStyleSheet(
      QStringLiteral("QPushButton { background-color: %1; border: 1px solid palette(dark); }"
                     "QPushButton:focus { border: 2px solid palette(highlight); }")
          .arg(ColorFromBgr(bgr).name()));
}

}  // namespace

OptionsDialog::OptionsDialog(OptionsHost& host, ProgramSettings& settings, SettingsStore& store,
                             QWidget* parent, UiLanguage language)
    : QDialog(parent),
      host_(host),
      settings_(settings),
      store_(store),
      preview_(kPreviewSize, QImage::Format_RGB32) {
  setObjectName(QStringLiteral("frmOption"));
  setWindowTitle(QString::fromStdString(StringTable(language).Get(2000)));
  setAttribute(Qt::WA_DeleteOnClose);
  BuildLayout(language);
  LoadControls();
}

void OptionsDialog::BuildLayout(UiLanguage language) {
  const StringTable strings(language);
  const auto text = [&strings](int id) { return QString::fromStdString(strings.Get(id)); };
  auto* extended = new QGroupBox(text(2001));
  extended->setObjectName(QStringLiteral("frmSep0"));
  auto* checks = new QVBoxLayout(extended);
  checks->setSpacing(4);
  no_scroll_title_ = AddCheckBox(checks, "chkNoScrTitle", strings.Get(2002), strings.Get(2003));
  not_use_mm_timer_ = AddCheckBox(checks, "chkNotUseMMTimer", strings.Get(2004), strings.Get(2005));
  susie_ = AddCheckBox(checks, "chkSusie", strings.Get(2006), strings.Get(2007));
  auto_end_ = AddCheckBox(checks, "chkAutoEnd", strings.Get(2008), strings.Get(2009));
  minimize_sleep_ = AddCheckBox(checks, "chkMinimizeSleep", strings.Get(2010), strings.Get(2011));

  // The sleep value sits under its box, indented like the box's caption.
  sleep_bar_ = new QScrollBar(Qt::Vertical);
  sleep_bar_->setObjectName(QStringLiteral("vscSleep"));
  sleep_bar_->setRange(0, kSleepTop);
  sleep_bar_->setSingleStep(1);
  sleep_bar_->setPageStep(5);
  sleep_bar_->setFixedHeight(44);
  sleep_label_ = new QLabel;
  sleep_label_->setObjectName(QStringLiteral("lblSleep"));
  sleep_label_->setMinimumWidth(
      QFontMetrics(sleep_label_->font()).horizontalAdvance(QStringLiteral("0000")));
  connect(sleep_bar_, &QScrollBar::valueChanged, this, [this](int v) { OnSleepMoved(v); });
  auto* sleep_row = new QHBoxLayout;
  sleep_row->setContentsMargins(22, 0, 0, 0);
  sleep_row->addWidget(sleep_bar_);
  sleep_row->addWidget(sleep_label_);
  sleep_row->addStretch(1);
  checks->addLayout(sleep_row);
  // Which reading the next load uses.
  extended_ = AddCheckBox(checks, "chkExtended", strings.Get(27), strings.Get(2012));

  auto* title = new QGroupBox(text(2013));
  title->setObjectName(QStringLiteral("frmSep1"));
  auto* grid = new QGridLayout;
  grid->setHorizontalSpacing(6);
  grid->setVerticalSpacing(4);
  grid->addWidget(new QLabel(text(2014)), 0, 1, Qt::AlignHCenter);
  grid->addWidget(new QLabel(text(2015)), 0, 2, 1, 2, Qt::AlignHCenter);
  for (int i = 0; i < 3; ++i) {
    const auto at = static_cast<size_t>(i);
    auto* caption = new QLabel(text(2016 + i));
    caption->setObjectName(QStringLiteral("lblInfo%1").arg(i));
    grid->addWidget(caption, i + 1, 0);

    QPushButton* font = MakeButton(QStringLiteral("cmdFont%1").arg(i));
    font->setMinimumWidth(200);
    font->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    connect(font, &QPushButton::clicked, this, [this, i] { ChooseFont(i); });
    font_buttons_[at] = font;
    grid->addWidget(font, i + 1, 1);

    QPushButton* start = MakeButton(QStringLiteral("cmdStart%1").arg(i));
    QPushButton* end = MakeButton(QStringLiteral("cmdEnd%1").arg(i));
    for (QPushButton* colour : {start, end})
      colour->setFixedSize(40, 24);
    connect(start, &QPushButton::clicked, this, [this, i] { ChooseColour(i, false); });
    connect(end, &QPushButton::clicked, this, [this, i] { ChooseColour(i, true); });
    start_buttons_[at] = start;
    end_buttons_[at] = end;
    grid->addWidget(start, i + 1, 2, Qt::AlignVCenter);
    grid->addWidget(end, i + 1, 3, Qt::AlignVCenter);
  }
  grid->setColumnStretch(1, 1);

  preview_box_ = new PreviewBox(preview_, title);
  preview_box_->setObjectName(QStringLiteral("picPrev"));
  auto* title_column = new QVBoxLayout(title);
  title_column->addLayout(grid);
  title_column->addWidget(preview_box_, 0, Qt::AlignHCenter);

  QPushButton* ok = MakeButton(QStringLiteral("cmdOK"), QStringLiteral("OK"));
  ok->setDefault(true);
  QPushButton* cancel = MakeButton(QStringLiteral("cmdCancel"), QStringLiteral("Cancel"));
  for (QPushButton* button : {ok, cancel})
    button->setMinimumWidth(88);
  connect(ok, &QPushButton::clicked, this, [this] { StoreAndClose(); });
  // Cancel, Esc and the close box all drop what was changed.
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(ok);
  buttons->addWidget(cancel);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(extended);
  layout->addWidget(title);
  layout->addLayout(buttons);
  layout->setSizeConstraint(QLayout::SetFixedSize);
}

void OptionsDialog::LoadControls() {
  rows_ = settings_.InfoLines;
  for (int i = 0; i < 3; ++i)
    ShowRow(i);

  // The sleep pair shows what is stored, which may differ from what is in force.
  const std::optional<double> sleep_on = ReadLeadingNumber(
      store_.Read(kSettingSection, "MinimizeSleep").value_or(OptionFlagText(true)));
  minimize_sleep_->setChecked(sleep_on ? *sleep_on != 0 : settings_.MinimizeSleep);
  const std::optional<double> sleep_time =
      ReadNumberValue(store_.Read(kSettingSection, "MinimizeSleepTime").value_or("50"));
  sleep_time_ = (sleep_time ? ToWhole<int32_t>(*sleep_time) : std::nullopt)
                    .value_or(settings_.MinimizeSleepTime);
  // A stored time outside the bar's range is shown and kept as it is; the bar stands at its end.
  {
    const QSignalBlocker quiet(sleep_bar_);
    sleep_bar_->setValue(kSleepTop - std::clamp(sleep_time_, 0, kSleepTop));
  }
  sleep_label_->setText(QString::number(sleep_time_));

  // The four flags show the values in force.
  not_use_mm_timer_->setChecked(settings_.NotUseMMTimer);
  auto_end_->setChecked(settings_.AutoEnd);
  susie_->setChecked(settings_.UseSusie);
  no_scroll_title_->setChecked(settings_.NotScrollTitle);
  extended_->setChecked(settings_.ExtendedCommands);

  UpdatePRev();
}

void OptionsDialog::ShowRow(int row) {
  const auto at = static_cast<size_t>(row);
  const TitleLineStyle& style = rows_[at];
  font_buttons_[at]->setText(QString::fromStdString(style.Font));
  font_buttons_[at]->setFont(RowFont(style));
  ShowColour(start_buttons_[at], style.Start);
  ShowColour(end_buttons_[at], style.End);
}

void OptionsDialog::UpdatePRev() {
  preview_.fill(Qt::black);
  PrintTarget target;
  target.Image = &preview_;
  target.Font = QFont(QStringLiteral("Arial"), 9);
  for (const TitleLineStyle& row : rows_) {
    target.Font = RowFont(row);
    const QString name = QString::fromStdString(row.Font);
    if (name.isEmpty()) {
      // Nothing to print, but the row keeps its line so the rows below stay in place.
      target.CurrentY += QFontMetrics(target.Font, &preview_).lineSpacing();
      continue;
    }
    DrawGradientText(target, name, row.Start, row.End, /*keep_size=*/true);
  }
  if (preview_box_ != nullptr) preview_box_->update();
}

void OptionsDialog::ChooseFont(int row) {
  TitleLineStyle& style = rows_[static_cast<size_t>(row)];
  C_CommonDialog dialog;
  dialog.setHwndOwner(this);
  dialog.setFlags(1);  // screen fonts
  dialog.setCancelError(true);
  dialog.setFontName(style.Font);
  dialog.setFontSize(WholePoints(style.Size));
  dialog.setFontBold(style.Bold);
  dialog.setFontItalic(style.Italic);
  if (dialog.ShowFont() == kCancelError || dialog.APIReturn() != 1) return;
  style.Font = dialog.FontName();
  style.Size = static_cast<float>(dialog.FontSize());
  style.Bold = dialog.FontBold();
  style.Italic = dialog.FontItalic();
  ShowRow(row);
  UpdatePRev();
}

void OptionsDialog::ChooseColour(int row, bool end_colour) {
  TitleLineStyle& style = rows_[static_cast<size_t>(row)];
  int32_t& colour = end_colour ? style.End : style.Start;
  C_CommonDialog dialog;
  dialog.setHwndOwner(this);
  dialog.setCancelError(true);
  dialog.setColor(colour);
  dialog.ShowColor();
  // The colour dialog reports a cancel only through APIReturn.
  if (dialog.APIReturn() != 1) return;
  colour = dialog.Color();
  ShowRow(row);
  UpdatePRev();
}

void OptionsDialog::OnSleepMoved(int position) {
  sleep_time_ = kSleepTop - position;
  sleep_label_->setText(QString::number(sleep_time_));
}

void OptionsDialog::StoreAndClose() {
  settings_.InfoLines = rows_;
  WriteInfoLines(store_, rows_);

  settings_.MinimizeSleep = minimize_sleep_->isChecked();
  settings_.MinimizeSleepTime = sleep_time_;
  settings_.NotUseMMTimer = not_use_mm_timer_->isChecked();
  settings_.AutoEnd = auto_end_->isChecked();
  settings_.UseSusie = susie_->isChecked();
  settings_.NotScrollTitle = no_scroll_title_->isChecked();
  settings_.ExtendedCommands = extended_->isChecked();
  WriteOptionSettings(store_, settings_);

  // A file that cannot be written is reported; the settings are in force all the same and stay
  // pending in the store, so a later write may still save them.
  std::string error;
  if (!store_.Sync(&error)) ShowError(QString::fromStdString(error));

  host_.TitleSettingsChanged();
  host_.SetTitleScroll(!settings_.NotScrollTitle);
  accept();
}

void OptionsDialog::ShowError(const QString& text) {
  QMessageBox::warning(this, windowTitle(), text);
}

}  // namespace quillon
