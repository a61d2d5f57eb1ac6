// The table file's commands: New, Append, Open, Save, Close, the series list, row
// deletion, and closing the window (which closes the table).
#include <QCloseEvent>
#include <QDir>
#include <QFileInfo>
#include <QLineEdit>
#include <QListWidget>
#include <QTabWidget>
#include <exception>

#include "link/ui/download_dialog.h"
#include "platform/dialogs.h"
#include "platform/operator_error.h"
#include "shell/main_window.h"
#include "views/grid/data_grid.h"
#include "views/series_list_view.h"

namespace {

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

// "Создать": the new file's name, then the download, then the table. The
// open table stays until the new one is there.
void MainWindow::NewTable() {
  const QString name =
      Dialogs().GetSaveFileName(this, QStringLiteral("Создать"), saveDialogDir_,
                                QStringLiteral("Файлы данных (*.db)"), QStringLiteral("db"));
  if (name.isEmpty()) return;
  saveDialogDir_ = QFileInfo(name).absolutePath();
  // Told before the instrument's memory is read for nothing.
  try {
    session_.CheckNewTablePath(name);
  } catch (const std::exception& e) {
    ShowGeneralError(this, OperatorText(e));
    return;
  }
  if (downloadDialog_ && Dialogs().Exec(downloadDialog_) == QDialog::Accepted)
    CreateTableFromDownload(name);
}

// Makes the table file from the last download and shows it.
void MainWindow::CreateTableFromDownload(const QString& path) {
  BuiltTable built;
  try {
    built = TableSession::BuildFromDownload(path, downloadDialog_->Result());
  } catch (const std::exception& e) {
    // Nothing was made: the open table, if any, stays as it was.
    ShowGeneralError(this, OperatorText(e));
    return;
  }
  // The open table goes only now that the new one is complete; "Отмена" on
  // the question drops the new one instead.
  if (session_.InUse() && !SettleBeforeClosing()) return;
  try {
    session_.Install(built);
  } catch (const std::exception& e) {
    if (!session_.InUse()) LeaveTableState();
    ShowGeneralError(this, OperatorText(e));
    return;
  }
  // The open table went with the install; the window follows.
  LeaveTableState();
  const bool shown = EnterTableState();
  // Told over the new table, also when a stored layout stopped the command.
  ShowIncompleteNotice(QString());
  if (!shown) return;
  // Its first series, as the download left it.
  if (IsWaterDeviceType(session_.DeviceType())) ShowSeriesList();
  session_.Table().Refresh();
  // As after "Открыть": the stored widths were made for another window.
  FitShownColumns();
}

// "Дополнить из прибора…": the download as for "Создать", then the records
// the open table does not hold yet at its end.
void MainWindow::AppendFromInstrument() {
  if (!session_.IsEditable()) return;
  // Told before the instrument's memory is read for nothing: the file is
  // replaced by a copy made beside it.
  try {
    session_.CheckNewTablePath(session_.Table().FilePath());
  } catch (const std::exception& e) {
    ShowGeneralError(this, OperatorText(e));
    return;
  }
  if (downloadDialog_ && Dialogs().Exec(downloadDialog_) == QDialog::Accepted)
    AppendDownloadToTable();
}

// Appends the last download to the open table, shows the new records and
// tells what happened.
void MainWindow::AppendDownloadToTable() {
  // The editor's value goes into the edit that the session posts first.
  EndOpenEditors(true);
  AppendCounts counts;
  try {
    counts = session_.AppendFromDownload(downloadDialog_->Result(), [this] {
      // A new file takes the table's place: the views drop their sorting,
      // and with it the index file.
      for (const TableView& v : views_) ClearSorting(v);
    });
  } catch (const std::exception& e) {
    // Only a file lost after the rename leaves no table.
    if (!session_.InUse()) LeaveTableState();
    ShowGeneralError(this, OperatorText(e));
    return;
  }
  if (counts.added > 0) {
    ShowViews();
    if (counts.kind == ShownKind::Water) {
      ShowSeriesList(counts.firstNew);
    } else {
      ShowKindTab(viewTabs_->currentIndex());
      session_.Table().MoveTo(counts.firstNew);
    }
  }
  Dialogs().Message(this, QMessageBox::Information, MainTitle(), AppendCountsText(counts),
                    QMessageBox::Ok);
}

// "Открыть": the file to open, then its series list with the first series
// shown.
void MainWindow::OpenTable() {
  const QString name =
      Dialogs().GetOpenFileName(this, QStringLiteral("Открыть"), openDialogDir_,
                                QStringLiteral("Базы данных (*.db)"), QStringLiteral("db"));
  if (!name.isEmpty()) {
    if (session_.InUse() && !SettleUnsavedChanges()) return;
    if (session_.InUse()) CloseTable();
    defaultDir_ = QFileInfo(name).absolutePath();
    openDialogDir_ = defaultDir_;
    if (!OpenTableFile(name)) return;
  }
  // Also after a cancelled dialog: the open table's list is rebuilt and its
  // first series shown.
  if (!session_.HasTable()) return;
  {
    DisabledWhile quiet(ViewOf(ShownKind::Water).grid);
    session_.RebuildSeriesList(ShownView().spec->kind);
  }
  ShowSeriesList();
  FitShownColumns();
}

// Opens a table file and shows it; false when the open stopped (a damaged
// file, or a stored column layout that cannot be read).
bool MainWindow::OpenTableFile(const QString& path) {
  DisabledWhile quiet(ViewOf(ShownKind::Water).grid);
  if (session_.InUse()) {
    CloseTable();
    if (session_.InUse()) return false;  // the operator kept the open table
  }
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
  // A table cut short while it was written (a program that stopped) is
  // told, and a wrong header before the file is corrected. Read only, it
  // stays as it is (its writer may be appending right now).
  const MeasurementTable& table = session_.Table();
  const bool headerWrong =
      session_.IsEditable() && table.HeaderRowCount() != table.StoredRowCount();
  ShowIncompleteNotice(
      headerWrong ? QStringLiteral("Таблица открыта с найденными строками, заголовок исправлен.")
                  : QString());
  try {
    session_.Table().RepairHeader();
  } catch (const std::exception& e) {
    // The rows are shown all the same; the file keeps its old header.
    ShowGeneralError(this, OperatorText(e));
  }
  return EnterTableState();
}

// "Сохранить".
void MainWindow::SaveTable() {
  if (!session_.InUse()) return;
  // An edit still in progress is posted, as the views do when the operator
  // leaves the row.
  if (session_.HasTable()) EndOpenEditors(true);
  try {
    session_.Save();
  } catch (const std::exception& e) {
    ReportTableFailure(e);
  }
}

// The question about unsaved changes before "Закрыть", "Создать", "Открыть"
// or the window's close takes the table away. "Да" saves; "Нет" drops an
// edit still in a cell editor (the close drops the row's unposted values);
// "Отмена", Escape or a save that failed call the step off, leaving
// everything as it was. False when the step is called off.
bool MainWindow::SettleUnsavedChanges() {
  if (!session_.IsModified()) return true;
  const auto answer =
      Dialogs().Message(this, QMessageBox::Question, MainTitle(),
                        QStringLiteral("Сохранить изменения в таблицах ?"),
                        QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
  if (answer == QMessageBox::Yes) {
    SaveTable();
    return !session_.IsModified();
  }
  if (answer != QMessageBox::No) return false;
  EndOpenEditors(false);
  session_.DiscardModified();
  return true;
}

// "Закрыть": asks about unsaved changes, stores the plate view's layout and
// returns the window to its state without table.
void MainWindow::CloseTable() {
  if (!SettleBeforeClosing()) return;
  session_.Close();
  LeaveTableState();
}

// What comes before the open table closes: the question about unsaved
// changes, and the column layouts stored. False when the operator called
// the step off.
bool MainWindow::SettleBeforeClosing() {
  if (!SettleUnsavedChanges()) return false;
  for (const TableView& v : views_) SaveColumnLayout(v);
  return true;
}

// The notice of a table that was cut short while it was written, with
// `extra` after it; nothing for a whole table.
void MainWindow::ShowIncompleteNotice(const QString& extra) {
  QString text = session_.IncompleteNotice();
  if (text.isEmpty()) return;
  if (!extra.isEmpty()) text += QLatin1Char('\n') + extra;
  Dialogs().Message(this, QMessageBox::Warning, ApplicationTitle(), text, QMessageBox::Ok);
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
  if (!SettleUnsavedChanges()) {
    event->ignore();
    return;
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
  if (session_.FileLost()) {
    session_.DiscardModified();
    CloseTable();
  }
}

void MainWindow::EndOpenEditors(bool keep) {
  for (const TableView& v : views_) EndOpenEditor(v.grid, keep);
}

// Fills the list beside the water-permeability view from the session,
// every entry listed, and highlights the entry `current` (the first one
// unless told otherwise).
void MainWindow::ShowSeriesList(int current) {
  seriesSearch_->clear();
  views::FillSeriesList(*seriesList_, session_.Series());
  if (seriesList_->count() > current) seriesList_->setCurrentRow(current);
}

// Shows the rows of the highlighted series and their statistics. The list
// belongs to the water-permeability view; the plate view shows all its rows.
void MainWindow::ShowSelectedSeries() {
  const QListWidgetItem* item = seriesList_->currentItem();
  if (!item || !item->isSelected() || !session_.HasTable()) return;
  if (ShownView().spec->kind != ShownKind::Water) return;
  session_.ShowSeries(views::SeriesNumberOf(*item));
  UpdateStatistics();
}

// "Удалить строки" / "Удалить": deletes the marked rows (or the current
// row) of the shown view for good, then recomputes the statistics.
void MainWindow::DeleteMarkedRows() {
  if (session_.ReadOnly()) return;  // the Delete key; the commands are disabled
  if (session_.HasTable()) DeleteRowsOfShownView();
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
    // The question names what goes: the highlighted row, or how many marked.
    const QString question =
        QStringLiteral("Удалить %1?").arg(session_.RowsToDeleteText(rows));
    if (Dialogs().Ask(this, MainTitle(), question, QMessageBox::No) != QMessageBox::Yes) return;
  }
  // The editor's value goes into the edit that the session posts first.
  EndOpenEditor(view.grid, true);
  bool posted = false;
  try {
    OneRedraw redraw(view.grid);
    session_.DeleteRowsAndPack(rows, [&] {
      posted = true;
      // Deleting and packing renumber the rows, so the views drop their
      // sorting, and with it the index file.
      for (const TableView& v : views_) ClearSorting(v);
    });
  } catch (const std::exception& e) {
    if (posted && !rows.empty()) view.grid->view()->clearSelection();
    ReportTableFailure(e);
    return;
  }
  if (!rows.empty()) view.grid->view()->clearSelection();
}
