#include "shell/mpris_service.h"

#include <QCoreApplication>
#include <QDBusAbstractAdaptor>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QStringList>
#include <QTimer>
#include <QVariantMap>
#include <utility>

namespace quillon {

namespace {

const QString kObjectPath = QStringLiteral("/org/mpris/MediaPlayer2");
const QString kBusName = QStringLiteral("org.mpris.MediaPlayer2.quillon");
const QString kPlayerInterface = QStringLiteral("org.mpris.MediaPlayer2.Player");
// The track id of "no track".
const QString kNoTrack = QStringLiteral("/org/mpris/MediaPlayer2/TrackList/NoTrack");

QString Text(const std::string& text) {
  // Invalid UTF-8 becomes replacement characters: a D-Bus string must be valid.
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

QVariantMap MetadataMap(const MediaTrack& track) {
  QVariantMap map;
  if (track.TrackId.empty()) {
    map.insert(QStringLiteral("mpris:trackid"), QVariant::fromValue(QDBusObjectPath(kNoTrack)));
    return map;
  }
  map.insert(QStringLiteral("mpris:trackid"),
             QVariant::fromValue(QDBusObjectPath(Text(track.TrackId))));
  map.insert(QStringLiteral("xesam:title"), Text(track.Title));
  if (!track.Artist.empty())
    map.insert(QStringLiteral("xesam:artist"), QStringList{Text(track.Artist)});
  if (!track.Genre.empty())
    map.insert(QStringLiteral("xesam:genre"), QStringList{Text(track.Genre)});
  map.insert(QStringLiteral("mpris:length"), QVariant::fromValue(qlonglong{track.LengthUs}));
  if (!track.ArtUrl.empty()) map.insert(QStringLiteral("mpris:artUrl"), Text(track.ArtUrl));
  if (!track.Url.empty()) map.insert(QStringLiteral("xesam:url"), Text(track.Url));
  return map;
}

qlonglong Microseconds(double ms) {
  if (!(ms > 0)) return 0;
  const double us = ms * 1000.0;
  return us >= 9.0e18 ? qlonglong{9'000'000'000'000'000'000} : static_cast<qlonglong>(us);
}

}  // namespace

// org.mpris.MediaPlayer2: who the player is, Raise and Quit.
class RootAdaptor : public QDBusAbstractAdaptor {
  Q_OBJECT
  Q_CLASSINFO("D-Bus Interface", "org.mpris.MediaPlayer2")
  Q_PROPERTY(bool CanQuit READ Yes)
  Q_PROPERTY(bool CanRaise READ Yes)
  Q_PROPERTY(bool HasTrackList READ No)
  Q_PROPERTY(QString Identity READ Identity)
  Q_PROPERTY(QString DesktopEntry READ DesktopEntry)
  Q_PROPERTY(QStringList SupportedUriSchemes READ SupportedUriSchemes)
  Q_PROPERTY(QStringList SupportedMimeTypes READ SupportedMimeTypes)

 public:
  explicit RootAdaptor(MprisService* service) : QDBusAbstractAdaptor(service), service_(*service) {
    setAutoRelaySignals(false);
  }
  bool Yes() const { return true; }
  bool No() const { return false; }
  QString Identity() const { return QStringLiteral("Quillon"); }
  QString DesktopEntry() const { return QStringLiteral("quillon"); }
  QStringList SupportedUriSchemes() const { return {QStringLiteral("file")}; }
  QStringList SupportedMimeTypes() const {
    return {QStringLiteral("text/x-bms"), QStringLiteral("text/x-bme"),
            QStringLiteral("text/x-bml"), QStringLiteral("text/x-pms")};
  }

 public Q_SLOTS:
  void Raise() {
    service_.Later([this] { service_.target().RaiseWindow(); });
  }
  void Quit() {
    service_.Later([this] { service_.target().QuitPlayer(); });
  }

