// The report's windows: cancelling the progress window, the print dialog
// (answered through the dialog seam) and the preview.
#include "output/reports/report_windows.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QPrintDialog>
#include <QPrintPreviewWidget>
#include <QPrinter>
#include <QProgressDialog>
#include <QPushButton>
#include <QTemporaryDir>

#include "output/reports/report_fixtures.h"
#include "output/reports/report_templates.h"
#include "platform/dialogs.h"

namespace {

std::vector<FakeRow> Rows(int count) {
  std::vector<FakeRow> rows;
  for (int i = 0; i < count; ++i) rows.push_back({{"N", int64_t(i + 1)}, {"P", 12.5}});
  return rows;
}

QProgressDialog* OpenProgressWindow() {
  for (QWidget* w : QApplication::allWidgets())
    if (auto* p = qobject_cast<QProgressDialog*>(w)) return p;
  return nullptr;
}

// Presses Cancel of the open progress window when the walk reaches a row.
class CancellingRows : public FakeRows {
 public:
  CancellingRows(int count, int cancelAt) : FakeRows(Rows(count)), cancelAt_(cancelAt) {}
  void Next() override {
    FakeRows::Next();
    if (++steps_ != cancelAt_) return;
    QProgressDialog* p = OpenProgressWindow();
    ASSERT_NE(p, nullptr);
    for (QPushButton* b : p->findChildren<QPushButton*>()) b->click();
  }

