#include "output/xls/series_export.h"

#include "output/xls/xls_model.h"
#include "output/xls/xls_writer.h"
#include "platform/write_target.h"
#include "store/dbf/mdx_index.h"
#include "store/measurement_table.h"

namespace {

const char* const kHeaders[8] = {
    "Серия",
    "№ образца",
    "Высота образца, мм",
    "Время выдерживания на ступени, час",
    "Давление, при котором наблюдалась фильтрация, МПа",
    "Время начала испытания",
    "Длительность испытания",
    "Марка",
};

// Each cell is a range of its own.
XlsRange* Cell(XlsWorksheet* sheet, int row, int column) {
  return sheet->Ranges(column, row, column, row);
}

// The export never replaces the table it reads, nor its index.
void CheckExportTarget(const MeasurementTable& table, const QString& fileName) {
  CheckWriteTarget(fileName, {table.FilePath(), dbf::Index::PathFor(table.FilePath())});
}

}  // namespace

QString SeriesSheetName() { return QStringLiteral("ДК-ТЛ7"); }

void FillSeriesSheet(MeasurementTable& table, XlsWorksheet* sheet) {
  table.First();
  for (int c = 0; c < 8; ++c) Cell(sheet, 0, c)->SetValue(QString::fromUtf8(kHeaders[c]));

  // The series values stand in the fourth row, beside the third sample.
  Cell(sheet, 3, 0)->SetValue(int32_t(table.GetInt(Field::Serial)));
  Cell(sheet, 3, 2)->SetValue(table.GetFloat(Field::H));
  Cell(sheet, 3, 3)->SetValue(table.GetFloat(Field::R));
  Cell(sheet, 3, 5)->SetValue(table.GetText(Field::Date));
  Cell(sheet, 3, 7)->SetValue(table.GetText(Field::Type));

  const int rows = table.VisibleRowCount();
  for (int k = 1; k <= rows; ++k) {
    Cell(sheet, k, 1)->SetValue(int32_t(table.GetInt(Field::N)));
    Cell(sheet, k, 4)->SetValue(table.GetFloat(Field::P));
    Cell(sheet, k, 6)->SetValue(table.GetText(Field::Time));
    table.Next();
  }
}

void ExportSeries(MeasurementTable& table, const QString& fileName) {
  CheckExportTarget(table, fileName);
  XlsWorkbook workbook;
  XlsWorksheet* sheet = workbook.AddSheet();
  sheet->SetName(SeriesSheetName());
  FillSeriesSheet(table, sheet);
  XlsWriter writer;
  writer.SaveToFile(workbook, fileName);
}

void ExportRows(MeasurementTable& table, const std::vector<ExportColumn>& columns,
                const QString& sheetName, const QString& fileName) {
  CheckExportTarget(table, fileName);
  XlsWorkbook workbook;
  XlsWorksheet* sheet = workbook.AddSheet();
  sheet->SetName(sheetName);
  for (size_t c = 0; c < columns.size(); ++c) Cell(sheet, 0, int(c))->SetValue(columns[c].caption);
  const int rows = table.VisibleRowCount();
  for (int r = 0; r < rows; ++r) {
    for (size_t c = 0; c < columns.size(); ++c) {
      const FieldValue v = table.FieldAt(r, columns[c].field);
      XlsRange* cell = Cell(sheet, r + 1, int(c));
      if (const auto* text = std::get_if<QString>(&v))
        cell->SetValue(*text);
      else if (const auto* whole = std::get_if<int64_t>(&v))
        cell->SetValue(XlsValue(double(*whole)));
      else
        cell->SetValue(XlsValue(ValueToFloat(v)));  // a blank number reads 0
    }
  }
  XlsWriter writer;
  writer.SaveToFile(workbook, fileName);
}
