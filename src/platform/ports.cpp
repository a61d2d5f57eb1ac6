#include "platform/ports.h"

#include <QSettings>
#include <memory>

#include "platform/settings_store.h"

namespace {
const char kChosenPortValue[] = "Port";
const char kLastPortValue[] = "LastPort";

// None when a folder, a FIFO or a device stands where the settings file
// belongs: the ports then read as never set, and storing one fails.
std::unique_ptr<QSettings> OpenSettings() {
  if (!SettingsFileUsable()) return nullptr;
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
    const auto s = OpenSettings();
    const QString path = s ? s->value(upper).toString() : QString();
    if (!path.isEmpty()) return path;
    return upper == QLatin1String("COM1") ? QStringLiteral("/dev/ttyS0")
                                          : QStringLiteral("/dev/ttyS1");
  }
  return name;
#endif
}

QString ChosenPort() {
  const auto s = OpenSettings();
  return s ? s->value(QLatin1String(kChosenPortValue)).toString() : QString();
}

bool StoreChosenPort(const QString& port) {
  const auto s = OpenSettings();
  if (!s) return false;
  if (port.isEmpty())
    s->remove(QLatin1String(kChosenPortValue));
  else
    s->setValue(QLatin1String(kChosenPortValue), port);
  s->sync();
  return s->status() == QSettings::NoError;
}

QString LastAnsweredPort() {
  const auto s = OpenSettings();
  return s ? s->value(QLatin1String(kLastPortValue)).toString() : QString();
}

void StoreLastAnsweredPort(const QString& device) {
  const auto s = OpenSettings();
  if (!s) return;
  s->setValue(QLatin1String(kLastPortValue), device);
  s->sync();
}

QString PortNameOfChoice(const QString& choice) {
  if (IsProgramPort(choice)) return QStringLiteral("\\\\.\\") + choice.toUpper();
  return choice;
}