 private:
  int cancelAt_;
  int steps_ = 0;
};

TEST(ReportProgressWindow, CancelButtonStopsThePreparation) {
  for (int at : {100, 700}) {  // first pass, second pass
    CancellingRows rows(500, at);
    const PreparedReport r = PrepareReportWithProgress(nullptr, Report2(), rows);
    EXPECT_FALSE(r.completed) << at;
    EXPECT_TRUE(r.pages.empty()) << at;
    EXPECT_EQ(OpenProgressWindow(), nullptr);  // gone with the preparation
  }
  CancellingRows rows(500, -1);
  EXPECT_TRUE(PrepareReportWithProgress(nullptr, Report2(), rows).completed);
}

// Answers the print dialog: remembers what it offered, then prints to a
// PDF file with the page ranges given, or cancels.
class PrintAnswer : public DialogSeam {
 public:
  QString pdf, ranges;
  bool accept = true;
  int calls = 0;
  bool copiesOne = false, collated = false, offersCurrentPage = true, offersRanges = false;
  int minPage = 0, maxPage = 0;
  int Exec(QDialog* dialog) override {
    ++calls;
    auto* print = qobject_cast<QPrintDialog*>(dialog);
    if (!print) return QDialog::Rejected;
    QPrinter* printer = print->printer();
    copiesOne = printer->copyCount() == 1;
    collated = printer->collateCopies();
    offersCurrentPage = print->testOption(QAbstractPrintDialog::PrintCurrentPage);
    offersRanges = print->testOption(QAbstractPrintDialog::PrintPageRange);
    minPage = print->minPage();
    maxPage = print->maxPage();
    if (!accept) return QDialog::Rejected;
    printer->setOutputFormat(QPrinter::PdfFormat);
    printer->setOutputFileName(pdf);
    if (!ranges.isEmpty()) {
      printer->setPrintRange(QPrinter::PageRange);
      printer->setPageRanges(QPageRanges::fromString(ranges));
    }
    return QDialog::Accepted;
  }
};

class ReportPrint : public ::testing::Test {
 protected:
  void SetUp() override {
    answer.pdf = dir.filePath(QStringLiteral("printed.pdf"));
    SetDialogs(&answer);
  }
  void TearDown() override { SetDialogs(nullptr); }
  QTemporaryDir dir;
  PrintAnswer answer;
};

QStringList Footers(const PdfText& pdf) {
  QStringList out;
  for (size_t p = 0; p < pdf.pages.size(); ++p) out << pdf.TextIn(int(p), QRectF(0, 280, 210, 17));
  return out;
}

TEST_F(ReportPrint, PageRangesPrintOnlyThosePages) {
  FakeRows rows(Rows(100));  // five pages
  const PreparedReport r = PrepareReport(Report2(), rows);
  ASSERT_EQ(r.pages.size(), 5u);
  struct Case {
    const char* ranges;
    std::vector<const char*> footers;
  } cases[] = {
      {"", {"Стр. 1 из 5", "Стр. 2 из 5", "Стр. 3 из 5", "Стр. 4 из 5", "Стр. 5 из 5"}},
      {"1,3-4", {"Стр. 1 из 5", "Стр. 3 из 5", "Стр. 4 из 5"}},
      {"5,4-9", {"Стр. 4 из 5", "Стр. 5 из 5"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.ranges);
    QFile::remove(answer.pdf);
    answer.ranges = QLatin1String(c.ranges);
    EXPECT_TRUE(PrintReportWithDialog(nullptr, r, true));
    QStringList expected;
    for (const char* f : c.footers) expected << QString::fromUtf8(f);
    EXPECT_EQ(Footers(ReadPdfText(answer.pdf)), expected);
  }
  EXPECT_TRUE(answer.copiesOne);
  EXPECT_TRUE(answer.collated);
  EXPECT_TRUE(answer.offersRanges);
  EXPECT_FALSE(answer.offersCurrentPage);
  EXPECT_EQ(answer.minPage, 1);
  EXPECT_EQ(answer.maxPage, 5);
}

TEST_F(ReportPrint, NothingWithoutPrinterOrWhenCancelled) {
  FakeRows rows(Rows(3));
  const PreparedReport r = PrepareReport(Report3(), rows);
  EXPECT_FALSE(PrintReportWithDialog(nullptr, r, false));
  EXPECT_EQ(answer.calls, 0);  // no dialog at all

  answer.accept = false;
  EXPECT_FALSE(PrintReportWithDialog(nullptr, r, true));
  EXPECT_EQ(answer.calls, 1);
  EXPECT_FALSE(QFile::exists(answer.pdf));

  // A cancelled preparation has nothing to print.
  PreparedReport cancelled = r;
  cancelled.completed = false;
  EXPECT_FALSE(PrintReportWithDialog(nullptr, cancelled, true));
  EXPECT_EQ(answer.calls, 1);
}

// Looks at the preview the seam is asked to run.
class PreviewAnswer : public DialogSeam {
 public:
  int calls = 0, pages = 0;
  QString title;
  QStringList actions;
  bool pressHelp = false;  // presses "Справка" as the operator would
  int Exec(QDialog* dialog) override {
    ++calls;
    title = dialog->windowTitle();
    auto* preview = qobject_cast<ReportPreview*>(dialog);
    if (!preview) return QDialog::Rejected;
    preview->view()->updatePreview();
    pages = preview->view()->pageCount();
    for (QAction* a : preview->findChildren<QAction*>()) {
      actions << a->text();
      if (pressHelp && a->text() == QString::fromUtf8("Справка")) a->trigger();
    }
    return QDialog::Rejected;
  }
};

TEST(ReportPreviewWindow, ShowsEveryPreparedPageModally) {
  PreviewAnswer answer;
  SetDialogs(&answer);
  FakeRows rows(Rows(30));
  const PreparedReport r = PrepareReport(Report1(), rows);
  bool helped = false;
  ShowReportPreview(nullptr, r, [&] { helped = true; });
  EXPECT_EQ(answer.calls, 1);
  EXPECT_EQ(answer.title, QString::fromUtf8("Предварительный просмотр"));
  EXPECT_EQ(answer.pages, int(r.pages.size()));
  for (const char* a : {"Увеличить", "Уменьшить", "Печать", "Справка", "Закрыть"})
    EXPECT_TRUE(answer.actions.contains(QString::fromUtf8(a))) << a;

  // Nothing for a cancelled preparation.
  PreparedReport cancelled;
  ShowReportPreview(nullptr, cancelled);
  EXPECT_EQ(answer.calls, 1);
  // Help only when asked for, then through the callback.
  EXPECT_FALSE(helped);
  answer.pressHelp = true;
  ShowReportPreview(nullptr, r, [&] { helped = true; });
  EXPECT_EQ(answer.calls, 2);
  EXPECT_TRUE(helped);
  SetDialogs(nullptr);
}

}  // namespace
