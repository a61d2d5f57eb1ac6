#include "output/xls/xls_test_util.h"

#include <gtest/gtest.h>

#include <QJsonDocument>
#include <QStringList>
#include <algorithm>
#include <cstring>

#include "support/test_env.h"

std::vector<BiffRecord> ParseRecords(const QByteArray& s) {
  QString error;
  std::vector<BiffRecord> out = WalkBiffRecords(s, &error);
  EXPECT_TRUE(error.isEmpty()) << error.toStdString();
  return out;
}

std::vector<std::vector<BiffRecord>> SplitSubstreams(const std::vector<BiffRecord>& records) {
  QString error;
  std::vector<std::vector<BiffRecord>> out = SplitBiffSubstreams(records, &error);
  EXPECT_TRUE(error.isEmpty()) << error.toStdString();
  return out;
}

std::vector<BiffRecord> OfId(const std::vector<BiffRecord>& records, uint16_t id) {
  std::vector<BiffRecord> out;
  for (const BiffRecord& r : records)
    if (r.id == id) out.push_back(r);
  return out;
}

std::vector<uint16_t> Ids(const std::vector<BiffRecord>& records) {
  std::vector<uint16_t> out;
  for (const BiffRecord& r : records) out.push_back(r.id);
  return out;
}

uint16_t U16(const QByteArray& d, int o) {
  return uint16_t(uint8_t(d[o]) | (uint8_t(d[o + 1]) << 8));
}

uint32_t U32(const QByteArray& d, int o) { return U16(d, o) | (uint32_t(U16(d, o + 2)) << 16); }

double F64(const QByteArray& d, int o) {
  double v;
  std::memcpy(&v, d.constData() + o, 8);
  return v;
}

QString Utf16At(const QByteArray& d, int offset, int count) {
  QString s;
  for (int i = 0; i < count; ++i) s.append(QChar(U16(d, offset + 2 * i)));
  return s;
}

QJsonArray ReadWithXlrd(const QString& path) {
  static const char* script = R"(
import sys, json, xlrd
book = xlrd.open_workbook(sys.argv[1], formatting_info=True)
out = []
for sh in book.sheets():
    cells = []
    for r in range(sh.nrows):
        for c in range(sh.ncols):
            cell = sh.cell(r, c)
            if cell.ctype != xlrd.XL_CELL_EMPTY:
                cells.append([r, c, cell.ctype, cell.value])
    out.append({"name": sh.name, "nrows": sh.nrows, "ncols": sh.ncols,
                "merged": [list(m) for m in sh.merged_cells], "cells": cells})
sys.stdout.write(json.dumps(out))
)";
  QByteArray out, err;
  const int rc = RunPython(QString::fromLatin1(script), {path}, &out, &err);
  if (rc != 0) {
    ADD_FAILURE() << "xlrd refused " << path.toStdString() << ": " << err.toStdString();
    return QJsonArray();
  }
  return QJsonDocument::fromJson(out).array();
}

QByteArray ReadWorkbookStream(const QString& path) {
  static const char* script = R"(
import sys, olefile
ole = olefile.OleFileIO(sys.argv[1])
sys.stdout.buffer.write(ole.openstream('Workbook').read())
)";
  QByteArray out, err;
  const int rc = RunPython(QString::fromLatin1(script), {path}, &out, &err);
  EXPECT_EQ(rc, 0) << err.toStdString();
  return out;
}

QStringList StorageEntries(const QString& path) {
  static const char* script = R"(
import sys, olefile
ole = olefile.OleFileIO(sys.argv[1])
print('\n'.join('/'.join(e) for e in ole.listdir(streams=True, storages=True)))
)";
  QByteArray out, err;
  const int rc = RunPython(QString::fromLatin1(script), {path}, &out, &err);
  EXPECT_EQ(rc, 0) << err.toStdString();
  return QString::fromUtf8(out).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

