#pragma once
// The series list beside the water-permeability grid, built from the rows
// themselves in file order.
#include <QString>
#include <QStringList>

class MeasurementTable;

// Makes the kind filter of the shown view the filter in force ("NB_TYPE=1"
// when the water-permeability view is shown, else "NB_TYPE=0") and walks its
// rows in file order: a series starts at a row whose SERIAL differs from the
// previous row's or whose sample number N does not rise above the previous
// row's (so a row deleted inside a series does not split it).
// One entry per series, its SERIAL; two consecutive series of the same
// number give two entries. Leaves the first row current.
QStringList BuildSeriesList(MeasurementTable& table, bool waterViewShown);
