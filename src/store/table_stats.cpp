#include "store/table_stats.h"

#include <QLocale>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "store/decimal_round.h"

double StatValue(const FieldValue& v) {
  if (const auto* i = std::get_if<int64_t>(&v)) return double(*i);
  if (const auto* d = std::get_if<double>(&v)) return *d;
  return 0;  // blank or text
}

double RoundMean(double mean) { return RoundDecimal(mean, 1); }

QString FooterNumberText(double value, QChar decimalPoint) {
  if (std::isnan(value)) return QStringLiteral("NAN");
  if (std::isinf(value)) return value > 0 ? QStringLiteral("INF") : QStringLiteral("-INF");
  if (value == 0) return QStringLiteral("0");
  // 15 significant digits, then decide between fixed and exponent notation.
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.14e", value);
  const bool negative = buf[0] == '-';
  const char* p = buf + (negative ? 1 : 0);
  QString digits;
  for (; *p && *p != 'e'; ++p)
    if (*p >= '0' && *p <= '9') digits += QLatin1Char(*p);
  const int exponent = *p == 'e' ? std::atoi(p + 1) : 0;
  while (digits.size() > 1 && digits.endsWith(QLatin1Char('0'))) digits.chop(1);
  if (digits == QLatin1String("0")) return QStringLiteral("0");

  QString out = negative ? QStringLiteral("-") : QString();
  const double magnitude = std::fabs(std::stod(std::string(buf + (negative ? 1 : 0))));
  if (magnitude >= 0.00001 && exponent < 15) {
    if (exponent < 0) {
      out += QLatin1Char('0');
      out += decimalPoint;
      out += QString(-exponent - 1, QLatin1Char('0'));
      out += digits;
    } else {
      const int intDigits = exponent + 1;
      if (digits.size() <= intDigits) {
        out += digits + QString(intDigits - digits.size(), QLatin1Char('0'));
      } else {
        out += digits.left(intDigits);
        out += decimalPoint;
        out += digits.mid(intDigits);
      }
    }
  } else {
    out += digits.left(1);
    if (digits.size() > 1) {
      out += decimalPoint;
      out += digits.mid(1);
    }
    out += QLatin1Char('E');
    out += QString::number(exponent);
  }
  return out;
}

QString FooterNumberText(double value) {
  const QString point = QLocale().decimalPoint();
  return FooterNumberText(value, point.isEmpty() ? QLatin1Char('.') : point.at(0));
}

void StatsAccumulator::Add(double p, double r) {
  if (count_ == 0) {
    acc_ = TableStats{p, p, p, r, r, r};
  } else {
    if (p < acc_.PMin) acc_.PMin = p;
    if (p > acc_.PMax) acc_.PMax = p;
    acc_.PMean += p;
    if (r < acc_.RMin) acc_.RMin = r;
    if (r > acc_.RMax) acc_.RMax = r;
    acc_.RMean += r;
  }
  ++count_;
}

TableStats StatsAccumulator::Result(int divisor) const {
  if (count_ == 0 || divisor <= 0) return TableStats{};
  TableStats s = acc_;
  s.PMean = RoundMean(acc_.PMean / divisor);
  s.RMean = RoundMean(acc_.RMean / divisor);
  return s;
}

TableStats SelectionStats(const std::vector<MarkedValues>& marked) {
  StatsAccumulator acc;
  for (const MarkedValues& m : marked) acc.Add(StatValue(m.p), StatValue(m.r));
  return acc.Result(int(marked.size()));
}

QString FooterTriple(double min, double mean, double max) {
  return FooterNumberText(min) + QLatin1Char('/') + FooterNumberText(mean) + QLatin1Char('/') +
         FooterNumberText(max);
}

FooterTexts BuildFooterTexts(const TableStats& table, const std::vector<MarkedValues>& marked,
                             int visibleRowCount) {
  if (!FootersShowMarkedRows(marked.size())) return FooterTextsOf(table, visibleRowCount);
  return FooterTextsOf(SelectionStats(marked), int(marked.size()));
}

FooterTexts FooterTextsOf(const TableStats& s, int rowCount) {
  return FooterTexts{FooterTriple(s.PMin, s.PMean, s.PMax), FooterTriple(s.RMin, s.RMean, s.RMax),
                     QString::number(rowCount)};
}
