// Writes of many rows at once. A run of appends, as a download makes: the
// file is a complete table at every instant of the run and ends byte for
// byte as if each row had been posted on its own; a write failing in the
// middle of the run keeps every row that fits, in the file and in the
// table alike. The deletion of many rows ends as deleting them one by one
// does, also when a write fails.
#include <gtest/gtest.h>

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <memory>
#include <stdexcept>

#include "store/dbf/dbf_table.h"
#include "store/dbf/le_bytes.h"
#include "support/store_fixture.h"
#include "support/test_env.h"

namespace {

constexpr int kHeader = 961;
constexpr int kRecord = 480;
// The rows the run collects before it writes a block.
constexpr int kBlockRows = int((dbf::Table::kAppendBlockBytes + kRecord - 1) / kRecord);

StoreRow Row(int i) {
  return WaterRow(i + 1, i / 6, (i % 11) / 5.0, i % 2 ? QString("B6") : QString::fromUtf8("Не ГОСТ"));
}

// A row of the fixture as the decoders give rows: values by field.
MeasurementRow ValuesOf(const StoreRow& row) {
  MeasurementRow out;
  for (const auto& [name, value] : row)
    for (int f = 0; f < kFieldCount; ++f)
      if (name == QLatin1String(MeasurementSchema()[size_t(f)].name)) out.values[size_t(f)] = value;
  return out;
}

std::vector<MeasurementRow> ValueRows(int from, int to) {
  std::vector<MeasurementRow> out;
  for (int i = from; i < to; ++i) out.push_back(ValuesOf(Row(i)));
  return out;
}

std::vector<int64_t> Column(MeasurementTable& t, const char* field) {
  std::vector<int64_t> out;
  for (t.First(); !t.AtEnd(); t.Next()) out.push_back(t.GetInt(field));
  return out;
}

std::vector<int64_t> Numbers(int from, int to) {
  std::vector<int64_t> out;
  for (int n = from; n <= to; ++n) out.push_back(n);
  return out;
}

class AppendRunTest : public ::testing::Test {
 protected:
  // The file of the first `rows` rows, each posted on its own.
  QByteArray Reference(int rows) {
    MeasurementTable t;
    const QString path = MakeStoreTable(t, dir, {}, QStringLiteral("ref%1.db").arg(rows));
    for (int i = 0; i < rows; ++i) AppendStoreRow(t, Row(i));
    t.Close();
    return ReadAll(path);
  }

  // Checks that `image` is a complete table file of the first `rows` rows:
  // exactly their records after the header, then the end mark.
  static void ExpectCompleteTable(const QByteArray& image, const QByteArray& reference, int rows) {
    ASSERT_EQ(image.size(), kHeader + qsizetype(rows) * kRecord + 1) << rows;
    EXPECT_EQ(image.back(), '\x1a');
    EXPECT_EQ(image.mid(kHeader, rows * kRecord), reference.mid(kHeader, rows * kRecord)) << rows;
    dbf::Table t;
    t.LoadImage(image);
    EXPECT_EQ(t.RecordCount(), uint32_t(rows));
  }

  void Listen() {
    listening = table.AddListener([this](MeasurementTable::Change c) {
      if (c == MeasurementTable::Change::Reset) ++resets;
    });
  }

