// The measurement table over its file: layout on disk, rows, navigation,
// filter, counts, deletion, pack, locking and write failures.
#include <gtest/gtest.h>

#include <unistd.h>

#include <functional>
#include <iterator>

#include <QDate>
#include <QDateTime>
#include <QFile>
#include <QTemporaryDir>
#include <fcntl.h>
#include <unistd.h>

#include "platform/file_ops.h"
#include "support/fault_files.h"
#include "support/store_fixture.h"
#include "support/test_env.h"

namespace {

QByteArray Slice(const QByteArray& b, int from, int n) { return b.mid(from, n); }

std::vector<int64_t> Column(MeasurementTable& t, const char* field) {
  std::vector<int64_t> out;
  for (t.First(); !t.AtEnd(); t.Next()) out.push_back(t.GetInt(field));
  return out;
}

class TableTest : public ::testing::Test {
 protected:
  QTemporaryDir dir;
  MeasurementTable table;
};

TEST_F(TableTest, EmptyTableIsTheExactHeaderAndEndMark) {
  const QString path = MakeStoreTable(table, dir, {});
  table.Close();
  const QByteArray b = ReadAll(path);
  ASSERT_EQ(b.size(), 962);
  const QDate today = QDate::currentDate();
  EXPECT_EQ(uint8_t(b[0]), 0x03);
  EXPECT_EQ(uint8_t(b[1]), today.year() - 1900);
  EXPECT_EQ(uint8_t(b[2]), today.month());
  EXPECT_EQ(uint8_t(b[3]), today.day());
  EXPECT_EQ(Slice(b, 4, 4), QByteArray(4, 0));
  EXPECT_EQ(Slice(b, 8, 4), QByteArray::fromHex("c103e001"));
  EXPECT_EQ(Slice(b, 12, 17), QByteArray(17, 0));
  EXPECT_EQ(uint8_t(b[29]), 0xC9);
  EXPECT_EQ(Slice(b, 30, 2), QByteArray(2, 0));
  // Every descriptor: name NUL-padded, type, zeros, length, decimals, zeros.
  // Written out here, not taken from the program's own field list.
  const struct {
    const char* name;
    char type;
    int length, decimals;
  } fields[] = {
      {"N", 'N', 9, 0},        {"DATE", 'C', 20, 0},     {"TIME", 'C', 20, 0},
      {"DEV_TYPE", 'N', 4, 0}, {"SERIAL", 'N', 9, 0},    {"NB_TYPE", 'N', 4, 0},
      {"P", 'N', 18, 9},       {"R", 'N', 18, 9},        {"ZAV", 'C', 50, 0},
      {"TYPE", 'C', 15, 0},    {"COMMENT", 'C', 100, 0}, {"H", 'N', 18, 9},
      {"T", 'C', 50, 0},       {"O1", 'N', 4, 0},        {"O2", 'N', 4, 0},
      {"O3", 'N', 4, 0},       {"O4", 'N', 4, 0},        {"O5", 'N', 4, 0},
      {"O6", 'N', 4, 0},       {"P1", 'N', 4, 0},        {"P2", 'N', 4, 0},
      {"P3", 'N', 4, 0},       {"P4", 'N', 4, 0},        {"P5", 'N', 4, 0},
      {"T1", 'C', 20, 0},      {"T2", 'C', 20, 0},       {"T3", 'C', 20, 0},
      {"T4", 'C', 20, 0},      {"T5", 'C', 20, 0},
  };
  ASSERT_EQ(MeasurementSchema().size(), std::size(fields));
  for (size_t i = 0; i < std::size(fields); ++i) {
    QByteArray want(32, 0);
    memcpy(want.data(), fields[i].name, strlen(fields[i].name));
    want[11] = fields[i].type;
    want[16] = char(fields[i].length);
    want[17] = char(fields[i].decimals);
    EXPECT_EQ(Slice(b, 32 + 32 * int(i), 32).toHex(), want.toHex()) << fields[i].name;
  }
  EXPECT_EQ(b.mid(960), QByteArray::fromHex("0d1a"));
}

TEST_F(TableTest, RecordBytesFollowTheFieldRules) {
  const QString comment(120, QLatin1Char('x'));
  StoreRow row = WaterRow(1, 12, 0.2, "B6");
  row.push_back({"COMMENT", comment});
  const QString path = MakeStoreTable(table, dir, {row, PlateRow(2, 7, -3.5, 1.25)});
  table.Close();
  const QByteArray b = ReadAll(path);
  ASSERT_EQ(b.size(), 961 + 2 * 480 + 1);
  EXPECT_EQ(b.back(), 0x1A);
  EXPECT_EQ(Slice(b, 4, 4), QByteArray::fromHex("02000000"));
  const QByteArray r = b.mid(961, 480);
  struct Case {
    int offset, length;
    QByteArray bytes;
  } cases[] = {
      {0, 1, " "},
      {1, 9, "        1"},
      {10, 20, "01.02.2024 10:00:00 "},
      {50, 4, "   1"},
      {54, 9, "       12"},
      {63, 4, "   1"},
      {67, 18, "       0.200000000"},
      {85, 18, "      24.000000000"},
      {103, 50, QByteArray(50, ' ')},
      {153, 15, "B6             "},
      {168, 100, QByteArray(100, 'x')},
      {268, 18, "     100.000000000"},
      {286, 6, QByteArray::fromHex("f1e6e0f2e8e5")},
      {336, 144, QByteArray(144, ' ')},
  };
  for (const Case& c : cases) EXPECT_EQ(r.mid(c.offset, c.length), c.bytes) << c.offset;
  EXPECT_EQ(b.mid(961 + 480 + 67, 18), QByteArray("      -3.500000000"));
}

TEST_F(TableTest, FieldsReadBackAsTheirTypes) {
  MakeStoreTable(table, dir, {WaterRow(3, 12, 0.2, "B6")});
  table.First();
  EXPECT_EQ(std::get<int64_t>(table.GetField("N")), 3);
  EXPECT_EQ(std::get<int64_t>(table.GetField("nb_type")), 1);
  EXPECT_DOUBLE_EQ(std::get<double>(table.GetField("P")), 0.2);
  EXPECT_EQ(std::get<QString>(table.GetField("TYPE")), QString("B6"));
  EXPECT_EQ(std::get<QString>(table.GetField("T")), QString::fromUtf8("сжатие"));
  EXPECT_EQ(std::get<QString>(table.GetField("ZAV")), QString());
  EXPECT_TRUE(std::holds_alternative<std::monostate>(table.GetField("O1")));
  EXPECT_EQ(table.GetInt("O1"), 0);
  EXPECT_THROW(table.GetField("NOSUCH"), TableError);
  // The same after a reopen, read from the file.
  table.Close();
  table.Open();
  EXPECT_EQ(table.GetText("TYPE"), QString("B6"));
  EXPECT_DOUBLE_EQ(table.GetFloat("H"), 100.0);
}

TEST_F(TableTest, ValueThatDoesNotFitIsRefusedAndNothingWritten) {
  const QString path = MakeStoreTable(table, dir, {});
  table.AppendRow();
  EXPECT_THROW(table.SetField("NB_TYPE", int64_t(12345)), TableError);
  EXPECT_THROW(table.SetField("SERIAL", int64_t(1234567890)), TableError);
  EXPECT_THROW(table.SetField("P", 1e10), TableError);
  EXPECT_THROW(table.SetField("P", std::nan("")), TableError);
  EXPECT_THROW(table.SetField("N", QString("abc")), TableError);
  table.SetField("NB_TYPE", int64_t(-999));
  table.PostRow();
  table.Close();
  const QByteArray b = ReadAll(path);
  EXPECT_EQ(b.mid(961 + 63, 4), QByteArray("-999"));
  EXPECT_EQ(b.mid(961 + 54, 9), QByteArray(9, ' '));
}

TEST_F(TableTest, CreateReplacesAnExistingFile) {
  const QString path = dir.filePath("old.db");
  QFile f(path);
  ASSERT_TRUE(f.open(QIODevice::WriteOnly));
  f.write(QByteArray(5000, 'z'));
  f.close();
  table.SetLocation(path);
  table.CreateFile();
  EXPECT_FALSE(table.IsOpen());
  EXPECT_EQ(ReadAll(path).size(), 962);
  EXPECT_EQ(table.FileName(), QString("old.db"));
  EXPECT_EQ(table.Folder(), dir.path());
}

TEST_F(TableTest, CreateFailuresNameTheFile) {
  table.SetLocation(dir.filePath("missing/sub/x.db"));
  try {
    table.CreateFile();
    FAIL() << "no error";
  } catch (const TableError& e) {
    EXPECT_TRUE(e.text().startsWith(QString::fromUtf8("Не удалось создать файл"))) << e.what();
    EXPECT_TRUE(e.text().contains("x.db"));
  }
  // A file another writer holds is not replaced under it.
  const QString path = MakeStoreTable(table, dir, {PlateRow(1, 5, 1, 2)});
  const QByteArray before = ReadAll(path);
  MeasurementTable other;
  other.SetLocation(path);
  EXPECT_THROW(other.CreateFile(), TableError);
  EXPECT_EQ(ReadAll(path), before);
}

TEST_F(TableTest, SecondWriterFailsWhileReadersRead) {
  const QString path = MakeStoreTable(table, dir, {PlateRow(1, 5, 1, 2)});
  MeasurementTable second;
  second.SetLocation(path);
  EXPECT_THROW(second.Open(), TableError);
  EXPECT_FALSE(second.IsOpen());
  EXPECT_EQ(ReadAll(path).size(), 961 + 480 + 1);  // a reader still reads
  table.Close();
  second.Open();
  EXPECT_EQ(second.StoredRowCount(), 1);
}

// What a writer that died left beside the table (the table's replacement,
// its pack, its index's replacement) goes at the next writing open: only
// regular files of this user under exactly those names that no writer
// holds. A reader removes nothing.
TEST_F(TableTest, AWritingOpenRemovesWhatADeadWriterLeftAReaderNothing) {
  const QString path = MakeStoreTable(table, dir, {PlateRow(1, 5, 1, 2)});
  table.Close();
  QTemporaryDir elsewhere;
  const QString victim = elsewhere.filePath("victim");
  QFile v(victim);
  ASSERT_TRUE(v.open(QIODevice::WriteOnly));
  v.write("kept");
  v.close();
  enum Kind { kFile, kLink, kFolder, kHeld, kOtherUser };
  const struct {
    const char* name;
    Kind kind;
    bool goes;
  } beside[] = {
      {"data.db.~tmp", kFile, true},
      {"data.db.~tmpAb12Cd", kFile, true},
      {"data.db.~pack", kFile, true},
      {"data.db.~packZZ99zz", kFile, true},
      {"data.mdx.~tmp", kFile, true},
      {"data.mdx.~tmpQwErTy", kFile, true},
      {"data.db.~tmpLINK01", kLink, false},
      {"data.db.~packDIR001", kFolder, false},
      {"data.db.~tmpHELD01", kHeld, false},
      {"data.db.~tmpNOBODY", kOtherUser, false},
      {"data.db.~tmp.keep", kFile, false},
      {"data.db.~tmpABCDEFG", kFile, false},
      {"data.db.~tmp-12345", kFile, false},
      {"other.db.~tmp", kFile, false},
      {"data.db.~old", kFile, false},
  };
  int held = -1;
  QStringList all, staying;
  for (const auto& b : beside) {
    const QString at = dir.filePath(QString::fromLatin1(b.name));
    if (b.kind == kOtherUser && geteuid() != 0) continue;  // only root can make one
    if (b.kind == kLink) {
      ASSERT_TRUE(QFile::link(victim, at));
    } else if (b.kind == kFolder) {
      ASSERT_TRUE(QDir().mkdir(at));
    } else {
      QFile f(at);
      ASSERT_TRUE(f.open(QIODevice::WriteOnly));
      f.write("left");
      f.close();
      if (b.kind == kOtherUser) {
        ASSERT_EQ(chown(QFile::encodeName(at).constData(), 65534, 65534), 0);
      }
      if (b.kind == kHeld) {
        held = open(QFile::encodeName(at).constData(), O_RDWR);
        ASSERT_TRUE(Files().Lock(held));
      }
    }
    all << QString::fromLatin1(b.name);
    if (!b.goes) staying << QString::fromLatin1(b.name);
  }
  auto leftBeside = [&] {
    QStringList names = QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot |
                                                   QDir::Hidden | QDir::System);
    names.removeAll("data.db");
    names.sort();
    return names;
  };
  all.sort();
  staying.sort();
  table.Open(MeasurementTable::OpenMode::ReadOnly);
  table.Close();
  EXPECT_EQ(leftBeside(), all);
  table.Open();
  table.Close();
  EXPECT_EQ(leftBeside(), staying);
  EXPECT_EQ(ReadAll(victim), QByteArray("kept"));
  if (held >= 0) close(held);
}

