// Arbitrary memory images through both decoders, then into a table file
// kept in memory (the engine's real code through the file operations seam):
// never a read outside the image, never a crash, rows that are whole
// records of their kind, and every row written reads back as decoded, also
// after the table is opened again.
#include <algorithm>
#include <cstdlib>

#include "store/decoders.h"
#include "store/measurement_table.h"
#include "support/memory_files.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static MemoryFiles files;
  files.Clear();
  // The first byte picks the instrument and the water record count; the rest
  // is the image, copied so that reads past its end are caught. An empty
  // input is an empty water image: it still runs the decoder, which gives
  // the fuzzer its first coverage when it starts from nothing.
  const uint8_t first = size > 0 ? data[0] : 0;
  const uint8_t* body = size > 0 ? data + 1 : data;
  const bool water = (first & 0x80) == 0;
  const int recordCount = first & 0x7F;
  size_t length = size > 0 ? size - 1 : 0;
  if (!water && length >= 4) {
    // A plate image ends after 64 records' worth of bytes: every record
    // takes the same steps, and without the bound a 2 KB image of 1-byte
    // records decodes to two thousand rows on every input. A shorter image
    // ends where the input does.
    const size_t recordSize = size_t(body[2] | body[3] << 8);
    if (recordSize > 0) length = std::min(length, 4 + 64 * recordSize + 16);
  }
  std::vector<uint8_t> image(body, body + length);
  const DumpView dump{image.data(), int(image.size())};

  std::vector<MeasurementRow> rows;
  ShownKind kind = ShownKind::Plate;
  if (water) {
    WaterDump decoded = DecodeWaterDump(dump, 1, recordCount);
    if (decoded.series.size() > recordCount) abort();
    if (decoded.rows.size() != size_t(decoded.series.size()) * 6) abort();
    if (int64_t(decoded.rows.size()) * 6 > int64_t(image.size())) abort();  // 36 bytes a series
    rows = std::move(decoded.rows);
    kind = ShownKind::Water;
  } else {
    PlateDump decoded = DecodePlateDump(dump, 13, 4242);
    if (decoded.rows.size() > decoded.header.recordCount) abort();
    rows = std::move(decoded.rows);
  }
  for (const MeasurementRow& row : rows)
    if (row[Field::NbType] != FieldValue(int64_t(kind))) abort();

  // No rows: the table would be the same empty one for every such input.
  if (rows.empty()) return 0;
  // The table writes and reads every row by the same code, so a few rows
  // show a fault there as well as a thousand do; without a bound, a 1 KB
  // plate image of 1-byte records writes a thousand rows on every input.
  constexpr size_t kRowsToStore = 12;  // two water series
  if (rows.size() > kRowsToStore) rows.resize(kRowsToStore);

  // The file as a new table holds it, made once.
  static const QByteArray start = MeasurementTable::NewFileImage();
  files.Put("/fuzz/fuzz.db", start.constData(), size_t(start.size()));
  MeasurementTable table;
  table.SetLocation(QStringLiteral("/fuzz/fuzz.db"));
  table.Open(MeasurementTable::OpenMode::NewFile);
  table.AppendRows(rows);
  table.Close();
  table.Open();
  if (table.StoredRowCount() != int(rows.size())) abort();
  for (int i = 0; i < int(rows.size()); ++i) {
    const uint32_t record = uint32_t(i + 1);
    for (Field f : {Field::N, Field::NbType, Field::Serial}) {
      if (table.FieldOfRecord(record, f) != rows[size_t(i)][f]) abort();
    }
    const QString type = ValueToText(table.FieldOfRecord(record, Field::Type)).trimmed();
    if (type != ValueToText(rows[size_t(i)][Field::Type])) abort();
  }
  table.Close();
  return 0;
}
