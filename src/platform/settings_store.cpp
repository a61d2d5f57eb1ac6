#include "platform/settings_store.h"

#include <errno.h>
#include <fcntl.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QSettings>
#include <QStandardPaths>
#include <cctype>

#include "platform/file_ops.h"
#include "platform/write_target.h"

namespace {

const QString kGroup = QStringLiteral("1.0");

// A section or key name: letters, digits and "-_./" as they are, the rest
// as %XX (or %UXXXX beyond one byte), as the reader expects.
void AppendName(QByteArray& out, const QString& name) {
  for (const QChar c : name) {
    const char16_t u = c.unicode();
    if ((u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') || (u >= '0' && u <= '9') || u == '-' ||
        u == '_' || u == '.' || u == '/') {
      out += char(u);
    } else if (u < 256) {
      out += '%';
      out += QByteArray::number(u, 16).toUpper().rightJustified(2, '0');
    } else {
      out += "%U";
      out += QByteArray::number(u, 16).toUpper().rightJustified(4, '0');
    }
  }
}

// A value, always quoted, so that commas and blanks at either end stay
// text; a leading "@" (the reader's mark of a typed value) is doubled.
// Control characters are escaped; anything else is written as UTF-8.
void AppendValue(QByteArray& out, const QString& value) {
  out += '"';
  if (value.startsWith(QLatin1Char('@'))) out += '@';
  const QByteArray utf8 = value.toUtf8();
  for (int i = 0; i < utf8.size(); ++i) {
    const char c = utf8[i];
    switch (c) {
      case '\\': out += "\\\\"; break;
      case '"': out += "\\\""; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default:
        if (uchar(c) < 0x20 || c == 0x7F) {
          out += "\\x";
          out += QByteArray::number(uchar(c), 16).rightJustified(4, '0');
          // The reader takes hex digits as long as they come: a following
          // digit goes after a closed and reopened quote.
          if (i + 1 < utf8.size() && std::isxdigit(uchar(utf8[i + 1]))) out += "\"\"";
        } else {
          out += c;
        }
    }
  }
  out += '"';
}

}  // namespace

QString SettingsFilePath() {
#if defined(Q_OS_WIN) || defined(Q_OS_DARWIN)
  return QString();
#else
  // Where the platform's reader puts the user's settings of an
  // organisation and application.
  return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
         QStringLiteral("/Merilan/KLT3.conf");
#endif
}

namespace {
bool UsableFile(const QString& path, QString* why) {
  if (path.isEmpty()) return true;
  const int fd = OpenRegularFile(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
  if (fd >= 0) {
    Files().Close(fd);
    return true;
  }
  if (errno != EISDIR && errno != ENODEV) return true;
  if (why) *why = FileErrorText(errno);
  return false;
}
}  // namespace

bool SettingsFileUsable(QString* why) { return UsableFile(SettingsFilePath(), why); }

SettingsStore::SettingsStore() = default;
SettingsStore::~SettingsStore() {
  try {
    Sync();
  } catch (const SettingsError&) {
    // Nobody is left to tell; the file keeps its last complete contents.
  }
}

void SettingsStore::Open() {
  if (open_) return;
  open_ = true;
  path_ = SettingsFilePath();
  if (!SettingsFileUsable()) return;
  settings_ = std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope,
                                          QStringLiteral("Merilan"), QStringLiteral("KLT3"));
  settings_->beginGroup(kGroup);
  path_ = settings_->fileName();
}

bool SettingsStore::IsOpen() const { return open_; }

QString SettingsStore::FileName() const { return path_; }

bool SettingsStore::ValueExists(const QString& name) const {
  return open_ && (pending_.contains(name) || (settings_ && settings_->contains(name)));
}

QString SettingsStore::ReadString(const QString& name) const {
  if (!open_) return QString();
  const auto it = pending_.constFind(name);
  if (it != pending_.constEnd()) return it.value();
  if (!settings_) return QString();
  // A value of another type (hand-edited file) reads as its text form. An
  // unquoted text with commas parses as a list: join it back as written.
  const QVariant value = settings_->value(name);
  if (value.typeId() == QMetaType::QStringList)
    return value.toStringList().join(QStringLiteral(", "));
  return value.toString();
}

void SettingsStore::WriteString(const QString& name, const QString& text) {
  if (!open_) return;
  pending_.insert(name, text);
}

QByteArray SettingsStore::FileText(const QMap<QString, QString>& values) {
  QMap<QString, QMap<QString, QString>> sections;
  for (auto it = values.constBegin(); it != values.constEnd(); ++it) {
    const int slash = it.key().indexOf(QLatin1Char('/'));
    if (slash < 0)
      sections[QStringLiteral("General")].insert(it.key(), it.value());
    else
      sections[it.key().left(slash)].insert(it.key().mid(slash + 1), it.value());
  }
  QByteArray out;
  for (auto s = sections.constBegin(); s != sections.constEnd(); ++s) {
    if (!out.isEmpty()) out += '\n';
    out += '[';
    AppendName(out, s.key());
    out += "]\n";
    for (auto v = s.value().constBegin(); v != s.value().constEnd(); ++v) {
      AppendName(out, v.key());
      out += '=';
      AppendValue(out, v.value());
      out += '\n';
    }
  }
  return out;
}

void SettingsStore::Sync() {
  if (!open_ || pending_.isEmpty()) return;
  const QString path = path_;
  auto fail = [&](const QString& reason) {
    throw SettingsError(QStringLiteral("Не удалось сохранить настройки программы в файл %1: %2.")
                            .arg(QDir::toNativeSeparators(path), reason));
  };
  QString why;
  if (!UsableFile(path, &why)) fail(why);
  if (!QDir().mkpath(QFileInfo(path).absolutePath())) fail(QStringLiteral("нет доступа к папке"));
  // The platform's own writers take this lock too. Its file is read when
  // it is there: a FIFO or a device in its place would hold the save.
  const QString lockPath = path + QStringLiteral(".lock");
  if (!UsableFile(lockPath, &why))
    fail(QStringLiteral("файл блокировки %1: %2").arg(QDir::toNativeSeparators(lockPath), why));
  QLockFile lock(lockPath);
  lock.tryLock(5000);
  QMap<QString, QString> values;
  {
    const QSettings current(path, QSettings::IniFormat);
    for (const QString& key : current.allKeys()) {
      const QVariant v = current.value(key);
      values.insert(key, v.typeId() == QMetaType::QStringList
                             ? v.toStringList().join(QStringLiteral(", "))
                             : v.toString());
    }
  }
  for (auto it = pending_.constBegin(); it != pending_.constEnd(); ++it)
    values.insert(kGroup + QLatin1Char('/') + it.key(), it.value());
  const QByteArray text = FileText(values);
  const int err = ReplaceFile(path, text, true);
  if (err != 0) fail(FileErrorText(err));
  pending_.clear();
  if (settings_) settings_->sync();  // reads the new file back
}
