// Every write of every operation that writes a file the operator keeps can
// fail or be the last: each operation runs once to count its writes, then
// for every N once with the N-th write failing and once "crashing" there.
// After each: the failure was reported, the file is the complete old or the
// complete new one (read by the engine and by independent readers), no file
// is left beside it after the next open, and the file opens again.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSettings>
#include <QTemporaryDir>
#include <functional>
#include <memory>
#include <sys/stat.h>

#include "output/reports/report_render.h"
#include "output/reports/report_source.h"
#include "output/reports/report_templates.h"
#include "output/xls/series_export.h"
#include "output/xls/xls_writer.h"
#include "platform/settings_store.h"
#include "simulator/sim_images.h"
#include "store/dbf/mdx_index.h"
#include "store/table_session.h"
#include "support/fault_files.h"
#include "support/link_sample_records.h"
#include "support/store_fixture.h"
#include "support/test_env.h"
#include "views/layout/column_layout_text.h"

namespace {

// The live rows of a table file as dbfread reads them, as one JSON text.
QByteArray DbfRows(const QString& path) {
  static const char kScript[] = R"(
import json, sys
from dbfread import DBF
rows = [dict(r) for r in DBF(sys.argv[1], encoding='cp1251', char_decode_errors='strict')]
print(json.dumps(rows, ensure_ascii=False, default=str))
)";
  QByteArray out, err;
  if (RunPython(QString::fromLatin1(kScript), {path}, &out, &err) != 0)
    return "unreadable: " + err;
  return out.trimmed();
}

// The rows as the engine reads them: field texts joined, one line a row.
QStringList EngineRows(const QString& path) {
  dbf::Table t;
  t.Open(path);
  QStringList rows;
  for (uint32_t r = 1; r <= t.RecordCount(); ++r) {
    if (t.IsDeleted(r)) continue;
    QStringList cells;
    for (int f = 0; f < int(t.Fields().size()); ++f) cells << t.Text(t.Record(r), f);
    rows << cells.join(QLatin1Char('|'));
  }
  return rows;
}

QStringList FolderFiles(const QString& dir) {
  QStringList names = QDir(dir).entryList(QDir::Files | QDir::Hidden | QDir::System);
  names.removeAll(QStringLiteral("KLT3.conf.lock"));
  return names;
}

// What one operation on one file needs: making the old file, the operation
// itself on live objects, dropping them, and the acceptable states.
struct Operation {
  virtual ~Operation() = default;
  // Makes the file(s) as they are before the operation (no faults).
  virtual void Prepare(const QString& dir) = 0;
  // Runs the operation; throws (or returns false) when it failed.
  virtual bool Run() = 0;
  // Drops the live objects (their last writes may fail too).
  virtual void Drop() = 0;
  // The file the operator keeps, its state as a comparable text and the
  // next open of it (which may tidy up); the state after a fault-free run.
  virtual QString File() const = 0;
  virtual QByteArray State() const = 0;
  virtual void NextOpen() = 0;
  // The files the folder may hold after the next open.
  virtual QStringList Expected() const { return {QFileInfo(File()).fileName()}; }
  // Whether `state` is acceptable besides old and new (rows flagged deleted
  // before a failure stay hidden until the pack).
  virtual bool AlsoAcceptable(const QByteArray&, const QByteArray&, const QByteArray&) const {
    return false;
  }
  // Whether the failure's message carries the system's reason.
  virtual bool SaysReason() const { return true; }
  // What a message must never show (the name of a file kept out of sight).
  virtual QString HiddenName() const { return QString(); }
  QString dir;
};

std::vector<StoreRow> Rows(int n) {
  std::vector<StoreRow> rows;
  for (int i = 1; i <= n; ++i) rows.push_back(WaterRow(i, 1 + i % 2, 0.2 * i, "B4"));
  return rows;
}

// A table's state: what dbfread and the engine read, which must agree.
QByteArray TableState(const QString& path) {
  const QByteArray byReader = DbfRows(path);
  QByteArray byEngine;
  try {
    byEngine = EngineRows(path).join(QLatin1Char('\n')).toUtf8();
  } catch (const std::exception& e) {
    byEngine = QByteArray("engine: ") + e.what();
  }
  return byReader + "\n--\n" + byEngine;
}

