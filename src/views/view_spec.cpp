#include "views/view_spec.h"

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

std::vector<GridColumn> BuildPlateColumns() {
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

std::vector<GridColumn> BuildWaterColumns() {
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

}  // namespace

const std::array<ViewSpec, 2>& ViewSpecs() {
  static const std::array<ViewSpec, 2> specs = {
      ViewSpec{ShownKind::Plate, QStringLiteral("tab1"), QStringLiteral("Table_1"),
               QString::fromUtf8("ЗЕН-ТЛ7"), QStringLiteral("plateTab"),
               QStringLiteral("plateGrid"), 2, false, BuildPlateColumns()},
      ViewSpec{ShownKind::Water, QStringLiteral("tab2"), QStringLiteral("Table_2"),
               QString::fromUtf8("ФИР-ТЛ7"), QStringLiteral("waterTab"),
               QStringLiteral("waterGrid"), 4, true, BuildWaterColumns()}};
  return specs;
}

const ViewSpec& ViewSpecOf(ShownKind kind) { return ViewSpecs()[kind == ShownKind::Water ? 1 : 0]; }

std::vector<GridColumn> PlateViewColumns() { return ViewSpecOf(ShownKind::Plate).columns; }
std::vector<GridColumn> WaterViewColumns() { return ViewSpecOf(ShownKind::Water).columns; }

}  // namespace views
