#pragma once
// Which rows of an opened table the main window shows, without a window:
// the view of the kind the table holds, and after "Открыть" the first
// entry of the series list. The command-line tool uses it to show, export
// and print the rows the program would.
#include <QString>

class MeasurementTable;

enum class ShownKind { Plate, Water };

// As the tabs are chosen: the water-permeability view when the table holds
// water-permeability rows, else the plate view. Leaves that kind's filter
// ("NB_TYPE=1" or "NB_TYPE=0") in force.
ShownKind ChooseShownKind(MeasurementTable& table);

// After "Открыть": builds the series list of the shown view and, when it
// has entries, shows the first one ("SERIAL=" and its number). Returns
// that entry, or an empty text when the kind filter stays in force.
QString ShowFirstSeries(MeasurementTable& table, ShownKind kind);

// The device type the reports go by after "Открыть": that of the table's
// first stored row, 0 for an empty table. Leaves no filter in force.
int OpenedDeviceType(MeasurementTable& table);
