// The life of the one open table: New, Open, Save, Close, the series list,
// row deletion and the two decoders.
#include <QFile>
#include <QFileInfo>
#include <QListWidget>
#include <algorithm>
#include <exception>

#include "link/device_data.h"
#include "link/ui/download_dialog.h"
#include "platform/dialogs.h"
#include "shell/main_window.h"
#include "store/create_from_download.h"
#include "store/decoders.h"
#include "store/row_deletion.h"
#include "store/series_list.h"
#include "views/grid/data_grid.h"

namespace {

const char kMainTitle[] = "ФИР - ТЛ7";

QString MainTitle() { return QString::fromUtf8(kMainTitle); }

// The engine's text of a failure, for the general error message.
QString ErrorText(const std::exception& e) {
  if (auto* table = dynamic_cast<const TableError*>(&e)) return table->text();
  return QString::fromLocal8Bit(e.what());
}

// The index file beside a table: its path with ".mdx" in place of its own
// extension.
QString IndexFileOf(const QString& tablePath) {
  const QFileInfo info(tablePath);
  return info.path() + QLatin1Char('/') + info.completeBaseName() + QStringLiteral(".mdx");
}

// The general error message for a failed table operation. A file that could
// not be reopened (removed or locked meanwhile) leaves no table, and the
// window must not pretend otherwise: it goes to its state without table.
void ReportTableFailure(TForm1* form, const std::exception& e) {
  ShowGeneralError(form, ErrorText(e));
  if (form->TableOpen && !form->Table.IsOpen()) {
    form->TableModified = false;
    form->Close_DB();
  }
}

DumpView DownloadedDump() { return DumpView{DeviceDump.data(), int(DeviceDump.size())}; }

// Ends a cell edit still open in a grid's editor: with `keep` its text goes
// into the row being edited, else it is dropped.
void EndOpenEditor(QWidget* gridWidget, bool keep) {
  auto* grid = qobject_cast<DataGrid*>(gridWidget);
  if (!grid) return;
  QTableView* view = grid->view();
  QWidget* editor = view->indexWidget(view->currentIndex());
  if (!editor) return;
  if (keep) QMetaObject::invokeMethod(view, "commitData", Q_ARG(QWidget*, editor));
  QMetaObject::invokeMethod(
      view, "closeEditor", Q_ARG(QWidget*, editor),
      Q_ARG(QAbstractItemDelegate::EndEditHint, QAbstractItemDelegate::RevertModelCache));
}

// Keeps a widget disabled for a scope, whatever way the scope is left.
class DisabledWhile {
 public:
  explicit DisabledWhile(QWidget* w) : w_(w) {
    if (w_) w_->setEnabled(false);
  }
  ~DisabledWhile() {
    if (w_) w_->setEnabled(true);
  }
  DisabledWhile(const DisabledWhile&) = delete;
  DisabledWhile& operator=(const DisabledWhile&) = delete;

 private:
  QWidget* w_;
};

}  // namespace

// "Создать": save dialog, download, Create_DB.
void TForm1::N2Click() {
  // Also a table left open by a failed decoding.
  if (TableOpen || Table.IsOpen()) Close_DB();
  const QString name =
      Dialogs().GetSaveFileName(this, QStringLiteral("Создать"), SaveDialog1InitialDir,
                                QStringLiteral("Файлы данных (*.db)"), QStringLiteral("db"));
  if (name.isEmpty()) return;
  SaveDialog1InitialDir = QFileInfo(name).absolutePath();
  SaveDialog1FileName = name;
  if (Form2 && Dialogs().Exec(Form2) == QDialog::Accepted) Create_DB();
}

// Creates the table file and decodes the download into it.
void TForm1::Create_DB() {
  TableOpen = false;
  TableModified = false;
  try {
    CreateEmptyTable(Table, SaveDialog1FileName);
  } catch (const std::exception& e) {
    ShowGeneralError(this, ErrorText(e));
    return;
  }
  TableOpen = true;
  SetTableColor(true);
  try {
    if (IsWaterDeviceType(DeviceIdentity.type))
      flash2klt3();
    else
      flash2zen();
  } catch (const std::exception& e) {
    // The rows written so far stay in the open file; the views stay hidden
    // until New or Open closes it.
    ShowGeneralError(this, ErrorText(e));
    return;
  }
  find_mma();
  enable_button();
  tab_vis_en();
  // A stored layout that cannot be read ends the command (after its message).
  if (!LoadColumnLayout(QStringLiteral("Table_1"), DBGridPro1)) return;
  if (!LoadColumnLayout(QStringLiteral("Table_2"), DBGridPro2)) return;
  TableModified = false;
  Table.Refresh();
}

