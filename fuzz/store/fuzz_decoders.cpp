// Arbitrary memory images through both decoders into a table file kept in
// memory (the engine's real code through the file operations seam): never
// a read outside the image, never a crash, and every row written reads back
// as a row of its kind, also after the table is opened again.
#include <cstdlib>

#include "store/decoders.h"
#include "store/measurement_table.h"
#include "support/memory_files.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  static MemoryFiles files;
  files.Clear();
  // The first byte picks the instrument and the water record count; the rest
  // is the image, copied so that reads past its end are caught.
  const bool water = (data[0] & 0x80) == 0;
  const int recordCount = data[0] & 0x7F;
  std::vector<uint8_t> image(data + 1, data + size);
  const DumpView dump{image.data(), int(image.size())};

  MeasurementTable table;
  table.SetLocation(QStringLiteral("/fuzz/fuzz.db"));
  table.CreateFile();
  table.Open();
  int expectedKind = 0;
  if (water) {
    QStringList series;
    DecodeWaterDump(table, dump, 1, recordCount, &series);
    if (series.size() > recordCount) abort();
    expectedKind = 1;
  } else {
    DecodePlateDump(table, dump, 13, 4242);
  }
  table.SetFilter(QString());
  int rows = 0;
  for (table.First(); !table.AtEnd(); table.Next(), ++rows) {
    if (table.GetInt(QStringLiteral("NB_TYPE")) != expectedKind) abort();
  }
  table.Close();
  table.Open();
  if (table.StoredRowCount() != rows) abort();
  table.Close();
  return 0;
}
