#pragma once
// The series list beside the water-permeability grid as the operator sees
// it: one item per series with its number, start and grade, narrowed by
// the search text above it. Each item stands for its series number.
#include <QString>
#include <Qt>
#include <vector>

#include "store/series_list.h"

class QListWidget;
class QListWidgetItem;

namespace views {

// Where an item keeps the number of its series.
constexpr int kSeriesNumberRole = Qt::UserRole;

// Replaces the items by one per entry (SeriesEntryText, the number in
// kSeriesNumberRole), every one listed.
void FillSeriesList(QListWidget& list, const std::vector<SeriesEntry>& entries);

// Lists the items whose entry (item i is entries[i]) matches the search
// text and hides the others; the current item stays current.
void NarrowSeriesList(QListWidget& list, const std::vector<SeriesEntry>& entries,
                      const QString& text);

// The series number an item stands for.
QString SeriesNumberOf(const QListWidgetItem& item);

// The first item listed, or null.
QListWidgetItem* FirstListedItem(const QListWidget& list);

}  // namespace views