// "Открыть": open dialog, Open_DB, series list.
void TForm1::N3Click() {
  ListBox1->clear();
  const QString name =
      Dialogs().GetOpenFileName(this, QStringLiteral("Открыть"), OpenDialog1InitialDir,
                                QStringLiteral("Базы данных (*.db)"), QStringLiteral("db"));
  if (!name.isEmpty()) {
    if (TableOpen) Close_DB();
    DefaultDir = QFileInfo(name).absolutePath();
    OpenDialog1InitialDir = DefaultDir;
    if (!Open_DB(name)) return;
  }
  // Also after a cancelled dialog: the open table's list is rebuilt and its
  // first series shown.
  if (!TableOpen) return;
  {
    DisabledWhile quiet(DBGridPro2);
    ListBox1->addItems(BuildSeriesList(Table, PageControl1->currentIndex() == 1));
  }
  if (ListBox1->count() > 0) ListBox1->setCurrentRow(0);
  ListBox1DblClick();
  N23Click();
}

// Opens a table file and shows it.
bool TForm1::Open_DB(const QString& path) {
  DisabledWhile quiet(DBGridPro2);
  // A table left open by a failed decoding is closed here too.
  if (TableOpen || Table.IsOpen()) Close_DB();
  try {
    Table.SetLocation(path);
    // No filter of a previously open table carries over.
    Table.SetFilter(QString());
    Table.Open();
  } catch (const std::exception&) {
    Dialogs().Message(this, QMessageBox::Critical, QStringLiteral("Ошибка"),
                      QStringLiteral("База данных повреждена !"), QMessageBox::Ok);
    return false;
  }
  TableOpen = true;
  find_mma();
  Table.First();
  // Decides the plate report; 0 for an empty table. The kind is that of an
  // admitted instrument.
  DeviceIdentity.type = uint8_t(Table.GetInt(QStringLiteral("DEV_TYPE")));
  DeviceIdentity.kind = 1;
  SetTableColor(true);
  enable_button();
  tab_vis_en();
  // A stored layout that cannot be read ends the command (after its message).
  if (!LoadColumnLayout(QStringLiteral("Table_1"), DBGridPro1)) return false;
  if (!LoadColumnLayout(QStringLiteral("Table_2"), DBGridPro2)) return false;
  SetTitle(QFileInfo(path).completeBaseName() + QStringLiteral(" - ") + MainTitle());
  TableModified = false;
  return true;
}

// "Сохранить".
void TForm1::N5Click() { Save_DB(); }

// Writes the table to disk by closing and reopening it.
void TForm1::Save_DB() {
  if (!TableOpen) return;
  try {
    if (Table.IsOpen()) {
      // An edit still in progress is posted, as the views do when the
      // operator leaves the row.
      EndOpenEditor(DBGridPro1, true);
      EndOpenEditor(DBGridPro2, true);
      if (Table.IsEditing()) Table.PostRow();
    }
    Table.Close();
    Table.Open();
  } catch (const std::exception& e) {
    ReportTableFailure(this, e);
    return;
  }
  TableModified = false;
}

// "Закрыть".
void TForm1::N7Click() { Close_DB(); }

// Closes the table and returns the window to its state without table.
void TForm1::Close_DB() {
  if (TableModified) {
    const auto answer = Dialogs().Message(this, QMessageBox::Question, MainTitle(),
                                          QStringLiteral("Сохранить изменения в таблицах ?"),
                                          QMessageBox::Yes | QMessageBox::No);
    if (answer == QMessageBox::Yes) {
      Save_DB();
    } else {
      // No drops an edit still in a cell editor; Close below drops the
      // row's unposted values.
      EndOpenEditor(DBGridPro1, false);
      EndOpenEditor(DBGridPro2, false);
    }
  }
  SaveColumnLayout(DBGridPro1, QStringLiteral("Table_1"));
  TableOpen = false;
  TableModified = false;
  if (Table.IsOpen()) {
    const QString index = IndexFileOf(Table.FilePath());
    Table.Close();
    QFile::remove(index);  // a missing index file is no error
  }
  disable_button();
  tab_vis_dis();
  SetTitle(MainTitle());
  SetTableColor(false);
}

