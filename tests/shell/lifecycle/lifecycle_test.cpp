// The table file's life in the main window, as the operator drives it: New
// with a download, Open, Save, Close with its question, the series list and
// the deletion of rows.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QApplication>
#include <QCoreApplication>
#include <QMenu>
#include <QMenuBar>
#include <QPrintDialog>
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
#include "link/ui/port_dialog.h"
#include "output/reports/report_windows.h"
#include "shell/main_window.h"
#include "store/measurement_table.h"
#include "support/fault_files.h"
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
  // memory of the simulated instrument `config` on the port COM1;
  // `afterDownload` runs as the download dialog closes.
  void RunNew(const QString& path, const sim::InstrumentConfig& config,
              const std::function<void()>& afterDownload = nullptr) {
    dialogs_.saveNames = {path};
    RunDownload("newTableAction", config, afterDownload);
  }
  // "Дополнить из прибора…" from the simulated instrument `config`.
  void RunAppend(const sim::InstrumentConfig& config) { RunDownload("appendAction", config); }
  void RunDownload(const char* action, const sim::InstrumentConfig& config,
                   const std::function<void()>& afterDownload = nullptr) {
    SimulatedPort port(config);
    ASSERT_TRUE(port.Ok());
    PointPortsAt(port.Path(), QString());
    dialogs_.exec = [&](QDialog* dialog) {
      const int result = RunDownloadDialog(dialog);
      if (afterDownload) afterDownload();
      return result;
    };
    ASSERT_TRUE(Trigger(W(), action));
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

std::vector<StoreRow> TwoWaterSeries(int64_t first, int64_t second) {
  std::vector<StoreRow> rows;
  for (int i = 0; i < 12; ++i) {
    StoreRow r = WaterRow(i % 6 + 1, i < 6 ? first : second, 0.2 * (i % 6), "B4");
    r.push_back({"DEV_TYPE", int64_t(2)});
    rows.push_back(r);
  }
  return rows;
}

TEST_F(Lifecycle, NewWaterDownloadWritesSeriesAndShowsThem) {
  const QString path = Path("water.db");
  NewWater(path);
  EXPECT_TRUE(dialogs_.messages.empty());
  ASSERT_TRUE(form_->Session().InUse());
  EXPECT_FALSE(form_->Session().IsModified());
  EXPECT_TRUE(ActionOf(W(), "saveTableAction")->isEnabled());
  // The new file's name, as after "Открыть".
  EXPECT_EQ(form_->windowTitle(), Ru("water - ФИР - ТЛ7"));
  EXPECT_EQ(ApplicationTitle(), form_->windowTitle());
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

// The table open before "Создать" stays, shown as it was, until a new one
// is there; the folder holds nothing new.
TEST_F(Lifecycle, NewThatStopsEarlyKeepsTheOpenTable) {
  const struct {
    const char* name;
    const char* file;  // nullptr: the save dialog cancelled
    int download;      // -1: the download must not start
    const char* message;
  } cases[] = {
      {"save dialog cancelled", nullptr, -1, nullptr},
      {"download failed", "second.db", QDialog::Rejected, nullptr},
      {"missing folder", "missing/second.db", -1, "Папка файла FILE не существует."},
      {"folder that takes no files", "second.db", -1,
       "Папка DIR защищена от записи: новую таблицу в ней создать нельзя. Выберите другую папку."},
      {"disk full while decoding", "second.db", QDialog::Accepted,
       "Ошибка записи в файл FILE: превышен допустимый размер файла."},
  };
  NewWater(Path("first.db"));
  ASSERT_TRUE(form_->Session().InUse());
  ClickSeries(W(), 1);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    dialogs_.messages.clear();
    const QString second = c.file ? Path(c.file) : QString();
    if (c.file) dialogs_.saveNames = {second};
    // The folder cannot take the probe of a new file; a disk fills after
    // eight rows of the new table.
    std::unique_ptr<FaultFiles> faults;
    if (std::string(c.name) == "folder that takes no files") {
      faults = std::make_unique<FaultFiles>();
      faults->FailAt(1, EACCES);
    }
    std::unique_ptr<StoreWriteLimit> full;
    bool downloadShown = false;
    dialogs_.exec = [&](QDialog* dialog) {
      downloadShown = true;
      if (c.download != QDialog::Accepted) return c.download;
      const int result = RunDownloadDialog(dialog);
      full = std::make_unique<StoreWriteLimit>(961 + 8 * 480 + 1);
      return result;
    };
    SimulatedPort port(sim::WaterInstrument(ThreeSeries()));
    ASSERT_TRUE(port.Ok());
    PointPortsAt(port.Path(), QString());
    ASSERT_TRUE(Trigger(W(), "newTableAction"));
    full.reset();
    faults.reset();
    dialogs_.exec = nullptr;
    EXPECT_EQ(downloadShown, c.download >= 0);
    if (c.message) {
      ASSERT_EQ(dialogs_.messages.size(), 1u) << dialogs_.Texts().join(" | ").toStdString();
      EXPECT_EQ(dialogs_.messages[0].icon, QMessageBox::Critical);
      EXPECT_EQ(dialogs_.messages[0].text,
                Ru(c.message)
                    .replace("FILE", QDir::toNativeSeparators(second))
                    .replace("DIR", QDir::toNativeSeparators(QFileInfo(second).absolutePath())));
    } else {
      EXPECT_TRUE(dialogs_.messages.empty()) << dialogs_.Texts().join(" | ").toStdString();
    }
    EXPECT_TRUE(form_->Session().InUse());
    EXPECT_FALSE(ViewTabs(W())->isHidden());
    EXPECT_TRUE(ActionOf(W(), "saveTableAction")->isEnabled());
    EXPECT_EQ(form_->windowTitle(), Ru("first - ФИР - ТЛ7"));
    EXPECT_EQ(Table().FilePath(), Path("first.db"));
    EXPECT_EQ(Table().Filter(), "SERIAL=6");
    EXPECT_EQ(SeriesEntries(W()), (QStringList{"5", "6", "9"}));
    EXPECT_EQ(QDir(dir_.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"first.db"});
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
  EXPECT_EQ(form_->windowTitle(), Ru("over - ФИР - ТЛ7"));
}

// "Создать" onto the file of the open, changed table: the question comes
// when that table is about to close, after the download, and the new table
// takes its place.
TEST_F(Lifecycle, NewOverTheOpenTableAsksWhenTheOldOneCloses) {
  const QString path = WriteTable("same.db", TwoWaterSeries(3, 8));
  RunOpen(path);
  ASSERT_NE(EditCell(WaterGrid(W()), 0, "TYPE", Ru("проба"), false), nullptr);
  ASSERT_TRUE(form_->Session().IsModified());
  bool downloaded = false;
  bool askedAfterDownload = false;
  dialogs_.onMessage = [&](const RecordingDialogs::Shown& m) {
    if (m.text == Ru("Сохранить изменения в таблицах ?")) askedAfterDownload = downloaded;
  };
  dialogs_.answer = QMessageBox::No;
  RunNew(path, sim::WaterInstrument(ThreeSeries()), [&] { downloaded = true; });
  ASSERT_EQ(dialogs_.Texts(), QStringList{Ru("Сохранить изменения в таблицах ?")});
  EXPECT_TRUE(askedAfterDownload);
  EXPECT_TRUE(form_->Session().InUse());
  EXPECT_FALSE(form_->Session().IsModified());
  EXPECT_EQ(SeriesEntries(W()), (QStringList{"5", "6", "9"}));
  EXPECT_EQ(form_->windowTitle(), Ru("same - ФИР - ТЛ7"));
  EXPECT_EQ(FileRows(path).size(), 18u);
  EXPECT_EQ(QDir(dir_.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"same.db"});
}

// "Создать" over an open table of either kind: the window shows the new
// table alone, in the view of its kind, with nothing left of the old one
// (its tab, its series list, its series filter, its name).
TEST_F(Lifecycle, NewOverAnOpenTableShowsOnlyTheNewOne) {
  const std::vector<StoreRow> plates = {PlateRow(1, 7, 1, 1), PlateRow(2, 7, 1, 1)};
  const struct {
    const char* name;
    const std::vector<StoreRow>* oldRows;  // nullptr: two water series
    bool waterDownload;
    int tab;
    const char* filter;
    QStringList series;
  } cases[] = {
      {"plate table, water download", &plates, true, 1, "SERIAL=5", {"5", "6", "9"}},
      {"water table, plate download", nullptr, false, 0, "NB_TYPE=0", {}},
      {"water table, water download", nullptr, true, 1, "SERIAL=5", {"5", "6", "9"}},
  };
  const std::vector<StoreRow> water = TwoWaterSeries(3, 8);
  int n = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const QString suffix = QString::number(++n);
    RunOpen(WriteTable("old" + suffix + ".db", c.oldRows ? *c.oldRows : water));
    ASSERT_TRUE(form_->Session().InUse());
    if (!c.oldRows) ClickSeries(W(), 1);  // the old table's second series shown
    const QString path = Path("new" + suffix + ".db");
    if (c.waterDownload)
      NewWater(path);
    else
      RunNew(path, sim::PlateInstrument(TwoPlateTests(), 16));
    EXPECT_TRUE(dialogs_.messages.empty()) << dialogs_.Texts().join(" | ").toStdString();
    EXPECT_EQ(Table().FilePath(), path);
    EXPECT_EQ(form_->windowTitle(), "new" + suffix + Ru(" - ФИР - ТЛ7"));
    EXPECT_EQ(ViewTabs(W())->currentIndex(), c.tab);
    EXPECT_FALSE(ViewTabs(W())->isTabVisible(1 - c.tab));
    EXPECT_EQ(Table().Filter(), c.filter);
    EXPECT_EQ(SeriesEntries(W()), c.series);
    EXPECT_TRUE(ActionOf(W(), "saveTableAction")->isEnabled());
    ASSERT_TRUE(Trigger(W(), "closeTableAction"));
  }
}

// A table another program opens while the instrument is read is not
// replaced under it: the message names it, and the window keeps its table.
TEST_F(Lifecycle, NewOntoATableAnotherProgramHoldsIsRefused) {
  const QString held = WriteTable("held.db", {PlateRow(1, 7, 1, 1)});
  const QByteArray before = ReadAll(held);
  RunOpen(WriteTable("mine.db", TwoWaterSeries(3, 8)));
  MeasurementTable other;
  RunNew(held, sim::WaterInstrument(ThreeSeries()), [&] {
    other.SetLocation(held);
    other.Open();
  });
  ASSERT_EQ(dialogs_.messages.size(), 1u);
  EXPECT_EQ(dialogs_.messages[0].text,
            Ru("Таблица %1 открыта другой программой. Закройте ее и повторите.")
                .arg(QDir::toNativeSeparators(held)));
  EXPECT_EQ(Table().FilePath(), Path("mine.db"));
  EXPECT_EQ(form_->windowTitle(), Ru("mine - ФИР - ТЛ7"));
  EXPECT_FALSE(ViewTabs(W())->isHidden());
  other.Close();
  EXPECT_EQ(ReadAll(held), before);
  EXPECT_EQ(QDir(dir_.path()).entryList(QDir::Files | QDir::Hidden),
            (QStringList{"held.db", "mine.db"}));
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
    const char* notice;
  } cases[] = {
      {"two.db", TwoWaterSeries(3, 8), 1, {"3", "8"}, "SERIAL=3", 6, 2, nullptr},
      // A series of five samples may have been cut short: the operator is told.
      {"five.db", five, 1, {"4"}, "SERIAL=4", 5, 2, "(серия 4) образцов: 5 из 6."},
      // The series list belongs to the water view: the plate view shows all.
      {"plates.db", plates, 0, {"77"}, "NB_TYPE=0", 6, 16, nullptr},
      {"empty.db", {}, 0, {}, "NB_TYPE=0", 0, 0, nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file);
    dialogs_.dirs.clear();
    dialogs_.messages.clear();
    RunOpen(WriteTable(c.file, c.rows));
    if (c.notice) {
      ASSERT_EQ(dialogs_.messages.size(), 1u);
      EXPECT_EQ(dialogs_.messages[0].icon, QMessageBox::Warning);
      EXPECT_TRUE(dialogs_.messages[0].text.contains(Ru(c.notice)))
          << dialogs_.messages[0].text.toStdString();
    } else {
      EXPECT_TRUE(dialogs_.messages.empty()) << dialogs_.Texts().join(" | ").toStdString();
    }
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
    EXPECT_EQ(views::SeriesNumberOf(*list->currentItem()), QString::fromLatin1(step.filter).mid(7));
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

// A table on a write-protected disk opens for viewing: the title says so,
// the commands that write are off, the cells take no editor, the Delete
// key deletes nothing, sorting by a title works in memory, and nothing is
// written where the table lies.
TEST_F(Lifecycle, ATableOnAWriteProtectedDiskOpensForViewing) {
  const QString path = WriteTable("archive.db", TwoWaterSeries(3, 8));
  const QByteArray before = ReadAll(path);
  WatchedFiles files;
  files.RefuseWriting(EROFS, QFile::encodeName(dir_.path()).toStdString());
  RunOpen(path);
  EXPECT_TRUE(dialogs_.messages.empty()) << dialogs_.Texts().join('\n').toStdString();
  ASSERT_TRUE(form_->Session().ReadOnly());
  EXPECT_EQ(form_->windowTitle(), Ru("archive (только чтение) - ФИР - ТЛ7"));
  EXPECT_EQ(SeriesEntries(W()), (QStringList{"3", "8"}));
  for (const char* name :
       {"saveTableAction", "appendAction", "deleteRowsAction", "deletePopupAction"})
    EXPECT_FALSE(ActionOf(W(), name)->isEnabled()) << name;
  for (const char* name : {"closeTableAction", "previewAction", "printAction", "exportXlsAction",
                           "removeSortingAction", "fitColumnsAction", "setColorAction"})
    EXPECT_TRUE(ActionOf(W(), name)->isEnabled()) << name;
  EXPECT_EQ(EditCell(WaterGrid(W()), 0, "TYPE", Ru("правка"), true), nullptr);
  EXPECT_FALSE(form_->Session().IsModified());
  QTest::keyClick(WaterGrid(W())->view(), Qt::Key_Delete);
  EXPECT_EQ(Table().VisibleRowCount(), 6);
  WaterGrid(W())->ClickTitle(WaterGrid(W())->ColumnOfField("N"), false);
  EXPECT_EQ(VisibleInts("N"), (std::vector<int64_t>{6, 5, 4, 3, 2, 1}));
  ASSERT_TRUE(Trigger(W(), "closeTableAction"));
  EXPECT_TRUE(NoTableState());
  EXPECT_TRUE(ActionOf(W(), "deletePopupAction")->isEnabled());
  EXPECT_TRUE(dialogs_.messages.empty()) << dialogs_.Texts().join('\n').toStdString();
  EXPECT_EQ(files.OpensForWriting(), 1);  // the refused open of the table
  EXPECT_EQ(ReadAll(path), before);
  EXPECT_EQ(QDir(dir_.path()).entryList(QDir::Files), QStringList{"archive.db"});
}

// The same for a file without write permission, which does not stop root.
TEST_F(Lifecycle, AReadOnlyFileOpensForViewing) {
  if (::geteuid() == 0) GTEST_SKIP() << "file modes do not stop root";
  const QString path = WriteTable("archive.db", TwoWaterSeries(3, 8));
  ASSERT_TRUE(QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::ReadUser));
  RunOpen(path);
  EXPECT_TRUE(dialogs_.messages.empty()) << dialogs_.Texts().join('\n').toStdString();
  EXPECT_TRUE(form_->Session().ReadOnly());
  EXPECT_EQ(form_->windowTitle(), Ru("archive (только чтение) - ФИР - ТЛ7"));
  EXPECT_FALSE(ActionOf(W(), "saveTableAction")->isEnabled());
  ASSERT_TRUE(Trigger(W(), "closeTableAction"));
  QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
}

// A table that another program holds: the operator is asked, by the
// table's name, whether to open it for viewing; "Нет" opens nothing.
TEST_F(Lifecycle, ATableHeldByAnotherProgramOpensForViewingWhenTheOperatorAgrees) {
  const QString path = WriteTable("busy.db", TwoWaterSeries(3, 8));
  MeasurementTable holder;
  holder.SetLocation(path);
  holder.Open();
  for (const auto answer : {QMessageBox::No, QMessageBox::Yes}) {
    SCOPED_TRACE(answer);
    dialogs_.messages.clear();
    dialogs_.answer = answer;
    RunOpen(path);
    ASSERT_EQ(dialogs_.messages.size(), 1u);
    const RecordingDialogs::Shown& asked = dialogs_.messages[0];
    EXPECT_EQ(asked.icon, QMessageBox::Question);
    EXPECT_TRUE(asked.text.contains(Ru("Таблица busy.db открыта другой программой")))
        << asked.text.toStdString();
    EXPECT_TRUE(asked.text.contains(Ru("Открыть ее только для просмотра?")));
    if (answer == QMessageBox::No) {
      EXPECT_TRUE(NoTableState());
      continue;
    }
    ASSERT_TRUE(form_->Session().ReadOnly());
    EXPECT_EQ(form_->windowTitle(), Ru("busy (только чтение) - ФИР - ТЛ7"));
    EXPECT_EQ(SeriesEntries(W()), (QStringList{"3", "8"}));
    EXPECT_EQ(VisibleInts("SERIAL"), std::vector<int64_t>(6, 3));
    EXPECT_FALSE(ActionOf(W(), "deleteRowsAction")->isEnabled());
  }
  // What the holder writes shows when the view reads the rows again.
  holder.SetFilter("SERIAL=8");
  holder.First();
  holder.EditRow();
  holder.SetField("TYPE", Ru("B14"));
  holder.PostRow();
  ClickSeries(W(), 1);
  EXPECT_EQ(ValueToText(Table().FieldAt(0, "TYPE")), Ru("B14"));
}

// A header whose row count disagrees with the rows: more (a writer that
// stopped before its rows) or fewer (one that stopped during an append).
TEST_F(Lifecycle, AHeaderDisagreeingWithTheRowsIsToldBeforeTheFileIsCorrected) {
  for (const int promised : {15, 10}) {
    SCOPED_TRACE(promised);
    dialogs_.messages.clear();
    const QString path = WriteTable(QStringLiteral("stale%1.db").arg(promised), TwoWaterSeries(3, 8));
    QByteArray bytes = ReadAll(path);
    bytes[4] = char(promised);  // the header's record count instead of 12
    {
      QFile f(path);
      ASSERT_TRUE(f.open(QIODevice::WriteOnly));
      f.write(bytes);
    }
    int countAtMessage = -1;
    dialogs_.onMessage = [&](const RecordingDialogs::Shown&) {
      countAtMessage = uint8_t(ReadAll(path)[4]);
    };
    RunOpen(path);
    ASSERT_EQ(dialogs_.messages.size(), 1u);
    EXPECT_EQ(dialogs_.messages[0].icon, QMessageBox::Warning);
    EXPECT_TRUE(dialogs_.messages[0].text.contains(Ru("указано строк: %1").arg(promised)))
        << dialogs_.messages[0].text.toStdString();
    EXPECT_TRUE(dialogs_.messages[0].text.contains(Ru("найдено: 12")));
    EXPECT_TRUE(dialogs_.messages[0].text.contains(Ru("заголовок исправлен")));
    EXPECT_EQ(countAtMessage, promised);  // nothing written before the operator was told
    ASSERT_TRUE(form_->Session().InUse());
    EXPECT_EQ(Table().StoredRowCount(), 12);
    EXPECT_EQ(uint8_t(ReadAll(path)[4]), 12);  // corrected afterwards
    EXPECT_EQ(SeriesEntries(W()), (QStringList{"3", "8"}));
    dialogs_.onMessage = nullptr;
  }
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

// "Отмена" to the question, wherever it comes, leaves the table open as it
// was: the same file, series, title and unsaved edit.
TEST_F(Lifecycle, CancelOnTheUnsavedChangesQuestionLeavesEverythingAsItWas) {
  const QString other = WriteTable("other.db", TwoWaterSeries(5, 6));
  const struct {
    const char* name;
    std::function<void()> run;
    int saveDialogs = 0;  // "Создать" asks for the new file's name first
  } steps[] = {
      {"close", [&] { ASSERT_TRUE(Trigger(W(), "closeTableAction")); }},
      // The question comes once the new table is complete; "Отмена" drops it.
      {"new", [&] { RunNew(Path("fresh.db"), sim::WaterInstrument(ThreeSeries())); }, 1},
      {"open",
       [&] {
         dialogs_.openNames = {other};
         ASSERT_TRUE(Trigger(W(), "openTableAction"));
       }},
      {"window frame", [&] { EXPECT_FALSE(form_->close()); }},
  };
  for (const auto& step : steps) {
    SCOPED_TRACE(step.name);
    const QString path = WriteTable(QString::fromUtf8(step.name) + ".db", TwoWaterSeries(3, 8));
    RunOpen(path);
    ClickSeries(W(), 1);
    ASSERT_NE(EditCell(WaterGrid(W()), 0, "TYPE", Ru("правка"), true), nullptr);
    dialogs_.messages.clear();
    dialogs_.saveAsked = 0;
    dialogs_.answer = QMessageBox::Cancel;
    step.run();
    ASSERT_EQ(dialogs_.messages.size(), 1u);
    EXPECT_EQ(dialogs_.messages[0].text, Ru("Сохранить изменения в таблицах ?"));
    EXPECT_EQ(dialogs_.messages[0].buttons,
              QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
    EXPECT_EQ(dialogs_.saveAsked, step.saveDialogs);
    EXPECT_TRUE(form_->Session().InUse());
    EXPECT_TRUE(form_->Session().IsModified());
    EXPECT_EQ(Table().FilePath(), path);
    EXPECT_EQ(Table().Filter(), "SERIAL=8");
    EXPECT_EQ(SeriesEntries(W()), (QStringList{"3", "8"}));
    EXPECT_EQ(SeriesListOf(W())->currentRow(), 1);
    EXPECT_FALSE(ViewTabs(W())->isHidden());
    EXPECT_EQ(form_->windowTitle(), QFileInfo(path).completeBaseName() + Ru(" - ФИР - ТЛ7"));
    EXPECT_FALSE(QFile::exists(Path("fresh.db")));
    // The edit is still there to be saved.
    ASSERT_TRUE(Trigger(W(), "saveTableAction"));
    const auto rows = FileRows(path);
    ASSERT_EQ(rows.size(), 12u);
    EXPECT_EQ(rows[6]["TYPE"].toString(), Ru("правка"));
    EXPECT_EQ(rows[6]["SERIAL"].toInt(), 8);
    dialogs_.answer = QMessageBox::No;
    ASSERT_TRUE(Trigger(W(), "closeTableAction"));
  }
}

// A key as the operator types it on the Russian layout, to the widget that
// gets it: an open menu, else the widget with the focus.
void Type(int key, const char* text = "", Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
  QWidget* to = QApplication::activePopupWidget();
  if (!to) to = QApplication::focusWidget();
  if (!to) to = QApplication::activeWindow();
  ASSERT_NE(to, nullptr);
  QTest::sendKeyEvent(QTest::Click, to, Qt::Key(key), QString::fromUtf8(text), modifiers);
}
// Alt with a menu's letter, then an item's letter.
void Choose(int menuKey, const char* menuText, int itemKey, const char* itemText) {
  Type(menuKey, menuText, Qt::AltModifier);
  ASSERT_TRUE(WaitUntil([] { return qobject_cast<QMenu*>(QApplication::activePopupWidget()); },
                        5000));
  Type(itemKey, itemText);
}

// The operator's day without the mouse: open a table, choose a series,
// sort, mark rows, delete them, export, print and look at the port.
TEST_F(Lifecycle, ADayWithTheKeyboardAlone) {
  const QString path = WriteTable("day.db", TwoWaterSeries(3, 8));
  form_->show();
  form_->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(W()));

  // F10 opens the menu bar; Escape closes what it opened.
  Type(Qt::Key_F10);
  ASSERT_TRUE(WaitUntil(
      [&] { return QApplication::activePopupWidget() == ChildOf<QMenu>(W(), "fileMenu"); }, 5000));
  Type(Qt::Key_Escape);
  Type(Qt::Key_Escape);
  ASSERT_TRUE(WaitUntil([] { return !QApplication::activePopupWidget(); }, 5000));
  // Alt alone takes the keyboard to the menu bar, on "Файл".
  QMenuBar* bar = form_->menuBar();
  ASSERT_EQ(bar->activeAction(), nullptr);
  Type(Qt::Key_Alt, "", Qt::AltModifier);
  ASSERT_TRUE(WaitUntil([&] { return bar->activeAction() == bar->actions().constFirst(); }, 5000));
  Type(Qt::Key_Escape);
  ASSERT_TRUE(WaitUntil([&] { return !bar->activeAction(); }, 5000));

  // "Файл" - "Открыть".
  dialogs_.openNames = {path};
  Choose(0x424, "ф", 0x41E, "о");
  ASSERT_TRUE(WaitUntil([&] { return form_->Session().InUse(); }, 5000));
  ASSERT_EQ(SeriesEntries(W()), (QStringList{"3", "8"}));

  // The series list by its group's letter, the second series.
  Type(0x418, "и", Qt::AltModifier);
  ASSERT_EQ(QApplication::focusWidget(), SeriesListOf(W()));
  Type(Qt::Key_Down);
  EXPECT_EQ(Table().Filter(), "SERIAL=8");

  // Into the grid, to the column P, sorted as a click on its title sorts.
  DataGrid* grid = WaterGrid(W());
  Type(Qt::Key_Tab);
  ASSERT_EQ(QApplication::focusWidget(), grid->view());
  const int p = grid->ColumnOfField("P");
  for (int i = 0; i < 10 && grid->CurrentColumn() != p; ++i) Type(Qt::Key_Right);
  ASSERT_EQ(grid->CurrentColumn(), p);
  Choose(0x412, "в", 0x421, "с");  // "Вид" - "Сортировать по столбцу"
  ASSERT_TRUE(WaitUntil([] { return !QApplication::activePopupWidget(); }, 5000));
  EXPECT_EQ(Table().SelectedSortTag(), "tab2");
  EXPECT_EQ(VisibleInts("N"), (std::vector<int64_t>{6, 5, 4, 3, 2, 1}));

  // Three rows marked from the top, deleted with Delete.
  ASSERT_EQ(QApplication::focusWidget(), grid->view());
  Type(Qt::Key_Home, "", Qt::ControlModifier);
  Type(Qt::Key_Down, "", Qt::ShiftModifier);
  Type(Qt::Key_Down, "", Qt::ShiftModifier);
  ASSERT_EQ(grid->MarkedRows().size(), 3u);
  dialogs_.messages.clear();
  dialogs_.answer = QMessageBox::Yes;
  Type(Qt::Key_Delete);
  ASSERT_EQ(dialogs_.messages.size(), 1u);
  EXPECT_EQ(dialogs_.messages[0].icon, QMessageBox::Question);
  EXPECT_EQ(VisibleInts("N"), (std::vector<int64_t>{1, 2, 3}));
  EXPECT_EQ(FileRows(path).size(), 9u);

  // Export: Ctrl+E.
  const QString workbook = Path("series.xls");
  dialogs_.saveNames = {workbook};
  Type(Qt::Key_E, "", Qt::ControlModifier);
  EXPECT_TRUE(QFileInfo(workbook).size() > 0);

  // The port chooser: Ctrl+Shift+P; Escape closes it.
  int result = -1;
  bool chooser = false;
  dialogs_.exec = [&](QDialog* dialog) {
    chooser = qobject_cast<PortDialog*>(dialog) != nullptr;
    // The keys go to the modal dialog; should Escape not close it, the test
    // fails instead of waiting for ever.
    QTimer::singleShot(0, dialog, [dialog] {
      QTest::keyClick(dialog->focusWidget() ? dialog->focusWidget() : dialog, Qt::Key_Escape);
    });
    QTimer::singleShot(10000, dialog, [dialog] { dialog->done(-1); });
    result = dialog->exec();
    return result;
  };
  Type(Qt::Key_P, "", Qt::ControlModifier | Qt::ShiftModifier);
  dialogs_.exec = nullptr;
  EXPECT_TRUE(chooser);
  EXPECT_EQ(result, int(QDialog::Rejected));
  // The offscreen platform does not give the activation back when a dialog
  // closes, as a window system does.
  form_->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(W()));

  // Print: Ctrl+P; without a printer the report goes to a PDF file.
  const QString pdf = Path("day.pdf");
  dialogs_.saveNames = {pdf};
  dialogs_.messages.clear();
  bool printDialog = false;
  dialogs_.exec = [&](QDialog* dialog) {
    printDialog = qobject_cast<QPrintDialog*>(dialog) != nullptr;
    return int(QDialog::Rejected);
  };
  Type(Qt::Key_P, "", Qt::ControlModifier);
  dialogs_.exec = nullptr;
  if (ReportPrintersInstalled()) {
    EXPECT_TRUE(printDialog);
  } else {
    EXPECT_TRUE(QFileInfo(pdf).size() > 0) << dialogs_.Texts().join(" | ").toStdString();
  }
  form_->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(W()));

  // In a cell editor Delete deletes a character, not rows.
  grid->view()->setFocus();
  const int type = grid->ColumnOfField("TYPE");
  for (int i = 0; i < 10 && grid->CurrentColumn() != type; ++i) Type(Qt::Key_Right);
  ASSERT_EQ(grid->CurrentColumn(), type);
  Type(Qt::Key_F2);
  auto* editor = qobject_cast<QLineEdit*>(QApplication::focusWidget());
  ASSERT_NE(editor, nullptr);
  editor->setCursorPosition(0);
  dialogs_.messages.clear();
  Type(Qt::Key_Delete);
  EXPECT_EQ(editor->text(), QStringLiteral("4"));
  EXPECT_TRUE(dialogs_.messages.empty());
  Type(Qt::Key_Escape);
  EXPECT_EQ(Table().VisibleRowCount(), 3);

  EXPECT_TRUE(form_->Session().InUse());
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
  // The clicked row is the one named.
  EXPECT_EQ(dialogs_.messages[0].text, Ru("Удалить образец 3 серии 3, 01.02.2024?"));
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

// After a series is picked in the list, nothing is marked: the row
// "Удалить строки" takes is the current one, shown tinted, and the question
// names it. A row clicked next is the one named and deleted.
TEST_F(Lifecycle, DeletionNamesTheHighlightedRowOfThePickedSeries) {
  std::vector<StoreRow> rows = TwoWaterSeries(3, 8);
  for (const StoreRow& r : TwoWaterSeries(5, 5)) {
    if (rows.size() == 18) break;
    rows.push_back(r);
    for (auto& [name, value] : rows.back())
      if (name == QLatin1String("DATE")) value = QStringLiteral("12.05.2010 09:30:00");
  }
  const QString path = WriteTable("three.db", rows);
  form_->show();
  RunOpen(path);
  ASSERT_EQ(SeriesEntries(W()), (QStringList{"3", "8", "5"}));
  ClickSeries(W(), 2);
  ASSERT_EQ(Table().Filter(), "SERIAL=5");
  DataGrid* grid = WaterGrid(W());
  EXPECT_TRUE(grid->MarkedRows().empty());
  EXPECT_TRUE(QTest::qWaitFor([&] { return grid->view()->currentIndex().row() == 0; }))
      << grid->view()->currentIndex().row();
  // The fill of a row beside the centred text of a cell, as drawn.
  auto fill = [&](int row) {
    const QImage shot = grid->view()->viewport()->grab().toImage();
    const QRect cell =
        grid->view()->visualRect(grid->model()->index(row, grid->ColumnOfField("R")));
    return shot.pixelColor(cell.left() + 3, cell.top() + 3);
  };
  EXPECT_NE(fill(0), fill(1));
  EXPECT_EQ(fill(1), fill(2));

  ASSERT_TRUE(Trigger(W(), "deleteRowsAction"));  // "Нет"
  ASSERT_EQ(dialogs_.messages.size(), 1u);
  EXPECT_EQ(dialogs_.messages[0].text, Ru("Удалить образец 1 серии 5, 12.05.2010?"));
  EXPECT_EQ(Table().StoredRowCount(), 18);

  const QRect fourth = grid->view()->visualRect(grid->model()->index(3, 0));
  QTest::mouseClick(grid->view()->viewport(), Qt::LeftButton, {}, fourth.center());
  EXPECT_TRUE(QTest::qWaitFor([&] { return fill(3) != fill(1); }));
  EXPECT_EQ(fill(0), fill(1));
  dialogs_.answer = QMessageBox::Yes;
  ASSERT_TRUE(Trigger(W(), "deleteRowsAction"));
  ASSERT_EQ(dialogs_.messages.size(), 2u);
  EXPECT_EQ(dialogs_.messages[1].text, Ru("Удалить образец 4 серии 5, 12.05.2010?"));
  EXPECT_EQ(VisibleInts("N"), (std::vector<int64_t>{1, 2, 3, 5, 6}));
  const auto stored = FileRows(path);
  ASSERT_EQ(stored.size(), 17u);
  EXPECT_EQ(stored[0]["N"].toInt(), 1);
  EXPECT_EQ(stored[15]["N"].toInt(), 5);
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
  // The footers tell of the marked rows: N counts them.
  EXPECT_TRUE(FootersBecome(grid, {"0/0,4/0,8", "24/24/24", "3"}))
      << Footers(grid).join(" | ").toStdString();
  dialogs_.answer = QMessageBox::Yes;
  ASSERT_TRUE(Trigger(W(), "deleteRowsAction"));
  ASSERT_EQ(dialogs_.messages.size(), 1u);
  EXPECT_EQ(dialogs_.messages[0].text, Ru("Удалить 3 отмеченные строки?"));
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
  EXPECT_EQ(dialogs_.messages[0].text, Ru("Удалить 3 отмеченные строки?"));
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
  EXPECT_EQ(dialogs_.messages[0].text, Ru("Удалить 2 отмеченные строки?"));
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
  static_assert(kRows == 5957);
  EXPECT_EQ(dialogs_.messages[0].text, Ru("Удалить 5957 отмеченных строк?"));
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
  // The packed copy cannot be made: the disk is full.
  FaultFiles files;
  files.FailOn("create two.db.~pack", ENOSPC);
  dialogs_.answer = QMessageBox::Yes;
  ASSERT_TRUE(Trigger(W(), "deleteRowsAction"));
  EXPECT_TRUE(files.Hit());
  ASSERT_EQ(dialogs_.messages.size(), 2u);
  EXPECT_EQ(dialogs_.messages[1].icon, QMessageBox::Critical);
  EXPECT_EQ(dialogs_.messages[1].caption, ApplicationTitle());
  EXPECT_TRUE(dialogs_.messages[1].text.startsWith(
      Ru("Не удалось записать таблицу %1 после удаления строк: ").arg(path)))
      << dialogs_.messages[1].text.toStdString();
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

// "Дополнить из прибора…" twice from the same instrument and once from one
// with three more series: each series once, in the instrument's order, the
// file the one "Создать" makes of the whole memory; the first new series
// shown with its footers; a plate tester's memory refused.
TEST_F(Lifecycle, AppendFromTheInstrumentAddsOnlyItsNewSeries) {
  auto records = sim::GenerateWaterRecords(5);
  records[2].hold = {8, 0, 0};  // footers of its own
  const sim::InstrumentConfig two = sim::WaterInstrument({records[0], records[1]});
  const sim::InstrumentConfig five = sim::WaterInstrument(records);
  RunNew(Path("whole.db"), five);
  RunNew(Path("grown.db"), two);
  ASSERT_TRUE(form_->Session().IsEditable());
  // A sort order of the old file goes with it.
  WaterGrid(W())->ClickTitle(WaterGrid(W())->ColumnOfField("N"), false);
  ASSERT_FALSE(Table().SelectedSortTag().isEmpty());
  const struct {
    const char* name;
    sim::InstrumentConfig config;
    const char* told;
    QStringList series;
    int highlighted;
  } steps[] = {
      {"same memory", two, "Добавлено серий: 0 (0 строк), уже были в таблице: 2", {"1", "2"}, 0},
      {"three more",
       five,
       "Добавлено серий: 3 (18 строк), уже были в таблице: 2",
       {"1", "2", "3", "4", "5"},
       2},
      {"same memory again",
       five,
       "Добавлено серий: 0 (0 строк), уже были в таблице: 5",
       {"1", "2", "3", "4", "5"},
       2},
  };
  for (const auto& s : steps) {
    SCOPED_TRACE(s.name);
    dialogs_.messages.clear();
    RunAppend(s.config);
    ASSERT_EQ(dialogs_.messages.size(), 1u) << dialogs_.Texts().join('\n').toStdString();
    EXPECT_EQ(dialogs_.messages[0].icon, QMessageBox::Information);
    EXPECT_EQ(dialogs_.messages[0].text, Ru(s.told));
    EXPECT_EQ(SeriesEntries(W()), s.series);
    EXPECT_EQ(SeriesListOf(W())->currentRow(), s.highlighted);
    EXPECT_EQ(Table().Filter(), "SERIAL=" + s.series[s.highlighted]);
    EXPECT_FALSE(form_->Session().IsModified());
  }
  EXPECT_TRUE(Table().SelectedSortTag().isEmpty());
  // The footers are those of the shown series, as when the operator picks it.
  const QStringList footers = Footers(WaterGrid(W()));
  ClickSeries(W(), 0);
  ASSERT_TRUE(WaitUntil([&] { return Footers(WaterGrid(W())) != footers; }, 5000));
  ClickSeries(W(), 2);
  EXPECT_TRUE(FootersBecome(WaterGrid(W()), footers));
  // Byte for byte, but the date of the last change in the header.
  auto withoutDate = [](QByteArray b) { return b.remove(1, 3); };
  const QByteArray grown = ReadAll(Path("grown.db"));
  EXPECT_EQ(withoutDate(grown), withoutDate(ReadAll(Path("whole.db"))));

  dialogs_.messages.clear();
  RunAppend(sim::PlateInstrument(TwoPlateTests(), 16));
  ASSERT_EQ(dialogs_.messages.size(), 1u);
  EXPECT_EQ(dialogs_.messages[0].icon, QMessageBox::Critical);
  EXPECT_TRUE(dialogs_.messages[0].text.contains(Ru("ФИР-ТЛ7")) &&
              dialogs_.messages[0].text.contains(Ru("ЗЕН-ТЛ7")))
      << dialogs_.messages[0].text.toStdString();
  EXPECT_EQ(ReadAll(Path("grown.db")), grown);
  EXPECT_EQ(SeriesEntries(W()), steps[2].series);
  EXPECT_EQ(Table().Filter(), "SERIAL=3");
  EXPECT_EQ(QDir(dir_.path()).entryList(QDir::Files | QDir::Hidden),
            (QStringList{"grown.db", "whole.db"}));
}

// On the plate tab the new tests are shown with the first of them current.
TEST_F(Lifecycle, AppendFromThePlateTesterMakesItsFirstNewTestCurrent) {
  const auto tests = TwoPlateTests();
  RunNew(Path("plate.db"), sim::PlateInstrument({tests[1]}, 16));
  ClickRow(PlateGrid(W()), 0);
  RunAppend(sim::PlateInstrument({tests[0], tests[1]}, 16));
  ASSERT_EQ(dialogs_.messages.size(), 1u) << dialogs_.Texts().join('\n').toStdString();
  EXPECT_EQ(dialogs_.messages[0].text, Ru("Добавлено испытаний: 1, уже были в таблице: 1"));
  EXPECT_EQ(ViewTabs(W())->currentIndex(), 0);
  EXPECT_EQ(Table().Filter(), "NB_TYPE=0");
  EXPECT_EQ(Table().CurrentIndex(), 1);
  EXPECT_EQ(ValueToInt(Table().FieldAt(1, "R")), 12);  // the square plate's 12.34 MPa
  EXPECT_TRUE(FootersBecome(PlateGrid(W()), {"0,56/1,8/3", "2/7,2/12,34", "2"}))
      << Footers(PlateGrid(W())).join(" | ").toStdString();
}

}  // namespace
