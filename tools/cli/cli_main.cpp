// klt3-cli: the program's download, table view, export and report for
// scripts and for a terminal.
#include <QGuiApplication>
#include <QLocale>
#include <cstdio>

#include "cli_common.h"
#include "cli_download.h"
#include "cli_files.h"

namespace {

// Qt's own notes (a missing runtime folder, font fallbacks) are no business
// of a script reading our output; only its critical messages get through.
void QuietMessages(QtMsgType type, const QMessageLogContext&, const QString& text) {
  if (type == QtCriticalMsg || type == QtFatalMsg)
    std::fputs((text + QLatin1Char('\n')).toUtf8().constData(), stderr);
}

const char kHelp[] =
    "Использование: klt3-cli КОМАНДА [ПАРАМЕТРЫ]\n"
    "\n"
    "Команды:\n"
    "  download [--port УСТРОЙСТВО] [--save-image ОБРАЗ] [--log ЖУРНАЛ]\n"
    "           [--append] ФАЙЛ.db              считать память прибора в новую таблицу\n"
    "                                           (с --append — дополнить ею таблицу)\n"
    "  decode [--append] ОБРАЗ ФАЙЛ.db          сделать таблицу из сохраненного образа памяти\n"
    "                                           (с --append — дополнить им таблицу)\n"
    "  dump ФАЙЛ.db [--csv | --json] [--series N | --kind plate|water]\n"
    "                                           вывести строки таблицы, как их показывает вид\n"
    "                                           (строки серий - с номером серии)\n"
    "  export ФАЙЛ.db [--series N | --kind plate|water] ВЫХОД.xls\n"
    "                                           записать строки в книгу Excel\n"
    "  report ФАЙЛ.db [--series N | --kind plate|water] ВЫХОД.pdf\n"
    "                                           записать отчет в файл PDF\n"
    "  ports [--port ПОРТ] [--com1 ПУТЬ] [--com2 ПУТЬ] [--stored] [--list]\n"
    "                                           показать или задать порт приема и\n"
    "                                           устройства портов COM1 и COM2\n"
    "\n"
    "klt3-cli --help (-h): эта справка; klt3-cli КОМАНДА --help: справка по команде.\n"
    "\n"
    "Коды завершения:\n"
    "  0    успешно\n"
    "  1    ошибка в командной строке\n"
    "  2    прибор не обнаружен\n"
    "  3    ошибка передачи данных, потеряна связь с прибором\n"
    "  4    подключен не тот прибор (с --append: прибор другого вида, чем записи таблицы)\n"
    "  5    в приборе нет данных\n"
    "  6    не удалось записать таблицу (образ памяти, журнал обмена)\n"
    "  7    таблица не найдена или повреждена\n"
    "  8    не удалось записать книгу Excel\n"
    "  9    не удалось записать отчет\n"
    "  10   серии нет в таблице\n"
    "  11   не удалось записать настройки программы\n"
    "  12   образ памяти не найден или поврежден\n"
    "  130  прервано (Ctrl+C)\n";

}  // namespace

int main(int argc, char* argv[]) {
  // Nothing is ever shown: the report's fonts and pages need a GUI
  // application, not a display.
  qputenv("QT_QPA_PLATFORM", "offscreen");
  qInstallMessageHandler(QuietMessages);
  QGuiApplication app(argc, argv);
  QCoreApplication::setOrganizationName(QStringLiteral("Merilan"));
  QCoreApplication::setApplicationName(QStringLiteral("KLT3"));
  cli::InstallInterruptHandler();

  QStringList args = QCoreApplication::arguments().mid(1);
  if (args.isEmpty()) {
    std::fputs(kHelp, stderr);
    return cli::kUsage;
  }
  const QString command = args.takeFirst();
  if (command == QLatin1String("--help") || command == QLatin1String("-h") ||
      command == QLatin1String("help")) {
    std::fputs(kHelp, stdout);
    return cli::kOk;
  }
  if (command == QLatin1String("download")) return cli::DownloadCommand(args);
  if (command == QLatin1String("decode")) return cli::DecodeCommand(args);
  if (command == QLatin1String("dump")) return cli::DumpCommand(args);
  if (command == QLatin1String("export")) return cli::ExportCommand(args);
  if (command == QLatin1String("report")) return cli::ReportCommand(args);
  if (command == QLatin1String("ports")) return cli::PortsCommand(args);
  cli::Error(QStringLiteral("Неизвестная команда %1. Справка: klt3-cli --help").arg(command));
  return cli::kUsage;
}
