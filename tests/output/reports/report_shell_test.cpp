// The main window's preview and print commands over an opened table file.
#include <gtest/gtest.h>

#include <QTabWidget>
#include <QTemporaryDir>

#include "link/device_data.h"
#include "output/reports/report_fixtures.h"
#include "output/reports/report_windows.h"
#include "platform/dialogs.h"
#include "shell/main_window.h"
#include "support/store_fixture.h"
#include "support/test_env.h"

namespace {

// Keeps what the preview was asked to show; any other dialog is cancelled.
class Answers : public DialogSeam {
 public:
  int previews = 0, others = 0, messages = 0;
  PreparedReport shown;
  int Exec(QDialog* dialog) override {
    if (auto* preview = qobject_cast<ReportPreview*>(dialog)) {
      ++previews;
      shown = preview->report();
    } else {
      ++others;
    }
    return QDialog::Rejected;
  }
  QMessageBox::StandardButton Message(QWidget*, QMessageBox::Icon, const QString&, const QString&,
                                      QMessageBox::StandardButtons) override {
    ++messages;
    return QMessageBox::No;
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
    form = std::make_unique<TForm1>();
  }
  void TearDown() override {
    form->TableModified = false;
    form.reset();
    SetDialogs(nullptr);
  }
  // Plate rows of an instrument of `deviceType` first, then series 7 and 8.
  void OpenTable(int deviceType) {
    std::vector<StoreRow> rows;
    for (int n = 1; n <= 3; ++n) {
      StoreRow row = PlateRow(n, 4321, 12.5, 1.5);
      row[3].second = int64_t(deviceType);
      rows.push_back(row);
    }
    for (int serial : {7, 8})
      for (int n = 1; n <= 6; ++n) rows.push_back(WaterRow(n, serial, 0.2 * n, "B6"));
    MeasurementTable t;
    const QString path = MakeStoreTable(t, dir, rows);
    t.Close();
    form->Open_DB(path);
    ASSERT_TRUE(form->TableOpen);
  }
  void ShowTab(int index) {
    form->PageControl1->setCurrentIndex(index);
    ASSERT_EQ(form->Table.Filter(), index == 0 ? "NB_TYPE=0" : "NB_TYPE=1");
  }

  QTemporaryDir dir;
  Answers answers;
  std::unique_ptr<TForm1> form;
};

TEST_F(ReportCommands, PreviewTemplateByTabAndDeviceType) {
  struct Case {
    int deviceType, tab;
    const char* report;
    const char* title;
  } cases[] = {
      {13, 0, "Report3", "ЗЕН-ТЛ7  № 4321"}, {16, 0, "Report2", "ДК-ТЛ7  № 4321"},
      {14, 0, "Report2", "ДК-ТЛ7  № 4321"},  {13, 1, "Report1", "ФИР-ТЛ7"},
      {16, 1, "Report1", "ФИР-ТЛ7"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.deviceType * 10 + c.tab);
    OpenTable(c.deviceType);
    ShowTab(c.tab);
    const int before = answers.previews;
    form->N8Click();
    ASSERT_EQ(answers.previews, before + 1);
    EXPECT_EQ(answers.shown.layout->name, QLatin1String(c.report));
    EXPECT_EQ(answers.shown.pages[0].boxes[0].text, QString::fromUtf8(c.title));
    EXPECT_EQ(Column(answers.shown, 1).size(), c.tab == 0 ? 3 : 12);
    form->Close_DB();
  }
  EXPECT_EQ(answers.messages, 0);
}

TEST_F(ReportCommands, SelectedSeriesPrintsAndCursorEndsOnItsLastRow) {
  OpenTable(16);
  ShowTab(1);
  // What picking series 8 in the series list leaves in force.
  form->Table.SetFilter(QStringLiteral("SERIAL=8"));
  form->Table.Refresh();
  form->Table.First();
  form->N8Click();
  ASSERT_EQ(answers.previews, 1);
  EXPECT_EQ(Column(answers.shown, 0), QStringList(6, QStringLiteral("8")));
  EXPECT_EQ(Column(answers.shown, 1), QStringList({"1", "2", "3", "4", "5", "6"}));
  EXPECT_EQ(form->Table.CurrentIndex(), 5);
}

TEST_F(ReportCommands, PrintWithoutPrinterShowsNothing) {
  if (ReportPrintersInstalled()) GTEST_SKIP() << "this machine has a printer";
  OpenTable(13);
  ShowTab(0);
  for (void (TForm1::*command)() : {&TForm1::N9Click, &TForm1::N22Click}) {
    form->Table.First();
    (form.get()->*command)();
    EXPECT_EQ(form->Table.CurrentIndex(), 2);  // the report was prepared
  }
  EXPECT_EQ(answers.others + answers.previews + answers.messages, 0);
}

TEST_F(ReportCommands, NothingWithoutTable) {
  form->N8Click();
  form->N9Click();
  form->N22Click();
  EXPECT_EQ(answers.others + answers.previews + answers.messages, 0);
}

}  // namespace
