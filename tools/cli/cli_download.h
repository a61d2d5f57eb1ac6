#pragma once
// klt3-cli download: the program's download on the event loop, its texts on
// the terminal, and the table written as "Создать" writes it.
#include <QStringList>

namespace cli {

// Installs the Ctrl+C / SIGTERM handling: an interrupted download is
// cancelled as "Отмена" cancels it. Call once after the application exists.
void InstallInterruptHandler();

int DownloadCommand(const QStringList& args);
extern const char kDownloadHelp[];

}  // namespace cli
