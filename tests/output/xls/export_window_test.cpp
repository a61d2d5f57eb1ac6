// "Экспорт в Excel" in the main window: the save dialog, the sorting of both
// views cleared, the success and failure messages.
#include <gtest/gtest.h>

#include <QDateEdit>
#include <QFile>
#include <QTabWidget>
#include <QTemporaryDir>
#include <algorithm>
#include <map>

#include "output/xls/xls_test_util.h"
#include "platform/dialogs.h"
#include "shell/main_window.h"
#include "support/fault_files.h"
#include "support/recording_dialogs.h"
#include "support/store_fixture.h"
#include "support/test_env.h"
#include "support/window_driver.h"
#include "views/grid/data_grid.h"

namespace {

StoreRow Sample(int64_t n, int64_t serial, double p) {
  StoreRow r = WaterRow(n, serial, p, QStringLiteral("B%1").arg(serial));
  for (auto& [name, value] : r)
    if (name == QLatin1String("TIME")) value = QStringLiteral("0:%1").arg(n);
  return r;
}

class ExportWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ClearSettings();
    SetDialogs(&dialogs_);
    std::vector<StoreRow> rows;
    // Pressures rise with N, so the first sort by P (descending) reverses the rows.
    for (int n = 1; n <= 6; ++n) rows.push_back(Sample(n, 4, 0.1 * n));
    MeasurementTable t;
    table_ = MakeStoreTable(t, dir_, rows);
    t.Close();
    form_ = std::make_unique<MainWindow>();
    dialogs_.openNames = {table_};
    ASSERT_TRUE(Trigger(form_.get(), "openTableAction"));
    ASSERT_TRUE(form_->Session().InUse());
    dialogs_.messages.clear();
  }
  void TearDown() override {
    form_.reset();
    SetDialogs(nullptr);
  }
  QString Path(const QString& name) const { return QDir(dir_.path()).filePath(name); }

  QTemporaryDir dir_;
  QString table_;
  RecordingDialogs dialogs_;
  std::unique_ptr<MainWindow> form_;
};

TEST_F(ExportWindowTest, ExportsInRecordOrderAndClearsTheSorting) {
  ASSERT_EQ(ViewTabs(form_.get())->currentIndex(), 1);
  DataGrid* grid = WaterGrid(form_.get());
  const int p = grid->ColumnOfField(QStringLiteral("P"));
  grid->ClickTitle(p, false);
  ASSERT_EQ(form_->Session().Table().SelectedSortTag(), QStringLiteral("tab2"));
  ASSERT_EQ(ValueToInt(form_->Session().Table().FieldAt(0, QStringLiteral("N"))), 6);

  // An existing file of that name is replaced without a question.
  const QString out = Path(QStringLiteral("serie.xls"));
  QFile f(out);
  ASSERT_TRUE(f.open(QIODevice::WriteOnly));
  f.write("old");
  f.close();
  dialogs_.saveNames = {out};
  ASSERT_TRUE(Trigger(form_.get(), "exportXlsAction"));

  EXPECT_EQ(dialogs_.saveAsked, 1);
  EXPECT_EQ(dialogs_.filter, QStringLiteral("Книга Excel (*.xls)"));
  EXPECT_EQ(dialogs_.suffix, QStringLiteral("xls"));
  ASSERT_EQ(dialogs_.messages.size(), 1u);
  EXPECT_EQ(dialogs_.messages[0].icon, QMessageBox::Information);
  EXPECT_EQ(dialogs_.messages[0].caption, QStringLiteral("Экспорт в Excel"));
  EXPECT_EQ(dialogs_.messages[0].text,
            QStringLiteral("Экспорт в файл serie.xls завершен успешно."));

  EXPECT_EQ(form_->Session().Table().SelectedSortTag(), QString());
  EXPECT_EQ(grid->Column(p).state.titleState, TitleState::SortedNone);
  const QJsonArray sheets = ReadWithXlrd(out);
  ASSERT_EQ(sheets.size(), 1);
  EXPECT_EQ(sheets[0]["name"].toString(), QStringLiteral("ДК-ТЛ7"));
  std::vector<int> n;
  for (const QJsonValue& c : sheets[0]["cells"].toArray()) {
    const QJsonArray a = c.toArray();
    if (a[1].toInt() == 1 && a[0].toInt() > 0) n.push_back(a[3].toInt());
  }
  EXPECT_EQ(n, (std::vector<int>{1, 2, 3, 4, 5, 6}));
}

