#include "dialogs/control_panel.h"

#include "playback/tempo_text.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QListView>
#include <QPushButton>
#include <QScrollBar>
#include <QVBoxLayout>

#include "settings/settings_table.h"

namespace quillon {
namespace {

// An element box: the program may grey it, but a click only ever ticks or unticks it, and a
// greyed box (which counts as ticked) unticks.
class ElementBox : public QCheckBox {
 public:
  explicit ElementBox(QWidget* parent = nullptr) : QCheckBox(parent) { setTristate(true); }

 protected:
  void nextCheckState() override {
    setCheckState(checkState() == Qt::Unchecked ? Qt::Checked : Qt::Unchecked);
  }
};

Qt::CheckState ToCheckState(int state) {
  if (state == panel::kTicked) return Qt::Checked;
  if (state == panel::kGreyed) return Qt::PartiallyChecked;
  return Qt::Unchecked;
}

int FromCheckState(Qt::CheckState state) {
  if (state == Qt::Checked) return panel::kTicked;
  if (state == Qt::PartiallyChecked) return panel::kGreyed;
  return panel::kUnticked;
}

QScrollBar* MakeBar(int maximum, int position) {
  auto* bar = new QScrollBar(Qt::Vertical);
  bar->setRange(0, maximum);
  bar->setSingleStep(1);
  bar->setPageStep(1);
  bar->setValue(position);
  bar->setFixedHeight(120);
  return bar;
}

// A captioned frame around a bar and the label under it.
QGroupBox* BarFrame(const QString& caption, QScrollBar* bar, QLabel* label) {
  auto* frame = new QGroupBox(caption);
  auto* column = new QVBoxLayout(frame);
  column->addWidget(bar, 0, Qt::AlignHCenter);
  label->setAlignment(Qt::AlignCenter);
  column->addWidget(label);
  return frame;
}

constexpr const char* kSizeCaptions[] = {"50%", "100%", "200%"};

}  // namespace

ControlPanel::ControlPanel(ControlPanelHost& host, ElementFlags& flags, SettingsStore& settings,
                           const StringTable& strings, QWidget* parent)
    : QWidget(parent, Qt::Tool), host_(host), flags_(flags), settings_(settings) {
  setObjectName(QStringLiteral("frmTBar"));
  setWindowTitle(QStringLiteral("Control Panel"));
  BuildLayout();

  const panel::ElementStates states = panel::StatesFromStore(ReadShowItems(settings_));
  for (int i = 0; i < panel::kElementCount; ++i) {
    elements_[static_cast<size_t>(i)]->setCheckState(ToCheckState(states[static_cast<size_t>(i)]));
    flags_.Items[static_cast<size_t>(i)] = panel::Ticked(states[static_cast<size_t>(i)]);
  }
  Changelang(strings);
  quiet_ = false;
  RunElementChange();
}

void ControlPanel::BuildLayout() {
  auto* element_column = new QVBoxLayout;
  element_column->setSpacing(2);
  for (int i = 0; i < panel::kElementCount; ++i) {
    auto* box = new ElementBox;
    box->setObjectName(QStringLiteral("chkElm%1").arg(i));
    connect(box, &QCheckBox::stateChanged, this, [this] { RunElementChange(); });
    elements_[static_cast<size_t>(i)] = box;
    element_column->addWidget(box);
  }
  element_column->addStretch();

  tempo_box_ = new QComboBox;
  tempo_box_->setObjectName(QStringLiteral("cmbBPM"));
  tempo_box_->setEditable(true);
  tempo_box_->setInsertPolicy(QComboBox::NoInsert);
  // Typing, choosing an item (even the one already shown) and scrolling the list all apply the
  // box's tempo.
  connect(tempo_box_, &QComboBox::editTextChanged, this, [this] { RunTempoChange(); });
  connect(tempo_box_, &QComboBox::activated, this, [this] { RunTempoChange(); });
  connect(tempo_box_->view()->verticalScrollBar(), &QScrollBar::valueChanged, this,
          [this] { RunTempoChange(); });
  auto* tempo_frame = new QGroupBox(QStringLiteral("BPM"));
  auto* tempo_row = new QVBoxLayout(tempo_frame);
  tempo_row->addWidget(tempo_box_);

  zoom_bar_ = MakeBar(panel::kZoomPositions, panel::kZoomStartPosition);
  zoom_bar_->setObjectName(QStringLiteral("vscZoom"));
  zoom_label_ = new QLabel(
      QString::fromStdString(panel::ZoomLabel(panel::ZoomAtPosition(panel::kZoomStartPosition))));
  zoom_label_->setObjectName(QStringLiteral("lblZoom"));
  connect(zoom_bar_, &QScrollBar::valueChanged, this, [this](int v) { OnZoomMoved(v); });

  sleep_bar_ = MakeBar(panel::kSleepPositions, panel::kSleepStartPosition);
  sleep_bar_->setObjectName(QStringLiteral("vscSleep"));
  sleep_label_ = new QLabel(QString::number(panel::SleepAtPosition(panel::kSleepStartPosition)));
  sleep_label_->setObjectName(QStringLiteral("lblSleep"));
  connect(sleep_bar_, &QScrollBar::valueChanged, this, [this](int v) { OnSleepMoved(v); });

  auto* bars = new QHBoxLayout;
  // The captions of the zoom and size frames come from the string table (Changelang).
  zoom_frame_ = BarFrame({}, zoom_bar_, zoom_label_);
  bars->addWidget(zoom_frame_);
  bars->addWidget(BarFrame(QStringLiteral("Sleep"), sleep_bar_, sleep_label_));

  size_frame_ = new QGroupBox;
  auto* size_row = new QHBoxLayout(size_frame_);
  for (int i = 0; i < 3; ++i) {
    auto* button = new QPushButton(QString::fromUtf8(kSizeCaptions[i]));
    button->setObjectName(QStringLiteral("cmdSize%1").arg(i));
    button->setAutoDefault(false);
    connect(button, &QPushButton::clicked, this, [this, i] { host_.ZoomWindow(i); });
    size_buttons_[static_cast<size_t>(i)] = button;
    size_row->addWidget(button);
  }

  auto* control_column = new QVBoxLayout;
  control_column->addWidget(tempo_frame);
  control_column->addLayout(bars);
  control_column->addWidget(size_frame_);
  control_column->addStretch();

  auto* top = new QHBoxLayout(this);
  top->addLayout(element_column);
  top->addLayout(control_column);
  top->setSizeConstraint(QLayout::SetFixedSize);
}

int ControlPanel::ElementState(int i) const {
  if (i < 0 || i >= panel::kElementCount) return panel::kUnticked;
  return FromCheckState(elements_[static_cast<size_t>(i)]->checkState());
}

panel::ElementStates ControlPanel::ElementStates() const {
  panel::ElementStates states{};
  for (int i = 0; i < panel::kElementCount; ++i)
    states[static_cast<size_t>(i)] = ElementState(i);
  return states;
}

void ControlPanel::SetElementState(int i, int state) {
  if (i < 0 || i >= panel::kElementCount) return;
  if (state < panel::kUnticked || state > panel::kGreyed) return;
  // The box's change signal runs the element change; setting the state it already has does not.
  elements_[static_cast<size_t>(i)]->setCheckState(ToCheckState(state));
}

void ControlPanel::ApplyChartKeys(bool seven_keys) {
  const int seven = static_cast<int>(Element::SevenLines);
  SetElementState(seven, seven_keys ? panel::kTicked : panel::kUnticked);
  Element(seven)->setEnabled(!seven_keys);
}

void ControlPanel::RunElementChange() {
  if (quiet_) return;
  const panel::ElementEffects effects = panel::ElementChange(ElementStates(), host_.IsPlaying());
  for (int i : panel::kDetailElements)
    Element(i)->setEnabled(effects.DetailsEnabled);
  host_.SetGaugeVisible(effects.GaugeVisible);
  host_.SetElementButtons(effects.ObjButton, effects.BgaButton, effects.PolyButton);
  host_.SetGaugeTimer(effects.GaugeTimer);
  host_.SetSevenKeys(effects.SevenKeys);
  host_.SetTickTimer(effects.TickTimer);
  flags_ = effects.Flags;
  if (effects.ShowStillPicture) host_.ShowStillPicture();
}

void ControlPanel::FillTempoBox(const std::vector<double>& items, double bpm, bool decimals) {
  quiet_ = true;
  decimal_tempos_ = decimals;
  tempo_box_->clear();
  for (double item : items)
    tempo_box_->addItem(QString::fromStdString(TempoText(item)));
  tempo_box_->setEditText(QString::fromStdString(TempoText(bpm)));
  quiet_ = false;
  RunTempoChange(/*by_user=*/false);
}

std::optional<double> ControlPanel::TempoValue() const {
  return panel::TempoBoxNumber(tempo_box_->currentText().toStdString());
}

void ControlPanel::RunTempoChange(bool by_user) {
  if (quiet_) return;
  if (const auto bpm =
          panel::TempoFromText(tempo_box_->currentText().toStdString(), decimal_tempos_)) {
    host_.ChangeTempo(*bpm, by_user);
  }
}

void ControlPanel::OnZoomMoved(int position) {
  const float zoom = panel::ZoomAtPosition(position);
  host_.SetZoom(zoom);
  zoom_label_->setText(QString::fromStdString(panel::ZoomLabel(zoom)));
  if (!host_.IsPlaying()) host_.ShowStillPicture();
  host_.ProcessEvents();
}

void ControlPanel::OnSleepMoved(int position) {
  const int32_t sleep = panel::SleepAtPosition(position);
  host_.SetFrameSleep(sleep);
  sleep_label_->setText(QString::number(sleep));
}

void ControlPanel::Changelang(const StringTable& strings) {
  for (int i = 0; i < panel::kElementCount; ++i)
    Element(i)->setText(QString::fromStdString(strings.Get(500 + i)));
  zoom_frame_->setTitle(QString::fromStdString(strings.Get(2300)));
  size_frame_->setTitle(QString::fromStdString(strings.Get(2301)));
}

void ControlPanel::closeEvent(QCloseEvent* event) {
  WriteShowItems(settings_, ElementStates());
  static_cast<void>(settings_.Sync());
  host_.PanelClosed();
  event->accept();
}

}  // namespace quillon
