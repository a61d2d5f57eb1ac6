#include "store/series_list.h"

#include <QRegularExpression>
#include <functional>

#include "store/measurement_table.h"

namespace {

using FieldOfRow = std::function<FieldValue(int row, Field field)>;

std::vector<SeriesEntry> SplitIntoSeries(int rows, const FieldOfRow& field) {
  std::vector<SeriesEntry> list;
  int64_t previousSerial = 0;
  int64_t previousNumber = 0;
  for (int i = 0; i < rows; ++i) {
    const int64_t serial = ValueToInt(field(i, Field::Serial));
    const int64_t number = ValueToInt(field(i, Field::N));
    // Sample numbers rise within a series (a deleted row leaves a gap); a
    // number that does not rise starts the next series.
    if (i == 0 || serial != previousSerial || number <= previousNumber)
      list.push_back({QString::number(serial), ValueToText(field(i, Field::Date)).trimmed(),
                      ValueToText(field(i, Field::Type)).trimmed()});
    previousSerial = serial;
    previousNumber = number;
  }
  return list;
}

// The date of a stored start ("05.03.2024 09:15:00" -> "05.03.2024").
QString DateOf(const QString& start) { return start.section(QLatin1Char(' '), 0, 0); }

}  // namespace

std::vector<SeriesEntry> SeriesOfRows(const std::vector<MeasurementRow>& rows) {
  return SplitIntoSeries(int(rows.size()),
                         [&](int row, Field field) { return rows[size_t(row)][field]; });
}

std::vector<SeriesEntry> BuildSeriesList(MeasurementTable& table, bool waterViewShown) {
  table.ShowKind(waterViewShown ? ShownKind::Water : ShownKind::Plate);
  std::vector<SeriesEntry> list = SplitIntoSeries(
      table.VisibleRowCount(), [&](int row, Field field) { return table.FieldAt(row, field); });
  table.First();
  return list;
}

QStringList SeriesNumbers(const std::vector<SeriesEntry>& entries) {
  QStringList numbers;
  for (const SeriesEntry& e : entries) numbers.append(e.number);
  return numbers;
}

QString SeriesEntryText(const SeriesEntry& entry) {
  // Minutes tell the series of one day apart; the seconds only crowd the
  // narrow list.
  static const QRegularExpression seconds(QStringLiteral("(\\d{1,2}:\\d{2}):\\d{2}$"));
  QString start = entry.start;
  start.replace(seconds, QStringLiteral("\\1"));
  QStringList parts{entry.number};
  for (const QString& part : {start, entry.grade})
    if (!part.isEmpty()) parts.append(part);
  return parts.join(QStringLiteral(" · "));
}

bool SeriesEntryMatches(const SeriesEntry& entry, const QString& text) {
  const QStringList words = text.simplified().split(QLatin1Char(' '), Qt::SkipEmptyParts);
  for (const QString& word : words) {
    const bool matches = word.contains(QLatin1Char('.')) ? DateOf(entry.start).contains(word)
                                                         : entry.number.startsWith(word);
    if (!matches) return false;
  }
  return true;
}
