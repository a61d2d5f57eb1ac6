// Moving the current row, marking rows, walking the rows with the table's
// cursor and writing the footers in a shown plate view of 6,000 and of
// 100,000 rows; opening a table of 100,000 water-permeability rows the way
// the main window's Open does, until its first series shows.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QDate>
#include <QDir>
#include <QFile>
#include <QListWidget>
#include <QTemporaryDir>
#include <cstring>
#include <map>
#include <memory>

#include "store/table_session.h"
#include "views/table_views.h"

namespace {

void Put(QByteArray& rec, int offset, int length, const QByteArray& text, bool right) {
  QByteArray v = text.left(length);
  const QByteArray pad(length - v.size(), ' ');
  rec.replace(offset, length, right ? pad + v : v + pad);
}

// Writes a table file of plate rows (or of water-permeability rows, six to
// a series) directly: appending row by row would measure the table engine
// rather than the view.
QString WriteTable(const QString& folder, int rows, bool water) {
  const auto& schema = MeasurementSchema();
  QByteArray header(32, '\0');
  const QDate today = QDate::currentDate();
  header[0] = 0x03;
  header[1] = char(today.year() - 1900);
  header[2] = char(today.month());
  header[3] = char(today.day());
  const uint32_t count = uint32_t(rows);
  std::memcpy(header.data() + 4, &count, 4);
  const uint16_t headerLength = uint16_t(32 + 32 * schema.size() + 1);
  std::memcpy(header.data() + 8, &headerLength, 2);
  int recordLength = 1;
  for (const FieldSpec& f : schema) recordLength += f.length;
  const uint16_t rl = uint16_t(recordLength);
  std::memcpy(header.data() + 10, &rl, 2);
  header[29] = char(0xC9);
  std::map<QByteArray, std::pair<int, int>> at;
  int offset = 1;
  for (const FieldSpec& f : schema) {
    QByteArray d(32, '\0');
    std::memcpy(d.data(), f.name, std::strlen(f.name));
    d[11] = f.type;
    d[16] = char(f.length);
    d[17] = char(f.decimals);
    header += d;
    at[QByteArray(f.name)] = {offset, f.length};
    offset += f.length;
  }
  header += '\r';
  QByteArray body;
  body.reserve(rows * recordLength + 1);
  QByteArray rec(recordLength, ' ');
  for (int i = 0; i < rows; ++i) {
    rec.fill(' ');
    auto put = [&](const char* f, const QByteArray& v, bool right) {
      Put(rec, at[f].first, at[f].second, v, right);
    };
    if (water) {
      put("N", QByteArray::number(i % 6 + 1), true);
      put("DATE", "01.02.2024 10:00:00", false);
      put("TIME", "00:12:00", false);
      put("DEV_TYPE", "1", true);
      put("SERIAL", QByteArray::number(i / 6 + 1), true);
      put("NB_TYPE", "1", true);
      put("P", QByteArray::number(double((i * 7919) % 2000) / 10, 'f', 9), true);
      put("R", "24.000000000", true);
      put("H", "100.000000000", true);
      put("TYPE", "B6", false);
    } else {
      put("N", QByteArray::number(i + 1), true);
      put("DATE", "01.02.2024", false);
      put("TIME", "10:00:00", false);
      put("DEV_TYPE", "16", true);
      put("SERIAL", "7", true);
      put("NB_TYPE", "0", true);
      put("P", QByteArray::number(double((i * 37) % 1000) / 10, 'f', 9), true);
      put("R", QByteArray::number(double((i * 53) % 500) / 10, 'f', 9), true);
      put("TYPE", "D=300", false);
    }
    body += rec;
  }
  body += '\x1a';
  const QString path =
      QDir(folder).filePath(QStringLiteral("%1%2.db").arg(water ? "water" : "plate").arg(rows));
  QFile file(path);
  if (!file.open(QIODevice::WriteOnly)) return QString();
  file.write(header);
  file.write(body);
  return path;
}

// A shown plate view over a table of `rows` rows, with the footers written
// at every notification as the main window does.
struct View {
  explicit View(int rows) {
    table.SetLocation(WriteTable(dir.path(), rows, false));
    table.Open();
    table.SetFilter(QStringLiteral("NB_TYPE=0"));
    views::SetupView(&grid, views::ViewSpecOf(ShownKind::Plate), &table);
    QObject::connect(&grid, &DataGrid::SelectionChanged,
                     [this] { views::UpdateFooters(grid, stats, table); });
    grid.resize(1000, 600);
    grid.show();
    ComputeShownStats(table, &stats);
    QCoreApplication::processEvents();
  }
  QTemporaryDir dir;
  MeasurementTable table;
  TableStats stats;
  DataGrid grid;
};

std::map<int, std::unique_ptr<View>>& Views() {
  static std::map<int, std::unique_ptr<View>> views;
  return views;
}
View& ViewOf(int rows) {
  auto& v = Views()[rows];
  if (!v) v = std::make_unique<View>(rows);
  return *v;
}

void BM_MoveCurrentRow(benchmark::State& state) {
  View& v = ViewOf(int(state.range(0)));
  v.grid.view()->clearSelection();
  const int rows = v.grid.model()->rowCount();
  int row = 0;
  for (auto _ : state) {
    row = (row + 997) % rows;
    v.grid.view()->setCurrentIndex(v.grid.model()->index(row, 0));
  }
  if (v.table.CurrentIndex() != row) state.SkipWithError("the table did not follow the view");
}
BENCHMARK(BM_MoveCurrentRow)->Arg(6000)->Arg(100000)->Unit(benchmark::kMicrosecond);

void BM_MarkRow(benchmark::State& state) {
  View& v = ViewOf(int(state.range(0)));
  v.grid.view()->clearSelection();
  const int rows = v.grid.model()->rowCount();
  QItemSelectionModel* sel = v.grid.view()->selectionModel();
  int row = 0;
  for (auto _ : state) {
    // Ctrl+click on one more row; after every 500 marks the marks are cleared.
    if (row % 500 == 0) {
      state.PauseTiming();
      v.grid.view()->clearSelection();
      state.ResumeTiming();
    }
    row = (row + 1) % rows;
    sel->select(v.grid.model()->index(row, 0),
                QItemSelectionModel::Select | QItemSelectionModel::Rows);
  }
}
BENCHMARK(BM_MarkRow)->Arg(6000)->Arg(100000)->Unit(benchmark::kMicrosecond);

// The view of `rows` rows (arg 0), with every visible row marked when arg 1
// is set, for the time of a benchmark; the marks go at its end.
struct MarkedView {
  explicit MarkedView(benchmark::State& s) : state(s), v(ViewOf(int(s.range(0)))) {
    v.grid.view()->clearSelection();
    if (state.range(1)) v.grid.view()->selectAll();
  }
  ~MarkedView() {
    state.counters["marked"] = double(v.grid.MarkedRows().size());
    v.grid.view()->clearSelection();
  }
  MarkedView(const MarkedView&) = delete;
  MarkedView& operator=(const MarkedView&) = delete;

