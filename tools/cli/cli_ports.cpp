// klt3-cli ports: where the program's ports "\\.\COM1" and "\\.\COM2" lead
// on this computer, the port chosen for downloads and the one that answered
// last, read and set in the program's own settings.
#include <QDir>
#include <QFileInfo>
#include <QSettings>
#include <cstdio>
#include <memory>

#include "cli_common.h"
#include "link/serial_ports.h"
#include "platform/ports.h"
#include "platform/settings_store.h"

namespace cli {

const char kPortsHelp[] =
    "Использование: klt3-cli ports [--port ПОРТ] [--com1 ПУТЬ] [--com2 ПУТЬ] [--stored] [--list]\n"
    "\n"
    "Показывает, к каким устройствам ведут порты программы COM1 и COM2, какой порт\n"
    "выбран для приема в окне \"Порт прибора…\" и на каком порту прибор ответил\n"
    "в прошлый раз: без выбранного порта прием ищет прибор сначала там, затем на\n"
    "COM1, COM2 и на всех остальных портах.\n"
    "С --port записывает выбор порта, как окно \"Порт прибора…\". С --com1 или\n"
    "--com2 записывает путь устройства в настройки программы; пустой путь\n"
    "удаляет запись, и порт снова ведет к устройству по умолчанию.\n"
    "\n"
    "  --port ПОРТ   порт для приема: путь устройства (например /dev/ttyUSB0),\n"
    "                COM1, COM2 или auto (автоматический поиск)\n"
    "  --com1 ПУТЬ   устройство порта COM1 (например /dev/ttyUSB0)\n"
    "  --com2 ПУТЬ   устройство порта COM2\n"
    "  --stored      вывести только записанные значения: COM1=..., COM2=...,\n"
    "                Port=... (выбранный порт, пусто - автоматический поиск) и\n"
    "                LastPort=... (порт, где прибор ответил в прошлый раз)\n"
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

// The value "Порт прибора…" stores for a port the operator names: empty
// for the automatic search, "COM1" or "COM2", else the device's stable name
// when it has one (so that the choice survives replugging), else its path.
// False for a name that is none of these.
bool ChoiceOf(const QString& port, QString* choice) {
  const QString upper = port.toUpper();
  if (upper == QLatin1String("AUTO")) {
    choice->clear();
    return true;
  }
  if (upper == QLatin1String("COM1") || upper == QLatin1String("COM2")) {
    *choice = upper;
    return true;
  }
  if (port.isEmpty() || !QDir::isAbsolutePath(port)) return false;
  for (const SerialPortEntry& e : SerialPorts().List()) {
    if (port == e.device || port == e.stableName) {
      *choice = e.PreferredName();
      return true;
    }
  }
  const QString stable = StableNameOf(port);
  *choice = stable.isEmpty() ? port : stable;
  return true;
}

// "COM1 (/dev/ttyS0)", a device path, or "автоматически".
QString ChoiceText(const QString& choice) {
  if (choice.isEmpty()) return QStringLiteral("автоматически");
  const QString name = PortNameOfChoice(choice);
  if (name != choice) return choice + QStringLiteral(" (") + ResolvePortName(name) + QLatin1Char(')');
  if (!QFileInfo::exists(choice)) return choice + QStringLiteral(" (сейчас не найден)");
  return choice;
}

}  // namespace

int PortsCommand(const QStringList& argv) {
  Args args;
  QString error;
  const QStringList names{QStringLiteral("COM1"), QStringLiteral("COM2")};
  if (!args.Parse(argv, {QStringLiteral("com1"), QStringLiteral("com2"), QStringLiteral("port")},
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
  QString choice;
  if (args.Has(QStringLiteral("port")) && !ChoiceOf(args.Value(QStringLiteral("port")), &choice)) {
    Error(QStringLiteral("Параметр --port принимает путь устройства (например /dev/ttyUSB0), "
                         "COM1, COM2 или auto."));
    return kUsage;
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
  if (changed) settings->sync();
  if ((changed && settings->status() != QSettings::NoError) ||
      (args.Has(QStringLiteral("port")) && !StoreChosenPort(choice))) {
    Error(QStringLiteral("Не удалось записать настройки программы в %1.").arg(settings->fileName()));
    return kSettings;
  }
  if (args.Has(QStringLiteral("port"))) {
    // Kept all the same: an adapter may be plugged in only for the download.
    if (!choice.isEmpty() && PortNameOfChoice(choice) == choice && !QFileInfo::exists(choice))
      Error(QStringLiteral("Устройства %1 сейчас нет; выбор записан.").arg(choice));
    return kOk;
  }
  if (changed) return kOk;
  if (args.Has(QStringLiteral("stored"))) {
    for (const QString& name : names) Out(name + QLatin1Char('=') + settings->value(name).toString());
    Out(QStringLiteral("Port=") + ChosenPort());
    Out(QStringLiteral("LastPort=") + LastAnsweredPort());
    return kOk;
  }
  for (const QString& name : names)
    Out(name + QStringLiteral(": ") + ResolvePortName(QStringLiteral("\\\\.\\") + name));
  Out(QStringLiteral("Порт прибора: ") + ChoiceText(ChosenPort()));
  const QString last = LastAnsweredPort();
  Out(QStringLiteral("Порт, где прибор ответил в прошлый раз: ") +
      (last.isEmpty() ? QStringLiteral("нет") : last));
  return kOk;
}

}  // namespace cli
