// The largest memory image (65,536 bytes with its checksum, 131,074
// characters) downloaded by the dialog over a pseudo-terminal from the
// simulated instrument: time from the instrument's receipt of "N" to the
// dialog's OK. Unpaced, the figure is the program's own cost (polling
// included); paced at the line speed, it is compared with the wire time.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>

#include "link/ui/download_dialog.h"
#include "simulator/sim_instrument.h"
#include "simulator/sim_pty.h"

namespace {

void PointCom1At(const QString& path) {
  QSettings s(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Merilan"),
              QStringLiteral("KLT3"));
  s.beginGroup(QStringLiteral("1.0"));
  s.setValue(QStringLiteral("COM1"), path);
  s.sync();
}

sim::InstrumentConfig Plate(int imageBytes, bool paced) {
  const int records = (imageBytes - 4) / sim::kPlateRecordMinSize;
  sim::InstrumentConfig c = sim::PlateInstrument(sim::GeneratePlateRecords(records));
  c.image = sim::BuildPlateImage(sim::GeneratePlateRecords(records), sim::kPlateRecordMinSize,
                                 imageBytes);
  c.paced = paced;
  return c;
}

// Seconds from "N" to OK; negative when the download failed.
double DownloadOnce(const sim::InstrumentConfig& config, qint64* memoryChars) {
  sim::PtyPair pty;
  if (!pty.Open()) return -1;
  sim::Instrument instrument(pty.MasterFd(), config);
  *memoryChars = instrument.MemoryFrame().size();
  PointCom1At(pty.SlavePath());
  DownloadDialog form;
  QElapsedTimer sinceN;
  QObject::connect(&instrument, &sim::Instrument::requestReceived, [&](char c) {
    if (c == 'N') sinceN.start();
  });
  const int result = form.exec();
  const double seconds = sinceN.isValid() ? sinceN.nsecsElapsed() * 1e-9 : -1;
  return result == QDialog::Accepted ? seconds : -1;
}

void BM_LargestImageUnpaced(benchmark::State& state) {
  const sim::InstrumentConfig config = Plate(65532, false);
  qint64 chars = 0;
  for (auto _ : state) {
    const double s = DownloadOnce(config, &chars);
    if (s < 0) {
      state.SkipWithError("download failed");
      break;
    }
    state.SetIterationTime(s);
  }
  state.counters["chars"] = static_cast<double>(chars);
}
BENCHMARK(BM_LargestImageUnpaced)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_ImageAtLineSpeed(benchmark::State& state) {
  const sim::InstrumentConfig config = Plate(static_cast<int>(state.range(0)), true);
  qint64 chars = 0;
  double total = 0;
  for (auto _ : state) {
    total = DownloadOnce(config, &chars);
    if (total < 0) {
      state.SkipWithError("download failed");
      break;
    }
    state.SetIterationTime(total);
  }
  const double wire = chars / sim::kLineCharsPerSecond;
  state.counters["wire_s"] = wire;
  state.counters["total_s"] = total;
  state.counters["over_ms"] = (total - wire) * 1000;
  state.counters["ratio"] = total / wire;
}
BENCHMARK(BM_ImageAtLineSpeed)
    ->Arg(9180)   // 255 water-permeability series
    ->Arg(65532)  // the whole memory
    ->UseManualTime()
    ->Unit(benchmark::kSecond)
    ->Iterations(1);

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QTemporaryDir config;  // keep the operator's settings untouched
  qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
