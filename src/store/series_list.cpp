#include "store/series_list.h"

#include "store/measurement_table.h"

QStringList BuildSeriesList(MeasurementTable& table, bool waterViewShown) {
  table.ShowKind(waterViewShown ? ShownKind::Water : ShownKind::Plate);
  QStringList list;
  const int rows = table.VisibleRowCount();
  int64_t previousSerial = 0;
  int64_t previousNumber = 0;
  for (int i = 0; i < rows; ++i) {
    const int64_t serial = ValueToInt(table.FieldAt(i, Field::Serial));
    const int64_t number = ValueToInt(table.FieldAt(i, Field::N));
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
