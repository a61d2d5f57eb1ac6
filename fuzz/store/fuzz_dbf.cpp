// Arbitrary bytes as a table file and as an index file: never a crash, and
// a table that loads gets tags whose written trees walk in the tags' order.
// Bytes that load as a table go, as a file kept in memory, through the
// engine's Open, a deletion, an append and the pack: what is read back
// after each is what the engine holds.
#include <cstdlib>
#include <cstring>

#include "store/dbf/dbf_table.h"
#include "store/dbf/mdx_index.h"
#include "support/memory_files.h"

namespace {

// The live records of an open table, as stored, one after the other.
std::string LiveRecords(const dbf::Table& t) {
  std::string out;
  for (uint32_t r = 1; r <= t.RecordCount(); ++r)
    if (!t.IsDeleted(r)) out.append(t.Record(r), size_t(t.RecordLength()));
  return out;
}

// Opens the file, deletes every third record, appends one, packs, and
// checks each step against a fresh open.
void ThroughTheFile(const QByteArray& bytes) {
  static MemoryFiles files;
  files.Clear();
  const QString path = QStringLiteral("/fuzz/t.db");
  files.Put("/fuzz/t.db", bytes.constData(), size_t(bytes.size()));
  files.Put("/fuzz/t.mdx", bytes.constData(), size_t(bytes.size()));
  dbf::Table table;
  try {
    table.Open(path);
  } catch (const dbf::Error&) {
    return;
  }
  if (table.RecordCount() > 2000) return;
  try {
    dbf::Index index(&table);
    index.Load();
    std::vector<uint32_t> marked;
    for (uint32_t r = table.RecordCount(); r >= 1; --r)
      if (r % 3 == 0) marked.push_back(r);
    size_t done = 0;
    table.MarkDeleted(marked, &done);
    if (done != marked.size()) std::abort();
    QByteArray blank = table.BlankRecord();
    table.AppendRecord(blank);
    const std::string before = LiveRecords(table);
    table.Pack();
    if (LiveRecords(table) != before) std::abort();
    table.Close();
    dbf::Table again;
    again.Open(path);
    if (LiveRecords(again) != before ||
        size_t(again.RecordCount()) * size_t(again.RecordLength()) != before.size())
      std::abort();
  } catch (const dbf::Error&) {
    // A field the engine cannot write into (a number that does not fit) ends it.
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const QByteArray bytes(reinterpret_cast<const char*>(data), int(size));

  try {
    const int tags = int(dbf::ReadMdxTags(bytes).size());
    for (int i = 0; i < tags; ++i) dbf::WalkMdxTag(bytes, i);
  } catch (const dbf::Error&) {
  }

  dbf::Table table;
  try {
    table.LoadImage(bytes);
  } catch (const dbf::Error&) {
    // The open reads the header as the image does, and refuses it as well.
    return 0;
  }
  ThroughTheFile(bytes);

  const int fields = int(table.Fields().size());
  for (uint32_t r = 1; r <= table.RecordCount() && r <= 16; ++r) {
    for (int f = 0; f < fields; ++f) {
      int64_t i = 0;
      double d = 0;
      table.Integer(table.Record(r), f, &i);
      table.Number(table.Record(r), f, &d);
      (void)table.Text(table.Record(r), f);
    }
  }
  if (table.RecordCount() > 2000) return 0;
  dbf::Index index(&table);
  int added = 0;
  for (int f = 0; f < fields && added < 3; ++f) {
    const char type = table.Fields()[size_t(f)].type;
    if (type != 'C' && type != 'N') continue;
    index.AddTag(QStringLiteral("T%1").arg(f), f, added % 2 == 1);
    ++added;
  }
  const QByteArray image = index.Image();
  const QStringList names = index.TagNames();
  for (int i = 0; i < names.size(); ++i) {
    if (dbf::WalkMdxTag(image, i) != *index.Order(names[i])) std::abort();
  }
  return 0;
}
