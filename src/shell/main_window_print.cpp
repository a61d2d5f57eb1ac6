// Preview and printing of the rows shown.
#include <QDir>
#include <QFileInfo>
#include <exception>

#include "output/reports/report_templates.h"
#include "output/reports/report_windows.h"
#include "platform/dialogs.h"
#include "shell/main_window.h"

// Prepares the report of the shown view over the table's own cursor; a
// failure of the table ends the command with the general error message.
bool MainWindow::PrepareShownReport(PreparedReport* report) {
  if (!session_.HasTable()) return false;
  const ReportView view = ShownView().spec->kind == ShownKind::Water ? ReportView::WaterPermeability
                                                                     : ReportView::PlateTest;
  try {
    TableReportSource rows(&session_.Table());
    *report = PrepareReportWithProgress(
        this, ReportById(SelectReport(view, uint8_t(session_.ShownDeviceType()))), rows);
  } catch (const TableError& e) {
    ShowGeneralError(this, e.text());
    return false;
  }
  return report->completed;
}

namespace {
// Where a report goes without a printer: beside the table, under its name.
QString ReportPdfPath(const QString& tablePath) {
  const QFileInfo table(tablePath);
  return table.absoluteDir().filePath(table.completeBaseName() + QStringLiteral(".pdf"));
}
}  // namespace

// "Предварительный просмотр"; the preview's help button opens the help.
void MainWindow::PreviewReport() {
  PreparedReport report;
  if (!PrepareShownReport(&report)) return;
  ShowReportPreview(this, report, [this] { ShowHelp(); }, ReportPdfPath(session_.Table().FilePath()));
}

// "Печать", from the menu, the tool bar and the context menu.
void MainWindow::PrintReport() {
  PreparedReport report;
  if (!PrepareShownReport(&report)) return;
  PrintOrSaveReport(this, report, ReportPdfPath(session_.Table().FilePath()));
}