 private:
  MprisService& service_;
};

// org.mpris.MediaPlayer2.Player: the play commands and what plays.
class MprisPlayerAdaptor : public QDBusAbstractAdaptor {
  Q_OBJECT
  Q_CLASSINFO("D-Bus Interface", "org.mpris.MediaPlayer2.Player")
  Q_PROPERTY(QString PlaybackStatus READ PlaybackStatus)
  Q_PROPERTY(double Rate READ One)
  Q_PROPERTY(double MinimumRate READ One)
  Q_PROPERTY(double MaximumRate READ One)
  Q_PROPERTY(double Volume READ One)
  Q_PROPERTY(QVariantMap Metadata READ Metadata)
  Q_PROPERTY(qlonglong Position READ Position)
  Q_PROPERTY(bool CanGoNext READ CanGoNext)
  Q_PROPERTY(bool CanGoPrevious READ CanGoPrevious)
  Q_PROPERTY(bool CanPlay READ HasChart)
  Q_PROPERTY(bool CanPause READ HasChart)
  Q_PROPERTY(bool CanSeek READ HasChart)
  Q_PROPERTY(bool CanControl READ Yes)

 public:
  explicit MprisPlayerAdaptor(MprisService* service)
      : QDBusAbstractAdaptor(service), service_(*service) {
    setAutoRelaySignals(false);
  }
  QString PlaybackStatus() const {
    const MediaState state = target().CurrentState();
    return QString::fromLatin1(PlaybackStatusName(state.Playing, state.Paused));
  }
  double One() const { return 1.0; }
  bool Yes() const { return true; }
  QVariantMap Metadata() const { return MetadataMap(target().CurrentTrack()); }
  qlonglong Position() const { return Microseconds(target().CurrentState().PositionMs); }
  bool CanGoNext() const { return target().CurrentState().CanGoNext; }
  bool CanGoPrevious() const { return target().CurrentState().CanGoPrevious; }
  bool HasChart() const { return target().CurrentState().HasChart; }

  void AnnounceSeek() { Q_EMIT Seeked(Position()); }

 public Q_SLOTS:
  void Play() {
    service_.Later([this] { target().PlayCommand(); });
  }
  void Pause() {
    service_.Later([this] {
      const MediaState state = target().CurrentState();
      if (state.Playing && !state.Paused) target().PauseCommand();
    });
  }
  void PlayPause() {
    service_.Later([this] {
      const MediaState state = target().CurrentState();
      if (state.Playing && !state.Paused) {
        target().PauseCommand();
      } else {
        target().PlayCommand();
      }
    });
  }
  void Stop() {
    service_.Later([this] { target().StopCommand(); });
  }
  void Next() {
    service_.Later([this] { target().NextCommand(); });
  }
  void Previous() {
    service_.Later([this] { target().PreviousCommand(); });
  }
  // Relative to where play is when the seek runs; before the start goes to the start, past the
  // end to the next chart.
  void Seek(qlonglong Offset) {
    service_.Later([this, Offset] {
      const MediaState state = target().CurrentState();
      if (!state.HasChart) return;
      const double ms = std::max(state.PositionMs + static_cast<double>(Offset) / 1000.0, 0.0);
      if (ms * 1000.0 > static_cast<double>(target().CurrentTrack().LengthUs)) {
        target().NextCommand();
        return;
      }
      target().SeekToTime(ms);
      service_.SeekDone();
    });
  }
  // Ignored unless `TrackId` names the chart loaded now and `Position` lies within it.
  void SetPosition(const QDBusObjectPath& TrackId, qlonglong Position) {
    const std::string id = TrackId.path().toStdString();
    service_.Later([this, id, Position] {
      const MediaTrack track = target().CurrentTrack();
      if (track.TrackId.empty() || id != track.TrackId) return;
      if (Position < 0 || Position > track.LengthUs) return;
      target().SeekToTime(static_cast<double>(Position) / 1000.0);
      service_.SeekDone();
    });
  }
  void OpenUri(const QString& Uri) {
    const std::string path = PathOfFileUrl(Uri.toStdString());
    if (path.empty()) return;
    service_.Later([this, path] { target().OpenAndPlay(path); });
  }

