// Arbitrary memory images through both decoders into a real table file:
// never a read outside the image, never a crash, and every row written reads
// back as a row of its kind.
#include <QDir>
#include <QTemporaryDir>
#include <cstdlib>

#include "store/decoders.h"
#include "store/measurement_table.h"

namespace {
QTemporaryDir& Folder() {
  static QTemporaryDir dir;
  return dir;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  // The first byte picks the instrument and the water record count; the rest
  // is the image, copied so that reads past its end are caught.
  const bool water = (data[0] & 0x80) == 0;
  const int recordCount = data[0] & 0x7F;
  std::vector<uint8_t> image(data + 1, data + size);
  const DumpView dump{image.data(), int(image.size())};

  MeasurementTable table;
  table.SetLocation(QDir(Folder().path()).filePath(QStringLiteral("fuzz.db")));
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
  for (table.First(); !table.AtEnd(); table.Next()) {
    if (table.GetInt(QStringLiteral("NB_TYPE")) != expectedKind) abort();
  }
  table.Close();
  return 0;
}