// Where the user may not write (a write-protected disk, a folder or file
// without write permission) the operator's open gives a read-only table:
// its rows show, sorting orders them in memory, every write is refused and
// nothing reaches the disk, not even the files a writer may have left
// beside it. An open for writing alone fails there.
TEST_F(TableTest, WhereWritingIsRefusedTheTableOpensReadOnly) {
  const QString path = MakeStoreTable(
      table, dir, {PlateRow(1, 5, 1, 2), PlateRow(2, 7, 3, 2), PlateRow(3, 6, 2, 2)});
  table.Close();
  for (const char* beside : {"data.db.~tmp", "data.db.~pack", "data.mdx.~tmp"}) {
    QFile f(QDir(dir.path()).filePath(beside));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
  }
  const QStringList files = QDir(dir.path()).entryList(QDir::Files);
  const QByteArray before = ReadAll(path);
  for (int err : {EROFS, EACCES, EPERM}) {
    SCOPED_TRACE(err);
    WatchedFiles watched;
    watched.RefuseWriting(err);
    MeasurementTable t;
    t.SetLocation(path);
    EXPECT_THROW(t.Open(MeasurementTable::OpenMode::Write), TableError);
    EXPECT_FALSE(t.IsOpen());
    t.Open(MeasurementTable::OpenMode::KeepHeader);
    ASSERT_TRUE(t.IsReadOnly());
    EXPECT_EQ(Column(t, "N"), (std::vector<int64_t>{1, 2, 3}));
    t.AddSortTag("tab1", "SERIAL", true);
    t.SelectSortTag("tab1");
    EXPECT_EQ(Column(t, "SERIAL"), (std::vector<int64_t>{7, 6, 5}));
    t.RebuildSortTags();
    t.AddSortTag("tab1", "P", false);
    EXPECT_EQ(Column(t, "P"), (std::vector<int64_t>{1, 2, 3}));
    t.DropSortTag("tab1");
    EXPECT_EQ(Column(t, "N"), (std::vector<int64_t>{1, 2, 3}));
    t.MoveTo(1);
    EXPECT_THROW(t.EditRow(), TableError);
    EXPECT_THROW(t.AppendRow(), TableError);
    EXPECT_THROW(t.DeleteRow(), TableError);
    EXPECT_THROW(t.DeleteRows({1, 2}), TableError);
    EXPECT_THROW(t.Pack(), TableError);
    t.RepairHeader();
    t.Refresh();
    EXPECT_EQ(t.VisibleRowCount(), 3);
    t.Close();
    // The two opens of the table are all it tried to write.
    EXPECT_EQ(watched.OpensForWriting(), 2);
  }
  EXPECT_EQ(ReadAll(path), before);
  EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), files);
}

