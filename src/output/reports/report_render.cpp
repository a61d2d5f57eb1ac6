#include "output/reports/report_render.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFontMetricsF>
#include <QPageLayout>
#include <QPageRanges>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QPrinter>
#include <QTextLayout>
#include <functional>
#include <map>
#include <memory>
#include <unordered_map>

#include "platform/file_ops.h"
#include "platform/operator_error.h"
#include "platform/write_target.h"

namespace {

struct LaidLine {
  int layout;  // into LaidText::layouts; -1 for an empty line
  int index;
  double width, height;
};

// A box's text laid out for one paint device: the lines of its paragraphs
// and where the block sits inside the box.
struct LaidText {
  std::vector<std::unique_ptr<QTextLayout>> layouts;
  std::vector<LaidLine> lines;
  double total = 0;  // height of all lines with their gaps
  double maxWidth = 0;
};

struct FontOf {
  QFont resolved;
  double lineHeight = 0;
};

}  // namespace

// What drawing the pages of one report on one device can share: the fonts
// of the box styles and the laid-out texts, which repeat from page to page
// (the same titles, headers and many equal values).
class ReportPaintCache {
 public:
  explicit ReportPaintCache(QPaintDevice* device) : device_(device) {}
  QPaintDevice* Device() const { return device_; }

  const FontOf& Font(const ReportBox& style) {
    auto it = fonts_.find(&style);
    if (it != fonts_.end()) return it->second;
    QFont font(style.font.family);
    font.setPointSizeF(style.font.pointSize);
    font.setBold(style.font.bold);
    FontOf f;
    f.resolved = QFont(font, device_);
    f.lineHeight = QFontMetricsF(f.resolved, device_).height();
    return fonts_.emplace(&style, f).first->second;
  }

  const LaidText& Text(const ReportBox& style, const QString& text, double width) {
    const Key key{&style, text, width};
    auto it = texts_.find(key);
    if (it != texts_.end()) return *it->second;
    auto laid = std::make_unique<LaidText>();
    Lay(style, text, width, laid.get());
    // The texts of a report repeat; a report of very many different ones
    // starts over now and then instead of growing without end.
    if (texts_.size() > 20000) texts_.clear();
    return *texts_.emplace(key, std::move(laid)).first->second;
  }

 private:
  struct Key {
    const ReportBox* style;
    QString text;
    double width;
    bool operator==(const Key& o) const {
      return style == o.style && width == o.width && text == o.text;
    }
  };
  struct KeyHash {
    size_t operator()(const Key& k) const {
      return qHash(k.text) ^ std::hash<const void*>()(k.style) ^ (std::hash<double>()(k.width) << 1);
    }
  };

  void Lay(const ReportBox& style, const QString& text, double width, LaidText* out) {
    const FontOf& font = Font(style);
    // Each paragraph of the text wraps on its own inside the box.
    QTextOption option;
    option.setWrapMode(style.wordWrap ? QTextOption::WrapAtWordBoundaryOrAnywhere
                                      : QTextOption::NoWrap);
    for (const QString& paragraph : text.split(QLatin1Char('\n'))) {
      if (paragraph.isEmpty()) {
        out->lines.push_back({-1, 0, 0, font.lineHeight});
        continue;
      }
      out->layouts.push_back(std::make_unique<QTextLayout>(paragraph, font.resolved, device_));
      QTextLayout* layout = out->layouts.back().get();
      layout->setTextOption(option);
      layout->beginLayout();
      for (;;) {
        QTextLine line = layout->createLine();
        if (!line.isValid()) break;
        line.setLineWidth(std::max(1.0, width));
        out->lines.push_back({int(out->layouts.size()) - 1, line.lineNumber(),
                              line.naturalTextWidth(), line.height()});
      }
      layout->endLayout();
    }
  }

  QPaintDevice* device_;
  std::map<const ReportBox*, FontOf> fonts_;
  std::unordered_map<Key, std::unique_ptr<LaidText>, KeyHash> texts_;
};

