// ComputeShownStats walks the live table; kept apart from the pure statistics so that
// those can be used without the table engine.
#include "store/table_stats.h"

#include <algorithm>

void ComputeShownStats(MeasurementTable& table, TableStats* stats) {
  const int n = table.VisibleRowCount();
  if (n <= 1) {
    // One row or none: that row's values (0 without a row); no move.
    const double p = table.GetFloat(QStringLiteral("P"));
    const double r = table.GetFloat(QStringLiteral("R"));
    *stats = TableStats{p, p, p, r, r, r};
    return;
  }
  StatsAccumulator acc;
  table.First();  // posts an edit in progress, which may change the rows shown
  // The rows are read in place rather than walked with the cursor, which
  // would tell the views of every step. A walk past the end would read the
  // last row again.
  const int shown = table.VisibleRowCount();
  const QString p = QStringLiteral("P"), r = QStringLiteral("R");
  for (int i = 0; i < n; ++i) {
    if (shown == 0) {
      acc.Add(0, 0);
      continue;
    }
    const int at = std::min(i, shown - 1);
    acc.Add(ValueToFloat(table.FieldAt(at, p)), ValueToFloat(table.FieldAt(at, r)));
  }
  *stats = acc.Result(n);
  table.First();
}
