#include "output/reports/report_render.h"

#include <QBuffer>
#include <QFile>
#include <QFontMetricsF>
#include <QPageLayout>
#include <QPageRanges>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QPrinter>
#include <QTextLayout>

#include "platform/file_ops.h"

namespace {

struct LaidLine {
  QTextLayout* layout;  // null for an empty line
  int index;
  double width, height;
};

void DrawText(QPainter* painter, const PreparedBox& box, const QRectF& rect, double scale) {
  const ReportBox& style = *box.style;
  if (box.text.isEmpty()) return;
  QFont font(style.font.family);
  font.setPointSizeF(style.font.pointSize);
  font.setBold(style.font.bold);
  const QFont resolved(font, painter->device());
  const QFontMetricsF metrics(resolved, painter->device());
  const QRectF inner = rect.adjusted(kReportPadX * scale, kReportPadY * scale, -kReportPadX * scale,
                                     -kReportPadY * scale);
  const double gap = kReportLineGap * scale;

  // Each paragraph of the text wraps on its own inside the box.
  const QStringList paragraphs = box.text.split(QLatin1Char('\n'));
  std::vector<std::unique_ptr<QTextLayout>> layouts;
  std::vector<LaidLine> lines;
  QTextOption option;
  option.setWrapMode(style.wordWrap ? QTextOption::WrapAtWordBoundaryOrAnywhere
                                    : QTextOption::NoWrap);
  for (const QString& paragraph : paragraphs) {
    if (paragraph.isEmpty()) {
      lines.push_back({nullptr, 0, 0, metrics.height()});
      continue;
    }
    layouts.push_back(std::make_unique<QTextLayout>(paragraph, resolved, painter->device()));
    QTextLayout* layout = layouts.back().get();
    layout->setTextOption(option);
    layout->beginLayout();
    for (;;) {
      QTextLine line = layout->createLine();
      if (!line.isValid()) break;
      line.setLineWidth(std::max(1.0, inner.width()));
      lines.push_back({layout, line.lineNumber(), line.naturalTextWidth(), line.height()});
    }
    layout->endLayout();
  }

  double total = -gap;
  for (const LaidLine& l : lines) total += l.height + gap;
  double y = inner.top();
  if (style.vAlign == ReportVAlign::Center) y += (inner.height() - total) / 2;
  if (style.vAlign == ReportVAlign::Bottom) y += inner.height() - total;

  painter->save();
  painter->setClipRect(rect);
  painter->setPen(Qt::black);
  for (const LaidLine& l : lines) {
    if (l.layout) {
      double x = inner.left();
      if (style.hAlign == ReportHAlign::Center) x += (inner.width() - l.width) / 2;
      if (style.hAlign == ReportHAlign::Right) x += inner.width() - l.width;
      QTextLine line = l.layout->lineAt(l.index);
      line.draw(painter, QPointF(x - line.x(), y - line.y()));
    }
    y += l.height + gap;
  }
  painter->restore();
}

}  // namespace

void RenderReportPage(QPainter* painter, const PreparedPage& page) {
  const double sx = painter->device()->logicalDpiX() * kReportUnitInch;
  const double sy = painter->device()->logicalDpiY() * kReportUnitInch;
  const double scale = (sx + sy) / 2;
  for (const PreparedBox& box : page.boxes) {
    const QRectF rect(box.rect.left() * sx, box.rect.top() * sy, box.rect.width() * sx,
                      box.rect.height() * sy);
    if (box.style->frame) {
      painter->save();
      QPen pen(Qt::black, scale, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin);
      painter->setPen(pen);
      painter->setBrush(Qt::NoBrush);
      painter->drawRect(rect);
      painter->restore();
    }
    DrawText(painter, box, rect, scale);
  }
}

void SetupReportPrinter(QPrinter* printer, const ReportTemplate& layout) {
  printer->setFullPage(true);
  printer->setPageLayout(QPageLayout(QPageSize(QPageSize::A4),
                                     layout.orientation == ReportOrientation::Landscape
                                         ? QPageLayout::Landscape
                                         : QPageLayout::Portrait,
                                     QMarginsF(0, 0, 0, 0)));
}

bool PrintReport(QPrinter* printer, const PreparedReport& report, ReportProgress* progress) {
  if (report.pages.empty()) return true;
  const int count = int(report.pages.size());
  std::vector<int> selected;
  if (printer->printRange() == QPrinter::PageRange && !printer->pageRanges().isEmpty()) {
    for (const QPageRanges::Range& r : printer->pageRanges().toRangeList())
      for (int p = std::max(1, r.from); p <= std::min(count, r.to); ++p) selected.push_back(p - 1);
  } else {
    for (int p = 0; p < count; ++p) selected.push_back(p);
  }
  if (selected.empty()) return true;

  // The print system makes the copies when it can; otherwise they are
  // printed here, one set after the other when collated.
  const int copies = printer->supportsMultipleCopies() ? 1 : std::max(1, printer->copyCount());
  std::vector<int> order;
  if (printer->collateCopies()) {
    for (int c = 0; c < copies; ++c) order.insert(order.end(), selected.begin(), selected.end());
  } else {
    for (int p : selected) order.insert(order.end(), copies, p);
  }

  QPainter painter;
  if (!painter.begin(printer)) return false;
  for (size_t i = 0; i < order.size(); ++i) {
    if (i > 0 && !printer->newPage()) return false;
    RenderReportPage(&painter, report.pages[order[i]]);
    if (progress && !progress->Step(1, int(i) + 1, int(order.size()))) {
      printer->abort();
      return false;
    }
  }
  return painter.end();
}

bool WriteReportPdf(const PreparedReport& report, const QString& path) {
  if (!report.layout) return false;
  // Made in memory, then put in place in one replacement, so that a failed
  // write leaves the old file and never a half document.
  QBuffer buffer;
  buffer.open(QIODevice::WriteOnly);
  {
    QPdfWriter pdf(&buffer);
    pdf.setResolution(1200);
    pdf.setPageLayout(QPageLayout(QPageSize(QPageSize::A4),
                                  report.layout->orientation == ReportOrientation::Landscape
                                      ? QPageLayout::Landscape
                                      : QPageLayout::Portrait,
                                  QMarginsF(0, 0, 0, 0)));
    pdf.setCreator(QStringLiteral("klt3"));
    QPainter painter;
    if (!painter.begin(&pdf)) return false;
    for (size_t i = 0; i < report.pages.size(); ++i) {
      if (i > 0 && !pdf.newPage()) return false;
      RenderReportPage(&painter, report.pages[i]);
    }
    if (!painter.end()) return false;
  }
  const QByteArray& bytes = buffer.data();
  return ReplaceFileContents(QFile::encodeName(path).toStdString(), bytes.constData(),
                             size_t(bytes.size()), true) == 0;
}
