// The main window's preview and print commands over an opened table file.
#include <gtest/gtest.h>

#include <QTabWidget>
#include <QTemporaryDir>

#include "output/reports/report_fixtures.h"
#include "output/reports/report_windows.h"
#include "platform/dialogs.h"
#include "support/recording_dialogs.h"
#include "shell/main_window.h"
#include "support/store_fixture.h"
#include "support/test_env.h"
#include "support/window_driver.h"

namespace {

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
    // Keeps what the preview was asked to show; any other dialog is cancelled.
    answers.exec = [this](QDialog* dialog) {
      if (auto* preview = qobject_cast<ReportPreview*>(dialog)) {
        ++previews;
        shown = preview->report();
      } else {
        ++others;
      }
      return int(QDialog::Rejected);
    };
    SetDialogs(&answers);
    form = std::make_unique<MainWindow>();
  }
  void TearDown() override {
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
    answers.openNames = {path};
    ASSERT_TRUE(Trigger(form.get(), "openTableAction"));
    ASSERT_TRUE(form->Session().InUse());
  }
  void ShowTab(int index) {
    // Away and back: the tab shows every row of its kind.
    ViewTabs(form.get())->setCurrentIndex(1 - index);
    ViewTabs(form.get())->setCurrentIndex(index);
    ASSERT_EQ(form->Session().Table().Filter(), index == 0 ? "NB_TYPE=0" : "NB_TYPE=1");
  }

  QTemporaryDir dir;
  RecordingDialogs answers;
  int previews = 0, others = 0;
  PreparedReport shown;
  std::unique_ptr<MainWindow> form;
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
    const int before = previews;
    ASSERT_TRUE(Trigger(form.get(), "previewAction"));
    ASSERT_EQ(previews, before + 1);
    EXPECT_EQ(shown.layout->name, QLatin1String(c.report));
    EXPECT_EQ(shown.pages[0].boxes[0].text, QString::fromUtf8(c.title));
    EXPECT_EQ(Column(shown, 1).size(), c.tab == 0 ? 3 : 12);
    ASSERT_TRUE(Trigger(form.get(), "closeTableAction"));
  }
  EXPECT_TRUE(answers.messages.empty());
}

TEST_F(ReportCommands, SelectedSeriesPrintsAndCursorEndsOnItsLastRow) {
  OpenTable(16);
  ShowTab(1);
  ClickSeries(form.get(), 1);
  ASSERT_EQ(form->Session().Table().Filter(), QStringLiteral("SERIAL=8"));
  ASSERT_TRUE(Trigger(form.get(), "previewAction"));
  ASSERT_EQ(previews, 1);
  EXPECT_EQ(Column(shown, 0), QStringList(6, QStringLiteral("8")));
  EXPECT_EQ(Column(shown, 1), QStringList({"1", "2", "3", "4", "5", "6"}));
  EXPECT_EQ(form->Session().Table().CurrentIndex(), 5);
}

TEST_F(ReportCommands, PrintWithoutPrinterShowsNothing) {
  if (ReportPrintersInstalled()) GTEST_SKIP() << "this machine has a printer";
  OpenTable(13);
  ShowTab(0);
  for (const char* command : {"printAction", "printPopupAction"}) {
    SCOPED_TRACE(command);
    DataGrid* grid = PlateGrid(form.get());
    grid->view()->setCurrentIndex(grid->model()->index(0, 0));
    ASSERT_EQ(form->Session().Table().CurrentIndex(), 0);
    ASSERT_TRUE(Trigger(form.get(), command));
    EXPECT_EQ(form->Session().Table().CurrentIndex(), 2);  // the report was prepared
  }
  EXPECT_EQ(others + previews + int(answers.messages.size()), 0);
}

TEST_F(ReportCommands, NothingWithoutTable) {
  // The menu's commands are disabled; the context menu's print does nothing.
  EXPECT_FALSE(ActionOf(form.get(), "previewAction")->isEnabled());
  EXPECT_FALSE(ActionOf(form.get(), "printAction")->isEnabled());
  ASSERT_TRUE(Trigger(form.get(), "printPopupAction"));
  EXPECT_EQ(others + previews + int(answers.messages.size()), 0);
}

}  // namespace
