// The table file's commands: New, Open, Save, Close, the series list, row
// deletion, and closing the window (which closes the table).
#include <QCloseEvent>
#include <QDir>
#include <QFileInfo>
#include <QListWidget>
#include <QTabWidget>
#include <exception>

#include "link/ui/download_dialog.h"
#include "platform/dialogs.h"
#include "platform/operator_error.h"
#include "shell/main_window.h"
#include "views/grid/data_grid.h"

namespace {

const char kDefaultDirValue[] = "Default_dir";

QString MainTitle() { return QString::fromUtf8("ФИР - ТЛ7"); }

// What the last download left for New.
DownloadedImage LastDownload(const DownloadDialog& dialog) {
  const Download& download = dialog.download();
  DownloadedImage d;
  d.image = DumpView{download.Image().data(), int(download.Image().size())};
  d.deviceType = download.Identity().type;
  d.deviceSerial = download.Identity().serial;
  d.recordCount = download.Identity().recordCount;
  return d;
}

// Ends a cell edit still open in a grid's editor: with `keep` its text goes
// into the row being edited, else it is dropped.
void EndOpenEditor(DataGrid* grid, bool keep) {
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
  explicit DisabledWhile(QWidget* w) : w_(w) { w_->setEnabled(false); }
  ~DisabledWhile() { w_->setEnabled(true); }
  DisabledWhile(const DisabledWhile&) = delete;
  DisabledWhile& operator=(const DisabledWhile&) = delete;

 private:
  QWidget* w_;
};

// Redraws a grid once at the end of a scope instead of once per change.
class OneRedraw {
 public:
  explicit OneRedraw(QWidget* w) : w_(w) { w_->setUpdatesEnabled(false); }
  ~OneRedraw() {
    w_->setUpdatesEnabled(true);
    w_->update();
  }
  OneRedraw(const OneRedraw&) = delete;
  OneRedraw& operator=(const OneRedraw&) = delete;

 private:
  QWidget* w_;
};

}  // namespace

// "Создать": the new file's name, then the download, then the table.
void MainWindow::NewTable() {
  // Also a table left open by a failed decoding.
  if (session_.InUse() || session_.Table().IsOpen()) CloseTable();
  const QString name =
      Dialogs().GetSaveFileName(this, QStringLiteral("Создать"), saveDialogDir_,
                                QStringLiteral("Файлы данных (*.db)"), QStringLiteral("db"));
  if (name.isEmpty()) return;
  saveDialogDir_ = QFileInfo(name).absolutePath();
  if (downloadDialog_ && Dialogs().Exec(downloadDialog_) == QDialog::Accepted)
    CreateTableFromDownload(name);
}

// Makes the table file from the last download and shows it.
void MainWindow::CreateTableFromDownload(const QString& path) {
  tableShown_ = false;
  try {
    session_.CreateFromDownload(path, LastDownload(*downloadDialog_));
  } catch (const std::exception& e) {
    // A failed decoding keeps the rows written so far in the open file; the
    // views stay hidden until New or Open closes it.
    if (session_.InUse()) {
      SetBackgroundForTable(true);
      ShowSeriesList();
    }
    ShowGeneralError(this, OperatorText(e));
    return;
  }
  SetBackgroundForTable(true);
  if (IsWaterDeviceType(session_.DeviceType())) {
    ShowSeriesList();
    FitShownColumns();
  }
  UpdateStatistics();
  tableShown_ = true;
  UpdateCommandStates();
  ShowViews();
  // A stored layout that cannot be read ends the command (after its message).
  if (!LoadColumnLayouts()) return;
  session_.DiscardModified();
  session_.Table().Refresh();
}

// "Открыть": the file to open, then its series list with the first series
// shown.
void MainWindow::OpenTable() {
  seriesList_->clear();
  const QString name =
      Dialogs().GetOpenFileName(this, QStringLiteral("Открыть"), openDialogDir_,
                                QStringLiteral("Базы данных (*.db)"), QStringLiteral("db"));
  if (!name.isEmpty()) {
    if (session_.InUse()) CloseTable();
    defaultDir_ = QFileInfo(name).absolutePath();
    openDialogDir_ = defaultDir_;
    if (!OpenTableFile(name)) return;
  }
  // Also after a cancelled dialog: the open table's list is rebuilt and its
  // first series shown.
  if (!session_.InUse()) return;
  {
    DisabledWhile quiet(ViewOf(ShownKind::Water).grid);
    session_.RebuildSeriesList(ShownView().kind);
  }
  ShowSeriesList();
  FitShownColumns();
}

