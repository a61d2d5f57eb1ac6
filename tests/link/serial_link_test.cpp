// TSerialLink over a real pseudo-terminal: the other end is written and read
// directly through the master descriptor.
#include "link/serial_link.h"

#include <gtest/gtest.h>
#include <termios.h>
#include <unistd.h>

#include <QByteArray>
#include <QFile>
#include <QList>

#include "simulator/sim_pty.h"
#include "support/link_ports.h"
#include "support/link_print.h"

namespace {

// The instrument's frame of 8 data bits and 2 stop bits; DTR stays off.
constexpr LineSettings kTwoStopBitsNoDtr{br9600,      db8BITS, sb2BITS, ptNONE,
                                         hfNONERTSON, sfNONE,  false};

// Runs the event loop until a link opened now, polling every `delayMs`, has
// delivered a byte written to it: the polls another link of that delay had
// due by then have run, so what it has not delivered by now it never will.
void UntilAPollHasPassed(int delayMs) {
  sim::PtyPair other;
  ASSERT_TRUE(other.Open());
  TSerialLink reference;
  reference.SetPort(pnCustom);
  reference.SetPortName(other.SlavePath());
  reference.SetLine(kTwoStopBitsNoDtr);
  reference.SetPollingDelay(delayMs);
  bool delivered = false;
  reference.OnReceiveData = [&](TSerialLink*, const char*, uint32_t) { delivered = true; };
  reference.OpenLink();
  ASSERT_TRUE(reference.IsLinkOpen());
  ASSERT_EQ(::write(other.MasterFd(), "m", 1), 1);
  ASSERT_TRUE(WaitUntil([&] { return delivered; }, 5000));
}

struct LinkOnPty : testing::Test {
  void SetUp() override {
    ASSERT_TRUE(pty.Open());
    PointPortsAt(pty.SlavePath(), QString());
    link.SetPort(pnCustom);
    link.SetPortName(QStringLiteral("\\\\.\\COM1"));
    link.SetLine(kTwoStopBitsNoDtr);
    link.OnReceiveData = [this](TSerialLink* sender, const char* data, uint32_t size) {
      EXPECT_EQ(sender, &link);
      batches << QByteArray(data, static_cast<int>(size));
    };
  }
  void WriteMaster(const QByteArray& b) {
    ASSERT_EQ(::write(pty.MasterFd(), b.constData(), b.size()), b.size());
  }
  QByteArray ReadAvailable() {
    char buf[256];
    const ssize_t n = ::read(pty.MasterFd(), buf, sizeof buf);
    return n > 0 ? QByteArray(buf, static_cast<int>(n)) : QByteArray();
  }
  QByteArray All() const {
    QByteArray all;
    for (const QByteArray& b : batches) all += b;
    return all;
  }

