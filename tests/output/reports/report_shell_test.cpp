// The main window's preview and print commands over an opened table file.
#include <gtest/gtest.h>

#include <QAction>
#include <QFileInfo>
#include <QTabWidget>
#include <QTemporaryDir>

#include "output/reports/report_fixtures.h"
#include "output/reports/report_render.h"
#include "output/reports/report_windows.h"
#include "platform/dialogs.h"
#include "shell/main_window.h"
#include "support/store_fixture.h"
#include "support/test_env.h"
#include "support/window_driver.h"

namespace {

// Keeps what the preview was asked to show; any other dialog is cancelled.
class Answers : public DialogSeam {
 public:
  int previews = 0, others = 0, messages = 0;
  PreparedReport shown;
  QString openAnswer;
  QStringList messageTexts;
  QMessageBox::StandardButton messageAnswer = QMessageBox::No;
  QStringList saveDirs;  // where each save dialog started
  QString saveAnswer;
  bool printInPreview = false;  // the preview's own "Печать" is pressed
  QString GetOpenFileName(QWidget*, const QString&, const QString&, const QString&,
                          const QString&) override {
    return openAnswer;
  }
  QString GetSaveFileName(QWidget*, const QString&, const QString& dir, const QString&,
                          const QString&) override {
    saveDirs << dir;
    return saveAnswer;
  }
  int Exec(QDialog* dialog) override {
    if (auto* preview = qobject_cast<ReportPreview*>(dialog)) {
      ++previews;
      shown = preview->report();
      if (printInPreview)
        for (QAction* a : preview->findChildren<QAction*>())
          if (a->text() == QString::fromUtf8("Печать")) {
            EXPECT_TRUE(a->isEnabled());
            a->trigger();
          }
    } else {
      ++others;
    }
    return QDialog::Rejected;
  }
  QMessageBox::StandardButton Message(QWidget*, QMessageBox::Icon, const QString&,
                                      const QString& text, QMessageBox::StandardButtons) override {
    ++messages;
    messageTexts << text;
    return messageAnswer;
  }
};

QStringList Column(const PreparedReport& r, int box) {
  QStringList out;
  for (const PreparedPage& page : r.pages)
    for (const PreparedBox& b : page.boxes)
      if (b.style == &r.layout->data.boxes[box]) out << b.text;
  return out;
}

class ReportCommands : public ::testing::Test {
 protected:
  void SetUp() override {
    ClearSettings();
    SetDialogs(&answers);
    form = std::make_unique<MainWindow>();
  }
  void TearDown() override {
    form.reset();
    SetDialogs(nullptr);
  }
  // Plate rows of an instrument of `deviceType`, then series 7 and 8, or
  // the series first.
  void OpenTable(int deviceType, bool seriesFirst = false) {
    std::vector<StoreRow> rows;
    for (int n = 1; n <= 3; ++n) {
      StoreRow row = PlateRow(n, 4321, 12.5, 1.5);
      row[3].second = int64_t(deviceType);
      rows.push_back(row);
    }
    for (int serial : {7, 8})
      for (int n = 1; n <= 6; ++n)
        rows.insert(seriesFirst ? rows.begin() + (serial - 7) * 6 + n - 1 : rows.end(),
                    WaterRow(n, serial, 0.2 * n, "B6"));
    MeasurementTable t;
    const QString path = MakeStoreTable(t, dir, rows);
    t.Close();
    answers.openAnswer = path;
    ASSERT_TRUE(Trigger(form.get(), "openTableAction"));
    ASSERT_TRUE(form->Session().InUse());
  }
  void ShowTab(int index) {
    // Away and back: the plate tab shows its rows, the water tab the
    // series highlighted in its list.
    ViewTabs(form.get())->setCurrentIndex(1 - index);
    ViewTabs(form.get())->setCurrentIndex(index);
    ASSERT_EQ(form->Session().Table().Filter(), index == 0 ? "NB_TYPE=0" : "SERIAL=7");
  }

  QTemporaryDir dir;
  Answers answers;
  std::unique_ptr<MainWindow> form;
};

// The template goes by the instrument of the rows shown: the plate tester's
// own report for its device types (13, 16 and up), also when the table's
// first row is of the other instrument. Read back from the PDF.
TEST_F(ReportCommands, PreviewTemplateByTabAndDeviceType) {
  struct Case {
    int deviceType, tab;
    bool seriesFirst;
    const char* report;
    const char* title;
    const char* column;  // a column title of that template alone
  } cases[] = {
      {13, 0, false, "Report3", "ЗЕН-ТЛ7  № 4321", "пластины"},
      {16, 0, false, "Report3", "ЗЕН-ТЛ7  № 4321", "пластины"},
      {16, 0, true, "Report3", "ЗЕН-ТЛ7  № 4321", "пластины"},
      {14, 0, false, "Report2", "ДК-ТЛ7  № 4321", "dН"},
      {13, 1, false, "Report1", "ФИР-ТЛ7", "Марка"},
      {16, 1, false, "Report1", "ФИР-ТЛ7", "Марка"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.deviceType) + " tab " + std::to_string(c.tab) +
                 (c.seriesFirst ? " series first" : ""));
    OpenTable(c.deviceType, c.seriesFirst);
    ShowTab(c.tab);
    const int before = answers.previews;
    ASSERT_TRUE(Trigger(form.get(), "previewAction"));
    ASSERT_EQ(answers.previews, before + 1);
    EXPECT_EQ(answers.shown.layout->name, QLatin1String(c.report));
    EXPECT_EQ(answers.shown.pages[0].boxes[0].text, QString::fromUtf8(c.title));
    EXPECT_EQ(Column(answers.shown, 1).size(), c.tab == 0 ? 3 : 6);
    const QString pdf = dir.filePath("preview.pdf");
    ASSERT_TRUE(WriteReportPdf(answers.shown, pdf));
    QStringList words;
    for (const PdfWord& w : ReadPdfText(pdf).words) words << w.text;
    const QString text = words.join(' ');
    EXPECT_TRUE(text.startsWith(QString::fromUtf8(c.title).simplified())) << text.toStdString();
    EXPECT_TRUE(words.contains(QString::fromUtf8(c.column))) << text.toStdString();
    ASSERT_TRUE(Trigger(form.get(), "closeTableAction"));
  }
  EXPECT_EQ(answers.messages, 0);
}

