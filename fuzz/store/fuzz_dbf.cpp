// Arbitrary bytes as a table file and as an index file: never a crash, and
// a table that loads gets tags whose written trees walk in the tags' order.
#include <cstdlib>

#include "store/dbf/dbf_table.h"
#include "store/dbf/mdx_index.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const QByteArray bytes(reinterpret_cast<const char*>(data), int(size));

  try {
    for (const dbf::TagInfo& t : dbf::ReadMdxTags(bytes)) (void)t;
    const int tags = int(dbf::ReadMdxTags(bytes).size());
    for (int i = 0; i < tags; ++i) dbf::WalkMdxTag(bytes, i);
  } catch (const dbf::Error&) {
  }

  dbf::Table table;
  try {
    table.LoadImage(bytes);
  } catch (const dbf::Error&) {
    return 0;
  }
  const int fields = int(table.Fields().size());
  for (uint32_t r = 1; r <= table.RecordCount() && r <= 64; ++r) {
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
