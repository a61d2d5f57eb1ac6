// Spreadsheet export of the rows shown.
#include <QFileInfo>
#include <QTabWidget>
#include <exception>

#include "output/xls/series_export.h"
#include "output/xls/xls_writer.h"
#include "platform/dialogs.h"
#include "shell/main_window.h"

// "Экспорт в Excel": both tabs give the same layout.
void TForm1::Excel1Click() {
  if (!TableOpen || !Table.IsOpen()) return;
  const int page = PageControl1 ? PageControl1->currentIndex() : -1;
  if (page == 0 || page == 1) exp2excel();
}

// Writes the rows of the active view to an .xls file.
void TForm1::exp2excel() {
  if (!Table.IsOpen()) return;
  const QString name =
      Dialogs().GetSaveFileName(this, QStringLiteral("Экспорт в Excel"), SaveDialog1InitialDir,
                                QStringLiteral("Книга Excel (*.xls)"), QStringLiteral("xls"));
  if (name.isEmpty()) return;
  try {
    // The export walks the natural record order under the current filter.
    ClearSorting(DBGridPro1, QStringLiteral("tab1"));
    ClearSorting(DBGridPro2, QStringLiteral("tab2"));
    ExportSeries(Table, name);
  } catch (const XlsError& e) {
    ShowGeneralError(this, e.text());
    return;
  } catch (const TableError& e) {
    ShowGeneralError(this, e.text());
    return;
  } catch (const std::exception& e) {
    ShowGeneralError(this, QString::fromUtf8(e.what()));
    return;
  }
  Dialogs().Message(this, QMessageBox::Information, QStringLiteral("Экспорт в Excel"),
                    QStringLiteral("Экспорт в файл ") + QFileInfo(name).fileName() +
                        QStringLiteral(" завершен успешно."),
                    QMessageBox::Ok);
}