// A table state taken apart again.
struct TableRows {
  bool valid = false;
  QList<QByteArray> byReader;  // each row as compact JSON
  QList<QByteArray> byEngine;
};
TableRows Parse(const QByteArray& state) {
  TableRows t;
  const int cut = state.indexOf("\n--\n");
  if (cut < 0) return t;
  QJsonParseError error;
  const QJsonDocument doc = QJsonDocument::fromJson(state.left(cut), &error);
  if (error.error != QJsonParseError::NoError || !doc.isArray()) return t;
  for (const QJsonValue& row : doc.array())
    t.byReader << QJsonDocument(row.toObject()).toJson(QJsonDocument::Compact);
  const QByteArray engine = state.mid(cut + 4);
  if (engine.startsWith("engine: ")) return t;
  if (!engine.isEmpty()) t.byEngine = engine.split('\n');
  t.valid = true;
  return t;
}
template <typename List>
bool IsSubsequence(const List& part, const List& whole) {
  int at = 0;
  for (const auto& item : part) {
    while (at < whole.size() && whole[at] != item) ++at;
    if (at == whole.size()) return false;
    ++at;
  }
  return true;
}

struct TableOperation : Operation {
  QString File() const override { return QDir(dir).filePath(QStringLiteral("data.db")); }
  QByteArray State() const override { return TableState(File()); }
  void NextOpen() override {
    TableSession s;
    s.Open(File());
    s.Close();
  }
  void Drop() override { session.reset(); }
  std::unique_ptr<TableSession> session;
};

// "Создать": a new table from a download, over an older table of that name.
struct CreateFromDownload : TableOperation {
  QByteArray image = sim::BuildWaterImage(sim::GenerateWaterRecords(3));
  void Prepare(const QString& d) override {
    dir = d;
    MeasurementTable t;
    t.SetLocation(File());
    t.CreateFile();
    t.Open();
    for (const StoreRow& r : Rows(2)) AppendStoreRow(t, r);
    t.Close();
  }
  bool Run() override {
    session = std::make_unique<TableSession>();
    session->CreateFromDownload(File(), *DownloadOf(image, 1, 3, 1234));
    session->Close();
    return true;
  }
  // All or nothing: the old table or the whole new one, never part of it,
  // and the message names the file the operator chose.
  QString HiddenName() const override { return QStringLiteral(".part"); }
};

// "Дополнить": the records of a download that the open table does not
// hold yet go at its end; with the rename, all or nothing.
struct AppendFromDownload : TableOperation {
  static QByteArray Image(int series) {
    return sim::BuildWaterImage(sim::GenerateWaterRecords(series));
  }
  void Prepare(const QString& d) override {
    dir = d;
    TableSession s;
    s.CreateFromDownload(File(), *DownloadOf(Image(2), 1, 2, 1234));
    s.Close();
  }
  bool Run() override {
    session = std::make_unique<TableSession>();
    session->Open(File());
    session->AppendFromDownload(*DownloadOf(Image(4), 1, 4, 1234));
    session->Close();
    return true;
  }
  QString HiddenName() const override { return QStringLiteral(".part"); }
};

// Posting an edited row.
struct PostEdit : TableOperation {
  void Prepare(const QString& d) override {
    dir = d;
    MeasurementTable t;
    t.SetLocation(File());
    t.CreateFile();
    t.Open();
    for (const StoreRow& r : Rows(4)) AppendStoreRow(t, r);
  }
  bool Run() override {
    session = std::make_unique<TableSession>();
    session->Open(File());
    session->Table().First();
    session->Table().Next();
    session->Table().EditRow();
    session->Table().SetField(QStringLiteral("TYPE"), QStringLiteral("W12"));
    session->Table().SetField(QStringLiteral("P"), 1.25);
    session->PostEdit();
    session->Close();
    return true;
  }
};

// Deleting rows, then the pack.
struct DeleteAndPack : PostEdit {
  bool Run() override {
    session = std::make_unique<TableSession>();
    session->Open(File());
    session->DeleteRowsAndPack({2, 3});
    session->Close();
    return true;
  }
  // Rows flagged before the failure stay out of the live rows until the
  // pack: the old rows less some of those to delete, in their order.
  bool AlsoAcceptable(const QByteArray& state, const QByteArray& oldState,
                      const QByteArray& newState) const override {
    const TableRows now = Parse(state), old = Parse(oldState), packed = Parse(newState);
    if (!now.valid || now.byReader.size() != now.byEngine.size()) return false;
    return IsSubsequence(packed.byReader, now.byReader) && IsSubsequence(now.byReader, old.byReader) &&
           IsSubsequence(packed.byEngine, now.byEngine) && IsSubsequence(now.byEngine, old.byEngine);
  }
};

