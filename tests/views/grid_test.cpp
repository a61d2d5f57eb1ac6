// The two views over real table files: sorting by title clicks, colours,
// fitting, footers, marked rows, editing and column layouts.
#include <gtest/gtest.h>

#include <QAbstractItemModelTester>
#include <QApplication>
#include <QImage>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTest>
#include <QToolTip>
#include <cmath>
#include <numeric>

#include "platform/settings_store.h"
#include "store/table_session.h"
#include "support/link_ports.h"
#include "support/store_fixture.h"
#include "support/test_env.h"
#include "views/table_views.h"

inline void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }

namespace {

using views::ClearSorting;

// A shown plate view over a table of plate rows, sorted through "tab1" as
// the main window does it.
class PlateViewTest : public ::testing::Test {
 protected:
  void Open(const std::vector<StoreRow>& rows) {
    MakeStoreTable(table, dir, rows);
    table.SetFilter(QStringLiteral("NB_TYPE=0"));
    views::SetupView(&grid, views::ViewSpecOf(ShownKind::Plate), &table);
    QObject::connect(&grid, &DataGrid::TitleStateChanged, [this](int column) {
      views::TitleStateChange(grid, table, QStringLiteral("tab1"), column);
    });
    grid.resize(1000, 400);
    grid.show();
    QCoreApplication::processEvents();
  }
  std::vector<double> Column(const char* field) {
    std::vector<double> out;
    for (int i = 0; i < table.VisibleRowCount(); ++i)
      out.push_back(ValueToFloat(table.FieldAt(i, QLatin1String(field))));
    return out;
  }
  int Col(const char* field) { return grid.ColumnOfField(QLatin1String(field)); }

