// Sort tags of the measurement table and the index file behind them: the
// order the table shows must be the order any reader walks in the file.
#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>
#include <random>

#include "store/dbf/mdx_index.h"
#include "support/store_fixture.h"
#include "support/test_env.h"

namespace {

std::vector<uint32_t> VisibleRecords(MeasurementTable& t) {
  std::vector<uint32_t> out;
  for (int i = 0; i < t.VisibleRowCount(); ++i) out.push_back(t.BookmarkAt(i));
  return out;
}

std::vector<uint32_t> LiveOnly(MeasurementTable& t, std::vector<uint32_t> recs) {
  std::vector<uint32_t> out;
  const QByteArray b = ReadAll(t.FilePath());
  for (uint32_t r : recs)
    if (b.at(961 + int(r - 1) * 480) != '*') out.push_back(r);
  return out;
}

QString MdxPath(const MeasurementTable& t) { return dbf::Index::PathFor(t.FilePath()); }

// The records of tag `tag` as a reader of the file walks them.
std::vector<uint32_t> Walk(const MeasurementTable& t, int tag) {
  return dbf::WalkMdxTag(ReadAll(MdxPath(t)), tag);
}

class SortTagTest : public ::testing::Test {
 protected:
  QTemporaryDir dir;
  MeasurementTable table;
};

TEST_F(SortTagTest, TagsOrderRowsAscendingAndDescending) {
  // P values chosen around the places where the decimal key form differs
  // from plain byte order: zero, below 0.1, negatives, ties.
  const double ps[] = {0.2, 150, 0.05, -3.5, 0, 12.34, -0.2, 1, 0.05, -1000, 0.000000001};
  std::vector<StoreRow> rows;
  for (int i = 0; i < 11; ++i) rows.push_back(PlateRow(i + 1, 100 - i, ps[i], 0));
  rows[3].push_back({"ZAV", QString::fromUtf8("Ёлка")});
  rows[4].push_back({"ZAV", QString::fromUtf8("ab")});
  rows[5].push_back({"ZAV", QString::fromUtf8("a")});
  rows[6].push_back({"ZAV", QString::fromUtf8("Яма")});
  MakeStoreTable(table, dir, rows);

  struct Case {
    const char* field;
    bool descending;
    std::vector<uint32_t> records;
  } cases[] = {
      {"P", false, {10, 4, 7, 5, 11, 3, 9, 1, 8, 6, 2}},
      {"P", true, {2, 6, 8, 1, 3, 9, 11, 5, 7, 4, 10}},
      {"SERIAL", false, {11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1}},
      // Blanks first, then byte order of Windows-1251; ties by record.
      {"ZAV", false, {1, 2, 3, 8, 9, 10, 11, 6, 5, 4, 7}},
      {"ZAV", true, {7, 4, 5, 6, 1, 2, 3, 8, 9, 10, 11}},
  };
  for (const Case& c : cases) {
    table.AddSortTag("tab1", c.field, c.descending);
    table.SelectSortTag("tab1");
    EXPECT_EQ(VisibleRecords(table), c.records) << c.field << c.descending;
    EXPECT_EQ(Walk(table, 0), c.records) << c.field << c.descending;
  }
  table.SelectSortTag("");
  EXPECT_EQ(VisibleRecords(table), (std::vector<uint32_t>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11}));
}

TEST_F(SortTagTest, IndexFileLayout) {
  MakeStoreTable(table, dir, {PlateRow(1, 65535, 0.2, 0), PlateRow(2, 17, 12.34, 0)});
  table.AddSortTag("tab1", "P", false);
  table.AddSortTag("tab2", "DATE", true);
  const QByteArray m = ReadAll(MdxPath(table));
  ASSERT_GE(m.size(), 2048 + 4 * 1024);
  EXPECT_EQ(m.size() % 512, 0);
  EXPECT_EQ(uint8_t(m[0]), 0x02);
  EXPECT_EQ(m.mid(4, 16), QByteArray("data").leftJustified(16, '\0'));
  EXPECT_EQ(m.mid(20, 12).toHex(), QByteArray("0200"
                                              "0004"
                                              "01"
                                              "30"
                                              "2000"
                                              "0200"
                                              "00"
                                              "c9"));
  EXPECT_EQ(int(m[32]) + 256 * uint8_t(m[33]), m.size() / 512);
  EXPECT_EQ(uint8_t(m[529]), 0x01);
  const auto tags = dbf::ReadMdxTags(m);
  ASSERT_EQ(tags.size(), 2u);
  EXPECT_EQ(tags[0].name, QByteArray("TAB1"));
  EXPECT_EQ(tags[0].expression, QByteArray("P"));
  EXPECT_EQ(tags[0].keyType, 'N');
  EXPECT_EQ(tags[0].keyLength, 12);
  EXPECT_FALSE(tags[0].descending);
  EXPECT_EQ(tags[1].name, QByteArray("TAB2"));
  EXPECT_EQ(tags[1].keyType, 'C');
  EXPECT_EQ(tags[1].keyLength, 20);
  EXPECT_TRUE(tags[1].descending);
  // Tag header of tab1: key length 12, 63 keys a node, items of 16 bytes.
  const int th = 512 * (uint8_t(m[544]) | uint8_t(m[545]) << 8);
  EXPECT_EQ(m.mid(th + 8, 12).toHex(), QByteArray("004e00000c003f0000001000"));
  EXPECT_EQ(uint8_t(ReadAll(table.FilePath())[28]), 1);
  // The leaf holds the record numbers and the decimal keys.
  const int root = 512 * (uint8_t(m[th]) | uint8_t(m[th + 1]) << 8);
  EXPECT_EQ(m.mid(root, 40).toHex(), QByteArray("0200000000000000"
                                                "01000000"
                                                "340920000000000000000000"
                                                "02000000"
                                                "361112340000000000000000"));
}

