#pragma once
// The spread of P and R beside the footers' min/mean/max: the sample
// standard deviation (n - 1) and the coefficient of variation in percent,
// over the rows shown or, with rows marked, over the marked rows.
#include <QString>
#include <optional>
#include <vector>

#include "store/table_stats.h"

struct Spread {
  int count = 0;
  double mean = 0;  // exact, not rounded; 0 without values
  // Sample standard deviation; none with fewer than two values.
  std::optional<double> sd;
  // sd / |mean| in percent; none without sd or with a zero mean.
  std::optional<double> cvPercent;
};

Spread SpreadOf(const std::vector<double>& values);

// "s = 0,16; V = 26,7 %" with the locale's decimal separator: s to two
// decimals, V to one; what cannot be computed is "—".
QString SpreadText(const Spread& spread);

struct SpreadTexts {
  QString p;
  QString r;
  bool ofMarked = false;  // the marked rows, not the rows shown
};
// The spread of P and R of the shown rows (in any order), or of the marked
// rows when the footers describe them too (two or more marked). A blank
// value counts as 0, as in the footers.
SpreadTexts BuildSpreadTexts(const std::vector<MarkedValues>& shown,
                             const std::vector<MarkedValues>& marked);
