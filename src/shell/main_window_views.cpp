// Grid commands of the two views: fitting, colours, sorting, column layouts.
#include <QTabWidget>

#include "platform/colors.h"
#include "platform/dialogs.h"
#include "shell/main_window.h"
#include "views/table_views.h"

namespace {

const QString kTab1 = QStringLiteral("tab1");
const QString kTab2 = QStringLiteral("tab2");

QString FailureText(const std::exception& e) {
  if (const auto* t = dynamic_cast<const TableError*>(&e)) return t->text();
  return QString::fromUtf8(e.what());
}

}  // namespace

void TForm1::ConnectGrids() {
  views::SetupPlateView(DBGridPro1, &Table);
  views::SetupWaterView(DBGridPro2, &Table);
  connect(DBGridPro1, &DataGrid::TitleStateChanged, this, &TForm1::DBGridPro1TitleStateChange);
  connect(DBGridPro2, &DataGrid::TitleStateChanged, this, &TForm1::DBGridPro2TitleStateChange);
  connect(DBGridPro1, &DataGrid::InitEdit, this, &TForm1::DBGridPro1InitEdit);
  connect(DBGridPro2, &DataGrid::InitEdit, this, &TForm1::DBGridPro1InitEdit);
  connect(DBGridPro1, &DataGrid::SelectionChanged, this, &TForm1::DBGridPro1SelectionChange);
  connect(DBGridPro2, &DataGrid::SelectionChanged, this, &TForm1::DBGridPro2SelectionChange);
}

namespace {
// The view whose tab is the active page.
DataGrid* ActiveGrid(TForm1* f) {
  return f->PageControl1->currentIndex() == 1 ? f->DBGridPro2 : f->DBGridPro1;
}
}  // namespace

// Fits the columns of the active view.
void TForm1::N23Click() {
  if (!TableOpen) return;
  FitColumns(ActiveGrid(this));
}

// Gives the current column of the active view a colour.
void TForm1::N17Click() {
  if (!TableOpen) return;
  QColor chosen;
  if (!Dialogs().GetColor(this, ColorDialog1Color, &chosen)) return;
  ColorDialog1Color = chosen;
  DataGrid* grid = ActiveGrid(this);
  grid->SetColumnColor(grid->CurrentColumn(), ValueFromColor(chosen));
}

// Removes the current column's own colour.
void TForm1::N18Click() {
  if (!TableOpen) return;
  DataGrid* grid = ActiveGrid(this);
  grid->SetColumnColor(grid->CurrentColumn(), kClNone);
}

// Removes every column colour of the active view.
void TForm1::N19Click() {
  if (!TableOpen) return;
  ClearColumnColors(ActiveGrid(this));
}

// Clears the sorting of both views.
void TForm1::N33Click() {
  ClearSorting(DBGridPro2, kTab2);
  ClearSorting(DBGridPro1, kTab1);
}

// Sorts the plate view by the column whose title was clicked.
void TForm1::DBGridPro1TitleStateChange(int column) {
  try {
    views::TitleStateChange(*DBGridPro1, Table, kTab1, column);
  } catch (const std::exception& e) {
    ShowGeneralError(this, FailureText(e));
  }
}

// Sorts the water-permeability view by the column whose title was clicked.
void TForm1::DBGridPro2TitleStateChange(int column) {
  try {
    views::TitleStateChange(*DBGridPro2, Table, kTab2, column);
  } catch (const std::exception& e) {
    ShowGeneralError(this, FailureText(e));
  }
}

// Marks the table modified when a cell edit begins.
void TForm1::DBGridPro1InitEdit() { TableModified = true; }

// Selection statistics of the plate view.
void TForm1::DBGridPro1SelectionChange() { views::UpdateFooters(*DBGridPro1, Stats, Table); }

// Selection statistics of the water-permeability view.
void TForm1::DBGridPro2SelectionChange() { views::UpdateFooters(*DBGridPro2, Stats, Table); }

// Clears a grid's sort marks and drops its sort tag.
void TForm1::ClearSorting(TDBGridPro* grid, const QString& tag) {
  views::ClearSorting(*grid, Table, tag);
}

// Gives a grid's columns equal widths.
void TForm1::FitColumns(TDBGridPro* grid) { views::FitColumns(*grid); }

// Removes the own colours of every column of a grid.
void TForm1::ClearColumnColors(TDBGridPro* grid) { grid->ClearColumnColors(); }

// Applies a stored column layout to a grid.
bool TForm1::LoadColumnLayout(const QString& name, TDBGridPro* grid) {
  try {
    views::LoadColumnLayout(Settings, name, *grid);
    return true;
  } catch (const LayoutTextError& e) {
    ShowGeneralError(this, e.text());
    return false;
  }
}

// Stores a grid's column layout.
void TForm1::SaveColumnLayout(TDBGridPro* grid, const QString& name) {
  views::SaveColumnLayout(Settings, *grid, name);
}

// Minimum, mean and maximum of P and R over the visible rows.
void TForm1::find_mma() { ::find_mma(Table, &Stats); }
