#pragma once
// The export of the rows a view shows into a workbook with the layout of a
// water-permeability series: one header row, the series values in the fourth
// row, one row per sample from the second row on.
#include <QString>
#include <vector>

class MeasurementTable;
class XlsWorksheet;

// The name of the export's only worksheet.
QString SeriesSheetName();

// Walks the visible rows of the table from the first (in its current order
// and filter) and fills the sheet; the table is left on its last row.
void FillSeriesSheet(MeasurementTable& table, XlsWorksheet* sheet);

// One column of a view as the export writes it: the grid's caption over the
// stored values of its field.
struct ExportColumn {
  QString field;
  QString caption;
};

// The export of a view shown as rows (the plate tests): one header row of
// the columns' captions, then one row per visible row in the table's
// current order, each column's value in the given order; numbers as numbers
// (a blank number as 0), texts as texts. Throws as ExportSeries.
void ExportRows(MeasurementTable& table, const std::vector<ExportColumn>& columns,
                const QString& sheetName, const QString& fileName);

// Builds the workbook from the table's visible rows and writes it to
// fileName, replacing any file of that name. Throws XlsError when the file
// cannot be written and TableError when the table cannot be read.
void ExportSeries(MeasurementTable& table, const QString& fileName);
