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
      {"a repeated sample number starts a series",
       {{1, 2, 1}, {1, 2, 1}, {1, 2, 2}},
       true,
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
    EXPECT_EQ(SeriesNumbers(BuildSeriesList(table, c.waterShown)), c.expected);
    EXPECT_EQ(table.Filter(), c.waterShown ? "NB_TYPE=1" : "NB_TYPE=0");
  }
}

// An entry carries the start and grade of its series' first row, from the
// table as from the rows a download decodes.
TEST(SeriesList, AnEntryTellsTheStartAndGradeOfItsFirstRow) {
  auto row = [](int serial, int n, const char* date, const char* grade) {
    MeasurementRow r;
    r[Field::NbType] = int64_t(ShownKind::Water);
    r[Field::Serial] = int64_t(serial);
    r[Field::N] = int64_t(n);
    r[Field::Date] = QString::fromLatin1(date);
    r[Field::Type] = QString::fromUtf8(grade);
    return r;
  };
  const std::vector<MeasurementRow> rows = {
      row(12, 1, "05.03.2024 09:15:00", "B8"), row(12, 2, "06.03.2024 10:00:00", "B2"),
      row(3, 1, "07.03.2024 11:30:00", ""), row(3, 1, "", "Не ГОСТ")};
  const std::vector<SeriesEntry> expected = {
      {"12", "05.03.2024 09:15:00", "B8"}, {"3", "07.03.2024 11:30:00", ""}, {"3", "", "Не ГОСТ"}};
  EXPECT_EQ(SeriesOfRows(rows), expected);
  QTemporaryDir dir;
  MeasurementTable table;
  table.SetLocation(dir.filePath("s.db"));
  table.CreateFile();
  table.Open();
  table.AppendRows(rows);
  EXPECT_EQ(BuildSeriesList(table, true), expected);
}

TEST(SeriesList, EntryTextShowsNumberStartAndGrade) {
  const struct {
    SeriesEntry entry;
    const char* text;
  } cases[] = {
      {{"12", "05.03.2024 09:15:00", "B8"}, "12 · 05.03.2024 09:15 · B8"},
      {{"7", "05.03.2024 09:15:07", "Не ГОСТ"}, "7 · 05.03.2024 09:15 · Не ГОСТ"},
      {{"7", "05.03.2024 09:15", "B20"}, "7 · 05.03.2024 09:15 · B20"},
      {{"7", "05.03.2024", "B2"}, "7 · 05.03.2024 · B2"},
      {{"7", "05.03.2024 09:15:00", ""}, "7 · 05.03.2024 09:15"},
      {{"7", "", "B4"}, "7 · B4"},
      {{"0", "", ""}, "0"},
  };
  for (const auto& c : cases) EXPECT_EQ(SeriesEntryText(c.entry), QString::fromUtf8(c.text));
}

TEST(SeriesList, SearchMatchesNumberPrefixOrDate) {
  const SeriesEntry twelve{"12", "05.03.2024 09:15:00", "B8"};
  const struct {
    const char* text;
    bool matches;
  } cases[] = {
      {"", true},          {"  ", true},        {"1", true},        {"12", true},
      {"123", false},      {"2", false},        {"05.03", true},    {"05.03.2024", true},
      {"03.2024", true},   {"5.03", true},      {"05.04", false},   {"06.03.2024", false},
      {"09:15", false},    {"B8", false},       {"12 05.03", true}, {" 05.03  12 ", true},
      {"12 05.04", false}, {"13 05.03", false}, {"2024", false},    {"05.03.2024 ", true},
  };
  for (const auto& c : cases)
    EXPECT_EQ(SeriesEntryMatches(twelve, QString::fromUtf8(c.text)), c.matches) << c.text;
  // No start: only the number can match.
  EXPECT_FALSE(SeriesEntryMatches({"12", "", "B8"}, "05.03"));
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
