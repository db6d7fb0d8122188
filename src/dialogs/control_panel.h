// The control panel "Control Panel": a small tool window beside the main window with the fourteen
// display and behaviour elements, the tempo box, the zoom and sleep bars and the window-size
// buttons. It owns the element states (ElementFlags is refilled from its boxes) and stores them
// in the "Show" section when it closes. What it changes in the main window goes through
// ControlPanelHost, which the main window implements and tests fake.
//
// Threads: UI thread only.
#pragma once

#include <QWidget>
#include <array>
#include <cstdint>
#include <optional>
#include <vector>

#include "chart/model.h"
#include "dialogs/control_panel_steps.h"
#include "platform/settings_store.h"
#include "resources/string_table.h"

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QPushButton;
class QScrollBar;

namespace quillon {

// What the panel sets in the main window and the play engine.
class ControlPanelHost {
 public:
  virtual ~ControlPanelHost() = default;

  // The polyphony gauge picture.
  virtual void SetGaugeVisible(bool visible) = 0;
  // The pressed states of the toolbar buttons OBJ, BGA and POLY (without running their commands).
  virtual void SetElementButtons(bool obj, bool bga, bool poly) = 0;
  // The gauge's 1 ms timer.
  virtual void SetGaugeTimer(bool running) = 0;
  // The loaded header's seven-key flag, then the lane layout for it.
  virtual void SetSevenKeys(bool seven) = 0;
  // The scheduler's 1 ms timer (it removes itself when it fires with nothing playing).
  virtual void SetTickTimer(bool running) = 0;
  virtual bool IsPlaying() const = 0;
  // Redraws the still picture at the start measure kept in the position bar.
  virtual void ShowStillPicture() = 0;
  // The tempo box changed: the engine keeps the play position continuous across the new tempo.
  // `by_user`: typed or chosen by the user (false: filled by a load).
  virtual void ChangeTempo(double bpm, bool by_user) = 0;
  // Pixels per chart position unit of the note display.
  virtual void SetZoom(float zoom) = 0;
  // Milliseconds of sleep after each drawn frame.
  virtual void SetFrameSleep(int32_t ms) = 0;
  // The window-size menu item 0 (50%), 1 (100%) or 2 (200%).
  virtual void ZoomWindow(int index) = 0;
  // The panel closed: the toolbar's CPANEL button is released.
  virtual void PanelClosed() = 0;
  // Lets pending window events run.
  virtual void ProcessEvents() {}
};

class ControlPanel : public QWidget {
 public:
  // Loads the panel: the stored element states (a missing key keeps the designed state),
  // ElementFlags from them, the captions, and one element change so that the main window agrees
  // with the boxes from the start.
  ControlPanel(ControlPanelHost& host, ElementFlags& flags, SettingsStore& settings,
               const StringTable& strings, QWidget* parent = nullptr);

  // Element box i (chkElm(i)); box states follow panel::kUnticked, kTicked, kGreyed.
  QCheckBox* Element(int i) const { return elements_[static_cast<size_t>(i)]; }
  int ElementState(int i) const;
  panel::ElementStates ElementStates() const;
  // Sets box i to `state`; a change runs the element change. Out-of-range arguments are ignored.
  void SetElementState(int i, int state);
  // After a chart load: a seven-key chart ticks and disables 7Lines, any other chart unticks and
  // enables it.
  void ApplyChartKeys(bool seven_keys);

  QComboBox* TempoBox() const { return tempo_box_; }
  QScrollBar* ZoomBar() const { return zoom_bar_; }
  QScrollBar* SleepBar() const { return sleep_bar_; }
  QLabel* ZoomLabel() const { return zoom_label_; }
  QLabel* SleepLabel() const { return sleep_label_; }
  QPushButton* SizeButton(int i) const { return size_buttons_[static_cast<size_t>(i)]; }

  // The loader's five tempo items and the header tempo as the text (a tempo that is not whole
  // with up to two decimals); the text change then acts like a typed one (once). `decimals`: the
  // chart is of the extended reading, and tempos typed into the box keep two decimals.
  void FillTempoBox(const std::vector<double>& items, double bpm, bool decimals = false);
  // The box text as a number (the number it starts with); nullopt when it starts with none.
  std::optional<double> TempoValue() const;

  // The element captions from string table entries 500 to 513.
  void Changelang(const StringTable& strings);

 protected:
  // Stores the box states in "Show"/Item0..13 and tells the host; the close always goes ahead.
  void closeEvent(QCloseEvent* event) override;

 private:
  void BuildLayout();
  void RunElementChange();
  void RunTempoChange(bool by_user = true);
  void OnZoomMoved(int position);
  void OnSleepMoved(int position);

  ControlPanelHost& host_;
  ElementFlags& flags_;
  SettingsStore& settings_;
  std::array<QCheckBox*, panel::kElementCount> elements_{};
  QComboBox* tempo_box_ = nullptr;
  QScrollBar* zoom_bar_ = nullptr;
  QLabel* zoom_label_ = nullptr;
  QGroupBox* zoom_frame_ = nullptr;
  QGroupBox* size_frame_ = nullptr;
  QScrollBar* sleep_bar_ = nullptr;
  QLabel* sleep_label_ = nullptr;
  std::array<QPushButton*, 3> size_buttons_{};
  // While the panel sets its own controls, their change signals do not act.
  bool quiet_ = true;
  bool decimal_tempos_ = false;
};

}  // namespace quillon
