// The chart beside the grid as the operator uses it: shown and hidden from
// "Вид", following the series, the sort and the marks, telling the spread,
// and saved as PNG and SVG through "Сохранить график…".
#include "views/chart/chart_panel.h"

#include <gtest/gtest.h>

#include <QChartView>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QTest>
#include <QXmlStreamReader>

#include "platform/dialogs.h"
#include "shell/main_window.h"
#include "support/recording_dialogs.h"
#include "support/store_fixture.h"
#include "support/test_env.h"
#include "support/window_driver.h"

inline void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }

namespace {

QString Ru(const char* utf8) { return QString::fromUtf8(utf8); }

StoreRow DatedPlate(int64_t n, double r, const char* date, const char* time) {
  StoreRow row = PlateRow(n, 7, 100.0 + n, r);
  for (auto& [name, value] : row) {
    if (name == QLatin1String("DATE")) value = QString::fromLatin1(date);
    if (name == QLatin1String("TIME")) value = QString::fromLatin1(time);
  }
  return row;
}

// Waits until `get()` gives `want`: the chart is drawn after the event
// loop's turn. (QtTest's QTRY_ macros report to QtTest, not to GoogleTest.)
template <class Get, class T>
::testing::AssertionResult Becomes(Get get, const T& want) {
  if (QTest::qWaitFor([&] { return get() == want; })) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "still " << ::testing::PrintToString(get());
}

std::vector<double> Ys(const chart::ChartData& d) {
  std::vector<double> out;
  for (const chart::ChartPoint& p : d.points) out.push_back(p.y);
  return out;
}
std::vector<bool> Marks(const chart::ChartData& d) {
  std::vector<bool> out;
  for (const chart::ChartPoint& p : d.points) out.push_back(p.marked);
  return out;
}

class ChartPanelTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ClearSettings();
    QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia));
    SetDialogs(&dialogs);
    MeasurementTable t;
    std::vector<StoreRow> rows;
    const double series3[6] = {0.2, 0.4, 0.4, 0.6, 0.8, 1.0};
    for (int i = 0; i < 6; ++i) rows.push_back(WaterRow(i + 1, 3, series3[i], "B6"));
    for (int i = 0; i < 6; ++i) rows.push_back(WaterRow(i + 1, 4, 0.8, "B8"));
    water = MakeStoreTable(t, dir, rows, QStringLiteral("water.db"));
    t.Close();
    plates = MakeStoreTable(
        t, dir,
        {DatedPlate(1, 26, "02.02.2024", "09:00:00"), DatedPlate(2, 28, "31.12.2023", "23:59:59"),
         DatedPlate(3, 24, "03.02.2024", "10:00:00"), DatedPlate(4, 25, "02.02.2024", "08:30:00"),
         DatedPlate(5, 27, "01.01.2024", "00:00:00")},
        QStringLiteral("plates.db"));
    t.Close();
    form = std::make_unique<MainWindow>();
    form->resize(1400, 700);
    form->show();
  }
  void TearDown() override {
    form.reset();
    SetDialogs(nullptr);
    QLocale::setDefault(QLocale::c());
  }
  void Open(const QString& path) {
    dialogs.openNames = {path};
    ASSERT_TRUE(Trigger(form.get(), "openTableAction"));
    QCoreApplication::processEvents();
  }
  chart::ChartPanel* Panel() { return ChildOf<chart::ChartPanel>(form.get(), "chartPanel"); }
  // Marks rows as the operator does: a click on the first, Ctrl+click on
  // the others.
  void Mark(DataGrid* grid, std::initializer_list<int> rows) {
    Qt::KeyboardModifiers keys = Qt::NoModifier;
    for (int row : rows) {
      const QRect cell = grid->view()->visualRect(grid->model()->index(row, 0));
      QTest::mouseClick(grid->view()->viewport(), Qt::LeftButton, keys, cell.center());
      keys = Qt::ControlModifier;
    }
  }

  QTemporaryDir dir;
  QString water, plates;
  RecordingDialogs dialogs;
  std::unique_ptr<MainWindow> form;
};

