// The main window's New and Open with the largest downloads: 255
// water-permeability series (1,530 rows) and a full 64 KB plate image
// (5,957 tests). New is timed from the last byte received (the download's
// results in DeviceDump) to the rows on screen; Open from the chosen file
// to its first series on screen.
//
// Measured on the 2-core build machine (Release, load average about 4.5),
// wall / CPU time per run: New water 32-37 / 21.5 ms, New plate 88-102 /
// 64 ms, Open water 12.5-15 / 10-12 ms, Open plate 28 / 23 ms, deletion of
// 1,530 marked rows 27-29 / 15 ms. Most of New's time is the table engine's
// two writes per posted row.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <cstring>
#include <memory>

#include "link/device_data.h"
#include "platform/dialogs.h"
#include "shell/main_window.h"
#include "simulator/sim_images.h"
#include "views/grid/data_grid.h"

namespace {

// Answers the open dialog with one file and everything else as cancelled.
struct QuietDialogs : DialogSeam {
  QString openName;
  QString GetOpenFileName(QWidget*, const QString&, const QString&, const QString&,
                          const QString&) override {
    return openName;
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

void PutImage(Kind kind) {
  QByteArray image;
  DeviceIdentity = TDeviceIdentity{};
  if (kind == kWater) {
    image = sim::BuildWaterImage(sim::GenerateWaterRecords(255));
    DeviceIdentity.kind = sim::kWaterKind;
    DeviceIdentity.type = sim::kWaterType;
    DeviceIdentity.recordCount = 255;
  } else {
    const int count = (kDeviceDumpSize - 4) / sim::kPlateRecordMinSize;
    image = sim::BuildPlateImage(sim::GeneratePlateRecords(count));
    DeviceIdentity.kind = sim::kPlateKind;
    DeviceIdentity.type = sim::kPlateType;
    DeviceIdentity.serial = 1234;
  }
  DeviceDump.fill(0);
  std::memcpy(DeviceDump.data(), image.constData(), size_t(image.size()));
}

int ExpectedRows(Kind kind) { return kind == kWater ? 1530 : (kDeviceDumpSize - 4) / 11; }

DataGrid* ShownGrid(TForm1& form) {
  return form.PageControl1->currentIndex() == 1 ? form.DBGridPro2 : form.DBGridPro1;
}

// Lets the window paint what it now shows.
void Settle(TForm1& form) {
  QCoreApplication::processEvents();
  ShownGrid(form)->view()->viewport()->repaint();
}

void BM_New(benchmark::State& state) {
  const Kind kind = Kind(state.range(0));
  TForm1 form;
  form.show();
  PutImage(kind);
  form.SaveDialog1FileName = QDir(g_dir->path()).filePath(QStringLiteral("new%1.db").arg(kind));
  for (auto _ : state) {
    QElapsedTimer t;
    t.start();
    form.Create_DB();
    Settle(form);
    state.SetIterationTime(t.nsecsElapsed() / 1e9);
    if (form.Table.StoredRowCount() != ExpectedRows(kind) || !form.TableOpen) {
      state.SkipWithError("the download did not become the expected rows");
      break;
    }
    form.Close_DB();
  }
  state.counters["rows"] = ExpectedRows(kind);
}

void BM_Open(benchmark::State& state) {
  const Kind kind = Kind(state.range(0));
  TForm1 form;
  form.show();
  // The file that New makes from the largest image.
  PutImage(kind);
  const QString path = QDir(g_dir->path()).filePath(QStringLiteral("open%1.db").arg(kind));
  form.SaveDialog1FileName = path;
  form.Create_DB();
  form.Close_DB();
  g_dialogs->openName = path;
  for (auto _ : state) {
    QElapsedTimer t;
    t.start();
    form.N3Click();
    Settle(form);
    state.SetIterationTime(t.nsecsElapsed() / 1e9);
    if (form.Table.StoredRowCount() != ExpectedRows(kind) || !form.TableOpen) {
      state.SkipWithError("the file did not open with the expected rows");
      break;
    }
    form.Close_DB();
  }
  state.counters["rows"] = ExpectedRows(kind);
}

// "Удалить строки" with every row of the largest water-permeability table
// marked: 1,530 rows marked deleted, the file packed and reopened.
void BM_DeleteAllMarked(benchmark::State& state) {
  TForm1 form;
  form.show();
  PutImage(kWater);
  const QString path = QDir(g_dir->path()).filePath(QStringLiteral("delete.db"));
  for (auto _ : state) {
    state.PauseTiming();
    form.SaveDialog1FileName = path;
    form.Create_DB();
    Settle(form);
    form.DBGridPro2->view()->selectAll();
    const size_t marked = form.DBGridPro2->MarkedRows().size();
    state.ResumeTiming();
    QElapsedTimer t;
    t.start();
    form.N21Click();
    Settle(form);
    state.SetIterationTime(t.nsecsElapsed() / 1e9);
    if (marked != 1530 || form.Table.StoredRowCount() != 0) {
      state.SkipWithError("the marked rows were not all deleted");
      break;
    }
    state.PauseTiming();
    form.Close_DB();
    state.ResumeTiming();
  }
}

BENCHMARK(BM_DeleteAllMarked)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_New)->Arg(kWater)->Arg(kPlate)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Open)->Arg(kWater)->Arg(kPlate)->UseManualTime()->Unit(benchmark::kMillisecond);

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