  QTemporaryDir dir;
  MeasurementTable table;
  DataGrid grid;
};

std::vector<StoreRow> FourPlates() {
  return {PlateRow(1, 7, 0.4, 3), PlateRow(2, 7, 1.0, 1), PlateRow(3, 7, 0.2, 4),
          PlateRow(4, 7, 0.8, 2)};
}

TEST_F(PlateViewTest, TitleClicksCycleMarksAndRowOrder) {
  Open(FourPlates());
  const std::vector<double> file = {0.4, 1.0, 0.2, 0.8}, down = {1.0, 0.8, 0.4, 0.2},
                            up = {0.2, 0.4, 0.8, 1.0};
  QSignalSpy events(&grid, &DataGrid::TitleStateChanged);
  struct Step {
    const char* field;
    bool ctrl;
    TitleState pState, rState;
    std::vector<double> pOrder;
    int events;
  } steps[] = {
      {"P", true, TitleState::SortedNone, TitleState::SortedNone, file, 0},  // nothing to clear
      {"P", false, TitleState::SortedUp, TitleState::SortedNone, down, 1},
      {"P", false, TitleState::SortedDown, TitleState::SortedNone, up, 2},
      {"P", false, TitleState::SortedUp, TitleState::SortedNone, down, 3},
      {"P", true, TitleState::SortedNone, TitleState::SortedNone, file, 4},
      {"P", false, TitleState::SortedUp, TitleState::SortedNone, down, 5},
      // R sorted descending: R 4,3,2,1 belongs to P 0.2,0.4,0.8,1.0.
      {"R", false, TitleState::SortedNone, TitleState::SortedUp, up, 6},
  };
  for (const Step& s : steps) {
    grid.ClickTitle(Col(s.field), s.ctrl);
    SCOPED_TRACE(std::string(s.field) + (s.ctrl ? " ctrl" : ""));
    EXPECT_EQ(grid.Column(Col("P")).state.titleState, s.pState);
    EXPECT_EQ(grid.Column(Col("R")).state.titleState, s.rState);
    EXPECT_EQ(Column("P"), s.pOrder);
    EXPECT_EQ(events.count(), s.events);
  }
  // Every click that leaves "unsorted" draws a new sort order number.
  EXPECT_EQ(grid.Column(Col("R")).state.sortOrder, 5);
  EXPECT_EQ(grid.Column(Col("P")).state.sortOrder, -1);
  EXPECT_EQ(table.SelectedSortTag(), QStringLiteral("tab1"));
  QCoreApplication::processEvents();

  // The cell cursor's column survives the re-read of the rows.
  grid.SetCurrentColumn(Col("TIME"));
  grid.ClickTitle(Col("P"), false);
  QCoreApplication::processEvents();
  EXPECT_EQ(grid.CurrentColumn(), Col("TIME"));

  ClearSorting(grid, table, QStringLiteral("tab1"));
  EXPECT_EQ(Column("P"), file);
  EXPECT_EQ(grid.Column(Col("R")).state.titleState, TitleState::SortedNone);
  EXPECT_TRUE(table.SelectedSortTag().isEmpty());
}

TEST_F(PlateViewTest, MouseOnTitlesClicksWithCtrlAndModelIsSound) {
  Open(FourPlates());
  QAbstractItemModelTester tester(grid.model(),
                                  QAbstractItemModelTester::FailureReportingMode::Fatal);
  GridHeader* header = grid.header();
  auto click = [&](int column, Qt::KeyboardModifiers mods) {
    const QPoint at(header->sectionViewportPosition(column) + header->sectionSize(column) / 2,
                    header->height() / 2);
    QTest::mouseClick(header->viewport(), Qt::LeftButton, mods, at);
  };
  click(Col("P"), Qt::NoModifier);
  EXPECT_EQ(Column("P"), (std::vector<double>{1.0, 0.8, 0.4, 0.2}));
  click(Col("P"), Qt::ShiftModifier);  // Shift is a plain click
  EXPECT_EQ(Column("P"), (std::vector<double>{0.2, 0.4, 0.8, 1.0}));
  click(Col("P"), Qt::ControlModifier);
  EXPECT_EQ(Column("P"), (std::vector<double>{0.4, 1.0, 0.2, 0.8}));
  EXPECT_EQ(grid.Column(Col("P")).state.titleState, TitleState::SortedNone);
  // The model shows the rows in the table's order, P with the two decimals
  // it is stored with.
  EXPECT_EQ(grid.model()->index(1, Col("P")).data().toString(), QStringLiteral("1,00"));
}

// P and R show the two decimals they are stored and printed with, rounded
// half away from zero on the decimal value (1.005 is stored just below it).
TEST_F(PlateViewTest, PAndRWithTwoDecimalsRoundedAsPrinted) {
  Open({PlateRow(1, 7, 1.005, 2.675), PlateRow(2, 7, 0.5, 12.0), PlateRow(3, 7, 1.15, 0.125)});
  const struct {
    int row;
    const char* field;
    const char* shown;
  } cases[] = {{0, "P", "1,01"},  {0, "R", "2,68"}, {1, "P", "0,50"},
               {1, "R", "12,00"}, {2, "P", "1,15"}, {2, "R", "0,13"}};
  for (const auto& c : cases)
    EXPECT_EQ(grid.model()->index(c.row, Col(c.field)).data().toString(),
              QString::fromLatin1(c.shown))
        << c.row << c.field;
}

// Dark pixels of one title: its caption and, when sorted, its mark.
QImage TitleImage(DataGrid& grid, int column) {
  GridHeader* h = grid.header();
  return h->viewport()->grab().toImage().copy(
      QRect(h->sectionViewportPosition(column), 0, h->sectionSize(column), h->height()));
}
bool HasInk(const QImage& img) {
  for (int y = 0; y < img.height(); ++y)
    for (int x = 0; x < img.width(); ++x)
      if (qGray(img.pixel(x, y)) < 100) return true;
  return false;
}

TEST_F(PlateViewTest, TitlesShowCaptionsAndSortMarks) {
  Open(FourPlates());
  for (int i = 0; i < grid.ColumnCount(); ++i) EXPECT_TRUE(HasInk(TitleImage(grid, i))) << i;
  const QImage unsorted = TitleImage(grid, Col("P"));
  grid.ClickTitle(Col("P"), false);
  const QImage up = TitleImage(grid, Col("P"));
  grid.ClickTitle(Col("P"), false);
  const QImage down = TitleImage(grid, Col("P"));
  EXPECT_NE(unsorted, up);
  EXPECT_NE(up, down);
  EXPECT_EQ(grid.header()->height(), grid.header()->sizeHint().height());
}

TEST_F(PlateViewTest, OwnColoursFillCellsButNotSelectedRows) {
  Open(FourPlates());
  const int p = Col("P");
  grid.SetColumnColor(p, 0x00FFFF);  // yellow
  grid.view()->selectRow(2);
  QCoreApplication::processEvents();
  auto pixel = [&](int row, int column) {
    const QRect r = grid.view()->visualRect(grid.model()->index(row, column));
    return grid.view()->viewport()->grab().toImage().pixelColor(r.left() + 3, r.top() + 3);
  };
  EXPECT_EQ(pixel(0, p), QColor(255, 255, 0));
  EXPECT_EQ(pixel(2, p), grid.view()->palette().color(QPalette::Active, QPalette::Highlight));
  EXPECT_NE(pixel(0, Col("R")), QColor(255, 255, 0));
  // Removing a colour that is not there changes nothing; removing all clears.
  grid.SetColumnColor(Col("R"), kClNone);
  EXPECT_EQ(pixel(0, p), QColor(255, 255, 0));
  grid.ClearColumnColors();
  EXPECT_NE(pixel(0, p), QColor(255, 255, 0));
  EXPECT_EQ(grid.Column(p).state.color, kClNone);
}

TEST(FitColumnWidth, OuterWidthDivCountMinusFiveAtLeastTwo) {
  EXPECT_EQ(FitColumnWidth(1000, 8), 120);
  EXPECT_EQ(FitColumnWidth(1000, 7), 137);
  EXPECT_EQ(FitColumnWidth(40, 8), 2);
  EXPECT_EQ(FitColumnWidth(1000, 0), 2);
}

// "Выровнять столбцы": the texts' widths when all of them fit the client
// width, else equal widths from the outer width.
TEST(FitColumnWidth, TextWidthsWhenThereIsRoomElseEqualWidths) {
  const struct {
    std::vector<int> needed;
    int outer, client;
    std::vector<int> widths;
  } cases[] = {
      {{60, 120, 80}, 400, 396, {60, 120, 80}},
      {{60, 120, 80}, 264, 260, {60, 120, 80}},  // exactly room
      {{60, 120, 81}, 264, 260, {83, 83, 83}},   // one pixel short
      {{300, 300, 300, 300, 300, 300, 300}, 700, 696, std::vector<int>(7, 95)},
      {{0, 1, 50}, 400, 396, {2, 2, 50}},
      {{}, 400, 396, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.client);
    EXPECT_EQ(FitWidthsToTexts(c.needed, c.outer, c.client), c.widths);
  }
}

// A stored layout is spread over the grid's client width, scaled down from
// a wider window and up to a wider one, in proportion; a column the
// operator holds keeps its width.
TEST(FitColumnWidth, SpreadScalesTheStoredWidthsToTheClientWidth) {
  auto columns = [](std::vector<int> widths, int fixed = -1) {
    std::vector<GridColumn> out(widths.size());
    for (size_t i = 0; i < widths.size(); ++i) {
      out[i].state.width = widths[i];
      out[i].fixedWidth = int(i) == fixed;
    }
    return out;
  };
  const struct {
    std::vector<GridColumn> columns;
    int client;
    std::vector<int> widths;
  } cases[] = {
      // The water view's design widths (1453 pixels) in a grid of 700.
      {columns({50, 115, 238, 414, 237, 104, 295}), 700, {24, 55, 115, 199, 114, 50, 143}},
      {columns({100, 100}), 500, {250, 250}},
      {columns({100, 300}, 0), 500, {100, 400}},
      {columns({10, 10, 10}), 3, {2, 2, 2}},  // no room at all: the least width
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.client);
    const std::vector<int> widths = SpreadColumnWidths(c.columns, c.client);
    EXPECT_EQ(widths, c.widths);
    if (c.client >= 2 * int(c.columns.size())) {
      EXPECT_EQ(std::accumulate(widths.begin(), widths.end(), 0), c.client);
    }
  }
}

