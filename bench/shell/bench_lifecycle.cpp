// The main window's New and Open with the largest downloads: 255
// water-permeability series (1,530 rows) and a full 64 KB plate image
// (5,957 tests). The download itself runs once, against the simulated
// instrument on a pseudo-terminal; New is then timed from the download
// dialog's acceptance to the rows on screen, Open from the chosen file to
// its first series on screen.
//
// Measured on the 2-core build machine (Release, load average about 4.5),
// wall / CPU time per run: New water 32-37 / 21.5 ms, New plate 88-102 /
// 64 ms, Open water 12.5-15 / 10-12 ms, Open plate 28 / 23 ms, deletion of
// 1,530 marked rows 27-29 / 15 ms. Since a download's rows go to the file
// in large blocks (load about 1.5-3): New plate 15-28 / 16-24 ms, Open of
// 100,000 rows 137-204 / 138-188 ms; what is left of New's wall time is
// mostly the wait for the new empty file to reach the disk.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QDir>
#include <QAction>
#include <QElapsedTimer>
#include <QSettings>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <memory>

#include "link/ui/download_dialog.h"
#include "platform/dialogs.h"
#include "shell/main_window.h"
#include "simulator/sim_instrument.h"
#include "simulator/sim_pty.h"
#include "store/measurement_table.h"
#include "views/grid/data_grid.h"

namespace {

// Answers the open dialog with one file and everything else as cancelled.
// The download dialog runs for real the first time; later New commands
// take the download it holds.
struct QuietDialogs : DialogSeam {
  QString openName;
  QString saveName;
  bool downloaded = false;
  QString GetOpenFileName(QWidget*, const QString&, const QString&, const QString&,
                          const QString&) override {
    return openName;
  }
  QString GetSaveFileName(QWidget*, const QString&, const QString&, const QString&,
                          const QString&) override {
    return saveName;
  }
  // "Удалить ...?" is answered "Да".
  QMessageBox::StandardButton Ask(QWidget*, const QString&, const QString&,
                                  QMessageBox::StandardButton) override {
    return QMessageBox::Yes;
  }
  int Exec(QDialog* dialog) override {
    if (downloaded) return QDialog::Accepted;
    QTimer guard;
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, dialog, &QDialog::reject);
    guard.start(60000);
    downloaded = dialog->exec() == QDialog::Accepted;
    return downloaded ? QDialog::Accepted : QDialog::Rejected;
  }
  QMessageBox::StandardButton Message(QWidget*, QMessageBox::Icon, const QString&,
                                      const QString& text, QMessageBox::StandardButtons) override {
    qFatal("unexpected message: %s", qPrintable(text));
    return QMessageBox::No;
  }
};

QTemporaryDir* g_dir = nullptr;
QuietDialogs* g_dialogs = nullptr;

enum Kind { kWater = 0, kPlate = 1 };

constexpr int kPlateRows = (65536 - 4) / sim::kPlateRecordMinSize;

sim::InstrumentConfig Instrument(Kind kind) {
  if (kind == kWater) return sim::WaterInstrument(sim::GenerateWaterRecords(255));
  return sim::PlateInstrument(sim::GeneratePlateRecords(kPlateRows));
}

int ExpectedRows(Kind kind) { return kind == kWater ? 1530 : kPlateRows; }

// A window with its download dialog that has received the image of `kind`
// from the simulated instrument.
class Window {
 public:
  explicit Window(Kind kind) : instrument_(Open(pty_), Instrument(kind)) {
    QSettings s(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Merilan"),
                QStringLiteral("KLT3"));
    s.setValue(QStringLiteral("1.0/COM1"), pty_.SlavePath());
    s.sync();
    form.SetDownloadDialog(new DownloadDialog(&form));
    form.show();
    g_dialogs->downloaded = false;
  }
  bool Run(const char* action) {
    QAction* a = form.findChild<QAction*>(QLatin1String(action));
    if (!a || !a->isEnabled()) return false;
    a->trigger();
    return true;
  }
  DataGrid* ShownGrid() {
    return form.findChild<QTabWidget*>(QStringLiteral("viewTabs"))
        ->currentWidget()
        ->findChild<DataGrid*>();
  }
  // Lets the window paint what it now shows.
  void Settle() {
    QCoreApplication::processEvents();
    ShownGrid()->view()->viewport()->repaint();
  }
  bool Holds(Kind kind) const {
    return form.Session().InUse() && form.Session().Table().StoredRowCount() == ExpectedRows(kind);
  }

  MainWindow form;

 private:
  static int Open(sim::PtyPair& pty) { return pty.Open() ? pty.MasterFd() : -1; }
  sim::PtyPair pty_;
  sim::Instrument instrument_;
};

