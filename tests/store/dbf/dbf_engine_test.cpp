// The general engine below the measurement table: decimal index keys,
// tables of other shapes than ours, and how much of a file it reads.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QFile>
#include <QStringDecoder>
#include <QStringEncoder>
#include <QTemporaryDir>
#include <cmath>
#include <cstdint>
#include <functional>
#include <map>

#include "platform/codepage.h"
#include "platform/file_ops.h"
#include "store/dbf/dbf_table.h"
#include "store/dbf/mdx_index.h"
#include "support/test_env.h"

namespace {

// Counts the bytes read through the file seam, by file.
class ReadCounter : public FileOps {
 public:
  ReadCounter() { SetFiles(this); }
  ~ReadCounter() override { SetFiles(nullptr); }
  ReadCounter(const ReadCounter&) = delete;
  ReadCounter& operator=(const ReadCounter&) = delete;

  int Open(const char* path, int flags, mode_t mode) override {
    const int fd = FileOps::Open(path, flags, mode);
    if (fd >= 0) paths_[fd] = path;
    return fd;
  }
  int Close(int fd) override {
    paths_.erase(fd);
    return FileOps::Close(fd);
  }
  ssize_t PRead(int fd, void* data, size_t size, off_t pos) override {
    const ssize_t n = FileOps::PRead(fd, data, size, pos);
    if (n > 0) read_[paths_[fd]] += n;
    return n;
  }
  qint64 BytesRead(const QString& path) const {
    const auto it = read_.find(QFile::encodeName(path).toStdString());
    return it == read_.end() ? 0 : it->second;
  }

