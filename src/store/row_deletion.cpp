#include "store/row_deletion.h"

void DeleteBookmarkedRows(MeasurementTable& table,
                          const std::vector<MeasurementTable::BookmarkT>& bookmarks) {
  for (auto it = bookmarks.rbegin(); it != bookmarks.rend(); ++it) {
    table.GotoBookmark(*it);
    table.DeleteRow();
  }
}

void PackAndReopen(MeasurementTable& table) {
  if (table.IsEditing()) table.PostRow();
  table.Pack();
  table.Close();
  table.Open();
}
