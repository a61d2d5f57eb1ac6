#include "store/spread.h"

#include <cmath>

#include "store/decimal_round.h"

Spread SpreadOf(const std::vector<double>& values) {
  Spread s;
  s.count = int(values.size());
  if (values.empty()) return s;
  double sum = 0;
  for (double v : values) sum += v;
  s.mean = sum / s.count;
  if (s.count < 2) return s;
  // Deviations from the mean, not sums of squares, so that close values
  // (25.31, 25.33, …) keep their digits.
  double squares = 0;
  for (double v : values) squares += (v - s.mean) * (v - s.mean);
  s.sd = std::sqrt(squares / (s.count - 1));
  if (s.mean != 0) s.cvPercent = *s.sd / std::fabs(s.mean) * 100;
  return s;
}

namespace {

QString RoundedText(const std::optional<double>& value, int decimals) {
  if (!value || !std::isfinite(*value)) return QStringLiteral("—");
  return FooterNumberText(RoundDecimal(*value, decimals));
}

std::vector<double> ValuesOf(const std::vector<MarkedValues>& rows,
                             FieldValue MarkedValues::*field) {
  std::vector<double> out;
  out.reserve(rows.size());
  for (const MarkedValues& row : rows) out.push_back(StatValue(row.*field));
  return out;
}

}  // namespace

QString SpreadText(const Spread& spread) {
  QString cv = RoundedText(spread.cvPercent, 1);
  if (spread.cvPercent && std::isfinite(*spread.cvPercent)) cv += QStringLiteral(" %");
  return QStringLiteral("s = %1; V = %2").arg(RoundedText(spread.sd, 2), cv);
}

SpreadTexts BuildSpreadTexts(const std::vector<MarkedValues>& shown,
                             const std::vector<MarkedValues>& marked) {
  SpreadTexts t;
  t.ofMarked = FootersShowMarkedRows(marked.size());
  const std::vector<MarkedValues>& rows = t.ofMarked ? marked : shown;
  t.p = SpreadText(SpreadOf(ValuesOf(rows, &MarkedValues::p)));
  t.r = SpreadText(SpreadOf(ValuesOf(rows, &MarkedValues::r)));
  return t;
}
