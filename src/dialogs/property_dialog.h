// The chart property dialog "BMS Property": what is known about the loaded chart on four tabs
// (header information, the sound and picture files with a preview, the live score counter, the
// chart text). It computes nothing itself: the loader fills it after every load, even while it is
// hidden, and the play engine advances the score labels while the score tab is showing. What it
// needs from the main window (a sound, a picture, the PROP button) goes through PropertyHost.
//
// Threads: UI thread only.
#pragma once

#include <QElapsedTimer>
#include <QImage>
#include <QString>
#include <QWidget>
#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "chart/model.h"
#include "resources/string_table.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;
class QTabWidget;
class QTimer;

namespace quillon {

class MoviePlayer;

class PropertyHost {
 public:
  virtual ~PropertyHost() = default;
  // Restarts the sound of table id `id` from its beginning; an id without a sound does nothing.
  virtual void PlayPreviewSound(int id) = 0;
  // The BGA picture of id `id`; nullptr when it has none.
  virtual const QImage* PreviewPicture(int id) = 0;
  // The movie file of BGA id `id`; empty when the id shows a still picture.
  virtual std::string PreviewMovie(int /*id*/) { return {}; }
  // The user closed the dialog: the PROP button is released.
  virtual void PropertyClosed() = 0;
};

// The identifier at the start of a file list item ("0A:KICK.WAV" gives 10): its first two
// characters read as a hexadecimal number, as far as they are hexadecimal digits; 0 when the
// first one is not.
int PreviewItemId(std::string_view item);

class PropertyDialog : public QWidget {
 public:
  static constexpr int kTabCount = 4;
  static constexpr int kScoreTab = 3;
  static constexpr QSize kStagePictureSize{160, 120};
  static constexpr QSize kPreviewSize{256, 256};
  // A movie's preview plays its first seconds, then holds the frame reached.
  static constexpr int kMoviePreviewMs = 5000;

  // A window of its own, owned by `parent` (the main window), modeless; starts on tab 1.
  // The captions of the extended reading's header rows follow `language`.
  explicit PropertyDialog(PropertyHost& host, QWidget* parent = nullptr,
                          UiLanguage language = DetectUiLanguage());
  ~PropertyDialog() override;

  // Tab 1 from the chart header: the attribute boxes, then the texts. A play level outside 0..6
  // leaves the level text as it was.
  void FillProperties(const BmsHeader& header);
  // The top-left 640 x 480 pixels of `picture` scaled to 160 x 120 (black where the picture is
  // smaller); nullptr or an empty picture clears it to black.
  void ShowStagePicture(const QImage* picture);
  // Tab 4: the chart text, with CR LF line ends.
  void SetChartText(std::string_view text);

  // Tab 2: the sound and picture lists, one "<id>:<file>" item per table entry.
  void ClearFileLists();
  void AddSoundFile(std::string_view item);
  void AddPictureFile(std::string_view item);

  // Tab 3 after a load: the note count and the whole part of the points per note (0 when the
  // chart has no notes).
  void ShowNoteCount(int32_t note_count, double score_per_note);
  // Tab 3 during play: notes played so far and the score text the engine worked out.
  void ShowPlayCounts(int32_t played, std::string_view score);
  // True while tab 3 was the last tab chosen and the dialog has not been closed since; the engine
  // refreshes the live labels only then.
  bool ScoreTabVisible() const { return score_tab_visible_; }

  // Selects tab `number` (1..4) and runs the tab change, even when it is selected already (the
  // statistics menu item relies on that). Other numbers are ignored.
  void SelectTab(int number);
  int SelectedTab() const { return selected_tab_; }

  // The program is ending: closes from now on go through, without telling the host.
  void AllowFinalClose() { final_close_ = true; }

  // Controls, for the main window and tests.
  QTabWidget* Tabs() const { return tabs_; }
  QLineEdit* FileNameBox() const { return file_name_; }
  QCheckBox* AttributeBox(int i) const { return attributes_[static_cast<size_t>(i)]; }
  QListWidget* FileList(int i) const { return lists_[static_cast<size_t>(i)]; }
  QRadioButton* ModeButton(int i) const { return modes_[static_cast<size_t>(i)]; }
  QPlainTextEdit* ChartTextBox() const { return chart_text_; }
  QPushButton* OpenFolderButton() const { return open_folder_; }
  QPushButton* CloseButton() const { return close_; }
  const QImage& StagePicture() const { return stage_picture_; }
  const QImage& PreviewImage() const { return preview_; }
  // A named control (txtGenre, lblCurPts, ...); nullptr for an unknown name.
  template <typename T>
  T* Control(const QString& name) const {
    return findChild<T*>(name);
  }

 protected:
  // Shows the chart file in the file manager; tests see the path instead.
  virtual bool OpenFolder(const QString& chart_path);

  // The user's close hides the dialog instead: the score tab stops being live and the host
  // releases its button. After AllowFinalClose the close goes through.
  void closeEvent(QCloseEvent* event) override;
  // Ctrl+Tab and Ctrl+Shift+Tab reach the dialog before the focused control.
  bool eventFilter(QObject* watched, QEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  QWidget* BuildInfoTab();
  QWidget* BuildFilesTab();
  QWidget* BuildScoreTab();
  QWidget* BuildTextTab();
  void OnTabChanged(int number);
  // Next (+1) or previous (-1) tab, wrapping around.
  void StepTab(int delta);
  bool HandleTabKey(const QKeyEvent& key);
  void ChooseMode(int mode);
  void Preview(const QString& item);
  // The movie preview's next frame; at its end the decoder stops.
  void StepMoviePreview();
  void StopMoviePreview();

  PropertyHost& host_;
  UiLanguage language_;
  QTabWidget* tabs_ = nullptr;
  QLineEdit* file_name_ = nullptr;
  std::array<QCheckBox*, 5> attributes_{};
  std::array<QRadioButton*, 2> modes_{};
  std::array<QListWidget*, 2> lists_{};
  QWidget* stage_box_ = nullptr;
  QWidget* preview_box_ = nullptr;
  std::unique_ptr<MoviePlayer> preview_movie_;
  QTimer* preview_timer_ = nullptr;
  QElapsedTimer preview_clock_;
  QImage preview_frame_;
  QLabel* current_points_ = nullptr;
  QLabel* key_points_ = nullptr;
  QLabel* total_notes_ = nullptr;
  QLabel* played_notes_ = nullptr;
  QPlainTextEdit* chart_text_ = nullptr;
  QPushButton* open_folder_ = nullptr;
  QPushButton* close_ = nullptr;
  QImage stage_picture_;
  QImage preview_;
  int selected_tab_ = 1;
  bool score_tab_visible_ = false;
  bool final_close_ = false;
};

}  // namespace quillon
