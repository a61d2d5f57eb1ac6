#pragma once
// One column of the data grid: its binding and look, and the run-time state
// a column layout carries (width, own colour, cell alignment, sort mark).
#include <QString>

#include "views/layout/column_layout_text.h"

enum class Presentation {
  Plain,   // the field's own text
  Number,  // a number shown with the column's display format ("0.0")
  Text,    // the field's content as text
};

struct GridColumn {
  // What a column layout carries (field name, width, colour, alignment,
  // title state, sort order and the properties this program never changes).
  ColumnLayout state;

  QString caption;
  CellAlign titleAlignment = CellAlign::Default;
  CellAlign footerAlignment = CellAlign::Default;
  Presentation presentation = Presentation::Plain;
  QString displayFormat;  // "0.0" or empty
  bool readOnly = false;
  bool fixedWidth = false;
  QString footerText;
  QString footerToolTip;  // what the footer's text is

  const QString& fieldName() const { return state.fieldName; }
};