// Writing a sort tag, then dropping it: the table and its index.
struct SortTag : PostEdit {
  bool Run() override {
    session = std::make_unique<TableSession>();
    session->Open(File());
    session->Table().AddSortTag(QStringLiteral("tab2"), QStringLiteral("P"), true);
    session->Table().SelectSortTag(QStringLiteral("tab2"));
    session->Table().AddSortTag(QStringLiteral("tab1"), QStringLiteral("N"), false);
    session->Table().DropSortTag(QStringLiteral("tab2"));
    session->Table().Close();
    return true;
  }
  // The table's rows, and the index's tags walked in their orders (an
  // index may be missing: it is rebuilt from the rows when needed).
  QByteArray State() const override {
    QByteArray state = TableState(File());
    QByteArray image;
    const QString mdx = dbf::Index::PathFor(File());
    if (QFile::exists(mdx)) {
      image = ReadAll(mdx);
      try {
        const std::vector<dbf::TagInfo> tags = dbf::ReadMdxTags(image);
        for (size_t i = 0; i < tags.size(); ++i) {
          state += "\n" + tags[i].name + ":";
          for (uint32_t r : dbf::WalkMdxTag(image, int(i))) state += " " + QByteArray::number(r);
        }
      } catch (const dbf::Error& e) {
        state += "\nindex damaged: " + e.text().toUtf8();
      }
    }
    return state;
  }
  // The index is optional, but what it holds is whole: the table as it
  // was, then each tag walking in its order (P descending: records 4 to 1;
  // N ascending: 1 to 4), any of the steps between.
  bool AlsoAcceptable(const QByteArray& state, const QByteArray& oldState,
                      const QByteArray&) const override {
    QList<QByteArray> lines = state.split('\n');
    const QList<QByteArray> table = oldState.split('\n');
    if (lines.mid(0, table.size()) != table) return false;
    for (const QByteArray& line : lines.mid(table.size()))
      if (line != "TAB2: 4 3 2 1" && line != "TAB1: 1 2 3 4") return false;
    return true;
  }
  QStringList Expected() const override {
    QStringList names = {QStringLiteral("data.db")};
    if (QFile::exists(dbf::Index::PathFor(File()))) names << QStringLiteral("data.mdx");
    return names;
  }
};

// Saving a column layout into the settings file.
struct SaveLayout : Operation {
  void Prepare(const QString& d) override {
    dir = d;
    ClearSettings();
    SettingsStore s;
    s.Open();
    s.WriteString(QStringLiteral("Table_2"), Layout(45));
    s.WriteString(QStringLiteral("DefaultDir"), QStringLiteral("/дом/лаборатория, 2"));
    s.Sync();
  }
  static QString Layout(int width) {
    ColumnLayout c;
    c.fieldName = QStringLiteral("P");
    c.width = width;
    c.color = 0x80FF;
    return ColumnLayoutText({c});
  }
  bool Run() override {
    store = std::make_unique<SettingsStore>();
    store->Open();
    store->WriteString(QStringLiteral("Table_2"), Layout(90));
    store->Sync();
    return true;
  }
  // A store dropped after a failure tries once more from its destructor
  // (after a crash that write is lost too).
  void Drop() override { store.reset(); }
  QString File() const override {
    SettingsStore s;
    s.Open();
    return s.FileName();
  }
  QByteArray State() const override {
    QSettings s(File(), QSettings::IniFormat);
    if (s.status() != QSettings::NoError) return "unreadable";
    return (s.value(QStringLiteral("1.0/Table_2")).toString() + QLatin1Char('|') +
            s.value(QStringLiteral("1.0/DefaultDir")).toString())
        .toUtf8();
  }
  void NextOpen() override {
    SettingsStore s;
    s.Open();
    s.WriteString(QStringLiteral("Other"), QStringLiteral("1"));
    s.Sync();
  }
  QStringList Expected() const override { return {QStringLiteral("KLT3.conf")}; }
  std::unique_ptr<SettingsStore> store;
};

