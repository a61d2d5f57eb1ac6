#include "simulator/sim_pty.h"

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace sim {

namespace {
bool MakeRaw(int fd, bool lineSettings) {
  termios t{};
  if (::tcgetattr(fd, &t) != 0) return false;
  ::cfmakeraw(&t);
  if (lineSettings) {
    ::cfsetispeed(&t, B9600);
    ::cfsetospeed(&t, B9600);
    t.c_cflag |= CSTOPB | CLOCAL | CREAD;
    t.c_cflag &= ~(PARENB | CRTSCTS);
  }
  t.c_cc[VMIN] = 0;
  t.c_cc[VTIME] = 0;
  return ::tcsetattr(fd, TCSANOW, &t) == 0;
}

QString Errno(const char* what) {
  return QStringLiteral("%1: %2").arg(QLatin1String(what),
                                      QString::fromLocal8Bit(std::strerror(errno)));
}
}  // namespace

PtyPair::~PtyPair() { Close(); }

bool PtyPair::Open(QString* error) {
  Close();
  master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
  // Not inherited by a program the test starts: closing the instrument's
  // side must hang up the line for it.
  if (master_ < 0 || ::fcntl(master_, F_SETFD, FD_CLOEXEC) != 0 || ::grantpt(master_) != 0 ||
      ::unlockpt(master_) != 0) {
    if (error) *error = Errno("posix_openpt");
    Close();
    return false;
  }
  char name[128] = {};
  if (::ptsname_r(master_, name, sizeof name) != 0) {
    if (error) *error = Errno("ptsname");
    Close();
    return false;
  }
  slavePath_ = QString::fromLocal8Bit(name);
  slave_ = ::open(name, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (slave_ < 0 || !MakeRaw(slave_, false) || !MakeRaw(master_, false)) {
    if (error) *error = Errno("pseudo-terminal slave");
    Close();
    return false;
  }
  return true;
}

void PtyPair::Close() {
  if (slave_ >= 0) ::close(slave_);
  if (master_ >= 0) ::close(master_);
  slave_ = master_ = -1;
  slavePath_.clear();
}

int OpenSerialDevice(const QString& path, QString* error) {
  const int fd = ::open(path.toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
  if (fd < 0) {
    if (error) *error = Errno("open");
    return -1;
  }
  if (!MakeRaw(fd, true)) {
    if (error) *error = Errno("line settings");
    ::close(fd);
    return -1;
  }
  return fd;
}

}  // namespace sim
