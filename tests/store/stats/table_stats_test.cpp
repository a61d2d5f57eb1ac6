#include "store/table_stats.h"

#include <gtest/gtest.h>

#include <QLocale>

namespace {

TEST(RoundMean, TiesMostlyGoDownBecauseTenthIsStoredHigh) {
  struct Case {
    double in, out;
  } cases[] = {{0.25, 0.2},
               {0.35, 0.3},
               {0.45, 0.4},
               {1.25, 1.2},
               {0.05, 0.1},
               {0.26, 0.3},
               {-1.26, -1.2},
               {0.7, 0.7},
               {0.0, 0.0},
               {8.0, 8.0},
               {0.6000000000000001, 0.6},
               {123.456, 123.5}};
  for (const Case& c : cases) EXPECT_DOUBLE_EQ(RoundMean(c.in), c.out) << c.in;
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

  // Two marked rows: their stored values; N still counts the visible rows.
  f = BuildFooterTexts(table, {{1.0, 8.0}, {0.4, 2.0}}, 6);
  EXPECT_EQ(f.p, QStringLiteral("0,4/0,7/1"));
  EXPECT_EQ(f.r, QStringLiteral("2/5/8"));
  EXPECT_EQ(f.n, QStringLiteral("6"));

  // A blank stored value counts as 0.
  f = BuildFooterTexts(table, {{FieldValue{}, 4.0}, {0.6, FieldValue{}}, {int64_t(3), 2.0}}, 9);
  EXPECT_EQ(f.p, QStringLiteral("0/1,2/3"));
  EXPECT_EQ(f.r, QStringLiteral("0/2/4"));
  EXPECT_EQ(f.n, QStringLiteral("9"));

  // Two rows of 0.2 and 0.3: the mean 0.25 shows as 0,2.
  f = BuildFooterTexts(table, {{0.2, 0.0}, {0.3, 0.0}}, 2);
  EXPECT_EQ(f.p, QStringLiteral("0,2/0,2/0,3"));

  // Nothing computed yet.
  f = BuildFooterTexts(TableStats{}, {}, 0);
  EXPECT_EQ(f.p, QStringLiteral("0/0/0"));
  EXPECT_EQ(f.r, QStringLiteral("0/0/0"));
  EXPECT_EQ(f.n, QStringLiteral("0"));
}

}  // namespace
