// ComputeShownStats walks the live table; kept apart from the pure statistics so that
// those can be used without the table engine.
#include "store/table_stats.h"

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
  table.First();
  for (int i = 0; i < n; ++i) {
    acc.Add(table.GetFloat(QStringLiteral("P")), table.GetFloat(QStringLiteral("R")));
    table.Next();
  }
  *stats = acc.Result(n);
  table.First();
}
