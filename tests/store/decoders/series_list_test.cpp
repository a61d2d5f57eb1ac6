// The series-list walk over a table's stored rows.
#include "store/series_list.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include "store/measurement_table.h"

namespace {

struct Row {
  int nbType, serial, n;
};

// Builds a table of the given rows in file order and leaves it open.
void Fill(MeasurementTable& table, const QString& path, const std::vector<Row>& rows) {
  table.SetLocation(path);
  table.CreateFile();
  table.Open();
  for (const Row& r : rows) {
    table.AppendRow();
    table.SetField("NB_TYPE", r.nbType);
    table.SetField("SERIAL", r.serial);
    table.SetField("N", r.n);
    table.PostRow();
  }
}

std::vector<Row> Series(int nbType, std::initializer_list<int> serials, int rowsEach = 6) {
  std::vector<Row> rows;
  for (int s : serials)
    for (int i = 0; i < rowsEach; ++i) rows.push_back({nbType, s, i + 1});
  return rows;
}

TEST(SeriesList, OneEntryPerSeriesOfTheRows) {
  std::vector<Row> thirteen = Series(1, {5, 9});
  thirteen.push_back({1, 11, 1});
  std::vector<Row> waterThenPlate = Series(1, {4});
  for (const Row& r : Series(0, {77})) waterThenPlate.push_back(r);
  // A row deleted inside series 9 and the first row of series 12.
  std::vector<Row> deleted = Series(1, {5, 9, 12});
  deleted.erase(deleted.begin() + 12);
  deleted.erase(deleted.begin() + 7);
  const struct {
    const char* name;
    std::vector<Row> rows;
    bool waterShown;
    QStringList expected;
  } cases[] = {
      {"two series", Series(1, {5, 9}), true, {"5", "9"}},
      {"a series of one row", thirteen, true, {"5", "9", "11"}},
      {"fewer than six rows", Series(1, {3}, 5), true, {"3"}},
      {"equal numbers kept", Series(1, {2, 2, 8}), true, {"2", "2", "8"}},
      {"a repeated sample number starts a series", {{1, 2, 1}, {1, 2, 1}, {1, 2, 2}}, true,
       {"2", "2"}},
      {"plate rows when the plate view is shown", Series(0, {1234, 1234}), false, {"1234", "1234"}},
      {"rows of the other kind left out", waterThenPlate, true, {"4"}},
      {"rows deleted from series", deleted, true, {"5", "9", "12"}},
      {"empty table", {}, true, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    QTemporaryDir dir;
    MeasurementTable table;
    Fill(table, dir.filePath("s.db"), c.rows);
    EXPECT_EQ(BuildSeriesList(table, c.waterShown), c.expected);
    EXPECT_EQ(table.Filter(), c.waterShown ? "NB_TYPE=1" : "NB_TYPE=0");
  }
}

TEST(SeriesList, AnEntryShowsItsSeries) {
  QTemporaryDir dir;
  MeasurementTable table;
  Fill(table, dir.filePath("s.db"), Series(1, {5, 9, 12}));
  table.ShowSeries(9);
  EXPECT_EQ(table.Filter(), "SERIAL=9");
  EXPECT_EQ(table.VisibleRowCount(), 6);
  EXPECT_EQ(table.FieldAt(0, "SERIAL"), FieldValue(int64_t(9)));
}

}  // namespace
