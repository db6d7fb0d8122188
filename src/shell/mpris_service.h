// The desktop's media controls (media keys, the panel's player applet): the player on the
// session bus as org.mpris.MediaPlayer2.quillon, with the root and Player interfaces at
// /org/mpris/MediaPlayer2. A thin view: every call ends in a command of MediaPlayerTarget, which
// the main window answers with what its toolbar runs.
//
// Threads: UI thread only. Commands run from the event loop after the call has been answered,
// because a play runs its loop inside the command and would hold the answer back until it ends.
// Nothing polls: the window calls Refresh where its play state or its chart changes, and the
// changed properties go out as one PropertiesChanged signal.
#pragma once

#include <QObject>
#include <QString>
#include <functional>
#include <memory>
#include <string>

#include "shell/mpris_track.h"

namespace quillon {

// The player's state as the media controls show it.
struct MediaState {
  bool Playing = false;  // a play runs (paused or not)
  bool Paused = false;
  bool HasChart = false;
  bool CanGoNext = false;
  bool CanGoPrevious = false;
  double PositionMs = 0.0;  // play time
};

// What the media controls read from the player and ask it to do.
class MediaPlayerTarget {
 public:
  virtual ~MediaPlayerTarget() = default;
  virtual MediaTrack CurrentTrack() const = 0;
  virtual MediaState CurrentState() const = 0;
  // The toolbar's Play (which also resumes a pause), Pause (a toggle), Stop, Next and Prev.
  virtual void PlayCommand() = 0;
  virtual void PauseCommand() = 0;
  virtual void StopCommand() = 0;
  virtual void NextCommand() = 0;
  virtual void PreviousCommand() = 0;
  // Seeks to the measure that starts last at or before play time `ms`.
  virtual void SeekToTime(double ms) = 0;
  // Opens the chart at `path` and plays it, as opening it from the File menu and pressing Play.
  virtual void OpenAndPlay(const std::string& path) = 0;
  virtual void RaiseWindow() = 0;
  virtual void QuitPlayer() = 0;
};

class MprisPlayerAdaptor;

class MprisService : public QObject {
 public:
  // Registers on the session bus. Nullptr, silently, when there is no session bus (no
  // DBUS_SESSION_BUS_ADDRESS, or nothing answers there) or the object cannot be registered.
  static std::unique_ptr<MprisService> Start(std::unique_ptr<MediaPlayerTarget> target);
  ~MprisService() override;

  // The name taken on the bus: org.mpris.MediaPlayer2.quillon, or with ".instance<pid>" when
  // another player holds that one.
  const QString& bus_name() const { return bus_name_; }
  // The player's state or chart may have changed: sends what did.
  void Refresh();
  // The same from the event loop, once for any number of calls before it runs: the window
  // changes its buttons before the engine's state follows (a play sets its state as it starts).
  void RefreshSoon();

  // For the adaptors.
  MediaPlayerTarget& target() { return *target_; }
  // Runs `command` from the event loop, once the current call has been answered.
  void Later(std::function<void()> command);
  // Announces that play jumped (the Seeked signal), after a seek has run.
  void SeekDone();

 private:
  explicit MprisService(std::unique_ptr<MediaPlayerTarget> target);
  struct Shown {
    std::string Status;
    MediaTrack Track;
    MediaState State;
  };
  Shown Snapshot() const;

  std::unique_ptr<MediaPlayerTarget> target_;
  MprisPlayerAdaptor* player_ = nullptr;  // a QObject child
  QString bus_name_;
  Shown shown_;
  bool refresh_armed_ = false;
};

}  // namespace quillon