// Whether a cell shows its whole text: an item view draws the text between
// margins of the focus frame's margin + 1 and cuts it short when it needs more.
bool CellShowsWhole(DataGrid& grid, int row, int column) {
  QTableView* v = grid.view();
  const QModelIndex i = grid.model()->index(row, column);
  const int margin = v->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, v) + 1;
  return QFontMetricsF(v->font()).horizontalAdvance(i.data().toString()) + 2 * margin <=
         v->visualRect(i).width();
}

// Whether no caption of the grid has a word cut short.
bool CaptionsShowWholeWords(DataGrid& grid) {
  for (int i = 0; i < grid.ColumnCount(); ++i) {
    bool cut = false;
    WrapTitle(grid.Column(i).caption, grid.header()->font(),
              GridHeader::TextWidth(grid.ColumnWidth(i), true), &cut);
    if (cut) return false;
  }
  return true;
}

int ClientSum(DataGrid& grid) {
  int sum = 0;
  for (int i = 0; i < grid.ColumnCount(); ++i) sum += grid.ColumnWidth(i);
  return sum;
}

// The tooltip shown when the mouse rests at `at` in `widget`; empty when none.
QString TooltipAt(QWidget* widget, QPoint at) {
  QToolTip::hideText();
  EXPECT_TRUE(WaitUntil([] { return !QToolTip::isVisible(); }, 3000));
  QHelpEvent help(QEvent::ToolTip, at, widget->mapToGlobal(at));
  QApplication::sendEvent(widget, &help);
  return QToolTip::isVisible() ? QToolTip::text() : QString();
}
QString CellTooltip(DataGrid& grid, int row, int column) {
  const QRect r = grid.view()->visualRect(grid.model()->index(row, column));
  return TooltipAt(grid.view()->viewport(), r.center());
}
QString TitleTooltip(DataGrid& grid, int column) {
  GridHeader* h = grid.header();
  return TooltipAt(h->viewport(), QPoint(h->sectionViewportPosition(column) + 4, h->height() / 2));
}

TEST_F(PlateViewTest, FittingGivesEveryColumnItsTextsWhenThereIsRoom) {
  std::vector<StoreRow> rows = FourPlates();
  rows[2].push_back({"COMMENT", QStringLiteral("трещина по краю пластины")});
  Open(rows);
  const int client = grid.view()->viewport()->width();
  // Design widths spread in proportion over the client width.
  EXPECT_EQ(ClientSum(grid), client);
  EXPECT_GT(grid.ColumnWidth(Col("N")), grid.ColumnWidth(Col("ZAV")));

  views::FitColumns(grid);
  EXPECT_EQ(ClientSum(grid), client);
  for (int i = 0; i < grid.ColumnCount(); ++i) {
    EXPECT_EQ(grid.header()->sectionSize(i), grid.ColumnWidth(i));
    for (int r = 0; r < 4; ++r) EXPECT_TRUE(CellShowsWhole(grid, r, i)) << r << " " << i;
  }
  EXPECT_TRUE(CaptionsShowWholeWords(grid));
  EXPECT_GT(grid.ColumnWidth(Col("COMMENT")), grid.ColumnWidth(Col("ZAV")));

  // No room for every text: equal widths, as many as fill the client.
  grid.resize(300, 400);
  QCoreApplication::processEvents();
  views::FitColumns(grid);
  const int narrow = grid.view()->viewport()->width();
  EXPECT_EQ(ClientSum(grid), narrow);
  for (int i = 0; i < grid.ColumnCount(); ++i)
    EXPECT_NEAR(grid.ColumnWidth(i), narrow / 8.0, 1.0) << i;
  grid.resize(1000, 400);
  QCoreApplication::processEvents();

  // The operator widens one column: it keeps its width, the others share the rest.
  grid.header()->resizeSection(Col("P"), 300);
  EXPECT_EQ(grid.ColumnWidth(Col("P")), 300);
  EXPECT_EQ(ClientSum(grid), client);
}

