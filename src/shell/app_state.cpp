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
