// The series-list walk over a table's stored rows.
#include "store/series_list.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include "store/measurement_table.h"

namespace {

struct Row {
  int nbType, serial;
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
    table.PostRow();
  }
}

std::vector<Row> Series(int nbType, std::initializer_list<int> serials, int rowsEach = 6) {
  std::vector<Row> rows;
  for (int s : serials)
    for (int i = 0; i < rowsEach; ++i) rows.push_back({nbType, s});
  return rows;
}

TEST(SeriesList, OneEntryPerSixStoredRows) {
  std::vector<Row> thirteen = Series(1, {5, 9});
  thirteen.push_back({1, 11});
  std::vector<Row> waterThenPlate = Series(1, {4});
  for (const Row& r : Series(0, {77})) waterThenPlate.push_back(r);
  const struct {
    const char* name;
    std::vector<Row> rows;
    bool waterShown;
    QStringList expected;
  } cases[] = {
      {"two series", Series(1, {5, 9}), true, {"5", "9"}},
      {"remainder dropped", thirteen, true, {"5", "9"}},
      {"fewer than six rows", Series(1, {3}, 5), true, {}},
      {"equal numbers kept", Series(1, {2, 2, 8}), true, {"2", "2", "8"}},
      {"plate rows when the plate view is shown", Series(0, {1234, 1234}), false, {"1234", "1234"}},
      // Rows of the other kind count in the quotient; the walk then stays on
      // the last visible row and repeats it.
      {"other kind counted", waterThenPlate, true, {"4", "4"}},
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

TEST(SeriesList, FilterOfAnEntryShowsItsSeries) {
  QTemporaryDir dir;
  MeasurementTable table;
  Fill(table, dir.filePath("s.db"), Series(1, {5, 9, 12}));
  table.SetFilter(SeriesFilter("9"));
  EXPECT_EQ(table.Filter(), "SERIAL=9");
  EXPECT_EQ(table.VisibleRowCount(), 6);
  EXPECT_EQ(table.FieldAt(0, "SERIAL"), FieldValue(int64_t(9)));
}

}  // namespace
