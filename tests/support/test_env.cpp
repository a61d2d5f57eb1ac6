#include "support/test_env.h"

#include <QFile>
#include <QProcess>

QString SourceDir() {
  const QString env = qEnvironmentVariable("KLT3_SOURCE_DIR");
  return env.isEmpty() ? QStringLiteral(KLT3_TEST_SOURCE_DIR) : env;
}

QString BinaryDir() {
  const QString env = qEnvironmentVariable("KLT3_BINARY_DIR");
  return env.isEmpty() ? QStringLiteral(KLT3_TEST_BINARY_DIR) : env;
}

void ClearSettings() {
  QSettings s(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Merilan"),
              QStringLiteral("KLT3"));
  s.clear();
  s.sync();
}

QByteArray ReadAll(const QString& path) {
  QFile f(path);
  if (!f.open(QIODevice::ReadOnly)) return QByteArray();
  return f.readAll();
}

int RunPython(const QString& script, const QStringList& args, QByteArray* out, QByteArray* err) {
  QProcess p;
  QStringList all{QStringLiteral("-c"), script};
  all += args;
  p.start(QStringLiteral("/usr/bin/python3"), all);
  if (!p.waitForFinished(120000)) return -1;
  if (out) *out = p.readAllStandardOutput();
  const QByteArray e = p.readAllStandardError();
  if (err) *err = e;
  return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
}
