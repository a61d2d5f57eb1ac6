#include "platform/ports.h"

#include <QSettings>
#include <memory>

namespace {
const char kChosenPortValue[] = "Port";
const char kLastPortValue[] = "LastPort";

std::unique_ptr<QSettings> OpenSettings() {
  auto s = std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope,
                                       QStringLiteral("Merilan"), QStringLiteral("KLT3"));
  s->beginGroup(QStringLiteral("1.0"));
  return s;
}

bool IsProgramPort(const QString& name) {
  const QString upper = name.toUpper();
  return upper == QLatin1String("COM1") || upper == QLatin1String("COM2");
}
}  // namespace

QString ResolvePortName(const QString& portName) {
#ifdef Q_OS_WIN
  return portName;
#else
  QString name = portName;
  if (name.startsWith(QLatin1String("\\\\.\\"))) name = name.mid(4);
  const QString upper = name.toUpper();
  if (IsProgramPort(upper)) {
    const QString path = OpenSettings()->value(upper).toString();
    if (!path.isEmpty()) return path;
    return upper == QLatin1String("COM1") ? QStringLiteral("/dev/ttyS0")
                                          : QStringLiteral("/dev/ttyS1");
  }
  return name;
#endif
}

QString ChosenPort() { return OpenSettings()->value(QLatin1String(kChosenPortValue)).toString(); }

bool StoreChosenPort(const QString& port) {
  const auto s = OpenSettings();
  if (port.isEmpty())
    s->remove(QLatin1String(kChosenPortValue));
  else
    s->setValue(QLatin1String(kChosenPortValue), port);
  s->sync();
  return s->status() == QSettings::NoError;
}

QString LastAnsweredPort() { return OpenSettings()->value(QLatin1String(kLastPortValue)).toString(); }

void StoreLastAnsweredPort(const QString& device) {
  const auto s = OpenSettings();
  s->setValue(QLatin1String(kLastPortValue), device);
  s->sync();
}

QString PortNameOfChoice(const QString& choice) {
  if (IsProgramPort(choice)) return QStringLiteral("\\\\.\\") + choice.toUpper();
  return choice;
}
