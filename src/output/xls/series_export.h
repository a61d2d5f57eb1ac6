#pragma once
// The export of the rows a view shows into a workbook with the layout of a
// water-permeability series: one header row, the series values in the fourth
// row, one row per sample from the second row on.
#include <QString>

class MeasurementTable;
class XlsWorksheet;

// The name of the export's only worksheet.
QString SeriesSheetName();

// Walks the visible rows of the table from the first (in its current order
// and filter) and fills the sheet; the table is left on its last row.
void FillSeriesSheet(MeasurementTable& table, XlsWorksheet* sheet);

// Builds the workbook from the table's visible rows and writes it to
// fileName, replacing any file of that name. Throws XlsError when the file
// cannot be written and TableError when the table cannot be read.
void ExportSeries(MeasurementTable& table, const QString& fileName);
