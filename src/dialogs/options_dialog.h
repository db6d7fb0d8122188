// The options dialog "おぷしょん(謎": the extended settings (title scrolling, timer, automatic end,
// Susie, the sleep while minimised, the reading of charts) and the fonts and colours of the three
// title lines, with a preview of those lines. It works on its own copy of everything it shows; OK
// copies that into the settings in memory and the settings store and tells the main window through
// OptionsHost, Cancel (or the close box, or Esc) drops it.
//
// Threads: UI thread only.
#pragma once

#include <QDialog>
#include <QImage>
#include <QString>
#include <array>
#include <cstdint>

#include "platform/settings_store.h"
#include "resources/string_table.h"
#include "settings/settings_table.h"
#include "settings/title_style.h"

class QCheckBox;
class QLabel;
class QPushButton;
class QScrollBar;

namespace quillon {

// What OK changes in the main window.
class OptionsHost {
 public:
  virtual ~OptionsHost() = default;
  // OK stored new title fonts and colours: redraw the title lines.
  virtual void TitleSettingsChanged() = 0;
  // OK: the title-scroll timer runs (true) or stops (false; the caption then shows "[Quillon] "
  // followed by the window title text when that is not empty — the host does that).
  virtual void SetTitleScroll(bool scroll) = 0;
};

// Owned by the main window and deleted when it closes (WA_DeleteOnClose); each opening reads
// everything afresh: the five flags and the title lines from memory, the sleep pair from the store.
// The controls carry the names tests look them up by: chkNoScrTitle, chkNotUseMMTimer, chkSusie,
// chkAutoEnd, chkMinimizeSleep, chkExtended (its caption in the interface language), vscSleep,
// lblSleep, cmdFont0..2, cmdStart0..2, cmdEnd0..2, picPrev, cmdOK and cmdCancel.
class OptionsDialog : public QDialog {
 public:
  OptionsDialog(OptionsHost& host, ProgramSettings& settings, SettingsStore& store,
                QWidget* parent = nullptr, UiLanguage language = DetectUiLanguage());

  // Redraws the preview from the rows' current fonts and colours: each row's font name in its
  // own font, coloured from its start to its end colour, one line per row, never shrunk.
  void UpdatePRev();
  const QImage& Preview() const { return preview_; }

 protected:
  // Reports that the settings file could not be written (the changes stay in memory).
  virtual void ShowError(const QString& text);

 private:
  void BuildLayout(UiLanguage language);
  void LoadControls();
  // Shows row `row` on its font and colour buttons.
  void ShowRow(int row);
  void ChooseFont(int row);
  void ChooseColour(int row, bool end_colour);
  void OnSleepMoved(int position);
  void StoreAndClose();

  OptionsHost& host_;
  ProgramSettings& settings_;
  SettingsStore& store_;

  // The title lines as the buttons show them; copied into memory only by OK.
  std::array<TitleLineStyle, 3> rows_;
  // The number lblSleep shows.
  int32_t sleep_time_ = 50;
  QImage preview_;

  QCheckBox* no_scroll_title_ = nullptr;
  QCheckBox* not_use_mm_timer_ = nullptr;
  QCheckBox* susie_ = nullptr;
  QCheckBox* auto_end_ = nullptr;
  QCheckBox* minimize_sleep_ = nullptr;
  QCheckBox* extended_ = nullptr;
  QScrollBar* sleep_bar_ = nullptr;
  QLabel* sleep_label_ = nullptr;
  std::array<QPushButton*, 3> font_buttons_{};
  std::array<QPushButton*, 3> start_buttons_{};
  std::array<QPushButton*, 3> end_buttons_{};
  QWidget* preview_box_ = nullptr;
};

}  // namespace quillon
