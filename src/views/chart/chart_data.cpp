#include "views/chart/chart_data.h"

#include <QDateTime>
#include <algorithm>
#include <unordered_set>

#include "store/spread.h"

namespace chart {

std::vector<ChartRow> ShownChartRows(const MeasurementTable& table) {
  std::vector<ChartRow> rows;
  if (!table.IsOpen()) return rows;
  const int count = table.VisibleRowCount();
  rows.reserve(size_t(count));
  for (int i = 0; i < count; ++i) {
    ChartRow row;
    row.bookmark = table.BookmarkAt(i);
    row.n = ValueToInt(table.FieldAt(i, QStringLiteral("N")));
    row.p = table.FieldAt(i, QStringLiteral("P"));
    row.r = table.FieldAt(i, QStringLiteral("R"));
    row.date = ValueToText(table.FieldAt(i, QStringLiteral("DATE"))).trimmed();
    row.time = ValueToText(table.FieldAt(i, QStringLiteral("TIME"))).trimmed();
    row.grade = ValueToText(table.FieldAt(i, QStringLiteral("TYPE"))).trimmed();
    rows.push_back(std::move(row));
  }
  return rows;
}

std::optional<double> GradePressure(const QString& grade) {
  if (!grade.startsWith(QLatin1Char('B'))) return std::nullopt;
  bool ok = false;
  const int number = grade.mid(1).toInt(&ok);
  if (!ok || number < 2 || number > 20 || number % 2 != 0 ||
      grade != QStringLiteral("B%1").arg(number))
    return std::nullopt;
  return number / 10.0;
}

namespace {

QDateTime TestMoment(const ChartRow& row) {
  return QDateTime::fromString(row.date + QLatin1Char(' ') + row.time,
                               QStringLiteral("dd.MM.yyyy HH:mm:ss"));
}

// Indexes of the rows in order of date and time.
std::vector<size_t> ByDateAndTime(const std::vector<ChartRow>& rows) {
  std::vector<QDateTime> moments;
  for (const ChartRow& row : rows) moments.push_back(TestMoment(row));
  std::vector<size_t> order(rows.size());
  for (size_t i = 0; i < order.size(); ++i) order[i] = i;
  std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) {
    const QDateTime& x = moments[a];
    const QDateTime& y = moments[b];
    if (x.isValid() != y.isValid()) return x.isValid();
    return x.isValid() && x < y;
  });
  return order;
}

void AddWaterLines(const std::vector<ChartRow>& rows, ChartData* data) {
  if (rows.empty()) return;
  const QString grade = rows.front().grade;
  for (const ChartRow& row : rows)
    if (row.grade != grade) return;
  data->grade = grade;
  data->gradePressure = GradePressure(grade);
}

void AddPlateLines(ChartData* data) {
  std::vector<double> values;
  for (const ChartPoint& point : data->points) values.push_back(point.y);
  const Spread spread = SpreadOf(values);
  if (spread.count == 0) return;
  data->mean = spread.mean;
  if (!spread.sd) return;
  data->bandLow = spread.mean - 2 * *spread.sd;
  data->bandHigh = spread.mean + 2 * *spread.sd;
}

}  // namespace

ChartData BuildChartData(ChartKind kind, const std::vector<ChartRow>& rows,
                         const std::vector<MeasurementTable::BookmarkT>& marked) {
  ChartData data;
  data.kind = kind;
  std::unordered_set<MeasurementTable::BookmarkT> markedSet;
  if (FootersShowMarkedRows(marked.size())) markedSet.insert(marked.begin(), marked.end());
  std::vector<size_t> order;
  if (kind == ChartKind::Plate) {
    order = ByDateAndTime(rows);
  } else {
    for (size_t i = 0; i < rows.size(); ++i) order.push_back(i);
  }
  for (size_t i : order) {
    const ChartRow& row = rows[i];
    ChartPoint point;
    point.x = double(data.points.size() + 1);
    point.y = StatValue(kind == ChartKind::Plate ? row.r : row.p);
    point.label =
        kind == ChartKind::Plate ? row.date + QLatin1Char(' ') + row.time : QString::number(row.n);
    point.marked = markedSet.count(row.bookmark) > 0;
    data.points.push_back(point);
  }
  if (kind == ChartKind::Plate)
    AddPlateLines(&data);
  else
    AddWaterLines(rows, &data);
  return data;
}

std::vector<MarkedValues> ShownValues(const std::vector<ChartRow>& rows) {
  std::vector<MarkedValues> out;
  out.reserve(rows.size());
  for (const ChartRow& row : rows) out.push_back({row.p, row.r});
  return out;
}

}  // namespace chart