 Q_SIGNALS:
  void Seeked(qlonglong Position);

 private:
  MediaPlayerTarget& target() const { return service_.target(); }
  MprisService& service_;
};

MprisService::MprisService(std::unique_ptr<MediaPlayerTarget> target) : target_(std::move(target)) {
  new RootAdaptor(this);
  player_ = new MprisPlayerAdaptor(this);
}

std::unique_ptr<MprisService> MprisService::Start(std::unique_ptr<MediaPlayerTarget> target) {
  // Without an address, the bus library would try to start a bus of its own.
  if (qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS") || target == nullptr) return nullptr;
  QDBusConnection bus = QDBusConnection::sessionBus();
  if (!bus.isConnected()) return nullptr;
  std::unique_ptr<MprisService> service(new MprisService(std::move(target)));
  // The object first: a controller that sees the name appear asks for the properties at once.
  if (!bus.registerObject(kObjectPath, service.get(), QDBusConnection::ExportAdaptors)) {
    return nullptr;
  }
  QString name = kBusName;
  if (!bus.registerService(name)) {
    name = kBusName + QStringLiteral(".instance") +
           QString::number(QCoreApplication::applicationPid());
    if (!bus.registerService(name)) {
      bus.unregisterObject(kObjectPath);
      return nullptr;
    }
  }
  service->bus_name_ = name;
  service->shown_ = service->Snapshot();
  return service;
}

MprisService::~MprisService() {
  if (bus_name_.isEmpty()) return;
  QDBusConnection bus = QDBusConnection::sessionBus();
  bus.unregisterService(bus_name_);
  bus.unregisterObject(kObjectPath);
}

void MprisService::Later(std::function<void()> command) {
  QTimer::singleShot(0, this, std::move(command));
}

void MprisService::RefreshSoon() {
  if (refresh_armed_ || bus_name_.isEmpty()) return;
  refresh_armed_ = true;
  QTimer::singleShot(0, this, [this] {
    refresh_armed_ = false;
    Refresh();
  });
}

void MprisService::SeekDone() {
  player_->AnnounceSeek();
}

MprisService::Shown MprisService::Snapshot() const {
  Shown shown;
  shown.State = target_->CurrentState();
  shown.Status = PlaybackStatusName(shown.State.Playing, shown.State.Paused);
  shown.Track = target_->CurrentTrack();
  return shown;
}

void MprisService::Refresh() {
  if (bus_name_.isEmpty()) return;
  const Shown now = Snapshot();
  QVariantMap changed;
  if (now.Status != shown_.Status) {
    changed.insert(QStringLiteral("PlaybackStatus"), Text(now.Status));
  }
  if (now.Track != shown_.Track) {
    changed.insert(QStringLiteral("Metadata"), MetadataMap(now.Track));
  }
  if (now.State.CanGoNext != shown_.State.CanGoNext) {
    changed.insert(QStringLiteral("CanGoNext"), now.State.CanGoNext);
  }
  if (now.State.CanGoPrevious != shown_.State.CanGoPrevious) {
    changed.insert(QStringLiteral("CanGoPrevious"), now.State.CanGoPrevious);
  }
  if (now.State.HasChart != shown_.State.HasChart) {
    for (const char* name : {"CanPlay", "CanPause", "CanSeek"}) {
      changed.insert(QString::fromLatin1(name), now.State.HasChart);
    }
  }
  shown_ = now;
  if (changed.isEmpty()) return;
  QDBusMessage signal =
      QDBusMessage::createSignal(kObjectPath, QStringLiteral("org.freedesktop.DBus.Properties"),
                                 QStringLiteral("PropertiesChanged"));
  signal << kPlayerInterface << changed << QStringList();
  QDBusConnection::sessionBus().send(signal);
}

}  // namespace quillon

#include "mpris_service.moc"