// "Экспорт в Excel" over an older workbook of that name.
struct ExportWorkbook : Operation {
  void Prepare(const QString& d) override {
    dir = d;
    MeasurementTable t;
    t.SetLocation(QDir(dir).filePath(QStringLiteral("data.db")));
    t.CreateFile();
    t.Open();
    for (const StoreRow& r : Rows(3)) AppendStoreRow(t, r);
    t.Close();
    QFile f(File());
    f.open(QIODevice::WriteOnly);
    f.write("older workbook");
  }
  bool Run() override {
    table = std::make_unique<MeasurementTable>();
    table->SetLocation(QDir(dir).filePath(QStringLiteral("data.db")));
    table->Open();
    ExportSeries(*table, File());
    return true;
  }
  void Drop() override { table.reset(); }
  // The workbook's message gives the storage code, not the system's words.
  bool SaysReason() const override { return false; }
  QString File() const override { return QDir(dir).filePath(QStringLiteral("серия.xls")); }
  // The bytes, and what xlrd reads of them.
  QByteArray State() const override {
    static const char kScript[] = R"(
import sys, xlrd
try:
    book = xlrd.open_workbook(sys.argv[1])
    sheet = book.sheet_by_index(0)
    print(sheet.name, sheet.nrows, [sheet.cell_value(r, 1) for r in range(1, sheet.nrows)])
except Exception as e:
    print('not a workbook:', type(e).__name__)
)";
    QByteArray out;
    RunPython(QString::fromLatin1(kScript), {File()}, &out);
    return ReadAll(File()) + "\n--\n" + out.trimmed();
  }
  void NextOpen() override {
    MeasurementTable t;
    t.SetLocation(QDir(dir).filePath(QStringLiteral("data.db")));
    t.Open();
    ExportSeries(t, File());
  }
  QStringList Expected() const override {
    return {QStringLiteral("data.db"), QStringLiteral("серия.xls")};
  }
  std::unique_ptr<MeasurementTable> table;
};

// "Печать" into a PDF file over an older one.
struct PrintPdf : ExportWorkbook {
  bool Run() override {
    table = std::make_unique<MeasurementTable>();
    table->SetLocation(QDir(dir).filePath(QStringLiteral("data.db")));
    table->Open();
    TableReportSource rows(table.get());
    const PreparedReport report =
        PrepareReport(ReportById(SelectReport(ReportView::WaterPermeability, 1)), rows);
    return WriteReportPdf(report, File());
  }
  QString File() const override { return QDir(dir).filePath(QStringLiteral("отчет.pdf")); }
  // The document's date changes from run to run: its length and its ends.
  QByteArray State() const override {
    const QByteArray b = ReadAll(File());
    if (!b.startsWith("%PDF")) return b;
    return "pdf of " + QByteArray::number(b.size()) +
           (b.trimmed().endsWith("%%EOF") ? " ended" : "");
  }
  // The next print to the same file.
  void NextOpen() override { Run(); }
  QStringList Expected() const override {
    return {QStringLiteral("data.db"), QStringLiteral("отчет.pdf")};
  }
};

struct Outcome {
  bool reported = false;
  QString text;
};

Outcome RunOperation(Operation& op) {
  Outcome o;
  try {
    o.reported = !op.Run();
  } catch (const std::exception& e) {
    o.reported = true;
    o.text = OperatorText(e);
  }
  return o;
}

class FaultTable : public ::testing::Test {
 protected:
  // Counts the operation's writes; records the old and new states.
  int Measure(Operation& op, QByteArray* oldState, QByteArray* newState,
              std::vector<std::string>* names) {
    QTemporaryDir d;
    op.Prepare(d.path());
    *oldState = op.State();
    files_.Count();
    const Outcome o = RunOperation(op);
    const int writes = files_.Writes();
    for (int n = 1; n <= writes; ++n) names->push_back(files_.Name(n));
    op.Drop();
    EXPECT_FALSE(o.reported) << o.text.toStdString();
    *newState = op.State();
    EXPECT_NE(*oldState, *newState);
    EXPECT_GT(writes, 0);
    return writes;
  }

  // Runs the whole table of faults over the operation.
  void Exercise(Operation& op) {
    QByteArray oldState, newState;
    std::vector<std::string> names;
    const int writes = Measure(op, &oldState, &newState, &names);
    for (int n = 1; n <= writes; ++n) {
      for (bool crash : {false, true}) {
        SCOPED_TRACE((crash ? "crash at write " : "failed write ") + std::to_string(n) + " of " +
                     std::to_string(writes) + ": " + names[size_t(n - 1)]);
        QTemporaryDir d;
        files_.Count();
        op.Prepare(d.path());
        const int err = n % 2 ? ENOSPC : EIO;
        if (crash)
          files_.CrashAt(n);
        else
          files_.FailAt(n, err);
        const Outcome o = RunOperation(op);
        const bool hit = files_.Hit();
        op.Drop();
        files_.Count();
        ASSERT_TRUE(hit);
        const QByteArray state = op.State();
        // A failed write is told, with its reason, unless the operation got
        // round it and finished all the same.
        if (!crash && state != newState) {
          EXPECT_TRUE(o.reported) << "a failed write went unreported";
          if (op.SaysReason()) {
            EXPECT_TRUE(o.text.contains(FileErrorText(err))) << o.text.toStdString();
          }
          if (!op.HiddenName().isEmpty()) {
            EXPECT_FALSE(o.text.contains(op.HiddenName())) << o.text.toStdString();
          }
        }
        EXPECT_TRUE(state == oldState || state == newState ||
                    op.AlsoAcceptable(state, oldState, newState))
            << "on disk:\n" << state.toStdString() << "\nold:\n" << oldState.toStdString()
            << "\nnew:\n" << newState.toStdString();
        EXPECT_NO_THROW(op.NextOpen());
        EXPECT_EQ(FolderFiles(QFileInfo(op.File()).path()), op.Expected());
      }
    }
  }