  sim::PtyPair pty;
  TSerialLink link;
  QList<QByteArray> batches;
};

TEST(SerialLinkSettings, DefaultsAndClamping) {
  TSerialLink link;
  EXPECT_EQ(link.Port(), pnCOM2);
  EXPECT_EQ(link.PortName(), QStringLiteral("\\\\.\\COM2"));
  EXPECT_EQ(link.Line().baudRate, br9600);
  EXPECT_EQ(link.Line().dataBits, db8BITS);
  EXPECT_EQ(link.Line().stopBits, sb1BITS);
  EXPECT_EQ(link.Line().parity, ptNONE);
  EXPECT_EQ(link.Line().hwFlow, hfNONERTSON);
  EXPECT_EQ(link.Line().swFlow, sfNONE);
  EXPECT_TRUE(link.Line().dtrOnOpen);
  EXPECT_EQ(link.OutputTimeout, 500);
  EXPECT_EQ(link.InBufSize(), 2048);
  EXPECT_EQ(link.PollingDelay(), 50);
  struct Case {
    int set, in, poll;
  };
  const Case cases[] = {{0, 128, 5},        {127, 128, 127}, {4096, 4096, 4096},
                        {9000, 8192, 9000}, {-5, 128, 5},    {6, 128, 6}};
  for (const Case& c : cases) {
    link.SetInBufSize(c.set);
    link.SetOutBufSize(c.set);
    link.SetPollingDelay(c.set);
    EXPECT_EQ(link.InBufSize(), c.in) << c.set;
    EXPECT_EQ(link.OutBufSize(), c.in) << c.set;
    EXPECT_EQ(link.PollingDelay(), c.poll) << c.set;
  }
  link.SetPort(pnCOM1);
  EXPECT_EQ(link.PortName(), QStringLiteral("\\\\.\\COM1"));
}

TEST(SerialLinkSettings, MissingPortStaysClosedSilently) {
  PointPortsAt(QStringLiteral("/nonexistent/tty-klt3"), QString());
  TSerialLink link;
  link.SetPortName(QStringLiteral("\\\\.\\COM1"));
  int events = 0;
  link.OnReceiveData = [&](TSerialLink*, const char*, uint32_t) { ++events; };
  link.OpenLink();
  EXPECT_FALSE(link.IsLinkOpen());
  EXPECT_FALSE(link.SendByte('V'));
  UntilAPollHasPassed(link.PollingDelay());
  EXPECT_EQ(events, 0);
  link.CloseLink();
  EXPECT_FALSE(link.IsLinkOpen());
}

TEST_F(LinkOnPty, OpensWithTheLineSettingsAndPurgesOldInput) {
  WriteMaster("stale");
  link.OpenLink();
  ASSERT_TRUE(link.IsLinkOpen()) << "a device without modem lines must still open";
  // The settings took effect although DTR and RTS cannot be set on a pty.
  termios t{};
  ASSERT_EQ(::tcgetattr(pty.SlaveFd(), &t), 0);
  EXPECT_EQ(::cfgetospeed(&t), speed_t(B9600));
  EXPECT_EQ(::cfgetispeed(&t), speed_t(B9600));
  EXPECT_EQ(t.c_cflag & CSIZE, tcflag_t(CS8));
  EXPECT_TRUE(t.c_cflag & CSTOPB);
  EXPECT_FALSE(t.c_cflag & PARENB);
  EXPECT_FALSE(t.c_cflag & CRTSCTS);
  EXPECT_FALSE(t.c_iflag & (IXON | IXOFF));
  EXPECT_FALSE(t.c_lflag & (ICANON | ECHO));
  // Input after the open arrives; what came before it would arrive first.
  WriteMaster("M");
  ASSERT_TRUE(WaitUntil([&] { return All().contains('M'); }, 3000));
  EXPECT_EQ(All(), "M") << "input from before the open was purged";
}

TEST_F(LinkOnPty, LineSettingsGivenWhileOpenTakeEffectAtOnce) {
  link.OpenLink();
  ASSERT_TRUE(link.IsLinkOpen());
  // What a pty keeps of them: it holds its characters at 8 bits without
  // parity whatever it is told.
  LineSettings line = link.Line();
  line.baudRate = br4800;
  line.stopBits = sb1BITS;
  line.swFlow = sfXONXOFF;
  EXPECT_TRUE(link.SetLine(line));
  EXPECT_EQ(link.Line().baudRate, br4800);
  termios t{};
  ASSERT_EQ(::tcgetattr(pty.SlaveFd(), &t), 0);
  EXPECT_EQ(::cfgetospeed(&t), speed_t(B4800));
  EXPECT_EQ(::cfgetispeed(&t), speed_t(B4800));
  EXPECT_FALSE(t.c_cflag & CSTOPB);
  EXPECT_EQ(t.c_iflag & (IXON | IXOFF), tcflag_t(IXON | IXOFF));
  // The port goes on working with them.
  WriteMaster("M");
  ASSERT_TRUE(WaitUntil([&] { return All().contains('M'); }, 3000));
}

TEST_F(LinkOnPty, BytesBetweenPollsArriveAsOneBatchInOrder) {
  link.SetPollingDelay(200);
  link.OpenLink();
  ASSERT_TRUE(link.IsLinkOpen());
  WriteMaster("S1026");
  WriteMaster("000000P");
  ASSERT_TRUE(WaitUntil([&] { return !batches.isEmpty(); }, 3000));
  EXPECT_EQ(batches, QList<QByteArray>({"S1026000000P"}));
}

TEST_F(LinkOnPty, BatchesHoldAtMostInBufSizeAndKeepTheRestQueued) {
  link.SetInBufSize(128);
  link.SetPollingDelay(100);
  link.OpenLink();
  QByteArray data;
  for (int i = 0; i < 300; ++i) data.append(static_cast<char>(0x30 + i % 16));
  WriteMaster(data);
  ASSERT_TRUE(WaitUntil([&] { return All().size() >= 300; }, 5000));
  EXPECT_EQ(All(), data);
  for (const QByteArray& b : batches) EXPECT_LE(b.size(), 128);
  EXPECT_GE(batches.size(), 3);
}

TEST_F(LinkOnPty, SendByteReachesTheOtherEnd) {
  link.OpenLink();
  EXPECT_TRUE(link.SendByte('V'));
  EXPECT_TRUE(link.SendByte('N'));
  QByteArray got;
  WaitUntil(
      [&] {
        got += ReadAvailable();
        return got.size() >= 2;
      },
      2000);
  EXPECT_EQ(got, "VN");
}

TEST_F(LinkOnPty, SendByteGivesUpWhileTheOutputStaysFullAndRecovers) {
  link.SetOutBufSize(128);
  link.OutputTimeout = 50;
  link.OpenLink();
  ASSERT_TRUE(link.IsLinkOpen());
  // Nobody reads the other end: the driver's queue fills, then the link's.
  int sent = 0;
  while (sent < 2000000 && link.SendByte('x')) ++sent;
  ASSERT_LT(sent, 2000000) << "the output never filled";
  EXPECT_GT(sent, 0);
  EXPECT_FALSE(link.SendByte('x'));
  // Once the other end reads, bytes go out again.
  char buf[4096];
  WaitUntil([&] { return ::read(pty.MasterFd(), buf, sizeof buf) <= 0; }, 5000);
  EXPECT_TRUE(WaitUntil([&] { return link.SendByte('y'); }, 5000));
}

TEST_F(LinkOnPty, NothingIsDeliveredAfterCloseLink) {
  link.OpenLink();
  WriteMaster("abc");
  link.CloseLink();
  link.CloseLink();  // harmless
  EXPECT_FALSE(link.IsLinkOpen());
  UntilAPollHasPassed(link.PollingDelay());
  EXPECT_TRUE(batches.isEmpty());
  EXPECT_FALSE(link.SendByte('V'));

  // Closing from inside the handler stops delivery at once.
  link.OnReceiveData = [this](TSerialLink* sender, const char* data, uint32_t size) {
    batches << QByteArray(data, static_cast<int>(size));
    sender->CloseLink();
  };
  link.SetInBufSize(128);
  link.OpenLink();
  WriteMaster(QByteArray(400, '1'));
  ASSERT_TRUE(WaitUntil([&] { return !batches.isEmpty(); }, 3000));
  UntilAPollHasPassed(link.PollingDelay());
  EXPECT_EQ(batches.size(), 1);
}

TEST_F(LinkOnPty, LostLineDeliversWhatCameThenClosesAndSaysSoOnce) {
  int lost = 0;
  link.OnLineLost = [&](TSerialLink* sender) {
    EXPECT_EQ(sender, &link);
    EXPECT_FALSE(link.IsLinkOpen()) << "closed before it is reported";
    EXPECT_EQ(All(), "S10") << "what came before the loss first";
    ++lost;
  };
  link.SetPollingDelay(200);
  link.OpenLink();
  ASSERT_TRUE(link.IsLinkOpen());
  WriteMaster("S10");
  // The port has taken the bytes up, its next poll is not due yet.
  UntilAPollHasPassed(5);
  pty.Close();  // the other end goes: a hang-up, as when the cable is pulled
  ASSERT_TRUE(WaitUntil([&] { return lost > 0; }, 5000));
  UntilAPollHasPassed(link.PollingDelay());
  EXPECT_EQ(lost, 1);
  EXPECT_FALSE(link.IsLinkOpen());
  EXPECT_FALSE(link.SendByte('V'));

  // A port that opens again after a loss reports nothing of the old one.
  ASSERT_TRUE(pty.Open());
  PointPortsAt(pty.SlavePath(), QString());
  batches.clear();
  link.OpenLink();
  ASSERT_TRUE(link.IsLinkOpen());
  WriteMaster("x");
  ASSERT_TRUE(WaitUntil([&] { return !batches.isEmpty(); }, 3000));
  UntilAPollHasPassed(link.PollingDelay());
  EXPECT_EQ(lost, 1);
  EXPECT_TRUE(link.IsLinkOpen());
}

TEST_F(LinkOnPty, PortNameAndOpenAreIgnoredWhileOpen) {
  sim::PtyPair other;
  ASSERT_TRUE(other.Open());
  PointPortsAt(pty.SlavePath(), other.SlavePath());
  link.OpenLink();
  ASSERT_TRUE(link.IsLinkOpen());
  link.SetPortName(QStringLiteral("\\\\.\\COM2"));
  EXPECT_EQ(link.PortName(), QStringLiteral("\\\\.\\COM1"));
  link.OpenLink();  // still the first port
  WriteMaster("x");
  ASSERT_TRUE(WaitUntil([&] { return !batches.isEmpty(); }, 2000));
  EXPECT_EQ(All(), "x");

  link.CloseLink();
  link.SetPortName(QStringLiteral("\\\\.\\COM2"));
  link.OpenLink();
  ASSERT_TRUE(link.IsLinkOpen());
  link.SendByte('V');
  char c = 0;
  ASSERT_TRUE(WaitUntil([&] { return ::read(other.MasterFd(), &c, 1) == 1; }, 2000));
  EXPECT_EQ(c, 'V');
}

TEST_F(LinkOnPty, SecondOpenOfTheSamePortFails) {
  link.OpenLink();
  ASSERT_TRUE(link.IsLinkOpen());
  TSerialLink second;
  second.SetPortName(QStringLiteral("\\\\.\\COM1"));
  second.OpenLink();
  EXPECT_FALSE(second.IsLinkOpen());
  link.CloseLink();
  second.OpenLink();
  EXPECT_TRUE(second.IsLinkOpen());
}

}  // namespace
