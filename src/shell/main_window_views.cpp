// The two views of the table: which one is shown, and their commands:
// fitting, colours, sorting, footers, column layouts.
#include <QListWidget>
#include <QTabWidget>

#include "platform/colors.h"
#include "platform/dialogs.h"
#include "platform/operator_error.h"
#include "shell/main_window.h"
#include "views/chart/chart_panel.h"
#include "views/date_range_bar.h"
#include "views/grid/data_grid.h"
#include "views/layout/column_layout_text.h"
#include "views/series_list_view.h"
#include "views/table_views.h"

void MainWindow::ConnectViews() {
  for (const TableView& v : views_) {
    views::SetupView(v.grid, *v.spec, &session_.Table());
    connect(v.grid, &DataGrid::TitleStateChanged, this,
            [this, &v](int column) { SortByTitle(v, column); });
    connect(v.grid, &DataGrid::InitEdit, this, [this] { session_.MarkModified(); });
    connect(v.grid, &DataGrid::SelectionChanged, this, [this, &v] { UpdateFooters(v); });
  }
}

// The views stand in the order of their descriptions.
MainWindow::TableView& MainWindow::ViewOf(ShownKind kind) {
  return views_[&views::ViewSpecOf(kind) - views::ViewSpecs().data()];
}

// The view whose tab is the current page.
MainWindow::TableView& MainWindow::ShownView() {
  return viewTabs_->currentWidget() == ViewOf(ShownKind::Water).tab ? ViewOf(ShownKind::Water)
                                                                     : ViewOf(ShownKind::Plate);
}

// Shows the tab of the kind of rows the table holds, and only that one.
void MainWindow::ShowViews() {
  if (!session_.HasTable()) return;
  // Leaves the kind filter of the chosen view in force.
  const ShownKind shown = session_.ChooseShownKind();
  // A table starts with all of its plate tests; the dates offered are
  // theirs. Set before a tab change shows rows.
  plateDates_->Reset(shown == ShownKind::Plate ? session_.ShownDateSpan() : DateRange());
  session_.SetPlateDates(plateDates_->Range());
  for (const TableView& v : views_)
    viewTabs_->setTabVisible(viewTabs_->indexOf(v.tab), v.spec->kind == shown);
  viewTabs_->setCurrentWidget(ViewOf(shown).tab);
  const bool wasHidden = viewTabs_->isHidden();
  viewTabs_->show();
  // A tab that becomes visible with its page control shows itself.
  if (wasHidden) ShowKindTab(viewTabs_->currentIndex());
  viewTabs_->update();
  chartPanel_->setVisible(showChartAction_->isChecked());
}

void MainWindow::HideViews() {
  viewTabs_->hide();
  chartPanel_->hide();
}

// "График": the chart of the shown rows beside the grid, while a table is shown.
void MainWindow::ShowOrHideChart() {
  chartPanel_->setVisible(showChartAction_->isChecked() && !viewTabs_->isHidden());
}

// A tab that becomes the shown page shows its rows: the plate tests, or the
// series highlighted in the list beside the water-permeability grid.
void MainWindow::ShowKindTab(int index) {
  // Only a page the operator can see counts as shown.
  if (viewTabs_->isHidden()) return;
  for (const TableView& v : views_) {
    if (viewTabs_->indexOf(v.tab) != index) continue;
    const QListWidgetItem* series = seriesList_->currentItem();
    if (v.spec->kind == ShownKind::Water && series && series->isSelected())
      session_.ShowSeries(views::SeriesNumberOf(*series));
    else
      session_.ShowKind(v.spec->kind);
    UpdateStatistics();
    const bool water = &v == &ViewOf(ShownKind::Water);
    chartPanel_->Follow(v.grid, water ? chart::ChartKind::Water : chart::ChartKind::Plate);
  }
}

// The search over the series list: the entries of that number or date
// stay listed; the series shown stays shown.
void MainWindow::NarrowSeriesList(const QString& text) {
  views::NarrowSeriesList(*seriesList_, session_.Series(), text);
}