// The same with real file modes, which do not stop root.
TEST_F(TableTest, AFileOrFolderWithoutWritePermissionOpensReadOnly) {
  if (::geteuid() == 0) GTEST_SKIP() << "file modes do not stop root";
  const QString path = MakeStoreTable(table, dir, {PlateRow(1, 5, 1, 2), PlateRow(2, 7, 3, 2)});
  table.Close();
  const QByteArray before = ReadAll(path);
  const QFileDevice::Permissions readable = QFileDevice::ReadOwner | QFileDevice::ReadUser;
  const QFileDevice::Permissions folder = readable | QFileDevice::ExeOwner | QFileDevice::ExeUser;
  const struct {
    const char* what;
    QString file;
    QFileDevice::Permissions mode;
  } cases[] = {{"file 0444", path, readable}, {"folder 0555", dir.path(), folder}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const QFileDevice::Permissions old = QFile::permissions(c.file);
    ASSERT_TRUE(QFile::setPermissions(c.file, c.mode));
    MeasurementTable t;
    t.SetLocation(path);
    t.Open(MeasurementTable::OpenMode::KeepHeader);
    EXPECT_TRUE(t.IsReadOnly());
    t.AddSortTag("tab1", "SERIAL", true);
    t.SelectSortTag("tab1");
    EXPECT_EQ(Column(t, "SERIAL"), (std::vector<int64_t>{7, 5}));
    EXPECT_THROW(t.Pack(), TableError);
    t.Close();
    ASSERT_TRUE(QFile::setPermissions(c.file, old));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{"data.db"});
  }
  EXPECT_EQ(ReadAll(path), before);
}

