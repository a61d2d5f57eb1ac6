// Files that are not our table, or are damaged, or are held by another
// writer: Open fails with an error, nothing crashes, the file stays as it was.
#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>
#include <functional>

#include "support/store_fixture.h"
#include "support/test_env.h"

namespace {

void WriteFile(const QString& path, const QByteArray& bytes) {
  QFile f(path);
  ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
  f.write(bytes);
}

// Descriptor `i` (0-based) of a table image.
char* Descriptor(QByteArray& b, int i) { return b.data() + 32 + 32 * i; }

TEST(BadTableInput, OpenFailsAndLeavesTheFileAlone) {
  QTemporaryDir dir;
  MeasurementTable maker;
  const QString good =
      MakeStoreTable(maker, dir, {PlateRow(1, 5, 1, 2), WaterRow(1, 7, 0.2, "B2")});
  maker.Close();
  const QByteArray image = ReadAll(good);

  struct Case {
    const char* name;
    std::function<QByteArray()> bytes;
  } cases[] = {
      {"empty", [] { return QByteArray(); }},
      {"text file", [] { return QByteArray("N;DATE;TIME\n1;01.02.2024;10:00\n"); }},
      {"truncated header", [&] { return image.left(500); }},
      {"only the fixed header", [&] { return image.left(32); }},
      {"header length beyond the descriptors",
       [&] {
         QByteArray b = image;
         b[8] = char(0xFF);
         b[9] = char(0x7F);
         return b;
       }},
      {"record length disagrees",
       [&] {
         QByteArray b = image;
         b[10] = char(0xE2);
         return b;
       }},
      {"field length disagrees",
       [&] {
         QByteArray b = image;
         Descriptor(b, 1)[16] = 21;
         return b;
       }},
      {"no end of descriptors",
       [&] {
         QByteArray b = image;
         b[960] = 'X';
         return b;
       }},
      {"foreign table without SERIAL",
       [&] {
         QByteArray b = image;
         memcpy(Descriptor(b, 4), "SERIAX", 6);
         return b;
       }},
      {"SERIAL as N(10)",
       [&] {
         QByteArray b = image;
         Descriptor(b, 4)[16] = 10;
         Descriptor(b, 5)[16] = 3;  // keep the record length
         return b;
       }},
      {"P without decimals",
       [&] {
         QByteArray b = image;
         Descriptor(b, 6)[17] = 0;
         return b;
       }},
      {"TYPE numeric",
       [&] {
         QByteArray b = image;
         Descriptor(b, 9)[11] = 'N';
         return b;
       }},
      {"foreign table whose header count is stale",
       [&] {
         QByteArray b = image;
         b[4] = 9;
         memcpy(Descriptor(b, 0), "NN", 2);
         return b;
       }},
      {"DATE numeric with decimals",
       [&] {
         QByteArray b = image;
         Descriptor(b, 1)[11] = 'N';
         Descriptor(b, 1)[17] = 30;
         return b;
       }},
  };
  for (const Case& c : cases) {
    const QString path = dir.filePath("bad.db");
    const QByteArray bytes = c.bytes();
    WriteFile(path, bytes);
    MeasurementTable t;
    t.SetLocation(path);
    EXPECT_THROW(t.Open(), TableError) << c.name;
    EXPECT_FALSE(t.IsOpen()) << c.name;
    EXPECT_EQ(t.VisibleRowCount(), 0) << c.name;
    EXPECT_TRUE(t.AtEnd()) << c.name;
    EXPECT_EQ(ReadAll(path), bytes) << c.name;
    EXPECT_FALSE(QFile::exists(dir.filePath("bad.mdx"))) << c.name;
  }

  MeasurementTable t;
  t.SetLocation(dir.filePath("missing.db"));
  EXPECT_THROW(t.Open(), TableError);
  t.SetLocation(dir.path());
  EXPECT_THROW(t.Open(), TableError);

  // Held by another writer: refused, and the holder keeps working.
  MeasurementTable holder;
  holder.SetLocation(good);
  holder.Open();
  t.SetLocation(good);
  EXPECT_THROW(t.Open(), TableError);
  EXPECT_EQ(ReadAll(good), image);
  AppendStoreRow(holder, PlateRow(3, 5, 1, 2));
  EXPECT_EQ(holder.StoredRowCount(), 3);
}

TEST(BadTableInput, NarrowerIntegerFieldsBindAndMissingOnesDoNot) {
  QTemporaryDir dir;
  MeasurementTable maker;
  const QString path = MakeStoreTable(maker, dir, {PlateRow(1, 5, 1, 2)});
  maker.Close();
  QByteArray b = ReadAll(path);
  // Narrower integer fields (SERIAL N(8), DEV_TYPE N(5)) still bind: both
  // are integers of at most 9 digits. Renaming O1 makes a schema field
  // missing; named back, the table opens.
  memcpy(Descriptor(b, 13), "EXTRA\0", 6);
  Descriptor(b, 4)[16] = 8;
  Descriptor(b, 3)[16] = 5;
  WriteFile(path, b);
  MeasurementTable t;
  t.SetLocation(path);
  EXPECT_THROW(t.Open(), TableError);
  memcpy(Descriptor(b, 13), "O1\0\0\0\0", 6);
  WriteFile(path, b);
  t.Open();
  EXPECT_EQ(t.GetInt("P"), 1);
  EXPECT_EQ(t.GetInt("DEV_TYPE"), 16);
  EXPECT_EQ(t.GetInt("SERIAL"), 5);
  EXPECT_EQ(t.StoredRowCount(), 1);
}

}  // namespace
