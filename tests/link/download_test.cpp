// Download over a real pseudo-terminal: the line settings the instrument
// needs reach the terminal, and the observer hears the download's course
// with the link closed at its end.
#include "link/download.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <termios.h>
#include <unistd.h>

#include <QStringList>

#include "simulator/sim_images.h"
#include "support/link_ports.h"
#include "support/link_print.h"
#include "support/link_pty.h"

namespace {

using namespace download_text;

class Recorder : public DownloadObserver {
 public:
  const Download* download = nullptr;
  QStringList log;
  void StatusChanged(const QString& text) override { log << "status " + text; }
  void ProgressChanged(int) override {}
  void IdentityChanged(const QString& t, const QString& v, const QString& c) override {
    log << QStringList{"identity", t, v, c}.join(' ');
  }
  void Failed(const QString& caption, const QString& text, const QString& detail) override {
    log << "failed " + caption + " | " + text + (detail.isEmpty() ? QString() : " | " + detail);
  }
  void Finished(bool ok) override {
    log << QStringLiteral("finished %1, link %2")
               .arg(ok)
               .arg(download->LinkOpen() ? "open" : "closed");
  }
};

TEST(Download, RealDownloadAppliesTheInstrumentsLineSettings) {
  sim::PtyPair pty;
  ASSERT_TRUE(pty.Open());
  // The program's own ports lead nowhere: only the fixed port can answer.
  PointPortsAt(QString(), QString());
  // Start from the opposite of every setting, so that each one must be set.
  termios before{};
  ASSERT_EQ(::tcgetattr(pty.SlaveFd(), &before), 0);
  ::cfsetispeed(&before, B4800);
  ::cfsetospeed(&before, B4800);
  before.c_cflag = (before.c_cflag & ~(CSIZE | CSTOPB)) | CS7 | PARENB | CRTSCTS;
  before.c_iflag |= IXON | IXOFF;
  ASSERT_EQ(::tcsetattr(pty.SlaveFd(), TCSANOW, &before), 0);

  Recorder rec;
  Download download(rec);
  rec.download = &download;
  download.SetFixedPort(pty.SlavePath());
  download.Start();
  ASSERT_TRUE(download.LinkOpen());
  EXPECT_TRUE(download.Active());
  EXPECT_EQ(download.PortName(), pty.SlavePath());

  const int fd = ::open(pty.SlavePath().toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
  ASSERT_GE(fd, 0) << "the slave side could not be opened beside the link";
  termios t{};
  const int got = ::tcgetattr(fd, &t);
  ::close(fd);
  ASSERT_EQ(got, 0);
  EXPECT_EQ(::cfgetispeed(&t), speed_t(B9600));
  EXPECT_EQ(::cfgetospeed(&t), speed_t(B9600));
  EXPECT_EQ(t.c_cflag & CSIZE, tcflag_t(CS8));
  EXPECT_TRUE(t.c_cflag & CSTOPB) << "two stop bits";
  EXPECT_FALSE(t.c_cflag & PARENB);
  EXPECT_FALSE(t.c_cflag & CRTSCTS);
  EXPECT_FALSE(t.c_iflag & (IXON | IXOFF));

  // The request goes out once the line has been quiet for a moment.
  char request = 0;
  EXPECT_TRUE(WaitUntil([&] { return ::read(pty.MasterFd(), &request, 1) == 1; }, 3000));
  EXPECT_EQ(request, 'V');

  // "Отмена" ends the running download with the link closed; a second one
  // has nothing left to end.
  download.Cancel();
  download.Cancel();
  EXPECT_FALSE(download.LinkOpen());
  EXPECT_FALSE(download.Active());
  EXPECT_EQ(rec.log, QStringList({"identity   ", "status " + kWaiting, "finished 0, link closed"}));
}

TEST(Download, FixedPortDownloadFillsIdentityAndImageAndFinishesClosed) {
  const sim::InstrumentConfig config = sim::PlateInstrument(sim::GeneratePlateRecords(40), 16);
  SimulatedPort port(config);
  ASSERT_TRUE(port.Ok());
  PointPortsAt(QString(), QString());
  Recorder rec;
  Download download(rec);
  rec.download = &download;
  download.SetFixedPort(port.Path());
  download.Start();
  ASSERT_TRUE(WaitUntil([&] { return !download.Active(); }, 20000));
  EXPECT_EQ(
      rec.log,
      QStringList(
          {"identity   ", "status " + kWaiting,
           QStringLiteral("identity ЗЕН-ТЛ7 (тип 16) 01.12.05 %1").arg(config.identity.recordCount),
           "status " + kReceiving, "finished 1, link closed"}));
  EXPECT_EQ(port.instrument->Received(), "VN");
  EXPECT_EQ(download.Result().identity.type, 16);
  EXPECT_EQ(download.Result().identity.serial, 1234);
  EXPECT_EQ(QByteArray(reinterpret_cast<const char*>(download.Result().image.data()),
                       config.image.size()),
            config.image);
}

}  // namespace