// A table that a writer holds is busy for another writer; a reader reads
// it as the writer leaves it, also after a pack replaced the file.
TEST_F(TableTest, AHeldTableIsBusyAndReadsAsItsWriterLeavesIt) {
  const QString path = MakeStoreTable(table, dir, {PlateRow(1, 5, 1, 2), PlateRow(2, 6, 1, 2)});
  MeasurementTable reader;
  reader.SetLocation(path);
  EXPECT_THROW(reader.Open(MeasurementTable::OpenMode::KeepHeader), TableBusyError);
  EXPECT_THROW(reader.Open(MeasurementTable::OpenMode::Write), TableBusyError);
  reader.Open(MeasurementTable::OpenMode::ReadOnly);
  EXPECT_EQ(Column(reader, "SERIAL"), (std::vector<int64_t>{5, 6}));
  AppendStoreRow(table, PlateRow(3, 7, 1, 2));
  reader.Refresh();
  EXPECT_EQ(Column(reader, "SERIAL"), (std::vector<int64_t>{5, 6, 7}));
  table.First();
  table.DeleteRow();
  table.Pack();
  reader.Refresh();
  EXPECT_EQ(Column(reader, "SERIAL"), (std::vector<int64_t>{6, 7}));
  AppendStoreRow(table, PlateRow(4, 8, 1, 2));
  reader.Refresh();
  EXPECT_EQ(Column(reader, "SERIAL"), (std::vector<int64_t>{6, 7, 8}));
}