// Enter in the search field: the first series listed is the one shown.
void MainWindow::PickFirstListedSeries() {
  QListWidgetItem* item = views::FirstListedItem(*seriesList_);
  if (!item) return;
  seriesList_->setCurrentItem(item);
  seriesList_->setFocus();
}

// "с … по …": the plate tests of those dates are the rows shown, and so
// what the footers, the chart, the reports, the export and a deletion take.
void MainWindow::ShowPlateDates() {
  session_.SetPlateDates(plateDates_->Range());
  if (!session_.HasTable() || ShownView().spec->kind != ShownKind::Plate) return;
  session_.ShowKind(ShownKind::Plate);
  UpdateStatistics();
}

// "Выровнять столбцы": equal widths for the shown view's columns.
void MainWindow::FitShownColumns() {
  if (!session_.HasTable()) return;
  views::FitColumns(*ShownView().grid);
}

// "Задать цвет": the current column of the shown view gets a colour.
void MainWindow::SetColumnColor() {
  if (!session_.HasTable()) return;
  QColor chosen;
  if (!Dialogs().GetColor(this, lastColor_, &chosen)) return;
  lastColor_ = chosen;
  DataGrid* grid = ShownView().grid;
  grid->SetColumnColor(grid->CurrentColumn(), ValueFromColor(chosen));
}

// "Убрать цвет": the current column's own colour goes.
void MainWindow::RemoveColumnColor() {
  if (!session_.HasTable()) return;
  DataGrid* grid = ShownView().grid;
  grid->SetColumnColor(grid->CurrentColumn(), kClNone);
}

// "Убрать все цвета": every column colour of the shown view goes.
void MainWindow::RemoveAllColumnColors() {
  if (!session_.HasTable()) return;
  ShownView().grid->ClearColumnColors();
}

// "Сортировать по столбцу": what a click on the title of the current column
// does, for the operator at the keyboard.
void MainWindow::SortByCurrentColumn() {
  if (!session_.HasTable()) return;
  DataGrid* grid = ShownView().grid;
  const int column = grid->CurrentColumn();
  if (column >= 0) grid->ClickTitle(column, false);
}

// "Убрать сортировку": both views back to file order.
void MainWindow::RemoveSorting() {
  ClearSorting(ViewOf(ShownKind::Water));
  ClearSorting(ViewOf(ShownKind::Plate));
}

// Clears a view's sort marks and drops its sort tag.
void MainWindow::ClearSorting(const TableView& view) {
  views::ClearSorting(*view.grid, session_.Table(), view.spec->sortTag);
}

// Sorts a view by the column whose title the operator clicked.
void MainWindow::SortByTitle(const TableView& view, int column) {
  try {
    views::TitleStateChange(*view.grid, session_.Table(), view.spec->sortTag, column);
  } catch (const std::exception& e) {
    ShowGeneralError(this, OperatorText(e));
  }
}

// Minimum, mean and maximum of P and R over the shown rows, into the footers.
void MainWindow::UpdateStatistics() {
  session_.UpdateStatistics();
  for (const TableView& v : views_) UpdateFooters(v);
}

// The footers of a view: the table's statistics, or the marked rows'.
void MainWindow::UpdateFooters(const TableView& view) {
  views::UpdateFooters(*view.grid, session_.Stats(), session_.Table());
}

// Applies both views' stored column layouts; false (after the general error
// message) when a stored text cannot be read: the command stops there.
bool MainWindow::LoadColumnLayouts() {
  for (const TableView& v : views_) {
    try {
      views::LoadColumnLayout(settings_, v.spec->layoutValue, *v.grid);
    } catch (const LayoutTextError& e) {
      ShowGeneralError(this, e.text());
      return false;
    } catch (const SettingsError& e) {
      // The layout is shown; only storing it failed, and is tried again
      // with the next write of the settings.
      ShowGeneralError(this, e.text());
    }
  }
  return true;
}

void MainWindow::SaveColumnLayout(const TableView& view) {
  try {
    views::SaveColumnLayout(settings_, *view.grid, view.spec->layoutValue);
  } catch (const SettingsError& e) {
    ShowGeneralError(this, e.text());
  }
}
