// The ports a download tries and what it says about them: the search order
// over real files and links standing for devices, stable names, the
// classification of a failed open, and refusals made for real on
// pseudo-terminals where a test can make them.
#include "link/serial_ports.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "link/serial_link.h"
#include "simulator/sim_pty.h"
#include "support/link_port_source.h"
#include "support/link_ports.h"
#include "support/link_print.h"

namespace {

QStringList Names(const std::vector<PortCandidate>& ports) {
  QStringList out;
  for (const PortCandidate& p : ports) out << p.name;
  return out;
}
QStringList Labels(const std::vector<PortCandidate>& ports) {
  QStringList out;
  for (const PortCandidate& p : ports) out << p.label;
  return out;
}

struct DeviceFolder : testing::Test {
  void SetUp() override {
    ASSERT_TRUE(dir.isValid());
    ASSERT_TRUE(QDir(dir.path()).mkdir("by-id"));
    for (const char* name : {"ttyS0", "ttyS1", "ttyS4", "ttyUSB0", "ttyACM0"}) {
      QFile f(Dev(name));
      ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    }
    ASSERT_TRUE(QFile::link(Dev("ttyUSB0"), ById("usb-Maker_Adapter_A1-if00-port0")));
  }
  QString Dev(const QString& name) const { return dir.filePath(name); }
  QString ById(const QString& name) const { return dir.filePath("by-id/" + name); }
  SerialPortEntry Entry(const QString& name, const QString& description, bool usb) const {
    SerialPortEntry e;
    e.device = Dev(name);
    e.description = description;
    e.usb = usb;
    e.stableName = StableNameOf(e.device, dir.filePath("by-id"));
    return e;
  }
  QTemporaryDir dir;
};

TEST_F(DeviceFolder, StableNameIsTheByIdLinkToTheDevice) {
  EXPECT_EQ(StableNameOf(Dev("ttyUSB0"), dir.filePath("by-id")),
            ById("usb-Maker_Adapter_A1-if00-port0"));
  // Through the link itself too; a device without a link has none.
  EXPECT_EQ(StableNameOf(ById("usb-Maker_Adapter_A1-if00-port0"), dir.filePath("by-id")),
            ById("usb-Maker_Adapter_A1-if00-port0"));
  EXPECT_EQ(StableNameOf(Dev("ttyS0"), dir.filePath("by-id")), QString());
  EXPECT_EQ(StableNameOf(Dev("ttyACM0"), dir.filePath("missing")), QString());
  EXPECT_EQ(Entry("ttyUSB0", "", true).PreferredName(), ById("usb-Maker_Adapter_A1-if00-port0"));
  EXPECT_EQ(Entry("ttyS4", "", false).PreferredName(), Dev("ttyS4"));
}

TEST_F(DeviceFolder, SearchOrderRememberedThenCom1Com2ThenUsbFirstEachDeviceOnce) {
  PointPortsAt(Dev("ttyS0"), Dev("ttyS1"));
  const std::vector<SerialPortEntry> listed = {
      Entry("ttyS0", "", false), Entry("ttyS1", "", false), Entry("ttyS4", "", false),
      Entry("ttyUSB0", "USB-Serial Controller", true), Entry("ttyACM0", "", true)};
  const QString com1 = QStringLiteral("\\\\.\\COM1");
  const QString com2 = QStringLiteral("\\\\.\\COM2");
  struct Case {
    const char* name;
    QString remembered;
    QStringList names;
  };
  const Case cases[] = {
      {"nothing remembered", {}, {com1, com2, Dev("ttyUSB0"), Dev("ttyACM0"), Dev("ttyS4")}},
      // The port that answered last goes first and is not tried again, also
      // under its stable name.
      {"a USB adapter by its stable name",
       ById("usb-Maker_Adapter_A1-if00-port0"),
       {ById("usb-Maker_Adapter_A1-if00-port0"), com1, com2, Dev("ttyACM0"), Dev("ttyS4")}},
      {"COM2's device", Dev("ttyS1"), {Dev("ttyS1"), com1, Dev("ttyUSB0"), Dev("ttyACM0"), Dev("ttyS4")}},
      {"a port gone since", Dev("ttyUSB7"),
       {Dev("ttyUSB7"), com1, com2, Dev("ttyUSB0"), Dev("ttyACM0"), Dev("ttyS4")}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(Names(SearchOrder(c.remembered, listed)), c.names);
  }
  const std::vector<PortCandidate> order = SearchOrder(QString(), listed);
  EXPECT_EQ(Labels(order),
            QStringList({"COM1 (" + Dev("ttyS0") + ")", "COM2 (" + Dev("ttyS1") + ")",
                         Dev("ttyUSB0") + " (USB-Serial Controller)", Dev("ttyACM0"), Dev("ttyS4")}));
  // Remembered under the stable name where there is one.
  EXPECT_EQ(order[2].remember, ById("usb-Maker_Adapter_A1-if00-port0"));
  EXPECT_EQ(order[0].remember, Dev("ttyS0"));
  // An explicit port is tried twice; "COM2" is the program's port.
  EXPECT_EQ(Names(FixedOrder("COM2", listed)), QStringList({com2, com2}));
  EXPECT_EQ(Names(FixedOrder(Dev("ttyS4"), listed)), QStringList({Dev("ttyS4"), Dev("ttyS4")}));
}

TEST(SerialPortList, EnvironmentReplacesTheSystemsList) {
  const QByteArray before = qgetenv("KLT3_SERIAL_PORTS");
  qputenv("KLT3_SERIAL_PORTS", "/dev/pts/7:/dev/ttyUSB3::/dev/ttyS9");
  const std::vector<SerialPortEntry> listed = SerialPorts().List();
  qputenv("KLT3_SERIAL_PORTS", before);
  ASSERT_EQ(listed.size(), 3u);
  EXPECT_EQ(listed[0].device, "/dev/pts/7");
  EXPECT_FALSE(listed[0].usb);
  EXPECT_EQ(listed[1].device, "/dev/ttyUSB3");
  EXPECT_TRUE(listed[1].usb);
  EXPECT_EQ(listed[2].device, "/dev/ttyS9");
  // The test main leaves the list empty: no port of this machine is asked.
  EXPECT_TRUE(SerialPorts().List().empty());
}

TEST(SerialPortOpen, QSerialPortErrorsInTheOperatorsTerms) {
  struct Case {
    QSerialPort::SerialPortError error;
    bool mayReadWrite;
    PortOpenError expected;
  };
  const Case cases[] = {
      {QSerialPort::PermissionError, false, PortOpenError::PermissionDenied},
      // The user may open the file: someone else holds the device.
      {QSerialPort::PermissionError, true, PortOpenError::Busy},
      {QSerialPort::OpenError, true, PortOpenError::Busy},
      {QSerialPort::DeviceNotFoundError, true, PortOpenError::NotFound},
      {QSerialPort::ResourceError, true, PortOpenError::Other},
      {QSerialPort::UnsupportedOperationError, false, PortOpenError::Other},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(int(c.error));
    EXPECT_EQ(ClassifyOpenFailure(c.error, c.mayReadWrite), c.expected);
  }
  const QString permission = PortAdvice(PortOpenError::PermissionDenied, "/dev/ttyUSB0");
  EXPECT_TRUE(permission.startsWith("Нет доступа к порту /dev/ttyUSB0."));
  EXPECT_TRUE(permission.contains("группы dialout"));
  EXPECT_TRUE(permission.contains("\n    sudo usermod -aG dialout $USER\n"));
  EXPECT_TRUE(PortAdvice(PortOpenError::Busy, "/dev/ttyACM0")
                  .startsWith("Порт /dev/ttyACM0 занят другой программой."));
  EXPECT_EQ(PortAdvice(PortOpenError::None, "/dev/ttyS0"), QString());
  EXPECT_EQ(PortAdvice(PortOpenError::NotFound, "/dev/ttyS0"), QString());
}

TEST(SerialPortOpen, EachOpenSaysWhyItFailed) {
  sim::PtyPair pty;
  ASSERT_TRUE(pty.Open());
  FakePortSource ports;
  TSerialLink holder;
  holder.SetPortName(pty.SlavePath());
  holder.OpenLink();
  ASSERT_TRUE(holder.IsLinkOpen());
  EXPECT_EQ(holder.LastOpenError(), PortOpenError::None);

  TSerialLink link;
  // Held by another open: refused by our exclusive lock, for real.
  link.SetPortName(pty.SlavePath());
  link.OpenLink();
  EXPECT_FALSE(link.IsLinkOpen());
  EXPECT_EQ(link.LastOpenError(), PortOpenError::Busy);
  // No such device.
  link.SetPortName("/nonexistent/ttyUSB9");
  link.OpenLink();
  EXPECT_EQ(link.LastOpenError(), PortOpenError::NotFound);
  // Refused by the system: root opens every file, so the seam says it.
  sim::PtyPair other;
  ASSERT_TRUE(other.Open());
  ports.refuse[other.SlavePath()] = PortOpenError::PermissionDenied;
  link.SetPortName(other.SlavePath());
  link.OpenLink();
  EXPECT_FALSE(link.IsLinkOpen());
  EXPECT_EQ(link.LastOpenError(), PortOpenError::PermissionDenied);
  // Once free, the same link opens and the reason is gone.
  holder.CloseLink();
  link.SetPortName(pty.SlavePath());
  link.OpenLink();
  EXPECT_TRUE(link.IsLinkOpen());
  EXPECT_EQ(link.LastOpenError(), PortOpenError::None);
}

}  // namespace
