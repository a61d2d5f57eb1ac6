// Reports over the real table: its filter, its sort order, its cursor.
#include <gtest/gtest.h>

#include <QTemporaryDir>

#include "output/reports/report_engine.h"
#include "output/reports/report_fixtures.h"
#include "output/reports/report_templates.h"
#include "support/store_fixture.h"

namespace {

// The texts of one data box column, page after page.
QStringList Column(const PreparedReport& r, int box) {
  QStringList out;
  for (const PreparedPage& page : r.pages)
    for (const PreparedBox& b : page.boxes)
      if (b.style == &r.layout->data.boxes[box]) out << b.text;
  return out;
}

QStringList FooterTexts(const PreparedReport& r) {
  QStringList out;
  for (const PreparedPage& page : r.pages) out << page.boxes.back().text;
  return out;
}

class ReportOverTable : public ::testing::Test {
 protected:
  void SetUp() override {
    // Series 7 and 8 of six samples each, pressures out of order.
    std::vector<StoreRow> rows;
    const double p7[] = {0.4, 1.2, 0.2, 0.8, 0.6, 1.0};
    for (int n = 1; n <= 6; ++n) rows.push_back(WaterRow(n, 7, p7[n - 1], QStringLiteral("B6")));
    for (int n = 1; n <= 6; ++n) rows.push_back(WaterRow(n, 8, 0.2 * n, QStringLiteral("B4")));
    rows.push_back(PlateRow(1, 4321, 12.5, 3.14159));
    MakeStoreTable(table, dir, rows);
  }
  void TearDown() override { table.Close(); }
  QTemporaryDir dir;
  MeasurementTable table;
};

TEST_F(ReportOverTable, SeriesInTheTableOrderAndCursorOnTheLastRow) {
  table.SetFilter(QStringLiteral("SERIAL=7"));
  TableReportSource source(&table);
  PreparedReport r = PrepareReport(Report1(), source);
  EXPECT_EQ(Column(r, 1), QStringList({"1", "2", "3", "4", "5", "6"}));
  EXPECT_EQ(Column(r, 4), QStringList({"0,4", "1,2", "0,2", "0,8", "0,6", "1"}));
  EXPECT_EQ(Column(r, 0), QStringList(6, QStringLiteral("7")));
  EXPECT_EQ(table.CurrentIndex(), 5);

  // Sorted by P, descending, as a title click does.
  table.AddSortTag(QStringLiteral("tab2"), QStringLiteral("P"), true);
  table.SelectSortTag(QStringLiteral("tab2"));
  r = PrepareReport(Report1(), source);
  EXPECT_EQ(Column(r, 1), QStringList({"2", "6", "4", "5", "1", "3"}));
  EXPECT_EQ(table.CurrentIndex(), 5);
  EXPECT_DOUBLE_EQ(table.GetFloat(QStringLiteral("P")), 0.2);

  // Without the sort, file order again.
  table.DropSortTag(QStringLiteral("tab2"));
  r = PrepareReport(Report1(), source);
  EXPECT_EQ(Column(r, 1), QStringList({"1", "2", "3", "4", "5", "6"}));
}

TEST_F(ReportOverTable, PlateValuesAndEmptyResult) {
  table.SetFilter(QStringLiteral("NB_TYPE=0"));
  TableReportSource source(&table);
  const PreparedReport r2 = PrepareReport(Report2(), source);
  EXPECT_EQ(Column(r2, 3), QStringList({"12,5"}));
  EXPECT_EQ(Column(r2, 4), QStringList({"3,142"}));
  // The plate row has no dН: a blank number prints as 0, not as an empty box.
  EXPECT_EQ(Column(r2, 5), QStringList({"0,00"}));
  EXPECT_EQ(r2.pages[0].boxes[0].text, QString::fromUtf8("ДК-ТЛ7  № 4321"));
  const PreparedReport r3 = PrepareReport(Report3(), source);
  EXPECT_EQ(Column(r3, 3), QStringList({"12,50"}));
  EXPECT_EQ(Column(r3, 4), QStringList({"D=300"}));

  table.SetFilter(QStringLiteral("SERIAL=99"));
  const PreparedReport none = PrepareReport(Report1(), source);
  EXPECT_TRUE(none.completed);
  EXPECT_EQ(FooterTexts(none), QStringList({QString::fromUtf8("Стр. 1 из 1")}));
  EXPECT_TRUE(Column(none, 1).isEmpty());
  // No row, no serial number: the table's 0 for "no current row" stays off
  // the title.
  EXPECT_EQ(PrepareReport(Report2(), source).pages[0].boxes[0].text,
            QString::fromUtf8("ДК-ТЛ7  № "));
}

TEST_F(ReportOverTable, LongTableTwoPages) {
  table.SetFilter(QString());
  for (int i = 0; i < 17; ++i) AppendStoreRow(table, PlateRow(i + 2, 4321, i, 1));
  table.SetFilter(QStringLiteral("NB_TYPE=0"));  // 18 plate rows
  TableReportSource source(&table);
  // Landscape pages hold fewer rows: 18 plate rows need two of them.
  const PreparedReport r = PrepareReport(Report1(), source);
  EXPECT_EQ(FooterTexts(r),
            QStringList({QString::fromUtf8("Стр. 1 из 2"), QString::fromUtf8("Стр. 2 из 2")}));
  EXPECT_EQ(Column(r, 1).size(), 18);
  EXPECT_EQ(table.CurrentIndex(), 17);
}

}  // namespace