namespace {

// A box's text placed in its box.
struct PlacedText {
  const LaidText* laid = nullptr;  // null without text
  QRectF rect, inner;
  double top = 0;
  double gap = 0;
  // The box clips its text; when the lines stay inside its padding the clip
  // cuts nothing, and a clip costs every device a state change.
  bool clip = false;
};

PlacedText Place(ReportPaintCache& cache, const PreparedBox& box, const QRectF& rect,
                 double scale) {
  PlacedText p;
  if (box.text.isEmpty()) return p;
  const ReportBox& style = *box.style;
  p.rect = rect;
  p.inner = rect.adjusted(kReportPadX * scale, kReportPadY * scale, -kReportPadX * scale,
                          -kReportPadY * scale);
  p.gap = kReportLineGap * scale;
  p.laid = &cache.Text(style, box.text, p.inner.width());
  double total = -p.gap;
  double widest = 0;
  for (const LaidLine& l : p.laid->lines) {
    total += l.height + p.gap;
    widest = std::max(widest, l.width);
  }
  p.top = p.inner.top();
  if (style.vAlign == ReportVAlign::Center) p.top += (p.inner.height() - total) / 2;
  if (style.vAlign == ReportVAlign::Bottom) p.top += p.inner.height() - total;
  p.clip = total > p.inner.height() || widest > p.inner.width() || p.top < p.inner.top() ||
           p.top + total > p.inner.bottom();
  return p;
}

void DrawText(QPainter* painter, const PreparedBox& box, const PlacedText& p) {
  if (!p.laid) return;
  const ReportBox& style = *box.style;
  const LaidText& laid = *p.laid;
  const QRectF& inner = p.inner;
  const double gap = p.gap;
  double y = p.top;
  if (p.clip) {
    painter->save();
    painter->setClipRect(p.rect);
  }
  painter->setPen(Qt::black);
  for (const LaidLine& l : laid.lines) {
    if (l.layout >= 0) {
      double x = inner.left();
      if (style.hAlign == ReportHAlign::Center) x += (inner.width() - l.width) / 2;
      if (style.hAlign == ReportHAlign::Right) x += inner.width() - l.width;
      QTextLine line = laid.layouts[size_t(l.layout)]->lineAt(l.index);
      line.draw(painter, QPointF(x - line.x(), y - line.y()));
    }
    y += l.height + gap;
  }
  if (p.clip) painter->restore();
}

void RenderPage(QPainter* painter, ReportPaintCache& cache, const PreparedPage& page) {
  const double sx = painter->device()->logicalDpiX() * kReportUnitInch;
  const double sy = painter->device()->logicalDpiY() * kReportUnitInch;
  const double scale = (sx + sy) / 2;
  std::vector<QRectF> rects;
  std::vector<PlacedText> texts;
  rects.reserve(page.boxes.size());
  texts.reserve(page.boxes.size());
  bool clips = false;
  for (const PreparedBox& box : page.boxes) {
    rects.emplace_back(box.rect.left() * sx, box.rect.top() * sy, box.rect.width() * sx,
                       box.rect.height() * sy);
    texts.push_back(Place(cache, box, rects.back(), scale));
    clips = clips || texts.back().clip;
  }
  painter->save();
  const QPen framePen(Qt::black, scale, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin);
  painter->setBrush(Qt::NoBrush);
  // Each box's frame, then its text. With no text reaching past its box's
  // padding, no text meets another box's frame, and all frames can go
  // first with one pen.
  if (!clips) {
    painter->setPen(framePen);
    for (size_t i = 0; i < page.boxes.size(); ++i)
      if (page.boxes[i].style->frame) painter->drawRect(rects[i]);
  }
  for (size_t i = 0; i < page.boxes.size(); ++i) {
    if (clips && page.boxes[i].style->frame) {
      painter->setPen(framePen);
      painter->drawRect(rects[i]);
    }
    DrawText(painter, page.boxes[i], texts[i]);
  }
  painter->restore();
}

}  // namespace

void RenderReportPage(QPainter* painter, const PreparedPage& page) {
  ReportPaintCache cache(painter->device());
  RenderPage(painter, cache, page);
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
  ReportPaintCache cache(printer);
  for (size_t i = 0; i < order.size(); ++i) {
    if (i > 0 && !printer->newPage()) return false;
    RenderPage(&painter, cache, report.pages[order[i]]);
    if (progress && !progress->Step(1, int(i) + 1, int(order.size()))) {
      printer->abort();
      return false;
    }
  }
  return painter.end();
}

bool WriteReportPdf(const PreparedReport& report, const QString& path, QString* failure) {
  auto fail = [&](const QString& reason) {
    if (failure)
      *failure =
          QStringLiteral("Не удалось записать файл %1: %2").arg(QDir::toNativeSeparators(path), reason);
    return false;
  };
  const QString unmade = QStringLiteral("не удалось составить документ PDF");
  if (!report.layout) return fail(unmade);
  const QString refusal = WriteTargetRefusal(path, report.sourceFiles);
  if (!refusal.isEmpty()) {
    if (failure) *failure = refusal;
    return false;
  }
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
    if (!painter.begin(&pdf)) return fail(unmade);
    for (size_t i = 0; i < report.pages.size(); ++i) {
      if (i > 0 && !pdf.newPage()) return fail(unmade);
      RenderReportPage(&painter, report.pages[i]);
    }
    if (!painter.end()) return fail(unmade);
  }
  const QByteArray& bytes = buffer.data();
  const int err = ReplaceFileContents(QFile::encodeName(path).toStdString(), bytes.constData(),
                                      size_t(bytes.size()), true);
  return err == 0 || fail(FileWriteReason(err));
}
