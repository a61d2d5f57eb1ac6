#include <gtest/gtest.h>

#include "views/layout/column_layout_text.h"

namespace {

ColumnLayout Entry(const char* field, int width, CellAlign align) {
  ColumnLayout c;
  c.fieldName = QLatin1String(field);
  c.width = width;
  c.alignment = align;
  return c;
}

TEST(ColumnLayoutText, WritesOnlyChangedPropertiesInFixedOrderWithCrLf) {
  ColumnLayout p = Entry("P", 94, CellAlign::Right);
  p.titleState = TitleState::SortedUp;
  p.color = 0x00FFFF;  // red 255, green 255: clYellow
  p.sortOrder = 3;
  ColumnLayout n = Entry("N", 45, CellAlign::Center);  // width at its default
  ColumnLayout r = Entry("R", 87, CellAlign::Default);
  r.color = 0x0080FF;  // red 255, green 128: no name
  const QString expected = QStringLiteral(
      "object TUniDataStorage\r\n"
      "  Data = <\r\n"
      "    item\r\n"
      "      FieldName = 'P'\r\n"
      "      TitleState = tsSortedUp\r\n"
      "      Width = 94\r\n"
      "      Color = clYellow\r\n"
      "      Alignment = talRightJustify\r\n"
      "      SortOrder = 3\r\n"
      "    end\r\n"
      "    item\r\n"
      "      FieldName = 'N'\r\n"
      "      Alignment = talCenter\r\n"
      "    end\r\n"
      "    item\r\n"
      "      FieldName = 'R'\r\n"
      "      Width = 87\r\n"
      "      Color = 33023\r\n"
      "    end>\r\n"
      "end\r\n");
  EXPECT_EQ(ColumnLayoutText({p, n, r}).toStdString(), expected.toStdString());
  EXPECT_EQ(ColumnLayoutText({}),
            QStringLiteral("object TUniDataStorage\r\n  Data = <>\r\nend\r\n"));
}

TEST(ColumnLayoutText, EverythingWrittenReadsBackIdentically) {
  ColumnLayout full = Entry("COMMENT", -7, CellAlign::Left);
  full.optionsVisual = QStringList{QStringLiteral("covWordWrap"), QStringLiteral("covNoEllipsis")};
  full.titleState = TitleState::SortedDown;
  full.footerState = QStringLiteral("fsSum");
  full.layoutLevel = 1;
  full.layoutIndex = 2;
  full.color = 0x80000005;  // a system colour survives as its number
  full.hasFont = true;
  full.font.name = QStringLiteral("It's\tname");  // quote and control character
  full.font.style = QStringList{QStringLiteral("fsBold")};
  full.font.height = -13;
  full.sortOrder = 12;
  ColumnLayout odd = Entry("", 45, CellAlign::Default);  // all defaults
  const std::vector<ColumnLayout> cases[] = {
      {}, {odd}, {full, odd, Entry("P", 120, CellAlign::Right)}};
  for (const auto& columns : cases) {
    const QString text = ColumnLayoutText(columns);
    const std::vector<ColumnLayout> back = ParseColumnLayoutText(text);
    ASSERT_EQ(back.size(), columns.size()) << text.toStdString();
    for (size_t i = 0; i < columns.size(); ++i) EXPECT_TRUE(back[i] == columns[i]) << i;
    EXPECT_EQ(ColumnLayoutText(back), text);
  }
  EXPECT_NE(ColumnLayoutText({full}).indexOf(QStringLiteral("'It'#39's'#9'name'")), -1);
}

TEST(ColumnLayoutText, ReadsForeignLineBreaksCaseAndContinuedStrings) {
  const QString text = QStringLiteral(
      "object TUniDataStorage\n  Data = <\r    item\r\n      FieldName = 'p'\n"
      "      Color = clYellow\n      Width = 33\n    end\n    item\n      FieldName = 'CO' +\n"
      "        'MMENT'\n      Color = 33023\n    end\n  >\nend");
  const auto columns = ParseColumnLayoutText(text);
  ASSERT_EQ(columns.size(), 2u);
  EXPECT_EQ(columns[0].fieldName, QStringLiteral("p"));
  EXPECT_EQ(columns[0].color, 0x00FFFFu);
  EXPECT_EQ(columns[0].width, 33);
  EXPECT_EQ(columns[0].alignment, CellAlign::Default);
  EXPECT_EQ(columns[1].fieldName, QStringLiteral("COMMENT"));
  EXPECT_EQ(columns[1].color, 33023u);
}

TEST(ColumnLayoutText, NormalisesEveryLineBreak) {
  EXPECT_EQ(NormaliseLineBreaks(QStringLiteral("a\rb\nc\r\nd")),
            QStringLiteral("a\r\nb\r\nc\r\nd\r\n"));
  EXPECT_EQ(NormaliseLineBreaks(QStringLiteral("a\n\nb\r\n")), QStringLiteral("a\r\n\r\nb\r\n"));
  EXPECT_EQ(NormaliseLineBreaks(QString()), QString());
}

TEST(ColumnLayoutText, DamagedTextsAreRefusedWithAMessage) {
  const char* damaged[] = {
      "",
      "garbage",
      "object TUniDataStorage\r\n",
      "object TUniDataStorage\r\n  Data = <\r\n    item\r\n      Width = 4x\r\n    end>\r\nend\r\n",
      "object TUniDataStorage\r\n  Data = <\r\n    item\r\n      Width = 99999999999\r\n    "
      "end>\r\nend\r\n",
      "object TUniDataStorage\r\n  Data = <\r\n    item\r\n      Colour = clRed\r\n    "
      "end>\r\nend\r\n",
      "object TUniDataStorage\r\n  Data = <\r\n    item\r\n      FieldName = 'P\r\n    "
      "end>\r\nend\r\n",
      "object TUniDataStorage\r\n  Data = <\r\n    item\r\n      TitleState = tsSideways\r\n    "
      "end>\r\nend\r\n",
      "object TUniDataStorage\r\n  Data = <\r\n    item\r\n      Color = clPink\r\n    "
      "end>\r\nend\r\n",
      "object TUniDataStorage\r\n  Data = <\r\n    item\r\n      FieldName = 'P'\r\n",
      "object TUniDataStorage\r\n  Data = <>\r\nend\r\nmore\r\n",
      "object TUniDataStorage\r\n  Other = 1\r\nend\r\n",
  };
  for (const char* text : damaged) {
    try {
      ParseColumnLayoutText(QString::fromUtf8(text));
      ADD_FAILURE() << "accepted: " << text;
    } catch (const LayoutTextError& e) {
      EXPECT_FALSE(e.text().isEmpty());
    }
  }
}

}  // namespace