// A cell or a title cut short shows its whole text in a tooltip; one shown
// whole shows none.
TEST_F(PlateViewTest, CutTextsShowWholeInATooltip) {
  Open(FourPlates());
  views::FitColumns(grid);
  const int date = Col("DATE"), type = Col("TYPE");
  EXPECT_EQ(CellTooltip(grid, 0, date), QString());
  EXPECT_EQ(TitleTooltip(grid, type), QString());
  grid.header()->resizeSection(date, 30);
  grid.header()->resizeSection(type, 40);
  EXPECT_FALSE(CellShowsWhole(grid, 0, date));
  EXPECT_EQ(CellTooltip(grid, 0, date), QStringLiteral("01.02.2024"));
  EXPECT_EQ(TitleTooltip(grid, type), QString::fromUtf8("Тип и размер пластины"));
  // Text that fits in a narrow column all the same: no tooltip.
  EXPECT_EQ(CellTooltip(grid, 0, Col("N")), QString());
}

TEST(WaterView, OperatorSizesTheColumnsAndReadOnlyOnesRejectEdits) {
  QTemporaryDir dir;
  MeasurementTable table;
  MakeStoreTable(table, dir, {WaterRow(1, 3, 0.4, "B4")});
  DataGrid grid;
  views::SetupView(&grid, views::ViewSpecOf(ShownKind::Water), &table);
  grid.resize(1000, 300);
  grid.show();
  QCoreApplication::processEvents();
  // The design widths are spread over the client: no column outside it.
  const int client = grid.view()->viewport()->width();
  EXPECT_EQ(ClientSum(grid), client);
  EXPECT_GT(grid.ColumnWidth(grid.ColumnOfField("R")), grid.ColumnWidth(grid.ColumnOfField("N")));

  // The operator drags the right border of "Марка"'s title to the left.
  GridHeader* h = grid.header();
  const int type = grid.ColumnOfField("TYPE");
  const int before = grid.ColumnWidth(type);
  const int border = h->sectionViewportPosition(type) + h->sectionSize(type) - 1;
  const int y = h->height() / 2;
  QTest::mousePress(h->viewport(), Qt::LeftButton, {}, QPoint(border, y));
  QTest::mouseMove(h->viewport(), QPoint(border - 30, y));
  QTest::mouseRelease(h->viewport(), Qt::LeftButton, {}, QPoint(border - 30, y));
  EXPECT_EQ(grid.ColumnWidth(type), before - 30);
  EXPECT_EQ(ClientSum(grid), client);

  // Read-only columns cannot be edited, the others can.
  for (const char* field : {"N", "H", "P", "R", "DATE"})
    EXPECT_FALSE(grid.model()->flags(grid.model()->index(0, grid.ColumnOfField(field))) &
                 Qt::ItemIsEditable)
        << field;
  EXPECT_TRUE(grid.model()->flags(grid.model()->index(0, grid.ColumnOfField("TYPE"))) &
              Qt::ItemIsEditable);
  EXPECT_EQ(grid.model()->index(0, grid.ColumnOfField("R")).data().toString(),
            QStringLiteral("24"));
  EXPECT_EQ(grid.model()->index(0, grid.ColumnOfField("H")).data().toString(),
            QStringLiteral("100,0"));
}

// At 150 % display scaling Qt lays the window out in pixels two thirds as
// many: beside the series list on a screen 1366 pixels wide the grid has
// room for every text; on one of 1024 it has not, and the start of the
// test shows in a tooltip.
TEST(WaterView, StartTimeReadableAtOneAndAHalfTimesTheScale) {
  QTemporaryDir dir;
  MeasurementTable table;
  MakeStoreTable(table, dir, {WaterRow(1, 3, 0.4, "B4"), WaterRow(2, 3, 0.4, "Не ГОСТ")});
  DataGrid grid;
  views::SetupView(&grid, views::ViewSpecOf(ShownKind::Water), &table);
  grid.show();
  const int date = grid.ColumnOfField("DATE");
  auto fitAt = [&](int screen) {
    grid.resize(screen * 2 / 3 - 129, 400);
    QCoreApplication::processEvents();
    views::FitColumns(grid);
  };
  fitAt(1366);
  for (int i = 0; i < grid.ColumnCount(); ++i)
    for (int r = 0; r < 2; ++r) EXPECT_TRUE(CellShowsWhole(grid, r, i)) << r << " " << i;
  EXPECT_TRUE(CaptionsShowWholeWords(grid));
  EXPECT_EQ(CellTooltip(grid, 0, date), QString());

  fitAt(1024);
  for (int i = 0; i < grid.ColumnCount(); ++i)
    EXPECT_NEAR(grid.ColumnWidth(i), grid.ColumnWidth(0), 1) << i;
  EXPECT_FALSE(CellShowsWhole(grid, 0, date));
  EXPECT_EQ(CellTooltip(grid, 0, date), QStringLiteral("01.02.2024 10:00:00"));
}

