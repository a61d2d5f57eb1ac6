// Value formats, template choice and the two-pass preparation against an
// in-memory row source.
#include "output/reports/report_engine.h"

#include <gtest/gtest.h>

#include "output/reports/report_fixtures.h"
#include "output/reports/report_templates.h"

namespace {

struct FormatCase {
  FieldValue value;
  ReportFormat format;
  const char* expected;
};

TEST(ReportFormat, ValuesInEachFormat) {
  const QLocale ru(QLocale::Russian, QLocale::Russia);
  const FormatCase cases[] = {
      {12.5, ReportFormat::UpToThree, "12,5"},
      {12.5, ReportFormat::TwoDecimals, "12,50"},
      {3.14159, ReportFormat::UpToThree, "3,142"},
      {2.0, ReportFormat::UpToThree, "2"},
      {0.1, ReportFormat::UpToThree, "0,1"},
      {1234567.25, ReportFormat::UpToThree, "1234567,25"},
      {-0.0001, ReportFormat::TwoDecimals, "0,00"},
      {-0.0001, ReportFormat::UpToThree, "0"},
      {-2.5, ReportFormat::TwoDecimals, "-2,50"},
      // Rounded on the decimal value, half away from zero, as the views round
      // (1.005 and 2.675 are stored just below, 0.0625 exactly).
      {1.005, ReportFormat::TwoDecimals, "1,01"},
      {2.675, ReportFormat::TwoDecimals, "2,68"},
      {-2.675, ReportFormat::TwoDecimals, "-2,68"},
      {0.0625, ReportFormat::UpToThree, "0,063"},
      {1.0005, ReportFormat::UpToThree, "1,001"},
      {int64_t(7), ReportFormat::TwoDecimals, "7,00"},
      {int64_t(65535), ReportFormat::Text, "65535"},
      {0.6, ReportFormat::Text, "0,6"},
      {16.0, ReportFormat::Text, "16"},
      {150.25, ReportFormat::Text, "150,25"},
      {123456.5, ReportFormat::Text, "123456,5"},
      {-0.0, ReportFormat::Text, "0"},
      {FieldValue(), ReportFormat::TwoDecimals, ""},
      {FieldValue(), ReportFormat::Text, ""},
      {QString::fromUtf8("Не ГОСТ"), ReportFormat::UpToThree, "Не ГОСТ"},
  };
  for (const FormatCase& c : cases) {
    EXPECT_EQ(FormatReportValue(c.value, c.format, ru), QString::fromUtf8(c.expected))
        << c.expected;
  }
  // The text form follows the locale; the number formats keep the comma.
  const QLocale c(QLocale::C);
  EXPECT_EQ(FormatReportValue(0.6, ReportFormat::Text, c), QStringLiteral("0.6"));
  EXPECT_EQ(FormatReportValue(12.5, ReportFormat::UpToThree, c), QStringLiteral("12,5"));
  EXPECT_EQ(FormatReportValue(12.5, ReportFormat::TwoDecimals, c), QStringLiteral("12,50"));
}

TEST(ReportChoice, ByViewAndDeviceType) {
  struct Case {
    ReportView view;
    int type;
    ReportId expected;
    const char* name;
  } cases[] = {
      // The plate tester's own types: 13, and 16 and up.
      {ReportView::PlateTest, 13, ReportId::Report3, "Report3"},
      {ReportView::PlateTest, 16, ReportId::Report3, "Report3"},
      {ReportView::PlateTest, 17, ReportId::Report3, "Report3"},
      {ReportView::PlateTest, 255, ReportId::Report3, "Report3"},
      {ReportView::PlateTest, 15, ReportId::Report2, "Report2"},
      {ReportView::PlateTest, 14, ReportId::Report2, "Report2"},
      {ReportView::PlateTest, 12, ReportId::Report2, "Report2"},
      {ReportView::PlateTest, 0, ReportId::Report2, "Report2"},
      {ReportView::WaterPermeability, 1, ReportId::Report1, "Report1"},
      {ReportView::WaterPermeability, 13, ReportId::Report1, "Report1"},
      {ReportView::WaterPermeability, 16, ReportId::Report1, "Report1"},
  };
  for (const Case& c : cases) {
    const ReportId id = SelectReport(c.view, uint8_t(c.type));
    EXPECT_EQ(id, c.expected) << c.type;
    EXPECT_EQ(ReportById(id).name, QLatin1String(c.name));
  }
}

std::vector<FakeRow> SeriesRows(int count) {
  std::vector<FakeRow> rows;
  for (int i = 0; i < count; ++i) {
    rows.push_back({{"N", int64_t(i + 1)},
                    {"SERIAL", int64_t(7)},
                    {"TIME", QStringLiteral("%1:00:00").arg(i + 10)},
                    {"TYPE", QStringLiteral("B6")},
                    {"P", 0.2 * (i % 10)}});
  }
  return rows;
}

const PreparedBox* BoxWithText(const PreparedPage& page, const QString& text) {
  for (const PreparedBox& b : page.boxes)
    if (b.text == text) return &b;
  return nullptr;
}

// Every row is placed once, in order, between the page header and the
// footer; every page has its header and "Стр. i из n".
TEST(ReportPrepare, PagesHoldEveryRowOnceInOrder) {
  for (const ReportTemplate* t : {&Report1(), &Report2(), &Report3()}) {
    for (int count : {0, 1, 13, 14, 21, 22, 40, 100}) {
      SCOPED_TRACE((t->name + QStringLiteral(" rows %1").arg(count)).toStdString());
      FakeRows rows(SeriesRows(count));
      const PreparedReport r = PrepareReport(*t, rows);
      ASSERT_TRUE(r.completed);
      ASSERT_FALSE(r.pages.empty());
      const int n = int(r.pages.size());
      if (count == 0) {
        EXPECT_EQ(n, 1);
      }
      EXPECT_EQ(n, ReportPageCount(*t, count));
      const double footerTop = t->PageHeightUnits() - 25 - 20;
      int next = 1;
      for (int p = 0; p < n; ++p) {
        const PreparedPage& page = r.pages[p];
        const QString footer = QString::fromUtf8("Стр. %1 из %2").arg(p + 1).arg(n);
        const PreparedBox* f = BoxWithText(page, footer);
        ASSERT_NE(f, nullptr) << footer.toStdString();
        EXPECT_NEAR(f->rect.top(), footerTop, 0.01);
        EXPECT_NE(BoxWithText(page, t->pageHeader.boxes[0].text), nullptr);
        double headerBottom = 0;
        int titles = 0;
        for (const PreparedBox& b : page.boxes) {
          if (b.style == &r.layout->pageHeader.boxes[0]) headerBottom = b.rect.bottom();
          if (b.style == &r.layout->title.boxes[0]) ++titles;
        }
        EXPECT_EQ(titles, p == 0 ? 1 : 0);
        double bandBottom = headerBottom;
        for (const PreparedBox& b : page.boxes) {
          if (b.style != &r.layout->data.boxes[t == &Report1() ? 1 : 0]) continue;
          EXPECT_EQ(b.text, QString::number(next)) << "page " << p;
          EXPECT_GE(b.rect.top(), headerBottom);
          EXPECT_LE(b.rect.bottom(), footerTop);
          ++next;
          bandBottom = b.rect.top() - b.style->top + t->data.height;
        }
        // A page other than the last is only cut when the next row would
        // not fit.
        if (p + 1 < n) {
          EXPECT_GT(bandBottom + t->data.height, footerTop);
        }
      }
      EXPECT_EQ(next, count + 1);
      if (count > 0) {
        EXPECT_EQ(rows.current(), count - 1);
      }
    }
  }
}

TEST(ReportPrepare, FieldExpressionsAndTitle) {
  std::vector<FakeRow> plate = {{{"N", int64_t(1)},
                                 {"SERIAL", int64_t(4321)},
                                 {"P", 12.5},
                                 {"R", 3.14159},
                                 {"H", 2.0},
                                 {"TYPE", QString::fromUtf8("Ø300")},
                                 {"COMMENT", QStringLiteral("note")}},
                                {{"N", int64_t(2)}, {"SERIAL", int64_t(9999)}}};
  struct Case {
    const ReportTemplate* t;
    std::vector<const char*> texts;
  } cases[] = {
      {&Report2(), {"ДК-ТЛ7  № 4321", "12,5", "3,142", "2,00", "note"}},
      {&Report3(), {"ЗЕН-ТЛ7  № 4321", "12,50", "Ø300", "note"}},
  };
  for (const Case& c : cases) {
    FakeRows rows(plate);
    const PreparedReport r = PrepareReport(*c.t, rows);
    for (const char* text : c.texts)
      EXPECT_NE(BoxWithText(r.pages[0], QString::fromUtf8(text)), nullptr) << text;
  }
  // Without rows the title keeps its literal part.
  FakeRows none({});
  EXPECT_NE(BoxWithText(PrepareReport(Report3(), none).pages[0], QString::fromUtf8("ЗЕН-ТЛ7  № ")),
            nullptr);

  // Field names match in any letter case; unknown brackets stay literal.
  ReportTemplate t = Report2();
  t.title.boxes[0].text = QStringLiteral(
      "[dbf1.\"serial\"]/[DBF1.\"Serial\"] [page#]/"
      "[TotalPages] [Dbf1.SERIAL] [Other.\"N\"]");
  FakeRows one(plate);
  EXPECT_EQ(PrepareReport(t, one).pages[0].boxes[0].text,
            QStringLiteral("4321/4321 1/1 [Dbf1.SERIAL] [Other.\"N\"]"));
}

// Returns false at one step, as the Cancel button does.
class CancelAt : public ReportProgress {
 public:
  CancelAt(int pass, int row) : pass_(pass), row_(row) {}
  bool Step(int pass, int row, int rowCount) override {
    EXPECT_EQ(rowCount, pass == 2 ? 50 : -1);
    return !(pass == pass_ && row == row_);
  }

 private:
  int pass_, row_;
};

TEST(ReportPrepare, CancelInEitherPassGivesNoPages) {
  for (int pass : {1, 2}) {
    FakeRows rows(SeriesRows(50));
    CancelAt cancel(pass, 20);
    const PreparedReport r = PrepareReport(Report1(), rows, &cancel);
    EXPECT_FALSE(r.completed) << pass;
    EXPECT_TRUE(r.pages.empty()) << pass;
  }
  FakeRows rows(SeriesRows(50));
  CancelAt never(3, 0);
  EXPECT_TRUE(PrepareReport(Report1(), rows, &never).completed);
}

}  // namespace