  benchmark::State& state;
  View& v;
};
void RowsAndMarks(benchmark::internal::Benchmark* b) {
  for (int rows : {6000, 100000})
    for (int marked : {0, 1}) b->Args({rows, marked});
}

// A report's walk over every shown row with the table's cursor, the view
// following to where it ends: per walk.
void BM_WalkTable(benchmark::State& state) {
  MarkedView m(state);
  int rows = 0;
  for (auto _ : state) {
    MeasurementTable::Walk walk(m.v.table);
    for (m.v.table.First(), rows = 0; !m.v.table.AtEnd(); m.v.table.Next()) ++rows;
  }
  if (m.v.grid.view()->currentIndex().row() != rows - 1)
    state.SkipWithError("the view did not follow the walk");
}
BENCHMARK(BM_WalkTable)->Apply(RowsAndMarks)->Unit(benchmark::kMillisecond);

// One footer update: of the table statistics (at most one row marked), or
// of every visible row marked.
void BM_FooterUpdate(benchmark::State& state) {
  MarkedView m(state);
  for (auto _ : state) views::UpdateFooters(m.v.grid, m.v.stats, m.v.table);
}
BENCHMARK(BM_FooterUpdate)->Apply(RowsAndMarks)->Unit(benchmark::kMicrosecond);

// The layers the main window's Open goes through, without the window: the
// table session, both views over its table with their footers, the series
// list. Timed from the chosen file to its first series painted.
void BM_OpenTable(benchmark::State& state) {
  QTemporaryDir dir;
  const QString path = WriteTable(dir.path(), int(state.range(0)), true);
  TableSession session;
  QWidget window;
  window.resize(1200, 700);
  DataGrid plate(&window), water(&window);
  QListWidget series(&window);
  plate.hide();
  water.setGeometry(200, 0, 1000, 700);
  series.setGeometry(0, 0, 200, 700);
  views::SetupView(&plate, views::ViewSpecOf(ShownKind::Plate), &session.Table());
  views::SetupView(&water, views::ViewSpecOf(ShownKind::Water), &session.Table());
  for (DataGrid* g : {&plate, &water})
    QObject::connect(g, &DataGrid::SelectionChanged,
                     [g, &session] { views::UpdateFooters(*g, session.Stats(), session.Table()); });
  window.show();
  QCoreApplication::processEvents();
  int shown = 0;
  for (auto _ : state) {
    session.Open(path);
    const ShownKind kind = session.ChooseShownKind();
    session.ShowKind(kind);
    DataGrid& grid = kind == ShownKind::Water ? water : plate;
    views::FitColumns(plate);
    views::FitColumns(water);
    {
      water.setEnabled(false);
      session.RebuildSeriesList(kind);
      water.setEnabled(true);
    }
    series.clear();
    series.addItems(session.SeriesList());
    if (series.count() > 0) series.setCurrentRow(0);
    if (series.currentItem()) session.ShowSeries(series.currentItem()->text());
    views::FitColumns(grid);
    QCoreApplication::processEvents();
    grid.view()->viewport()->repaint();
    shown = grid.model()->rowCount();
    state.PauseTiming();
    session.Close();
    QCoreApplication::processEvents();
    state.ResumeTiming();
  }
  if (shown != 6) state.SkipWithError("the first series did not show");
  state.counters["series"] = double(session.SeriesList().size());
}
BENCHMARK(BM_OpenTable)->Arg(100000)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia));
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  Views().clear();
  benchmark::Shutdown();
  return 0;
}