// A caption breaks only between words; a word wider than the column is cut
// short with "…" (and reported cut), never broken; every line fits the
// column. The widest word is the room a caption needs to show whole.
TEST(GridTitles, CaptionsBreakOnlyBetweenWords) {
  const QFont font = QApplication::font();
  const QFontMetricsF fm(font);
  auto ru = [](const char* s) { return QString::fromUtf8(s); };
  const QString pressure = ru("Давление при котором наблюдалась фильтрация, МПа");
  auto width = [&](const char* s) { return int(std::ceil(fm.horizontalAdvance(ru(s)))); };
  const struct {
    QString caption;
    int width;
    QStringList lines;  // empty: words whole, any number of lines
    bool cut;
  } cases[] = {
      {pressure, width("наблюдалась") + 2, {}, false},
      {pressure, WidestWord(pressure, font), {}, false},
      {pressure, width("Давление при котором наблюдалась фильтрация, МПа") + 2, {pressure}, false},
      {ru("№ образца"), WidestWord(ru("№ образца"), font), {ru("№"), ru("образца")}, false},
      {ru("Длительность испытания"), width("Длительность") + 2, {ru("Длительность"), ru("испытания")}, false},
      {ru("Длительность"), width("Длител"), {}, true},
      {ru("№ образца"), width("№ обр"), {}, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.caption.toStdString() + " / " + std::to_string(c.width));
    bool cut = true;
    const QStringList lines = WrapTitle(c.caption, font, c.width, &cut);
    ASSERT_FALSE(lines.isEmpty());
    EXPECT_EQ(cut, c.cut);
    for (const QString& line : lines) EXPECT_LE(fm.horizontalAdvance(line), c.width) << line.toStdString();
    if (!c.lines.isEmpty()) {
      EXPECT_EQ(lines, c.lines);
    }
    if (!c.cut) {
      EXPECT_EQ(lines.join(QLatin1Char(' ')), c.caption);
      continue;
    }
    // The cut word ends in "…" and is never carried on to a next line.
    EXPECT_TRUE(lines.last().endsWith(QChar(0x2026))) << lines.last().toStdString();
    for (const QString& line : lines)
      EXPECT_TRUE(c.caption.split(QLatin1Char(' ')).contains(line) || line.endsWith(QChar(0x2026)))
          << line.toStdString();
  }
}

// The title row grows until every caption shows its wrapped lines whole,
// at the width the columns get in a window of 1024 x 768 and narrower.
TEST(GridTitles, TitleRowHoldsEveryWrappedCaption) {
  QTemporaryDir dir;
  MeasurementTable table;
  MakeStoreTable(table, dir, {WaterRow(1, 3, 0.4, "B4")});
  DataGrid grid;
  views::SetupView(&grid, views::ViewSpecOf(ShownKind::Water), &table);
  grid.show();
  const int lineSpacing = grid.header()->fontMetrics().lineSpacing();
  for (int width : {1024 - 129, 800 - 129, 480}) {
    SCOPED_TRACE(width);
    grid.resize(width, 500);
    QCoreApplication::processEvents();
    views::FitColumns(grid);
    QCoreApplication::processEvents();
    for (int i = 0; i < grid.ColumnCount(); ++i) {
      // Qt's own word wrap in the room a sorted title leaves for its text.
      const QRect needed = grid.header()->fontMetrics().boundingRect(
          QRect(0, 0, grid.ColumnWidth(i) - 6 - 12, 10000), Qt::TextWordWrap,
          grid.Column(i).caption);
      EXPECT_LE(needed.height() + 4, grid.header()->height()) << grid.Column(i).caption.toStdString();
    }
    EXPECT_GE(grid.header()->height(), 4 * lineSpacing);
  }
}

