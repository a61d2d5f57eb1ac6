// "Порт прибора": the list of detected ports over the port-list seam, the
// choice kept in the settings, the refresh button.
#include <gtest/gtest.h>

#include <QPushButton>
#include <QTreeView>

#include "link/ui/port_dialog.h"
#include "platform/ports.h"
#include "support/link_port_source.h"
#include "support/link_ports.h"
#include "support/link_print.h"
#include "support/test_env.h"

namespace {

struct PortDialogTest : testing::Test {
  void SetUp() override {
    ClearSettings();
    SerialPortEntry adapter;
    adapter.device = "/dev/ttyUSB0";
    adapter.stableName = "/dev/serial/by-id/usb-Maker_Adapter_A1-if00-port0";
    adapter.description = "USB-Serial Controller";
    adapter.manufacturer = "Maker";
    adapter.serialNumber = "A1";
    adapter.usb = true;
    ports.ports.push_back(adapter);
    ports.Add("/dev/ttyS0", "");
  }
  // Each row's cells, joined by "|".
  static QStringList Rows(const PortDialog& dialog) {
    const PortListModel& m = dialog.model();
    QStringList rows;
    for (int r = 0; r < m.rowCount(); ++r) {
      QStringList cells;
      for (int c = 0; c < m.columnCount(); ++c) cells << m.index(r, c).data().toString();
      rows << cells.join('|');
    }
    return rows;
  }
  static void Select(PortDialog& dialog, int row) {
    auto* view = dialog.findChild<QTreeView*>("portView");
    view->setCurrentIndex(view->model()->index(row, 0));
  }
  FakePortSource ports;
};

TEST_F(PortDialogTest, ListsThePortsAndKeepsTheChosenOneByItsStableName) {
  PortDialog dialog;
  EXPECT_EQ(dialog.windowTitle(), "Порт прибора");
  QStringList headers;
  for (int c = 0; c < dialog.model().columnCount(); ++c)
    headers << dialog.model().headerData(c, Qt::Horizontal).toString();
  EXPECT_EQ(headers, QStringList({"Порт", "Описание", "Изготовитель", "Серийный номер",
                                  "Постоянное имя"}));
  const QStringList rows = Rows(dialog);
  ASSERT_EQ(rows.size(), 3);
  EXPECT_TRUE(rows[0].startsWith("Автоматически|"));
  EXPECT_EQ(rows[1],
            "/dev/ttyUSB0|USB-Serial Controller|Maker|A1|"
            "/dev/serial/by-id/usb-Maker_Adapter_A1-if00-port0");
  EXPECT_EQ(rows[2], "/dev/ttyS0||||");
  // Nothing chosen yet: the automatic search is selected.
  EXPECT_EQ(dialog.SelectedChoice(), QString());

  Select(dialog, 1);
  dialog.findChild<QPushButton*>("okButton")->click();
  EXPECT_EQ(dialog.result(), QDialog::Accepted);
  EXPECT_EQ(ChosenPort(), "/dev/serial/by-id/usb-Maker_Adapter_A1-if00-port0");

  // Shown again, the dialog stands on the choice; "Автоматически" clears it.
  PortDialog again;
  EXPECT_EQ(again.SelectedChoice(), "/dev/serial/by-id/usb-Maker_Adapter_A1-if00-port0");
  Select(again, 0);
  again.findChild<QPushButton*>("okButton")->click();
  EXPECT_EQ(ChosenPort(), QString());

  // "Отмена" keeps what was stored.
  ASSERT_TRUE(StoreChosenPort("/dev/ttyS0"));
  PortDialog cancelled;
  EXPECT_EQ(cancelled.SelectedChoice(), "/dev/ttyS0");
  Select(cancelled, 1);
  cancelled.findChild<QPushButton*>("cancelButton")->click();
  EXPECT_EQ(ChosenPort(), "/dev/ttyS0");
}

TEST_F(PortDialogTest, AChoiceNotListedNowStaysVisible) {
  PointPortsAt("/dev/ttyS3", QString());
  struct Case {
    QString stored;
    QString row;
  };
  const Case cases[] = {
      {"/dev/ttyUSB5", "/dev/ttyUSB5|сейчас не найден|||"},
      {"COM1", "COM1|порт программы, ведет к /dev/ttyS3|||"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.stored.toStdString());
    ASSERT_TRUE(StoreChosenPort(c.stored));
    PortDialog dialog;
    const QStringList rows = Rows(dialog);
    ASSERT_EQ(rows.size(), 4);
    EXPECT_EQ(rows[3], c.row);
    EXPECT_EQ(dialog.SelectedChoice(), c.stored);
    dialog.accept();
    EXPECT_EQ(ChosenPort(), c.stored);
  }
}

TEST_F(PortDialogTest, RefreshShowsAPortPluggedInMeanwhileAndKeepsTheSelection) {
  PortDialog dialog;
  Select(dialog, 2);
  ports.Add("/dev/ttyACM0", "Modem", true);
  dialog.findChild<QPushButton*>("refreshButton")->click();
  const QStringList rows = Rows(dialog);
  ASSERT_EQ(rows.size(), 4);
  EXPECT_EQ(rows[3], "/dev/ttyACM0|Modem|||");
  EXPECT_EQ(dialog.SelectedChoice(), "/dev/ttyS0");
}

}  // namespace
