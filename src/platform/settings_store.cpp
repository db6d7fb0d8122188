#include "platform/settings_store.h"

#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QStringList>
#include <QVariant>

namespace quillon {
namespace {

QString ToQString(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

std::string ToUtf8(const QString& text) {
  return text.toUtf8().toStdString();
}

// The names of `names` equal to `wanted` without regard to letter case, the exact spelling first.
QStringList Matches(const QStringList& names, const QString& wanted) {
  QStringList found;
  for (const QString& name : names) {
    if (name == wanted) {
      found.prepend(name);
    } else if (name.compare(wanted, Qt::CaseInsensitive) == 0) {
      found.append(name);
    }
  }
  return found;
}

// A stored value as text. QSettings turns a hand-written "a,b" into a list and "@ByteArray(..)"
// into bytes; both come back as the one text they stand for. Values that are not text at all
// (an invalid or unknown "@Variant") give nullopt.
std::optional<std::string> ValueText(const QVariant& value) {
  switch (value.typeId()) {
    case QMetaType::QString:
      return ToUtf8(value.toString());
    case QMetaType::QByteArray: {
      const QByteArray bytes = value.toByteArray();
      return std::string(bytes.constData(), static_cast<size_t>(bytes.size()));
    }
    case QMetaType::QStringList:
      return ToUtf8(value.toStringList().join(QLatin1Char(',')));
    case QMetaType::QVariantList: {
      std::string joined;
      const QVariantList items = value.toList();
      for (qsizetype i = 0; i < items.size(); ++i) {
        if (i > 0) joined += ',';
        joined += ValueText(items[i]).value_or(std::string());
      }
      return joined;
    }
    default:
      break;
  }
  if (value.isValid() && value.canConvert<QString>()) return ToUtf8(value.toString());
  return std::nullopt;
}

// Why `path` cannot be written, in words.
QString WriteFailureReason(const QString& path) {
  const QFileInfo file(path);
  if (file.isDir()) return QStringLiteral("it is a folder");
  if (file.exists()) {
    QFile probe(path);
    if (!probe.open(QIODevice::ReadWrite)) return probe.errorString();
  }
  const QFileInfo folder(file.absolutePath());
  if (!folder.exists()) {
    return QStringLiteral("the folder %1 does not exist and cannot be made")
        .arg(folder.absoluteFilePath());
  }
  if (!folder.isWritable()) {
    return QStringLiteral("the folder %1 is not writable").arg(folder.absoluteFilePath());
  }
  return QStringLiteral("the file could not be replaced");
}

}  // namespace

SettingsStore::SettingsStore()
    : settings_(std::make_unique<QSettings>(QSettings::IniFormat, QSettings::UserScope,
                                            QStringLiteral("Quillon"), QStringLiteral("Quillon"))) {
}

SettingsStore::SettingsStore(const QString& path)
    : settings_(std::make_unique<QSettings>(path, QSettings::IniFormat)) {}

SettingsStore::~SettingsStore() = default;

QString SettingsStore::FilePath() const {
  return settings_->fileName();
}

std::optional<std::string> SettingsStore::Read(std::string_view section,
                                               std::string_view key) const {
  QSettings& s = *settings_;
  const QString wanted_key = ToQString(key);
  for (const QString& stored_section : Matches(s.childGroups(), ToQString(section))) {
    s.beginGroup(stored_section);
    const QStringList keys = Matches(s.childKeys(), wanted_key);
    const QVariant value = keys.isEmpty() ? QVariant() : s.value(keys.first());
    s.endGroup();
    if (!keys.isEmpty()) return ValueText(value);
  }
  return std::nullopt;
}

void SettingsStore::Write(std::string_view section, std::string_view key, std::string_view value) {
  QSettings& s = *settings_;
  const QString wanted_section = ToQString(section);
  const QString wanted_key = ToQString(key);
  // Every spelling of the key goes, so that the value is stored once, under the new spelling.
  for (const QString& stored_section : Matches(s.childGroups(), wanted_section)) {
    s.beginGroup(stored_section);
    for (const QString& stored_key : Matches(s.childKeys(), wanted_key))
      s.remove(stored_key);
    s.endGroup();
  }
  s.setValue(wanted_section + QLatin1Char('/') + wanted_key, ToQString(value));
}

bool SettingsStore::Sync(std::string* error) {
  settings_->sync();
  if (settings_->status() != QSettings::NoError) {
    // A QSettings keeps the first error it met, a format error in the file it read included,
    // so its status may speak of an earlier write or of reading. A fresh QSettings for the same
    // file shares the pending changes (QSettings keeps one copy per file and process), writes
    // them as it is made and reports on that alone. A format error then means the file changed
    // on disk meanwhile; one more fresh object tells whether the changes were written.
    Reopen();
    if (settings_->status() == QSettings::FormatError) Reopen();
  }
  if (settings_->status() == QSettings::NoError) return true;
  if (error != nullptr) {
    *error = ToUtf8(QStringLiteral("Cannot write the settings file %1: %2")
                        .arg(FilePath(), WriteFailureReason(FilePath())));
  }
  return false;
}

void SettingsStore::Reopen() {
  // The new object is made while the old one still holds the file's shared copy, so the pending
  // changes carry over.
  auto fresh = std::make_unique<QSettings>(settings_->fileName(), QSettings::IniFormat);
  settings_ = std::move(fresh);
}

}  // namespace quillon
