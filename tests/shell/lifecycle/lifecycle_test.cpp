// The table file's life in the main window, as the operator drives it: New
// with a download, Open, Save, Close with its question, the series list and
// the deletion of rows.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QListWidget>
#include <QSettings>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include "lifecycle_fixture.h"
#include "link/ui/download_dialog.h"
#include "shell/main_window.h"
#include "store/measurement_table.h"
#include "support/link_ports.h"
#include "support/link_sample_records.h"
#include "support/link_print.h"
#include "support/link_pty.h"
#include "support/planted_files.h"
#include "support/store_fixture.h"
#include "support/window_driver.h"
#include "views/grid/data_grid.h"

namespace {

QString Ru(const char* utf8) { return QString::fromUtf8(utf8); }

class Lifecycle : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir_.isValid());
    ClearSettings();
    SetDialogs(&dialogs_);
    form_ = std::make_unique<MainWindow>();
    // The download dialog is made at start-up beside the main window.
    form_->SetDownloadDialog(new DownloadDialog(form_.get()));
  }
  void TearDown() override {
    form_.reset();
    SetDialogs(nullptr);
  }

  QString Path(const QString& name) const { return QDir(dir_.path()).filePath(name); }
  const MeasurementTable& Table() const { return form_->Session().Table(); }
  QWidget* W() const { return form_.get(); }

  // New: the save dialog answers `path`, the download dialog receives the
  // memory of the simulated instrument `config` on the port COM1.
  void RunNew(const QString& path, const sim::InstrumentConfig& config) {
    SimulatedPort port(config);
    ASSERT_TRUE(port.Ok());
    PointPortsAt(port.Path(), QString());
    dialogs_.saveNames = {path};
    dialogs_.exec = RunDownloadDialog;
    ASSERT_TRUE(Trigger(W(), "newTableAction"));
    dialogs_.exec = nullptr;
  }
  void NewWater(const QString& path) {
    sim::InstrumentConfig config = sim::WaterInstrument(ThreeSeries());
    config.identity.type = 2;
    RunNew(path, config);
  }

  // A table of the given rows written beside the test, closed again.
  QString WriteTable(const QString& name, const std::vector<StoreRow>& rows) {
    MeasurementTable t;
    const QString path = MakeStoreTable(t, dir_, rows, name);
    t.Close();
    return path;
  }
  void RunOpen(const QString& path) {
    dialogs_.openNames = {path};
    ASSERT_TRUE(Trigger(W(), "openTableAction"));
  }

  // The visible rows' values of one field, as the views show them.
  std::vector<int64_t> VisibleInts(const QString& field) const {
    std::vector<int64_t> out;
    for (int i = 0; i < Table().VisibleRowCount(); ++i)
      out.push_back(ValueToInt(Table().FieldAt(i, field)));
    return out;
  }
  // Makes a row of a grid the current one, as a click on it does.
  static void ClickRow(DataGrid* grid, int row) {
    grid->view()->setCurrentIndex(grid->model()->index(row, 0));
  }
  static void MarkRows(DataGrid* grid, std::initializer_list<int> rows) {
    QItemSelectionModel* sel = grid->view()->selectionModel();
    for (int row : rows)
      sel->select(grid->model()->index(row, 0),
                  QItemSelectionModel::Select | QItemSelectionModel::Rows);
  }
  // The footers of P, R and N of a view.
  static QStringList Footers(DataGrid* grid) {
    QStringList out;
    for (const char* f : {"P", "R", "N"}) out << grid->FooterText(grid->ColumnOfField(f));
    return out;
  }
  // Waits for the views' next selection notification to bring the footers.
  static bool FootersBecome(DataGrid* grid, const QStringList& expected) {
    return WaitUntil([&] { return Footers(grid) == expected; }, 5000);
  }

  bool NoTableState() const {
    return !form_->Session().InUse() && !form_->Session().IsModified() && !Table().IsOpen() &&
           ViewTabs(W())->isHidden() && !ActionOf(W(), "saveTableAction")->isEnabled() &&
           !ActionOf(W(), "deleteRowsAction")->isEnabled() &&
           form_->windowTitle() == Ru("ФИР - ТЛ7");
  }

  QTemporaryDir dir_;
  ScriptedDialogs dialogs_;
  std::unique_ptr<MainWindow> form_;
};