// Footers of P, R and N from ComputeShownStats or from the marked rows.
TEST(Footers, TableStatisticsAndMarkedRows) {
  QTemporaryDir dir;
  MeasurementTable table;
  std::vector<StoreRow> rows;
  const double ps[] = {0.2, 0.4, 0.4, 0.6, 0.8, 1.0};
  for (int i = 0; i < 6; ++i) {
    StoreRow r = WaterRow(i + 1, 5, ps[i], "B6");
    for (auto& [name, value] : r)
      if (name == "R") value = 8.0;
    rows.push_back(r);
  }
  // Another series, of one row whose mean rounds away from its value.
  rows.push_back(WaterRow(1, 6, 1.25, "B20"));
  MakeStoreTable(table, dir, rows);
  TableStats stats;
  DataGrid grid;
  views::SetupView(&grid, views::ViewSpecOf(ShownKind::Water), &table);
  QObject::connect(&grid, &DataGrid::SelectionChanged,
                   [&] { views::UpdateFooters(grid, stats, table); });
  grid.resize(900, 300);
  grid.show();
  table.SetFilter(QStringLiteral("SERIAL=5"));
  ComputeShownStats(table, &stats);
  QCoreApplication::processEvents();
  auto footer = [&](const char* f) { return grid.FooterText(grid.ColumnOfField(f)); };
  EXPECT_EQ(footer("P"), QStringLiteral("0,2/0,6/1"));
  EXPECT_EQ(footer("R"), QStringLiteral("8/8/8"));
  EXPECT_EQ(footer("N"), QStringLiteral("6"));
  EXPECT_TRUE(footer("H").isEmpty());

  // Mark the rows with P 0.4 and 1.0 as the operator does: click, Ctrl+click.
  auto clickRow = [&](int row, Qt::KeyboardModifiers mods) {
    const QRect r = grid.view()->visualRect(grid.model()->index(row, 0));
    QTest::mouseClick(grid.view()->viewport(), Qt::LeftButton, mods, r.center());
  };
  clickRow(1, Qt::NoModifier);
  EXPECT_EQ(footer("P"), QStringLiteral("0,2/0,6/1"));  // one marked row: table values
  EXPECT_EQ(table.CurrentIndex(), 1);
  clickRow(5, Qt::ControlModifier);
  EXPECT_EQ(grid.SelectionCount(), 2);
  EXPECT_EQ(footer("P"), QStringLiteral("0,4/0,7/1"));
  EXPECT_EQ(footer("R"), QStringLiteral("8/8/8"));
  EXPECT_EQ(footer("N"), QStringLiteral("2"));  // the marked rows counted
  // The footer says which number is which, and of which rows, where the
  // operator points at it.
  auto tipAt = [&](const char* field) {
    const int column = grid.ColumnOfField(field);
    GridFooter* bar = grid.footer();
    const QPoint at(grid.header()->sectionViewportPosition(column) + 5, bar->height() / 2);
    QHelpEvent help(QEvent::ToolTip, at, bar->mapToGlobal(at));
    QApplication::sendEvent(bar, &help);
    return QToolTip::text();
  };
  EXPECT_EQ(tipAt("P"),
            QString::fromUtf8("Минимум / среднее / максимум P по отмеченным строкам (2)"));
  EXPECT_EQ(tipAt("N"), QString::fromUtf8("Число отмеченных строк"));
  ASSERT_EQ(grid.MarkedRows().size(), 2u);
  EXPECT_EQ(grid.SelectedBookmarks(),
            (std::vector<MeasurementTable::BookmarkT>{table.BookmarkAt(1), table.BookmarkAt(5)}));
  clickRow(5, Qt::ControlModifier);  // unmarked again
  EXPECT_EQ(footer("P"), QStringLiteral("0,2/0,6/1"));
  EXPECT_EQ(footer("N"), QStringLiteral("6"));
  EXPECT_EQ(tipAt("R"), QString::fromUtf8("Минимум / среднее / максимум R по показанным строкам"));
  EXPECT_EQ(tipAt("N"), QString::fromUtf8("Число показанных строк"));
  clickRow(3, Qt::NoModifier);
  grid.view()->clearSelection();  // no mark: the current row is the selection
  EXPECT_EQ(grid.SelectionCount(), 1);
  EXPECT_EQ(grid.SelectedBookmarks(),
            (std::vector<MeasurementTable::BookmarkT>{table.BookmarkAt(3)}));

  // Another series: N follows at the next notification, P and R keep the
  // statistics computed last.
  table.SetFilter(QStringLiteral("SERIAL=6"));
  QCoreApplication::processEvents();
  EXPECT_EQ(footer("N"), QStringLiteral("1"));
  EXPECT_EQ(footer("P"), QStringLiteral("0,2/0,6/1"));
  // One row: ComputeShownStats does not move it, so the footers change at the next
  // notification only.
  ComputeShownStats(table, &stats);
  EXPECT_EQ(footer("P"), QStringLiteral("0,2/0,6/1"));
  clickRow(0, Qt::NoModifier);
  EXPECT_EQ(footer("P"), QStringLiteral("1,25/1,25/1,25"));
  // No row: no move either; the footers take the statistics when they are
  // written again, as the window writes them after computing.
  table.SetFilter(QStringLiteral("SERIAL=99"));
  ComputeShownStats(table, &stats);
  views::UpdateFooters(grid, stats, table);
  EXPECT_EQ(footer("P"), QStringLiteral("0/0/0"));
  EXPECT_EQ(footer("N"), QStringLiteral("0"));
  EXPECT_EQ(grid.model()->rowCount(), 0);
}

// The mean of the marked rows does not depend on the order of marking:
// 6.48 + 17.04 + 23.13 summed in one order is 46.649999…, in another
// 46.65000…1; the mean is 15.55 either way and shows as 15,6.
TEST(Footers, MarkedRowsCountInFileOrderWhateverTheOrderOfMarking) {
  QTemporaryDir dir;
  MeasurementTable table;
  MakeStoreTable(table, dir,
                 {WaterRow(1, 5, 6.48, "B6"), WaterRow(2, 5, 17.04, "B6"),
                  WaterRow(3, 5, 23.13, "B6")});
  TableStats stats;
  DataGrid grid;
  views::SetupView(&grid, views::ViewSpecOf(ShownKind::Water), &table);
  QObject::connect(&grid, &DataGrid::SelectionChanged,
                   [&] { views::UpdateFooters(grid, stats, table); });
  grid.resize(900, 300);
  grid.show();
  table.SetFilter(QStringLiteral("NB_TYPE=1"));
  QCoreApplication::processEvents();
  auto clickRow = [&](int row, Qt::KeyboardModifiers mods) {
    const QRect r = grid.view()->visualRect(grid.model()->index(row, 0));
    QTest::mouseClick(grid.view()->viewport(), Qt::LeftButton, mods, r.center());
  };
  const std::vector<int> orders[] = {{0, 1, 2}, {2, 1, 0}, {1, 2, 0}};
  for (const std::vector<int>& order : orders) {
    SCOPED_TRACE(order[0] * 100 + order[1] * 10 + order[2]);
    clickRow(order[0], Qt::NoModifier);
    clickRow(order[1], Qt::ControlModifier);
    clickRow(order[2], Qt::ControlModifier);
    ASSERT_EQ(grid.MarkedRows().size(), 3u);
    EXPECT_EQ(grid.FooterText(grid.ColumnOfField("P")), QStringLiteral("6,48/15,6/23,13"));
  }
}

