// The three reports rendered to PDF and read back with pdftotext -bbox:
// texts where the layout puts them, within a millimetre.
#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>
#include <QTemporaryDir>

#include "output/reports/report_fixtures.h"
#include "output/reports/report_render.h"
#include "output/reports/report_templates.h"

namespace {

constexpr double kTol = 1.0;  // mm

double Mm(double units) { return ReportUnitsToMm(units); }

PdfText RenderAndRead(const ReportTemplate& t, std::vector<FakeRow> rows, int* pages = nullptr) {
  FakeRows source(std::move(rows));
  const PreparedReport r = PrepareReport(t, source);
  if (pages) *pages = int(r.pages.size());
  QTemporaryDir dir;
  const QString pdf = dir.filePath(QStringLiteral("report.pdf"));
  EXPECT_TRUE(WriteReportPdf(r, pdf));
  return ReadPdfText(pdf);
}

struct Header {
  int left, width;
  const char* text;
};

struct Layout {
  const ReportTemplate* t;
  double pageW, pageH;  // mm
  int titleWidth, titleHeight, headerTop, headerHeight, footerLeft;
  const char* title;
  std::vector<Header> headers;
};

// Positions and texts as the printed forms have them, in template units.
const Layout& LayoutOf(int i) {
  static const Layout layouts[] = {
      {&Report1(),
       297,
       210,
       295,
       28,
       1,
       56,
       844,
       "ФИР-ТЛ7",
       {{72, 60, "№ Серии"},
        {132, 96, "№ образца"},
        {228, 106, "Высота образца, мм"},
        {334, 183, "Время выдерживания на ступени, час."},
        {517, 208, "Давление, при котором наблюдалась фильтрация, МПа."},
        {725, 109, "Время начала испытания"},
        {834, 120, "Длительность испытания"},
        {954, 90, "Марка"}}},
      {&Report2(),
       210,
       297,
       333,
       64,
       0,
       60,
       531,
       "ДК-ТЛ7 № 4321",
       {{72, 61, "N"},
        {133, 80, "Дата"},
        {213, 66, "Время"},
        {279, 72, "P, кН"},
        {351, 72, "R, МПа"},
        {423, 72, "dН"},
        {495, 104, "Вид испытаний"},
        {599, 133, "Размер образца, мм"}}},
      {&Report3(),
       210,
       297,
       295,
       64,
       0,
       60,
       531,
       "ЗЕН-ТЛ7 № 4321",
       {{72, 61, "N"},
        {133, 80, "Дата"},
        {213, 66, "Время"},
        {279, 144, "P, кН"},
        {423, 120, "Тип и размер пластины"},
        {543, 189, "Примечание"}}},
  };
  return layouts[i];
}

std::vector<FakeRow> PlateRows(int count) {
  std::vector<FakeRow> rows;
  for (int i = 0; i < count; ++i) {
    rows.push_back({{"N", int64_t(i + 1)},
                    {"SERIAL", int64_t(4321)},
                    {"DATE", QStringLiteral("05.03.2010")},
                    {"TIME", QStringLiteral("09:15:%1").arg(i % 60, 2, 10, QLatin1Char('0'))},
                    {"P", 12.5},
                    {"R", 3.14159},
                    {"H", 2.0},
                    {"TYPE", QString::fromUtf8("Круг 300")},
                    {"COMMENT", QString::fromUtf8("без замечаний, образец целый")}});
  }
  return rows;
}

TEST(ReportPdf, PageTitleHeaderAndFooterWhereTheFormPutsThem) {
  for (int i = 0; i < 3; ++i) {
    const Layout& l = LayoutOf(i);
    SCOPED_TRACE(l.t->name.toStdString());
    const PdfText pdf = RenderAndRead(*l.t, PlateRows(1));
    ASSERT_EQ(pdf.pages.size(), 1u);
    EXPECT_NEAR(pdf.pages[0].width(), l.pageW, 0.5);
    EXPECT_NEAR(pdf.pages[0].height(), l.pageH, 0.5);

    // Title: left-aligned at the top of its box at the left margin.
    const QRectF title(Mm(72), Mm(25), Mm(l.titleWidth), Mm(l.titleHeight));
    EXPECT_EQ(pdf.TextIn(0, title), QString::fromUtf8(l.title));
    const std::vector<PdfWord> tw = pdf.In(0, title);
    ASSERT_FALSE(tw.empty());
    EXPECT_NEAR(tw.front().left, Mm(72 + 2), kTol);
    EXPECT_NEAR(tw.front().top, Mm(25 + 1), kTol);

    // Header boxes: centred text inside each box.
    const double bandTop = 25 + l.titleHeight;
    for (const Header& h : l.headers) {
      SCOPED_TRACE(h.text);
      const QRectF box(Mm(h.left), Mm(bandTop + l.headerTop), Mm(h.width), Mm(l.headerHeight));
      EXPECT_EQ(pdf.TextIn(0, box), QString::fromUtf8(h.text));
      const std::vector<PdfWord> words = pdf.In(0, box);
      ASSERT_FALSE(words.empty());
      double left = 1e9, right = -1e9, top = 1e9, bottom = -1e9;
      for (const PdfWord& w : words) {
        left = std::min(left, w.left);
        right = std::max(right, w.right);
        top = std::min(top, w.top);
        bottom = std::max(bottom, w.bottom);
      }
      EXPECT_NEAR((left + right) / 2, box.center().x(), kTol);
      EXPECT_GE(left, box.left() + Mm(2) - 0.2);
      EXPECT_LE(right, box.right() - Mm(2) + 0.2);
      if (QString::fromUtf8(h.text) == QString::fromUtf8("Длительность испытания")) {
        EXPECT_NEAR(top, box.top() + Mm(1), kTol);  // at the top, room for a second line
        // Two lines in the size of the other headers, the words whole.
        ASSERT_EQ(words.size(), 2u);
        EXPECT_EQ(words[0].text, QString::fromUtf8("Длительность"));
        EXPECT_GE(words[1].top, words[0].bottom - 0.2);
        const std::vector<PdfWord> other = pdf.In(0, QRectF(Mm(132), box.top(), Mm(96), box.height()));
        ASSERT_FALSE(other.empty());
        for (const PdfWord& w : words)
          EXPECT_NEAR(w.bottom - w.top, other[0].bottom - other[0].top, 0.2) << w.text.toStdString();
      } else {
        EXPECT_NEAR((top + bottom) / 2, box.center().y(), kTol);
      }
    }

    // Footer: right-aligned, right edge on the right margin, vertically
    // centred in its 20-unit band on the bottom margin.
    const double footerTop = MmToReportUnits(l.pageH) - 25 - 20;
    const QRectF footer(Mm(l.footerLeft), Mm(footerTop), Mm(202), Mm(20));
    EXPECT_EQ(pdf.TextIn(0, footer), QString::fromUtf8("Стр. 1 из 1"));
    const std::vector<PdfWord> fw = pdf.In(0, footer);
    ASSERT_FALSE(fw.empty());
    EXPECT_NEAR(fw.back().right, l.pageW - Mm(25 + 2), kTol);
    EXPECT_NEAR(fw.back().cy(), footer.center().y(), kTol);
  }
}

TEST(ReportPdf, SeriesRowsInTheSourceOrder) {
  // One series as a sorted view presents it: samples 3, 1, 2, 6, 5, 4.
  const int order[] = {3, 1, 2, 6, 5, 4};
  const char* pressure[] = {"", "0,2", "0,4", "0", "0,6", "0", "0,6"};
  const char* time[] = {"", "16:00:00", "30:00:00", "", "48:00:00", "00:00:00", "47:59:59"};
  std::vector<FakeRow> rows;
  for (int n : order) {
    FakeRow row{{"N", int64_t(n)},
                {"SERIAL", int64_t(7)},
                {"H", 150.0},
                {"R", 16.0},
                {"P", QString::fromUtf8(pressure[n]).replace(',', '.').toDouble()},
                {"DATE", QStringLiteral("05.03.2010 09:15:00")},
                {"TIME", QString::fromUtf8(time[n])},
                {"TYPE", QStringLiteral("B6")}};
    rows.push_back(row);
  }
  const PdfText pdf = RenderAndRead(Report1(), rows);
  ASSERT_EQ(pdf.pages.size(), 1u);
  const int lefts[] = {72, 132, 228, 334, 517, 725, 834, 954, 1044};
  for (int i = 0; i < 6; ++i) {
    const int n = order[i];
    const double top = 25 + 28 + 64 + i * 44 + 3;
    const QString expected[] = {QStringLiteral("7"),
                                QString::number(n),
                                QStringLiteral("150"),
                                QStringLiteral("16"),
                                QString::fromUtf8(pressure[n]),
                                QStringLiteral("05.03.2010 09:15:00"),
                                QString::fromUtf8(time[n]),
                                QStringLiteral("B6")};
    for (int c = 0; c < 8; ++c) {
      const QRectF box(Mm(lefts[c]), Mm(top), Mm(lefts[c + 1] - lefts[c]), Mm(40));
      EXPECT_EQ(pdf.TextIn(0, box), expected[c]) << "row " << i << " column " << c;
    }
  }
}

TEST(ReportPdf, LongTableRunsOverTwoPages) {
  int pages = 0;
  const PdfText pdf = RenderAndRead(Report2(), PlateRows(30), &pages);
  ASSERT_EQ(pages, 2);
  ASSERT_EQ(pdf.pages.size(), 2u);
  QStringList numbers;
  for (int p = 0; p < 2; ++p) {
    const double footerTop = MmToReportUnits(297) - 45;
    EXPECT_EQ(pdf.TextIn(p, QRectF(Mm(531), Mm(footerTop), Mm(202), Mm(20))),
              QString::fromUtf8("Стр. %1 из 2").arg(p + 1));
    // The page header repeats; the title does not.
    const double headerTop = p == 0 ? 25 + 64 : 25;
    EXPECT_EQ(pdf.TextIn(p, QRectF(Mm(133), Mm(headerTop), Mm(80), Mm(60))),
              QString::fromUtf8("Дата"));
    EXPECT_EQ(pdf.TextIn(p, QRectF(Mm(72), Mm(25), Mm(333), Mm(64)))
                  .startsWith(QString::fromUtf8("ДК-ТЛ7")),
              p == 0);
    for (const PdfWord& w : pdf.In(p, QRectF(Mm(72), Mm(headerTop + 60), Mm(61), Mm(1000))))
      numbers << w.text;
  }
  QStringList expected;
  for (int i = 1; i <= 30; ++i) expected << QString::number(i);
  EXPECT_EQ(numbers, expected);
}

TEST(ReportPdf, EmptyResultIsOnePage) {
  int pages = 0;
  const PdfText pdf = RenderAndRead(Report1(), {}, &pages);
  EXPECT_EQ(pages, 1);
  ASSERT_EQ(pdf.pages.size(), 1u);
  EXPECT_EQ(pdf.TextIn(0, QRectF(0, 0, 297, 210)).right(11), QString::fromUtf8("Стр. 1 из 1"));
  EXPECT_EQ(pdf.TextIn(0, QRectF(Mm(72), Mm(25), Mm(295), Mm(28))), QString::fromUtf8("ФИР-ТЛ7"));
}

TEST(ReportPdf, PlateNumberFormats) {
  struct Case {
    const ReportTemplate* t;
    std::vector<std::pair<Header, const char*>> cells;  // data box, expected text
  } cases[] = {
      {&Report2(),
       {{{279, 72, "P"}, "12,5"},
        {{351, 72, "R"}, "3,142"},
        {{423, 72, "H"}, "2,00"},
        {{599, 133, "COMMENT"}, "без замечаний, образец целый"}}},
      {&Report3(),
       {{{279, 145, "P"}, "12,50"},
        {{423, 120, "TYPE"}, "Круг 300"},
        {{543, 189, "COMMENT"}, "без замечаний, образец целый"}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.t->name.toStdString());
    const PdfText pdf = RenderAndRead(*c.t, PlateRows(1));
    for (const auto& [box, text] : c.cells) {
      const QRectF mm(Mm(box.left), Mm(25 + 64 + 60), Mm(box.width), Mm(40));
      EXPECT_EQ(pdf.TextIn(0, mm), QString::fromUtf8(text)) << box.text;
      // The note is left-aligned; the numbers are centred.
      const std::vector<PdfWord> w = pdf.In(0, mm);
      ASSERT_FALSE(w.empty());
      if (QLatin1String(box.text) == QLatin1String("COMMENT")) {
        EXPECT_NEAR(w.front().left, mm.left() + Mm(2), kTol);
        // Too long for the narrow box of Report2: wrapped at a blank, every
        // word inside the box.
        const bool narrow = box.width < 150;
        EXPECT_EQ(w.front().cy() < w.back().cy() - 1, narrow);
        for (const PdfWord& word : w) EXPECT_LE(word.right, mm.right() - Mm(2) + 0.2);
      } else {
        EXPECT_NEAR((w.front().left + w.back().right) / 2, mm.center().x(), kTol);
      }
    }
  }
}

constexpr double kPxPerMm = 200 / 25.4;  // 200 dpi

// A portrait page drawn on white at 200 dpi.
QImage RenderPortraitPage(const PreparedPage& page) {
  QImage image(int(210 * kPxPerMm), int(297 * kPxPerMm), QImage::Format_RGB32);
  image.setDotsPerMeterX(int(kPxPerMm * 1000));
  image.setDotsPerMeterY(int(kPxPerMm * 1000));
  image.fill(Qt::white);
  {
    QPainter painter(&image);
    RenderReportPage(&painter, page);
  }
  return image;
}

// Frames: header and data boxes have them, the title and the footer not.
TEST(ReportRender, FramesOnHeaderAndDataBoxesOnly) {
  FakeRows rows(PlateRows(1));
  const PreparedReport r = PrepareReport(Report3(), rows);
  const QImage image = RenderPortraitPage(r.pages[0]);
  auto dark = [&](double xUnits, double yUnits) {
    return qGray(image.pixel(int(Mm(xUnits) * kPxPerMm), int(Mm(yUnits) * kPxPerMm))) < 128;
  };
  // Left edge of the header box "Дата" and bottom edge of the data box of N,
  // halfway along; a point inside a box stays white.
  EXPECT_TRUE(dark(133, 25 + 64 + 5));
  EXPECT_TRUE(dark(72 + 30, 25 + 64 + 60 + 40));
  EXPECT_TRUE(dark(732, 25 + 64 + 60 + 20));
  EXPECT_FALSE(dark(133 + 5, 25 + 64 + 5));
  // No frame round the title or the footer.
  EXPECT_FALSE(dark(72, 25 + 50));
  EXPECT_FALSE(dark(72 + 200, 25 + 63));
  const double footerTop = MmToReportUnits(297) - 45;
  EXPECT_FALSE(dark(531, footerTop + 10));
  EXPECT_FALSE(dark(600, footerTop));
}

}  // namespace

// Text that does not fit its box is cut at the box's edge: one line too
// long for a box that does not wrap, and more lines than a box holds. The
// boxes beside and below stay white inside their frames.
TEST(ReportRender, TextThatDoesNotFitStaysInsideItsBox) {
  ReportBox oneLine;
  oneLine.wordWrap = false;
  ReportBox wrapped;
  ReportBox neighbour;
  neighbour.frame = true;
  const QString words = QString::fromUtf8("без замечаний образец целый трещин нет скол угла");
  PreparedPage page;
  page.boxes = {
      {QRectF(72, 100, 60, 20), words, &oneLine},
      {QRectF(132, 100, 200, 20), QString(), &neighbour},  // right of the long line
      {QRectF(72, 200, 60, 20), words, &wrapped},
      {QRectF(72, 220, 60, 60), QString(), &neighbour},  // below the wrapped lines
  };
  const QImage image = RenderPortraitPage(page);
  // Dark pixels inside a rectangle of template units.
  auto inked = [&](const QRectF& units) {
    int count = 0;
    for (int y = int(Mm(units.top()) * kPxPerMm); y < int(Mm(units.bottom()) * kPxPerMm); ++y)
      for (int x = int(Mm(units.left()) * kPxPerMm); x < int(Mm(units.right()) * kPxPerMm); ++x)
        if (qGray(image.pixel(x, y)) < 160) ++count;
    return count;
  };
  EXPECT_GT(inked(QRectF(72, 100, 60, 20)), 0);
  EXPECT_GT(inked(QRectF(72, 200, 60, 20)), 0);
  // Inside the neighbours' frames, two units in.
  EXPECT_EQ(inked(QRectF(134, 102, 196, 16)), 0);
  EXPECT_EQ(inked(QRectF(74, 222, 56, 56)), 0);
}
