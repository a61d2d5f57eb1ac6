#pragma once
// klt3-cli dump, export and report: an existing table file opened as
// "Открыть" opens it, the rows the program would show picked, then shown,
// exported or printed to PDF by the program's own code.
#include <QStringList>

namespace cli {

int DumpCommand(const QStringList& args);
int ExportCommand(const QStringList& args);
int ReportCommand(const QStringList& args);
extern const char kDumpHelp[];
extern const char kExportHelp[];
extern const char kReportHelp[];

}  // namespace cli
