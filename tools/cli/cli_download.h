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

// klt3-cli decode: the table of a memory image file saved by download.
int DecodeCommand(const QStringList& args);
extern const char kDecodeHelp[];

}  // namespace cli