TEST_F(Lifecycle, NewWaterDownloadWritesSeriesAndShowsThem) {
  const QString path = Path("water.db");
  NewWater(path);
  EXPECT_TRUE(dialogs_.messages.empty());
  ASSERT_TRUE(form_->Session().InUse());
  EXPECT_FALSE(form_->Session().IsModified());
  EXPECT_TRUE(ActionOf(W(), "saveTableAction")->isEnabled());
  EXPECT_EQ(form_->windowTitle(), Ru("ФИР - ТЛ7"));
  // The water-permeability tab alone, showing every row of its kind.
  EXPECT_FALSE(ViewTabs(W())->isHidden());
  EXPECT_EQ(ViewTabs(W())->currentIndex(), 1);
  EXPECT_FALSE(ViewTabs(W())->isTabVisible(0));
  // The highlighted first series is the one shown.
  EXPECT_EQ(Table().Filter(), "SERIAL=5");
  EXPECT_EQ(Table().VisibleRowCount(), 6);
  EXPECT_EQ(SeriesEntries(W()), (QStringList{"5", "6", "9"}));
  EXPECT_EQ(SeriesListOf(W())->currentRow(), 0);
  // Statistics of the first series (the third has a sample at 0.0), row
  // count of all rows shown.
  EXPECT_TRUE(FootersBecome(WaterGrid(W()), {"0,2/0,4/0,6", "16/16/16", "6"}))
      << Footers(WaterGrid(W())).join(" | ").toStdString();

  // The file as another reader sees it.
  const auto rows = FileRows(path);
  ASSERT_EQ(rows.size(), 18u);
  for (int i = 0; i < 18; ++i) {
    SCOPED_TRACE(i);
    const int serial = i < 6 ? 5 : i < 12 ? 6 : 9;
    const int s = i % 6 + 1;
    EXPECT_EQ(rows[i]["N"].toInt(), s);
    EXPECT_EQ(rows[i]["SERIAL"].toInt(), serial);
    EXPECT_EQ(rows[i]["NB_TYPE"].toInt(), 1);
    EXPECT_EQ(rows[i]["DEV_TYPE"].toInt(), 2);
    EXPECT_DOUBLE_EQ(rows[i]["H"].toDouble(), 100.0 + serial);
    EXPECT_DOUBLE_EQ(rows[i]["R"].toDouble(), 16.0);
    EXPECT_EQ(rows[i]["DATE"].toString(), "05.03.2010 09:00:00");
    EXPECT_EQ(rows[i]["TYPE"].toString(), "B6");
    EXPECT_EQ(rows[i]["T"].toString(), Ru("сжатие"));
    const bool noResult = serial == 9 && s == 3;
    // 8 h per sample number against 16-hour steps: 1, 1, 2, 2, 3, 3 steps.
    EXPECT_NEAR(rows[i]["P"].toDouble(), noResult ? 0.0 : 0.2 * ((s + 1) / 2), 1e-9);
    EXPECT_EQ(rows[i]["TIME"].toString(),
              noResult ? QString() : QStringLiteral("%1:00:00").arg(8 * s, 2, 10, QChar('0')));
  }
}

TEST_F(Lifecycle, NewPlateDownloadShowsThePlateView) {
  const QString path = Path("plate.db");
  sim::InstrumentConfig config = sim::PlateInstrument(TwoPlateTests(), 16);
  config.identity.serial = 4321;
  config.identity.recordCount = 9;
  RunNew(path, config);
  EXPECT_TRUE(dialogs_.messages.empty());
  ASSERT_TRUE(form_->Session().InUse());
  EXPECT_EQ(ViewTabs(W())->currentIndex(), 0);
  EXPECT_FALSE(ViewTabs(W())->isTabVisible(1));
  EXPECT_EQ(Table().Filter(), "NB_TYPE=0");
  EXPECT_EQ(Table().VisibleRowCount(), 2);
  // The image's own count replaces the identification frame's.
  EXPECT_EQ(form_->Session().DecodedRecordCount(), 2);
  const auto rows = FileRows(path);
  ASSERT_EQ(rows.size(), 2u);
  const struct {
    const char* type;
    double r, p;
  } expected[] = {{"40x40 мм", 12.34, 0.56}, {"диам. 50 мм", 2.0, 3.0}};
  for (int i = 0; i < 2; ++i) {
    EXPECT_EQ(rows[i]["N"].toInt(), i + 1);
    EXPECT_EQ(rows[i]["TYPE"].toString(), Ru(expected[i].type));
    EXPECT_NEAR(rows[i]["R"].toDouble(), expected[i].r, 1e-9);
    EXPECT_NEAR(rows[i]["P"].toDouble(), expected[i].p, 1e-9);
    EXPECT_EQ(rows[i]["SERIAL"].toInt(), 4321);
    EXPECT_EQ(rows[i]["DEV_TYPE"].toInt(), 16);
    EXPECT_EQ(rows[i]["NB_TYPE"].toInt(), 0);
    EXPECT_EQ(rows[i]["DATE"].toString(), "25.05.2010");
    EXPECT_EQ(rows[i]["TIME"].toString(), "10:20:30");
  }
}

TEST_F(Lifecycle, NewThatStopsEarlyLeavesNoTable) {
  const struct {
    const char* name;
    bool saveAnswered;
    int download;
  } cases[] = {
      {"save dialog cancelled", false, QDialog::Accepted},
      {"download failed", true, QDialog::Rejected},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    NewWater(Path("first.db"));
    ASSERT_TRUE(form_->Session().InUse());
    const QString second = Path(QString::fromUtf8(c.name) + ".db");
    if (c.saveAnswered) dialogs_.saveNames = {second};
    bool downloadShown = false;
    dialogs_.exec = [&](QDialog*) {
      downloadShown = true;
      return c.download;
    };
    ASSERT_TRUE(Trigger(W(), "newTableAction"));
    dialogs_.exec = nullptr;
    EXPECT_EQ(downloadShown, c.saveAnswered);
    EXPECT_TRUE(NoTableState());
    EXPECT_FALSE(QFile::exists(second));
    EXPECT_TRUE(dialogs_.messages.empty());
  }
}