// A writer that changes two rows while a reader is between them: the
// reader shows the rows of one state, never the first row's old value
// beside the second row's new one.
TEST_F(TableTest, AReaderNeverShowsRowsOfTwoStates) {
  const QString path = MakeStoreTable(table, dir, {PlateRow(1, 5, 1, 2), PlateRow(2, 6, 1, 2)});
  WatchedFiles files;
  files.SplitRead(961, 480, [&] {
    for (int row : {0, 1}) {
      table.MoveTo(row);
      table.EditRow();
      table.SetField("SERIAL", int64_t(9));
      table.PostRow();
    }
  });
  MeasurementTable reader;
  reader.SetLocation(path);
  reader.Open(MeasurementTable::OpenMode::ReadOnly);
  EXPECT_EQ(Column(reader, "SERIAL"), (std::vector<int64_t>{9, 9}));
}

TEST_F(TableTest, HeaderCountIsCorrectedFromTheFileLength) {
  const QString path = MakeStoreTable(
      table, dir, {PlateRow(1, 5, 1, 2), PlateRow(2, 5, 1, 2), PlateRow(3, 5, 1, 2)});
  table.Close();
  struct Case {
    uint8_t headerCount;
    int extraBytes;  // a torn last record after the whole ones
  } cases[] = {{7, 0}, {0, 0}, {3, 200}};
  for (const Case& c : cases) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::ReadWrite));
    f.seek(4);
    f.write(QByteArray(1, char(c.headerCount)));
    f.resize(961 + 3 * 480 + c.extraBytes);
    f.close();
    table.Open();
    EXPECT_EQ(table.StoredRowCount(), 3);
    EXPECT_EQ(table.VisibleRowCount(), 3);
    table.Close();
    EXPECT_EQ(uint8_t(ReadAll(path)[4]), 3);
  }
}

TEST_F(TableTest, NavigationWalksTheVisibleRows) {
  MakeStoreTable(table, dir, {PlateRow(1, 5, 1, 2), PlateRow(2, 5, 1, 2), PlateRow(3, 5, 1, 2)});
  EXPECT_EQ(Column(table, "N"), (std::vector<int64_t>{1, 2, 3}));
  table.Last();
  EXPECT_FALSE(table.AtEnd());
  EXPECT_EQ(table.GetInt("N"), 3);
  table.Next();  // past the end: stays on the last row
  EXPECT_TRUE(table.AtEnd());
  EXPECT_EQ(table.GetInt("N"), 3);
  EXPECT_EQ(table.CurrentIndex(), 2);
  table.MoveTo(1);
  EXPECT_EQ(table.GetInt("N"), 2);
  EXPECT_EQ(table.BookmarkAt(0), 1u);
  EXPECT_EQ(ValueToInt(table.FieldAt(2, "N")), 3);
  EXPECT_TRUE(std::holds_alternative<std::monostate>(table.FieldAt(3, "N")));
}

TEST_F(TableTest, FilterSelectsRowsAndSurvivesReopen) {
  MakeStoreTable(table, dir,
                 {PlateRow(1, 500, 1, 2), WaterRow(1, 7, 0.2, "B2"), WaterRow(2, 7, 0.4, "B2"),
                  PlateRow(2, 500, 3, 4), WaterRow(1, 8, 0.6, "B4")});
  struct Case {
    const char* filter;
    std::vector<int64_t> serials;
  } cases[] = {
      {"NB_TYPE=0", {500, 500}}, {"NB_TYPE=1", {7, 7, 8}}, {"SERIAL=7", {7, 7}},
      {"SERIAL=9", {}},          {"serial = 8", {8}},      {"", {500, 7, 7, 500, 8}},
  };
  for (const Case& c : cases) {
    table.SetFilter(c.filter);
    EXPECT_EQ(table.VisibleRowCount(), int(c.serials.size())) << c.filter;
    EXPECT_EQ(Column(table, "SERIAL"), c.serials) << c.filter;
  }
  // A current row that the new filter hides gives way to the next visible
  // row in file order, at the end to the previous one.
  table.SetFilter("");
  table.MoveTo(1);  // record 2, a water row
  table.SetFilter("NB_TYPE=0");
  EXPECT_EQ(table.Bookmark(), 4u);
  table.SetFilter("");
  table.Last();  // record 5, a water row after every plate row
  table.SetFilter("NB_TYPE=0");
  EXPECT_EQ(table.Bookmark(), 4u);
  table.SetFilter("NB_TYPE=1");
  EXPECT_EQ(table.Bookmark(), 5u);

  table.SetFilter("SERIAL=9");
  EXPECT_TRUE(table.AtEnd());
  EXPECT_EQ(table.GetInt("P"), 0);
  EXPECT_EQ(table.Bookmark(), 0u);
  EXPECT_THROW(table.SetFilter("SERIAL>9"), TableError);

  table.SetFilter("NB_TYPE=1");
  table.Close();
  EXPECT_EQ(table.Filter(), QString("NB_TYPE=1"));
  table.Open();
  EXPECT_EQ(table.VisibleRowCount(), 3);
  table.Close();
  table.SetFilter("garbage");  // set while closed; dropped when it does not parse
  table.Open();
  EXPECT_EQ(table.Filter(), QString());
  EXPECT_EQ(table.VisibleRowCount(), 5);
}

