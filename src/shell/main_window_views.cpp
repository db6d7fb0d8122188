// The main window's side of the loader, the play engine, the playlist, the sound module and the
// control panel: what they show on the window and ask of it.
#include <QAction>
#include <QApplication>
#include <QFontMetrics>
#include <QPainter>
#include <QTimer>
#include <filesystem>

#include "chart/numbers.h"
#include "dialogs/random_select.h"
#include "platform/picture_file.h"
#include "platform/text_encoding.h"
#include "playlist/playlist_window.h"
#include "shell/main_window.h"
#include "shell/picture_widgets.h"

namespace quillon {

namespace {

constexpr size_t kLoadLogKept = 200;

QFont LoadLogFont(const StringTable& strings) {
  return QFont(QString::fromStdString(strings.Get(0)), 9);
}

}  // namespace

// ---- The trace ----

void MainWindow::WriteDebugLog(std::string_view text) {
  if (!debug_.isNull()) debug_->WriteDebugLog(text);
}

// ---- LoadView ----

void MainWindow::PrintLoadLine(std::string_view text, bool next_line) {
  load_log_.emplace_back(text);
  if (load_log_.size() > kLoadLogKept) load_log_.erase(load_log_.begin());
  PrintTarget& target = load_log_target_;
  target.Image = &disp_image_;
  target.Font = LoadLogFont(strings_);
  if (disp_image_.isNull()) return;
  const QFontMetrics metrics(target.Font, &disp_image_);
  const int h = metrics.height();
  {
    QPainter painter(&disp_image_);
    painter.fillRect(0, target.CurrentY, disp_image_.width(), h, Qt::black);
    painter.setFont(target.Font);
    painter.setPen(QColor(255, 255, 255));
    // Lines may name files whose names are CP932 bytes: decoded for showing only.
    painter.drawText(0, target.CurrentY + metrics.ascent(),
                     QString::fromStdString(DecodeChartText(text)));
  }
  if (next_line) target.CurrentY += h;
  DispPic()->repaint();
}

void MainWindow::ShowLoadLine(std::string_view text) {
  PrintLoadLine(text, /*next_line=*/true);
}

void MainWindow::ShowProgress(std::string_view text) {
  PrintLoadLine(text, /*next_line=*/false);
}

void MainWindow::ClearDisplay(bool /*persistent*/) {
  disp_image_.fill(Qt::black);
  load_log_target_.CurrentY = 0;
  DispPic()->repaint();
}

void MainWindow::MoveToBottomLine() {
  const QFontMetrics metrics(LoadLogFont(strings_), &disp_image_);
  load_log_target_.CurrentY =
      disp_image_.height() - metrics.boundingRect(QStringLiteral("Aaあ!")).height();
}

void MainWindow::SetProgress(double fraction) {
  StatusDisplay& status = core_->status;
  QImage& bar = status.PicCurPos;
  if (bar.isNull()) return;
  {
    QPainter painter(&bar);
    painter.drawImage(QRect(0, 0, bar.width(), bar.height()), status.CurposBG);
    const int w = static_cast<int>(std::clamp(fraction, 0.0, 1.0) * bar.width());
    if (w > 0)
      painter.drawImage(QRect(0, 0, w, bar.height()), status.Curpos, QRect(0, 0, w, bar.height()));
  }
  pic_cur_pos_->repaint();
}

void MainWindow::SetCaption(std::string_view caption) {
  setWindowTitle(QString::fromUtf8(caption.data(), static_cast<int>(caption.size())));
}

void MainWindow::LoadSettings() {
  quillon::LoadSettings(settings_, program_);
  core_->status.TitleLines = program_.InfoLines;
  core_->engine.MinimizeSleep = program_.MinimizeSleep;
  core_->engine.MinimizeSleepTime = program_.MinimizeSleepTime;
}

void MainWindow::ResetPlayState() {
  core_->engine.ResetPlay();
}

void MainWindow::ShowStagePicture(std::string_view path) {
  if (path.empty()) {
    property_dialog().ShowStagePicture(nullptr);
    return;
  }
  const QImage stage = ReadPictureFile(std::string(path));
  property_dialog().ShowStagePicture(stage.isNull() ? nullptr : &stage);
  std::error_code error;
  const std::filesystem::path art = std::filesystem::absolute(std::string(path), error);
  media_art_ = stage.isNull() || error ? std::string() : art.string();
  if (stage.isNull() || disp_image_.isNull()) return;
  QPainter painter(&disp_image_);
  painter.drawImage(QRect(0, 32, 256, 192), stage, QRect(0, 0, 640, 480));
  painter.end();
  DispPic()->repaint();
}

void MainWindow::DrawTitleInfo(const BmsHeader& header) {
  // A chart's title replaces the start-up messages.
  core_->status.ClearTitleLines();
  FitTitlePanel(core_->status.DrawTitleInfo(header));
  pic_display_->repaint();
}

void MainWindow::SetLaneLayout(bool seven_keys) {
  core_->notes.SetLaneLayout(seven_keys ? 1 : 0);
}

void MainWindow::SetTitleText(std::string_view text) {
  title_text_ = std::string(text);
  title_scroll_pos_ = 0;
  title_length_ = CharacterCount(title_text_);
}

void MainWindow::ProcessEvents() {
  QCoreApplication::processEvents(QEventLoop::AllEvents);
}

void MainWindow::FillTempoBox(const std::vector<double>& items, double bpm) {
  tempo_items_ = items;
  tempo_bpm_ = bpm;
  control_panel().FillTempoBox(items, bpm, core_->chart.Extended);
}

void MainWindow::SetStartMeasure(std::string_view measure) {
  core_->engine.StartMeasure = std::string(measure);
}

void MainWindow::ShowLoadedPicture(int32_t surface) {
  const QImage* picture = core_->surfaces.Image(surface);
  if (picture == nullptr || disp_image_.isNull()) return;
  QPainter painter(&disp_image_);
  painter.drawImage(0, 0, *picture, 0, 0, 256, 256);
  painter.end();
  DispPic()->repaint();
}

void MainWindow::FillProperties(const BmsHeader& header) {
  property_dialog().FillProperties(header);
}

void MainWindow::SetChartText(std::string_view text) {
  property_dialog().SetChartText(text);
}

void MainWindow::ShowNoteCount(int32_t note_count, double score_per_note) {
  property_dialog().ShowNoteCount(note_count, score_per_note);
}

void MainWindow::ClearFileLists() {
  property_dialog().ClearFileLists();
}

void MainWindow::AddSoundFile(std::string_view item) {
  property_dialog().AddSoundFile(item);
}

void MainWindow::AddPictureFile(std::string_view item) {
  property_dialog().AddPictureFile(item);
}

int MainWindow::AskRandomBranch(int random_count, int branches) {
  return AskRandomSelect(this, random_count, branches, strings_.language());
}

// ---- PlayView ----

void MainWindow::SetPlayButtons(bool play_pressed, bool pause_pressed, bool pause_enabled,
                                bool stop_pressed) {
  button(QStringLiteral("PLAY"))->setChecked(play_pressed);
  button(QStringLiteral("PAUSE"))->setChecked(pause_pressed);
  button(QStringLiteral("PAUSE"))->setEnabled(pause_enabled);
  button(QStringLiteral("STOP"))->setChecked(stop_pressed);
  MediaStateChanged();
}

void MainWindow::DrawFrame() {
  if (closing_) return;
  PlayerCore& core = *core_;
  core.notes.DrawFrame(core.engine, core.chart, core.resources.SpriteDc, core.resources.BgaDc,
                       &disp_image_);
  ShowDisplay();
  ++frames_drawn_;
  if (!core.engine.Playing && core.notes.Bga.ShowsMovie() && !movie_timer_->isActive()) {
    movie_redraws_ = 20;
    movie_timer_->start();
  }
  // A drag seek held back until this frame runs from the event loop, outside the drawing.
  if (pending_drag_) {
    QTimer::singleShot(0, this, [this] {
      if (pending_drag_) DragSeek(*pending_drag_);
    });
  }
}

void MainWindow::AddGaugeInput(int32_t amount) {
  core_->status.AddGaugeInput(amount);
  if (gauge_on_ && !closing_ && !gauge_timer_->isActive()) gauge_timer_->start();
}

void MainWindow::StartFrameRate(double elapsed_ms) {
  core_->status.StartFrameRate(elapsed_ms);
}

void MainWindow::StartTickTimer() {
  if (!closing_) tick_timer_->start();
}

void MainWindow::StopTickTimer() {
  tick_timer_->stop();
}

void MainWindow::PostEndTimer() {
  if (!closing_) end_timer_->start();
  MediaStateChanged();  // play ran to its end
}

std::optional<double> MainWindow::TempoBoxValue() const {
  if (panel_.isNull()) return std::nullopt;
  return panel_->TempoValue();
}

bool MainWindow::ScoreTabVisible() const {
  return property_ != nullptr && property_->ScoreTabVisible();
}

void MainWindow::ShowPlayCounts(int32_t played_notes, std::string_view score) {
  if (property_ != nullptr) property_->ShowPlayCounts(played_notes, score);
}

// ---- PlaylistHost ----

int32_t MainWindow::LoadChart(const std::string& file, bool list_load) {
  return bLoad(file, list_load);
}

void MainWindow::StopFile(bool no_stop) {
  core_->engine.StopFile(no_stop);
}

void MainWindow::PlayFile() {
  // Play asked for while a load runs (a deferred play whose timer fired inside the load) starts
  // once the load has finished.
  if (loading_) {
    QTimer::singleShot(1, this, [this] { PlayFile(); });
    return;
  }
  core_->engine.PlayFile();
}

std::string MainWindow::LoadedFilePath() const {
  return core_->chart.Header.FilePath;
}

bool MainWindow::IsPlaying() const {
  return core_->engine.Playing;
}

int MainWindow::RepeatMode() const {
  return core_->engine.RepeatMode;
}

void MainWindow::RearmEndTimer() {
  PostEndTimer();
}

void MainWindow::SetPlaylistButton(bool down) {
  button(QStringLiteral("PLAYLIST"))->setChecked(down);
}

// ---- SoundMessages ----

void MainWindow::ShowSoundError(std::string_view text) {
  MessageBox(QStringLiteral("DirectSound error"),
             QString::fromUtf8(text.data(), static_cast<int>(text.size())));
}

// ---- ControlPanelHost ----

void MainWindow::SetGaugeVisible(bool visible) {
  pic_pol_graph_->setVisible(visible);
}

void MainWindow::SetElementButtons(bool obj, bool bga, bool poly) {
  button(QStringLiteral("OBJ"))->setChecked(obj);
  button(QStringLiteral("BGA"))->setChecked(bga);
  button(QStringLiteral("POLY"))->setChecked(poly);
}

void MainWindow::SetGaugeTimer(bool running) {
  gauge_on_ = running;
  if (running && !closing_) {
    gauge_timer_->start();
  } else {
    gauge_timer_->stop();
  }
}

void MainWindow::SetSevenKeys(bool seven) {
  core_->chart.Header.SevenKeys = seven;
  core_->notes.SetLaneLayout(seven ? 1 : 0);
}

void MainWindow::SetTickTimer(bool running) {
  if (running) {
    StartTickTimer();
  } else {
    StopTickTimer();
  }
}

void MainWindow::ShowStillPicture() {
  PlayEngine& engine = core_->engine;
  if (engine.Playing || core_->chart.ObjectTable.empty() || closing_) return;
  core_->notes.LastDrawnPosition = -1.0;
  engine.LocateMeasure(ReadWhole<int16_t>(engine.StartMeasure).value_or(0));
}

void MainWindow::ChangeTempo(double bpm, bool by_user) {
  core_->engine.SetTempo(bpm, by_user);
}

void MainWindow::SetZoom(float zoom) {
  core_->notes.Zoom = zoom;
}

void MainWindow::SetFrameSleep(int32_t ms) {
  core_->engine.FrameSleep = ms;
}

void MainWindow::ZoomWindow(int index) {
  mZi_Click(index);
}

void MainWindow::PanelClosed() {
  button(QStringLiteral("CPANEL"))->setChecked(false);
  // The panel unloads: the next use makes it again from the stored switches. The switches
  // themselves stay in effect meanwhile.
  if (!panel_.isNull()) {
    panel_->hide();
    panel_->deleteLater();
    panel_.clear();
  }
}

// ---- PropertyHost ----

void MainWindow::PlayPreviewSound(int id) {
  if (id < 0 || id >= kIdCount) return;
  const int32_t buffer = core_->chart.SoundTable[static_cast<size_t>(id)];
  if (buffer == -1 || buffer == 0) return;
  core_->sound.dsStop(buffer);
  core_->sound.dsPlay(buffer);
}

const QImage* MainWindow::PreviewPicture(int id) {
  if (id < 0 || id >= kIdCount) return nullptr;
  return core_->surfaces.Image(core_->chart.BgaPictures[static_cast<size_t>(id)].PictureDc);
}

std::string MainWindow::PreviewMovie(int id) {
  if (id < 0 || id >= kIdCount) return {};
  return core_->chart.BgaPictures[static_cast<size_t>(id)].MoviePath;
}

void MainWindow::PropertyClosed() {
  button(QStringLiteral("PROP"))->setChecked(false);
}

// ---- OptionsHost ----

void MainWindow::TitleSettingsChanged() {
  PlayEngine& engine = core_->engine;
  engine.NotUseMMTimer = program_.NotUseMMTimer;
  engine.MinimizeSleep = program_.MinimizeSleep;
  engine.MinimizeSleepTime = program_.MinimizeSleepTime;
  core_->status.TitleLines = program_.InfoLines;
  FitTitlePanel(core_->status.DrawTitleInfo(core_->chart.Header));
  pic_display_->update();
}

void MainWindow::SetTitleScroll(bool scroll) {
  if (scroll) {
    timer1_->start();
    return;
  }
  timer1_->stop();
  if (!title_text_.empty()) setWindowTitle(QString::fromStdString("[Quillon] " + title_text_));
}

}  // namespace quillon
