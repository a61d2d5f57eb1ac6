// The workbook model: sheet names, the range list and its invariants, values.
#include "output/xls/xls_model.h"

#include <gtest/gtest.h>

#include <random>

#include "platform/codepage.h"

namespace {

// The boxes of a sheet's ranges in list order, as (row, column) of the top
// left corner.
std::vector<std::pair<int, int>> Order(const XlsWorksheet& s) {
  std::vector<std::pair<int, int>> out;
  for (int i = 0; i < s.RangeCount(); ++i) out.emplace_back(s.Range(i)->Top(), s.Range(i)->Left());
  return out;
}

TEST(XlsWorkbookTest, DefaultsAndSheetNames) {
  XlsWorkbook wb;
  EXPECT_EQ(wb.Title(), "Report");
  EXPECT_EQ(wb.SheetCount(), 0);
  XlsWorksheet* a = wb.AddSheet();
  XlsWorksheet* b = wb.AddSheet();
  EXPECT_EQ(a->Name(), "Sheet1");
  EXPECT_EQ(b->Name(), "Sheet2");
  EXPECT_EQ(wb.AddSheet()->Name(), "Sheet3");
  EXPECT_EQ(a->Index(), 0);
  EXPECT_EQ(b->Index(), 1);
  EXPECT_EQ(a->Workbook(), &wb);

  // A taken name in any letter case is skipped.
  XlsWorkbook wb2;
  wb2.AddSheet()->SetName(QByteArray("sheet3"));
  wb2.AddSheet();
  EXPECT_EQ(wb2.Sheet(1)->Name(), "Sheet2");
  EXPECT_EQ(wb2.AddSheet()->Name(), "Sheet4");

  EXPECT_EQ(wb2.IndexOfSheet("sheet3"), 0);
  EXPECT_EQ(wb2.IndexOfSheet("Sheet3"), -1);  // case-sensitive
  EXPECT_EQ(wb2.IndexOfSheet("Sheet4"), 2);
  wb2.ClearSheets();
  EXPECT_EQ(wb2.SheetCount(), 0);
  EXPECT_EQ(wb2.AddSheet()->Name(), "Sheet1");
}

TEST(XlsWorkbookTest, NamesAndTitlesAreCutThenTrimmed) {
  struct Case {
    QByteArray in;
    QByteArray name;   // after SetName (31)
    QByteArray title;  // after SetTitle (66)
  } cases[] = {
      {QByteArray(40, 'x'), QByteArray(31, 'x'), QByteArray(40, 'x')},
      {"     ", "", ""},
      {" \t\x01 " + ToCp1251(QStringLiteral("Лист 1")) + " \r\n",
       ToCp1251(QStringLiteral("Лист 1")), ToCp1251(QStringLiteral("Лист 1"))},
      // Cut first: the blank that lands at the end after cutting goes too.
      {QByteArray(30, 'a') + " b", QByteArray(30, 'a'), QByteArray(30, 'a') + " b"},
      {QByteArray(70, 'q'), QByteArray(31, 'q'), QByteArray(66, 'q')},
  };
  for (const Case& c : cases) {
    XlsWorkbook wb;
    XlsWorksheet* s = wb.AddSheet();
    s->SetName(c.in);
    wb.SetTitle(c.in);
    EXPECT_EQ(s->Name(), c.name) << c.in.toStdString();
    EXPECT_EQ(wb.Title(), c.title) << c.in.toStdString();
  }
  XlsWorkbook wb;
  wb.AddSheet()->SetName(QStringLiteral("ДК-ТЛ7"));
  EXPECT_EQ(FromCp1251(wb.Sheet(0)->Name()), QStringLiteral("ДК-ТЛ7"));
  EXPECT_EQ(wb.Sheet(0)->Name().size(), 6);
}

TEST(XlsWorksheetTest, RangesKeepTopOrderThenCreationOrder) {
  XlsWorkbook wb;
  XlsWorksheet* s = wb.AddSheet();
  EXPECT_EQ(s->UsedArea().firstColumn, -1);
  EXPECT_EQ(s->UsedArea().lastRow, -1);
  EXPECT_EQ(s->MaxRangeHeight(), 0);
  // (row, column) in creation order.
  const std::pair<int, int> cells[] = {{0, 0}, {3, 0}, {3, 2}, {1, 1}, {3, 1}};
  for (auto [row, col] : cells) s->Ranges(col, row, col, row);
  const std::vector<std::pair<int, int>> expected{{0, 0}, {1, 1}, {3, 0}, {3, 2}, {3, 1}};
  EXPECT_EQ(Order(*s), expected);
  EXPECT_EQ(s->MaxRangeHeight(), 1);
  EXPECT_EQ(s->UsedArea().firstColumn, 0);
  EXPECT_EQ(s->UsedArea().firstRow, 0);
  EXPECT_EQ(s->UsedArea().lastColumn, 2);
  EXPECT_EQ(s->UsedArea().lastRow, 3);

  // The same box again is the same object, and the list does not change.
  XlsRange* r = s->Ranges(2, 3, 2, 3);
  r->SetValue(int32_t(1));
  EXPECT_EQ(s->Ranges(2, 3, 2, 3), r);
  EXPECT_EQ(s->RangeCount(), 5);
  EXPECT_EQ(r->Worksheet(), s);

  // A cell above everything goes first; one between rows goes between.
  XlsWorksheet* t = wb.AddSheet();
  t->Ranges(0, 5, 0, 5);
  t->Ranges(0, 2, 0, 2);
  t->Ranges(1, 5, 1, 5);
  t->Ranges(0, 0, 0, 0);
  t->Ranges(3, 2, 3, 2);
  const std::vector<std::pair<int, int>> expected2{{0, 0}, {2, 0}, {2, 3}, {5, 0}, {5, 1}};
  EXPECT_EQ(Order(*t), expected2);
}

TEST(XlsWorksheetTest, OverlappingBoxReplacesRangesButUsedAreaStays) {
  XlsWorkbook wb;
  XlsWorksheet* s = wb.AddSheet();
  s->Ranges(0, 0, 0, 0);
  s->Ranges(1, 0, 1, 0);
  s->Ranges(5, 0, 5, 0);  // beyond the new box: stays
  XlsRange* wide = s->Ranges(0, 0, 2, 0);
  ASSERT_EQ(s->RangeCount(), 2);
  // Same top row: the newer range comes after the older one.
  EXPECT_EQ(s->Range(0)->Left(), 5);
  EXPECT_EQ(s->Range(1), wide);
  EXPECT_EQ(s->MaxRangeHeight(), 1);

  // A tall block is found from rows below its top through MaxRangeHeight.
  s->Ranges(7, 1, 7, 9);
  EXPECT_EQ(s->MaxRangeHeight(), 9);
  s->Ranges(6, 4, 8, 4);  // overlaps the tall block at row 4 only
  ASSERT_EQ(s->RangeCount(), 3);
  EXPECT_EQ(s->Range(2)->Top(), 4);
  EXPECT_EQ(s->Range(2)->Left(), 6);
  // Removal recomputes the height from what is left.
  EXPECT_EQ(s->MaxRangeHeight(), 1);
  // The used area still covers the destroyed block.
  EXPECT_EQ(s->UsedArea().lastRow, 9);
  EXPECT_EQ(s->UsedArea().lastColumn, 8);

  // Bounds touch: a box sharing only a corner overlaps.
  XlsWorksheet* t = wb.AddSheet();
  t->Ranges(0, 0, 1, 1);
  t->Ranges(1, 1, 2, 2);
  ASSERT_EQ(t->RangeCount(), 1);
  EXPECT_EQ(t->Range(0)->Left(), 1);
  EXPECT_EQ(t->MaxRangeHeight(), 2);
  t->Ranges(2, 3, 2, 3);  // just below: no overlap
  EXPECT_EQ(t->RangeCount(), 2);
}

// Boxes from a generator: random all over the sheet, or cells written row
// after row from left to right as the exports write them, now and then a
// wider box over cells already there, a taller one or a cell in an earlier
// row (the list takes a shortcut for the plain case).
TEST(XlsWorksheetTest, RandomBoxesKeepTheListInvariants) {
  struct Box {
    int left, top, right, bottom;
  };
  std::mt19937 rng(7);
  std::uniform_int_distribution<int> pos(0, 40), size(0, 4), chance(0, 99);
  auto scattered = [&](int) {
    const int left = pos(rng), top = pos(rng);
    const int right = left + (size(rng) == 4 ? size(rng) : 0);
    const int bottom = top + (size(rng) == 4 ? 3 * size(rng) : 0);
    return Box{left, top, right, bottom};
  };
  int row = 0, col = 0;
  auto rowByRow = [&](int) {
    const int c = chance(rng);
    if (c < 3) return Box{pos(rng) % 8, row, pos(rng) % 8 + 8, row};          // wide, over the row
    if (c < 5) return Box{col + 1, row, col + 1, row + size(rng) + 1};        // tall
    if (c < 7) return Box{pos(rng) % 10, std::max(0, row - 1 - size(rng)), 0, 0};  // earlier row
    if (c < 12 || col > 20) ++row, col = 0;
    else ++col;
    return Box{col, row, col, row};
  };
  for (int scenario = 0; scenario < 2; ++scenario) {
    SCOPED_TRACE(scenario == 0 ? "scattered" : "row by row");
    XlsWorkbook wb;
    XlsWorksheet* s = wb.AddSheet();
    row = col = 0;
    int minCol = 1000, minRow = 1000, maxCol = -1, maxRow = -1;
    // Creation stamps ride in the values, so the order of equal tops can be checked.
    for (int32_t stamp = 0; stamp < 3000; ++stamp) {
      Box box = scenario == 0 ? scattered(stamp) : rowByRow(stamp);
      if (box.right < box.left) box.right = box.left;
      if (box.bottom < box.top) box.bottom = box.top;
      const auto [left, top, right, bottom] = box;
      XlsRange* r = s->Ranges(left, top, right, bottom);
      ASSERT_EQ(r->Left(), left);
      ASSERT_EQ(r->Bottom(), bottom);
      if (r->Kind() == XlsRange::ValueKind::Text) r->SetValue(stamp);  // new: stamp it
      ASSERT_EQ(s->Ranges(left, top, right, bottom), r);
      minCol = std::min(minCol, left), minRow = std::min(minRow, top);
      maxCol = std::max(maxCol, right), maxRow = std::max(maxRow, bottom);

      int tallest = 0;
      for (int i = 0; i < s->RangeCount(); ++i) {
        const XlsRange* a = s->Range(i);
        tallest = std::max(tallest, a->Bottom() - a->Top() + 1);
        if (i > 0) {
          const XlsRange* prev = s->Range(i - 1);
          ASSERT_LE(prev->Top(), a->Top()) << "at " << stamp;
          if (prev->Top() == a->Top()) {
            ASSERT_LT(std::get<int32_t>(prev->Value()), std::get<int32_t>(a->Value()));
          }
        }
        for (int j = i + 1; j < s->RangeCount() && s->Range(j)->Top() <= a->Bottom(); ++j) {
          const XlsRange* b = s->Range(j);
          ASSERT_FALSE(a->Left() <= b->Right() && b->Left() <= a->Right())
              << "overlap after step " << stamp;
        }
      }
      ASSERT_GE(s->MaxRangeHeight(), tallest);
    }
    EXPECT_EQ(s->UsedArea().firstColumn, minCol);
    EXPECT_EQ(s->UsedArea().firstRow, minRow);
    EXPECT_EQ(s->UsedArea().lastColumn, maxCol);
    EXPECT_EQ(s->UsedArea().lastRow, maxRow);
  }
}

TEST(XlsRangeTest, DefaultsValuesAndKinds) {
  XlsWorkbook wb;
  XlsRange* r = wb.AddSheet()->Ranges(1, 2, 1, 2);
  EXPECT_EQ(r->Font()->name, "Arial");
  EXPECT_EQ(r->Font()->size, 10);
  EXPECT_EQ(r->Font()->color, 0u);
  EXPECT_EQ(r->Font()->charset, 1);
  EXPECT_EQ(r->VerticalAlignment, 2);
  EXPECT_EQ(r->HorizontalAlignment, 0);
  EXPECT_EQ(r->FillPattern, XlsFill::None);
  for (int p = 0; p < 6; ++p) EXPECT_EQ(r->Borders()->Item(p)->LineStyle, 0);
  EXPECT_EQ(r->Borders()->Item(128 + 3), r->Borders()->Item(3));
  EXPECT_EQ(r->Borders()->Item(6), nullptr);

  // Never set: text.
  EXPECT_EQ(r->Kind(), XlsRange::ValueKind::Text);

  struct Case {
    XlsValue value;
    XlsRange::ValueKind kind;
  } cases[] = {
      {int16_t(5), XlsRange::ValueKind::Number},
      {int32_t(-7), XlsRange::ValueKind::Number},
      {uint8_t(9), XlsRange::ValueKind::Number},
      {1.5f, XlsRange::ValueKind::Number},
      {2.25, XlsRange::ValueKind::Number},
      {XlsCurrency{12345}, XlsRange::ValueKind::Number},
      {QByteArray("x"), XlsRange::ValueKind::Text},
      {true, XlsRange::ValueKind::Text},
      {QDateTime(QDate(2024, 1, 2), QTime(0, 0)), XlsRange::ValueKind::Text},
      {XlsValue(), XlsRange::ValueKind::Text},
  };
  for (const Case& c : cases) {
    r->SetValue(c.value);
    EXPECT_EQ(r->Kind(), c.kind) << c.value.index();
    EXPECT_EQ(r->Value(), c.value);
  }
  EXPECT_DOUBLE_EQ(XlsValueNumber(XlsCurrency{12345}), 1.2345);
  EXPECT_EQ(XlsValueText(XlsValue(QDateTime(QDate(2024, 1, 2), QTime(0, 0)))), "02.01.2024");
  EXPECT_EQ(XlsValueText(XlsValue()), "");
}

TEST(XlsRangeTest, SetValueFoldsLineBreakPairs) {
  struct Case {
    QByteArray in, stored;
  } cases[] = {
      {"a\r\nb", "a\nb"},
      {"a\rb", "a\rb"},
      {"\r\n\r\n", "\n\n"},
      {"a\r\r\nb\n", "a\r\nb\n"},
  };
  XlsWorkbook wb;
  XlsRange* r = wb.AddSheet()->Ranges(0, 0, 0, 0);
  for (const Case& c : cases) {
    r->SetValue(c.in);
    EXPECT_EQ(std::get<QByteArray>(r->Value()), c.stored);
    r->SetValue(QString::fromLatin1(c.in));
    EXPECT_EQ(std::get<QByteArray>(r->Value()), c.stored);
  }
  r->SetValue(QStringLiteral("Серия"));
  EXPECT_EQ(std::get<QByteArray>(r->Value()), ToCp1251(QStringLiteral("Серия")));
}

}  // namespace