  QTemporaryDir dir;
  MeasurementTable table;
  MeasurementTable::Subscription listening;
  int resets = 0;
};

TEST_F(AppendRunTest, FileIsCompleteAtEveryPostAndEndsAsSinglePostsLeaveIt) {
  const int rows = 2 * kBlockRows + 7;
  const QByteArray reference = Reference(rows);
  const QString path = MakeStoreTable(table, dir, {});
  Listen();
  table.BeginAppendRun();
  qint64 lastSize = -1;
  int blocks = 0;
  for (int i = 0; i < rows; ++i) {
    AppendStoreRow(table, Row(i));
    EXPECT_EQ(table.StoredRowCount(), i + 1);
    EXPECT_EQ(table.GetInt("N"), i + 1);  // the new row is current
    // What a crash now would leave: whole blocks, each with the end mark.
    if (QFileInfo(path).size() == lastSize) continue;
    const QByteArray image = ReadAll(path);
    lastSize = image.size();
    const int written = int((image.size() - kHeader - 1) / kRecord);
    EXPECT_EQ(written % kBlockRows, 0);
    EXPECT_LE(written, i + 1);
    ExpectCompleteTable(image, reference, written);
    if (written > 0) ++blocks;
  }
  EXPECT_EQ(blocks, 2);
  EXPECT_EQ(resets, 0);  // the views hear of the rows once, at the end
  table.EndAppendRun();
  EXPECT_EQ(resets, 1);
  EXPECT_EQ(ReadAll(path), reference);
  EXPECT_EQ(Column(table, "N"), Numbers(1, rows));
}

TEST_F(AppendRunTest, WriteFailingInTheMiddleKeepsEveryRowThatFits) {
  struct Case {
    const char* what;
    int fit;   // rows the disk has room for
    int rows;  // rows the run posts
    bool values = false;  // appended as rows of values, as a download does
  } cases[] = {
      {"a block fails, part of it fits", kBlockRows + 40, 3 * kBlockRows},
      {"the first block fails", 8, 2 * kBlockRows},
      {"the end of the run fails", kBlockRows + 3, kBlockRows + 10},
      {"rows of values, a block fails", kBlockRows + 40, 3 * kBlockRows, true},
      {"rows of values, the end fails", kBlockRows + 3, kBlockRows + 10, true},
  };
  const QByteArray reference = Reference(3 * kBlockRows);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    QTemporaryDir here;
    MeasurementTable t;
    const QString path = MakeStoreTable(t, here, {});
    int resets = 0;
    const auto listening = t.AddListener([&](MeasurementTable::Change change) {
      if (change == MeasurementTable::Change::Reset) ++resets;
    });
    QString error;
    int posted = 0;
    {
      StoreWriteLimit full(rlim_t(kHeader + qint64(c.fit) * kRecord + 1));
      try {
        if (c.values) {
          t.AppendRows(ValueRows(0, c.rows));
        } else {
          MeasurementTable::AppendRun run(t);
          for (; posted < c.rows; ++posted) AppendStoreRow(t, Row(posted));
          run.End();
        }
      } catch (const TableError& e) {
        error = e.text();
      }
      // Rows of values leave no row in progress behind.
      if (c.values) {
        EXPECT_FALSE(t.IsEditing());
      }
      if (t.IsEditing()) t.CancelRow();
    }
    EXPECT_TRUE(error.contains(QString::fromUtf8("Ошибка записи"))) << error.toStdString();
    // The failure shows at the write of the block that holds the first row
    // beyond the room.
    const int failedBlockEnd = (c.fit / kBlockRows + 1) * kBlockRows;
    if (!c.values) {
      EXPECT_EQ(posted, std::min(failedBlockEnd, c.rows) - (failedBlockEnd <= c.rows ? 1 : 0));
    }
    // The table and the file agree: the rows that fit, none torn.
    EXPECT_EQ(t.StoredRowCount(), c.fit);
    EXPECT_EQ(t.VisibleRowCount(), c.fit);
    EXPECT_EQ(Column(t, "N"), Numbers(1, c.fit));
    ExpectCompleteTable(ReadAll(path), reference, c.fit);
    EXPECT_EQ(dbf::GetU32(ReadAll(path).constData() + 4), uint32_t(c.fit));  // and its header
    EXPECT_GE(resets, 1);

    // With room again the run goes on where the file ends.
    t.BeginAppendRun();
    for (int i = c.fit; i < c.fit + 5; ++i) AppendStoreRow(t, Row(i));
    t.EndAppendRun();
    t.Close();
    EXPECT_EQ(ReadAll(path), Reference(c.fit + 5));
    t.Open();
    EXPECT_EQ(Column(t, "N"), Numbers(1, c.fit + 5));
  }
}

TEST_F(AppendRunTest, OtherWritesAndLeavingWithAnErrorWriteTheCollectedRows) {
  const QString path = MakeStoreTable(table, dir, {});
  table.BeginAppendRun();
  for (int i = 0; i < 5; ++i) AppendStoreRow(table, Row(i));
  // Refresh reads the file again: the rows must be there first.
  table.Refresh();
  EXPECT_EQ(Column(table, "N"), Numbers(1, 5));
  for (int i = 5; i < 8; ++i) AppendStoreRow(table, Row(i));
  table.Last();
  table.DeleteRow();  // row 8, written with its deletion flag
  table.EndAppendRun();
  QByteArray image = ReadAll(path);
  ASSERT_EQ(image.size(), kHeader + 8 * kRecord + 1);
  EXPECT_EQ(image[kHeader + 7 * kRecord], '*');
  EXPECT_EQ(dbf::GetU32(image.constData() + 4), 8u);

  // A run left by an error of the caller's keeps what was posted.
  try {
    MeasurementTable::AppendRun run(table);
    for (int i = 8; i < 11; ++i) AppendStoreRow(table, Row(i));
    throw std::runtime_error("the image ended");
  } catch (const std::runtime_error&) {
  }
  image = ReadAll(path);
  EXPECT_EQ(image.size(), kHeader + 11 * kRecord + 1);
  EXPECT_EQ(dbf::GetU32(image.constData() + 4), 11u);
  table.Close();
  table.Open();
  EXPECT_EQ(Column(table, "N"), (std::vector<int64_t>{1, 2, 3, 4, 5, 6, 7, 9, 10, 11}));
}