void ExpectSeriesStream(const QByteArray& stream, const QStringList& strings) {
  const std::vector<BiffRecord> all = ParseRecords(stream);
  const auto subs = SplitSubstreams(all);
  ASSERT_EQ(subs.size(), 2u);
  const auto& g = subs[0];

  // The globals, in order, with the counts of the repeated records.
  std::vector<uint16_t> expected{0x0809, 0x00E1, 0x00C1, 0x00E2, 0x005C, 0x0042, 0x0161, 0x01C0,
                                 0x013D, 0x009C, 0x0019, 0x0012, 0x0013, 0x01AF, 0x01BC, 0x003D,
                                 0x0040, 0x008D, 0x0022, 0x000E, 0x01B7, 0x00DA};
  expected.insert(expected.end(), 5, 0x0031);
  expected.insert(expected.end(), 8, 0x041E);
  expected.insert(expected.end(), 22, 0x00E0);
  expected.insert(expected.end(), 6, 0x0293);
  for (uint16_t id : {0x0160, 0x0085, 0x008C, 0x00FC, 0x00FF, 0x000A}) expected.push_back(id);
  EXPECT_EQ(Ids(g), expected);

  const auto fonts = OfId(g, 0x0031);
  ASSERT_EQ(fonts.size(), 5u);
  const QByteArray arial =
      QByteArray::fromHex("C8000000080064000000000001000501") + QByteArray("A\0r\0i\0a\0l\0", 10);
  for (int i = 0; i < 4; ++i) EXPECT_EQ(fonts[size_t(i)].data.toHex(), arial.toHex()) << i;
  // The cells' font differs only in its colour value, which resolves to
  // the same palette index.
  EXPECT_EQ(fonts[4].data.toHex(), arial.toHex());

  std::vector<int> numbers;
  for (const auto& f : OfId(g, 0x041E)) numbers.push_back(U16(f.data, 0));
  EXPECT_EQ(numbers, (std::vector<int>{5, 6, 7, 8, 42, 41, 44, 43}));

  const auto xfs = OfId(g, 0x00E0);
  ASSERT_EQ(xfs.size(), 22u);
  for (const auto& x : xfs) EXPECT_EQ(x.data.size(), 20);
  EXPECT_EQ(xfs[21].data.toHex(' '), "05 00 00 00 01 00 20 00 00 7c 00 00 00 00 00 00 00 00 08 04");
  EXPECT_EQ(xfs[15].data.toHex(' '), "00 00 00 00 01 00 20 00 00 00 00 00 00 00 00 00 00 00 c0 20");

  // The built-in styles and the two kinds of BOF, as the format fixes them.
  QStringList styles;
  for (const auto& st : OfId(g, 0x0293)) styles << QString::fromLatin1(st.data.toHex(' '));
  EXPECT_EQ(styles, QStringList({"10 80 04 ff", "11 80 07 ff", "00 80 00 ff", "12 80 05 ff",
                                 "13 80 03 ff", "14 80 06 ff"}));
  EXPECT_EQ(g[0].data.toHex(), "00060500bb0dcc070000000000060000");
  EXPECT_EQ(subs[1][0].data.toHex(), "00061000bb0dcc070000000000000000");

  // BOUNDSHEET points at the sheet's BOF; the name is "ДК-ТЛ7".
  const auto bound = OfId(g, 0x0085);
  ASSERT_EQ(bound.size(), 1u);
  EXPECT_EQ(int(U32(bound[0].data, 0)), subs[1][0].pos);
  EXPECT_EQ(bound[0].data[6], 6);
  EXPECT_EQ(Utf16At(bound[0].data, 8, 6), QStringLiteral("ДК-ТЛ7"));

  // SST: 16 strings, counted twice, in cell order.
  const BiffRecord sst = OfId(g, 0x00FC).at(0);
  EXPECT_EQ(U32(sst.data, 0), uint32_t(strings.size()));
  EXPECT_EQ(U32(sst.data, 4), uint32_t(strings.size()));
  QStringList got;
  std::vector<int> starts;
  for (int p = 8; p < sst.data.size();) {
    starts.push_back(p);
    const int n = U16(sst.data, p);
    EXPECT_EQ(sst.data[p + 2], 1);
    got << Utf16At(sst.data, p + 3, n);
    p += 3 + 2 * n;
  }
  EXPECT_EQ(got, strings);
  // EXTSST: 8 strings per bucket, entries for strings 0 and 8.
  const BiffRecord ext = OfId(g, 0x00FF).at(0);
  ASSERT_EQ(ext.data.size(), 2 + 8 * 2);
  EXPECT_EQ(U16(ext.data, 0), 8);
  for (int k = 0; k < 2; ++k) {
    const int s = starts.at(size_t(8 * k));
    EXPECT_EQ(int(U32(ext.data, 2 + 8 * k)), sst.pos + 4 + s);
    EXPECT_EQ(U16(ext.data, 6 + 8 * k), 4 + s);
    EXPECT_EQ(U16(ext.data, 8 + 8 * k), 0);
  }

  // The sheet.
  const auto& sh = subs[1];
  std::vector<uint16_t> sheetIds{0x0809, 0x020B, 0x000D, 0x000C, 0x000F, 0x0011, 0x0010,
                                 0x005F, 0x002A, 0x002B, 0x0082, 0x0080, 0x0225, 0x0081,
                                 0x0014, 0x0015, 0x0083, 0x0084, 0x0026, 0x0027, 0x0028,
                                 0x0029, 0x00A1, 0x0055, 0x0200};
  sheetIds.insert(sheetIds.end(), 7, 0x0208);
  sheetIds.insert(sheetIds.end(), 8, 0x00FD);  // the header row
  for (int row = 1; row <= 6; ++row) {
    if (row == 3) {
      sheetIds.insert(sheetIds.end(), 5, 0x0203);
      sheetIds.insert(sheetIds.end(), 3, 0x00FD);
    } else {
      sheetIds.insert(sheetIds.end(), {0x0203, 0x0203, 0x00FD});
    }
  }
  sheetIds.insert(sheetIds.end(), {0x00D7, 0x023E, 0x001D, 0x000A});
  EXPECT_EQ(Ids(sh), sheetIds);

  const BiffRecord index = OfId(sh, 0x020B).at(0);
  ASSERT_EQ(index.data.size(), 20);
  EXPECT_EQ(U32(index.data, 4), 0u);
  EXPECT_EQ(U32(index.data, 8), 7u);
  const BiffRecord dbcell = OfId(sh, 0x00D7).at(0);
  EXPECT_EQ(int(U32(index.data, 16)), dbcell.pos);
  EXPECT_EQ(OfId(sh, 0x0200).at(0).data.toHex(' '), "00 00 00 00 07 00 00 00 00 00 08 00 00 00");
  EXPECT_EQ(U16(OfId(sh, 0x023E).at(0).data, 0), 0x06B6);

  // Row 3 holds the columns 0 to 7 in column order.
  std::vector<int> row3;
  for (const auto& r : sh)
    if ((r.id == 0x0203 || r.id == 0x00FD) && U16(r.data, 0) == 3) row3.push_back(U16(r.data, 2));
  EXPECT_EQ(row3, (std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7}));

  // DBCELL: back to the first ROW, then the offsets lead to each row's first cell.
  const auto rows = OfId(sh, 0x0208);
  EXPECT_EQ(int(U32(dbcell.data, 0)), dbcell.pos - rows[0].pos);
  ASSERT_EQ(dbcell.data.size(), 4 + 2 * 7);
  int at = rows[1].pos;
  for (int k = 0; k < 7; ++k) {
    at += U16(dbcell.data, 4 + 2 * k);
    auto it = std::find_if(sh.begin(), sh.end(), [&](const BiffRecord& r) { return r.pos == at; });
    ASSERT_NE(it, sh.end()) << "offset of row " << k << " leads nowhere";
    EXPECT_EQ(U16(it->data, 0), k) << "offset of row " << k;
    EXPECT_TRUE(it->id == 0x0203 || it->id == 0x00FD);
  }
}
