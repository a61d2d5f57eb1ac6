// The BIFF8 writer: record bytes for the edge cases of the format, and every
// written file read back by an independent reader.
#include "output/xls/xls_writer.h"

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <csignal>

#include "output/xls/xls_model.h"
#include "output/xls/xls_test_util.h"
#include "platform/codepage.h"
#include "support/fault_files.h"
#include "support/test_env.h"

namespace {

QByteArray Cp(const QString& s) { return ToCp1251(s); }

const QStringList kHeaders{QStringLiteral("Серия"),
                           QStringLiteral("№ образца"),
                           QStringLiteral("Высота образца, мм"),
                           QStringLiteral("Время выдерживания на ступени, час"),
                           QStringLiteral("Давление, при котором наблюдалась фильтрация, МПа"),
                           QStringLiteral("Время начала испытания"),
                           QStringLiteral("Длительность испытания"),
                           QStringLiteral("Марка")};

// A sheet laid out like the export of a series: header row, series values in
// row 3 (created first), then N, P and TIME of each sample from row 1.
void FillSeries(XlsWorksheet* s, int samples) {
  for (int c = 0; c < 8; ++c) s->Ranges(c, 0, c, 0)->SetValue(kHeaders[c]);
  s->Ranges(0, 3, 0, 3)->SetValue(int32_t(17));
  s->Ranges(2, 3, 2, 3)->SetValue(150.0);
  s->Ranges(3, 3, 3, 3)->SetValue(6.0);
  s->Ranges(5, 3, 5, 3)->SetValue(QStringLiteral("12.03.2024 10:15"));
  s->Ranges(7, 3, 7, 3)->SetValue(QStringLiteral("B8"));
  for (int k = 1; k <= samples; ++k) {
    s->Ranges(1, k, 1, k)->SetValue(int32_t(k));
    s->Ranges(4, k, 4, k)->SetValue(0.2 * k);
    s->Ranges(6, k, 6, k)->SetValue(QStringLiteral("%1:0%2").arg(k).arg(k));
  }
}

QStringList SeriesStrings() {
  QStringList s = kHeaders;
  s << "1:01"
    << "2:02" << QStringLiteral("12.03.2024 10:15") << "B8"
    << "3:03"
    << "4:04"
    << "5:05"
    << "6:06";
  return s;
}

std::vector<BiffRecord> Globals(const QByteArray& stream) {
  return SplitSubstreams(ParseRecords(stream)).at(0);
}

std::vector<BiffRecord> SheetRecords(const QByteArray& stream, int sheet) {
  return SplitSubstreams(ParseRecords(stream)).at(size_t(sheet + 1));
}

// The cells xlrd read, keyed by (row, column).
QMap<QPair<int, int>, QJsonValue> CellsOf(const QJsonObject& sheet) {
  QMap<QPair<int, int>, QJsonValue> out;
  for (const QJsonValue& c : sheet["cells"].toArray()) {
    const QJsonArray a = c.toArray();
    out.insert({a[0].toInt(), a[1].toInt()}, a[3]);
  }
  return out;
}

class XlsWriterFileTest : public ::testing::Test {
 protected:
  QString Path(const QString& name) const { return dir_.filePath(name); }
  QTemporaryDir dir_;
};

TEST(XlsWriterTest, SeriesOfSixSamplesGivesTheFixedRecordLayout) {
  XlsWorkbook wb;
  XlsWorksheet* s = wb.AddSheet();
  s->SetName(QStringLiteral("ДК-ТЛ7"));
  FillSeries(s, 6);
  XlsWriter w;
  const QByteArray stream = w.StreamBytes(wb);
  ExpectSeriesStream(stream, SeriesStrings());
  // The same model always gives the same bytes.
  EXPECT_EQ(w.StreamBytes(wb), stream);
}

TEST(XlsWriterTest, WriteAccessCarriesTheTitleAsAUnicodeString) {
  struct Case {
    QByteArray title;
    int chars;
  } cases[] = {{"Report", 6}, {QByteArray(66, 'T'), 54}, {"", 0}};
  for (const Case& c : cases) {
    XlsWorkbook wb;
    wb.SetTitle(c.title);
    wb.AddSheet();
    const BiffRecord wa = OfId(Globals(XlsWriter().StreamBytes(wb)), 0x005C).at(0);
    ASSERT_EQ(wa.data.size(), 112);
    EXPECT_EQ(U16(wa.data, 0), c.chars);
    EXPECT_EQ(wa.data[2], 1);
    EXPECT_EQ(Utf16At(wa.data, 3, c.chars), QString::fromLatin1(c.title.left(c.chars)));
    EXPECT_EQ(wa.data.mid(3 + 2 * c.chars), QByteArray(112 - 3 - 2 * c.chars, ' '));
  }
}

TEST(XlsWriterTest, TwoSheetsAndAnEmptySheet) {
  XlsWorkbook wb;
  wb.AddSheet()->Ranges(0, 0, 0, 0)->SetValue(1.0);
  wb.AddSheet();  // no ranges
  const QByteArray stream = XlsWriter().StreamBytes(wb);
  const auto subs = SplitSubstreams(ParseRecords(stream));
  ASSERT_EQ(subs.size(), 3u);
  EXPECT_EQ(OfId(subs[0], 0x013D).at(0).data.toHex(' '), "01 00 02 00");
  const auto bound = OfId(subs[0], 0x0085);
  ASSERT_EQ(bound.size(), 2u);
  EXPECT_EQ(int(U32(bound[0].data, 0)), subs[1][0].pos);
  EXPECT_EQ(int(U32(bound[1].data, 0)), subs[2][0].pos);
  EXPECT_EQ(Utf16At(bound[1].data, 8, 6), QStringLiteral("Sheet2"));
  EXPECT_EQ(U16(OfId(subs[1], 0x023E).at(0).data, 0), 0x06B6);
  EXPECT_EQ(U16(OfId(subs[2], 0x023E).at(0).data, 0), 0x04B6);
  // Without strings there is neither SST nor EXTSST.
  EXPECT_TRUE(OfId(subs[0], 0x00FC).empty());
  EXPECT_TRUE(OfId(subs[0], 0x00FF).empty());

  const auto& empty = subs[2];
  EXPECT_EQ(OfId(empty, 0x020B).at(0).data.toHex(), QByteArray(32, '0'));
  EXPECT_EQ(OfId(empty, 0x0200).at(0).data, QByteArray(14, '\0'));
  const std::vector<uint16_t> tail{0x0055, 0x0200, 0x023E, 0x001D, 0x000A};
  const std::vector<uint16_t> ids = Ids(empty);
  EXPECT_EQ(std::vector<uint16_t>(ids.end() - 5, ids.end()), tail);
  EXPECT_TRUE(OfId(empty, 0x0208).empty());
  EXPECT_TRUE(OfId(empty, 0x00D7).empty());
}

// The fuzz target's quick count agrees with the walker on whole and on
// spoilt streams: what one finds wrong the other does.
TEST(XlsWriterTest, SubstreamCountAgreesWithTheWalker) {
  XlsWorkbook wb;
  wb.AddSheet()->Ranges(0, 0, 0, 0)->SetValue(1.0);
  wb.AddSheet();
  const QByteArray whole = XlsWriter().StreamBytes(wb);
  const QByteArray stray = QByteArray::fromHex("01000000");  // a record before any BOF
  struct Case {
    const char* name;
    QByteArray stream;
    bool faulty;
  };
  const Case cases[] = {
      {"whole", whole, false},
      {"cut inside the last record", whole.left(whole.size() - 3), true},
      {"without the last EOF", whole.left(whole.size() - 4), true},
      {"a record before the first BOF", stray + whole, true},
      {"a byte after the end", whole + '\0', true},
      {"empty", QByteArray(), false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    QString walked, counted;
    const auto subs = SplitBiffSubstreams(WalkBiffRecords(c.stream, &walked), &walked);
    EXPECT_EQ(CountBiffSubstreams(c.stream, &counted), int(subs.size()));
    EXPECT_EQ(!counted.isEmpty(), c.faulty) << counted.toStdString();
    EXPECT_EQ(!walked.isEmpty(), c.faulty) << walked.toStdString();
  }
}

TEST(XlsWriterTest, LongStringContinuesAtTheRecordLimit) {
  XlsWorkbook wb;
  XlsWorksheet* s = wb.AddSheet();
  QByteArray text;
  for (int i = 0; i < 5000; ++i) text.append(char('a' + i % 26));
  s->Ranges(0, 0, 0, 0)->SetValue(text);
  s->Ranges(1, 0, 1, 0)->SetValue(QByteArray("next"));
  const auto g = Globals(XlsWriter().StreamBytes(wb));
  const auto ids = Ids(g);
  const auto at = std::find(ids.begin(), ids.end(), 0x00FC) - ids.begin();
  ASSERT_LT(size_t(at + 1), g.size());
  const BiffRecord& sst = g[size_t(at)];
  const BiffRecord& cont = g[size_t(at + 1)];
  EXPECT_EQ(sst.data.size(), 8223);
  EXPECT_EQ(U16(sst.data, 8), 5000);
  EXPECT_EQ(Utf16At(sst.data, 11, 4106), QString::fromLatin1(text.left(4106)));
  ASSERT_EQ(cont.id, 0x003C);
  EXPECT_EQ(cont.data[0], 1);
  // The second string follows the rest of the first in the same CONTINUE.
  EXPECT_EQ(cont.data.size(), 1 + 894 * 2 + 3 + 8);
  EXPECT_EQ(Utf16At(cont.data, 1, 894), QString::fromLatin1(text.mid(4106)));
  EXPECT_EQ(Utf16At(cont.data, 1 + 1788 + 3, 4), QStringLiteral("next"));
  EXPECT_EQ(g[size_t(at + 2)].id, 0x00FF);
}

TEST(XlsWriterTest, StringStartsInANewRecordWhenFourBytesOrLessAreLeft) {
  struct Case {
    int firstLength;
    int sstSize;       // data bytes of the SST record
    bool secondMoves;  // the second string begins the CONTINUE
    QByteArray middle = QByteArray();  // a string between the two
  } cases[] = {
      {4105, 8221, true},         // 3 bytes left
      {4102, 8220, true, "y"},    // exactly 4 bytes left
      {4104, 8224, false},        // 5 bytes left: header and one character stay
  };
  for (const Case& c : cases) {
    XlsWorkbook wb;
    XlsWorksheet* s = wb.AddSheet();
    s->Ranges(0, 0, 0, 0)->SetValue(QByteArray(c.firstLength, 'x'));
    if (!c.middle.isEmpty()) s->Ranges(0, 1, 0, 1)->SetValue(c.middle);
    const int last = c.middle.isEmpty() ? 1 : 2;
    s->Ranges(0, last, 0, last)->SetValue(QByteArray("abc"));
    const QByteArray stream = XlsWriter().StreamBytes(wb);
    const auto g = Globals(stream);
    const auto ids = Ids(g);
    const size_t at = size_t(std::find(ids.begin(), ids.end(), 0x00FC) - ids.begin());
    EXPECT_EQ(g[at].data.size(), c.sstSize) << c.firstLength;
    const QByteArray cont = g.at(at + 1).data;
    if (c.secondMoves)
      EXPECT_EQ(cont.toHex(' '), "03 00 01 61 00 62 00 63 00");
    else
      EXPECT_EQ(cont.toHex(' '), "01 62 00 63 00");
  }
}

TEST(XlsWriterTest, ColoursOutsideThePaletteReplaceFreePositions) {
  XlsWorkbook wb;
  XlsWorksheet* s = wb.AddSheet();
  XlsRange* a = s->Ranges(0, 0, 0, 0);
  a->Font()->color = 0x00123456;  // not in the palette
  XlsRange* b = s->Ranges(0, 1, 0, 1);
  b->ForegroundColor = 0x000000FF;  // red: in the palette at 10
  b->BackgroundColor = 0x00654321;  // not in the palette
  XlsRange* c = s->Ranges(0, 2, 0, 2);
  c->ForegroundColor = 0x80000008;  // window text: black
  c->BackgroundColor = 0x00123456;  // already placed
  const auto g = Globals(XlsWriter().StreamBytes(wb));

  const auto fonts = OfId(g, 0x0031);
  ASSERT_EQ(fonts.size(), 6u);
  EXPECT_EQ(U16(fonts[4].data, 4), 24);  // the first non-basic, unused position
  EXPECT_EQ(U16(fonts[5].data, 4), 8);
  const auto xfs = OfId(g, 0x00E0);
  ASSERT_EQ(xfs.size(), 15u + 6u + 3u);
  EXPECT_EQ(U16(xfs[21].data, 18), 8 + 8 * 128);
  EXPECT_EQ(U16(xfs[22].data, 18), 10 + 25 * 128);
  EXPECT_EQ(U16(xfs[23].data, 18), 8 + 24 * 128);

  // PALETTE comes right after the STYLE records, before USESELFS.
  const auto ids = Ids(g);
  const size_t at = size_t(std::find(ids.begin(), ids.end(), 0x0092) - ids.begin());
  ASSERT_LT(at, ids.size());
  EXPECT_EQ(ids[at - 1], 0x0293);
  EXPECT_EQ(ids[at + 1], 0x0160);
  const QByteArray pal = g[at].data;
  ASSERT_EQ(pal.size(), 2 + 56 * 4);
  EXPECT_EQ(U16(pal, 0), 56);
  EXPECT_EQ(pal.mid(2 + 16 * 4, 8).toHex(' '), "56 34 12 00 21 43 65 00");
  EXPECT_EQ(pal.mid(2, 8).toHex(' '), "00 00 00 00 ff ff ff 00");
  EXPECT_EQ(pal.mid(2 + 18 * 4, 4).toHex(' '), "ff ff cc 00");  // untouched
}

TEST(XlsWriterTest, PaletteFullGivesIndexEight) {
  // 32 positions of the default palette hold no basic colour.
  XlsWorkbook wb;
  XlsWorksheet* s = wb.AddSheet();
  for (int i = 0; i < 33; ++i) s->Ranges(0, i, 0, i)->ForegroundColor = 0x00010100 + uint32_t(i);
  const auto xfs = OfId(Globals(XlsWriter().StreamBytes(wb)), 0x00E0);
  ASSERT_EQ(xfs.size(), 15u + 6u + 33u);
  std::vector<int> fg;
  for (size_t i = 21; i < xfs.size(); ++i) fg.push_back(U16(xfs[i].data, 18) & 0x7F);
  const std::vector<int> expected{24, 25, 26, 27, 28, 29, 30, 31, 40, 41, 42,
                                  43, 44, 45, 46, 47, 48, 49, 50, 51, 52, 53,
                                  54, 55, 56, 57, 58, 59, 60, 61, 62, 63, 8};
  EXPECT_EQ(fg, expected);
}

TEST(XlsWriterTest, FontsFormatsAndCellFormatsAreNumberedByFirstMatch) {
  XlsWorkbook wb;
  XlsWorksheet* s = wb.AddSheet();
  XlsRange* r0 = s->Ranges(0, 0, 0, 0);
  r0->NumberFormat = "0.000";
  r0->Font()->bold = true;
  XlsRange* r1 = s->Ranges(1, 0, 1, 0);
  r1->NumberFormat = "0.0E+00";
  XlsRange* r2 = s->Ranges(2, 0, 2, 0);
  r2->NumberFormat = "0.0e+00";  // same code, other case
  XlsRange* r3 = s->Ranges(3, 0, 3, 0);
  r3->NumberFormat = Cp(QStringLiteral("#,##0.00\"Р.\";\\-#,##0.00\"Р.\""));  // built-in 7
  r3->Font()->bold = true;
  XlsRange* r4 = s->Ranges(4, 0, 4, 0);
  r4->Font()->color = 0x80000008;  // equal to the four first fonts
  const auto g = Globals(XlsWriter().StreamBytes(wb));

  const auto fonts = OfId(g, 0x0031);
  ASSERT_EQ(fonts.size(), 6u);
  EXPECT_EQ(U16(fonts[4].data, 6), 1000);  // bold
  EXPECT_EQ(U16(fonts[5].data, 6), 100);
  const auto formats = OfId(g, 0x041E);
  ASSERT_EQ(formats.size(), 10u);
  EXPECT_EQ(U16(formats[8].data, 0), 50);
  EXPECT_EQ(Utf16At(formats[8].data, 5, U16(formats[8].data, 2)), QStringLiteral("0.000"));
  EXPECT_EQ(U16(formats[9].data, 0), 51);
  EXPECT_EQ(Utf16At(formats[0].data, 5, U16(formats[0].data, 2)),
            QStringLiteral("#,##0\"р.\";\\-#,##0\"р.\""));

  // XF 21.. in first-use order: (font 5, 50), (6, 51), r2 shares r1's, (5, 7), (1, 0).
  const auto xfs = OfId(g, 0x00E0);
  ASSERT_EQ(xfs.size(), 25u);
  const std::pair<int, int> fontAndFormat[] = {{5, 50}, {6, 51}, {5, 7}, {1, 0}};
  for (size_t i = 0; i < 4; ++i) {
    EXPECT_EQ(U16(xfs[21 + i].data, 0), fontAndFormat[i].first) << i;
    EXPECT_EQ(U16(xfs[21 + i].data, 2), fontAndFormat[i].second) << i;
  }
  const auto cells = OfId(SheetRecords(XlsWriter().StreamBytes(wb), 0), 0x0201);
  std::vector<int> xfOfRow;
  for (const auto& c : cells) xfOfRow.push_back(U16(c.data, 4));
  EXPECT_EQ(xfOfRow, (std::vector<int>{21, 22, 22, 23, 24}));
}

TEST(XlsWriterTest, CellFormatCarriesBordersAlignmentAndFill) {
  XlsWorkbook wb;
  XlsRange* r = wb.AddSheet()->Ranges(0, 0, 0, 0);
  r->Borders()->Item(XlsBorders::kLeft)->LineStyle = 1;
  r->Borders()->Item(XlsBorders::kLeft)->Color = 0x000000FF;  // red, 10
  r->Borders()->Item(XlsBorders::kBottom)->LineStyle = 2;
  r->Borders()->Item(XlsBorders::kBottom)->Color = 0x00FF0000;  // blue, 12
  r->Borders()->Item(XlsBorders::kDiagonalDown)->LineStyle = 3;
  r->Borders()->Item(XlsBorders::kRight)->Color = 0x00FF0000;  // no line: index 0
  r->FillPattern = XlsFill::Solid;
  r->ForegroundColor = 0x0000FFFF;  // yellow, 13
  r->HorizontalAlignment = 2;
  r->VerticalAlignment = 1;
  r->WrapText = 1;
  r->Rotation = 90;
  const auto xfs = OfId(Globals(XlsWriter().StreamBytes(wb)), 0x00E0);
  EXPECT_EQ(xfs.at(21).data.toHex(' '),
            "05 00 00 00 01 00 1a 5a 00 7c 01 20 0a 40 00 06 62 04 0d 04");

  // The diagonal from bottom left wins over the one from top left.
  XlsWorkbook wb2;
  XlsRange* d = wb2.AddSheet()->Ranges(0, 0, 0, 0);
  d->Borders()->Item(XlsBorders::kDiagonalDown)->LineStyle = 3;
  d->Borders()->Item(XlsBorders::kDiagonalUp)->LineStyle = 5;
  d->Borders()->Item(XlsBorders::kDiagonalUp)->Color = 0x000000FF;
  const QByteArray x = OfId(Globals(XlsWriter().StreamBytes(wb2)), 0x00E0).at(21).data;
  EXPECT_EQ(U16(x, 12), 0xC000);
  EXPECT_EQ(U32(x, 14), 10u * 16384u + 5u * 2097152u);
}

TEST(XlsWriterTest, MergedRangeBlanksAndMergedCellsRecords) {
  XlsWorkbook wb;
  XlsWorksheet* s = wb.AddSheet();
  s->Ranges(0, 0, 2, 1)->SetValue(4.5);
  s->Ranges(3, 0, 3, 0)->SetValue(QByteArray("\n"));  // one character, not a blank
  s->Ranges(4, 0, 4, 0)->SetValue(QByteArray());      // empty text: a blank
  s->Ranges(5, 0, 6, 0);                              // two cells, no value
  const QByteArray stream = XlsWriter().StreamBytes(wb);
  const auto sh = SheetRecords(stream, 0);
  std::vector<QByteArray> cells;
  for (const auto& r : sh)
    if (r.id == 0x0203 || r.id == 0x00BE || r.id == 0x0201 || r.id == 0x00FD)
      cells.push_back(QByteArray::number(r.id, 16) + ":" + r.data.toHex(' '));
  const std::vector<QByteArray> expected{
      "203:00 00 00 00 15 00 00 00 00 00 00 00 12 40",
      "be:00 00 01 00 15 00 15 00 02 00",
      "fd:00 00 03 00 16 00 00 00 00 00",
      "201:00 00 04 00 16 00",
      "be:00 00 05 00 15 00 15 00 06 00",
      "be:01 00 00 00 15 00 15 00 15 00 02 00",
  };
  EXPECT_EQ(cells, expected);
  const auto xfs = OfId(Globals(stream), 0x00E0);
  EXPECT_EQ(U16(xfs.at(21).data, 8), 0x7C20);
  EXPECT_EQ(U16(xfs.at(22).data, 8), 0x7C00);
  const auto merged = OfId(sh, 0x00E5);
  ASSERT_EQ(merged.size(), 1u);
  EXPECT_EQ(merged[0].data.toHex(' '), "02 00 00 00 01 00 00 00 02 00 00 00 00 00 05 00 06 00");
  // WINDOW2, SELECTION, MERGEDCELLS, EOF close the sheet.
  const auto ids = Ids(sh);
  EXPECT_EQ(std::vector<uint16_t>(ids.end() - 4, ids.end()),
            (std::vector<uint16_t>{0x023E, 0x001D, 0x00E5, 0x000A}));
}

TEST(XlsWriterTest, MoreThan1024MergedRangesSplitTheRecord) {
  XlsWorkbook wb;
  XlsWorksheet* s = wb.AddSheet();
  for (int row = 0; row < 1025; ++row) s->Ranges(0, row, 1, row);
  const auto merged = OfId(SheetRecords(XlsWriter().StreamBytes(wb), 0), 0x00E5);
  ASSERT_EQ(merged.size(), 2u);
  EXPECT_EQ(merged[0].data.size(), 8194);
  EXPECT_EQ(U16(merged[0].data, 0), 1024);
  EXPECT_EQ(merged[1].data.toHex(' '), "01 00 00 04 00 04 00 00 01 00");
}

TEST(XlsWriterTest, RowBlocksOfThirtyTwoWithIndexAndCellOffsets) {
  XlsWorkbook wb;
  XlsWorksheet* s = wb.AddSheet();
  // Rows 3..42 in use, row 10 left without cells.
  for (int row = 3; row <= 42; ++row)
    if (row != 10) s->Ranges(1, row, 1, row)->SetValue(double(row));
  s->Ranges(0, 20, 0, 20)->SetValue(QByteArray("x"));
  const auto sh = SheetRecords(XlsWriter().StreamBytes(wb), 0);
  const BiffRecord index = OfId(sh, 0x020B).at(0);
  EXPECT_EQ(U32(index.data, 4), 3u);
  EXPECT_EQ(U32(index.data, 8), 43u);
  const auto dbcells = OfId(sh, 0x00D7);
  ASSERT_EQ(dbcells.size(), 2u);
  ASSERT_EQ(index.data.size(), 16 + 8);
  EXPECT_EQ(int(U32(index.data, 16)), dbcells[0].pos);
  EXPECT_EQ(int(U32(index.data, 20)), dbcells[1].pos);
  EXPECT_EQ(dbcells[0].data.size(), 4 + 32 * 2);
  EXPECT_EQ(dbcells[1].data.size(), 4 + 8 * 2);

  const auto rows = OfId(sh, 0x0208);
  ASSERT_EQ(rows.size(), 40u);
  EXPECT_EQ(rows[7].data.toHex(' '), "0a 00 00 00 00 00 ff 00 00 00 00 00 00 00 00 00");
  EXPECT_EQ(rows[17].data.toHex(' '), "14 00 00 00 02 00 ff 00 00 00 00 00 00 00 00 00");
  // Each block: its ROW records, then its cells, then DBCELL.
  for (int b = 0; b < 2; ++b) {
    const BiffRecord& db = dbcells[size_t(b)];
    const BiffRecord& firstRow = rows[size_t(32 * b)];
    EXPECT_EQ(int(U32(db.data, 0)), db.pos - firstRow.pos);
    const int n = (db.data.size() - 4) / 2;
    int at = firstRow.pos + 20;
    int expectRow = 3 + 32 * b;
    for (int k = 0; k < n; ++k, ++expectRow) {
      at += U16(db.data, 4 + 2 * k);
      if (expectRow == 10) continue;  // no cell: the offset stays put
      auto it =
          std::find_if(sh.begin(), sh.end(), [&](const BiffRecord& r) { return r.pos == at; });
      ASSERT_NE(it, sh.end()) << "row " << expectRow;
      EXPECT_EQ(U16(it->data, 0), expectRow);
      EXPECT_EQ(U16(it->data, 2), expectRow == 20 ? 0 : 1);
    }
  }
}

TEST(XlsWriterTest, PageSetupRecords) {
  XlsWorkbook wb;
  XlsWorksheet* s = wb.AddSheet();
  const auto defaults = SheetRecords(XlsWriter().StreamBytes(wb), 0);
  EXPECT_EQ(OfId(defaults, 0x00A1).at(0).data.toHex(' '),
            "09 00 64 00 01 00 01 00 01 00 02 00 00 00 00 00 "
            "00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00");
  EXPECT_TRUE(OfId(defaults, 0x0014).at(0).data.isEmpty());
  EXPECT_EQ(OfId(defaults, 0x0026).at(0).data.toHex(), QByteArray("0000000000000040"));
  EXPECT_EQ(OfId(defaults, 0x0010).at(0).data.toHex(' '), "fc a9 f1 d2 4d 62 50 3f");

  XlsPageSetup* p = s->PageSetup();
  p->Orientation = 1;
  p->Order = 1;
  p->BlackAndWhite = p->Draft = p->PrintNotes = true;
  p->FirstPageNumber = 3;
  p->Copies = 2;
  p->LeftHeader = "L";
  p->RightHeader = "R";
  p->CenterFooter = "C";
  p->PrintHeadings = true;
  p->CenterVertically = true;
  const auto sh = SheetRecords(XlsWriter().StreamBytes(wb), 0);
  const QByteArray setup = OfId(sh, 0x00A1).at(0).data;
  EXPECT_EQ(U16(setup, 4), 3);
  EXPECT_EQ(U16(setup, 10), 0x0001 | 0x0008 | 0x0010 | 0x0020 | 0x0080);
  EXPECT_EQ(U16(setup, 32), 2);
  const QByteArray header = OfId(sh, 0x0014).at(0).data;
  EXPECT_EQ(U16(header, 0), 6);
  EXPECT_EQ(Utf16At(header, 3, 6), QStringLiteral("&LL&RR"));
  EXPECT_EQ(Utf16At(OfId(sh, 0x0015).at(0).data, 3, 3), QStringLiteral("&CC"));
  EXPECT_EQ(U16(OfId(sh, 0x002A).at(0).data, 0), 1);
  EXPECT_EQ(U16(OfId(sh, 0x002B).at(0).data, 0), 0);
  EXPECT_EQ(U16(OfId(sh, 0x0084).at(0).data, 0), 1);
}

TEST_F(XlsWriterFileTest, WrittenFileOpensInAnIndependentReader) {
  XlsWorkbook wb;
  XlsWorksheet* s = wb.AddSheet();
  s->SetName(QStringLiteral("ДК-ТЛ7"));
  FillSeries(s, 6);
  XlsWorksheet* s2 = wb.AddSheet();
  s2->Ranges(0, 0, 2, 1)->SetValue(QStringLiteral("объединено"));
  QByteArray longText;
  for (int i = 0; i < 5000; ++i) longText.append(char('A' + i % 26));
  s2->Ranges(0, 2, 0, 2)->SetValue(longText);
  s2->Ranges(1, 2, 1, 2)->SetValue(QByteArray());
  s2->Ranges(0, 3, 0, 3)->SetValue(XlsCurrency{25000});
  s2->Ranges(1, 3, 1, 3)->SetValue(true);
  s2->Ranges(2, 3, 2, 3)->Font()->color = 0x00123456;
  s2->Ranges(2, 3, 2, 3)->SetValue(int16_t(-3));
  wb.AddSheet();

  const QString path = Path(QStringLiteral("серия.xls"));
  XlsWriter w;
  w.SaveToFile(wb, path);
  EXPECT_EQ(StorageEntries(path), QStringList{QStringLiteral("Workbook")});
  EXPECT_EQ(ReadWorkbookStream(path), w.StreamBytes(wb));

  const QJsonArray sheets = ReadWithXlrd(path);
  ASSERT_EQ(sheets.size(), 3);
  EXPECT_EQ(sheets[0]["name"].toString(), QStringLiteral("ДК-ТЛ7"));
  EXPECT_EQ(sheets[1]["name"].toString(), QStringLiteral("Sheet2"));
  EXPECT_EQ(sheets[2]["name"].toString(), QStringLiteral("Sheet3"));
  EXPECT_EQ(sheets[0]["nrows"].toInt(), 7);
  EXPECT_EQ(sheets[0]["ncols"].toInt(), 8);
  const auto c = CellsOf(sheets[0].toObject());
  EXPECT_EQ(c.size(), 8 + 5 + 6 * 3);
  for (int col = 0; col < 8; ++col) EXPECT_EQ(c.value({0, col}).toString(), kHeaders[col]);
  EXPECT_EQ(c.value({3, 0}).toDouble(), 17);
  EXPECT_EQ(c.value({3, 2}).toDouble(), 150);
  EXPECT_EQ(c.value({3, 5}).toString(), QStringLiteral("12.03.2024 10:15"));
  EXPECT_EQ(c.value({3, 7}).toString(), QStringLiteral("B8"));
  for (int k = 1; k <= 6; ++k) {
    EXPECT_EQ(c.value({k, 1}).toDouble(), k);
    EXPECT_DOUBLE_EQ(c.value({k, 4}).toDouble(), 0.2 * k);
    EXPECT_EQ(c.value({k, 6}).toString(), QStringLiteral("%1:0%2").arg(k).arg(k));
  }
  const auto c2 = CellsOf(sheets[1].toObject());
  EXPECT_EQ(c2.value({0, 0}).toString(), QStringLiteral("объединено"));
  EXPECT_EQ(c2.value({2, 0}).toString(), QString::fromLatin1(longText));
  EXPECT_EQ(c2.value({2, 1}).toString(), QString());  // blank
  EXPECT_EQ(c2.value({3, 0}).toDouble(), 2.5);
  EXPECT_EQ(c2.value({3, 1}).toString(), QStringLiteral("True"));
  EXPECT_EQ(c2.value({3, 2}).toDouble(), -3);
  EXPECT_EQ(sheets[1]["merged"].toArray(), QJsonArray({QJsonArray({0, 2, 0, 3})}));
  EXPECT_EQ(sheets[2]["nrows"].toInt(), 0);
}

TEST_F(XlsWriterFileTest, ExistingFileIsReplaced) {
  const QString path = Path(QStringLiteral("old.xls"));
  {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(QByteArray(100000, 'z'));
  }
  XlsWorkbook wb;
  wb.AddSheet()->Ranges(0, 0, 0, 0)->SetValue(QByteArray("new"));
  XlsWriter().SaveToFile(wb, path);
  const QJsonArray sheets = ReadWithXlrd(path);
  ASSERT_EQ(sheets.size(), 1);
  EXPECT_EQ(CellsOf(sheets[0].toObject()).value({0, 0}).toString(), QStringLiteral("new"));
}

// A failure says in plain words what happened; the storage's own text
// with its result code is the detail.
TEST_F(XlsWriterFileTest, FailuresSayWhatHappenedAndCarryTheResultCode) {
  QFile::remove(Path(QStringLiteral("dir")));
  ASSERT_TRUE(QDir(dir_.path()).mkdir(QStringLiteral("dir")));
  struct Case {
    QString path;
    int failAt;  // the file operation that fails (0: none)
    int err;
    const char* reason;
    const char* detail;
  } cases[] = {
      {Path(QStringLiteral("missing/a.xls")), 0, 0, "нет такой папки",
       "StgCreateDocFile error -2147287038"},
      {Path(QStringLiteral("dir")), 0, 0, "это папка, а не файл",
       "StgCreateDocFile error -2147287035"},
      {Path(QStringLiteral("a.xls")), 1, EACCES, "папка защищена от записи",
       "StgCreateDocFile error -2147287035"},
      {Path(QStringLiteral("a.xls")), 1, EROFS, "диск защищён от записи",
       "StgCreateDocFile error -2147287035"},
      {Path(QStringLiteral("a.xls")), 2, ENOSPC, "нет места на диске",
       "Ошибка записи (код -2147286928)"},
  };
  XlsWorkbook wb;
  wb.AddSheet();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.reason);
    FaultFiles files;
    if (c.failAt) files.FailAt(c.failAt, c.err);
    try {
      XlsWriter().SaveToFile(wb, c.path);
      ADD_FAILURE() << "no error for " << c.path.toStdString();
    } catch (const XlsError& e) {
      EXPECT_EQ(e.text(), QStringLiteral("Не удалось записать файл %1: %2")
                              .arg(QDir::toNativeSeparators(c.path), QString::fromUtf8(c.reason)));
      EXPECT_EQ(e.detail(), QString::fromUtf8(c.detail));
    }
  }
  EXPECT_FALSE(QFile::exists(Path(QStringLiteral("missing"))));
  EXPECT_FALSE(QFile::exists(Path(QStringLiteral("a.xls"))));
}

TEST_F(XlsWriterFileTest, FailedWriteKeepsTheOldFile) {
  const QString path = Path(QStringLiteral("keep.xls"));
  {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("old contents");
  }
  XlsWorkbook wb;
  XlsWorksheet* s = wb.AddSheet();
  for (int row = 0; row < 3000; ++row) s->Ranges(0, row, 0, row)->SetValue(QByteArray(60, 'w'));

  // A file size limit makes every write past 64 KiB fail as a full disk does.
  rlimit old{};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
  auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
  rlimit small = old;
  small.rlim_cur = 64 * 1024;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  QString error;
  try {
    XlsWriter().SaveToFile(wb, path);
  } catch (const XlsError& e) {
    error = e.text();
  }
  setrlimit(RLIMIT_FSIZE, &old);
  std::signal(SIGXFSZ, oldHandler);

  EXPECT_EQ(error, QStringLiteral("Не удалось записать файл %1: превышен допустимый размер файла")
                      .arg(QDir::toNativeSeparators(path)));
  EXPECT_EQ(ReadAll(path), QByteArray("old contents"));
  EXPECT_EQ(QDir(dir_.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"keep.xls"});
}

}  // namespace