 private:
  std::map<int, std::string> paths_;
  std::map<std::string, qint64> read_;
};

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
  dbf::PutNumber(t.Fields()[1], 12.5, rec.data() + t.Fields()[1].offset);
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

// A number a field cannot hold is refused in words that name the field,
// and the record keeps its bytes.
TEST(DbfEngine, NumbersAFieldCannotHoldAreRefusedInWords) {
  dbf::FieldDef f;
  f.name = "QTY";
  f.type = 'N';
  f.length = 6;
  f.decimals = 2;
  const struct {
    std::function<void(char*)> put;
    const char* text;
  } cases[] = {
      {[&](char* out) { dbf::PutNumber(f, 1000.0, out); },
       "Значение 1000.00 не помещается в поле QTY"},
      {[&](char* out) { dbf::PutNumber(f, -HUGE_VAL, out); }, "Недопустимое значение поля QTY"},
      {[&](char* out) { dbf::PutInteger(f, 12345, out); },
       "Значение 12345 не помещается в поле QTY"},
  };
  for (const auto& c : cases) {
    QByteArray field(6, '#');
    try {
      c.put(field.data());
      ADD_FAILURE() << c.text;
    } catch (const dbf::Error& e) {
      EXPECT_EQ(e.text(), QString::fromUtf8(c.text));
    }
    EXPECT_EQ(field, QByteArray(6, '#')) << c.text;
  }
}

// A byte the engine does not know keeps Windows-1252; 0 is read as the
// Russian page.
TEST(DbfEngine, LanguageByteZeroIsRussianOtherUnknownBytesWestern) {
  const struct {
    uint8_t language;
    const char* expected;  // the text of the bytes E6 E8
  } cases[] = {{0x00, "жи"}, {0x57, "æè"}, {0x03, "æè"}};
  for (const auto& c : cases) {
    const char* codec = dbf::CodecForLanguage(c.language);
    EXPECT_EQ(DecodeFromCodePage(codec, "\xe6\xe8", 2), QString::fromUtf8(c.expected))
        << int(c.language);
    EXPECT_EQ(EncodeInCodePage(codec, QString::fromUtf8(c.expected)), QByteArray("\xe6\xe8"))
        << int(c.language);
  }
}

TEST(DbfEngine, TextsFollowTheLanguageByte) {
  struct Case {
    uint8_t language;
    QByteArray stored;  // "Ёж" as the file holds it
  } cases[] = {{0xC9, "\xa8\xe6"}, {0x65, "\xf0\xa6"}, {0x26, "\xf0\xa6"},
               // 0 gives no code page: read as Windows-1251 too.
               {0x00, "\xa8\xe6"}};
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

// A table file is read once, straight into place, and only as far as its
// records go: past the count its header declares, the records a writer
// that stopped during its appends left are taken, but the zeros of a
// sparse or preallocated stretch are not read on. The index beside it is
// read only by the pages its tags are described on.
TEST(DbfEngine, FilesAreReadOnlyAsFarAsTheirContentsGo) {
  constexpr qint64 kHuge = qint64(2) << 30;  // sparse: no disk taken
  const struct {
    const char* name;
    uint8_t declared;  // the header's record count
    int records;       // records in the file
    bool endMark;
    qint64 length;     // the file made this long (0: as it is)
    int extraRead;     // records read beyond the contents, at most
  } cases[] = {
      {"as written", 3, 3, true, 0, 0},
      {"appends left after the declared ones", 1, 3, true, 0, 0},
      {"appends left, cut short in a record", 1, 3, false, 0, 0},
      {"sparse beyond the declared records", 3, 3, true, kHuge, 1},
      {"sparse beyond records a writer left", 1, 3, true, kHuge, 1},
      {"declares more than it holds", 9, 3, true, 0, 0},
  };
  QTemporaryDir dir;
  std::vector<dbf::FieldDef> fields(2);
  fields[0].name = "NAME";
  fields[0].length = 5;
  fields[1].name = "QTY";
  fields[1].type = 'N';
  fields[1].length = 6;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const QString path = dir.filePath("t.dbf");
    dbf::Table::Create(path, fields, dbf::kLanguageRussianWindows);
    QByteArray bytes = ReadAll(path);
    const int header = 32 + 64 + 1;
    const int length = 12;
    bytes.chop(1);  // the end mark
    for (int r = 0; r < c.records; ++r) bytes += QByteArray(" ab   ") + QByteArray::number(100000 + r);
    const qint64 contents = bytes.size();
    if (c.endMark) bytes += '\x1a';
    if (!c.endMark) bytes += " cd";  // a record torn by a crash
    bytes[4] = char(c.declared);
    {
      QFile f(path);
      ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
      f.write(bytes);
    }
    if (c.length) {
      ASSERT_EQ(::truncate(QFile::encodeName(path).constData(), c.length), 0);
    }

    // A writer reads once; a reader, holding no lock, reads again what it
    // took to see that no writer changed it meanwhile.
    for (const auto& [access, reads] : {std::pair{dbf::Table::Access::ReadWrite, 1},
                                        std::pair{dbf::Table::Access::ReadOnly, 2}}) {
      const ReadCounter counter;
      dbf::Table t;
      t.Open(path, access);
      ASSERT_EQ(t.RecordCount(), uint32_t(c.records));
      EXPECT_EQ(t.HeaderCountStale(), c.declared != c.records);
      EXPECT_EQ(t.Text(t.Record(uint32_t(c.records)), 1), QString::number(100000 + c.records - 1));
      EXPECT_LE(counter.BytesRead(path), reads * (contents + c.extraRead * length));
      EXPECT_GE(counter.BytesRead(path), header + c.records * length);
    }
  }

  // The index: tag descriptions at its start, then a stretch of zeros.
  const QString path = dir.filePath("t.dbf");
  {
    dbf::Table t;
    t.Open(path);
    dbf::Index index(&t);
    index.AddTag(QStringLiteral("BYQTY"), 1, true);
    index.Save();
  }
  const QString mdx = dbf::Index::PathFor(path);
  ASSERT_EQ(::truncate(QFile::encodeName(mdx).constData(), kHuge), 0);
  const ReadCounter counter;
  dbf::Table t;
  t.Open(path);
  ASSERT_TRUE(t.IndexFlag());
  dbf::Index index(&t);
  index.Load();
  ASSERT_EQ(index.TagNames(), QStringList{QStringLiteral("BYQTY")});
  EXPECT_EQ(*index.Order(QStringLiteral("BYQTY")), (std::vector<uint32_t>{3, 2, 1}));
  EXPECT_LE(counter.BytesRead(mdx), 5 * 512);
}

}  // namespace
