// Preparing and rendering reports over the largest water-permeability
// download (1,530 rows) held in a real table file.
//
// Figures (Release, this 2-core machine at a load of about 1.5-3, medians of
// 5; CPU time): BM_RenderPdf 91-120 ms (it was 238 ms before the fonts and
// laid-out texts were kept for the whole print and unneeded clips went).
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QDir>
#include <QTemporaryDir>

#include "output/reports/report_render.h"
#include "output/reports/report_templates.h"
#include "output/reports/report_windows.h"
#include "store/measurement_table.h"

namespace {

constexpr int kRows = 1530;

QTemporaryDir& Dir() {
  static QTemporaryDir dir;
  return dir;
}

// One table of kRows rows of the given kind, sorted by P descending.
MeasurementTable& Table(int nbType) {
  static MeasurementTable tables[2];
  MeasurementTable& t = tables[nbType];
  if (t.IsOpen()) return t;
  t.SetLocation(QDir(Dir().path()).filePath(QStringLiteral("r%1.db").arg(nbType)));
  t.CreateFile();
  t.Open();
  for (int i = 0; i < kRows; ++i) {
    t.AppendRow();
    t.SetField("N", int64_t(i % 6 + 1));
    t.SetField("DATE", QStringLiteral("01.02.2024 10:00:00"));
    t.SetField("TIME", QStringLiteral("00:12:00"));
    t.SetField("DEV_TYPE", int64_t(nbType ? 1 : 16));
    t.SetField("SERIAL", int64_t(i / 6 % 256));
    t.SetField("NB_TYPE", int64_t(nbType));
    t.SetField("P", double((i * 7919) % 2000) / 10.0);
    t.SetField("R", 24.0);
    t.SetField("TYPE", QStringLiteral("B6"));
    t.SetField("H", 100.0);
    t.SetField("COMMENT", QString::fromUtf8("без замечаний"));
    t.PostRow();
  }
  t.AddSortTag(QStringLiteral("tab1"), QStringLiteral("P"), true);
  t.SelectSortTag(QStringLiteral("tab1"));
  return t;
}

void BM_PrepareReport(benchmark::State& state) {
  const bool water = state.range(0) == 1;
  MeasurementTable& t = Table(water ? 1 : 0);
  const ReportTemplate& layout = water ? Report1() : Report2();
  TableReportSource rows(&t);
  size_t pages = 0;
  for (auto _ : state) {
    const PreparedReport r = PrepareReport(layout, rows);
    pages = r.pages.size();
    benchmark::DoNotOptimize(pages);
  }
  state.counters["pages"] = double(pages);
}
BENCHMARK(BM_PrepareReport)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond);

// The same with the cancellable progress window the commands show.
void BM_PrepareWithProgressWindow(benchmark::State& state) {
  TableReportSource rows(&Table(1));
  for (auto _ : state) {
    const PreparedReport r = PrepareReportWithProgress(nullptr, Report1(), rows);
    benchmark::DoNotOptimize(r.completed);
  }
}
BENCHMARK(BM_PrepareWithProgressWindow)->Unit(benchmark::kMillisecond);

// Drawing every prepared page into a PDF file.
void BM_RenderPdf(benchmark::State& state) {
  TableReportSource rows(&Table(1));
  const PreparedReport r = PrepareReport(Report1(), rows);
  const QString path = QDir(Dir().path()).filePath(QStringLiteral("out.pdf"));
  for (auto _ : state) benchmark::DoNotOptimize(WriteReportPdf(r, path));
  state.counters["pages"] = double(r.pages.size());
}
BENCHMARK(BM_RenderPdf)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia));
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
