#pragma once
// The two views of the table (ViewSpecs) and the commands that act on a view.
#include <QString>
#include <vector>

#include "store/measurement_table.h"
#include "store/table_stats.h"
#include "views/grid/data_grid.h"
#include "views/view_spec.h"

class SettingsStore;

namespace views {

// The view's columns and grid settings on the grid; bookmark fields "P;R".
void SetupView(DataGrid* grid, const ViewSpec& spec, MeasurementTable* table);

// Clears every sort mark of the grid; with the table open also returns it
// to file order and drops the tag (failures ignored).
void ClearSorting(DataGrid& grid, MeasurementTable& table, const QString& tag);

// Sorts the table by the column whose title state the operator changed:
// tsSortedUp descending, tsSortedDown ascending, unsorted file order.
// A failure to build the tag is thrown (TableError) to the command.
void TitleStateChange(DataGrid& grid, MeasurementTable& table, const QString& tag, int column);

// Each column the width of its texts when the grid has room for all of
// them, else equal widths (outer width div column count - 5, at least 2);
// then fitting spreads them over the client width.
void FitColumns(DataGrid& grid);

// The stored P and R of the grid's marked rows, in ascending record order.
std::vector<MarkedValues> MarkedValuesInFileOrder(const DataGrid& grid);

// The footers of P, R and N from the table statistics or the marked rows.
void UpdateFooters(DataGrid& grid, const TableStats& stats, const MeasurementTable& table);

// The grid's layout in display order, and its stored text.
std::vector<ColumnLayout> GridLayout(const DataGrid& grid);
QString GridLayoutText(const DataGrid& grid);
// Applies a stored text: each entry to the first column of its field
// (letter case ignored), absent properties at their defaults; throws
// LayoutTextError when the text cannot be read (the grid is then unchanged).
void ApplyLayoutText(DataGrid& grid, const QString& text);

// Applies the stored value, or creates it from the fitted grid when missing.
void LoadColumnLayout(SettingsStore& settings, const QString& name, DataGrid& grid);
void SaveColumnLayout(SettingsStore& settings, DataGrid& grid, const QString& name);

}  // namespace views
