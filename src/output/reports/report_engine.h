#pragma once
// Preparation of a report: the bands of a template laid out on pages against
// a row source, in two passes so that every page knows the page count.
#include <QLocale>
#include <QRectF>
#include <QString>
#include <memory>
#include <vector>

#include "output/reports/report_source.h"
#include "output/reports/report_template.h"

// A box placed on a page, its text resolved. Positions in template units
// from the top-left corner of the page.
struct PreparedBox {
  QRectF rect;
  QString text;
  const ReportBox* style = nullptr;  // points into PreparedReport::layout
};

struct PreparedPage {
  std::vector<PreparedBox> boxes;
};

struct PreparedReport {
  bool completed = false;  // false when the operator cancelled
  std::shared_ptr<const ReportTemplate> layout;
  std::vector<PreparedPage> pages;
  QStringList sourceFiles;  // the source's Files()
};

// Told of the preparation's progress; returning false cancels it.
class ReportProgress {
 public:
  virtual ~ReportProgress() = default;
  // pass is 1 or 2; row counts the rows done in this pass; rowCount is the
  // number of rows (known from the second pass on, else -1).
  virtual bool Step(int pass, int row, int rowCount) = 0;
};

// Runs the template over every row of the source, first to last. The
// cursor of the source ends on the last row. Without rows there is still
// one page with title, page header and page footer.
PreparedReport PrepareReport(const ReportTemplate& layout, ReportRowSource& rows,
                             ReportProgress* progress = nullptr);

// The text of a value in a data box's format. Text uses the locale's
// decimal separator; the two number formats always a comma.
QString FormatReportValue(const FieldValue& value, ReportFormat format,
                          const QLocale& locale = QLocale());

// The number of pages that rowCount rows need under the template.
int ReportPageCount(const ReportTemplate& layout, int rowCount);