// The program's own filters: a kind or a series, named as a typed filter
// would name them, also when set while the table is closed.
TEST_F(TableTest, KindAndSeriesFiltersAreTheTypedOnes) {
  MakeStoreTable(table, dir,
                 {PlateRow(1, 500, 1, 2), WaterRow(1, 7, 0.2, "B2"), WaterRow(2, 7, 0.4, "B2"),
                  PlateRow(2, 500, 3, 4), WaterRow(1, 8, 0.6, "B4")});
  const struct {
    std::function<void()> show;
    const char* filter;
    std::vector<int64_t> serials;
  } cases[] = {
      {[&] { table.ShowKind(ShownKind::Plate); }, "NB_TYPE=0", {500, 500}},
      {[&] { table.ShowKind(ShownKind::Water); }, "NB_TYPE=1", {7, 7, 8}},
      {[&] { table.ShowSeries(7); }, "SERIAL=7", {7, 7}},
      {[&] { table.ShowSeries(9); }, "SERIAL=9", {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.filter);
    c.show();
    EXPECT_EQ(table.Filter(), c.filter);
    EXPECT_EQ(Column(table, "SERIAL"), c.serials);
    table.Close();
    table.SetFilter(QString());
    c.show();
    table.Open();
    EXPECT_EQ(table.Filter(), c.filter);
    EXPECT_EQ(Column(table, "SERIAL"), c.serials);
  }
  // Typed reads see what the named ones see.
  table.ShowKind(ShownKind::Water);
  table.MoveTo(1);
  EXPECT_EQ(table.GetField(Field::P), table.GetField("P"));
  EXPECT_EQ(table.GetText(Field::Type), table.GetText("type"));
  EXPECT_EQ(table.FieldAt(2, Field::Serial), FieldValue(int64_t(8)));
  EXPECT_EQ(table.FieldOfRecord(4, Field::N), FieldValue(int64_t(2)));
}

// The plate tests of a range of dates: both ends included, either open,
// by the date the DATE field begins with; kept over Close and Open, and
// replaced with the rest of the filter.
TEST_F(TableTest, ADateRangeNarrowsTheKindFilter) {
  auto plate = [](int64_t n, const char* date) {
    StoreRow row = PlateRow(n, 500, 1, 2);
    row[1].second = QString::fromLatin1(date);
    return row;
  };
  MakeStoreTable(table, dir,
                 {plate(1, "28.02.2024"), plate(2, "01.03.2024"), WaterRow(1, 7, 0.2, "B2"),
                  plate(3, "05.03.2024 12:00"), plate(4, "5.3.2024"), plate(5, "31.12.2023"),
                  plate(6, "1.3.24"), plate(7, "31.02.2024"), plate(8, ""), plate(9, "01.03.2024x"),
                  plate(10, "06.03.2024")});
  const QDate none;
  const struct {
    const char* name;
    DateRange dates;
    std::vector<int64_t> numbers;
  } cases[] = {
      {"unbounded: every plate test", {none, none}, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10}},
      {"from and to included", {QDate(2024, 3, 1), QDate(2024, 3, 5)}, {2, 3, 4}},
      {"from only", {QDate(2024, 3, 5), none}, {3, 4, 10}},
      {"to only", {none, QDate(2024, 2, 28)}, {1, 5}},
      {"one day", {QDate(2024, 3, 5), QDate(2024, 3, 5)}, {3, 4}},
      {"inverted: none", {QDate(2024, 3, 5), QDate(2024, 3, 1)}, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    table.ShowKind(ShownKind::Plate, c.dates);
    EXPECT_EQ(table.Filter(), "NB_TYPE=0");
    EXPECT_EQ(table.FilterDates(), c.dates);
    EXPECT_EQ(Column(table, "N"), c.numbers);
    table.Close();
    table.Open();
    EXPECT_EQ(Column(table, "N"), c.numbers);
  }
  const DateRange march{QDate(2024, 3, 1), QDate(2024, 3, 31)};
  const std::function<void()> replacing[] = {
      [&] { table.ShowKind(ShownKind::Plate); },
      [&] { table.SetFilter("NB_TYPE=0"); },
      [&] { table.ShowSeries(500); },
  };
  for (const auto& replace : replacing) {
    table.ShowKind(ShownKind::Plate, march);
    replace();
    EXPECT_TRUE(table.FilterDates().IsUnbounded());
    EXPECT_EQ(table.VisibleRowCount(), 10);
  }
  // A test whose date the operator moves out of the range leaves the rows shown.
  table.ShowKind(ShownKind::Plate, march);
  table.First();
  ASSERT_EQ(table.GetInt("N"), 2);
  table.EditRow();
  table.SetField("DATE", QStringLiteral("01.04.2024"));
  table.PostRow();
  EXPECT_EQ(Column(table, "N"), (std::vector<int64_t>{3, 4, 10}));
}

TEST_F(TableTest, CountingKeepsTheCurrentRow) {
  MakeStoreTable(table, dir, {PlateRow(1, 5, 1, 2), PlateRow(2, 5, 1, 2), PlateRow(3, 5, 1, 2)});
  table.First();
  table.Next();
  EXPECT_EQ(table.VisibleRowCount(), 3);
  EXPECT_EQ(table.GetInt("N"), 2);
  EXPECT_FALSE(table.AtEnd());
}

TEST_F(TableTest, AppendedRowBecomesCurrentAndEditChangesIt) {
  MakeStoreTable(table, dir, {PlateRow(1, 5, 1, 2), PlateRow(2, 5, 1, 2)});
  EXPECT_EQ(table.GetInt("N"), 2);
  table.First();
  table.EditRow();
  table.SetField("COMMENT", QString::fromUtf8("заметка"));
  EXPECT_EQ(table.GetText("COMMENT"), QString::fromUtf8("заметка"));  // pending value
  table.PostRow();
  table.Close();
  table.Open();
  EXPECT_EQ(table.GetText("COMMENT"), QString::fromUtf8("заметка"));
  // A dropped edit leaves the row as it was.
  table.EditRow();
  table.SetField("COMMENT", QString("other"));
  table.CancelRow();
  EXPECT_EQ(table.GetText("COMMENT"), QString::fromUtf8("заметка"));
  table.EditRow();
  table.SetField("COMMENT", QString("unposted"));
  table.Close();
  table.Open();
  EXPECT_EQ(table.GetText("COMMENT"), QString::fromUtf8("заметка"));
}

TEST_F(TableTest, DeleteHidesRowsUntilPackRemovesThem) {
  MakeStoreTable(
      table, dir,
      {PlateRow(1, 5, 1, 2), PlateRow(2, 5, 1, 2), PlateRow(3, 5, 1, 2), PlateRow(4, 5, 1, 2)});
  table.MoveTo(1);
  table.DeleteRow();
  EXPECT_EQ(table.GetInt("N"), 3);  // the next row becomes current
  table.Last();
  table.DeleteRow();
  EXPECT_EQ(table.GetInt("N"), 3);  // at the end, the previous one
  EXPECT_EQ(table.VisibleRowCount(), 2);
  EXPECT_EQ(table.StoredRowCount(), 4);
  EXPECT_EQ(Column(table, "N"), (std::vector<int64_t>{1, 3}));
  // Deleted records are still readable by number, and flagged in the file.
  EXPECT_EQ(ValueToInt(table.FieldOfRecord(2, "N")), 2);
  EXPECT_EQ(ReadAll(table.FilePath()).at(961 + 480), '*');

  table.MoveTo(1);
  table.Pack();
  EXPECT_EQ(table.StoredRowCount(), 2);
  EXPECT_EQ(table.VisibleRowCount(), 2);
  EXPECT_EQ(table.GetInt("N"), 3);  // same row stays current
  EXPECT_EQ(table.Bookmark(), 2u);
  EXPECT_EQ(Column(table, "N"), (std::vector<int64_t>{1, 3}));
  const QByteArray b = ReadAll(table.FilePath());
  EXPECT_EQ(b.size(), 961 + 2 * 480 + 1);
  EXPECT_EQ(uint8_t(b[4]), 2);
  EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{"data.db"});
  table.Close();
  table.Open();
  EXPECT_EQ(Column(table, "N"), (std::vector<int64_t>{1, 3}));
}

