// The table's life without a window: New from a download image, Open,
// Save, Close, the series shown and the rows a deletion takes.
#include "store/table_session.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <functional>
#include <map>
#include <memory>

#include "platform/file_ops.h"
#include "simulator/sim_images.h"
#include "support/link_sample_records.h"
#include "support/store_fixture.h"
#include "support/test_env.h"

namespace {

QString Ru(const char* utf8) { return QString::fromUtf8(utf8); }

class Session : public ::testing::Test {
 protected:
  QString Path(const QString& name) const { return QDir(dir_.path()).filePath(name); }
  // New from the image of three water-permeability series (5, 6, 9).
  void NewWater(const QString& path) {
    session_.CreateFromDownload(path, *DownloadOf(sim::BuildWaterImage(ThreeSeries()), 2, 3));
  }

  QTemporaryDir dir_;
  TableSession session_;
};

TEST_F(Session, NewDecodesTheImageAndShowsTheFirstSeries) {
  NewWater(Path("w.db"));
  EXPECT_TRUE(session_.InUse());
  EXPECT_FALSE(session_.IsModified());
  EXPECT_EQ(session_.SeriesList(), (QStringList{"5", "6", "9"}));
  // The decoded rows' entries are the ones the table's rows give.
  ASSERT_EQ(session_.Series().size(), 3u);
  EXPECT_EQ(SeriesEntryText(session_.Series()[2]), Ru("9 · 05.03.2010 09:00 · B6"));
  const std::vector<SeriesEntry> decoded = session_.Series();
  EXPECT_EQ((session_.RebuildSeriesList(ShownKind::Water), session_.Series()), decoded);
  session_.ShowSeries(decoded.front().number);
  EXPECT_EQ(session_.Table().Filter(), "SERIAL=5");
  EXPECT_EQ(session_.Table().StoredRowCount(), 18);
  EXPECT_EQ(session_.DeviceType(), 2);
  EXPECT_EQ(session_.DecodedRecordCount(), 3);

  // A plate image's own count replaces the identification frame's.
  const QByteArray plate = sim::BuildPlateImage(TwoPlateTests(), 16);
  session_.CreateFromDownload(Path("p.db"), *DownloadOf(plate, 16, 9, 4321));
  EXPECT_EQ(session_.DecodedRecordCount(), 2);
  EXPECT_EQ(session_.Table().Filter(), "NB_TYPE=0");
  EXPECT_TRUE(session_.SeriesList().isEmpty());
}

// What a folder holds: each file's name and bytes.
std::map<QString, QByteArray> FolderContents(const QString& dir) {
  std::map<QString, QByteArray> files;
  for (const QString& name : QDir(dir).entryList(QDir::Files | QDir::Hidden | QDir::System))
    files[name] = ReadAll(QDir(dir).filePath(name));
  return files;
}

TEST_F(Session, AFailedNewLeavesTheOldFileAndTheOpenTableAsTheyWere) {
  const struct {
    const char* name;
    const char* file;
    std::function<void(const QString& path)> obstacle;  // before New; may hold the file
    const char* reason;
  } cases[] = {
      {"missing folder", "missing/w.db", nullptr, "файл или папка не найдены"},
      {"full disk after eight rows", "full.db", nullptr, "превышен допустимый размер файла"},
      {"held by another writer", "held.db", nullptr, "открыта другой программой"},
      {"protected against writing", "ro.db",
       [](const QString& path) { QFile::setPermissions(path, QFile::ReadOwner | QFile::ReadOther); },
       "защищён от записи"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    QTemporaryDir dir;
    const QString path = QDir(dir.path()).filePath(c.file);
    // An older table of that name, and another one open in the session.
    MeasurementTable older, other;
    if (QFileInfo(path).dir().exists()) {
      MakeStoreTable(older, dir, {WaterRow(1, 4, 0.2, "B2")}, c.file);
      if (std::string(c.file) != "held.db") older.Close();
    }
    MakeStoreTable(other, dir, {PlateRow(1, 7, 1.0, 2.0)}, "open.db");
    other.Close();
    session_.Open(QDir(dir.path()).filePath("open.db"));
    session_.ShowKind(ShownKind::Plate);
    if (c.obstacle) c.obstacle(path);
    const auto before = FolderContents(dir.path());
    try {
      std::unique_ptr<StoreWriteLimit> limit;
      if (std::string(c.file) == "full.db") limit = std::make_unique<StoreWriteLimit>(961 + 8 * 480 + 1);
      NewWater(path);
      ADD_FAILURE() << "no error";
    } catch (const TableError& e) {
      EXPECT_TRUE(e.text().contains(Ru(c.reason))) << e.text().toStdString();
      // The operator's name, never the one of the file beside it.
      if (QFileInfo(path).dir().exists()) {
        EXPECT_TRUE(e.text().contains(QDir::toNativeSeparators(path))) << e.text().toStdString();
      }
      EXPECT_FALSE(e.text().contains(".part")) << e.text().toStdString();
    }
    EXPECT_EQ(FolderContents(dir.path()), before);
    EXPECT_TRUE(session_.InUse());
    EXPECT_EQ(session_.Table().FilePath(), QDir(dir.path()).filePath("open.db"));
    EXPECT_EQ(session_.Table().Filter(), "NB_TYPE=0");
    EXPECT_EQ(session_.Table().VisibleRowCount(), 1);
    session_.Close();
  }
}

// What an instrument's memory holds: water-permeability series or plate
// tests of one instrument serial.
struct Memory {
  std::vector<sim::WaterRecord> water;
  std::vector<sim::PlateRecord> plate;
  uint16_t serial = 1234;
};
Memory Water(std::vector<sim::WaterRecord> records) { return {std::move(records), {}, 1234}; }
Memory Plates(std::vector<sim::PlateRecord> records, uint16_t serial = 1234) {
  return {{}, std::move(records), serial};
}

std::unique_ptr<DownloadResult> DownloadOfMemory(const Memory& m) {
  if (!m.plate.empty() || m.water.empty())
    return DownloadOf(sim::BuildPlateImage(m.plate, 16), 16, uint16_t(m.plate.size()), m.serial);
  return DownloadOf(sim::BuildWaterImage(m.water), 1, uint16_t(m.water.size()), m.serial);
}

// A table file as New makes it, from the rows of `memories` one after the
// other, without the header's date of the last change.
QByteArray TableMadeOf(const QString& path, const std::vector<Memory>& memories) {
  std::vector<MeasurementRow> rows;
  for (const Memory& m : memories) {
    const auto d = DownloadOfMemory(m);
    const DumpView image{d->image.data(), int(d->image.size())};
    const auto more = m.plate.empty() && !m.water.empty()
                          ? DecodeWaterDump(image, 1, int(m.water.size())).rows
                          : DecodePlateDump(image, 16, m.serial).rows;
    rows.insert(rows.end(), more.begin(), more.end());
  }
  QFile f(path);
  f.open(QIODevice::WriteOnly);
  f.write(MeasurementTable::NewFileImage());
  f.close();
  MeasurementTable t;
  t.SetLocation(path);
  t.Open();
  t.AppendRows(rows);
  t.Close();
  return ReadAll(path);
}

QByteArray WithoutDate(QByteArray table) { return table.remove(1, 3); }

template <typename T>
std::vector<T> Pick(const std::vector<T>& all, std::initializer_list<int> at) {
  std::vector<T> out;
  for (int i : at) out.push_back(all[size_t(i)]);
  return out;
}

// "Дополнить": the records of the download the table does not hold go at
// its end in the instrument's order, and the file is the one New makes of
// all of them.
TEST_F(Session, AppendAddsOnlyTheRecordsTheTableDoesNotHold) {
  const auto w = sim::GenerateWaterRecords(15);
  const auto p = sim::GeneratePlateRecords(4);
  auto range = [&](int from, int to) {
    return std::vector<sim::WaterRecord>(w.begin() + from, w.begin() + to);
  };
  sim::WaterRecord laterStart = w[0];
  laterStart.start[4] = 16;  // same number, started a minute later
  sim::PlateRecord otherForce = p[0];
  otherForce.p += 1;  // a hundredth of a kN more
  const struct {
    const char* name;
    Memory before, download;
    std::vector<Memory> after;  // the table's records afterwards, in order
    const char* text;
    const char* shown;  // the filter afterwards
  } cases[] = {
      {"same memory twice", Water(range(0, 3)), Water(range(0, 3)), {Water(range(0, 3))},
       "Добавлено серий: 0 (0 строк), уже были в таблице: 3", "SERIAL=1"},
      {"three new series in a memory that kept the old", Water(range(0, 12)), Water(range(0, 15)),
       {Water(range(0, 15))}, "Добавлено серий: 3 (18 строк), уже были в таблице: 12", "SERIAL=13"},
      {"three new series in a cleared memory", Water(range(0, 12)), Water(range(12, 15)),
       {Water(range(0, 15))}, "Добавлено серий: 3 (18 строк), уже были в таблице: 0", "SERIAL=13"},
      {"new series between held ones", Water(Pick(w, {0, 2, 4})), Water(range(0, 5)),
       {Water(Pick(w, {0, 2, 4, 1, 3}))}, "Добавлено серий: 2 (12 строк), уже были в таблице: 3",
       "SERIAL=2"},
      {"same number, other start", Water({w[0]}), Water({laterStart}), {Water({w[0], laterStart})},
       "Добавлено серий: 1 (6 строк), уже были в таблице: 0", "SERIAL=1"},
      {"a series twice in the memory, once in the table", Water({w[4]}),
       Water(Pick(w, {4, 4, 5, 6, 7})), {Water(Pick(w, {4, 4, 5, 6, 7}))},
       "Добавлено серий: 4 (24 строки), уже были в таблице: 1", "SERIAL=5"},
      {"plate tests twice", Plates(Pick(p, {0, 1})), Plates(Pick(p, {0, 1})),
       {Plates(Pick(p, {0, 1}))}, "Добавлено испытаний: 0, уже были в таблице: 2", "NB_TYPE=0"},
      {"plate test twice in the memory", Plates(Pick(p, {0, 1})), Plates(Pick(p, {0, 1, 0, 2})),
       {Plates(Pick(p, {0, 1, 0, 2}))}, "Добавлено испытаний: 2, уже были в таблице: 2",
       "NB_TYPE=0"},
      {"plate test of another force", Plates({p[0]}), Plates({otherForce}),
       {Plates({p[0]}), Plates({otherForce})}, "Добавлено испытаний: 1, уже были в таблице: 0",
       "NB_TYPE=0"},
      {"plate tests of another instrument", Plates({p[0]}), Plates({p[0]}, 77),
       {Plates({p[0]}), Plates({p[0]}, 77)}, "Добавлено испытаний: 1, уже были в таблице: 0",
       "NB_TYPE=0"},
      {"an empty table takes plate tests", Plates({}), Plates(Pick(p, {3, 2})),
       {Plates(Pick(p, {3, 2}))}, "Добавлено испытаний: 2, уже были в таблице: 0", "NB_TYPE=0"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    QTemporaryDir dir;
    const QString path = QDir(dir.path()).filePath("t.db");
    session_.CreateFromDownload(path, *DownloadOfMemory(c.before));
    const QByteArray before = ReadAll(path);
    const QString filterBefore = session_.Table().Filter();
    bool replacing = false;
    const AppendCounts counts = session_.AppendFromDownload(*DownloadOfMemory(c.download),
                                                            [&] { replacing = true; });
    EXPECT_EQ(AppendCountsText(counts).toStdString(), c.text);
    const QByteArray after = ReadAll(path);
    EXPECT_EQ(WithoutDate(after), WithoutDate(TableMadeOf(QDir(dir.path()).filePath("e.db"), c.after)));
    EXPECT_FALSE(session_.IsModified());
    EXPECT_EQ(replacing, counts.added > 0);
    if (counts.added == 0) {
      // Nothing new: the file is not written, the rows shown stay.
      EXPECT_EQ(after, before);
      EXPECT_EQ(session_.Table().Filter(), filterBefore);
      continue;
    }
    // The new records are shown: the first new series, or the plate rows
    // with the first new one current.
    EXPECT_EQ(session_.Table().Filter().toStdString(), c.shown);
    if (counts.kind == ShownKind::Water) {
      EXPECT_EQ("SERIAL=" + session_.SeriesList().at(counts.firstNew), session_.Table().Filter());
    } else {
      EXPECT_EQ(session_.Table().CurrentIndex(), counts.firstNew);
      EXPECT_EQ(session_.Table().BookmarkAt(counts.firstNew),
                TableSession::Bookmark(session_.Table().StoredRowCount() - counts.addedRows + 1));
    }
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), (QStringList{"e.db", "t.db"}));
    session_.Close();
  }
  // A series short of a sample is not held: it comes again whole.
  session_.CreateFromDownload(Path("short.db"), *DownloadOfMemory(Water(range(0, 2))));
  session_.DeleteRowsAndPack({3});
  const AppendCounts counts = session_.AppendFromDownload(*DownloadOfMemory(Water(range(0, 2))));
  EXPECT_EQ(AppendCountsText(counts), Ru("Добавлено серий: 1 (6 строк), уже были в таблице: 1"));
  EXPECT_EQ(session_.Table().Filter(), "SERIAL=1");
}

// The table of the whole memory is byte for byte the one New makes of it.
TEST_F(Session, AnAppendedTableIsTheOneNewMakesOfTheWholeMemory) {
  const Memory first = Water(sim::GenerateWaterRecords(12));
  const Memory whole = Water(sim::GenerateWaterRecords(15));
  session_.CreateFromDownload(Path("whole.db"), *DownloadOfMemory(whole));
  session_.CreateFromDownload(Path("grown.db"), *DownloadOfMemory(first));
  session_.AppendFromDownload(*DownloadOfMemory(whole));
  session_.AppendFromDownload(*DownloadOfMemory(whole));
  session_.Close();
  EXPECT_EQ(WithoutDate(ReadAll(Path("grown.db"))), WithoutDate(ReadAll(Path("whole.db"))));
}

TEST_F(Session, AFailedAppendLeavesTheTableAsItWas) {
  const Memory water = Water(sim::GenerateWaterRecords(3));
  const Memory plate = Plates(sim::GeneratePlateRecords(2));
  const Memory moreWater = Water(sim::GenerateWaterRecords(5));
  const struct {
    const char* name;
    Memory before, download;
    MeasurementTable::OpenMode mode;
    rlim_t writeLimit;  // 0: none
    const char* reason;
  } cases[] = {
      {"plate tests into series", water, plate, MeasurementTable::OpenMode::Write, 0,
       "записаны серии испытаний на водонепроницаемость (ФИР-ТЛ7), а из прибора получены "
       "испытания прибора ЗЕН-ТЛ7"},
      {"series into plate tests", plate, water, MeasurementTable::OpenMode::Write, 0,
       "записаны испытания прибора ЗЕН-ТЛ7, а из прибора получены серии испытаний"},
      {"full disk", water, moreWater, MeasurementTable::OpenMode::Write, 961 + 20 * 480,
       "превышен допустимый размер файла"},
      // Another program writes it: open for viewing only.
      {"held by another writer", water, moreWater, MeasurementTable::OpenMode::ReadOnly, 0,
       "открыта только для просмотра: дополнить ее нельзя"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    QTemporaryDir dir;
    const QString path = QDir(dir.path()).filePath("t.db");
    session_.CreateFromDownload(path, *DownloadOfMemory(c.before));
    MeasurementTable writer;
    if (c.mode == MeasurementTable::OpenMode::ReadOnly) {
      session_.Close();
      writer.SetLocation(path);
      writer.Open();
    }
    session_.Open(path, c.mode);
    session_.ChooseShownKind();
    const auto files = FolderContents(dir.path());
    const QString filter = session_.Table().Filter();
    try {
      std::unique_ptr<StoreWriteLimit> limit;
      if (c.writeLimit) limit = std::make_unique<StoreWriteLimit>(c.writeLimit);
      session_.AppendFromDownload(*DownloadOfMemory(c.download));
      ADD_FAILURE() << "no error";
    } catch (const TableError& e) {
      EXPECT_TRUE(e.text().contains(Ru(c.reason))) << e.text().toStdString();
      EXPECT_FALSE(e.text().contains(".part")) << e.text().toStdString();
    }
    EXPECT_EQ(FolderContents(dir.path()), files);
    EXPECT_TRUE(session_.InUse());
    EXPECT_EQ(session_.Table().Filter(), filter);
    EXPECT_EQ(session_.Table().VisibleRowCount(), int(c.before.water.size() * 6 + c.before.plate.size()));
    session_.Close();
  }
}

TEST_F(Session, NewReplacesTheOpenTableItselfAndKeepsThePermissions) {
  const QString path = Path("w.db");
  MeasurementTable t;
  MakeStoreTable(t, dir_, {PlateRow(1, 7, 1.0, 2.0)}, "w.db");
  t.Close();
  ASSERT_EQ(::chmod(QFile::encodeName(path).constData(), 0600), 0);
  session_.Open(path);
  session_.Table().AddSortTag("tab1", "P", false);
  NewWater(path);
  EXPECT_TRUE(session_.InUse());
  EXPECT_EQ(session_.Table().StoredRowCount(), 18);
  EXPECT_EQ(session_.Table().Filter(), "SERIAL=5");
  EXPECT_TRUE(session_.IncompleteNotice().isEmpty()) << session_.IncompleteNotice().toStdString();
  struct stat st;
  ASSERT_EQ(::stat(QFile::encodeName(path).constData(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  // The old table's index went with it; nothing else is beside the table.
  EXPECT_EQ(QDir(dir_.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"w.db"});
}

// A file system double that plants a symbolic link at the name of the first
// file New creates beside the table, just before New creates it.
class PlantingFiles : public FileOps {
 public:
  explicit PlantingFiles(QString target) : target_(std::move(target)) { SetFiles(this); }
  ~PlantingFiles() override { SetFiles(nullptr); }
  int Open(const char* path, int flags, mode_t mode) override {
    if ((flags & O_CREAT) && planted_.empty()) {
      planted_ = path;
      EXPECT_EQ(::symlink(QFile::encodeName(target_).constData(), path), 0);
    }
    return FileOps::Open(path, flags, mode);
  }
  std::string planted_;

 private:
  QString target_;
};

TEST_F(Session, NewNeverWritesThroughALinkPlantedBesideTheTable) {
  const QString victim = Path("victim.txt");
  {
    QFile f(victim);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("secret");
  }
  {
    PlantingFiles planting(victim);
    NewWater(Path("w.db"));
    ASSERT_FALSE(planting.planted_.empty());
    EXPECT_TRUE(QFileInfo(QFile::decodeName(planting.planted_.c_str())).isSymLink());
    ::unlink(planting.planted_.c_str());
  }
  EXPECT_EQ(ReadAll(victim), QByteArray("secret"));
  EXPECT_EQ(session_.Table().StoredRowCount(), 18);
}

TEST_F(Session, LeftoversOfAKilledNewGoWithTheNextWritingOpen) {
  NewWater(Path("w.db"));
  session_.Close();
  enum Kind { kLeft, kLink, kBeingFilled, kWaitingForItsName };
  const struct {
    const char* name;
    Kind kind;
    bool removed;
  } files[] = {
      {".w.db.partAb3dE9", kLeft, true},
      {".w.part4711.db", kLeft, true},  // as earlier versions named it
      // Another run still making it: its table open, then its own lock.
      {".w.db.partFiLl00", kBeingFilled, false},
      {".w.db.partQQQQQQ", kWaitingForItsName, false},
      {".w.db.partLiNk00", kLink, false},
      {".w.db.partlonger1", kLeft, false},
      {".x.db.partAb3dE9", kLeft, false},
  };
  std::vector<std::unique_ptr<QFile>> held;
  MeasurementTable filling;
  for (const auto& f : files) {
    const QString path = Path(f.name);
    if (f.kind == kLink) {
      ASSERT_EQ(::symlink("w.db", QFile::encodeName(path).constData()), 0);
      continue;
    }
    ASSERT_TRUE(QFile::copy(Path("w.db"), path));
    if (f.kind == kBeingFilled) {
      filling.SetLocation(path);
      filling.Open();
    }
    if (f.kind == kWaitingForItsName) {
      auto file = std::make_unique<QFile>(path);
      ASSERT_TRUE(file->open(QIODevice::ReadOnly));
      ASSERT_EQ(::flock(file->handle(), LOCK_EX | LOCK_NB), 0);
      held.push_back(std::move(file));
    }
  }
  // A reader leaves them all.
  session_.Open(Path("w.db"), MeasurementTable::OpenMode::ReadOnly);
  session_.Close();
  for (const auto& f : files) EXPECT_TRUE(QFileInfo(Path(f.name)).exists() || QFileInfo(Path(f.name)).isSymLink()) << f.name;
  session_.Open(Path("w.db"));
  session_.Close();
  for (const auto& f : files) {
    SCOPED_TRACE(f.name);
    EXPECT_EQ(QFileInfo(Path(f.name)).exists() || QFileInfo(Path(f.name)).isSymLink(), !f.removed);
  }
}

TEST_F(Session, ATableCutShortIsNoticed) {
  auto water = [](int rows, int64_t firstSerial) {
    std::vector<StoreRow> out;
    for (int i = 0; i < rows; ++i) out.push_back(WaterRow(i % 6 + 1, firstSerial + i / 6, 0.2, "B4"));
    return out;
  };
  std::vector<StoreRow> waterThenPlate = water(11, 3);
  waterThenPlate.push_back(PlateRow(1, 9, 1.0, 2.0));
  std::vector<StoreRow> twoOfOneNumber = water(6, 3);
  for (auto& r : water(6, 3)) twoOfOneNumber.push_back(r);
  const struct {
    const char* name;
    std::vector<StoreRow> rows;
    int headerCount;  // -1: as written
    const char* notice;  // nullptr: none
  } cases[] = {
      {"whole series", water(12, 3), -1, nullptr},
      {"plate rows only", {PlateRow(1, 9, 1.0, 2.0), PlateRow(2, 9, 1.0, 2.0)}, -1, nullptr},
      {"last series short", water(11, 3), -1, "(серия 4) образцов: 5 из 6"},
      {"short series before plate rows", waterThenPlate, -1, "(серия 4) образцов: 5 из 6"},
      {"two whole series of one number", twoOfOneNumber, -1, nullptr},
      {"header promises more", water(12, 3), 15, "указано строк: 15, а в файле найдено: 12"},
      {"header promises fewer", water(12, 3), 10, "указано строк: 10, а в файле найдено: 12"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    MeasurementTable t;
    const QString path = MakeStoreTable(t, dir_, c.rows, "t.db");
    t.Close();
    if (c.headerCount >= 0) {
      QByteArray bytes = ReadAll(path);
      bytes[4] = char(c.headerCount);
      QFile f(path);
      ASSERT_TRUE(f.open(QIODevice::WriteOnly));
      f.write(bytes);
    }
    for (auto mode : {MeasurementTable::OpenMode::ReadOnly, MeasurementTable::OpenMode::KeepHeader}) {
      session_.Open(path, mode);
      if (c.notice) {
        EXPECT_TRUE(session_.IncompleteNotice().contains(Ru(c.notice)))
            << session_.IncompleteNotice().toStdString();
        EXPECT_TRUE(session_.IncompleteNotice().contains(QDir::toNativeSeparators(path)));
      } else {
        EXPECT_EQ(session_.IncompleteNotice(), QString());
      }
      session_.Close();
      EXPECT_EQ(session_.IncompleteNotice(), QString());
    }
  }
}

TEST_F(Session, OpenSaveAndClose) {
  NewWater(Path("w.db"));
  session_.Close();
  EXPECT_FALSE(session_.InUse());

  session_.Open(Path("w.db"));
  EXPECT_TRUE(session_.InUse());
  EXPECT_EQ(session_.Table().Filter(), QString());
  EXPECT_EQ(session_.DeviceType(), 2);
  EXPECT_EQ(session_.ChooseShownKind(), ShownKind::Water);
  EXPECT_EQ(session_.RebuildSeriesList(ShownKind::Water), (QStringList{"5", "6", "9"}));
  session_.ShowSeries("9");
  EXPECT_EQ(session_.Table().VisibleRowCount(), 6);
  // Statistics of the shown series: the sample without a result counts 0.
  session_.UpdateStatistics();
  EXPECT_DOUBLE_EQ(session_.Stats().PMin, 0.0);
  EXPECT_DOUBLE_EQ(session_.Stats().PMax, 0.6);

  // Save posts an edit in progress and keeps the filter.
  session_.Table().First();
  session_.Table().EditRow();
  session_.Table().SetField("TYPE", QStringLiteral("B12"));
  session_.MarkModified();
  session_.Save();
  EXPECT_FALSE(session_.IsModified());
  EXPECT_EQ(session_.Table().Filter(), "SERIAL=9");
  EXPECT_EQ(session_.Table().GetText("TYPE"), "B12");

  // Close drops the index of a sort tag with the table.
  session_.Table().AddSortTag("tab2", "P", true);
  ASSERT_TRUE(QFile::exists(Path("w.mdx")));
  session_.Close();
  EXPECT_FALSE(QFile::exists(Path("w.mdx")));
  EXPECT_FALSE(session_.Table().IsOpen());

  // Something that is no table: an error, and nothing in use.
  QFile text(Path("notes.db"));
  ASSERT_TRUE(text.open(QIODevice::WriteOnly));
  text.write("not a table\n");
  text.close();
  EXPECT_THROW(session_.Open(Path("notes.db")), TableError);
  EXPECT_FALSE(session_.InUse());
}

// A table viewed while its writer holds it: sorting, saving and closing
// leave the writer's files as they are, the index file included.
TEST_F(Session, AReadOnlyTableLeavesItsWritersFilesAlone) {
  NewWater(Path("w.db"));
  session_.Table().AddSortTag("tab2", "P", true);
  const QByteArray table = ReadAll(Path("w.db"));
  const QByteArray index = ReadAll(Path("w.mdx"));
  ASSERT_FALSE(index.isEmpty());
  TableSession viewer;
  EXPECT_THROW(viewer.Open(Path("w.db")), TableBusyError);
  EXPECT_FALSE(viewer.InUse());
  viewer.Open(Path("w.db"), MeasurementTable::OpenMode::ReadOnly);
  EXPECT_TRUE(viewer.ReadOnly());
  viewer.Table().SetFilter("SERIAL=9");
  viewer.Table().AddSortTag("tab2", "N", true);
  viewer.Table().SelectSortTag("tab2");
  viewer.Table().First();
  EXPECT_EQ(viewer.Table().GetInt("N"), 6);
  viewer.Save();
  EXPECT_TRUE(viewer.ReadOnly());
  EXPECT_EQ(viewer.Table().VisibleRowCount(), 6);
  viewer.Close();
  EXPECT_FALSE(viewer.ReadOnly());
  EXPECT_EQ(ReadAll(Path("w.db")), table);
  EXPECT_EQ(ReadAll(Path("w.mdx")), index);
}

TEST_F(Session, RowsToDeleteAreTheMarkedOnesInFileOrderElseTheCurrentRow) {
  NewWater(Path("w.db"));
  session_.Table().MoveTo(2);
  const TableSession::Bookmark current = session_.Table().Bookmark();
  const struct {
    const char* name;
    std::vector<TableSession::Bookmark> marked;
    std::vector<TableSession::Bookmark> rows;
  } cases[] = {
      {"marked in reverse", {5, 3, 1}, {1, 3, 5}},
      {"marked twice", {4, 2, 4}, {2, 4}},
      {"none marked", {}, {current}},
      // Series 6 and 9 are not shown: their rows are never taken.
      {"marked rows of other series", {2, 8, 13}, {2}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(session_.RowsToDelete(c.marked), c.rows);
  }
  session_.ShowSeries("42");  // nothing shown, no current row
  EXPECT_TRUE(session_.RowsToDelete({}).empty());
  EXPECT_TRUE(session_.RowsToDelete({current}).empty());
  session_.Close();
  EXPECT_TRUE(session_.RowsToDelete({}).empty());  // no current row
}

// The question before a deletion names the one row by sample and series (a
// plate test by its number, date and time), several rows by their count.
TEST_F(Session, TheRowsToDeleteAreNamed) {
  MeasurementTable& table = session_.Table();
  StoreRow undated = WaterRow(4, 3, 0.4, "B4");
  for (auto& [name, value] : undated)
    if (name == QLatin1String("DATE")) value = QString();
  MakeStoreTable(table, dir_, {WaterRow(1, 3, 0.2, "B4"), PlateRow(2, 7, 1.5, 2.5), undated});
  const struct {
    std::vector<TableSession::Bookmark> rows;
    const char* text;
  } cases[] = {
      {{1}, "образец 1 серии 3, 01.02.2024"},
      {{2}, "испытание № 2, 01.02.2024 10:00:00"},
      {{3}, "образец 4 серии 3"},
      {{1, 2}, "2 отмеченные строки"},
      {std::vector<TableSession::Bookmark>(5, 1), "5 отмеченных строк"},
      {std::vector<TableSession::Bookmark>(11, 1), "11 отмеченных строк"},
      {std::vector<TableSession::Bookmark>(14, 1), "14 отмеченных строк"},
      {std::vector<TableSession::Bookmark>(21, 1), "21 отмеченную строку"},
      {std::vector<TableSession::Bookmark>(22, 1), "22 отмеченные строки"},
      {std::vector<TableSession::Bookmark>(112, 1), "112 отмеченных строк"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(session_.RowsToDeleteText(c.rows).toStdString(), c.text) << c.rows.size();
}

// The plate tests of a range of dates are the rows shown: the statistics,
// a deletion and what is shown after saving, deleting or rebuilding the
// list keep to them; another table starts with all of its tests.
TEST_F(Session, PlateDatesNarrowTheShownTestsUntilTheTableGoes) {
  std::vector<StoreRow> rows;
  const char* dates[] = {"28.02.2024", "01.03.2024", "02.03.2024", "03.03.2024", "04.03.2024"};
  for (int i = 0; i < 5; ++i) {
    rows.push_back(PlateRow(i + 1, 500, 10.0 * (i + 1), 1.0));
    rows.back()[1].second = QString::fromLatin1(dates[i]);
  }
  {
    MeasurementTable writer;
    MakeStoreTable(writer, dir_, rows, "p.db");
  }
  auto shownNumbers = [&] {
    std::vector<int64_t> n;
    for (int i = 0; i < session_.Table().VisibleRowCount(); ++i)
      n.push_back(ValueToInt(session_.Table().FieldAt(i, Field::N)));
    return n;
  };
  session_.Open(Path("p.db"));
  EXPECT_EQ(session_.ChooseShownKind(), ShownKind::Plate);
  session_.SetPlateDates({QDate(2024, 3, 1), QDate(2024, 3, 3)});
  session_.ShowKind(ShownKind::Plate);
  EXPECT_EQ(shownNumbers(), (std::vector<int64_t>{2, 3, 4}));
  session_.UpdateStatistics();
  EXPECT_DOUBLE_EQ(session_.Stats().PMin, 20.0);
  EXPECT_DOUBLE_EQ(session_.Stats().PMax, 40.0);
  // Water rows show no plate dates.
  session_.ShowKind(ShownKind::Water);
  EXPECT_TRUE(session_.Table().FilterDates().IsUnbounded());
  session_.ShowKind(ShownKind::Plate);

  session_.Save();
  EXPECT_EQ(shownNumbers(), (std::vector<int64_t>{2, 3, 4}));
  session_.RebuildSeriesList(ShownKind::Plate);
  EXPECT_EQ(shownNumbers(), (std::vector<int64_t>{2, 3, 4}));
  // A mark on a test outside the range is no row to delete.
  const auto doomed = session_.RowsToDelete({1, 3});
  EXPECT_EQ(doomed, (std::vector<TableSession::Bookmark>{3}));
  session_.DeleteRowsAndPack(doomed);
  EXPECT_EQ(shownNumbers(), (std::vector<int64_t>{2, 4}));
  EXPECT_EQ(session_.Table().StoredRowCount(), 4);

  session_.Close();
  session_.Open(Path("p.db"));
  EXPECT_TRUE(session_.PlateDates().IsUnbounded());
  session_.ShowKind(ShownKind::Plate);
  EXPECT_EQ(shownNumbers(), (std::vector<int64_t>{1, 2, 4, 5}));
}

TEST_F(Session, DeletedRowsGoAtThePackUnderTheSameFilter) {
  NewWater(Path("w.db"));
  session_.MarkModified();
  // An edit in progress is posted before anything goes, and the caller
  // hears of that before the rows are marked.
  MeasurementTable& table = session_.Table();
  table.MoveTo(2);
  table.EditRow();
  table.SetField(QStringLiteral("TYPE"), QStringLiteral("W12"));
  int told = 0;
  session_.DeleteRowsAndPack({2, 4}, [&] {
    ++told;
    EXPECT_FALSE(table.IsEditing());
    EXPECT_EQ(ValueToText(table.FieldOfRecord(3, Field::Type)).trimmed(), "W12");
    EXPECT_EQ(table.VisibleRowCount(), 6);
  });
  EXPECT_EQ(told, 1);
  EXPECT_FALSE(session_.IsModified());
  EXPECT_EQ(session_.Table().Filter(), "SERIAL=5");
  EXPECT_EQ(session_.Table().StoredRowCount(), 16);
  std::vector<int64_t> n;
  for (int i = 0; i < session_.Table().VisibleRowCount(); ++i)
    n.push_back(ValueToInt(session_.Table().FieldAt(i, "N")));
  EXPECT_EQ(n, (std::vector<int64_t>{1, 3, 5, 6}));
  EXPECT_EQ(ValueToText(table.FieldAt(1, Field::Type)).trimmed(), "W12");
}

}  // namespace