// Shows the selected series.
void TForm1::ListBox1Click() {
  const QListWidgetItem* item = ListBox1->currentItem();
  if (!item || !item->isSelected() || !Table.IsOpen()) return;
  Table.SetFilter(SeriesFilter(item->text()));
  Table.Refresh();
}

// Shows the selected series.
void TForm1::ListBox1DblClick() { ListBox1Click(); }

// Decodes a water-permeability download into rows.
void TForm1::flash2klt3() {
  ListBox1->clear();
  QStringList series;
  try {
    DecodeWaterDump(Table, DownloadedDump(), DeviceIdentity.type, DeviceIdentity.recordCount,
                    &series);
  } catch (...) {
    ListBox1->addItems(series);
    throw;
  }
  ListBox1->addItems(series);
  if (ListBox1->count() > 0) ListBox1->setCurrentRow(0);
  ListBox1Click();
  N23Click();
  Table.Refresh();
}

// Decodes a plate-test download into rows.
void TForm1::flash2zen() {
  if (!Table.IsOpen()) return;
  // The image's own count replaces the one of the identification frame.
  DeviceIdentity.recordCount = dump_word(DownloadedDump(), 0);
  DecodePlateDump(Table, DownloadedDump(), DeviceIdentity.type, DeviceIdentity.serial);
}

namespace {

// The rows a delete command takes from a view: its marked rows in ascending
// bookmark order or, with none marked, the current row (none when there is
// no current row).
std::vector<MeasurementTable::BookmarkT> RowsToDelete(QWidget* gridWidget,
                                                      const MeasurementTable& table) {
  std::vector<MeasurementTable::BookmarkT> rows;
  if (auto* grid = qobject_cast<DataGrid*>(gridWidget)) {
    for (const MarkedRow& m : grid->MarkedRows()) rows.push_back(m.bookmark);
  }
  if (rows.empty()) {
    if (const auto current = table.Bookmark()) rows.push_back(current);
  }
  std::sort(rows.begin(), rows.end());
  rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
  return rows;
}

void UnmarkRows(QWidget* gridWidget) {
  if (auto* grid = qobject_cast<DataGrid*>(gridWidget)) grid->view()->clearSelection();
}

}  // namespace

// Deletes the rows of a view for good: marks them deleted from the last to
// the first, packs the file and reopens it under the same filter.
void TForm1::DeleteGridRows(TDBGridPro* grid) {
  if (!Table.IsOpen()) return;
  // Taken first: the marks go with any change of the row order below, the
  // bookmarks stay valid until the pack.
  const auto rows = RowsToDelete(grid, Table);
  // An edit in progress is posted first, so that it neither gets lost nor
  // lands on another row once the current row moves.
  EndOpenEditor(grid, true);
  try {
    if (Table.IsEditing()) Table.PostRow();
  } catch (const std::exception& e) {
    ReportTableFailure(this, e);
    return;
  }
  // Deleting and packing renumber the rows, so the view drops its sorting:
  // both tags go, and with them the index file.
  ClearSorting(grid, QStringLiteral("tab1"));
  ClearSorting(grid, QStringLiteral("tab2"));
  if (!rows.empty()) {
    // One redraw at the end instead of one per deleted row.
    grid->setUpdatesEnabled(false);
    try {
      DeleteBookmarkedRows(Table, rows);
    } catch (const std::exception& e) {
      UnmarkRows(grid);
      grid->setUpdatesEnabled(true);
      grid->update();
      ReportTableFailure(this, e);
      return;
    }
    UnmarkRows(grid);
    grid->setUpdatesEnabled(true);
    grid->update();
  }
  try {
    PackAndReopen(Table);
  } catch (const std::exception& e) {
    ReportTableFailure(this, e);
    return;
  }
  TableModified = false;
}

// "Удалить строки" / "Удалить": deletes the marked rows (or the current row)
// of the active view and recomputes the statistics.
void TForm1::N21Click() {
  if (Table.IsOpen() && PageControl1->currentIndex() == 0) DeleteGridRows(DBGridPro1);
  if (Table.IsOpen() && PageControl1->currentIndex() == 1) DeleteGridRows(DBGridPro2);
  find_mma();
}