TEST_F(ExportWindowTest, CancelAndNoTableDoNothing) {
  ASSERT_TRUE(Trigger(form_.get(), "exportXlsAction"));  // the dialog is cancelled
  EXPECT_EQ(dialogs_.saveAsked, 1);
  EXPECT_TRUE(dialogs_.messages.empty());
  EXPECT_EQ(QDir(dir_.path()).entryList({"*.xls"}), QStringList());

  ASSERT_TRUE(Trigger(form_.get(), "closeTableAction"));
  dialogs_.saveNames = {Path(QStringLiteral("x.xls"))};
  EXPECT_FALSE(ActionOf(form_.get(), "exportXlsAction")->isEnabled());
  EXPECT_EQ(dialogs_.saveAsked, 1);
  EXPECT_TRUE(dialogs_.messages.empty());
  EXPECT_FALSE(QFile::exists(Path(QStringLiteral("x.xls"))));
}

// The general error message only, saying what happened; the storage's
// result code is its detail.
TEST_F(ExportWindowTest, WriterFailureShowsTheGeneralErrorOnly) {
  const struct {
    QString name;
    int err;  // of the file's creation (0: none)
    const char* reason;
    const char* detail;
  } cases[] = {
      {Path(QStringLiteral("missing/serie.xls")), 0, "нет такой папки",
       "StgCreateDocFile error -2147287038"},
      {Path(QStringLiteral("serie.xls")), EACCES, "папка защищена от записи",
       "StgCreateDocFile error -2147287035"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.reason);
    dialogs_.messages.clear();
    dialogs_.saveNames = {c.name};
    FaultFiles files;
    if (c.err) files.FailAt(1, c.err);
    ASSERT_TRUE(Trigger(form_.get(), "exportXlsAction"));
    ASSERT_EQ(dialogs_.messages.size(), 1u);
    EXPECT_EQ(dialogs_.messages[0].icon, QMessageBox::Critical);
    // The application title, which carries the open file's name.
    EXPECT_EQ(dialogs_.messages[0].caption, ApplicationTitle());
    EXPECT_EQ(dialogs_.messages[0].caption, QStringLiteral("data - ФИР - ТЛ7"));
    EXPECT_EQ(dialogs_.messages[0].text,
              QString::fromUtf8("Не удалось записать файл %1: %2.")
                  .arg(QDir::toNativeSeparators(c.name), QString::fromUtf8(c.reason)));
    EXPECT_EQ(dialogs_.messages[0].detail, QString::fromUtf8(c.detail));
  }
}

// With a range of dates above the plate grid, the export writes the tests
// of those dates only.
TEST(PlateExport, WritesOnlyTheTestsOfTheDatesShown) {
  ClearSettings();
  RecordingDialogs dialogs;
  SetDialogs(&dialogs);
  QTemporaryDir dir;
  std::vector<StoreRow> rows;
  for (const char* date : {"01.03.2024", "02.03.2024", "03.03.2024", "04.03.2024"}) {
    rows.push_back(PlateRow(int64_t(rows.size() + 1), 7, 1.5, 2.5));
    rows.back()[1].second = QString::fromLatin1(date);
  }
  MeasurementTable t;
  dialogs.openNames = {MakeStoreTable(t, dir, rows)};
  t.Close();
  {
    MainWindow form;
    ASSERT_TRUE(Trigger(&form, "openTableAction"));
    ASSERT_EQ(ViewTabs(&form)->currentIndex(), 0);
    ChildOf<QDateEdit>(&form, "datesFrom")->setDate(QDate(2024, 3, 2));
    ChildOf<QDateEdit>(&form, "datesTo")->setDate(QDate(2024, 3, 3));
    const QString out = QDir(dir.path()).filePath(QStringLiteral("dated.xls"));
    dialogs.saveNames = {out};
    ASSERT_TRUE(Trigger(&form, "exportXlsAction"));
    const QJsonArray sheets = ReadWithXlrd(out);
    ASSERT_EQ(sheets.size(), 1);
    DataGrid* grid = PlateGrid(&form);
    const std::vector<int> order = grid->ColumnOrder();
    const int date = int(
        std::find_if(order.begin(), order.end(),
                     [&](int c) { return grid->Column(c).fieldName() == QLatin1String("DATE"); }) -
        order.begin());
    QStringList dates;
    for (const QJsonValue& c : sheets[0]["cells"].toArray())
      if (c.toArray()[0].toInt() > 0 && c.toArray()[1].toInt() == date)
        dates << c.toArray()[3].toString();
    EXPECT_EQ(dates, (QStringList{"02.03.2024", "03.03.2024"}));
  }
  SetDialogs(nullptr);
}

}  // namespace