TEST_F(Lifecycle, NewOverAnExistingFileTheSaveDialogAcceptedReplacesIt) {
  const QString path =
      WriteTable("over.db", {PlateRow(1, 7, 1, 1), PlateRow(2, 7, 1, 1), PlateRow(3, 7, 1, 1)});
  NewWater(path);
  EXPECT_TRUE(dialogs_.messages.empty());
  const auto rows = FileRows(path);
  ASSERT_EQ(rows.size(), 18u);
  EXPECT_EQ(rows[0]["NB_TYPE"].toInt(), 1);
  EXPECT_EQ(form_->windowTitle(), Ru("ФИР - ТЛ7"));
}

TEST_F(Lifecycle, NewIntoAMissingFolderReportsTheEngineError) {
  NewWater(Path("missing/x.db"));
  ASSERT_EQ(dialogs_.messages.size(), 1u);
  EXPECT_EQ(dialogs_.messages[0].icon, QMessageBox::Critical);
  EXPECT_EQ(dialogs_.messages[0].caption, ApplicationTitle());
  EXPECT_TRUE(dialogs_.messages[0].text.endsWith('.'));
  EXPECT_GT(dialogs_.messages[0].text.size(), 1);
  EXPECT_TRUE(dialogs_.messages[0].text.contains(QStringLiteral("файл или папка не найдены")))
      << dialogs_.messages[0].text.toStdString();
  EXPECT_TRUE(NoTableState());
}

TEST_F(Lifecycle, DiskFullWhileDecodingKeepsTheRowsWrittenSoFar) {
  const QString path = Path("full.db");
  {
    // Room for the empty table and eight rows: the ninth row fails.
    StoreWriteLimit limit(961 + 8 * 480 + 1);
    NewWater(path);
  }
  ASSERT_EQ(dialogs_.messages.size(), 1u);
  EXPECT_EQ(dialogs_.messages[0].icon, QMessageBox::Critical);
  EXPECT_EQ(dialogs_.messages[0].caption, ApplicationTitle());
  EXPECT_TRUE(dialogs_.messages[0].text.contains(QStringLiteral("превышен допустимый размер файла")))
      << dialogs_.messages[0].text.toStdString();
  // Open, but hidden and without its commands until New or Open.
  EXPECT_TRUE(form_->Session().InUse());
  EXPECT_TRUE(ViewTabs(W())->isHidden());
  // A hidden page control shows no tab, so changing its page sets no filter.
  const QString filter = Table().Filter();
  ViewTabs(W())->setCurrentIndex(1);
  ViewTabs(W())->setCurrentIndex(0);
  EXPECT_EQ(Table().Filter(), filter);
  EXPECT_FALSE(ActionOf(W(), "saveTableAction")->isEnabled());
  EXPECT_EQ(SeriesEntries(W()), (QStringList{"5", "6"}));

  RunOpen(WriteTable("other.db", {WaterRow(1, 4, 0.2, "B2")}));
  EXPECT_EQ(dialogs_.messages.size(), 1u);
  EXPECT_TRUE(form_->Session().InUse());
  EXPECT_TRUE(ActionOf(W(), "saveTableAction")->isEnabled());
  const auto rows = FileRows(path);
  ASSERT_EQ(rows.size(), 8u);
  EXPECT_EQ(rows[7]["SERIAL"].toInt(), 6);
  EXPECT_EQ(rows[7]["N"].toInt(), 2);
}

std::vector<StoreRow> TwoWaterSeries(int64_t first, int64_t second) {
  std::vector<StoreRow> rows;
  for (int i = 0; i < 12; ++i) {
    StoreRow r = WaterRow(i % 6 + 1, i < 6 ? first : second, 0.2 * (i % 6), "B4");
    r.push_back({"DEV_TYPE", int64_t(2)});
    rows.push_back(r);
  }
  return rows;
}

