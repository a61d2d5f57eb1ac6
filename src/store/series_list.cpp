#include "store/series_list.h"

#include "store/measurement_table.h"

QStringList BuildSeriesList(MeasurementTable& table, bool waterViewShown) {
  table.SetFilter(waterViewShown ? QStringLiteral("NB_TYPE=1") : QStringLiteral("NB_TYPE=0"));
  QStringList list;
  const QString serialField = QStringLiteral("SERIAL");
  const QString numberField = QStringLiteral("N");
  const int rows = table.VisibleRowCount();
  int64_t previousSerial = 0;
  int64_t previousNumber = 0;
  for (int i = 0; i < rows; ++i) {
    const int64_t serial = ValueToInt(table.FieldAt(i, serialField));
    const int64_t number = ValueToInt(table.FieldAt(i, numberField));
    // Sample numbers rise within a series (a deleted row leaves a gap); a
    // number that does not rise starts the next series.
    if (i == 0 || serial != previousSerial || number <= previousNumber)
      list.append(QString::number(serial));
    previousSerial = serial;
    previousNumber = number;
  }
  table.First();
  return list;
}

QString SeriesFilter(const QString& entry) { return QStringLiteral("SERIAL=") + entry; }