TEST_F(ReportCommands, SelectedSeriesPrintsAndCursorEndsOnItsLastRow) {
  OpenTable(16);
  ShowTab(1);
  ClickSeries(form.get(), 1);
  ASSERT_EQ(form->Session().Table().Filter(), QStringLiteral("SERIAL=8"));
  ASSERT_TRUE(Trigger(form.get(), "previewAction"));
  ASSERT_EQ(answers.previews, 1);
  EXPECT_EQ(Column(answers.shown, 0), QStringList(6, QStringLiteral("8")));
  EXPECT_EQ(Column(answers.shown, 1), QStringList({"1", "2", "3", "4", "5", "6"}));
  EXPECT_EQ(form->Session().Table().CurrentIndex(), 5);
}

// Without a printer "Печать" says so and offers the report as a PDF file
// beside the table, the file klt3-cli report writes; so does the preview's
// print button.
TEST_F(ReportCommands, PrintWithoutPrinterOffersAPdfFile) {
  if (ReportPrintersInstalled()) GTEST_SKIP() << "this machine has a printer";
  OpenTable(13);
  ShowTab(0);
  const QFileInfo table(form->Session().Table().FilePath());
  const QString suggested = table.absoluteDir().filePath(table.completeBaseName() + ".pdf");
  // "Нет": the report was prepared, nothing is written.
  for (const char* command : {"printAction", "printPopupAction"}) {
    SCOPED_TRACE(command);
    DataGrid* grid = PlateGrid(form.get());
    grid->view()->setCurrentIndex(grid->model()->index(0, 0));
    ASSERT_EQ(form->Session().Table().CurrentIndex(), 0);
    ASSERT_TRUE(Trigger(form.get(), command));
    EXPECT_EQ(form->Session().Table().CurrentIndex(), 2);  // the report was prepared
  }
  ASSERT_EQ(answers.messageTexts.size(), 2);
  for (const QString& text : answers.messageTexts)
    EXPECT_TRUE(text.startsWith(QString::fromUtf8("Принтер не установлен"))) << text.toStdString();
  EXPECT_TRUE(answers.saveDirs.isEmpty());

  // "Да": the save dialog starts on the table's name with ".pdf".
  ASSERT_TRUE(Trigger(form.get(), "previewAction"));
  const QString reference = dir.filePath("reference.pdf");
  ASSERT_TRUE(WriteReportPdf(answers.shown, reference));
  answers.messageAnswer = QMessageBox::Yes;
  answers.saveAnswer = dir.filePath("printed.pdf");
  ASSERT_TRUE(Trigger(form.get(), "printAction"));
  EXPECT_EQ(answers.saveDirs, QStringList({suggested}));
  // Where it went is confirmed, as after an export.
  EXPECT_EQ(answers.messageTexts.last(),
            QString::fromUtf8("Отчет сохранен в файл %1.")
                .arg(QDir::toNativeSeparators(dir.filePath("printed.pdf"))));
  answers.saveAnswer = dir.filePath("from-preview.pdf");
  answers.printInPreview = true;
  ASSERT_TRUE(Trigger(form.get(), "previewAction"));
  EXPECT_EQ(answers.saveDirs, QStringList({suggested, suggested}));
  // A file that cannot be written is reported with the reason.
  answers.printInPreview = false;
  answers.saveAnswer = dir.filePath("missing/r.pdf");
  ASSERT_TRUE(Trigger(form.get(), "printAction"));
  EXPECT_EQ(answers.messageTexts.last(),
            QString::fromUtf8("Не удалось записать файл %1: нет такой папки.")
                .arg(QDir::toNativeSeparators(dir.filePath("missing/r.pdf"))));
  auto words = [](const QString& path) {
    QStringList out;
    for (const PdfWord& w : ReadPdfText(path).words) out << w.text;
    return out;
  };
  const QStringList expected = words(reference);
  ASSERT_TRUE(expected.contains(QString::fromUtf8("ЗЕН-ТЛ7")));
  EXPECT_EQ(words(dir.filePath("printed.pdf")), expected);
  EXPECT_EQ(words(dir.filePath("from-preview.pdf")), expected);
  EXPECT_EQ(answers.others, 0);  // no print dialog
}

TEST_F(ReportCommands, NothingWithoutTable) {
  // The menu's commands are disabled; the context menu's print does nothing.
  EXPECT_FALSE(ActionOf(form.get(), "previewAction")->isEnabled());
  EXPECT_FALSE(ActionOf(form.get(), "printAction")->isEnabled());
  ASSERT_TRUE(Trigger(form.get(), "printPopupAction"));
  EXPECT_EQ(answers.others + answers.previews + answers.messages, 0);
}

}  // namespace