// Opens a table file and shows it; false when the open stopped (a damaged
// file, or a stored column layout that cannot be read).
bool MainWindow::OpenTableFile(const QString& path) {
  DisabledWhile quiet(ViewOf(ShownKind::Water).grid);
  // A table left open by a failed decoding is closed here too.
  if (session_.InUse() || session_.Table().IsOpen()) CloseTable();
  // A table the operator may not change opens read-only by itself; one
  // that another program holds, when the operator agrees.
  auto mode = MeasurementTable::OpenMode::KeepHeader;
  for (;;) {
    try {
      session_.Open(path, mode);
      break;
    } catch (const TableBusyError&) {
      const QString question =
          QStringLiteral("Таблица %1 открыта другой программой (например, второй копией этой "
                         "программы), и изменять ее сейчас нельзя.\n\n"
                         "Открыть ее только для просмотра?")
              .arg(QFileInfo(path).fileName());
      if (Dialogs().Ask(this, QStringLiteral("Открыть"), question, QMessageBox::Yes) !=
          QMessageBox::Yes)
        return false;
      mode = MeasurementTable::OpenMode::ReadOnly;
    } catch (const std::exception& e) {
      Dialogs().DetailedMessage(this, QMessageBox::Critical, QStringLiteral("Ошибка"),
                                QStringLiteral("База данных повреждена !"),
                                DamagedTableDetail(path, OperatorText(e)), QMessageBox::Ok);
      return false;
    }
  }
  // A header that disagrees with the rows (a program that stopped while
  // writing) is told before the file is corrected. Read only, it stays as
  // it is (its writer may be appending right now).
  const MeasurementTable& table = session_.Table();
  if (!session_.ReadOnly() && table.HeaderRowCount() != table.StoredRowCount()) {
    Dialogs().Message(
        this, QMessageBox::Warning, ApplicationTitle(),
        QStringLiteral("В заголовке таблицы %1 указано строк: %2, а в файле найдено: %3.\n"
                       "Таблица открыта с найденными строками, заголовок исправлен.")
            .arg(QDir::toNativeSeparators(path))
            .arg(table.HeaderRowCount())
            .arg(table.StoredRowCount()),
        QMessageBox::Ok);
  }
  try {
    session_.Table().RepairHeader();
  } catch (const std::exception& e) {
    // The rows are shown all the same; the file keeps its old header.
    ShowGeneralError(this, OperatorText(e));
  }
  SetBackgroundForTable(true);
  tableShown_ = true;
  UpdateCommandStates();
  ShowViews();
  if (!LoadColumnLayouts()) return false;
  SetTitle(QFileInfo(path).completeBaseName() +
           (session_.ReadOnly() ? QStringLiteral(" (только чтение)") : QString()) +
           QStringLiteral(" - ") + MainTitle());
  session_.DiscardModified();
  return true;
}

// "Сохранить".
void MainWindow::SaveTable() {
  if (!session_.InUse()) return;
  // An edit still in progress is posted, as the views do when the operator
  // leaves the row.
  if (session_.Table().IsOpen()) EndOpenEditors(true);
  try {
    session_.Save();
  } catch (const std::exception& e) {
    ReportTableFailure(e);
  }
}

// "Закрыть": asks about unsaved changes, stores the plate view's layout and
// returns the window to its state without table.
void MainWindow::CloseTable() {
  if (session_.IsModified()) {
    const auto answer = Dialogs().Message(this, QMessageBox::Question, MainTitle(),
                                          QStringLiteral("Сохранить изменения в таблицах ?"),
                                          QMessageBox::Yes | QMessageBox::No);
    if (answer == QMessageBox::Yes) {
      SaveTable();
    } else {
      // No drops an edit still in a cell editor; Close below drops the
      // row's unposted values.
      EndOpenEditors(false);
    }
  }
  for (const TableView& v : views_) SaveColumnLayout(v);
  session_.Close();
  seriesList_->clear();
  tableShown_ = false;
  UpdateCommandStates();
  HideViews();
  SetTitle(MainTitle());
  SetBackgroundForTable(false);
}

