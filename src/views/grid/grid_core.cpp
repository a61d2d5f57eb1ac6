#include "views/grid/grid_core.h"

#include <algorithm>

int FitColumnWidth(int outerWidth, int columnCount) {
  if (columnCount <= 0) return 2;
  return std::max(2, outerWidth / columnCount - 5);
}

std::vector<int> FitWidthsToTexts(const std::vector<int>& needed, int outerWidth, int clientWidth) {
  long long sum = 0;
  for (int w : needed) sum += std::max(2, w);
  if (sum <= clientWidth) {
    std::vector<int> widths;
    for (int w : needed) widths.push_back(std::max(2, w));
    return widths;
  }
  return std::vector<int>(needed.size(), FitColumnWidth(outerWidth, int(needed.size())));
}

std::vector<int> SpreadColumnWidths(const std::vector<GridColumn>& columns, int clientWidth) {
  std::vector<int> widths;
  long long fixedSum = 0, freeSum = 0;
  int freeCount = 0;
  for (const GridColumn& c : columns) {
    const int w = std::max(2, c.state.width);
    widths.push_back(w);
    if (c.fixedWidth) {
      fixedSum += w;
    } else {
      freeSum += w;
      ++freeCount;
    }
  }
  if (freeCount == 0) return widths;
  const long long room = std::max<long long>(clientWidth - fixedSum, 2LL * freeCount);
  // Cumulative rounding so that the free columns fill the room exactly.
  long long seen = 0, placed = 0;
  for (size_t i = 0; i < columns.size(); ++i) {
    if (columns[i].fixedWidth) continue;
    seen += widths[i];
    const long long end = room * seen / freeSum;
    widths[i] = int(std::max(2LL, end - placed));
    placed = end;
  }
  return widths;
}

int GridCore::ColumnOfField(const QString& field) const {
  for (size_t i = 0; i < columns_.size(); ++i)
    if (columns_[i].fieldName().compare(field, Qt::CaseInsensitive) == 0) return int(i);
  return -1;
}

bool GridCore::ClickTitle(int column, bool ctrl) {
  if (column < 0 || column >= int(columns_.size())) return false;
  const TitleState current = columns_[column].state.titleState;
  TitleState wanted;
  if (ctrl)
    wanted = TitleState::SortedNone;
  else
    wanted = current == TitleState::SortedUp ? TitleState::SortedDown : TitleState::SortedUp;
  if (wanted == current) return false;
  // Only one column may be sorted: a plain click resets every column first.
  if (!ctrl) ClearTitleStates();
  ColumnLayout& s = columns_[column].state;
  s.titleState = wanted;
  s.sortOrder = wanted == TitleState::SortedNone ? -1 : ++sortCounter_;
  return true;
}

void GridCore::ClearTitleStates() {
  for (GridColumn& c : columns_) {
    c.state.titleState = TitleState::SortedNone;
    c.state.sortOrder = -1;
  }
}
