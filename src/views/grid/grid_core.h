#pragma once
// The grid's behaviour that needs no window: title clicks with their sort
// marks and counter, column look-up by field, widths for fitting.
#include <QString>
#include <vector>

#include "views/grid/grid_column.h"

// Equal width for every column: outer width div count - 5, at least 2.
int FitColumnWidth(int outerWidth, int columnCount);

// The widths "Выровнять столбцы" gives: each column the width its texts
// need (`needed`) when all of them together fit into `clientWidth`, else
// equal widths from the outer width (FitColumnWidth).
std::vector<int> FitWidthsToTexts(const std::vector<int>& needed, int outerWidth, int clientWidth);

// Spreads the columns over `clientWidth`: fixed-width columns keep their
// width, the others share the rest in proportion to their current widths
// (at least 2 pixels each). Returns the new widths in column order.
std::vector<int> SpreadColumnWidths(const std::vector<GridColumn>& columns, int clientWidth);

class GridCore {
 public:
  std::vector<GridColumn>& columns() { return columns_; }
  const std::vector<GridColumn>& columns() const { return columns_; }

  // First column bound to the field, ignoring letter case; -1 when none.
  int ColumnOfField(const QString& field) const;

  // A click on a title (Ctrl asks for "unsorted"). Returns true when the
  // column's state changed, that is when the title-state event is due.
  bool ClickTitle(int column, bool ctrl);
  // Every column unsorted with sort order -1; raises nothing.
  void ClearTitleStates();

  int sortCounter() const { return sortCounter_; }

 private:
  std::vector<GridColumn> columns_;
  int sortCounter_ = 0;
};
