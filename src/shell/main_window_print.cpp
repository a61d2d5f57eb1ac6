// Preview and printing of the rows shown.
#include <QTabWidget>
#include <exception>

#include "link/device_data.h"
#include "output/reports/report_templates.h"
#include "output/reports/report_windows.h"
#include "platform/dialogs.h"
#include "shell/main_window.h"

namespace {

// The template of the active view: the first tab shows the plate rows.
const ReportTemplate& ActiveReport(const TForm1& form) {
  const ReportView view = form.PageControl1 && form.PageControl1->currentIndex() == 1
                              ? ReportView::WaterPermeability
                              : ReportView::PlateTest;
  return ReportById(SelectReport(view, DeviceIdentity.type));
}

// Prepares the report of the active view over the table's own cursor;
// a failure of the table ends the command with the general error message.
bool PrepareActiveReport(TForm1* form, PreparedReport* report) {
  if (!form->TableOpen || !form->Table.IsOpen()) return false;
  try {
    TableReportSource rows(&form->Table);
    *report = PrepareReportWithProgress(form, ActiveReport(*form), rows);
  } catch (const TableError& e) {
    ShowGeneralError(form, e.text());
    return false;
  }
  return report->completed;
}

}  // namespace

// "Предварительный просмотр".
void TForm1::N8Click() {
  PreparedReport report;
  if (!PrepareActiveReport(this, &report)) return;
  ShowReportPreview(this, report, [this] { N24Click(); });
}

// "Печать".
void TForm1::N9Click() {
  PreparedReport report;
  if (!PrepareActiveReport(this, &report)) return;
  PrintReportWithDialog(this, report);
}

// Popup "Печать".
void TForm1::N22Click() { N9Click(); }
