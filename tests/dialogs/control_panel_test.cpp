#include "dialogs/control_panel.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTemporaryDir>
#include <memory>
#include <string>
#include <vector>

namespace quillon {
namespace {

using Calls = std::vector<std::string>;

std::string B(bool on) {
  return on ? "1" : "0";
}

// Records every call as a short text, in order.
class RecordingHost : public ControlPanelHost {
 public:
  void SetGaugeVisible(bool on) override { calls.push_back("gauge " + B(on)); }
  void SetElementButtons(bool o, bool b, bool p) override {
    calls.push_back("buttons " + B(o) + B(b) + B(p));
  }
  void SetGaugeTimer(bool on) override { calls.push_back("gauge timer " + B(on)); }
  void SetSevenKeys(bool on) override { calls.push_back("seven " + B(on)); }
  void SetTickTimer(bool on) override { calls.push_back("tick timer " + B(on)); }
  bool IsPlaying() const override { return playing; }
  void ShowStillPicture() override { calls.push_back("still"); }
  void ChangeTempo(double bpm, bool by_user) override {
    calls.push_back("tempo " + QString::number(bpm).toStdString() + (by_user ? " user" : " load"));
  }
  void SetZoom(float zoom) override { calls.push_back("zoom " + std::to_string(zoom)); }
  void SetFrameSleep(int32_t ms) override { calls.push_back("sleep " + std::to_string(ms)); }
  void ZoomWindow(int index) override { calls.push_back("size " + std::to_string(index)); }
  void PanelClosed() override { calls.push_back("closed"); }
  void ProcessEvents() override { calls.push_back("events"); }

  bool playing = false;
  Calls calls;
};

class ControlPanelTest : public testing::Test {
 protected:
  std::unique_ptr<ControlPanel> Open() {
    auto panel = std::make_unique<ControlPanel>(host, flags, store, strings);
    host.calls.clear();
    return panel;
  }
  std::string Stored(int i) const {
    return store.Read("Show", "Item" + std::to_string(i)).value_or("-");
  }

