// The main window "frmBMSPlayer": the play display, the position bar, the two toolbars, the menus
// and the title panel. It owns the player (PlayerCore) and implements the windows' side of the
// loader (LoadView), the play engine (PlayView), the playlist (PlaylistHost), the sound module
// (SoundMessages), the control panel (ControlPanelHost) and the library window (LibraryHost).
//
// The code is split by concern: main_window.cpp builds the controls, main_window_commands.cpp
// holds the commands and keys, main_window_startup.cpp start-up and shut-down,
// main_window_layout.cpp the layout, zoom and full screen, main_window_views.cpp the interfaces
// the engine calls.
//
// Threads: UI thread only. Play runs as a loop inside PlayFile that lets pending events run
// between frames, so every handler here may run nested inside a play.
#pragma once

#include <QMainWindow>
#include <QPointer>
#include <array>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "chart/load_view.h"
#include "chart/loader.h"
#include "dialogs/control_panel.h"
#include "dialogs/debug_window.h"
#include "dialogs/options_dialog.h"
#include "dialogs/property_dialog.h"
#include "library_window/library_window.h"
#include "platform/gradient_text.h"
#include "platform/settings_store.h"
#include "playback/play_view.h"
#include "playback/sound_module.h"
#include "playback/title_text.h"
#include "playlist/playlist.h"
#include "resources/string_table.h"
#include "settings/settings_table.h"
#include "shell/player_core.h"
#include "shell/remote_commands.h"

class QAction;
class QMenu;
class QMimeData;
class QTimer;
class QToolBar;

