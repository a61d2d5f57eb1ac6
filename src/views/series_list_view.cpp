#include "views/series_list_view.h"

#include <QListWidget>
#include <algorithm>

namespace views {

void FillSeriesList(QListWidget& list, const std::vector<SeriesEntry>& entries) {
  list.clear();
  for (const SeriesEntry& e : entries) {
    auto* item = new QListWidgetItem(SeriesEntryText(e), &list);
    item->setData(kSeriesNumberRole, e.number);
  }
}

void NarrowSeriesList(QListWidget& list, const std::vector<SeriesEntry>& entries,
                      const QString& text) {
  const int count = std::min(list.count(), int(entries.size()));
  for (int i = 0; i < count; ++i)
    list.item(i)->setHidden(!SeriesEntryMatches(entries[size_t(i)], text));
}

QString SeriesNumberOf(const QListWidgetItem& item) {
  return item.data(kSeriesNumberRole).toString();
}

QListWidgetItem* FirstListedItem(const QListWidget& list) {
  for (int i = 0; i < list.count(); ++i)
    if (!list.item(i)->isHidden()) return list.item(i);
  return nullptr;
}

}  // namespace views