TEST_F(TableTest, RefreshAndBookmarks) {
  MakeStoreTable(table, dir, {PlateRow(1, 5, 1, 2), PlateRow(2, 6, 1, 2), PlateRow(3, 5, 1, 2)});
  table.MoveTo(2);
  const auto mark = table.Bookmark();
  EXPECT_EQ(mark, 3u);
  table.First();
  table.GotoBookmark(mark);
  EXPECT_EQ(table.GetInt("N"), 3);
  table.Refresh();
  EXPECT_EQ(table.GetInt("N"), 3);
  table.SetFilter("SERIAL=6");
  table.GotoBookmark(mark);  // not visible: nothing moves
  EXPECT_EQ(table.GetInt("N"), 2);
}

// Refresh reads the file again only when it changed since it was read; a
// change by a program that ignores the lock is still seen.
TEST_F(TableTest, RefreshReadsWhatAnotherProgramWrote) {
  const QString path = MakeStoreTable(table, dir, {PlateRow(1, 5, 1, 2), PlateRow(2, 6, 1, 2)});
  WatchedFiles files;
  table.Refresh();
  EXPECT_EQ(Column(table, "SERIAL"), (std::vector<int64_t>{5, 6}));
  // While nothing changes the file, a refresh reads nothing.
  files.ResetReads();
  table.Refresh();
  table.Refresh();
  EXPECT_EQ(files.Reads(), 0);
  {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::ReadWrite));
    const int serial = 961 + 480 + 1 + 9 + 20 + 20 + 4;  // SERIAL of the second record
    ASSERT_TRUE(f.seek(serial));
    f.write("        9");
    // However coarse the file system's clock, the file is seen as changed.
    f.setFileTime(QDateTime::currentDateTime().addSecs(60), QFileDevice::FileModificationTime);
  }
  table.Refresh();
  EXPECT_GT(files.Reads(), 0);
  EXPECT_EQ(Column(table, "SERIAL"), (std::vector<int64_t>{5, 9}));
}