TEST_F(PlateViewTest, EditingRaisesInitEditAndPostsWhenTheRowIsLeft) {
  Open(FourPlates());
  QSignalSpy initEdit(&grid, &DataGrid::InitEdit);
  GridView* view = grid.view();
  const int comment = Col("COMMENT");
  view->setFocus();
  view->setCurrentIndex(grid.model()->index(0, comment));
  // Tab moves to the next cell without opening an editor.
  QTest::keyClick(view, Qt::Key_Tab);
  EXPECT_EQ(view->currentIndex().column(), Col("ZAV"));
  EXPECT_FALSE(view->IsEditingCell());
  EXPECT_EQ(initEdit.count(), 0);

  view->setCurrentIndex(grid.model()->index(0, comment));
  QTest::keyClick(view, Qt::Key_F2);
  ASSERT_EQ(initEdit.count(), 1);
  auto* editor = view->findChild<QLineEdit*>();
  ASSERT_NE(editor, nullptr);
  editor->setText(QString::fromUtf8("трещина"));
  QTest::keyClick(editor, Qt::Key_Return);
  QCoreApplication::processEvents();  // the editor commits through the event loop
  EXPECT_TRUE(table.IsEditing());     // still on the row: not yet posted
  // A number typed with a comma goes into P of the same row.
  EXPECT_TRUE(grid.model()->setData(grid.model()->index(0, Col("P")), QStringLiteral("2,5")));
  EXPECT_FALSE(grid.model()->setData(grid.model()->index(0, Col("N")), QStringLiteral("x")));
  view->setCurrentIndex(grid.model()->index(2, comment));
  QCoreApplication::processEvents();
  EXPECT_FALSE(table.IsEditing());

  // Reopen: the edit is in the file.
  table.Close();
  table.Open();
  EXPECT_EQ(ValueToText(table.FieldAt(0, "COMMENT")), QString::fromUtf8("трещина"));
  EXPECT_DOUBLE_EQ(ValueToFloat(table.FieldAt(0, "P")), 2.5);
  EXPECT_DOUBLE_EQ(ValueToFloat(table.FieldAt(1, "P")), 1.0);
}

// The table's cursor is the one cursor: a move of the table shows in every
// grid over it before the mover goes on, and the operator's move in a grid
// moves the table; each tells of the selection once. A grid that is gone
// hears nothing more.
TEST_F(PlateViewTest, ViewsShowTheTablesRowAtOnceAndMoveItForTheOperator) {
  Open(FourPlates());
  auto other = std::make_unique<DataGrid>();
  views::SetupView(other.get(), views::ViewSpecOf(ShownKind::Plate), &table);
  QSignalSpy told(&grid, &DataGrid::SelectionChanged);
  table.MoveTo(2);
  EXPECT_EQ(grid.view()->currentIndex().row(), 2);
  EXPECT_EQ(other->view()->currentIndex().row(), 2);
  EXPECT_EQ(told.count(), 1);
  std::vector<int> shown;
  for (table.First(); !table.AtEnd(); table.Next())
    shown.push_back(grid.view()->currentIndex().row());
  EXPECT_EQ(shown, (std::vector<int>{0, 1, 2, 3}));
  // A walk (a report's) shows once, where it ends.
  told.clear();
  {
    MeasurementTable::Walk walk(table);
    table.First();
    table.Next();
    EXPECT_EQ(grid.view()->currentIndex().row(), 3);
    EXPECT_EQ(told.count(), 0);
  }
  EXPECT_EQ(grid.view()->currentIndex().row(), 1);
  EXPECT_EQ(told.count(), 1);
  table.Last();

  told.clear();
  QTest::keyClick(grid.view(), Qt::Key_Up, Qt::ControlModifier);  // moves, marks nothing
  EXPECT_EQ(table.CurrentIndex(), 2);
  EXPECT_EQ(other->view()->currentIndex().row(), 2);
  EXPECT_EQ(told.count(), 1);
  EXPECT_EQ(grid.SelectionCount(), 1);

  other.reset();
  table.SetFilter(QStringLiteral("NB_TYPE=0"));
  table.MoveTo(3);
  EXPECT_EQ(grid.view()->currentIndex().row(), 3);
}

// The operator leaves a row whose edit moves it in the sorted view: the
// edit is posted, and the table and the view end on the row the operator
// chose, wherever the post put it.
TEST_F(PlateViewTest, LeavingARowTheEditResortsLandsOnTheRowChosen) {
  Open(FourPlates());
  grid.ClickTitle(Col("P"), false);  // P falling: 1.0, 0.8, 0.4, 0.2
  GridView* view = grid.view();
  view->setCurrentIndex(grid.model()->index(0, Col("P")));
  ASSERT_TRUE(grid.model()->setData(grid.model()->index(0, Col("P")), QStringLiteral("0,1")));
  ASSERT_TRUE(table.IsEditing());
  const QRect chosen = view->visualRect(grid.model()->index(2, Col("N")));  // P 0.4, N 1
  QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, chosen.center());
  EXPECT_FALSE(table.IsEditing());
  EXPECT_EQ(Column("P"), (std::vector<double>{0.8, 0.4, 0.2, 0.1}));
  EXPECT_EQ(table.GetInt("N"), 1);
  EXPECT_EQ(table.CurrentIndex(), 1);
  EXPECT_EQ(view->currentIndex().row(), 1);
}

