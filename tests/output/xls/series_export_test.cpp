// The export of the rows shown: the series layout, read back byte by byte
// and by an independent reader.
#include "output/xls/series_export.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include "output/xls/xls_test_util.h"
#include "output/xls/xls_writer.h"
#include "support/store_fixture.h"

namespace {

const QStringList kHeaders{QStringLiteral("Серия"),
                           QStringLiteral("№ образца"),
                           QStringLiteral("Высота образца, мм"),
                           QStringLiteral("Время выдерживания на ступени, час"),
                           QStringLiteral("Давление, при котором наблюдалась фильтрация, МПа"),
                           QStringLiteral("Время начала испытания"),
                           QStringLiteral("Длительность испытания"),
                           QStringLiteral("Марка")};

StoreRow Sample(int64_t n, int64_t serial, const QString& time) {
  StoreRow r = WaterRow(n, serial, 0.2 * double(n), QStringLiteral("B%1").arg(serial));
  for (auto& [name, value] : r)
    if (name == QLatin1String("TIME")) value = time;
  r.push_back({"H", 150.0 + double(serial)});
  return r;
}

// Cells xlrd read, keyed by (row, column): [ctype, value].
QMap<QPair<int, int>, QJsonArray> Cells(const QJsonObject& sheet) {
  QMap<QPair<int, int>, QJsonArray> out;
  for (const QJsonValue& c : sheet["cells"].toArray()) {
    const QJsonArray a = c.toArray();
    out.insert({a[0].toInt(), a[1].toInt()}, QJsonArray{a[2], a[3]});
  }
  return out;
}

QJsonArray At(const QMap<QPair<int, int>, QJsonArray>& cells, int row, int col) {
  return cells.value({row, col});
}

constexpr int kNumber = 2, kText = 1, kBlank = 6;

class SeriesExportTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::vector<StoreRow> rows;
    // Series 7 first in the file, then series 12 of six samples.
    rows.push_back(Sample(1, 7, "0:00"));
    for (int n = 1; n <= 6; ++n) rows.push_back(Sample(n, 12, QStringLiteral("%1:1%1").arg(n)));
    MakeStoreTable(table, dir, rows);
  }
  QString Out(const QString& name) const { return QDir(dir.path()).filePath(name); }

  QTemporaryDir dir;
  MeasurementTable table;
};

TEST_F(SeriesExportTest, SixSamplesGiveTheSeriesLayout) {
  table.SetFilter(QStringLiteral("SERIAL=12"));
  const QString path = Out(QStringLiteral("serie.xls"));
  ExportSeries(table, path);

  QStringList strings = kHeaders;
  strings << "1:11"
          << "2:12"
          << "01.02.2024 10:00:00"
          << "B12"
          << "3:13"
          << "4:14"
          << "5:15"
          << "6:16";
  ExpectSeriesStream(ReadWorkbookStream(path), strings);

  const QJsonArray sheets = ReadWithXlrd(path);
  ASSERT_EQ(sheets.size(), 1);
  EXPECT_EQ(sheets[0]["name"].toString(), QStringLiteral("ДК-ТЛ7"));
  EXPECT_EQ(sheets[0]["nrows"].toInt(), 7);
  const auto c = Cells(sheets[0].toObject());
  EXPECT_EQ(c.size(), 8 + 5 + 18);
  for (int col = 0; col < 8; ++col) EXPECT_EQ(At(c, 0, col), QJsonArray({kText, kHeaders[col]}));
  EXPECT_EQ(At(c, 3, 0), QJsonArray({kNumber, 12}));
  EXPECT_EQ(At(c, 3, 2), QJsonArray({kNumber, 162}));
  EXPECT_EQ(At(c, 3, 3), QJsonArray({kNumber, 24}));
  EXPECT_EQ(At(c, 3, 5), QJsonArray({kText, "01.02.2024 10:00:00"}));
  EXPECT_EQ(At(c, 3, 7), QJsonArray({kText, "B12"}));
  for (int k = 1; k <= 6; ++k) {
    EXPECT_EQ(At(c, k, 1), QJsonArray({kNumber, k}));
    EXPECT_DOUBLE_EQ(At(c, k, 4)[1].toDouble(), 0.2 * k);
    EXPECT_EQ(At(c, k, 6), QJsonArray({kText, QStringLiteral("%1:1%1").arg(k)}));
  }
  // The table is left on its last row.
  EXPECT_TRUE(table.AtEnd());
  EXPECT_EQ(table.CurrentIndex(), 5);
}