void BM_New(benchmark::State& state) {
  const Kind kind = Kind(state.range(0));
  Window w(kind);
  g_dialogs->saveName = QDir(g_dir->path()).filePath(QStringLiteral("new%1.db").arg(kind));
  // The first New downloads; its time is not counted.
  if (!w.Run("newTableAction") || !w.Holds(kind)) {
    state.SkipWithError("the download did not become the expected rows");
    return;
  }
  w.Run("closeTableAction");
  for (auto _ : state) {
    QElapsedTimer t;
    t.start();
    w.Run("newTableAction");
    w.Settle();
    state.SetIterationTime(t.nsecsElapsed() / 1e9);
    if (!w.Holds(kind)) {
      state.SkipWithError("the download did not become the expected rows");
      break;
    }
    w.Run("closeTableAction");
  }
  state.counters["rows"] = ExpectedRows(kind);
}

void BM_Open(benchmark::State& state) {
  const Kind kind = Kind(state.range(0));
  Window w(kind);
  // The file that New makes from the largest image.
  const QString path = QDir(g_dir->path()).filePath(QStringLiteral("open%1.db").arg(kind));
  g_dialogs->saveName = path;
  w.Run("newTableAction");
  w.Run("closeTableAction");
  g_dialogs->openName = path;
  for (auto _ : state) {
    QElapsedTimer t;
    t.start();
    w.Run("openTableAction");
    w.Settle();
    state.SetIterationTime(t.nsecsElapsed() / 1e9);
    if (!w.Holds(kind)) {
      state.SkipWithError("the file did not open with the expected rows");
      break;
    }
    w.Run("closeTableAction");
  }
  state.counters["rows"] = ExpectedRows(kind);
}

// "Открыть" on a table of 100,000 water-permeability rows (six to a series),
// until its first series shows.
void BM_OpenInWindow(benchmark::State& state) {
  const int rows = int(state.range(0));
  const QString path = QDir(g_dir->path()).filePath(QStringLiteral("large%1.db").arg(rows));
  {
    MeasurementTable t;
    t.SetLocation(path);
    t.CreateFile();
    t.Open();
    MeasurementTable::AppendRun run(t);
    for (int i = 0; i < rows; ++i) {
      t.AppendRow();
      t.SetField(QStringLiteral("N"), int64_t(i % 6 + 1));
      t.SetField(QStringLiteral("DATE"), QStringLiteral("01.02.2024 10:00:00"));
      t.SetField(QStringLiteral("TIME"), QStringLiteral("00:12:00"));
      t.SetField(QStringLiteral("DEV_TYPE"), int64_t(1));
      t.SetField(QStringLiteral("SERIAL"), int64_t(i / 6 + 1));
      t.SetField(QStringLiteral("NB_TYPE"), int64_t(1));
      t.SetField(QStringLiteral("P"), double((i * 7919) % 2000) / 10.0);
      t.SetField(QStringLiteral("R"), 24.0);
      t.SetField(QStringLiteral("H"), 100.0);
      t.SetField(QStringLiteral("TYPE"), QStringLiteral("B6"));
      t.PostRow();
    }
    run.End();
  }
  Window w(kWater);
  g_dialogs->openName = path;
  for (auto _ : state) {
    QElapsedTimer t;
    t.start();
    w.Run("openTableAction");
    w.Settle();
    state.SetIterationTime(t.nsecsElapsed() / 1e9);
    if (!w.form.Session().InUse() || w.form.Session().Table().StoredRowCount() != rows ||
        w.ShownGrid()->model()->rowCount() != 6) {
      state.SkipWithError("the file did not open with its first series shown");
      break;
    }
    w.Run("closeTableAction");
  }
  state.counters["rows"] = rows;
}

// "Удалить строки" with every row of the largest plate table marked (the
// plate view shows all its rows; the water view one series): 5,957 rows
// marked deleted, the file packed and reopened.
void BM_DeleteAllMarked(benchmark::State& state) {
  Window w(kPlate);
  g_dialogs->saveName = QDir(g_dir->path()).filePath(QStringLiteral("delete.db"));
  for (auto _ : state) {
    state.PauseTiming();
    w.Run("newTableAction");
    w.Settle();
    w.ShownGrid()->view()->selectAll();
    const size_t marked = w.ShownGrid()->MarkedRows().size();
    state.ResumeTiming();
    QElapsedTimer t;
    t.start();
    w.Run("deleteRowsAction");
    w.Settle();
    state.SetIterationTime(t.nsecsElapsed() / 1e9);
    if (marked != size_t(kPlateRows) || w.form.Session().Table().StoredRowCount() != 0) {
      state.SkipWithError("the marked rows were not all deleted");
      break;
    }
    state.PauseTiming();
    w.Run("closeTableAction");
    state.ResumeTiming();
  }
}

BENCHMARK(BM_DeleteAllMarked)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_New)->Arg(kWater)->Arg(kPlate)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Open)->Arg(kWater)->Arg(kPlate)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OpenInWindow)->Arg(100000)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QTemporaryDir config;
  qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
  QApplication app(argc, argv);
  QTemporaryDir dir;
  QuietDialogs dialogs;
  g_dir = &dir;
  g_dialogs = &dialogs;
  SetDialogs(&dialogs);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  SetDialogs(nullptr);
  return 0;
}
