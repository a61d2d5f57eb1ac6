#include "views/table_views.h"

#include <algorithm>

#include "platform/settings_store.h"

namespace views {

namespace {

struct ColumnDef {
  const char* field;
  const char* caption;
  CellAlign titleAlign;
  CellAlign cellAlign;
  Presentation presentation;
  int width;
  bool readOnly;
  CellAlign footerAlign;
};

constexpr CellAlign C = CellAlign::Center;
constexpr CellAlign R = CellAlign::Right;
constexpr CellAlign L = CellAlign::Left;
constexpr CellAlign D = CellAlign::Default;

std::vector<GridColumn> Build(const std::vector<ColumnDef>& defs) {
  std::vector<GridColumn> out;
  for (const ColumnDef& d : defs) {
    GridColumn c;
    c.state.fieldName = QLatin1String(d.field);
    c.state.width = d.width;
    c.state.alignment = d.cellAlign;
    c.caption = QString::fromUtf8(d.caption);
    c.titleAlignment = d.titleAlign;
    c.presentation = d.presentation;
    if (d.presentation == Presentation::Number) c.displayFormat = QStringLiteral("0.0");
    c.readOnly = d.readOnly;
    c.footerAlignment = d.footerAlign;
    out.push_back(c);
  }
  return out;
}

void SetFooter(DataGrid& grid, const char* field, const QString& text) {
  grid.SetFooterText(grid.ColumnOfField(QLatin1String(field)), text);
}

void SetFooterToolTip(DataGrid& grid, const char* field, const QString& text) {
  grid.SetFooterToolTip(grid.ColumnOfField(QLatin1String(field)), text);
}

}  // namespace

std::vector<GridColumn> PlateViewColumns() {
  using P = Presentation;
  std::vector<GridColumn> columns =
      Build({{"N", "N", C, C, P::Plain, 128, false, D},
             {"DATE", "Дата", C, C, P::Plain, 115, false, D},
             {"TIME", "Время", C, C, P::Plain, 103, false, D},
             {"P", "P, кН", C, R, P::Number, 94, false, D},
             {"R", "R, МПа", C, R, P::Number, 87, false, D},
             {"TYPE", "Тип и размер пластины", C, C, P::Plain, 78, false, D},
             {"COMMENT", "Примечание", C, L, P::Text, 83, false, D},
             {"ZAV", "Вид испытаний", D, C, P::Plain, 40, false, D}});
  // P and R with the two decimals they are stored and printed with.
  for (GridColumn& c : columns)
    if (c.fieldName() == QLatin1String("P") || c.fieldName() == QLatin1String("R"))
      c.displayFormat = QStringLiteral("0.00");
  return columns;
}

std::vector<GridColumn> WaterViewColumns() {
  using P = Presentation;
  return Build(
      {{"N", "№ образца", C, C, P::Plain, 50, true, C},
       {"H", "Высота образца, мм", C, C, P::Number, 115, true, D},
       {"P", "Давление, при котором наблюдалась фильтрация, МПа", C, C, P::Number, 238, true, D},
       {"R", "Время выдерживания на ступени, час.", C, C, P::Text, 414, true, C},
       {"DATE", "Время начала испытания", C, R, P::Plain, 237, true, D},
       {"TIME", "Длительность испытания", C, C, P::Plain, 104, false, D},
       {"TYPE", "Марка", C, C, P::Plain, 295, false, D}});
}

void SetupPlateView(DataGrid* grid, MeasurementTable* table) {
  grid->SetColumns(PlateViewColumns());
  grid->SetTitleLines(2);
  grid->SetColumnSizing(true);
  grid->SetColumnMoving(false);
  grid->SetAutoColumnFit(true);
  grid->SetBookmarkFields(QStringLiteral("P;R"));
  grid->SetTable(table);
}

void SetupWaterView(DataGrid* grid, MeasurementTable* table) {
  grid->SetColumns(WaterViewColumns());
  grid->SetTitleLines(4);
  // The operator sizes these columns as the plate view's: a fixed design
  // width would leave columns outside a smaller window.
  grid->SetColumnSizing(true);
  grid->SetColumnMoving(true);
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
