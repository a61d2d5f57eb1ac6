#pragma once
// The report's windows: the cancellable progress window of a preparation or
// a print job, the modal preview and the print dialog.
#include <QDialog>
#include <QString>
#include <functional>
#include <memory>

#include "output/reports/report_engine.h"

class QPrinter;
class QPrintPreviewWidget;
class QProgressDialog;

// A modal progress window; its Cancel button ends the work.
class ReportProgressWindow : public ReportProgress {
 public:
  ReportProgressWindow(QWidget* parent, const QString& label);
  ~ReportProgressWindow() override;
  bool Step(int pass, int row, int rowCount) override;
  QProgressDialog* dialog() const { return dialog_.get(); }

 private:
  std::unique_ptr<QProgressDialog> dialog_;
  QString label_;
  int lastPass_ = 0;
};

// Prepares the report under a progress window.
PreparedReport PrepareReportWithProgress(QWidget* parent, const ReportTemplate& layout,
                                         ReportRowSource& rows);

// Whether the system has a printer to offer.
bool ReportPrintersInstalled();

// The print dialog over the prepared pages: all pages or ranges such as
// 1,3,5-12, the printer and its setup, copies (1) and collation (on). Shows
// nothing without printers; prints nothing when cancelled. Returns true
// when pages were printed.
bool PrintReportWithDialog(QWidget* parent, const PreparedReport& report,
                           bool printersInstalled = ReportPrintersInstalled());

// "Печать" of a prepared report: the print dialog when the system has a
// printer. Without one the operator is told so and offered to save the
// report as a PDF file instead (the save dialog starts on `pdfPath`), the
// same file that klt3-cli report writes. Returns true when pages were
// printed or saved.
bool PrintOrSaveReport(QWidget* parent, const PreparedReport& report, const QString& pdfPath,
                       bool printersInstalled = ReportPrintersInstalled());

// The modal preview window "Предварительный просмотр": zoom, page turning,
// printing, help (when a handler is given) and closing.
class ReportPreview : public QDialog {
  Q_OBJECT
 public:
  // `pdfPath`: where its print button offers to save the report when the
  // system has no printer.
  ReportPreview(QWidget* parent, const PreparedReport& report,
                std::function<void()> help = nullptr, const QString& pdfPath = QString());
  ~ReportPreview() override;
  QPrintPreviewWidget* view() const { return view_; }
  const PreparedReport& report() const { return report_; }

 private:
  const PreparedReport& report_;
  QString pdfPath_;
  std::unique_ptr<QPrinter> printer_;
  QPrintPreviewWidget* view_;
};

// Shows the preview through the dialog seam; nothing without pages.
void ShowReportPreview(QWidget* parent, const PreparedReport& report,
                       std::function<void()> help = nullptr, const QString& pdfPath = QString());
