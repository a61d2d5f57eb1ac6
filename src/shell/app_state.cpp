#include "shell/app_state.h"

#include <QDir>
#include <QFileInfo>

namespace {
QString& HelpFileStorage() {
  static QString path = DefaultHelpFile();
  return path;
}
}  // namespace

QString DefaultHelpFile() { return QString::fromUtf8("\\\\ФИР.HLP"); }
QString ApplicationHelpFile() { return HelpFileStorage(); }
void SetApplicationHelpFile(const QString& path) { HelpFileStorage() = path; }

QString LocalHelpFile(const QString& folder) {
  const QFileInfo info(QDir(folder), QStringLiteral("klt3.hlp"));
  return info.isFile() ? info.absoluteFilePath() : QString();
}

QString FindHelpFile(const QString& executableDir) {
  // A "klt3.hlp" put beside the program by the laboratory wins over the
  // guide that came with it.
  const QString local = LocalHelpFile(executableDir);
  if (!local.isEmpty()) return local;
  const QDir dir(executableDir);
  for (const char* guide :
       {"../share/doc/klt3/index.html", "../../share/doc/klt3/index.html"}) {
    const QFileInfo info(dir, QString::fromLatin1(guide));
    if (info.isFile()) return QDir::cleanPath(info.absoluteFilePath());
  }
  return QString();
}
