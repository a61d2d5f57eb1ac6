// The general engine below the measurement table: decimal index keys and
// tables of other shapes than ours.
#include <gtest/gtest.h>

#include <QTemporaryDir>

#include "store/dbf/dbf_table.h"
#include "store/dbf/mdx_index.h"
#include "support/test_env.h"

namespace {

TEST(NumericKey, MatchesTheIndexFormat) {
  struct Case {
    const char* text;
    const char* key;
  } cases[] = {
      {"0", "340100000000000000000000"},           {"", "340100000000000000000000"},
      {"0.000000000", "340100000000000000000000"}, {"0.2", "340920000000000000000000"},
      {"1", "350910000000000000000000"},           {"12.34", "361112340000000000000000"},
      {"150", "370915000000000000000000"},         {"65535", "391965535000000000000000"},
      {"1.25", "351112500000000000000000"},        {"123.456", "371912345600000000000000"},
      {"1000000", "3b0910000000000000000000"},     {"123456789", "3d2912345678900000000000"},
      {"0.05", "330950000000000000000000"},        {"0.000000001", "2c0910000000000000000000"},
      {"-0.2", "348920000000000000000000"},        {"-3.500000000", "358935000000000000000000"},
      {"-1000", "388910000000000000000000"},       {"  -49.723000000", "369949723000000000000000"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(dbf::NumericKey(c.text, int(strlen(c.text))).toHex(), QByteArray(c.key)) << c.text;
}

TEST(NumericKey, ComparesByValue) {
  const char* ascending[] = {"-1000", "-3.5", "-0.2", "-0.05", "0",   "0.000000001", "0.05",
                             "0.2",   "1",    "1.25", "12.34", "150", "65535"};
  const int n = int(sizeof ascending / sizeof *ascending);
  for (int i = 0; i < n; ++i)
    for (int j = 0; j < n; ++j) {
      const QByteArray a = dbf::NumericKey(ascending[i], int(strlen(ascending[i])));
      const QByteArray b = dbf::NumericKey(ascending[j], int(strlen(ascending[j])));
      const int c = dbf::CompareNumericKeys(a.constData(), b.constData());
      EXPECT_EQ(c < 0, i < j) << ascending[i] << " " << ascending[j];
      EXPECT_EQ(c == 0, i == j) << ascending[i] << " " << ascending[j];
    }
}

TEST(DbfEngine, TableOfAnotherShapeRoundTrips) {
  QTemporaryDir dir;
  const QString path = dir.filePath("other.dbf");
  std::vector<dbf::FieldDef> fields(2);
  fields[0].name = "NAME";
  fields[0].type = 'C';
  fields[0].length = 5;
  fields[1].name = "QTY";
  fields[1].type = 'N';
  fields[1].length = 6;
  fields[1].decimals = 2;
  dbf::Table::Create(path, fields, dbf::kLanguageRussianWindows);
  dbf::Table t;
  t.Open(path);
  ASSERT_EQ(t.RecordLength(), 12);
  EXPECT_EQ(t.Fields()[1].offset, 6);
  QByteArray rec = t.BlankRecord();
  t.PutText(rec, 0, QString::fromUtf8("ёжик-длинный"));
  t.PutRaw(rec, 1, dbf::FormatNumber(t.Fields()[1], 12.5));
  EXPECT_THROW(dbf::FormatNumber(t.Fields()[1], 1000.0), dbf::Error);
  EXPECT_EQ(t.AppendRecord(rec), 1u);
  double q = 0;
  EXPECT_TRUE(t.Number(t.Record(1), 1, &q));
  EXPECT_DOUBLE_EQ(q, 12.5);
  EXPECT_EQ(t.Text(t.Record(1), 0), QString::fromUtf8("ёжик-"));
  t.Close();
  const QByteArray b = ReadAll(path);
  EXPECT_EQ(b.size(), 32 + 64 + 1 + 12 + 1);
  EXPECT_EQ(b.mid(97, 12), QByteArray(" \xb8\xe6\xe8\xea- 12.50"));
}

TEST(DbfEngine, TextsFollowTheLanguageByte) {
  struct Case {
    uint8_t language;
    QByteArray stored;  // "Ёж" as the file holds it
  } cases[] = {{0xC9, "\xa8\xe6"}, {0x65, "\xf0\xa6"}, {0x26, "\xf0\xa6"}};
  for (const Case& c : cases) {
    QTemporaryDir dir;
    const QString path = dir.filePath("t.dbf");
    std::vector<dbf::FieldDef> fields(1);
    fields[0].name = "S";
    fields[0].length = 2;
    dbf::Table::Create(path, fields, c.language);
    dbf::Table t;
    t.Open(path);
    EXPECT_EQ(t.Language(), c.language);
    QByteArray rec = t.BlankRecord();
    t.PutText(rec, 0, QString::fromUtf8("Ёж"));
    EXPECT_EQ(rec.mid(1), c.stored) << int(c.language);
    t.AppendRecord(rec);
    EXPECT_EQ(t.Text(t.Record(1), 0), QString::fromUtf8("Ёж")) << int(c.language);
  }
}

TEST(DbfEngine, DamagedIndexImagesAreErrors) {
  QByteArray m(2048 + 2048, 0);
  m[26] = 32;
  m[28] = 1;
  m[544] = 4;  // tag header at page 4
  m[2048 + 9] = 'N';
  m[2048 + 12] = 12;
  // Root at page 6: an inner node whose only child is itself.
  m[2048] = 6;
  m[3072 + 8] = 6;
  EXPECT_THROW(dbf::WalkMdxTag(m, 0), dbf::Error);
  m[28] = 60;
  EXPECT_THROW(dbf::ReadMdxTags(m), dbf::Error);
  EXPECT_THROW(dbf::ReadMdxTags(QByteArray(100, 0)), dbf::Error);
}

}  // namespace
