#include "store/shown_rows.h"

#include "store/measurement_table.h"
#include "store/series_list.h"

ShownKind ChooseShownKind(MeasurementTable& table) {
  table.First();
  table.SetFilter(QStringLiteral("NB_TYPE=1"));
  table.Refresh();
  if (table.VisibleRowCount() > 0) return ShownKind::Water;
  table.SetFilter(QStringLiteral("NB_TYPE=0"));
  table.Refresh();
  return ShownKind::Plate;
}

QString ShowFirstSeries(MeasurementTable& table, ShownKind kind) {
  const QStringList list = BuildSeriesList(table, kind == ShownKind::Water);
  if (list.isEmpty()) return QString();
  table.SetFilter(SeriesFilter(list.first()));
  table.Refresh();
  return list.first();
}

int OpenedDeviceType(MeasurementTable& table) {
  table.SetFilter(QString());
  table.First();
  return int(table.GetInt(QStringLiteral("DEV_TYPE")));
}
