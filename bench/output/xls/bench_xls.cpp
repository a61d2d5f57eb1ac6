// Spreadsheet export figures: the export of a 1,530-row view, and a workbook
// of 100,000 number and text cells (stream only, and written to a file).
#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QDir>
#include <QTemporaryDir>

#include "output/xls/series_export.h"
#include "output/xls/xls_model.h"
#include "output/xls/xls_writer.h"
#include "store/measurement_table.h"

namespace {

QTemporaryDir& Dir() {
  static QTemporaryDir dir;
  return dir;
}

// 255 series of six samples of the water-permeability tester.
MeasurementTable& View1530() {
  static MeasurementTable table;
  if (!table.IsOpen()) {
    table.SetLocation(QDir(Dir().path()).filePath(QStringLiteral("bench.db")));
    table.CreateFile();
    table.Open();
    for (int s = 0; s < 255; ++s)
      for (int n = 1; n <= 6; ++n) {
        table.AppendRow();
        table.SetField(QStringLiteral("N"), n);
        table.SetField(QStringLiteral("SERIAL"), s + 1);
        table.SetField(QStringLiteral("NB_TYPE"), 1);
        table.SetField(QStringLiteral("P"), 0.2 * n);
        table.SetField(QStringLiteral("R"), 24.0);
        table.SetField(QStringLiteral("H"), 150.0);
        table.SetField(QStringLiteral("DATE"), QStringLiteral("01.02.2024 10:00:00"));
        table.SetField(QStringLiteral("TIME"), QStringLiteral("00:%1:00").arg(10 + n));
        table.SetField(QStringLiteral("TYPE"), QStringLiteral("B8"));
        table.PostRow();
      }
    table.SetFilter(QStringLiteral("NB_TYPE=1"));
  }
  return table;
}

void BM_ExportView1530(benchmark::State& state) {
  MeasurementTable& table = View1530();
  const QString out = QDir(Dir().path()).filePath(QStringLiteral("view.xls"));
  for (auto _ : state) ExportSeries(table, out);
  state.counters["rows"] = table.VisibleRowCount();
}
BENCHMARK(BM_ExportView1530)->Unit(benchmark::kMillisecond);

// 5,000 rows of 20 cells, numbers and texts alternating.
void Fill100k(XlsWorkbook& wb) {
  XlsWorksheet* s = wb.AddSheet();
  for (int row = 0; row < 5000; ++row)
    for (int col = 0; col < 20; ++col) {
      XlsRange* r = s->Ranges(col, row, col, row);
      if (col % 2)
        r->SetValue(QByteArray("text ") + QByteArray::number(row * 20 + col));
      else
        r->SetValue(double(row) + col / 100.0);
    }
}

void BM_Build100kModel(benchmark::State& state) {
  for (auto _ : state) {
    XlsWorkbook wb;
    Fill100k(wb);
    benchmark::DoNotOptimize(wb.Sheet(0)->RangeCount());
  }
}
BENCHMARK(BM_Build100kModel)->Unit(benchmark::kMillisecond);

void BM_Stream100k(benchmark::State& state) {
  XlsWorkbook wb;
  Fill100k(wb);
  XlsWriter w;
  int64_t bytes = 0;
  for (auto _ : state) bytes = w.StreamBytes(wb).size();
  state.counters["bytes"] = double(bytes);
}
BENCHMARK(BM_Stream100k)->Unit(benchmark::kMillisecond);

void BM_Save100k(benchmark::State& state) {
  XlsWorkbook wb;
  Fill100k(wb);
  const QString out = QDir(Dir().path()).filePath(QStringLiteral("big.xls"));
  for (auto _ : state) XlsWriter().SaveToFile(wb, out);
}
BENCHMARK(BM_Save100k)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
