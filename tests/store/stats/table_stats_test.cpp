#include "store/table_stats.h"

#include <gtest/gtest.h>

#include <QLocale>
#include <string>

#include "store/decimal_round.h"

namespace {

// Half away from zero on the decimal value, as the operator rounds by hand:
// 1.15 is stored as 1.1499999..., and still gives 1.2.
TEST(DecimalRounding, HalfAwayFromZeroOnTheDecimalValue) {
  const struct {
    double in;
    int decimals;
    const char* text;
  } cases[] = {{1.15, 1, "1.2"},
               {(1.05 + 1.25) / 2, 1, "1.2"},
               {0.25, 1, "0.3"},
               {0.35, 1, "0.4"},
               {0.45, 1, "0.5"},
               {0.05, 1, "0.1"},
               {0.26, 1, "0.3"},
               {0.24, 1, "0.2"},
               {-1.25, 1, "-1.3"},
               {-1.26, 1, "-1.3"},
               {-0.04, 1, "0.0"},  // no sign on a zero
               {1.005, 2, "1.01"},
               {2.675, 2, "2.68"},
               {1.05, 2, "1.05"},
               {12.5, 2, "12.50"},
               {9.995, 2, "10.00"},
               {0.0005, 3, "0.001"},
               {0.0004, 3, "0.000"},
               {0.1 + 0.2, 1, "0.3"},
               {0.6000000000000001, 1, "0.6"},
               {123.456, 1, "123.5"},
               {12.5, 0, "13"},
               {0, 2, "0.00"},
               {8, 1, "8.0"},
               {1e20, 1, "100000000000000000000.0"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.in) + " " + std::to_string(c.decimals));
    EXPECT_EQ(RoundedDecimalText(c.in, c.decimals).toStdString(), c.text);
    EXPECT_DOUBLE_EQ(RoundDecimal(c.in, c.decimals), std::stod(c.text));
  }
  // The mean of the footers is rounded the same way, to one decimal.
  EXPECT_DOUBLE_EQ(RoundMean((1.05 + 1.25) / 2), 1.2);
  EXPECT_DOUBLE_EQ(RoundMean(0.25), 0.3);
  EXPECT_DOUBLE_EQ(RoundMean(-1.25), -1.3);
}

TEST(FooterNumberText, GeneralFormatWith15Digits) {
  const QChar comma(',');
  struct Case {
    double in;
    const char* out;
  } cases[] = {{0.7, "0,7"},
               {1.0, "1"},
               {0, "0"},
               {-2.5, "-2,5"},
               {0.1 + 0.2, "0,3"},
               {1.0 / 3, "0,333333333333333"},
               {0.00001, "0,00001"},
               {0.000001, "1E-6"},
               {0.0000015, "1,5E-6"},
               {123456789012345.0, "123456789012345"},
               {1e15, "1E15"},
               {1234567.25, "1234567,25"},
               {100, "100"}};
  for (const Case& c : cases) EXPECT_EQ(FooterNumberText(c.in, comma).toStdString(), c.out) << c.in;
  EXPECT_EQ(FooterNumberText(0.7, QChar('.')), QStringLiteral("0.7"));
}

TEST(FooterTexts, TableStatisticsUnlessTwoOrMoreRowsMarked) {
  // The series of six rows: P 0.2 .. 1.0, R 8; as ComputeShownStats leaves them.
  StatsAccumulator acc;
  for (double p : {0.2, 0.4, 0.4, 0.6, 0.8, 1.0}) acc.Add(p, 8);
  const TableStats table = acc.Result(6);
  FooterTexts f = BuildFooterTexts(table, {}, 6);
  EXPECT_EQ(f.p, QStringLiteral("0,2/0,6/1"));
  EXPECT_EQ(f.r, QStringLiteral("8/8/8"));
  EXPECT_EQ(f.n, QStringLiteral("6"));

  // One marked row still shows the table's values.
  f = BuildFooterTexts(table, {{0.4, 8.0}}, 6);
  EXPECT_EQ(f.p, QStringLiteral("0,2/0,6/1"));

  // Two marked rows: their stored values, and N counts them.
  f = BuildFooterTexts(table, {{1.0, 8.0}, {0.4, 2.0}}, 6);
  EXPECT_EQ(f.p, QStringLiteral("0,4/0,7/1"));
  EXPECT_EQ(f.r, QStringLiteral("2/5/8"));
  EXPECT_EQ(f.n, QStringLiteral("2"));

  // A blank stored value counts as 0.
  f = BuildFooterTexts(table, {{FieldValue{}, 4.0}, {0.6, FieldValue{}}, {int64_t(3), 2.0}}, 9);
  EXPECT_EQ(f.p, QStringLiteral("0/1,2/3"));
  EXPECT_EQ(f.r, QStringLiteral("0/2/4"));
  EXPECT_EQ(f.n, QStringLiteral("3"));

  // Two rows of 0.2 and 0.3: the mean 0.25 shows as 0,3; 1,05 and 1,25 give 1,2.
  f = BuildFooterTexts(table, {{0.2, 1.05}, {0.3, 1.25}}, 2);
  EXPECT_EQ(f.p, QStringLiteral("0,2/0,3/0,3"));
  EXPECT_EQ(f.r, QStringLiteral("1,05/1,2/1,25"));

  // Nothing computed yet.
  f = BuildFooterTexts(TableStats{}, {}, 0);
  EXPECT_EQ(f.p, QStringLiteral("0/0/0"));
  EXPECT_EQ(f.r, QStringLiteral("0/0/0"));
  EXPECT_EQ(f.n, QStringLiteral("0"));
}

}  // namespace
