#include "store/series_list.h"

#include "store/measurement_table.h"

#include <algorithm>

QStringList BuildSeriesList(MeasurementTable& table, bool waterViewShown) {
  table.SetFilter(waterViewShown ? QStringLiteral("NB_TYPE=1") : QStringLiteral("NB_TYPE=0"));
  // Counts stored rows, deleted and other-kind ones included, as the list
  // has always done; with packed single-kind tables this is one entry per
  // series.
  const int n = table.StoredRowCount() / 6;
  QStringList list;
  list.reserve(n);
  table.First();
  // Every sixth row, read in place rather than walked to with the cursor
  // (which would tell the views of every step); a walk past the end stays
  // on the last row, and so does the cursor at the end.
  const int shown = table.VisibleRowCount();
  const QString serial = QStringLiteral("SERIAL");
  auto rowOfStep = [&](int64_t step) { return int(std::min<int64_t>(step, shown - 1)); };
  for (int i = 0; i < n; ++i) {
    const int64_t value = shown == 0 ? 0 : ValueToInt(table.FieldAt(rowOfStep(6 * int64_t(i)), serial));
    list.append(QString::number(value));
  }
  if (shown > 0 && n > 0) {
    table.MoveTo(rowOfStep(6 * int64_t(n)));
    if (6 * int64_t(n) > shown - 1) table.Next();  // the walk ended past the last row
  }
  return list;
}

QString SeriesFilter(const QString& entry) { return QStringLiteral("SERIAL=") + entry; }
