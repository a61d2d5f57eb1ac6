#pragma once
// Turn an instrument's memory image into table rows, as values: the
// water-permeability tester stores one 36-byte record per series of six
// samples, the plate tester a counted list of fixed-size test records.
//
// The decoders take the image bytes and the identity values as parameters so
// that they work without the serial link and without a table file; the
// caller passes the image and the identity of the download that read them.
#include <QString>
#include <QStringList>
#include <cstdint>
#include <vector>

#include "store/measurement_row.h"

// A read-only view of a memory image. Reads outside it give 0, so that a
// damaged image can never make a decoder read foreign memory.
struct DumpView {
  const uint8_t* data = nullptr;
  int size = 0;

  uint8_t at(int offset) const { return (data && offset >= 0 && offset < size) ? data[offset] : 0; }
  // Whether the bytes [offset, offset + count) all lie inside the image.
  bool holds(int64_t offset, int64_t count) const {
    return offset >= 0 && count >= 0 && offset + count <= size;
  }
};

// Three bytes year - 2000, month, day -> DD.MM.YYYY; a day outside 1..31 or a
// month outside 1..12 is written as 01.
QString DumpDateText(DumpView dump, int offset);
// Three bytes hours, minutes, seconds -> HH:MM:SS; hours above 23 and minutes
// or seconds above 59 are written as 00.
QString DumpTimeText(DumpView dump, int offset);
// As DumpTimeText, but the hours are kept whatever their value (at least two
// digits), since a sample may be under pressure for days.
QString DumpDurationText(DumpView dump, int offset);
// Unsigned 16-bit little-endian word.
uint16_t dump_word(DumpView dump, int offset);

constexpr int kWaterRecordSize = 36;
constexpr uint8_t kNoResultSeconds = 156;  // seconds byte of a sample without a result
constexpr uint8_t kNonStandardMode = 5;    // test not run to the standard

// One sample's pressure step count: how many holding periods had begun when
// filtration was observed. 0 for a sample without a result or a zero step.
int WaterStepCount(DumpView dump, int record, int sample);
// The grade of the series in the record at `record`: "B2".."B20", "Не ГОСТ"
// or empty.
QString WaterGrade(DumpView dump, int record);

// The rows of a water-permeability image and the list of its series.
struct WaterDump {
  std::vector<MeasurementRow> rows;
  QStringList series;  // each series' number, in image order, repeats kept
};

// Decodes `recordCount` water-permeability records into six rows each
// (NB_TYPE 1), samples 1 to 6 in order. A count that reaches past the image
// stops at its end.
WaterDump DecodeWaterDump(DumpView dump, int deviceType, int recordCount);

// What the plate image says about itself: its record count and record size.
struct PlateDumpHeader {
  uint16_t recordCount = 0;
  uint16_t recordSize = 0;
};

// The rows of a plate image and its own count and size, which replace the
// identity's record count.
struct PlateDump {
  PlateDumpHeader header;
  std::vector<MeasurementRow> rows;
};

// Decodes the plate tester's records into one row each (NB_TYPE 0). A count
// or size that reaches past the image stops at its end.
PlateDump DecodePlateDump(DumpView dump, int deviceType, int deviceSerial);

// The plate text of a plate byte: "40x40 мм" for a square plate (bit 7),
// "диам. 50 мм" for a round one.
QString PlateText(uint8_t plate);
