#pragma once
// Small fixtures for the report tests: an in-memory row source that moves
// its cursor like the table does, and the words of a PDF with their boxes.
#include <QRectF>
#include <QSizeF>
#include <QString>
#include <map>
#include <ostream>
#include <vector>

#include "output/reports/report_source.h"

inline void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }

using FakeRow = std::map<QString, FieldValue>;

// Next on the last row sets AtEnd and leaves the last row current.
class FakeRows : public ReportRowSource {
 public:
  explicit FakeRows(std::vector<FakeRow> rows) : rows_(std::move(rows)) {}
  void First() override {
    current_ = 0;
    atEnd_ = rows_.empty();
  }
  void Next() override {
    if (current_ + 1 < int(rows_.size()))
      ++current_;
    else
      atEnd_ = true;
  }
  bool AtEnd() const override { return atEnd_; }
  FieldValue GetField(const QString& name) const override {
    // A table engine may answer 0 when there is no row at all.
    if (rows_.empty()) return int64_t(0);
    auto it = rows_[current_].find(name);
    return it == rows_[current_].end() ? FieldValue() : it->second;
  }
  int current() const { return current_; }

 private:
  std::vector<FakeRow> rows_;
  int current_ = -1;
  bool atEnd_ = true;
};

// A word that pdftotext found: page (0-based) and box in millimetres.
struct PdfWord {
  int page;
  double left, top, right, bottom;
  QString text;
  double cx() const { return (left + right) / 2; }
  double cy() const { return (top + bottom) / 2; }
};

struct PdfText {
  std::vector<QSizeF> pages;  // page sizes in millimetres
  std::vector<PdfWord> words;
  // Words whose centre lies in the rectangle (mm) on the page, in reading order.
  std::vector<PdfWord> In(int page, const QRectF& mm) const;
  // Their texts joined with blanks.
  QString TextIn(int page, const QRectF& mm) const;
};

// Runs pdftotext -bbox on the file; empty pages on failure.
PdfText ReadPdfText(const QString& path);

// The rectangle of a box in millimetres (template units in).
QRectF UnitsToMm(const QRectF& units);