namespace quillon {

class FullScreenWindow;
class LinesWidget;
class PictureWidget;
class MprisService;
class PlaylistWindow;
class RemoteServer;

// Where the program finds and keeps its files, and what it may use; tests point these at
// temporary folders and turn sound and message boxes off.
struct MainWindowOptions {
  QString SettingsPath;       // empty: the user's settings file
  QString RemoteSocketPath;   // empty: the user's remote-control socket; "-": no remote control
  std::string ProgramFolder;  // skins and quillon.bpl are read here first
  std::string DataFolder;     // then here; written here
  std::string DebugLogPath = "Debug.txt";  // the debug window's log, in the current folder
  bool UseSoundDevice = true;
  bool ShowMessageBoxes = true;
  // The desktop's media controls on the session bus; tests leave the user's bus alone.
  bool MediaControls = true;
  UiLanguage Language = DetectUiLanguage();
};

// Twips per pixel of the window position and size in the settings.
inline constexpr double kTwipsPerPixel = 15.0;

class MainWindow : public QMainWindow,
                   public LoadView,
                   public PlayView,
                   public PlaylistHost,
                   public SoundMessages,
                   public ControlPanelHost,
                   public PropertyHost,
                   public OptionsHost,
                   public LibraryHost,
                   public RemoteTarget {
 public:
  explicit MainWindow(const MainWindowOptions& options = {});
  ~MainWindow() override;

  // Start-up steps 1 to 22, with the chart path given on the command line (may be empty), played
  // from `start_measure`. An editor's preview (`preview`) leaves the playlist as it is. When the
  // program closes during start-up (AutoEnd), Ended() is true afterwards.
  void Startup(const std::string& command_line, int start_measure = 0, bool preview = false);
  // The other files of the command line, set before Startup: a playlist to open (the chart then
  // leaves it as it is) and charts to add to it. Startup opens them once the chart has loaded,
  // before it plays (play runs until the chart ends).
  void SetStartFiles(std::string playlist, std::vector<std::string> more_charts);
  // True once shut-down has run: the process should end.
  bool Ended() const { return ended_; }
  // Ends the program as File > Quit does, from whatever state it is in (a signal asks for this):
  // open dialogs are cancelled, full screen is left, a running load finishes first.
  void RequestQuit();
  // Called at the end of shut-down (the program quits the application there).
  std::function<void()> on_ended;

  // Public operations.
  int32_t bLoad(const std::string& file, bool list_load = false);
  void PrevLoad();
  void NextLoad(bool always_play = false) override;
  void Status(const std::string& text, std::string_view icon);
  void Changelang();
  void ResizeForm();
  void TitleView();
  void mVI_Click(int index);
  void mZi_Click(int index);
  // The toolbar dispatcher: runs the command of the button `key` ("PLAY", "OPEN", ...).
  void Dispatch(const QString& key);
  // The menu commands mF(i), mVie(i).
  void mF_Click(int index);
  void mVie_Click(int index);
  // Files dropped on the main window go to the playlist.
  void DropFiles(const QMimeData& mime);
  // A key of the main window; true when it was handled (consumed).
  bool HandleKey(int key, Qt::KeyboardModifiers modifiers);
  // A full-screen popup item mPi(index).
  void mPi_Click(int index);
  // The BMPOUT command: writes the chart frame by frame as numbered bitmaps, or as a video file
  // when the name chosen ends in .mp4, .webm or .mkv.
  void BitmapOutput();
  // The video file of the loaded chart at `fps`, at the default size, as `--render-video` makes
  // it; the stop button stops it.
  void VideoOutput(const std::string& path, int fps);
  // True while bitmap output runs.
  bool BitmapOutputRunning = false;
  // The polyphony gauge's 1 ms timer is running.
  bool GaugeTimerRunning() const;

  // What the window shows and holds (for the other windows and for tests).
  PlayerCore& core() { return *core_; }
  SettingsStore& settings() { return settings_; }
  const ProgramSettings& program_settings() const { return program_; }
  const StringTable& strings() const { return strings_; }
  PlaylistWindow& playlist_window();
  // The library window, made (hidden) on first use.
  LibraryWindow& library_window();
  // File → Library...: shows the library window.
  void ShowLibrary();
  // The control panel, created (hidden) when it does not exist.
  ControlPanel& control_panel();
  bool control_panel_exists() const { return !panel_.isNull(); }
  // The property dialog, made (hidden) on first use; it lives as long as the window.
  PropertyDialog& property_dialog();
  // The options dialog and the debug window while they are open; nullptr otherwise.
  OptionsDialog* options_dialog() const { return options_dialog_.data(); }
  DebugWindow* debug_window() const { return debug_.data(); }
  QAction* button(const QString& key) const;
  QAction* menu_item(const QString& name) const;  // "mF(0)", "mVie(2)", "mZi(1)", "mPi(5)"...
  QMenu* popup_menu() const { return popup_; }
  // File → Recent charts: one item per chart ("mRecent(0)" the most recent), then
  // "mRecentClear".
  QMenu* recent_menu() const { return menu_recent_; }
  const std::vector<std::string>& recent_charts() const { return recent_charts_; }
  // Empties the recent list, in the menu and in the settings file.
  void ClearRecentCharts();
  PictureWidget* picture1() const { return picture1_; }
  PictureWidget* position_bar() const { return pic_cur_pos_; }
  QWidget* title_panel() const;
  QToolBar* system_toolbar() const { return tlb_system_; }
  QToolBar* command_toolbar() const { return tlb_tool_; }
  PictureWidget* picture(const QString& name) const;  // "picPolGraph", "picTimeDisp(0)", ...
  FullScreenWindow* full_screen_window() const { return fsc_; }
  bool FullScreenOn() const { return full_screen_on_; }
  int32_t DisplayWidth() const { return display_width_; }
  int32_t DisplayHeight() const { return display_height_; }
  const std::string& CurrentFile() const override { return current_file_; }
  const QImage& display_image() const { return disp_image_; }
  // The load log lines written since the window was made (the last 200).
  const std::vector<std::string>& load_log() const { return load_log_; }
  // Start-up and shut-down steps in the order they ran ("startup 1", ..., "shutdown 11").
  const std::vector<std::string>& trace() const { return trace_; }
  bool DdeControlled = false;

  // The trace: on while the debug window is open.
  bool DebugLogging() const override { return debug_logging_; }
  void WriteDebugLog(std::string_view text) override;

  // LoadView (the load log and the windows the loader fills).
  void ShowLoadLine(std::string_view text) override;
  void ShowProgress(std::string_view text) override;
  void ClearDisplay(bool persistent) override;
  void MoveToBottomLine() override;
  void SetProgress(double fraction) override;
  void SetCaption(std::string_view caption) override;
  void LoadSettings() override;
  void ResetPlayState() override;
  void ShowStagePicture(std::string_view path) override;
  void DrawTitleInfo(const BmsHeader& header) override;
  void SetLaneLayout(bool seven_keys) override;
  void SetTitleText(std::string_view text) override;
  void ProcessEvents() override;
  void FillTempoBox(const std::vector<double>& items, double bpm) override;
  void SetStartMeasure(std::string_view measure) override;
  void ShowLoadedPicture(int32_t surface) override;
  void FillProperties(const BmsHeader& header) override;
  void SetChartText(std::string_view text) override;
  void ShowNoteCount(int32_t note_count, double score_per_note) override;
  void ClearFileLists() override;
  void AddSoundFile(std::string_view item) override;
  void AddPictureFile(std::string_view item) override;
  bool Minimized() const override { return minimized_; }
  int AskRandomBranch(int random_count, int branches) override;

  // PlayView
  void Status(int text_id, std::string_view icon) override;
  void SetPlayButtons(bool play_pressed, bool pause_pressed, bool pause_enabled,
                      bool stop_pressed) override;
  void Notify(std::string_view text) override;
  void DrawFrame() override;
  void AddGaugeInput(int32_t amount) override;
  void StartFrameRate(double elapsed_ms) override;
  void StartTickTimer() override;
  void StopTickTimer() override;
  void PostEndTimer() override;
  std::optional<double> TempoBoxValue() const override;
  bool ScoreTabVisible() const override;
  void ShowPlayCounts(int32_t played_notes, std::string_view score) override;
  // The last text written into DDEP, the remote-control item.
  const std::string& DDEP() const { return ddep_; }

  // PlaylistHost
  int32_t LoadChart(const std::string& file, bool list_load) override;
  void StopFile(bool no_stop) override;
  void PlayFile() override;
  std::string LoadedFilePath() const override;
  bool IsPlaying() const override;
  int RepeatMode() const override;
  void RearmEndTimer() override;
  void SetPlaylistButton(bool down) override;

  // SoundMessages
  void ShowSoundError(std::string_view text) override;

  // ControlPanelHost
  void SetGaugeVisible(bool visible) override;
  void SetElementButtons(bool obj, bool bga, bool poly) override;
  void SetGaugeTimer(bool running) override;
  void SetSevenKeys(bool seven) override;
  void SetTickTimer(bool running) override;
  void ShowStillPicture() override;
  void ChangeTempo(double bpm, bool by_user) override;
  void SetZoom(float zoom) override;
  void SetFrameSleep(int32_t ms) override;
  void ZoomWindow(int index) override;
  void PanelClosed() override;

  // PropertyHost
  void PlayPreviewSound(int id) override;
  const QImage* PreviewPicture(int id) override;
  std::string PreviewMovie(int id) override;
  void PropertyClosed() override;

  // OptionsHost
  void TitleSettingsChanged() override;
  void SetTitleScroll(bool scroll) override;

  // LibraryHost
  void PlayLibraryChart(const std::string& path) override;
  void AddLibraryChartsToPlaylist(const std::vector<std::string>& paths) override;

  // RemoteTarget, and the texts from remote clients.
  void ReceiveRemoteText(const std::string& text);
  void SetDdeControlled(bool on) override;
  void BV_CLOSE() override;
  bool Paused() const override;
  void LoadChart(const std::string& path) override;
  void ArmPlayFileTimer() override;
  void PressCommandButton(std::string_view key) override;
  void SetItemText(std::string text) override;
  void PreviewChart(const std::string& path, int measure) override;
  void AddToPlaylist(const std::string& path) override;
  void OpenPlaylist(const std::string& path) override;
  // Charts from the command line for the playlist: as AddToPlaylist, with one message for all.
  void AddChartsToPlaylist(const std::vector<std::string>& paths);
  RemoteServer* remote_server() const { return remote_server_; }
  // The media controls on the session bus; nullptr when there is none.
  MprisService* media_controls() const { return mpris_.get(); }

 protected:
  void closeEvent(QCloseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void changeEvent(QEvent* event) override;
  // A message box (a warning, or news of work done when `information`); tests turn them off
  // (ShowMessageBoxes) and read the texts from messages().
  void MessageBox(const QString& title, const QString& text, bool information = false);

 public:
  const std::vector<std::string>& messages() const { return messages_; }

 private:
  friend class MainWindowFrameHooks;

  // main_window.cpp
  void BuildMenus();
  void BuildToolbars();
  void BuildPictures();
  QAction* AddMenuItem(QMenu* menu, const QString& name, const QString& caption);
  QAction* AddButton(QToolBar* bar, const QString& key, const QString& tooltip, bool check);
  void Trace(const std::string& step) { trace_.push_back(step); }

  // main_window_commands.cpp
  void OpenChart();
  void ReloadChart();
  // When `file` is there but is no chart file to read, shows why in the load log and says true.
  bool RefuseChartFile(const std::string& file);
  // The options of a load from the window: the reading the ExtendedCommands setting names now.
  LoadOptions ChartLoadOptions();
  // Redraws the position bar, the time line and the status line from the loaded chart.
  void ShowChartNumbers();
  void ShowPanel(bool show);
  void ShowPlaylist(bool show);
  void ShowProperties(bool show);
  void ShowOptions();
  void ShowDebugWindow();

  // The measure a seek at x on the position bar goes to; a seek there, at most one per drawn
  // frame and none to the measure the drag last sought.
  int64_t MeasureUnderPointer(double x) const;
  void DragSeek(double x);

  // main_window_remote.cpp
  void StartRemoteControl();
  // Opens what SetStartFiles gave, once.
  void OpenStartFiles();
  void OnPlayFileTimer();
  void RunPendingRemoteLoad();
  void EndRemoteControl();

  // main_window_mpris.cpp: the media controls' view of the window.
  class MediaTarget;
  void StartMediaControls();
  // The play state or the chart may have changed: the media controls send what did.
  void MediaStateChanged();

  // main_window_startup.cpp
  void Shutdown();
  void FinishQuitRequest();
  void TitleTimerTick();
  void WriteStartupLine(const QString& text, int32_t from, int32_t to);

  // main_window_layout.cpp
  struct BarHeights {
    int Sys = 0, Pos = 0, Tool = 0, Base = 0;
  };
  BarHeights ComputeBarHeights();
  void LayoutTitlePanel();
  void RemakeBackBuffer();
  // Gives the title panel the height its view needs (DrawTitleInfo's answer) and lays out again.
  void FitTitlePanel(int needed);
  void ApplyTitlePanelHeight();
  void FullScreen(bool on);
  // The picture the play display draws on (Picture1 or the full-screen window).
  PictureWidget* DispPic() const;
  void ShowDisplay();
  void RefreshStatusPicture(StatusPicture picture);

  // The interface text `id` from the string table.
  QString Text(int id) const { return QString::fromStdString(strings_.Get(id)); }
  // Puts a chart that loaded at the top of the recent list and stores the list.
  void RememberChart(const std::string& path);
  void StoreRecentCharts();
  void FillRecentMenu();

  // main_window_views.cpp
  void PrintLoadLine(std::string_view text, bool next_line);
  void ApplyTitleLines();

  MainWindowOptions options_;
  StringTable strings_;
  SettingsStore settings_;
  ProgramSettings program_;
  std::unique_ptr<PlayerCore> core_;
  std::unique_ptr<FrameHooks> frame_hooks_;

  // Controls.
  QWidget* client_ = nullptr;  // the window's inner area
  LinesWidget* client_lines_ = nullptr;
  QToolBar* tlb_system_ = nullptr;
  QToolBar* tlb_tool_ = nullptr;
  PictureWidget* picture1_ = nullptr;
  PictureWidget* pic_cur_pos_ = nullptr;
  LinesWidget* pic_base_disp_ = nullptr;
  PictureWidget* pic_pol_graph_ = nullptr;
  std::array<PictureWidget*, 2> pic_time_disp_{};
  PictureWidget* pic_display_ = nullptr;
  PictureWidget* pic_status_ = nullptr;
  FullScreenWindow* fsc_ = nullptr;
  QMenu* popup_ = nullptr;
  std::map<QString, QAction*> buttons_;
  std::map<QString, QAction*> menu_items_;
  QMenu* menu_file_ = nullptr;
  QMenu* menu_recent_ = nullptr;
  std::vector<std::string> recent_charts_;
  QMenu* menu_view_ = nullptr;
  QMenu* menu_items_sub_ = nullptr;
  QMenu* menu_zoom_ = nullptr;
  QPointer<ControlPanel> panel_;
  PropertyDialog* property_ = nullptr;
  QPointer<OptionsDialog> options_dialog_;
  QPointer<DebugWindow> debug_;
  PlaylistWindow* playlist_ = nullptr;
  LibraryWindow* library_ = nullptr;
  std::string start_playlist_;
  std::vector<std::string> start_charts_;

  // Timers: title scroll and docking, the 1 ms scheduler and gauge timers, the end-of-chart
  // follow-up.
  QTimer* timer1_ = nullptr;
  QTimer* tick_timer_ = nullptr;
  QTimer* gauge_timer_ = nullptr;
  bool gauge_on_ = false;  // the gauge element is on; its timer runs while the gauge moves
  QTimer* end_timer_ = nullptr;
  QTimer* play_file_timer_ = nullptr;  // timPlayFile: the deferred play after a remote load
  // Out of play, a movie's frame at a located position comes from its decoder thread a little
  // after the frame drawn there: the display is drawn again until it arrives (at most a second).
  QTimer* movie_timer_ = nullptr;
  int movie_redraws_ = 0;
  RemoteServer* remote_server_ = nullptr;
  // A remote load asked for while another load ran (the newest only), and whether its check is
  // armed; control ends after it when its client left meanwhile.
  // Drag seek on the position bar: the measure last sought (-1 before the press's seek), the
  // frame count at that seek, and a position held back until the next frame.
  int64_t drag_measure_ = -1;
  uint64_t frames_drawn_ = 0;
  uint64_t seek_frame_ = 0;
  std::optional<double> pending_drag_;
  std::string pending_remote_load_;
  bool pending_remote_armed_ = false;
  bool end_control_after_pending_ = false;

  // State.
  std::string current_file_;
  std::string ddep_;
  bool full_screen_on_ = false;
  bool minimized_ = false;
  bool zoom_resizing_ = false;
  bool closing_ = false;
  bool ended_ = false;
  bool quit_requested_ = false;
  bool started_ = false;
  bool loading_ = false;
  bool debug_logging_ = false;
  int32_t display_width_ = 0;
  int32_t display_height_ = 0;
  int32_t last_layout_width_ = 0;
  int32_t title_text_height_sum_ = 0;
  int title_needed_ = 0;  // the title panel's height as the title view last asked for it
  bool refitting_ = false;
  std::string title_text_;
  int32_t title_scroll_pos_ = 0;
  int32_t title_length_ = 0;
  DockMemory dock_;
  std::vector<double> tempo_items_;
  double tempo_bpm_ = 0;
  std::string status_text_;
  std::string status_icon_;
  QImage disp_image_;
  PrintTarget load_log_target_;
  std::vector<std::string> load_log_;
  std::vector<std::string> trace_;
  std::vector<std::string> messages_;
  // The stage picture the loaded chart showed (empty: none), and the loads so far.
  std::string media_art_;
  uint64_t media_serial_ = 0;
  // Last, so it goes first: its target reaches into the window.
  std::unique_ptr<MprisService> mpris_;
};

}  // namespace quillon
