// The table's life without a window: New from a download image, Open,
// Save, Close, the series shown and the rows a deletion takes.
#include "store/table_session.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "simulator/sim_images.h"
#include "support/link_sample_records.h"
#include "support/store_fixture.h"
#include "support/test_env.h"

namespace {

class Session : public ::testing::Test {
 protected:
  QString Path(const QString& name) const { return QDir(dir_.path()).filePath(name); }
  // New from the image of three water-permeability series (5, 6, 9).
  void NewWater(const QString& path) {
    image_ = sim::BuildWaterImage(ThreeSeries());
    DownloadedImage d;
    d.image = DumpView{reinterpret_cast<const uint8_t*>(image_.constData()), int(image_.size())};
    d.deviceType = 2;
    d.recordCount = 3;
    session_.CreateFromDownload(path, d);
  }

  QTemporaryDir dir_;
  QByteArray image_;
  TableSession session_;
};

TEST_F(Session, NewDecodesTheImageAndShowsTheFirstSeries) {
  NewWater(Path("w.db"));
  EXPECT_TRUE(session_.InUse());
  EXPECT_FALSE(session_.IsModified());
  EXPECT_EQ(session_.SeriesList(), (QStringList{"5", "6", "9"}));
  EXPECT_EQ(session_.Table().Filter(), "SERIAL=5");
  EXPECT_EQ(session_.Table().StoredRowCount(), 18);
  EXPECT_EQ(session_.DeviceType(), 2);
  EXPECT_EQ(session_.DecodedRecordCount(), 3);

  // A plate image's own count replaces the identification frame's.
  const QByteArray plate = sim::BuildPlateImage(TwoPlateTests(), 16);
  DownloadedImage d;
  d.image = DumpView{reinterpret_cast<const uint8_t*>(plate.constData()), int(plate.size())};
  d.deviceType = 16;
  d.deviceSerial = 4321;
  d.recordCount = 9;
  session_.CreateFromDownload(Path("p.db"), d);
  EXPECT_EQ(session_.DecodedRecordCount(), 2);
  EXPECT_EQ(session_.Table().Filter(), "NB_TYPE=0");
  EXPECT_TRUE(session_.SeriesList().isEmpty());
}

TEST_F(Session, AFailedNewKeepsWhatItCouldWrite) {
  // No folder: nothing is in use.
  EXPECT_THROW(NewWater(Path("missing/w.db")), TableError);
  EXPECT_FALSE(session_.InUse());
  // A full disk after eight rows: the table stays in use with the series
  // started so far.
  {
    StoreWriteLimit limit(961 + 8 * 480 + 1);
    EXPECT_THROW(NewWater(Path("full.db")), TableError);
  }
  EXPECT_TRUE(session_.InUse());
  EXPECT_TRUE(session_.Table().IsOpen());
  EXPECT_EQ(session_.SeriesList(), (QStringList{"5", "6"}));
  EXPECT_EQ(session_.Table().StoredRowCount(), 8);
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
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(session_.RowsToDelete(c.marked), c.rows);
  }
  session_.Close();
  EXPECT_TRUE(session_.RowsToDelete({}).empty());  // no current row
}

TEST_F(Session, DeletedRowsGoAtThePackUnderTheSameFilter) {
  NewWater(Path("w.db"));
  session_.MarkModified();
  session_.DeleteRows({2, 4});
  session_.PackAndReopen();
  EXPECT_FALSE(session_.IsModified());
  EXPECT_EQ(session_.Table().Filter(), "SERIAL=5");
  EXPECT_EQ(session_.Table().StoredRowCount(), 16);
  std::vector<int64_t> n;
  for (int i = 0; i < session_.Table().VisibleRowCount(); ++i)
    n.push_back(ValueToInt(session_.Table().FieldAt(i, "N")));
  EXPECT_EQ(n, (std::vector<int64_t>{1, 3, 5, 6}));
}

}  // namespace