void MainWindow::closeEvent(QCloseEvent* event) {
  // The folder is stored before the table's question, so that it is kept
  // whatever the answer.
  settings_.WriteString(QLatin1String(kDefaultDirValue), defaultDir_);
  try {
    StoreWindowGeometry();
  } catch (const SettingsError&) {
    // Still pending: the layout's write below tells the operator.
  }
  try {
    CloseTable();
  } catch (const std::exception& e) {
    // The window stays open when the table could not be closed, so the
    // operator can still save or retry.
    ShowGeneralError(this, OperatorText(e));
    event->ignore();
    return;
  }
  event->accept();
}

// The general error message for a failed table operation. A file that could
// not be reopened (removed or locked meanwhile) leaves no table, and the
// window must not pretend otherwise: it goes to its state without table.
void MainWindow::ReportTableFailure(const std::exception& e) {
  ShowGeneralError(this, OperatorText(e));
  if (session_.InUse() && !session_.Table().IsOpen()) {
    session_.DiscardModified();
    CloseTable();
  }
}

void MainWindow::EndOpenEditors(bool keep) {
  for (const TableView& v : views_) EndOpenEditor(v.grid, keep);
}

// Fills the list beside the water-permeability view from the session and
// highlights its first entry.
void MainWindow::ShowSeriesList() {
  seriesList_->clear();
  seriesList_->addItems(session_.SeriesList());
  if (seriesList_->count() > 0) seriesList_->setCurrentRow(0);
}

// Shows the rows of the highlighted series and their statistics. The list
// belongs to the water-permeability view; the plate view shows all its rows.
void MainWindow::ShowSelectedSeries() {
  const QListWidgetItem* item = seriesList_->currentItem();
  if (!item || !item->isSelected() || !session_.Table().IsOpen()) return;
  if (ShownView().kind != ShownKind::Water) return;
  session_.ShowSeries(item->text());
  UpdateStatistics();
}

// "Удалить строки" / "Удалить": deletes the marked rows (or the current
// row) of the shown view for good, then recomputes the statistics.
void MainWindow::DeleteMarkedRows() {
  if (session_.ReadOnly()) return;  // the Delete key; the commands are disabled
  if (session_.Table().IsOpen()) DeleteRowsOfShownView();
  UpdateStatistics();
}

void MainWindow::DeleteRowsOfShownView() {
  const TableView& view = ShownView();
  // Taken first: the marks go with any change of the row order below, the
  // bookmarks stay valid until the pack.
  std::vector<TableSession::Bookmark> marked;
  for (const MarkedRow& m : view.grid->MarkedRows()) marked.push_back(m.bookmark);
  const auto rows = session_.RowsToDelete(marked);
  if (!rows.empty()) {
    const QString question =
        marked.empty() ? QStringLiteral("Удалить текущую строку?")
                       : QStringLiteral("Удалить отмеченные строки (%1)?").arg(rows.size());
    if (Dialogs().Ask(this, MainTitle(), question, QMessageBox::No) != QMessageBox::Yes) return;
  }
  // An edit in progress is posted first, so that it neither gets lost nor
  // lands on another row once the current row moves.
  EndOpenEditor(view.grid, true);
  try {
    session_.PostEdit();
  } catch (const std::exception& e) {
    ReportTableFailure(e);
    return;
  }
  // Deleting and packing renumber the rows, so the views drop their
  // sorting, and with it the index file.
  for (const TableView& v : views_) ClearSorting(v);
  if (!rows.empty()) {
    OneRedraw redraw(view.grid);
    try {
      session_.DeleteRows(rows);
    } catch (const std::exception& e) {
      view.grid->view()->clearSelection();
      ReportTableFailure(e);
      return;
    }
    view.grid->view()->clearSelection();
  }
  try {
    session_.PackAndReopen();
  } catch (const std::exception& e) {
    ReportTableFailure(e);
  }
}