TEST_F(TableTest, ListenersLearnOfChanges) {
  std::vector<MeasurementTable::Change> seen;
  const auto listening =
      table.AddListener([&](MeasurementTable::Change c) { seen.push_back(c); });
  MakeStoreTable(table, dir, {PlateRow(1, 5, 1, 2), PlateRow(2, 5, 1, 2)});
  using C = MeasurementTable::Change;
  seen.clear();
  table.First();
  table.Next();
  EXPECT_EQ(seen, (std::vector<C>{C::CurrentMoved, C::CurrentMoved}));
  seen.clear();
  table.EditRow();
  table.SetField("ZAV", QString("a"));
  table.PostRow();
  EXPECT_EQ(seen, (std::vector<C>{C::RowWritten}));
  for (auto op : std::vector<std::function<void()>>{
           [&] { table.SetFilter("NB_TYPE=0"); }, [&] { table.Refresh(); },
           [&] { table.DeleteRow(); }, [&] { table.Pack(); }, [&] { table.Close(); }}) {
    seen.clear();
    op();
    EXPECT_EQ(seen, (std::vector<C>{C::Reset}));
  }
}

TEST_F(TableTest, FailedWriteReportsAndKeepsEarlierRows) {
  const QString path = MakeStoreTable(table, dir, {PlateRow(1, 5, 1, 2), PlateRow(2, 5, 1, 2)});
  const qint64 size = QFileInfo(path).size();
  const QByteArray before = ReadAll(path);
  {
    StoreWriteLimit full(rlim_t(size + 100));
    table.AppendRow();
    table.SetField("N", int64_t(3));
    try {
      table.PostRow();
      FAIL() << "no error";
    } catch (const TableError& e) {
      EXPECT_TRUE(e.text().contains(QString::fromUtf8("Ошибка записи"))) << e.what();
    }
    EXPECT_EQ(ReadAll(path), before);  // no torn record, the end mark in place
    // A pack needs a second file as large as the table: refused the same
    // way, and the table stays as it was.
    table.CancelRow();
    table.First();
    table.DeleteRow();
    StoreWriteLimit tiny(rlim_t(1200));
    EXPECT_THROW(table.Pack(), TableError);
  }
  EXPECT_EQ(table.StoredRowCount(), 2);
  EXPECT_EQ(Column(table, "N"), (std::vector<int64_t>{2}));
  table.Close();
  table.Open();
  EXPECT_EQ(table.StoredRowCount(), 2);
  EXPECT_EQ(Column(table, "N"), (std::vector<int64_t>{2}));
  EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{"data.db"});
}

TEST_F(TableTest, IndependentReaderSeesOurValues) {
  const QString path =
      MakeStoreTable(table, dir, {WaterRow(1, 12, 0.2, "B6"), PlateRow(2, 65535, -3.5, 1.25)});
  table.First();
  table.DeleteRow();
  table.Close();
  const char* script = R"(
import sys, dbfread
t = dbfread.DBF(sys.argv[1], encoding='cp1251', char_decode_errors='strict')
print(len(t.fields), t.header.numrecords)
for r in t:
    print('|'.join(repr(r[k]) for k in ('N','SERIAL','NB_TYPE','P','R','TYPE','T','H','O1')))
for r in t.deleted:
    print('deleted', r['N'])
)";
  QByteArray out, err;
  ASSERT_EQ(RunPython(script, {path}, &out, &err), 0) << err.constData();
  EXPECT_EQ(QString::fromUtf8(out), QString::fromUtf8("29 2\n"
                                                      "2|65535|0|-3.5|1.25|'D=300'|''|None|None\n"
                                                      "deleted 1\n"));
}

}  // namespace
