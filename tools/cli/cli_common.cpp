#include "cli_common.h"

#include <QFile>
#include <cstdio>

#include "platform/file_ops.h"

namespace cli {

void Error(const QString& text) {
  std::fputs((text + QLatin1Char('\n')).toUtf8().constData(), stderr);
  std::fflush(stderr);
}

void Out(const QString& text) {
  std::fputs((text + QLatin1Char('\n')).toUtf8().constData(), stdout);
  std::fflush(stdout);
}

bool Args::Parse(const QStringList& args, const QStringList& valued, const QStringList& flags,
                 QString* error) {
  bool optionsEnded = false;
  for (int i = 0; i < args.size(); ++i) {
    const QString& a = args[i];
    if (optionsEnded || !a.startsWith(QLatin1String("--"))) {
      operands_ << a;
      continue;
    }
    if (a == QLatin1String("--")) {
      optionsEnded = true;
      continue;
    }
    const QString name = a.mid(2);
    if (valued.contains(name)) {
      if (i + 1 >= args.size()) {
        *error = QStringLiteral("Не задано значение параметра %1.").arg(a);
        return false;
      }
      names_ << name;
      values_ << args[++i];
    } else if (flags.contains(name)) {
      names_ << name;
      values_ << QString();
    } else {
      *error = QStringLiteral("Неизвестный параметр %1.").arg(a);
      return false;
    }
  }
  return true;
}

bool HeldByAnotherWriter(const QString& path) {
  return ::HeldByAnotherWriter(QFile::encodeName(path).toStdString());
}

QString Args::Value(const QString& name) const {
  const int i = names_.lastIndexOf(name);
  return i < 0 ? QString() : values_[i];
}

}  // namespace cli
