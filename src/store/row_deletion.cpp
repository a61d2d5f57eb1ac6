#include "store/row_deletion.h"

void DeleteBookmarkedRows(MeasurementTable& table,
                          const std::vector<MeasurementTable::BookmarkT>& bookmarks) {
  table.DeleteRows(bookmarks);
}

void PackAndReopen(MeasurementTable& table) {
  if (table.IsEditing()) table.PostRow();
  table.Pack();
  table.Close();
  table.Open();
}

namespace {

// "отмеченную строку", "отмеченные строки" or "отмеченных строк" after n.
QString MarkedRowsText(size_t n) {
  const size_t last = n % 10, lastTwo = n % 100;
  const char* words = "отмеченных строк";
  if (last == 1 && lastTwo != 11)
    words = "отмеченную строку";
  else if (last >= 2 && last <= 4 && (lastTwo < 12 || lastTwo > 14))
    words = "отмеченные строки";
  return QString::number(n) + QLatin1Char(' ') + QString::fromUtf8(words);
}

}  // namespace

QString RowsToDeleteText(const MeasurementTable& table,
                         const std::vector<MeasurementTable::BookmarkT>& bookmarks) {
  if (bookmarks.size() != 1) return MarkedRowsText(bookmarks.size());
  const MeasurementTable::BookmarkT row = bookmarks.front();
  auto text = [&](const char* field) {
    return ValueToText(table.FieldOfRecord(row, QLatin1String(field))).trimmed();
  };
  const QString n = QString::number(ValueToInt(table.FieldOfRecord(row, QStringLiteral("N"))));
  QString name, when;
  if (ValueToInt(table.FieldOfRecord(row, QStringLiteral("NB_TYPE"))) == 1) {
    // A series' start is stored as date and time; the date names the test.
    name = QStringLiteral("образец %1 серии %2").arg(n, text("SERIAL"));
    when = text("DATE").section(QLatin1Char(' '), 0, 0, QString::SectionSkipEmpty);
  } else {
    name = QStringLiteral("испытание № %1").arg(n);
    when = (text("DATE") + QLatin1Char(' ') + text("TIME")).trimmed();
  }
  return when.isEmpty() ? name : name + QStringLiteral(", ") + when;
}
