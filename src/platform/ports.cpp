#include "platform/ports.h"

#include <QSettings>

QString ResolvePortName(const QString& portName) {
#ifdef Q_OS_WIN
  return portName;
#else
  QString name = portName;
  if (name.startsWith(QLatin1String("\\\\.\\"))) name = name.mid(4);
  const QString upper = name.toUpper();
  if (upper == QLatin1String("COM1") || upper == QLatin1String("COM2")) {
    QSettings s(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Merilan"),
                QStringLiteral("KLT3"));
    s.beginGroup(QStringLiteral("1.0"));
    const QString path = s.value(upper).toString();
    if (!path.isEmpty()) return path;
    return upper == QLatin1String("COM1") ? QStringLiteral("/dev/ttyS0")
                                          : QStringLiteral("/dev/ttyS1");
  }
  return name;
#endif
}