TEST_F(Lifecycle, OpenBuildsTheSeriesListAndShowsTheFirstSeries) {
  std::vector<StoreRow> plates;
  for (int i = 0; i < 6; ++i) plates.push_back(PlateRow(i + 1, 77, 1.0, 2.0));
  std::vector<StoreRow> five = TwoWaterSeries(4, 4);
  five.resize(5);
  const struct {
    const char* file;
    std::vector<StoreRow> rows;
    int tab;
    QStringList list;
    const char* filter;
    int visible;
    int deviceType;
  } cases[] = {
      {"two.db", TwoWaterSeries(3, 8), 1, {"3", "8"}, "SERIAL=3", 6, 2},
      {"five.db", five, 1, {"4"}, "SERIAL=4", 5, 2},
      // The series list belongs to the water view: the plate view shows all.
      {"plates.db", plates, 0, {"77"}, "NB_TYPE=0", 6, 16},
      {"empty.db", {}, 0, {}, "NB_TYPE=0", 0, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file);
    dialogs_.dirs.clear();
    RunOpen(WriteTable(c.file, c.rows));
    EXPECT_TRUE(dialogs_.messages.empty());
    ASSERT_TRUE(form_->Session().InUse());
    EXPECT_FALSE(form_->Session().IsModified());
    EXPECT_EQ(ViewTabs(W())->currentIndex(), c.tab);
    EXPECT_FALSE(ViewTabs(W())->isTabVisible(1 - c.tab));
    EXPECT_EQ(SeriesEntries(W()), c.list);
    EXPECT_EQ(Table().Filter(), c.filter);
    EXPECT_EQ(Table().VisibleRowCount(), c.visible);
    EXPECT_EQ(form_->Session().DeviceType(), c.deviceType);
    EXPECT_EQ(form_->windowTitle(), QFileInfo(c.file).completeBaseName() + Ru(" - ФИР - ТЛ7"));
    EXPECT_EQ(ApplicationTitle(), form_->windowTitle());
    // The next open dialog starts in the table's folder.
    ASSERT_TRUE(Trigger(W(), "openTableAction"));  // cancelled
    EXPECT_EQ(dialogs_.dirs.last(), "open:" + QDir(dir_.path()).absolutePath());
  }
}

TEST_F(Lifecycle, FootersFollowTheShownSeries) {
  // The second table's figures, whatever series of the first was shown.
  RunOpen(WriteTable("first.db", {WaterRow(1, 1, 2.0, "B2"), WaterRow(2, 1, 1.8, "B2"),
                                  WaterRow(3, 1, 1.6, "B2"), WaterRow(4, 1, 1.4, "B2"),
                                  WaterRow(5, 1, 1.2, "B2"), WaterRow(6, 1, 1.0, "B2")}));
  std::vector<StoreRow> second = TwoWaterSeries(3, 8);
  std::get<double>(second[11][6].second) = 1.4;  // P of the last row
  ASSERT_EQ(second[11][6].first, "P");
  RunOpen(WriteTable("second.db", second));
  EXPECT_EQ(Table().VisibleRowCount(), 6);
  EXPECT_TRUE(FootersBecome(WaterGrid(W()), {"0/0,5/1", "24/24/24", "6"}))
      << Footers(WaterGrid(W())).join(" | ").toStdString();
  ClickSeries(W(), 1);
  EXPECT_TRUE(FootersBecome(WaterGrid(W()), {"0/0,6/1,4", "24/24/24", "6"}))
      << Footers(WaterGrid(W())).join(" | ").toStdString();
}

TEST_F(Lifecycle, ASeriesChosenWithTheKeyboardIsTheOneShown) {
  RunOpen(WriteTable("three.db", [] {
    std::vector<StoreRow> rows = TwoWaterSeries(3, 8);
    for (int i = 0; i < 6; ++i) rows.push_back(WaterRow(i + 1, 11, 0.2, "B4"));
    return rows;
  }()));
  ASSERT_EQ(SeriesEntries(W()), (QStringList{"3", "8", "11"}));
  QListWidget* list = SeriesListOf(W());
  const struct {
    Qt::Key key;
    const char* filter;
  } steps[] = {{Qt::Key_Down, "SERIAL=8"}, {Qt::Key_End, "SERIAL=11"}, {Qt::Key_Up, "SERIAL=8"},
               {Qt::Key_Home, "SERIAL=3"}};
  for (const auto& step : steps) {
    SCOPED_TRACE(step.filter);
    QTest::keyClick(list, step.key);
    EXPECT_EQ(Table().Filter(), step.filter);
    EXPECT_EQ(list->currentItem()->text(), QString::fromLatin1(step.filter).mid(7));
  }
  // What is printed and exported is the highlighted series.
  QTest::keyClick(list, Qt::Key_Down);
  EXPECT_EQ(VisibleInts("SERIAL"), std::vector<int64_t>(6, 8));
}

TEST_F(Lifecycle, SeriesSelectionAndCancelledOpenShowTheFirstSeriesAgain) {
  RunOpen(WriteTable("two.db", TwoWaterSeries(3, 8)));
  ClickSeries(W(), 1);
  EXPECT_EQ(Table().Filter(), "SERIAL=8");
  EXPECT_EQ(VisibleInts("SERIAL"), std::vector<int64_t>(6, 8));
  ASSERT_TRUE(Trigger(W(), "openTableAction"));  // cancelled
  EXPECT_TRUE(form_->Session().InUse());
  EXPECT_EQ(SeriesEntries(W()), (QStringList{"3", "8"}));
  EXPECT_EQ(Table().Filter(), "SERIAL=3");
  EXPECT_TRUE(dialogs_.messages.empty());
}

