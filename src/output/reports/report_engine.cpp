#include "output/reports/report_engine.h"

#include <QRegularExpression>
#include <cmath>

#include "store/decimal_round.h"

namespace {

// A box text split into literal runs, field values and page numbers.
struct Segment {
  enum Kind { Literal, Field, Page, TotalPages } kind;
  QString text;  // the literal, or the field name in upper case
};
using Expression = std::vector<Segment>;

Expression Compile(const QString& text) {
  static const QRegularExpression token(
      QStringLiteral(R"re(\[(?:Dbf1\."([^"\]]*)"|(PAGE#)|(TOTALPAGES))\])re"),
      QRegularExpression::CaseInsensitiveOption);
  Expression out;
  int pos = 0;
  auto it = token.globalMatch(text);
  while (it.hasNext()) {
    const QRegularExpressionMatch m = it.next();
    if (m.capturedStart() > pos)
      out.push_back({Segment::Literal, text.mid(pos, m.capturedStart() - pos)});
    if (m.capturedStart(1) >= 0)
      out.push_back({Segment::Field, m.captured(1).toUpper()});
    else if (m.capturedStart(2) >= 0)
      out.push_back({Segment::Page, QString()});
    else
      out.push_back({Segment::TotalPages, QString()});
    pos = m.capturedEnd();
  }
  if (pos < text.size()) out.push_back({Segment::Literal, text.mid(pos)});
  return out;
}

// Without any row a field has no value: it prints empty, not as a zero. A
// row's blank number reads as 0, as everywhere else in the program.
QString Evaluate(const Expression& e, ReportFormat format, const ReportRowSource* rows, int page,
                 int totalPages) {
  if (e.size() == 1 && e[0].kind == Segment::Literal) return e[0].text;
  QString out;
  for (const Segment& s : e) {
    switch (s.kind) {
      case Segment::Literal:
        out += s.text;
        break;
      case Segment::Field:
        if (rows) {
          FieldValue value = rows->GetField(s.text);
          if (std::holds_alternative<std::monostate>(value)) value = int64_t{0};
          out += FormatReportValue(value, format);
        }
        break;
      case Segment::Page:
        out += QString::number(page);
        break;
      case Segment::TotalPages:
        out += QString::number(totalPages);
        break;
    }
  }
  return out;
}

struct CompiledBand {
  const ReportBand* band;
  std::vector<Expression> texts;
  explicit CompiledBand(const ReportBand& b) : band(&b) {
    for (const ReportBox& box : b.boxes) texts.push_back(Compile(box.text));
  }
  void Place(PreparedPage* page, double top, const ReportRowSource* rows, int pageNo,
             int totalPages) const {
    for (size_t i = 0; i < band->boxes.size(); ++i) {
      const ReportBox& box = band->boxes[i];
      page->boxes.push_back({QRectF(box.left, top + box.top, box.width, box.height),
                             Evaluate(texts[i], box.format, rows, pageNo, totalPages), &box});
    }
  }
};

// Where the bands go: the data rows fill the space between the page
// header and the footer, which sits on the bottom margin.
struct PageGeometry {
  double firstDataTop, dataTop, footerTop;
  int firstCapacity, capacity;
  explicit PageGeometry(const ReportTemplate& t) {
    footerTop = t.PageHeightUnits() - t.bottomMargin - t.pageFooter.height;
    dataTop = t.topMargin + t.pageHeader.height;
    firstDataTop = dataTop + t.title.height;
    firstCapacity = Rows(footerTop - firstDataTop, t.data.height);
    capacity = Rows(footerTop - dataTop, t.data.height);
  }
  // At least one row per page so that a template too tall for its page
  // still ends.
  static int Rows(double space, int rowHeight) {
    if (rowHeight <= 0) return 1 << 30;
    return std::max(1, int(std::floor(space / rowHeight)));
  }
};

QString TrimZeros(QString s) {
  if (s.contains(QLatin1Char('.'))) {
    while (s.endsWith(QLatin1Char('0'))) s.chop(1);
    if (s.endsWith(QLatin1Char('.'))) s.chop(1);
  }
  return s;
}

// Rounded on the decimal value, half away from zero, as the views and the
// footers round; a value that rounds to zero has no sign.
QString FixedWithComma(double v, int decimals, bool trim) {
  QString s = RoundedDecimalText(v, decimals);
  if (trim) s = TrimZeros(s);
  s.replace(QLatin1Char('.'), QLatin1Char(','));
  return s;
}

}  // namespace

QString FormatReportValue(const FieldValue& value, ReportFormat format, const QLocale& locale) {
  if (std::holds_alternative<std::monostate>(value)) return QString();
  if (const QString* text = std::get_if<QString>(&value)) return *text;
  const bool isInt = std::holds_alternative<int64_t>(value);
  const double v = isInt ? double(std::get<int64_t>(value)) : std::get<double>(value);
  if (format == ReportFormat::Text || !std::isfinite(v)) {
    if (isInt) return QString::number(std::get<int64_t>(value));
    QLocale plain(locale);
    plain.setNumberOptions(QLocale::OmitGroupSeparator);
    if (v == 0) return QStringLiteral("0");  // no "-0"
    return plain.toString(v, 'f', QLocale::FloatingPointShortest);
  }
  if (format == ReportFormat::UpToThree) return FixedWithComma(v, 3, true);
  return FixedWithComma(v, 2, false);
}

int ReportPageCount(const ReportTemplate& layout, int rowCount) {
  const PageGeometry g(layout);
  if (rowCount <= g.firstCapacity) return 1;
  const int rest = rowCount - g.firstCapacity;
  return 1 + (rest + g.capacity - 1) / g.capacity;
}

PreparedReport PrepareReport(const ReportTemplate& layout, ReportRowSource& rows,
                             ReportProgress* progress) {
  PreparedReport report;
  report.layout = std::make_shared<const ReportTemplate>(layout);
  report.sourceFiles = rows.Files();
  const ReportTemplate& t = *report.layout;

  // First pass: count the rows, so that every footer can name the total.
  int rowCount = 0;
  for (rows.First(); !rows.AtEnd(); rows.Next()) {
    ++rowCount;
    if (progress && !progress->Step(1, rowCount, -1)) return report;
  }
  const int totalPages = ReportPageCount(t, rowCount);

  const CompiledBand title(t.title), header(t.pageHeader), data(t.data), footer(t.pageFooter);
  const PageGeometry g(t);
  report.pages.reserve(totalPages);

  // Second pass: lay the bands out page by page.
  rows.First();
  const ReportRowSource* current = rowCount > 0 ? &rows : nullptr;
  report.pages.emplace_back();
  int pageNo = 1;
  title.Place(&report.pages.back(), t.topMargin, current, pageNo, totalPages);
  header.Place(&report.pages.back(), t.topMargin + t.title.height, current, pageNo, totalPages);
  double y = g.firstDataTop;
  int onPage = 0, capacity = g.firstCapacity, done = 0;
  for (; !rows.AtEnd(); rows.Next()) {
    if (onPage == capacity) {
      footer.Place(&report.pages.back(), g.footerTop, current, pageNo, totalPages);
      report.pages.emplace_back();
      ++pageNo;
      header.Place(&report.pages.back(), t.topMargin, current, pageNo, totalPages);
      y = g.dataTop;
      onPage = 0;
      capacity = g.capacity;
    }
    data.Place(&report.pages.back(), y, current, pageNo, totalPages);
    y += t.data.height;
    ++onPage;
    if (progress && !progress->Step(2, ++done, rowCount)) {
      report.pages.clear();
      return report;
    }
  }
  footer.Place(&report.pages.back(), g.footerTop, current, pageNo, totalPages);
  report.completed = true;
  return report;
}