  FaultFiles files_;
};

}  // namespace

// Every writer of a file the operator keeps: a link planted at a name its
// new file could take is neither written through nor removed, the
// operation succeeds, the file keeps the mode the operator gave it, and
// each new file's data is on the disk before its rename, the folder after.
TEST_F(FaultTable, PlantedLinksAreNeverFollowedAndTheFileKeepsItsMode) {
  CreateFromDownload create;
  AppendFromDownload append;
  PostEdit post;
  DeleteAndPack pack;
  SortTag sort;
  SaveLayout layout;
  ExportWorkbook workbook;
  PrintPdf pdf;
  Operation* const ops[] = {&create, &append, &post, &pack, &sort, &layout, &workbook, &pdf};
  for (Operation* op : ops) {
    QByteArray oldState, newState;
    std::vector<std::string> names;
    Measure(*op, &oldState, &newState, &names);
    QTemporaryDir d, elsewhere;
    op->Prepare(d.path());
    const QString file = op->File();
    SCOPED_TRACE(QFileInfo(file).fileName().toStdString());
    const QString victim = elsewhere.filePath(QStringLiteral("secret"));
    const QString absent = elsewhere.filePath(QStringLiteral("made"));
    {
      QFile v(victim);
      ASSERT_TRUE(v.open(QIODevice::WriteOnly));
      v.write("secret");
    }
    const QString mdx = dbf::Index::PathFor(file);
    const QStringList links = {file + ".~tmp", file + ".~pack", mdx + ".~tmp"};
    for (const QString& at : links) ASSERT_TRUE(QFile::link(at == links.last() ? absent : victim, at));
    ASSERT_TRUE(QFile::setPermissions(file, QFile::ReadOwner | QFile::WriteOwner));
    files_.Count();
    const Outcome o = RunOperation(*op);
    op->Drop();
    EXPECT_FALSE(o.reported) << o.text.toStdString();
    EXPECT_EQ(op->State(), newState);
    EXPECT_EQ(ReadAll(victim), QByteArray("secret"));
    EXPECT_FALSE(QFileInfo::exists(absent));
    for (const QString& at : links) EXPECT_TRUE(QFileInfo(at).isSymLink()) << at.toStdString();
    struct stat st;
    ASSERT_EQ(stat(QFile::encodeName(file).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0600u);
    // A renamed file was synced before (but the index, which Close drops
    // and the table rebuilds), and the folder after.
    for (int n = 1; n <= files_.Writes(); ++n) {
      const std::string name = files_.Name(n);
      if (name.rfind("rename ", 0) != 0 || name.find(".mdx") != std::string::npos) continue;
      const std::string from = name.substr(7);
      bool synced = false, folder = false;
      for (int m = 1; m < n; ++m) synced = synced || files_.Name(m) == "sync " + from;
      for (int m = n + 1; m <= files_.Writes(); ++m)
        folder = folder || files_.Name(m).rfind("sync folder", 0) == 0;
      EXPECT_TRUE(synced && folder) << name;
    }
    for (const QString& at : links) QFile::remove(at);
  }
}

TEST_F(FaultTable, CreatingATableFromADownload) {
  CreateFromDownload op;
  Exercise(op);
}

TEST_F(FaultTable, AppendingADownloadToTheOpenTable) {
  AppendFromDownload op;
  Exercise(op);
}

TEST_F(FaultTable, PostingAnEditedRow) {
  PostEdit op;
  Exercise(op);
}

TEST_F(FaultTable, DeletingRowsWithThePack) {
  DeleteAndPack op;
  Exercise(op);
}

TEST_F(FaultTable, WritingAndDroppingASortTag) {
  SortTag op;
  Exercise(op);
}

TEST_F(FaultTable, SavingAColumnLayout) {
  SaveLayout op;
  Exercise(op);
}

TEST_F(FaultTable, ExportingAWorkbook) {
  ExportWorkbook op;
  Exercise(op);
}

TEST_F(FaultTable, PrintingToPdf) {
  PrintPdf op;
  Exercise(op);
}