TEST_F(SeriesExportTest, OneRowNoRowsAndAnEmptyTime) {
  struct Case {
    QString filter;
    int rows;  // rows xlrd sees
    QMap<QPair<int, int>, QJsonArray> cells;
  } cases[] = {
      {QStringLiteral("SERIAL=7"),
       4,
       {{{3, 0}, {kNumber, 7}},
        {{3, 2}, {kNumber, 157}},
        {{3, 3}, {kNumber, 24}},
        {{3, 5}, {kText, "01.02.2024 10:00:00"}},
        {{3, 7}, {kText, "B7"}},
        {{1, 1}, {kNumber, 1}},
        {{1, 4}, {kNumber, 0.2}},
        {{1, 6}, {kText, "0:00"}}}},
      // No rows: the series cells hold zeros and blanks, no sample row.
      {QStringLiteral("SERIAL=99"),
       4,
       {{{3, 0}, {kNumber, 0}},
        {{3, 2}, {kNumber, 0}},
        {{3, 3}, {kNumber, 0}},
        {{3, 5}, {kBlank, ""}},
        {{3, 7}, {kBlank, ""}}}},
  };
  for (const Case& c : cases) {
    table.SetFilter(c.filter);
    const QString path = Out(QStringLiteral("one.xls"));
    ExportSeries(table, path);
    const QJsonArray sheets = ReadWithXlrd(path);
    ASSERT_EQ(sheets.size(), 1);
    EXPECT_EQ(sheets[0]["nrows"].toInt(), c.rows) << c.filter.toStdString();
    auto got = Cells(sheets[0].toObject());
    for (int col = 0; col < 8; ++col)
      EXPECT_EQ(got.take(qMakePair(0, col))[1].toString(), kHeaders[col]);
    EXPECT_EQ(got, c.cells) << c.filter.toStdString();
  }

  // An empty TIME is a blank cell carrying the cells' format.
  AppendStoreRow(table, Sample(1, 30, QString()));
  table.SetFilter(QStringLiteral("SERIAL=30"));
  const QString path = Out(QStringLiteral("blank.xls"));
  ExportSeries(table, path);
  const auto sheet = SplitSubstreams(ParseRecords(ReadWorkbookStream(path))).at(1);
  const auto blanks = OfId(sheet, 0x0201);
  ASSERT_EQ(blanks.size(), 1u);
  EXPECT_EQ(blanks[0].data.toHex(' '), "01 00 06 00 15 00");
}

TEST_F(SeriesExportTest, RowsComeInTheTablesCurrentOrder) {
  // Without a sort tag the natural record order of the filter holds.
  table.SetFilter(QStringLiteral("NB_TYPE=1"));
  const QString path = Out(QStringLiteral("all.xls"));
  ExportSeries(table, path);
  const auto c = Cells(ReadWithXlrd(path)[0].toObject());
  std::vector<int> serialsOfN;
  for (int k = 1; k <= 7; ++k) serialsOfN.push_back(At(c, k, 1)[1].toInt());
  EXPECT_EQ(serialsOfN, (std::vector<int>{1, 1, 2, 3, 4, 5, 6}));
  EXPECT_EQ(At(c, 3, 0), QJsonArray({kNumber, 7}));  // the first row's series
}

TEST_F(SeriesExportTest, WriterFailureIsRaised) {
  try {
    ExportSeries(table, Out(QStringLiteral("missing/serie.xls")));
    ADD_FAILURE() << "no error";
  } catch (const XlsError& e) {
    EXPECT_TRUE(e.text().endsWith(QString::fromUtf8(": нет такой папки"))) << e.text().toStdString();
    EXPECT_EQ(e.detail(), QStringLiteral("StgCreateDocFile error -2147287038"));
  }
}

}  // namespace
