// What the chart draws, as values, against figures worked out by hand on a
// small fixture: the water series with its grade line, the plate tests in
// order of date and time with their mean and band, the marked points.
#include "views/chart/chart_data.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <cmath>

#include "support/store_fixture.h"

namespace chart {
namespace {

QString Ru(const char* utf8) { return QString::fromUtf8(utf8); }

ChartRow Water(MeasurementTable::BookmarkT bookmark, int64_t n, double p, const char* grade) {
  ChartRow row;
  row.bookmark = bookmark;
  row.n = n;
  row.p = p;
  row.r = 16.0;
  row.grade = Ru(grade);
  return row;
}

ChartRow Plate(MeasurementTable::BookmarkT bookmark, double r, const char* date, const char* time) {
  ChartRow row;
  row.bookmark = bookmark;
  row.n = bookmark;
  row.p = 100.0;
  row.r = r;
  row.date = QLatin1String(date);
  row.time = QLatin1String(time);
  return row;
}

std::vector<double> Ys(const ChartData& d) {
  std::vector<double> out;
  for (const ChartPoint& p : d.points) out.push_back(p.y);
  return out;
}
QStringList Labels(const ChartData& d) {
  QStringList out;
  for (const ChartPoint& p : d.points) out << p.label;
  return out;
}
std::vector<bool> Marks(const ChartData& d) {
  std::vector<bool> out;
  for (const ChartPoint& p : d.points) out.push_back(p.marked);
  return out;
}

TEST(GradePressure, B2To20AreTwoTenthsToTwoMegapascals) {
  const struct {
    const char* grade;
    double pressure;  // < 0: none
  } cases[] = {{"B2", 0.2},  {"B4", 0.4}, {"B6", 0.6},     {"B10", 1.0}, {"B18", 1.8},
               {"B20", 2.0}, {"B3", -1},  {"B22", -1},     {"B0", -1},   {"B06", -1},
               {"b6", -1},   {"B", -1},   {"Не ГОСТ", -1}, {"", -1},     {"B6 ", -1}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.grade);
    const std::optional<double> p = GradePressure(Ru(c.grade));
    EXPECT_EQ(p.has_value(), c.pressure >= 0);
    EXPECT_DOUBLE_EQ(p.value_or(-1), c.pressure);
  }
}

// A series sorted by P descending: the points follow the order shown,
// labelled with the sample numbers; the grade line stands at B6 = 0,6 МПа.
TEST(WaterChart, SamplesInTheOrderShownWithTheGradeLine) {
  const std::vector<ChartRow> rows = {Water(4, 4, 0.6, "B6"), Water(2, 2, 0.4, "B6"),
                                      Water(3, 3, 0.0, "B6"), Water(1, 1, 0.2, "B6"),
                                      Water(5, 5, 0.0, "B6"), Water(6, 6, 0.6, "B6")};
  ChartData d = BuildChartData(ChartKind::Water, rows, {});
  EXPECT_EQ(d.kind, ChartKind::Water);
  EXPECT_EQ(Ys(d), (std::vector<double>{0.6, 0.4, 0.0, 0.2, 0.0, 0.6}));
  EXPECT_EQ(Labels(d), (QStringList{"4", "2", "3", "1", "5", "6"}));
  EXPECT_EQ(d.points[0].x, 1);
  EXPECT_EQ(d.points[5].x, 6);
  EXPECT_EQ(d.grade, QStringLiteral("B6"));
  EXPECT_DOUBLE_EQ(d.gradePressure.value_or(-1), 0.6);
  EXPECT_FALSE(d.mean);
  EXPECT_FALSE(d.bandLow);
  EXPECT_EQ(Marks(d), std::vector<bool>(6, false));

  // Marked rows, in any order of marking; one mark alone is the current row.
  d = BuildChartData(ChartKind::Water, rows, {6, 2});
  EXPECT_EQ(Marks(d), (std::vector<bool>{false, true, false, false, false, true}));
  d = BuildChartData(ChartKind::Water, rows, {2});
  EXPECT_EQ(Marks(d), std::vector<bool>(6, false));
}

TEST(WaterChart, NoGradeLineWithoutOneGradeOfB2ToB20) {
  const struct {
    std::vector<const char*> grades;
  } cases[] = {{{"B6", "B6", "B8"}},  // two series shown at once
               {{"Не ГОСТ", "Не ГОСТ"}},
               {{"", ""}}};
  for (const auto& c : cases) {
    std::vector<ChartRow> rows;
    for (const char* g : c.grades)
      rows.push_back(Water(MeasurementTable::BookmarkT(rows.size() + 1), 1, 0.4, g));
    const ChartData d = BuildChartData(ChartKind::Water, rows, {});
    EXPECT_EQ(d.points.size(), c.grades.size());
    EXPECT_FALSE(d.gradePressure) << c.grades.front();
  }
  EXPECT_TRUE(BuildChartData(ChartKind::Water, {}, {}).points.empty());
}

// R in order of date and time whatever the order shown; a date that cannot
// be read goes last. Mean of 24 … 28 is 26, s = sqrt(10 / 4) = 1.5811, so
// the band is 26 ± 3.1623.
TEST(PlateChart, ROrderedByDateAndTimeWithMeanAndTwoSigmaBand) {
  const std::vector<ChartRow> rows = {Plate(1, 26, "02.02.2024", "09:00:00"),
                                      Plate(2, 28, "31.12.2023", "23:59:59"), Plate(3, 24, "", ""),
                                      Plate(4, 25, "02.02.2024", "08:30:00"),
                                      Plate(5, 27, "01.01.2024", "00:00:00")};
  ChartData d = BuildChartData(ChartKind::Plate, rows, {3, 4});
  EXPECT_EQ(Ys(d), (std::vector<double>{28, 27, 25, 26, 24}));
  EXPECT_EQ(Labels(d)[0], QStringLiteral("31.12.2023 23:59:59"));
  EXPECT_EQ(Marks(d), (std::vector<bool>{false, false, true, false, true}));
  EXPECT_DOUBLE_EQ(d.mean.value_or(-1), 26);
  EXPECT_NEAR(d.bandLow.value_or(-1), 26 - 2 * 1.5811388, 1e-6);
  EXPECT_NEAR(d.bandHigh.value_or(-1), 26 + 2 * 1.5811388, 1e-6);
  EXPECT_FALSE(d.gradePressure);

  // Equal moments keep the order shown.
  d = BuildChartData(
      ChartKind::Plate,
      {Plate(7, 30, "01.02.2024", "10:00:00"), Plate(3, 20, "01.02.2024", "10:00:00")}, {});
  EXPECT_EQ(Ys(d), (std::vector<double>{30, 20}));
  EXPECT_NEAR(d.bandHigh.value_or(-1), 25 + 2 * std::sqrt(50.0), 1e-9);

  // One test: its value is the mean, there is no band; none: no mean.
  d = BuildChartData(ChartKind::Plate, {Plate(1, 31.5, "01.02.2024", "10:00:00")}, {});
  EXPECT_DOUBLE_EQ(d.mean.value_or(-1), 31.5);
  EXPECT_FALSE(d.bandLow);
  EXPECT_FALSE(d.bandHigh);
  EXPECT_FALSE(BuildChartData(ChartKind::Plate, {}, {}).mean);
}

// The rows come from the table as it shows them: its filter and its order.
TEST(ShownChartRows, FollowTheFilterAndTheSortOfTheTable) {
  QTemporaryDir dir;
  MeasurementTable t;
  std::vector<StoreRow> rows = {PlateRow(1, 7, 10.0, 26), PlateRow(2, 7, 11.0, 28)};
  for (int i = 1; i <= 3; ++i) rows.push_back(WaterRow(i, 5, 0.2 * i, "B6"));
  rows.push_back(PlateRow(3, 7, 12.0, 24));
  MakeStoreTable(t, dir, rows);
  t.SetFilter(QStringLiteral("NB_TYPE=0"));
  std::vector<ChartRow> shown = ShownChartRows(t);
  ASSERT_EQ(shown.size(), 3u);
  EXPECT_EQ(shown[0].bookmark, 1u);
  EXPECT_EQ(shown[2].bookmark, 6u);
  EXPECT_EQ(shown[1].n, 2);
  EXPECT_EQ(ValueToFloat(shown[1].r), 28);
  EXPECT_EQ(ValueToFloat(shown[1].p), 11);
  EXPECT_EQ(shown[1].date, QStringLiteral("01.02.2024"));
  EXPECT_EQ(shown[1].time, QStringLiteral("10:00:00"));
  EXPECT_EQ(shown[1].grade, QStringLiteral("D=300"));

  t.AddSortTag(QStringLiteral("tab1"), QStringLiteral("R"), true);
  t.SelectSortTag(QStringLiteral("tab1"));
  shown = ShownChartRows(t);
  ASSERT_EQ(shown.size(), 3u);
  EXPECT_EQ(ValueToFloat(shown[0].r), 28);
  EXPECT_EQ(ValueToFloat(shown[2].r), 24);
  const std::vector<MarkedValues> values = ShownValues(shown);
  ASSERT_EQ(values.size(), 3u);
  EXPECT_EQ(ValueToFloat(values[0].p), 11);
  EXPECT_EQ(ValueToFloat(values[2].r), 24);

  t.SetFilter(QStringLiteral("SERIAL=5"));
  shown = ShownChartRows(t);
  ASSERT_EQ(shown.size(), 3u);
  EXPECT_EQ(shown[0].grade, QStringLiteral("B6"));
  t.Close();
  EXPECT_TRUE(ShownChartRows(t).empty());
}

}  // namespace
}  // namespace chart
