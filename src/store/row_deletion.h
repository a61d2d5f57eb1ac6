#pragma once
// Removing rows from the table file for good: mark them deleted, pack the
// file and reopen it under the same filter.
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
