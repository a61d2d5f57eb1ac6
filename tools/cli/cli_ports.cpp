// klt3-cli ports: where the program's ports "\\.\COM1" and "\\.\COM2" lead
// on this computer, read and set in the program's own settings.
#include <QDir>
#include <QSettings>
#include <cstdio>
#include <memory>

#include "cli_common.h"
#include "link/serial_ports.h"
#include "platform/ports.h"
#include "platform/settings_store.h"

namespace cli {

const char kPortsHelp[] =
    "Использование: klt3-cli ports [--com1 ПУТЬ] [--com2 ПУТЬ] [--stored] [--list]\n"
    "\n"
    "Показывает, к каким устройствам ведут порты программы COM1 и COM2.\n"
    "С --com1 или --com2 записывает путь устройства в настройки программы;\n"
    "пустой путь удаляет запись, и порт снова ведет к устройству по умолчанию.\n"
    "\n"
    "  --com1 ПУТЬ   устройство порта COM1 (например /dev/ttyUSB0)\n"
    "  --com2 ПУТЬ   устройство порта COM2\n"
    "  --stored      вывести только записанные значения: COM1=... и COM2=...\n"
    "  --list        вывести последовательные порты компьютера, по одному в строке:\n"
    "                путь и через табуляцию описание; постоянное имя из\n"
    "                /dev/serial/by-id выводится вместо пути, если оно есть\n"
    "  --help        эта справка\n";

namespace {

QSettings* OpenSettings() {
  auto* s = new QSettings(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Merilan"),
                          QStringLiteral("KLT3"));
  s->beginGroup(QStringLiteral("1.0"));
  return s;
}

}  // namespace

int PortsCommand(const QStringList& argv) {
  Args args;
  QString error;
  const QStringList names{QStringLiteral("COM1"), QStringLiteral("COM2")};
  if (!args.Parse(argv, {QStringLiteral("com1"), QStringLiteral("com2")},
                  {QStringLiteral("stored"), QStringLiteral("list"), QStringLiteral("help")},
                  &error) ||
      !args.Operands().isEmpty()) {
    Error(error.isEmpty() ? QStringLiteral("Лишний параметр %1.").arg(args.Operands().first())
                          : error);
    Error(QStringLiteral("Справка: klt3-cli ports --help"));
    return kUsage;
  }
  if (args.Has(QStringLiteral("help"))) {
    std::fputs(kPortsHelp, stdout);
    return kOk;
  }
  if (args.Has(QStringLiteral("list"))) {
    for (const SerialPortEntry& e : SerialPorts().List())
      Out(e.PreferredName() + QLatin1Char('\t') + e.description);
    return kOk;
  }
  QString why;
  if (!SettingsFileUsable(&why)) {
    Error(QStringLiteral("Не удалось прочитать настройки программы из %1: %2.")
              .arg(QDir::toNativeSeparators(SettingsFilePath()), why));
    return kSettings;
  }
  std::unique_ptr<QSettings> settings(OpenSettings());
  bool changed = false;
  for (const QString& name : names) {
    const QString option = name.toLower();
    if (!args.Has(option)) continue;
    const QString path = args.Value(option);
    if (path.isEmpty())
      settings->remove(name);
    else
      settings->setValue(name, path);
    changed = true;
  }
  if (changed) {
    settings->sync();
    if (settings->status() != QSettings::NoError) {
      Error(QStringLiteral("Не удалось записать настройки программы в %1.")
                .arg(settings->fileName()));
      return kSettings;
    }
    return kOk;
  }
  for (const QString& name : names) {
    if (args.Has(QStringLiteral("stored")))
      Out(name + QLatin1Char('=') + settings->value(name).toString());
    else
      Out(name + QStringLiteral(": ") + ResolvePortName(QStringLiteral("\\\\.\\") + name));
  }
  return kOk;
}

}  // namespace cli
