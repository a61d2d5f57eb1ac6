#pragma once
// The series list beside the water-permeability grid: one entry per six
// stored rows, read from the table in file order.
#include <QString>
#include <QStringList>

class MeasurementTable;

// Makes the kind filter of the shown view the filter in force ("NB_TYPE=1"
// when the water-permeability view is shown, else "NB_TYPE=0") and walks the
// rows in steps of six: the whole quotient of the stored row count by 6
// entries, each the SERIAL of the current row. At the end of the rows the
// walk stays on the last row, so further entries repeat its SERIAL. Equal
// numbers are not merged.
QStringList BuildSeriesList(MeasurementTable& table, bool waterViewShown);

// The filter that shows one entry's series: "SERIAL=" and the entry.
QString SeriesFilter(const QString& entry);
