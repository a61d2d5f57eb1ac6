#pragma once
// What tells the two views of the table apart, named once: the rows each
// shows, its sort tag, the settings value of its column layout, its tab's
// caption, the object names of its tab and grid, and its columns.
#include <QString>
#include <array>
#include <vector>

#include "store/table_session.h"
#include "views/grid/data_grid.h"

namespace views {

struct ViewSpec {
  ShownKind kind;
  QString sortTag;      // the index tag of its sorting
  QString layoutValue;  // the settings value of its column layout
  QString caption;      // its tab's
  QString tabName;      // object names, by which tests find them
  QString gridName;
  int titleLines;
  bool columnMoving;  // the operator may move its columns
  std::vector<GridColumn> columns;
};

// The plate-test view, then the water-permeability view: the order of
// their tabs.
const std::array<ViewSpec, 2>& ViewSpecs();
const ViewSpec& ViewSpecOf(ShownKind kind);

// The columns of each view, in display order.
std::vector<GridColumn> PlateViewColumns();
std::vector<GridColumn> WaterViewColumns();

}  // namespace views
