// Costs of the table operations for the largest water-permeability download
// (1,530 rows) and for a large table (100,000 rows). Rows are appended in
// one run, as the decoders append a download; BM_CreateAndAppendEachPosted
// posts each row to the file on its own.
#include <benchmark/benchmark.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "store/measurement_table.h"

namespace {

// Row i of the benchmark tables.
MeasurementRow RowValues(int i) {
  MeasurementRow row;
  row[Field::N] = int64_t(i % 6 + 1);
  row[Field::Date] = QStringLiteral("01.02.2024 10:00:00");
  row[Field::Time] = QStringLiteral("00:12:00");
  row[Field::DevType] = int64_t(1);
  row[Field::Serial] = int64_t(i / 6 % 256);
  row[Field::NbType] = int64_t(i % 3 == 0 ? 0 : 1);
  row[Field::P] = double((i * 7919) % 2000) / 10.0;
  row[Field::R] = 24.0;
  row[Field::Type] = QStringLiteral("B6");
  row[Field::H] = 100.0;
  row[Field::T] = QString::fromUtf8("сжатие");
  return row;
}

// In one run as a download appends its decoded rows, or each row posted on
// its own with its fields set one by one, as an operator's rows are.
void AppendRows(MeasurementTable& t, int rows, bool run = true) {
  if (run) {
    std::vector<MeasurementRow> values;
    values.reserve(size_t(rows));
    for (int i = 0; i < rows; ++i) values.push_back(RowValues(i));
    t.AppendRows(values);
    return;
  }
  for (int i = 0; i < rows; ++i) {
    t.AppendRow();
    t.SetField("N", int64_t(i % 6 + 1));
    t.SetField("DATE", QStringLiteral("01.02.2024 10:00:00"));
    t.SetField("TIME", QStringLiteral("00:12:00"));
    t.SetField("DEV_TYPE", int64_t(1));
    t.SetField("SERIAL", int64_t(i / 6 % 256));
    t.SetField("NB_TYPE", int64_t(i % 3 == 0 ? 0 : 1));
    t.SetField("P", double((i * 7919) % 2000) / 10.0);
    t.SetField("R", 24.0);
    t.SetField("TYPE", QStringLiteral("B6"));
    t.SetField("H", 100.0);
    t.SetField("T", QString::fromUtf8("сжатие"));
    t.PostRow();
  }
}

// A filled table file, made once per size and copied where a run needs it.
QString Prepared(int rows) {
  static QTemporaryDir dir;
  const QString path = QDir(dir.path()).filePath(QStringLiteral("t%1.db").arg(rows));
  if (!QFile::exists(path)) {
    MeasurementTable t;
    t.SetLocation(path);
    t.CreateFile();
    t.Open();
    AppendRows(t, rows);
    t.Close();
  }
  return path;
}

void BM_CreateAndAppend(benchmark::State& state) {
  QTemporaryDir dir;
  const QString path = QDir(dir.path()).filePath(QStringLiteral("a.db"));
  for (auto _ : state) {
    MeasurementTable t;
    t.SetLocation(path);
    t.CreateFile();
    t.Open();
    AppendRows(t, int(state.range(0)));
    t.Close();
  }
}

void BM_CreateAndAppendEachPosted(benchmark::State& state) {
  QTemporaryDir dir;
  const QString path = QDir(dir.path()).filePath(QStringLiteral("a.db"));
  for (auto _ : state) {
    MeasurementTable t;
    t.SetLocation(path);
    t.CreateFile();
    t.Open();
    AppendRows(t, int(state.range(0)), false);
    t.Close();
  }
}

// The same without the creation (whose cost is the file system's sync).
void BM_AppendOnly(benchmark::State& state) {
  QTemporaryDir dir;
  const QString path = QDir(dir.path()).filePath(QStringLiteral("a.db"));
  for (auto _ : state) {
    state.PauseTiming();
    MeasurementTable t;
    t.SetLocation(path);
    t.CreateFile();
    t.Open();
    state.ResumeTiming();
    AppendRows(t, int(state.range(0)));
    t.Close();
  }
}

void BM_Open(benchmark::State& state) {
  MeasurementTable t;
  t.SetLocation(Prepared(int(state.range(0))));
  for (auto _ : state) {
    t.Open();
    benchmark::DoNotOptimize(t.StoredRowCount());
    state.PauseTiming();
    t.Close();
    state.ResumeTiming();
  }
}

void BM_CountUnderFilter(benchmark::State& state) {
  MeasurementTable t;
  t.SetLocation(Prepared(int(state.range(0))));
  t.Open();
  int i = 0;
  for (auto _ : state) {
    t.SetFilter(++i % 2 ? QStringLiteral("NB_TYPE=1") : QStringLiteral("SERIAL=7"));
    benchmark::DoNotOptimize(t.VisibleRowCount());
  }
}

void BM_AddTagAndWalk(benchmark::State& state) {
  MeasurementTable t;
  t.SetLocation(Prepared(int(state.range(0))));
  t.Open();
  for (auto _ : state) {
    t.AddSortTag(QStringLiteral("tab1"), QStringLiteral("P"), true);
    t.SelectSortTag(QStringLiteral("tab1"));
    double sum = 0;
    for (t.First(); !t.AtEnd(); t.Next()) sum += t.GetFloat(QStringLiteral("P"));
    benchmark::DoNotOptimize(sum);
    state.PauseTiming();
    t.SelectSortTag(QString());
    t.DropSortTag(QStringLiteral("tab1"));
    state.ResumeTiming();
  }
}

// Every other row deleted as the program deletes marked rows (all at
// once), then the pack.
void BM_DeleteEveryOtherAndPack(benchmark::State& state) {
  const QString source = Prepared(int(state.range(0)));
  QTemporaryDir dir;
  const QString path = QDir(dir.path()).filePath(QStringLiteral("p.db"));
  for (auto _ : state) {
    state.PauseTiming();
    QFile::remove(path);
    QFile::copy(source, path);
    MeasurementTable t;
    t.SetLocation(path);
    t.Open();
    state.ResumeTiming();
    std::vector<MeasurementTable::BookmarkT> marked;
    for (int i = 0; i < t.VisibleRowCount(); i += 2) marked.push_back(t.BookmarkAt(i));
    t.DeleteRows(marked);
    t.Pack();
    benchmark::DoNotOptimize(t.StoredRowCount());
  }
}

// The same with one DeleteRow after the other.
void BM_DeleteEachAndPack(benchmark::State& state) {
  const QString source = Prepared(int(state.range(0)));
  QTemporaryDir dir;
  const QString path = QDir(dir.path()).filePath(QStringLiteral("p.db"));
  for (auto _ : state) {
    state.PauseTiming();
    QFile::remove(path);
    QFile::copy(source, path);
    MeasurementTable t;
    t.SetLocation(path);
    t.Open();
    state.ResumeTiming();
    t.First();
    while (!t.AtEnd()) {
      t.DeleteRow();  // the next row becomes current: skip it
      t.Next();
    }
    t.Pack();
    benchmark::DoNotOptimize(t.StoredRowCount());
  }
}

// The pack alone, of a table with every other row marked deleted.
void BM_PackHalfDeleted(benchmark::State& state) {
  const QString source = Prepared(int(state.range(0)));
  QTemporaryDir dir;
  const QString path = QDir(dir.path()).filePath(QStringLiteral("p.db"));
  for (auto _ : state) {
    state.PauseTiming();
    QFile::remove(path);
    QFile::copy(source, path);
    MeasurementTable t;
    t.SetLocation(path);
    t.Open();
    t.First();
    while (!t.AtEnd()) {
      t.DeleteRow();
      t.Next();
    }
    state.ResumeTiming();
    t.Pack();
    benchmark::DoNotOptimize(t.StoredRowCount());
  }
}

}  // namespace

BENCHMARK(BM_CreateAndAppend)->Arg(1530)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CreateAndAppendEachPosted)->Arg(1530)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_AppendOnly)->Arg(1530)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Open)->Arg(1530)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CountUnderFilter)->Arg(1530)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_AddTagAndWalk)->Arg(1530)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DeleteEveryOtherAndPack)->Arg(1530)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DeleteEachAndPack)->Arg(1530)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PackHalfDeleted)->Arg(1530)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
