// Grid commands of the two views: fitting, colours, sorting, column layouts.
#include "shell/main_window.h"

// Fits the columns of the active view.
void TForm1::N23Click() {}
// Gives the current column of the active view a colour.
void TForm1::N17Click() {}
// Removes the current column's own colour.
void TForm1::N18Click() {}
// Removes every column colour of the active view.
void TForm1::N19Click() {}
// Clears the sorting of both views.
void TForm1::N33Click() {}
// Sorts the plate view by the column whose title was clicked.
void TForm1::DBGridPro1TitleStateChange(int) {}
// Sorts the water-permeability view by the column whose title was clicked.
void TForm1::DBGridPro2TitleStateChange(int) {}
// Marks the table modified when a cell edit begins.
void TForm1::DBGridPro1InitEdit() {}
// Selection statistics of the plate view.
void TForm1::DBGridPro1SelectionChange() {}
// Selection statistics of the water-permeability view.
void TForm1::DBGridPro2SelectionChange() {}
// Clears a grid's sort marks and drops its sort tag.
void TForm1::ClearSorting(TDBGridPro*, const QString&) {}
// Gives a grid's columns equal widths.
void TForm1::FitColumns(TDBGridPro*) {}
// Removes the own colours of every column of a grid.
void TForm1::ClearColumnColors(TDBGridPro*) {}
// Applies a stored column layout to a grid.
void TForm1::LoadColumnLayout(const QString&, TDBGridPro*) {}
// Stores a grid's column layout.
void TForm1::SaveColumnLayout(TDBGridPro*, const QString&) {}
// Minimum, mean and maximum of P and R over the visible rows.
void TForm1::find_mma() {}
