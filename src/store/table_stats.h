#pragma once
// Minimum, mean and maximum of P and R over the visible rows (ComputeShownStats) or
// over the rows marked in a view, and the footer texts built from them.
#include <QString>
#include <vector>

#include "store/measurement_table.h"

struct TableStats {
  double PMin = 0;
  double PMax = 0;
  double PMean = 0;
  double RMin = 0;
  double RMax = 0;
  double RMean = 0;
};

// One marked row's stored values of P and R (blank stays blank).
struct MarkedValues {
  FieldValue p;
  FieldValue r;
};

// Rounds a mean to one decimal on its decimal value, half away from zero,
// as the operator checks it by hand: 0.25 -> 0.3, 1.15 -> 1.2, -1.25 -> -1.3.
double RoundMean(double mean);

// General number format with at most 15 significant digits and the given
// decimal separator: 0.7 -> "0,7", 1.0 -> "1", 1e-6 -> "1E-6".
QString FooterNumberText(double value, QChar decimalPoint);
// The same with the decimal separator of the user's locale.
QString FooterNumberText(double value);

// Accumulates min, running sum and max the way ComputeShownStats and the selection
// statistics do: the first value starts all three, later ones extend them.
class StatsAccumulator {
 public:
  void Add(double p, double r);
  int Count() const { return count_; }
  // Divides the sums by `divisor` and rounds; all zero when nothing was added.
  TableStats Result(int divisor) const;

 private:
  TableStats acc_;
  int count_ = 0;
};

// A stored value as the statistics count it: a blank (or text) is 0.
double StatValue(const FieldValue& v);

// Statistics of the marked rows in the order the view keeps them; a blank
// stored P or R counts as 0.
TableStats SelectionStats(const std::vector<MarkedValues>& marked);

// "min/mean/max" with the locale's decimal separator.
QString FooterTriple(double min, double mean, double max);

// The three footer texts of a view.
struct FooterTexts {
  QString p;
  QString r;
  QString n;
};
FooterTexts FooterTextsOf(const TableStats& stats, int rowCount);
// The footers describe the marked rows once two or more are marked (a
// single click marks one row); else the rows shown.
inline bool FootersShowMarkedRows(size_t markedCount) { return markedCount >= 2; }
// The table statistics and the count of the rows shown, or, with two or
// more rows marked, the marked rows' statistics and their count.
FooterTexts BuildFooterTexts(const TableStats& table, const std::vector<MarkedValues>& marked,
                             int visibleRowCount);