TEST_F(Lifecycle, OpeningSomethingThatIsNoTableReportsADamagedDatabase) {
  const QString text = Path("notes.db");
  QFile f(text);
  ASSERT_TRUE(f.open(QIODevice::WriteOnly));
  f.write("Just a text file, not a table.\n");
  f.close();
  // A FIFO as the table, and one where the index of a good table belongs:
  // refused at once, never waited on.
  const PlantedFile fifo(Path("fifo.db"), Planted::Fifo);
  const QString beside = WriteTable("beside.db", TwoWaterSeries(1, 2));
  const PlantedFile fifoIndex(Path("beside.mdx"), Planted::Fifo);
  ASSERT_TRUE(fifo.Ok() && fifoIndex.Ok());
  for (const QString& path : {text, Path("absent.db"), Path("fifo.db"), beside}) {
    SCOPED_TRACE(path.toStdString());
    RunOpen(WriteTable("good.db", TwoWaterSeries(1, 2)));
    ASSERT_TRUE(form_->Session().InUse());
    dialogs_.messages.clear();
    RunOpen(path);
    ASSERT_EQ(dialogs_.messages.size(), 1u);
    EXPECT_EQ(dialogs_.messages[0].icon, QMessageBox::Critical);
    EXPECT_EQ(dialogs_.messages[0].caption, Ru("Ошибка"));
    EXPECT_EQ(dialogs_.messages[0].text, Ru("База данных повреждена !"));
    EXPECT_TRUE(NoTableState());
    EXPECT_EQ(SeriesListOf(W())->count(), 0);
  }
  EXPECT_FALSE(fifo.Waited() || fifoIndex.Waited());
  EXPECT_TRUE(fifo.StillThere() && fifoIndex.StillThere());
}

TEST_F(Lifecycle, AHeaderPromisingMoreRowsIsToldBeforeTheFileIsCorrected) {
  const QString path = WriteTable("stale.db", TwoWaterSeries(3, 8));
  QByteArray bytes = ReadAll(path);
  bytes[4] = 15;  // the header's record count: 15 instead of 12
  {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
  }
  int countAtMessage = -1;
  dialogs_.onMessage = [&](const RecordingDialogs::Shown&) { countAtMessage = uint8_t(ReadAll(path)[4]); };
  RunOpen(path);
  ASSERT_EQ(dialogs_.messages.size(), 1u);
  EXPECT_EQ(dialogs_.messages[0].icon, QMessageBox::Warning);
  EXPECT_TRUE(dialogs_.messages[0].text.contains(Ru("указано строк: 15")))
      << dialogs_.messages[0].text.toStdString();
  EXPECT_TRUE(dialogs_.messages[0].text.contains(Ru("найдено: 12")));
  EXPECT_EQ(countAtMessage, 15);  // nothing written before the operator was told
  ASSERT_TRUE(form_->Session().InUse());
  EXPECT_EQ(Table().StoredRowCount(), 12);
  EXPECT_EQ(uint8_t(ReadAll(path)[4]), 12);  // corrected afterwards
  EXPECT_EQ(SeriesEntries(W()), (QStringList{"3", "8"}));
}

TEST_F(Lifecycle, SavePostsTheEditAndKeepsTheFilter) {
  const QString path = WriteTable("two.db", TwoWaterSeries(3, 8));
  RunOpen(path);
  ASSERT_NE(EditCell(WaterGrid(W()), 0, "TYPE", Ru("проба"), true), nullptr);
  ASSERT_TRUE(form_->Session().IsModified());
  ASSERT_TRUE(Trigger(W(), "saveTableAction"));
  EXPECT_FALSE(form_->Session().IsModified());
  EXPECT_TRUE(Table().IsOpen());
  EXPECT_EQ(Table().Filter(), "SERIAL=3");
  EXPECT_EQ(Table().VisibleRowCount(), 6);
  EXPECT_EQ(FileRows(path)[0]["TYPE"].toString(), Ru("проба"));
  EXPECT_TRUE(dialogs_.messages.empty());

  // A file removed behind the program's back cannot be reopened: the error
  // is reported and the window drops the table instead of pretending.
  ASSERT_TRUE(QFile::remove(path));
  ASSERT_TRUE(Trigger(W(), "saveTableAction"));
  ASSERT_EQ(dialogs_.messages.size(), 1u);
  EXPECT_EQ(dialogs_.messages[0].icon, QMessageBox::Critical);
  EXPECT_EQ(dialogs_.messages[0].caption, Ru("two - ФИР - ТЛ7"));
  EXPECT_TRUE(NoTableState());
}