TEST_F(SortTagTest, ManyRowsMakeATreeThatWalksInOrder) {
  std::mt19937 rng(7);
  std::uniform_int_distribution<int> dist(-50000, 50000);
  MakeStoreTable(table, dir, {});
  for (int i = 0; i < 3000; ++i) {
    AppendStoreRow(table, {{"P", dist(rng) / 1000.0},
                           {"DATE", QString::number(dist(rng) % 97)},
                           {"NB_TYPE", int64_t(i % 2)}});
  }
  table.AddSortTag("tab1", "P", false);
  table.AddSortTag("tab2", "DATE", true);
  for (int tag = 0; tag < 2; ++tag) {
    table.SelectSortTag(tag == 0 ? "tab1" : "tab2");
    const std::vector<uint32_t> shown = VisibleRecords(table);
    ASSERT_EQ(shown.size(), 3000u);
    EXPECT_EQ(Walk(table, tag), shown);
    for (size_t i = 1; i < shown.size(); ++i) {
      const FieldValue a = table.FieldOfRecord(shown[i - 1], tag == 0 ? "P" : "DATE");
      const FieldValue b = table.FieldOfRecord(shown[i], tag == 0 ? "P" : "DATE");
      if (tag == 0) {
        ASSERT_LE(ValueToFloat(a), ValueToFloat(b));
      } else {
        ASSERT_GE(ValueToText(a).toLatin1(), ValueToText(b).toLatin1());
      }
    }
  }
  // A reader of our own making in another language walks the same trees
  // and checks that each inner key is the last key under its child.
  const char* script = R"(
import sys, struct
b = open(sys.argv[1], 'rb').read()
u16 = lambda o: struct.unpack_from('<H', b, o)[0]
u32 = lambda o: struct.unpack_from('<I', b, o)[0]
for k in range(1, u16(28) + 1):
    slot = 512 + 32 * k
    th = u32(slot) * 512
    keylen, maxkeys, item = u16(th + 12), u16(th + 14), u16(th + 18)
    out = []
    def walk(page):
        o = page * 512
        n = u32(o)
        assert n <= maxkeys
        trailing = u32(o + 8 + n * item)
        last = None
        for i in range(n):
            e = o + 8 + i * item
            key = b[e + 4:e + 4 + keylen]
            if trailing == 0:
                out.append(u32(e))
                last = key
            else:
                assert walk(u32(e)) == key, 'inner key is not the last key of its child'
        if trailing:
            last = walk(trailing)
        return last
    walk(u32(th))
    print(b[slot + 4:slot + 15].rstrip(b'\0').decode(), ' '.join(map(str, out)))
)";
  QByteArray out, err;
  ASSERT_EQ(RunPython(script, {MdxPath(table)}, &out, &err), 0) << err.constData();
  const QList<QByteArray> lines = out.trimmed().split('\n');
  ASSERT_EQ(lines.size(), 2);
  for (int tag = 0; tag < 2; ++tag) {
    table.SelectSortTag(tag == 0 ? "tab1" : "tab2");
    QByteArray want = tag == 0 ? "TAB1" : "TAB2";
    for (uint32_t r : VisibleRecords(table)) want += ' ' + QByteArray::number(r);
    EXPECT_EQ(lines[tag], want);
  }
  // The filter applies on top of the order.
  table.SetFilter("NB_TYPE=1");
  EXPECT_EQ(table.VisibleRowCount(), 1500);
}

