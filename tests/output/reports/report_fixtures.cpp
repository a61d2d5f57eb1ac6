#include "output/reports/report_fixtures.h"

#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <algorithm>

#include "output/reports/report_template.h"
#include "support/test_env.h"

namespace {
constexpr double kPtToMm = 25.4 / 72;

QString Unescape(QString s) {
  s.replace(QStringLiteral("&lt;"), QStringLiteral("<"));
  s.replace(QStringLiteral("&gt;"), QStringLiteral(">"));
  s.replace(QStringLiteral("&quot;"), QStringLiteral("\""));
  s.replace(QStringLiteral("&#39;"), QStringLiteral("'"));
  s.replace(QStringLiteral("&amp;"), QStringLiteral("&"));
  return s;
}
}  // namespace

std::vector<PdfWord> PdfText::In(int page, const QRectF& mm) const {
  std::vector<PdfWord> out;
  for (const PdfWord& w : words)
    if (w.page == page && mm.contains(QPointF(w.cx(), w.cy()))) out.push_back(w);
  std::stable_sort(out.begin(), out.end(), [](const PdfWord& a, const PdfWord& b) {
    if (std::abs(a.cy() - b.cy()) > 1.0) return a.cy() < b.cy();
    return a.left < b.left;
  });
  return out;
}

QString PdfText::TextIn(int page, const QRectF& mm) const {
  QStringList parts;
  for (const PdfWord& w : In(page, mm)) parts << w.text;
  return parts.join(QLatin1Char(' '));
}

PdfText ReadPdfText(const QString& path) {
  PdfText out;
  QTemporaryDir dir;
  const QString html = dir.filePath(QStringLiteral("words.html"));
  QProcess p;
  p.start(QStringLiteral("pdftotext"), {QStringLiteral("-bbox"), path, html});
  if (!p.waitForFinished(60000) || p.exitCode() != 0) return out;
  const QString text = QString::fromUtf8(ReadAll(html));
  static const QRegularExpression token(QStringLiteral(
      R"re(<page width="([\d.]+)" height="([\d.]+)">|<word xMin="([\d.]+)" yMin="([\d.]+)" xMax="([\d.]+)" yMax="([\d.]+)">([^<]*)</word>)re"));
  auto it = token.globalMatch(text);
  while (it.hasNext()) {
    const QRegularExpressionMatch m = it.next();
    if (m.capturedStart(1) >= 0) {
      out.pages.emplace_back(m.captured(1).toDouble() * kPtToMm,
                             m.captured(2).toDouble() * kPtToMm);
    } else {
      out.words.push_back({int(out.pages.size()) - 1, m.captured(3).toDouble() * kPtToMm,
                           m.captured(4).toDouble() * kPtToMm, m.captured(5).toDouble() * kPtToMm,
                           m.captured(6).toDouble() * kPtToMm, Unescape(m.captured(7))});
    }
  }
  return out;
}

QRectF UnitsToMm(const QRectF& u) {
  return QRectF(ReportUnitsToMm(u.left()), ReportUnitsToMm(u.top()), ReportUnitsToMm(u.width()),
                ReportUnitsToMm(u.height()));
}