TEST_F(Lifecycle, CloseAsksOnlyWhenModifiedAndHonoursTheAnswer) {
  const struct {
    const char* name;
    bool modified;
    QMessageBox::StandardButton answer;
    bool throughFrame;
    const char* stored;
  } cases[] = {
      {"yes", true, QMessageBox::Yes, false, "правка"},
      {"no", true, QMessageBox::No, false, "B4"},
      {"not modified", false, QMessageBox::Yes, false, "B4"},
      {"window frame, yes", true, QMessageBox::Yes, true, "правка"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const QString path = WriteTable(QString::fromUtf8(c.name) + ".db", TwoWaterSeries(3, 8));
    RunOpen(path);
    if (c.modified) {
      ASSERT_NE(EditCell(WaterGrid(W()), 0, "TYPE", Ru("правка"), true), nullptr);
    }
    ASSERT_EQ(form_->Session().IsModified(), c.modified);
    dialogs_.messages.clear();
    dialogs_.answer = c.answer;
    if (c.throughFrame)
      form_->close();
    else
      ASSERT_TRUE(Trigger(W(), "closeTableAction"));
    ASSERT_EQ(dialogs_.messages.size(), c.modified ? 1u : 0u);
    if (c.modified) {
      EXPECT_EQ(dialogs_.messages[0].icon, QMessageBox::Question);
      EXPECT_EQ(dialogs_.messages[0].caption, Ru("ФИР - ТЛ7"));
      EXPECT_EQ(dialogs_.messages[0].text, Ru("Сохранить изменения в таблицах ?"));
    }
    EXPECT_TRUE(NoTableState());
    EXPECT_EQ(FileRows(path)[0]["TYPE"].toString(), Ru(c.stored));
  }
}

TEST_F(Lifecycle, CloseWithACellEditorOpenKeepsTheTextOnlyOnYes) {
  const struct {
    QMessageBox::StandardButton answer;
    const char* stored;
  } cases[] = {{QMessageBox::Yes, "новое"}, {QMessageBox::No, "D=300"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.stored);
    std::vector<StoreRow> rows;
    for (int i = 0; i < 3; ++i) rows.push_back(PlateRow(i + 1, 12, 1.0, 2.0));
    const QString path = WriteTable("plates.db", rows);
    RunOpen(path);
    ASSERT_EQ(ViewTabs(W())->currentIndex(), 0);
    DataGrid* grid = PlateGrid(W());
    const QModelIndex cell = grid->model()->index(1, grid->ColumnOfField("TYPE"));
    grid->view()->setCurrentIndex(cell);
    static_cast<QAbstractItemView*>(grid->view())->edit(cell);
    auto* editor = qobject_cast<QLineEdit*>(grid->view()->indexWidget(cell));
    ASSERT_NE(editor, nullptr);
    editor->setText(Ru("новое"));
    EXPECT_TRUE(form_->Session().IsModified());  // the edit began
    dialogs_.messages.clear();
    dialogs_.answer = c.answer;
    ASSERT_TRUE(Trigger(W(), "closeTableAction"));
    ASSERT_EQ(dialogs_.messages.size(), 1u);
    EXPECT_TRUE(NoTableState());
    const auto stored = FileRows(path);
    ASSERT_EQ(stored.size(), 3u);
    EXPECT_EQ(stored[1]["TYPE"].toString(), Ru(c.stored));
  }
}

TEST_F(Lifecycle, CloseDeletesTheIndexFile) {
  const QString path = WriteTable("sorted.db", TwoWaterSeries(3, 8));
  RunOpen(path);
  WaterGrid(W())->ClickTitle(WaterGrid(W())->ColumnOfField("P"), false);
  const QString index = Path("sorted.mdx");
  ASSERT_TRUE(QFile::exists(index));
  ClearSettings();
  ASSERT_TRUE(Trigger(W(), "closeTableAction"));
  EXPECT_FALSE(QFile::exists(index));
  // The plate view's layout is stored on the way out.
  QSettings settings(QSettings::NativeFormat, QSettings::UserScope, "Merilan", "KLT3");
  EXPECT_FALSE(settings.value("1.0/Table_1").toString().isEmpty());
  EXPECT_TRUE(NoTableState());
  // Closing the window without a table asks nothing and stays without a table.
  form_->close();
  EXPECT_TRUE(NoTableState());
  EXPECT_TRUE(dialogs_.messages.empty());
}

TEST_F(Lifecycle, DeletingTheCurrentRowPacksAndKeepsTheSeriesFilter) {
  const QString path = WriteTable("two.db", TwoWaterSeries(3, 8));
  RunOpen(path);
  ASSERT_NE(EditCell(WaterGrid(W()), 2, "TYPE", Ru("правка"), true), nullptr);
  ASSERT_TRUE(form_->Session().IsModified());
  // "Нет" keeps every row.
  ASSERT_TRUE(Trigger(W(), "deleteRowsAction"));
  ASSERT_EQ(dialogs_.messages.size(), 1u);
  EXPECT_EQ(dialogs_.messages[0].icon, QMessageBox::Question);
  // The clicked row is the one marked.
  EXPECT_EQ(dialogs_.messages[0].text, Ru("Удалить отмеченные строки (1)?"));
  EXPECT_EQ(Table().StoredRowCount(), 12);
  dialogs_.messages.clear();
  dialogs_.answer = QMessageBox::Yes;
  ASSERT_TRUE(Trigger(W(), "deleteRowsAction"));
  EXPECT_EQ(dialogs_.messages.size(), 1u);
  EXPECT_FALSE(form_->Session().IsModified());
  EXPECT_EQ(Table().Filter(), "SERIAL=3");
  EXPECT_EQ(VisibleInts("N"), (std::vector<int64_t>{1, 2, 4, 5, 6}));
  EXPECT_EQ(Table().StoredRowCount(), 11);
  const auto rows = FileRows(path);
  ASSERT_EQ(rows.size(), 11u);
  EXPECT_EQ(rows[2]["N"].toInt(), 4);
  EXPECT_EQ(QFileInfo(path).size(), 961 + 11 * 480 + 1);
  // Reopened, the series that lost a row is still listed.
  ASSERT_TRUE(Trigger(W(), "closeTableAction"));
  RunOpen(path);
  EXPECT_EQ(SeriesEntries(W()), (QStringList{"3", "8"}));
}

TEST_F(Lifecycle, DeletingMarkedRowsOfASeriesLeavesTheOthersInFileOrder) {
  const QString path = WriteTable("two.db", TwoWaterSeries(3, 8));
  RunOpen(path);
  DataGrid* grid = WaterGrid(W());
  // Sorted descending by P, then three rows marked: N 5, 3 and 1.
  grid->ClickTitle(grid->ColumnOfField("P"), false);
  ASSERT_EQ(VisibleInts("N"), (std::vector<int64_t>{6, 5, 4, 3, 2, 1}));
  // An edit in progress on a row that stays is posted, not lost.
  ASSERT_NE(EditCell(grid, 0, "TYPE", Ru("остаток"), true), nullptr);
  ASSERT_TRUE(form_->Session().IsModified());
  grid->view()->clearSelection();
  MarkRows(grid, {1, 3, 5});
  ASSERT_EQ(grid->MarkedRows().size(), 3u);
  dialogs_.answer = QMessageBox::Yes;
  ASSERT_TRUE(Trigger(W(), "deleteRowsAction"));
  ASSERT_EQ(dialogs_.messages.size(), 1u);
  EXPECT_EQ(dialogs_.messages[0].text, Ru("Удалить отмеченные строки (3)?"));
  EXPECT_FALSE(form_->Session().IsModified());
  EXPECT_EQ(Table().Filter(), "SERIAL=3");
  EXPECT_EQ(Table().SelectedSortTag(), "");
  EXPECT_FALSE(QFile::exists(Path("two.mdx")));
  EXPECT_EQ(VisibleInts("N"), (std::vector<int64_t>{2, 4, 6}));
  EXPECT_TRUE(grid->MarkedRows().empty());
  EXPECT_TRUE(FootersBecome(grid, {"0,2/0,6/1", "24/24/24", "3"}))
      << Footers(grid).join(" | ").toStdString();
  const auto rows = FileRows(path);
  ASSERT_EQ(rows.size(), 9u);
  EXPECT_EQ(rows[2]["N"].toInt(), 6);
  EXPECT_EQ(rows[2]["TYPE"].toString(), Ru("остаток"));
  EXPECT_EQ(rows[3]["SERIAL"].toInt(), 8);

  // Every visible row marked: the series is gone, the other one stays.
  ClickSeries(W(), 0);
  ASSERT_EQ(Table().Filter(), "SERIAL=3");
  grid->view()->selectAll();
  ASSERT_EQ(grid->MarkedRows().size(), 3u);
  // The Delete key on the grid asks the same question.
  dialogs_.messages.clear();
  QTest::keyClick(grid->view(), Qt::Key_Delete);
  ASSERT_EQ(dialogs_.messages.size(), 1u);
  EXPECT_EQ(dialogs_.messages[0].text, Ru("Удалить отмеченные строки (3)?"));
  EXPECT_EQ(Table().VisibleRowCount(), 0);
  EXPECT_TRUE(FootersBecome(grid, {"0/0/0", "0/0/0", "0"}))
      << Footers(grid).join(" | ").toStdString();
  EXPECT_EQ(FileRows(path).size(), 6u);
}

TEST_F(Lifecycle, DeletingMarkedRowsOnThePlateTab) {
  const QString path = WriteTable("plates.db", {PlateRow(1, 7, 0.4, 2), PlateRow(2, 7, 1.0, 4),
                                                PlateRow(3, 7, 0.2, 6), PlateRow(4, 7, 0.8, 8)});
  RunOpen(path);
  ASSERT_EQ(ViewTabs(W())->currentIndex(), 0);
  DataGrid* grid = PlateGrid(W());
  grid->view()->clearSelection();
  MarkRows(grid, {1, 2});
  ASSERT_EQ(grid->MarkedRows().size(), 2u);
  dialogs_.answer = QMessageBox::Yes;
  ASSERT_TRUE(Trigger(W(), "deleteRowsAction"));
  ASSERT_EQ(dialogs_.messages.size(), 1u);
  EXPECT_EQ(dialogs_.messages[0].text, Ru("Удалить отмеченные строки (2)?"));
  EXPECT_EQ(Table().Filter(), "NB_TYPE=0");
  EXPECT_EQ(VisibleInts("N"), (std::vector<int64_t>{1, 4}));
  EXPECT_TRUE(grid->MarkedRows().empty());
  EXPECT_TRUE(FootersBecome(grid, {"0,4/0,6/0,8", "2/5/8", "2"}))
      << Footers(grid).join(" | ").toStdString();
  const auto rows = FileRows(path);
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0]["N"].toInt(), 1);
  EXPECT_EQ(rows[1]["N"].toInt(), 4);
  EXPECT_EQ(QFileInfo(path).size(), 961 + 2 * 480 + 1);
}

