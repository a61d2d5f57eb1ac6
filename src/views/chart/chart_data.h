#pragma once
// What the chart beside the grid draws, as plain values: for a
// water-permeability series the pressure at which each sample let water
// through, with the pressure of the grade reached; for plate tests R of each
// test in order of date and time, with its mean and the band mean ± 2 s.
#include <QString>
#include <optional>
#include <vector>

#include "store/measurement_table.h"
#include "store/table_stats.h"

namespace chart {

enum class ChartKind { Plate, Water };

// A shown row as the chart reads it.
struct ChartRow {
  MeasurementTable::BookmarkT bookmark = 0;
  int64_t n = 0;
  FieldValue p;
  FieldValue r;
  QString date;   // plate: DD.MM.YYYY; water: with the start time
  QString time;   // plate: HH:MM:SS
  QString grade;  // water: "B2" … "B20", "Не ГОСТ" or empty
};

// The rows the table shows, in the order shown.
std::vector<ChartRow> ShownChartRows(const MeasurementTable& table);

struct ChartPoint {
  double x = 0;  // 1, 2, … in the order drawn
  double y = 0;
  QString label;  // sample number (water), date and time (plate)
  bool marked = false;
};

struct ChartData {
  ChartKind kind = ChartKind::Plate;
  std::vector<ChartPoint> points;
  // Water: the grade all rows shown share and its pressure; none when they
  // differ or the grade is not one of B2 … B20.
  QString grade;
  std::optional<double> gradePressure;
  // Plate: mean of R; the band mean ± 2 s with two or more tests.
  std::optional<double> mean;
  std::optional<double> bandLow;
  std::optional<double> bandHigh;
};

// "B2" -> 0.2 МПа … "B20" -> 2.0 МПа; none for anything else.
std::optional<double> GradePressure(const QString& grade);

// Water: P of each row in the order shown. Plate: R of each row in order of
// date and time (rows of equal or unreadable date keep the order shown,
// unreadable ones last). Points of the marked rows are flagged once two or
// more rows are marked, as the footers count them.
ChartData BuildChartData(ChartKind kind, const std::vector<ChartRow>& rows,
                         const std::vector<MeasurementTable::BookmarkT>& marked);

// The stored P and R of the rows shown, for the spread.
std::vector<MarkedValues> ShownValues(const std::vector<ChartRow>& rows);

}  // namespace chart
