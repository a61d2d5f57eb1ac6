#pragma once
// Drawing prepared pages with QPainter onto any paint device: the preview,
// a printer, a PDF file, an image.
#include <QString>

#include "output/reports/report_engine.h"

class QPainter;
class QPrinter;

// Draws one page; the painter's origin is the top-left corner of the page
// and its device's logical resolution sets the scale.
void RenderReportPage(QPainter* painter, const PreparedPage& page);

// A4 in the template's orientation, the whole sheet addressable.
void SetupReportPrinter(QPrinter* printer, const ReportTemplate& layout);

// Prints the pages the printer's range selects (all, or page ranges such
// as 1,3,5-12), copies and collation included. Returns false when the
// printer failed or the progress cancelled.
bool PrintReport(QPrinter* printer, const PreparedReport& report,
                 ReportProgress* progress = nullptr);

// Writes every page of the report into a PDF file. False with the
// operator's text in *failure when it cannot: a file the report must not
// replace (its source table, one another program holds, a read-only one) is
// refused before anything is written; any other failure gives its reason.
bool WriteReportPdf(const PreparedReport& report, const QString& path,
                    QString* failure = nullptr);