TEST_F(Lifecycle, EveryRowOfTheLargestPlateDownloadMarkedAndDeletedInAShownWindow) {
  form_->show();
  const QString path = Path("largest.db");
  constexpr int kRows = (65536 - 4) / sim::kPlateRecordMinSize;
  RunNew(path, sim::PlateInstrument(sim::GeneratePlateRecords(kRows)));
  ASSERT_TRUE(form_->Session().InUse());
  ASSERT_EQ(Table().VisibleRowCount(), kRows);
  DataGrid* grid = PlateGrid(W());
  QCoreApplication::processEvents();
  grid->view()->selectAll();
  ASSERT_EQ(grid->MarkedRows().size(), size_t(kRows));
  dialogs_.answer = QMessageBox::Yes;
  ASSERT_TRUE(Trigger(W(), "deleteRowsAction"));
  ASSERT_EQ(dialogs_.messages.size(), 1u);
  EXPECT_EQ(dialogs_.messages[0].text, Ru("Удалить отмеченные строки (%1)?").arg(kRows));
  EXPECT_EQ(Table().StoredRowCount(), 0);
  EXPECT_TRUE(FootersBecome(grid, {"0/0/0", "0/0/0", "0"}))
      << Footers(grid).join(" | ").toStdString();
}

TEST_F(Lifecycle, AFailedDeletionClearsTheMarksAndLosesNothing) {
  const QString path = WriteTable("two.db", TwoWaterSeries(3, 8));
  RunOpen(path);
  DataGrid* grid = WaterGrid(W());
  MarkRows(grid, {1, 4});
  ASSERT_EQ(grid->MarkedRows().size(), 2u);
  {
    // The fifth record lies beyond what may be written: the first deletion
    // (from the last mark) fails.
    StoreWriteLimit limit(961 + 4 * 480);
    dialogs_.answer = QMessageBox::Yes;
    ASSERT_TRUE(Trigger(W(), "deleteRowsAction"));
  }
  ASSERT_EQ(dialogs_.messages.size(), 2u);
  EXPECT_EQ(dialogs_.messages[1].icon, QMessageBox::Critical);
  EXPECT_TRUE(grid->MarkedRows().empty());
  EXPECT_TRUE(form_->Session().InUse());
  EXPECT_EQ(Table().VisibleRowCount(), 6);
  EXPECT_EQ(FileRows(path).size(), 12u);
}

