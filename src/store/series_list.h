#pragma once
// The series list beside the water-permeability grid, built from the rows
// themselves in file order, and what the operator's search makes of it.
#include <QString>
#include <QStringList>
#include <vector>

#include "store/measurement_row.h"

class MeasurementTable;

// One series of the list: it stands for its number (SERIAL) wherever the
// list is used; its start and grade are those of its first row, as stored
// (DATE, TYPE) and as the report prints them.
struct SeriesEntry {
  QString number;
  QString start;  // "05.03.2024 09:15:00"
  QString grade;  // "B8", "Не ГОСТ" or empty

  friend bool operator==(const SeriesEntry& a, const SeriesEntry& b) {
    return a.number == b.number && a.start == b.start && a.grade == b.grade;
  }
};

// The series of rows in file order: a series starts at a row whose SERIAL
// differs from the previous row's or whose sample number N does not rise
// above the previous row's (so a row deleted inside a series does not split
// it). Two consecutive series of the same number give two entries.
std::vector<SeriesEntry> SeriesOfRows(const std::vector<MeasurementRow>& rows);

// Makes the kind filter of the shown view the filter in force ("NB_TYPE=1"
// when the water-permeability view is shown, else "NB_TYPE=0") and splits
// its rows in file order as SeriesOfRows does. Leaves the first row current.
std::vector<SeriesEntry> BuildSeriesList(MeasurementTable& table, bool waterViewShown);

// The numbers of the entries, in list order.
QStringList SeriesNumbers(const std::vector<SeriesEntry>& entries);

// What the list shows of an entry: "12 · 05.03.2024 09:15 · B8" (the start
// without its seconds; a part the rows leave blank is left out).
QString SeriesEntryText(const SeriesEntry& entry);

// Whether the entry stays listed for the search text: every word of it
// must match, a word with a dot the start's date ("05.03", "03.2024",
// "05.03.2024"), any other word the start of the number. An empty text
// lists every entry.
bool SeriesEntryMatches(const SeriesEntry& entry, const QString& text);
