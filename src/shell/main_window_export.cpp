// Spreadsheet export of the rows shown.
#include <QFileInfo>
#include <QTabWidget>
#include <exception>

#include "output/xls/series_export.h"
#include "output/xls/xls_writer.h"
#include "platform/device_data.h"
#include "platform/dialogs.h"
#include "platform/operator_error.h"
#include "shell/main_window.h"
#include "views/grid/data_grid.h"

// "Экспорт в Excel": the rows of the shown view into an .xls file: a
// water-permeability series in its layout, plate tests as the plate view
// shows them.
void MainWindow::ExportShownRows() {
  if (!session_.HasTable()) return;
  const QString name =
      Dialogs().GetSaveFileName(this, QStringLiteral("Экспорт в Excel"), saveDialogDir_,
                                QStringLiteral("Книга Excel (*.xls)"), QStringLiteral("xls"));
  if (name.isEmpty()) return;
  try {
    // The export walks the natural record order under the current filter.
    for (const TableView& v : views_) ClearSorting(v);
    const TableView& view = ShownView();
    if (view.spec->kind == ShownKind::Plate) {
      std::vector<ExportColumn> columns;
      for (int c : view.grid->ColumnOrder())
        columns.push_back({view.grid->Column(c).fieldName(), view.grid->Column(c).caption});
      ExportRows(session_.Table(), columns, PlateInstrumentName(session_.ShownDeviceType()), name);
    } else {
      ExportSeries(session_.Table(), name);
    }
  } catch (const XlsError& e) {
    ShowGeneralError(this, e.text(), e.detail());
    return;
  } catch (const std::exception& e) {
    ShowGeneralError(this, OperatorText(e));
    return;
  }
  Dialogs().Message(this, QMessageBox::Information, QStringLiteral("Экспорт в Excel"),
                    QStringLiteral("Экспорт в файл ") + QFileInfo(name).fileName() +
                        QStringLiteral(" завершен успешно."),
                    QMessageBox::Ok);
}