  QTemporaryDir dir;
  SettingsStore store{dir.filePath(QStringLiteral("Quillon.ini"))};
  StringTable strings{UiLanguage::English};
  RecordingHost host;
  ElementFlags flags;
};

TEST_F(ControlPanelTest, FirstStartTicksTheDesignedElementsAndTellsTheHost) {
  ControlPanel panel(host, flags, store, strings);
  EXPECT_EQ(host.calls,
            (Calls{"gauge 1", "buttons 111", "gauge timer 1", "seven 0", "tick timer 1", "still"}));
  for (int i = 0; i < panel::kElementCount; ++i) {
    const bool designed = i == 0 || i == 1 || i == 7 || i == 10;
    EXPECT_EQ(panel.Element(i)->checkState(), designed ? Qt::Checked : Qt::Unchecked) << i;
    EXPECT_EQ(flags.Items[static_cast<size_t>(i)], designed) << i;
    EXPECT_TRUE(panel.Element(i)->isEnabled()) << i;
  }
  EXPECT_EQ(panel.ZoomLabel()->text(), QStringLiteral("1x"));
  EXPECT_EQ(panel.SleepLabel()->text(), QStringLiteral("0"));
}

TEST_F(ControlPanelTest, StoredStatesOverrideTheDesignAndGreyCountsAsTicked) {
  for (const auto& [item, value] : {std::pair{0, "0"}, {10, "2"}, {3, "1"}, {1, "!"}, {7, "7"}})
    store.Write("Show", "Item" + std::to_string(item), value);
  auto panel = Open();
  EXPECT_EQ(panel->ElementStates(),
            (panel::ElementStates{0, 1, 0, 1, 0, 0, 0, 1, 0, 0, 2, 0, 0, 0}));
  EXPECT_TRUE(flags[Element::PolyGauge]);
  EXPECT_FALSE(panel->Element(3)->isEnabled());  // ticked, but Objects is off
  // A click on the greyed box unticks it.
  panel->Element(10)->click();
  EXPECT_EQ(panel->ElementState(10), panel::kUnticked);
}

TEST_F(ControlPanelTest, UntickingObjectsDisablesTheDetailElementsKeepingTheirStates) {
  auto panel = Open();
  panel->SetElementState(3, panel::kTicked);
  panel->SetElementState(0, panel::kUnticked);
  for (int i : {3, 6, 8})
    EXPECT_FALSE(panel->Element(i)->isEnabled()) << i;
  EXPECT_EQ(panel->ElementState(3), panel::kTicked);
  EXPECT_TRUE(flags[Element::Lines]);
  panel->Element(0)->click();
  EXPECT_TRUE(panel->Element(8)->isEnabled());
}

TEST_F(ControlPanelTest, EveryElementChangeAppliesAllEffectsInOrder) {
  auto panel = Open();
  panel->SetElementState(0, panel::kTicked);  // unchanged: nothing runs
  EXPECT_TRUE(host.calls.empty());

  panel->SetElementState(10, panel::kUnticked);
  panel->SetElementState(5, panel::kTicked);
  EXPECT_EQ(host.calls,
            (Calls{"gauge 0", "buttons 110", "gauge timer 0", "seven 0", "tick timer 1", "still",
                   "gauge 0", "buttons 110", "gauge timer 0", "seven 1", "tick timer 1", "still"}));
  EXPECT_TRUE(flags[Element::SevenLines]);
  EXPECT_FALSE(flags[Element::PolyGauge]);

  // AutoWait OFF while playing stops the scheduler's timer and draws no still picture.
  host.calls.clear();
  host.playing = true;
  panel->SetElementState(9, panel::kTicked);
  EXPECT_EQ(host.calls,
            (Calls{"gauge 0", "buttons 110", "gauge timer 0", "seven 1", "tick timer 0"}));

  // A seven-key chart ticks and locks 7Lines; any other chart frees it.
  panel->ApplyChartKeys(true);
  EXPECT_FALSE(panel->Element(5)->isEnabled());
  panel->ApplyChartKeys(false);
  EXPECT_EQ(panel->ElementState(5), panel::kUnticked);
  EXPECT_TRUE(panel->Element(5)->isEnabled());
}

TEST_F(ControlPanelTest, CloseStoresTheBoxStatesForTheNextLoad) {
  auto panel = Open();
  panel->SetElementState(0, panel::kUnticked);
  panel->SetElementState(12, panel::kGreyed);
  host.calls.clear();
  EXPECT_TRUE(panel->close());
  EXPECT_EQ(host.calls, Calls{"closed"});
  std::string stored;
  for (int i = 0; i < panel::kElementCount; ++i)
    stored += Stored(i);
  EXPECT_EQ(stored, "01000001001020");
  EXPECT_EQ(Open()->ElementState(12), panel::kGreyed);
}

TEST_F(ControlPanelTest, BarsAndSizeButtons) {
  auto panel = Open();
  panel->ZoomBar()->setValue(0);
  EXPECT_EQ(panel->ZoomLabel()->text(), QStringLiteral("10x"));
  host.playing = true;
  panel->ZoomBar()->setValue(14);
  EXPECT_EQ(panel->ZoomLabel()->text(), QStringLiteral("0.25x"));
  panel->SleepBar()->setValue(45);
  EXPECT_EQ(panel->SleepLabel()->text(), QStringLiteral("5"));
  for (int i = 0; i < 3; ++i)
    panel->SizeButton(i)->click();
  EXPECT_EQ(host.calls, (Calls{"zoom 10.000000", "still", "events", "zoom 0.250000", "events",
                               "sleep 5", "size 0", "size 1", "size 2"}));
}

TEST_F(ControlPanelTest, TempoBoxAppliesItsNumberOnEveryChange) {
  auto panel = Open();
  panel->FillTempoBox({60, 90, 120, 180, 240}, 120);
  EXPECT_EQ(panel->TempoBox()->count(), 5);
  EXPECT_EQ(panel->TempoValue(), 120.0);
  QLineEdit* edit = panel->TempoBox()->lineEdit();
  edit->selectAll();
  for (const char* key : {"1", "5", "0"}) {
    QKeyEvent press(QEvent::KeyPress, key[0], Qt::NoModifier, QString::fromUtf8(key));
    QCoreApplication::sendEvent(edit, &press);
  }
  edit->setText(QStringLiteral("abc"));
  edit->setText(QStringLiteral("40000"));  // does not fit 16 bits: skipped
  panel->TempoBox()->setCurrentIndex(3);
  panel->TempoBox()->activated(3);  // choosing the item already shown applies it again
  // The load's fill is told apart from the user's changes, which override the chart's tempo.
  EXPECT_EQ(host.calls, (Calls{"tempo 120 load", "tempo 1 user", "tempo 15 user", "tempo 150 user",
                               "tempo 0 user", "tempo 180 user", "tempo 180 user"}));

  // A decimal start tempo fills the box as it is and reaches the engine unrounded.
  host.calls.clear();
  panel->FillTempoBox({77.75, 116.63, 155.5, 233.25, 311}, 155.5, /*decimals=*/true);
  EXPECT_EQ(panel->TempoBox()->itemText(1).toStdString(), "116.63");
  EXPECT_EQ(panel->TempoBox()->currentText().toStdString(), "155.5");
  edit->setText(QStringLiteral("150.25"));
  EXPECT_EQ(host.calls, (Calls{"tempo 155.5 load", "tempo 150.25 user"}));
}

}  // namespace
}  // namespace quillon
