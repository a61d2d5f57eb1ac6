#pragma once
// The table-making half of "Создать" without a window: a new table file at
// a path, the memory image of a download decoded into it by the decoder its
// device type chooses. The main window's Create_DB and the command-line
// download both end up here, so the two write the same file.
#include <QString>
#include <QStringList>

#include "store/decoders.h"

class MeasurementTable;

struct DownloadedRows {
  // The series numbers in the order decoded (water-permeability rows only).
  QStringList series;
  // The record count decoded: the identity's for water-permeability
  // images, the image's own for plate images.
  int recordCount = 0;
};

// Device types up to this one are water-permeability testers.
constexpr int kLastWaterDeviceType = 15;

// Creates the empty table file at `path` and opens it with no filter in
// force; a table open before is closed. Throws TableError.
void CreateEmptyTable(MeasurementTable& table, const QString& path);

// Whether a device type belongs to a water-permeability tester.
inline bool IsWaterDeviceType(int deviceType) { return deviceType <= kLastWaterDeviceType; }

// Creates and opens the table file at `path` (no filter in force), then
// decodes the image: types up to 15 with the water-permeability decoder,
// the others with the plate decoder. Throws TableError; after a failed
// decoding the table stays open with the rows posted so far, as in the
// main window.
DownloadedRows CreateTableFromDownload(MeasurementTable& table, const QString& path, DumpView dump,
                                       int deviceType, int deviceSerial, int recordCount);