TEST_F(AppendRunTest, RowsOfValuesLeaveTheFileAsSinglePostsDo) {
  const int rows = 2 * kBlockRows + 7;
  const QByteArray reference = Reference(rows);
  const QString path = MakeStoreTable(table, dir, {});
  Listen();
  table.AppendRows(ValueRows(0, rows));
  EXPECT_EQ(resets, 1);  // one run: the views hear of the rows once
  EXPECT_FALSE(table.IsEditing());
  EXPECT_EQ(ReadAll(path), reference);
  EXPECT_EQ(Column(table, "N"), Numbers(1, rows));

  // A blank value leaves its field blank, as do the fields no row names.
  MeasurementRow sparse = ValuesOf(Row(rows));
  sparse[Field::Time] = FieldValue();
  sparse[Field::H] = FieldValue();
  table.AppendRows({sparse});
  table.Last();
  EXPECT_EQ(table.GetText(Field::Time).trimmed(), "");
  EXPECT_TRUE(std::holds_alternative<std::monostate>(table.GetField(Field::H)));
  EXPECT_TRUE(std::holds_alternative<std::monostate>(table.GetField("O1")));
  EXPECT_EQ(table.GetText(Field::Comment).trimmed(), "");
  EXPECT_EQ(table.GetInt(Field::N), rows + 1);
}

// A row that cannot be written stops the rows: those before it stay in the
// file and the table, the row itself leaves nothing behind for a later
// post or close.
TEST_F(AppendRunTest, RowsOfValuesStopAtTheRowThatFails) {
  const QByteArray reference = Reference(10);
  const QString path = MakeStoreTable(table, dir, {});
  std::vector<MeasurementRow> rows = ValueRows(0, 2 * kBlockRows);
  rows[10][Field::NbType] = int64_t(12345);  // does not fit its field
  EXPECT_THROW(table.AppendRows(rows), TableError);
  EXPECT_FALSE(table.IsEditing());
  EXPECT_EQ(table.StoredRowCount(), 10);
  // The first row of a call as well.
  EXPECT_THROW(table.AppendRows({rows[10]}), TableError);
  EXPECT_FALSE(table.IsEditing());
  table.Close();
  EXPECT_EQ(ReadAll(path), reference);
  table.Open();
  EXPECT_EQ(Column(table, "N"), Numbers(1, 10));
}

TEST(AppendRows, NeedAnOpenTableAndMakeNoFile) {
  QTemporaryDir dir;
  MeasurementTable table;
  table.SetLocation(dir.filePath("p.db"));
  EXPECT_THROW(table.AppendRows({ValuesOf(Row(0))}), TableError);
  EXPECT_FALSE(table.IsOpen());
  EXPECT_FALSE(QFile::exists(dir.filePath("p.db")));
}

// DeleteRows against DeleteRow on each record from the highest, on twin
// tables: the same file, the same rows shown, the same current row, also
// when the disk refuses a write in the middle.
TEST(DeleteRows, EndAsDeletingOneByOneFromTheLast) {
  struct Case {
    const char* what;
    std::vector<uint32_t> records;
    int room;  // records that may be written (0: no limit)
  } cases[] = {
      {"every other row", {}, 0},
      {"clusters and far apart", {2, 3, 4, 40, 41, 90, 150, 151, 152, 199, 200}, 0},
      {"the last row", {200}, 0},
      // The stretch 150..152 is written up to the room, the flag of 152 fails.
      {"a failure inside a stretch", {2, 3, 4, 40, 41, 90, 150, 151, 152}, 151},
      {"a failure at the highest", {5, 50, 120}, 60},
  };
  for (int r = 2; r <= 200; r += 2) cases[0].records.push_back(uint32_t(r));
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    QTemporaryDir dir;
    MeasurementTable one, many;
    std::vector<StoreRow> rows;
    for (int i = 0; i < 200; ++i) rows.push_back(Row(i));
    const QString onePath = MakeStoreTable(one, dir, rows, "one.db");
    const QString manyPath = MakeStoreTable(many, dir, rows, "many.db");
    one.SetFilter("NB_TYPE=1");
    many.SetFilter("NB_TYPE=1");
    bool oneFailed = false, manyFailed = false;
    {
      std::unique_ptr<StoreWriteLimit> limit;
      if (c.room > 0) limit = std::make_unique<StoreWriteLimit>(rlim_t(kHeader + c.room * kRecord));
      try {
        for (auto it = c.records.rbegin(); it != c.records.rend(); ++it) {
          one.GotoBookmark(*it);
          one.DeleteRow();
        }
      } catch (const TableError&) {
        oneFailed = true;
      }
      try {
        many.DeleteRows(c.records);
      } catch (const TableError&) {
        manyFailed = true;
      }
    }
    EXPECT_EQ(manyFailed, c.room > 0);
    EXPECT_EQ(oneFailed, manyFailed);
    EXPECT_EQ(ReadAll(manyPath), ReadAll(onePath));
    EXPECT_EQ(many.CurrentIndex(), one.CurrentIndex());
    EXPECT_EQ(many.Bookmark(), one.Bookmark());
    EXPECT_EQ(Column(many, "N"), Column(one, "N"));
  }
}

}  // namespace
