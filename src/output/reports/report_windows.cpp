#include "output/reports/report_windows.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QPrintDialog>
#include <QPrintPreviewWidget>
#include <QPrinter>
#include <QPrinterInfo>
#include <QProgressDialog>
#include <QToolBar>
#include <QVBoxLayout>

#include "output/reports/report_render.h"
#include "platform/dialogs.h"

ReportProgressWindow::ReportProgressWindow(QWidget* parent, const QString& label)
    : dialog_(std::make_unique<QProgressDialog>(label, QString::fromUtf8("Отмена"), 0, 0, parent)),
      label_(label) {
  dialog_->setWindowTitle(QApplication::applicationDisplayName());
  dialog_->setWindowModality(Qt::ApplicationModal);
  dialog_->setAutoClose(false);
  dialog_->setAutoReset(false);
  dialog_->setMinimumDuration(300);
}

ReportProgressWindow::~ReportProgressWindow() = default;

bool ReportProgressWindow::Step(int pass, int row, int rowCount) {
  if (pass != lastPass_) {
    lastPass_ = pass;
    dialog_->setRange(0, std::max(0, rowCount));
  }
  // Keep the window answering without spending the time on repaints.
  if (row == 1 || row % 32 == 0 || row == rowCount) {
    dialog_->setValue(rowCount > 0 ? std::min(row, rowCount) : 0);
    QCoreApplication::processEvents();
  }
  return !dialog_->wasCanceled();
}

PreparedReport PrepareReportWithProgress(QWidget* parent, const ReportTemplate& layout,
                                         ReportRowSource& rows) {
  ReportProgressWindow progress(parent, QString::fromUtf8("Подготовка отчета…"));
  return PrepareReport(layout, rows, &progress);
}

bool ReportPrintersInstalled() { return !QPrinterInfo::availablePrinters().isEmpty(); }

bool PrintReportWithDialog(QWidget* parent, const PreparedReport& report, bool printersInstalled) {
  if (!printersInstalled || !report.completed || report.pages.empty() || !report.layout)
    return false;
  QPrinter printer(QPrinter::HighResolution);
  SetupReportPrinter(&printer, *report.layout);
  printer.setCopyCount(1);
  printer.setCollateCopies(true);
  printer.setPrintRange(QPrinter::AllPages);
  QPrintDialog dialog(&printer, parent);
  dialog.setOptions(QAbstractPrintDialog::PrintPageRange |
                    QAbstractPrintDialog::PrintCollateCopies |
                    QAbstractPrintDialog::PrintShowPageSize);
  dialog.setMinMax(1, int(report.pages.size()));
  if (Dialogs().Exec(&dialog) != QDialog::Accepted) return false;
  // The dialog may have changed the paper; the report keeps its own.
  SetupReportPrinter(&printer, *report.layout);
  ReportProgressWindow progress(parent, QString::fromUtf8("Печать…"));
  return PrintReport(&printer, report, &progress);
}

bool PrintOrSaveReport(QWidget* parent, const PreparedReport& report, const QString& pdfPath,
                       bool printersInstalled) {
  if (!report.completed || report.pages.empty() || !report.layout) return false;
  if (printersInstalled) return PrintReportWithDialog(parent, report, true);
  const auto answer = Dialogs().Message(
      parent, QMessageBox::Question, QString::fromUtf8("Печать"),
      QString::fromUtf8("Принтер не установлен.\n\nСохранить отчет в файл PDF, чтобы "
                        "напечатать его позже или на другом компьютере?"),
      QMessageBox::Yes | QMessageBox::No);
  if (answer != QMessageBox::Yes) return false;
  const QString name = Dialogs().GetSaveFileName(
      parent, QString::fromUtf8("Сохранить отчет в файл PDF"), pdfPath,
      QString::fromUtf8("Документы PDF (*.pdf)"), QStringLiteral("pdf"));
  if (name.isEmpty()) return false;
  QString failure;
  if (!WriteReportPdf(report, name, &failure)) {
    ShowGeneralError(parent, failure);
    return false;
  }
  Dialogs().Message(parent, QMessageBox::Information, QString::fromUtf8("Печать"),
                    QString::fromUtf8("Отчет сохранен в файл %1.")
                        .arg(QDir::toNativeSeparators(QFileInfo(name).absoluteFilePath())),
                    QMessageBox::Ok);
  return true;
}

ReportPreview::ReportPreview(QWidget* parent, const PreparedReport& report,
                             std::function<void()> help, const QString& pdfPath)
    : QDialog(parent),
      report_(report),
      pdfPath_(pdfPath),
      printer_(std::make_unique<QPrinter>(QPrinter::HighResolution)) {
  setWindowTitle(QString::fromUtf8("Предварительный просмотр"));
  setModal(true);
  if (report.layout) SetupReportPrinter(printer_.get(), *report.layout);
  view_ = new QPrintPreviewWidget(printer_.get(), this);
  connect(view_, &QPrintPreviewWidget::paintRequested, this,
          [this](QPrinter* printer) { PrintReport(printer, report_); });

  auto* bar = new QToolBar(this);
  auto add = [&](const char* text, auto slot) {
    QAction* a = bar->addAction(QString::fromUtf8(text));
    connect(a, &QAction::triggered, this, slot);
    return a;
  };
  add("Увеличить", [this] { view_->zoomIn(); });
  add("Уменьшить", [this] { view_->zoomOut(); });
  add("По ширине", [this] { view_->fitToWidth(); });
  add("Страница целиком", [this] { view_->fitInView(); });
  bar->addSeparator();
  add("Предыдущая", [this] { view_->setCurrentPage(view_->currentPage() - 1); });
  add("Следующая", [this] { view_->setCurrentPage(view_->currentPage() + 1); });
  bar->addSeparator();
  // Without a printer it offers the PDF file instead.
  add("Печать", [this] { PrintOrSaveReport(this, report_, pdfPath_); });
  if (help) add("Справка", [help] { help(); });
  add("Закрыть", [this] { reject(); });

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(bar);
  layout->addWidget(view_);
  resize(900, 700);
}

ReportPreview::~ReportPreview() = default;

void ShowReportPreview(QWidget* parent, const PreparedReport& report, std::function<void()> help,
                       const QString& pdfPath) {
  if (!report.completed || report.pages.empty()) return;
  ReportPreview preview(parent, report, std::move(help), pdfPath);
  Dialogs().Exec(&preview);
}