TEST_F(SortTagTest, PostAndDeleteKeepTagsCurrent) {
  MakeStoreTable(table, dir, {PlateRow(1, 5, 3, 0), PlateRow(2, 5, 1, 0), PlateRow(3, 5, 2, 0)});
  table.AddSortTag("tab1", "P", false);
  table.SelectSortTag("tab1");
  EXPECT_EQ(VisibleRecords(table), (std::vector<uint32_t>{2, 3, 1}));
  table.First();  // record 2, P 1
  table.EditRow();
  table.SetField("P", 9.0);
  table.PostRow();
  EXPECT_EQ(table.Bookmark(), 2u);  // the edited row stays current
  EXPECT_EQ(VisibleRecords(table), (std::vector<uint32_t>{3, 1, 2}));
  EXPECT_EQ(Walk(table, 0), (std::vector<uint32_t>{3, 1, 2}));
  AppendStoreRow(table, PlateRow(4, 5, 0.5, 0));
  EXPECT_EQ(VisibleRecords(table), (std::vector<uint32_t>{4, 3, 1, 2}));
  EXPECT_EQ(Walk(table, 0), (std::vector<uint32_t>{4, 3, 1, 2}));
  table.GotoBookmark(3);
  table.DeleteRow();
  EXPECT_EQ(table.Bookmark(), 1u);  // next in tag order
  EXPECT_EQ(VisibleRecords(table), (std::vector<uint32_t>{4, 1, 2}));
  EXPECT_EQ(LiveOnly(table, Walk(table, 0)), (std::vector<uint32_t>{4, 1, 2}));
  table.Pack();
  EXPECT_EQ(VisibleRecords(table), (std::vector<uint32_t>{3, 1, 2}));
  EXPECT_EQ(Walk(table, 0), (std::vector<uint32_t>{3, 1, 2}));
  EXPECT_EQ(table.GetInt("N"), 1);
  EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), (QStringList{"data.db", "data.mdx"}));
  // Reopened, the remembered tag orders the rows again.
  table.Close();
  table.Open();
  EXPECT_EQ(table.SelectedSortTag(), QString("tab1"));
  EXPECT_EQ(VisibleRecords(table), (std::vector<uint32_t>{3, 1, 2}));
  table.RebuildSortTags();
  EXPECT_EQ(Walk(table, 0), (std::vector<uint32_t>{3, 1, 2}));
}

TEST_F(SortTagTest, DroppingTheLastTagRemovesTheFile) {
  MakeStoreTable(table, dir, {PlateRow(1, 5, 3, 0), PlateRow(2, 5, 1, 0)});
  table.DropSortTag("tab1");  // no index at all: nothing happens
  EXPECT_FALSE(QFile::exists(MdxPath(table)));
  table.AddSortTag("tab1", "P", false);
  table.AddSortTag("tab2", "N", true);
  table.SelectSortTag("tab2");
  table.DropSortTag("tab1");
  EXPECT_EQ(dbf::ReadMdxTags(ReadAll(MdxPath(table))).size(), 1u);
  EXPECT_EQ(VisibleRecords(table), (std::vector<uint32_t>{2, 1}));
  table.DropSortTag("TAB2");
  EXPECT_FALSE(QFile::exists(MdxPath(table)));
  EXPECT_EQ(uint8_t(ReadAll(table.FilePath())[28]), 0);
  EXPECT_EQ(VisibleRecords(table), (std::vector<uint32_t>{1, 2}));
  table.SelectSortTag("nosuch");
  EXPECT_EQ(VisibleRecords(table), (std::vector<uint32_t>{1, 2}));
  EXPECT_THROW(table.AddSortTag("tab1", "NOFIELD", false), TableError);
}

TEST_F(SortTagTest, MissingIndexFileOpensInFileOrderAndClearsTheFlag) {
  MakeStoreTable(table, dir, {PlateRow(1, 5, 3, 0), PlateRow(2, 5, 1, 0)});
  table.AddSortTag("tab1", "P", false);
  table.SelectSortTag("tab1");
  table.Close();
  ASSERT_EQ(uint8_t(ReadAll(table.FilePath())[28]), 1);
  ASSERT_TRUE(QFile::remove(MdxPath(table)));
  table.Open();
  EXPECT_EQ(VisibleRecords(table), (std::vector<uint32_t>{1, 2}));
  EXPECT_EQ(uint8_t(ReadAll(table.FilePath())[28]), 0);
  // A damaged index file is no error either.
  table.AddSortTag("tab1", "P", false);
  table.Close();
  QFile f(MdxPath(table));
  ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
  f.write("not an index");
  f.close();
  table.Open();
  EXPECT_EQ(VisibleRecords(table), (std::vector<uint32_t>{1, 2}));
}

}  // namespace
