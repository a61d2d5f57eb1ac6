#include "store/create_from_download.h"

#include "store/measurement_table.h"

void CreateEmptyTable(MeasurementTable& table, const QString& path) {
  if (table.IsOpen()) table.Close();
  table.SetLocation(path);
  // A new table starts with no filter of an earlier one.
  table.SetFilter(QString());
  table.CreateFile();
  table.Open();
}

DownloadedRows CreateTableFromDownload(MeasurementTable& table, const QString& path, DumpView dump,
                                       int deviceType, int deviceSerial, int recordCount) {
  CreateEmptyTable(table, path);
  DownloadedRows out;
  if (IsWaterDeviceType(deviceType)) {
    out.recordCount = recordCount;
    DecodeWaterDump(table, dump, deviceType, recordCount, &out.series);
  } else {
    // The image's own count replaces the one of the identification frame.
    out.recordCount = dump_word(dump, 0);
    DecodePlateDump(table, dump, deviceType, deviceSerial);
  }
  return out;
}