namespace {

// The plate tab exports the plate view's own columns: one header row of the
// grid's captions, then each shown row's values in the grid's order.
TEST(PlateExport, WritesThePlateViewsColumnsAndEveryRow) {
  ClearSettings();
  RecordingDialogs dialogs;
  SetDialogs(&dialogs);
  QTemporaryDir dir;
  MeasurementTable t;
  StoreRow blankR = PlateRow(3, 7, 2.5, 0);
  blankR.erase(std::remove_if(blankR.begin(), blankR.end(),
                              [](const auto& f) { return f.first == QLatin1String("R"); }),
               blankR.end());
  dialogs.openNames = {MakeStoreTable(
      t, dir, {PlateRow(1, 7, 12.5, 1.25), PlateRow(2, 7, 0.75, 3.0), blankR})};
  t.Close();
  {
    MainWindow form;
    ASSERT_TRUE(Trigger(&form, "openTableAction"));
    ASSERT_EQ(ViewTabs(&form)->currentIndex(), 0);
    const QString out = QDir(dir.path()).filePath(QStringLiteral("plates.xls"));
    dialogs.saveNames = {out};
    ASSERT_TRUE(Trigger(&form, "exportXlsAction"));
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(dialogs.messages[0].icon, QMessageBox::Information);

    const QJsonArray sheets = ReadWithXlrd(out);
    ASSERT_EQ(sheets.size(), 1);
    EXPECT_EQ(sheets[0]["name"].toString(), QStringLiteral("ЗЕН-ТЛ7"));
    std::map<std::pair<int, int>, QJsonArray> cells;
    for (const QJsonValue& c : sheets[0]["cells"].toArray())
      cells[{c.toArray()[0].toInt(), c.toArray()[1].toInt()}] = c.toArray();
    DataGrid* grid = PlateGrid(&form);
    const std::vector<int> order = grid->ColumnOrder();
    ASSERT_EQ(order.size(), 8u);
    for (size_t c = 0; c < order.size(); ++c)
      EXPECT_EQ((cells[{0, int(c)}][3].toString()), grid->Column(order[c]).caption) << c;
    // xlrd's cell types: 1 text, 2 number.
    const struct {
      int row;
      const char* field;
      int type;
      QJsonValue value;
    } expected[] = {
        {1, "N", 2, 1.0},      {1, "P", 2, 12.5},  {1, "R", 2, 1.25},
        {1, "DATE", 1, "01.02.2024"}, {1, "TYPE", 1, "D=300"}, {2, "P", 2, 0.75},
        {3, "N", 2, 3.0},      {3, "R", 2, 0.0},  // a blank number goes out as 0
    };
    for (const auto& e : expected) {
      SCOPED_TRACE(std::to_string(e.row) + " " + e.field);
      int column = -1;
      for (size_t c = 0; c < order.size(); ++c)
        if (grid->Column(order[c]).fieldName() == QLatin1String(e.field)) column = int(c);
      ASSERT_GE(column, 0);
      const QJsonArray cell = cells[{e.row, column}];
      ASSERT_EQ(cell.size(), 4);
      EXPECT_EQ(cell[2].toInt(), e.type);
      EXPECT_EQ(cell[3], e.value);
    }
    EXPECT_EQ((cells.count({4, 0})), 0u);  // nothing below the last row

    // The worksheet is named after the instrument of the rows: plate rows of
    // another device type than the plate tester's are not "ЗЕН-ТЛ7".
    ASSERT_TRUE(Trigger(&form, "closeTableAction"));
    StoreRow other = PlateRow(1, 8, 1.5, 2.5);
    for (auto& [name, value] : other)
      if (name == QLatin1String("DEV_TYPE")) value = int64_t(14);
    MeasurementTable t2;
    dialogs.openNames = {MakeStoreTable(t2, dir, {other}, QStringLiteral("other.db"))};
    t2.Close();
    ASSERT_TRUE(Trigger(&form, "openTableAction"));
    const QString otherOut = QDir(dir.path()).filePath(QStringLiteral("other.xls"));
    dialogs.saveNames = {otherOut};
    ASSERT_TRUE(Trigger(&form, "exportXlsAction"));
    const QJsonArray otherSheets = ReadWithXlrd(otherOut);
    ASSERT_EQ(otherSheets.size(), 1);
    EXPECT_EQ(otherSheets[0]["name"].toString(), QStringLiteral("ДК-ТЛ7"));
  }
  SetDialogs(nullptr);
}

}  // namespace