TEST_F(ChartPanelTest, ShownFromViewFollowsTheSeriesTheSortAndTheMarks) {
  chart::ChartPanel* panel = Panel();
  ASSERT_NE(panel, nullptr);
  // Without a table there is nothing to chart: the panel waits for one.
  ASSERT_TRUE(Trigger(form.get(), "showChartAction"));
  EXPECT_FALSE(panel->isVisible());
  Open(water);
  ASSERT_TRUE(ActionOf(form.get(), "showChartAction")->isChecked());
  ASSERT_TRUE(panel->isVisible());
  EXPECT_TRUE(Becomes([&] { return Ys(panel->Shown()); },
                      (std::vector<double>{0.2, 0.4, 0.4, 0.6, 0.8, 1.0})));
  EXPECT_EQ(panel->Shown().kind, chart::ChartKind::Water);
  EXPECT_DOUBLE_EQ(panel->Shown().gradePressure.value_or(-1), 0.6);
  // Hand-computed over the six samples: mean 0.5667, s = 0.2944, V = 52 %;
  // R is 24 in every row.
  EXPECT_EQ(panel->SpreadLine(), Ru("Разброс по показанным строкам (6):\n"
                                    "P: s = 0,29; V = 52 %\nR: s = 0; V = 0 %"));

  DataGrid* grid = WaterGrid(form.get());
  grid->ClickTitle(grid->ColumnOfField("P"), false);  // descending
  EXPECT_TRUE(Becomes([&] { return Ys(panel->Shown()); },
                      (std::vector<double>{1.0, 0.8, 0.6, 0.4, 0.4, 0.2})));

  Mark(grid, {0, 5});  // 1.0 and 0.2
  EXPECT_TRUE(Becomes([&] { return Marks(panel->Shown()); },
                      (std::vector<bool>{true, false, false, false, false, true})));
  // s = 0.8 / sqrt(2) = 0.5657; V = 0.5657 / 0.6 = 94.3 %.
  EXPECT_TRUE(Becomes([&] { return panel->SpreadLine(); },
                      Ru("Разброс по отмеченным строкам (2):\n"
                         "P: s = 0,57; V = 94,3 %\nR: s = 0; V = 0 %")));
  Mark(grid, {2});  // a single click leaves one row marked: the current one
  EXPECT_TRUE(Becomes([&] { return Marks(panel->Shown()); }, std::vector<bool>(6, false)));

  SeriesListOf(form.get())->setCurrentRow(1);
  EXPECT_TRUE(Becomes([&] { return Ys(panel->Shown()); }, std::vector<double>(6, 0.8)));
  EXPECT_EQ(panel->Shown().grade, QStringLiteral("B8"));
  EXPECT_EQ(panel->SpreadLine(), Ru("Разброс по показанным строкам (6):\n"
                                    "P: s = 0; V = 0 %\nR: s = 0; V = 0 %"));

  ASSERT_TRUE(Trigger(form.get(), "showChartAction"));
  EXPECT_FALSE(panel->isVisible());
  ASSERT_TRUE(Trigger(form.get(), "closeTableAction"));
  ASSERT_TRUE(Trigger(form.get(), "showChartAction"));
  EXPECT_FALSE(panel->isVisible());
  EXPECT_TRUE(dialogs.messages.empty()) << dialogs.Texts().join('\n').toStdString();
}

// Plate tests in order of date and time, saved as PNG and SVG; a name that
// is the open table is refused and the table stays as it was.
TEST_F(ChartPanelTest, PlateChartSavedAsPngAndSvg) {
  Open(plates);
  ASSERT_TRUE(Trigger(form.get(), "showChartAction"));
  chart::ChartPanel* panel = Panel();
  EXPECT_TRUE(
      Becomes([&] { return Ys(panel->Shown()); }, (std::vector<double>{28, 27, 25, 26, 24})));
  EXPECT_EQ(panel->Shown().kind, chart::ChartKind::Plate);
  EXPECT_DOUBLE_EQ(panel->Shown().mean.value_or(-1), 26);
  EXPECT_NEAR(panel->Shown().bandHigh.value_or(-1), 26 + 2 * std::sqrt(2.5), 1e-9);
  Mark(PlateGrid(form.get()), {1, 2});  // tests 2 and 3 in file order
  EXPECT_TRUE(Becomes([&] { return Marks(panel->Shown()); },
                      (std::vector<bool>{true, false, false, false, true})));

  const QString png = dir.filePath(QStringLiteral("график.png"));
  const QString svg = dir.filePath(QStringLiteral("график.svg"));
  dialogs.saveNames = {png, svg};
  ASSERT_TRUE(Trigger(form.get(), "saveChartAction"));
  ASSERT_TRUE(Trigger(form.get(), "saveChartAction"));
  EXPECT_TRUE(dialogs.messages.empty()) << dialogs.Texts().join('\n').toStdString();
  EXPECT_EQ(dialogs.filter, Ru("Рисунок PNG (*.png);;Рисунок SVG (*.svg)"));
  EXPECT_EQ(dialogs.dirs.last(), QStringLiteral("save:") + dir.path());

  QImage image;
  ASSERT_TRUE(image.load(png, "PNG"));
  EXPECT_EQ(image.size(), panel->view()->size());
  // Not blank: the marked points are drawn in red.
  bool red = false;
  for (int y = 0; y < image.height() && !red; ++y)
    for (int x = 0; x < image.width() && !red; ++x)
      red = image.pixelColor(x, y) == QColor(0xd0, 0x33, 0x2b);
  EXPECT_TRUE(red);

  QFile file(svg);
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  QXmlStreamReader xml(&file);
  // Each test is a circle: three plain ones, two larger marked ones.
  int plain = 0, marked = 0;
  QString title;
  while (!xml.atEnd()) {
    xml.readNext();
    if (!xml.isStartElement()) continue;
    if (xml.name() == QLatin1String("circle")) {
      const QString r = xml.attributes().value(QLatin1String("r")).toString();
      plain += r == QLatin1String("4.5");
      marked += r == QLatin1String("6.5");
    }
    if (xml.name() == QLatin1String("title")) title = xml.readElementText();
  }
  EXPECT_FALSE(xml.hasError()) << xml.errorString().toStdString();
  EXPECT_EQ(plain, 3);
  EXPECT_EQ(marked, 2);
  EXPECT_EQ(title, Ru("R по дате и времени испытаний"));

  QFile table(plates);
  ASSERT_TRUE(table.open(QIODevice::ReadOnly));
  const QByteArray before = table.readAll();
  table.close();
  dialogs.saveNames = {plates};
  ASSERT_TRUE(Trigger(form.get(), "saveChartAction"));
  ASSERT_EQ(dialogs.messages.size(), 1u);
  EXPECT_EQ(dialogs.messages[0].icon, QMessageBox::Critical);
  ASSERT_TRUE(table.open(QIODevice::ReadOnly));
  EXPECT_EQ(table.readAll(), before);
}

}  // namespace
