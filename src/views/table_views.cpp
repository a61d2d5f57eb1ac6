#include "views/table_views.h"

#include <algorithm>

#include "platform/settings_store.h"

namespace views {

namespace {

void SetFooter(DataGrid& grid, const char* field, const QString& text) {
  grid.SetFooterText(grid.ColumnOfField(QLatin1String(field)), text);
}

void SetFooterToolTip(DataGrid& grid, const char* field, const QString& text) {
  grid.SetFooterToolTip(grid.ColumnOfField(QLatin1String(field)), text);
}

}  // namespace

void SetupView(DataGrid* grid, const ViewSpec& spec, MeasurementTable* table) {
  grid->SetColumns(spec.columns);
  grid->SetTitleLines(spec.titleLines);
  // The operator sizes the columns of both views: the water-permeability
  // view's fixed design widths would leave columns outside a smaller window.
  grid->SetColumnSizing(true);
  grid->SetColumnMoving(spec.columnMoving);
  grid->SetAutoColumnFit(true);
  grid->SetBookmarkFields(QStringLiteral("P;R"));
  grid->SetTable(table);
}

void ClearSorting(DataGrid& grid, MeasurementTable& table, const QString& tag) {
  grid.ClearTitleStates();
  if (!table.IsOpen()) return;
  try {
    table.SelectSortTag(QString());
    table.DropSortTag(tag);
    table.Refresh();
  } catch (const std::exception&) {
    // The view simply stays in file order.
  }
}

void TitleStateChange(DataGrid& grid, MeasurementTable& table, const QString& tag, int column) {
  if (!table.IsOpen() || column < 0 || column >= grid.ColumnCount()) return;
  table.SelectSortTag(QString());
  try {
    table.DropSortTag(tag);
    table.Refresh();
  } catch (const std::exception&) {
  }
  const GridColumn& c = grid.Column(column);
  if (c.state.titleState == TitleState::SortedNone) {
    ClearSorting(grid, table, tag);
    return;
  }
  // The mark pointing up shows the largest values first.
  table.AddSortTag(tag, c.fieldName(), c.state.titleState == TitleState::SortedUp);
  table.SelectSortTag(tag);
  table.RebuildSortTags();
  table.Refresh();
}

void FitColumns(DataGrid& grid) {
  grid.EnsureLaidOut();
  grid.SetAutoColumnFit(false);
  const std::vector<int> widths =
      FitWidthsToTexts(grid.TextWidths(), grid.width(), grid.ClientWidth());
  for (int i = 0; i < grid.ColumnCount(); ++i) grid.SetColumnWidth(i, widths[size_t(i)]);
  grid.SetAutoColumnFit(true);
}

std::vector<MarkedValues> MarkedValuesInFileOrder(const DataGrid& grid) {
  // Ascending record order, so that the rounded mean does not depend on the
  // order of marking.
  std::vector<const MarkedRow*> inFileOrder;
  for (const MarkedRow& m : grid.MarkedRows()) inFileOrder.push_back(&m);
  std::stable_sort(
      inFileOrder.begin(), inFileOrder.end(),
      [](const MarkedRow* a, const MarkedRow* b) { return a->bookmark < b->bookmark; });
  std::vector<MarkedValues> marked;
  for (const MarkedRow* m : inFileOrder)
    marked.push_back({m->values.size() > 0 ? m->values[0] : FieldValue{},
                      m->values.size() > 1 ? m->values[1] : FieldValue{}});
  return marked;
}

void UpdateFooters(DataGrid& grid, const TableStats& stats, const MeasurementTable& table) {
  const std::vector<MarkedValues> marked = MarkedValuesInFileOrder(grid);
  const FooterTexts f =
      BuildFooterTexts(stats, marked, table.IsOpen() ? table.VisibleRowCount() : 0);
  SetFooter(grid, "P", f.p);
  SetFooter(grid, "R", f.r);
  SetFooter(grid, "N", f.n);
  // Which line is which, told where the numbers stand.
  const bool ofMarked = FootersShowMarkedRows(marked.size());
  const QString rows = ofMarked ? QStringLiteral("отмеченным строкам (%1)").arg(marked.size())
                                : QStringLiteral("показанным строкам");
  const QString triple = QStringLiteral("Минимум / среднее / максимум %1 по %2");
  SetFooterToolTip(grid, "P", triple.arg(QStringLiteral("P"), rows));
  SetFooterToolTip(grid, "R", triple.arg(QStringLiteral("R"), rows));
  SetFooterToolTip(grid, "N",
                   ofMarked ? QStringLiteral("Число отмеченных строк")
                            : QStringLiteral("Число показанных строк"));
}

std::vector<ColumnLayout> GridLayout(const DataGrid& grid) {
  std::vector<ColumnLayout> out;
  for (int logical : grid.ColumnOrder()) out.push_back(grid.Column(logical).state);
  return out;
}

QString GridLayoutText(const DataGrid& grid) {
  return NormaliseLineBreaks(ColumnLayoutText(GridLayout(grid)));
}

void ApplyLayoutText(DataGrid& grid, const QString& text) {
  const std::vector<ColumnLayout> entries = ParseColumnLayoutText(NormaliseLineBreaks(text));
  for (const ColumnLayout& e : entries) grid.ApplyColumnLayout(grid.ColumnOfField(e.fieldName), e);
  if (grid.AutoColumnFit()) grid.SetAutoColumnFit(true);
}

void LoadColumnLayout(SettingsStore& settings, const QString& name, DataGrid& grid) {
  if (settings.ValueExists(name)) {
    ApplyLayoutText(grid, settings.ReadString(name));
    return;
  }
  FitColumns(grid);
  settings.WriteString(name, GridLayoutText(grid));
  settings.Sync();
}

void SaveColumnLayout(SettingsStore& settings, DataGrid& grid, const QString& name) {
  settings.WriteString(name, GridLayoutText(grid));
  settings.Sync();
}

}  // namespace views