TEST_F(Lifecycle, AFailedPackIsReportedAndLosesNothingElse) {
  const QString path = WriteTable("two.db", TwoWaterSeries(3, 8));
  RunOpen(path);
  ClickRow(WaterGrid(W()), 0);
  // The packed copy cannot be written: its place beside the table is taken
  // by a folder.
  ASSERT_TRUE(QDir().mkdir(path + ".~pack"));
  dialogs_.answer = QMessageBox::Yes;
  ASSERT_TRUE(Trigger(W(), "deleteRowsAction"));
  ASSERT_EQ(dialogs_.messages.size(), 2u);
  EXPECT_EQ(dialogs_.messages[1].icon, QMessageBox::Critical);
  EXPECT_EQ(dialogs_.messages[1].caption, ApplicationTitle());
  // The row is marked deleted and hidden; the other eleven are intact.
  const auto rows = FileRows(path);
  ASSERT_EQ(rows.size(), 11u);
  EXPECT_EQ(rows[0]["N"].toInt(), 2);
  EXPECT_EQ(rows[10]["SERIAL"].toInt(), 8);
}

TEST_F(Lifecycle, NewDownloadsFromTheInstrumentOnAPseudoTerminal) {
  const struct {
    const char* file;
    sim::InstrumentConfig config;
    int tab;
    int shown;
    int rows;
    QStringList footers;
  } cases[] = {
      {"water.db", sim::WaterInstrument(ThreeSeries()), 1, 6, 18, {"0,2/0,4/0,6", "16/16/16", "6"}},
      {"plate.db",
       sim::PlateInstrument(TwoPlateTests(), 16),
       0,
       2,
       2,
       {"0,56/1,8/3", "2/7,2/12,34", "2"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file);
    const QString path = Path(c.file);
    RunNew(path, c.config);
    EXPECT_TRUE(dialogs_.messages.empty());
    ASSERT_TRUE(form_->Session().InUse());
    EXPECT_EQ(ViewTabs(W())->currentIndex(), c.tab);
    EXPECT_EQ(Table().VisibleRowCount(), c.shown);
    EXPECT_EQ(FileRows(path).size(), size_t(c.rows));
    DataGrid* grid = c.tab == 1 ? WaterGrid(W()) : PlateGrid(W());
    EXPECT_TRUE(FootersBecome(grid, c.footers)) << Footers(grid).join(" | ").toStdString();
    ASSERT_TRUE(Trigger(W(), "closeTableAction"));
    EXPECT_TRUE(NoTableState());
  }
}

}  // namespace
