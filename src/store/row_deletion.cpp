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
