#pragma once
// Removing rows from the table file for good: mark them deleted, pack the
// file and reopen it under the same filter.
#include <QString>
#include <vector>

#include "store/measurement_table.h"

// Marks the rows named by `bookmarks` (ascending) deleted, from the last to
// the first. Marking does not renumber records, so every bookmark stays valid
// until the pack. A failure stops the deletions and propagates (TableError);
// rows marked before it stay hidden until the next pack.
void DeleteBookmarkedRows(MeasurementTable& table,
                          const std::vector<MeasurementTable::BookmarkT>& bookmarks);

// Posts an edit in progress, packs the file, closes and reopens it: the
// filter in force stays and the first visible row becomes current.
void PackAndReopen(MeasurementTable& table);

// Names the rows a deletion takes, for the question before it: one row by
// what the operator knows it by ("образец 1 серии 3, 12.05.2010", a plate
// test "испытание № 2, 25.05.2010 10:20:30"), several by their number
// ("3 отмеченные строки").
QString RowsToDeleteText(const MeasurementTable& table,
                         const std::vector<MeasurementTable::BookmarkT>& bookmarks);