// A command walks the table while a cell editor is open on another row:
// the walk reads every row in order, the editor's text is posted into its
// own row, and the view ends where the walk left the table.
TEST_F(PlateViewTest, WalkOfTheTableWithACellEditorOpen) {
  Open(FourPlates());
  GridView* view = grid.view();
  view->setFocus();
  view->setCurrentIndex(grid.model()->index(2, Col("COMMENT")));
  QTest::keyClick(view, Qt::Key_F2);
  auto* editor = view->findChild<QLineEdit*>();
  ASSERT_NE(editor, nullptr);
  editor->setText(QString::fromUtf8("скол"));

  std::vector<int64_t> walked;
  for (table.First(); !table.AtEnd(); table.Next()) walked.push_back(table.GetInt("N"));
  EXPECT_EQ(walked, (std::vector<int64_t>{1, 2, 3, 4}));
  EXPECT_FALSE(view->IsEditingCell());
  EXPECT_FALSE(table.IsEditing());
  EXPECT_EQ(view->currentIndex().row(), 3);
  EXPECT_EQ(table.CurrentIndex(), 3);
  table.Close();
  table.Open();
  EXPECT_EQ(ValueToText(table.FieldAt(2, "COMMENT")), QString::fromUtf8("скол"));
}

// Column layouts stored in the settings.
TEST_F(PlateViewTest, LayoutIsCreatedStoredAndAppliedBack) {
  ClearSettings();
  Open(FourPlates());
  SettingsStore settings;
  settings.Open();
  views::LoadColumnLayout(settings, QStringLiteral("Table_1"), grid);  // first use
  ASSERT_TRUE(settings.ValueExists(QStringLiteral("Table_1")));
  const auto first = ParseColumnLayoutText(settings.ReadString(QStringLiteral("Table_1")));
  ASSERT_EQ(first.size(), 8u);
  for (int i = 0; i < 8; ++i) {
    EXPECT_EQ(first[i].fieldName, grid.Column(i).fieldName());
    EXPECT_NE(first[i].alignment, CellAlign::Default);
    EXPECT_EQ(first[i].width, grid.ColumnWidth(i));
  }

  // Colour, sort mark and alignment survive a save and a load into a fresh view.
  grid.SetColumnColor(Col("R"), 0x0080FF);
  grid.ClickTitle(Col("P"), false);
  views::SaveColumnLayout(settings, grid, QStringLiteral("Table_1"));
  const QString stored = settings.ReadString(QStringLiteral("Table_1"));
  EXPECT_NE(stored.indexOf(QStringLiteral("Color = 33023\r\n")), -1);
  EXPECT_NE(stored.indexOf(QStringLiteral("TitleState = tsSortedUp\r\n")), -1);

  DataGrid other;
  views::SetupView(&other, views::ViewSpecOf(ShownKind::Plate), &table);
  other.resize(1000, 400);
  other.show();
  QCoreApplication::processEvents();
  QSignalSpy events(&other, &DataGrid::TitleStateChanged);
  views::LoadColumnLayout(settings, QStringLiteral("Table_1"), other);
  EXPECT_EQ(views::GridLayoutText(other), stored);
  EXPECT_EQ(other.Column(Col("R")).state.color, 0x0080FFu);
  EXPECT_EQ(other.Column(Col("P")).state.titleState, TitleState::SortedUp);
  EXPECT_EQ(events.count(), 0);  // restoring a mark raises nothing
}

TEST_F(PlateViewTest, StoredEntriesMatchFieldsIgnoringCaseAndResetAbsentProperties) {
  Open(FourPlates());
  grid.SetColumnColor(Col("P"), 0x0000FF);
  grid.ClickTitle(Col("P"), false);
  grid.SetColumnColor(Col("TIME"), 0x00FF00);
  const int timeWidth = grid.ColumnWidth(Col("TIME"));
  const int before = grid.ColumnWidth(Col("P"));
  views::ApplyLayoutText(
      grid, QStringLiteral("object TUniDataStorage\n  Data = <\n    item\n      FieldName = 'p'\n"
                           "      Color = clYellow\n      Width = 200\n    end\n    item\n"
                           "      FieldName = 'NOSUCH'\n      Color = clRed\n    end>\nend\n"));
  const GridColumn& p = grid.Column(Col("P"));
  EXPECT_EQ(p.fieldName(), QStringLiteral("P"));  // the column keeps its own field
  EXPECT_EQ(p.state.color, 0x00FFFFu);
  EXPECT_EQ(p.state.titleState, TitleState::SortedNone);  // no line: mark cleared
  EXPECT_EQ(p.state.alignment, CellAlign::Default);
  EXPECT_GT(grid.ColumnWidth(Col("P")), before);
  EXPECT_EQ(grid.Column(Col("TIME")).state.color, 0x00FF00u);  // not named: untouched
  EXPECT_LT(grid.ColumnWidth(Col("TIME")), timeWidth + 1);

  // A damaged text is refused and leaves the grid as it was.
  const QString layout = views::GridLayoutText(grid);
  EXPECT_THROW(
      views::ApplyLayoutText(grid, QStringLiteral("object X\n  Data = <\n    item\n"
                                                  "      FieldName = 'P'\n      Width = 1\n")),
      LayoutTextError);
  EXPECT_EQ(views::GridLayoutText(grid), layout);
}

}  // namespace
