#include "store/series_list.h"

#include "store/measurement_table.h"

QStringList BuildSeriesList(MeasurementTable& table, bool waterViewShown) {
  table.SetFilter(waterViewShown ? QStringLiteral("NB_TYPE=1") : QStringLiteral("NB_TYPE=0"));
  // Counts stored rows, deleted and other-kind ones included, as the list
  // has always done; with packed single-kind tables this is one entry per
  // series.
  const int n = table.StoredRowCount() / 6;
  QStringList list;
  list.reserve(n);
  table.First();
  for (int i = 0; i < n; ++i) {
    list.append(QString::number(table.GetInt(QStringLiteral("SERIAL"))));
    for (int step = 0; step < 6; ++step) table.Next();
  }
  return list;
}

QString SeriesFilter(const QString& entry) { return QStringLiteral("SERIAL=") + entry; }
