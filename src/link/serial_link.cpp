#include "link/serial_link.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QSerialPort>
#include <QThread>
#include <QTimer>
#include <algorithm>

#include "platform/ports.h"

#ifndef Q_OS_WIN
#include <sys/file.h>
#include <unistd.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>

#include <cerrno>
#endif

namespace {
constexpr int kMinBuf = 128;
constexpr int kMaxBuf = 8192;
constexpr int kMinPolling = 5;

QSerialPort::BaudRate ToQt(TBaudRate b) {
  switch (b) {
    case br1200:
      return QSerialPort::Baud1200;
    case br2400:
      return QSerialPort::Baud2400;
    case br4800:
      return QSerialPort::Baud4800;
    case br9600:
      return QSerialPort::Baud9600;
    case br19200:
      return QSerialPort::Baud19200;
    case br38400:
      return QSerialPort::Baud38400;
    case br57600:
      return QSerialPort::Baud57600;
    case br115200:
      return QSerialPort::Baud115200;
  }
  return QSerialPort::Baud9600;
}

QSerialPort::DataBits ToQt(TDataBits d) {
  switch (d) {
    case db5BITS:
      return QSerialPort::Data5;
    case db6BITS:
      return QSerialPort::Data6;
    case db7BITS:
      return QSerialPort::Data7;
    case db8BITS:
      return QSerialPort::Data8;
  }
  return QSerialPort::Data8;
}

QSerialPort::StopBits ToQt(TStopBits s) {
  switch (s) {
    case sb1BITS:
      return QSerialPort::OneStop;
    case sb1HALFBITS:
      return QSerialPort::OneAndHalfStop;
    case sb2BITS:
      return QSerialPort::TwoStop;
  }
  return QSerialPort::OneStop;
}

QSerialPort::Parity ToQt(TParity p) {
  switch (p) {
    case ptNONE:
      return QSerialPort::NoParity;
    case ptODD:
      return QSerialPort::OddParity;
    case ptEVEN:
      return QSerialPort::EvenParity;
    case ptMARK:
      return QSerialPort::MarkParity;
    case ptSPACE:
      return QSerialPort::SpaceParity;
  }
  return QSerialPort::NoParity;
}

// Sets or clears one modem line. A device without modem lines (a
// pseudo-terminal, some adapters) refuses with ENOTTY or EINVAL; that alone
// is harmless, since nothing at the other end listens to the line.
bool SetModemLine(QSerialPort* port, bool dtr, bool on) {
#ifdef Q_OS_WIN
  return dtr ? port->setDataTerminalReady(on) : port->setRequestToSend(on);
#else
  int bit = dtr ? TIOCM_DTR : TIOCM_RTS;
  if (::ioctl(port->handle(), on ? TIOCMBIS : TIOCMBIC, &bit) == 0) return true;
  return errno == ENOTTY || errno == EINVAL;
#endif
}

// Errors that may mean the line itself has gone (reads or writes fail, the
// device has been removed); a full output queue is reported the same way.
bool MayBeLineLoss(QSerialPort::SerialPortError error) {
  return error == QSerialPort::ReadError || error == QSerialPort::WriteError ||
         error == QSerialPort::ResourceError;
}

// Whether the line has gone: hung up, the device removed or failing. After
// a hang-up a port reads nothing, at once and forever; left open it would
// keep a core busy.
bool LineGone(QSerialPort* port, QSerialPort::SerialPortError error) {
#ifdef Q_OS_WIN
  Q_UNUSED(port);
  return error == QSerialPort::ResourceError;
#else
  Q_UNUSED(error);
  pollfd fd{static_cast<int>(port->handle()), POLLIN, 0};
  return ::poll(&fd, 1, 0) > 0 && (fd.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
#endif
}
}  // namespace

TSerialLink::TSerialLink(QObject* parent)
    : QObject(parent), serial_(new QSerialPort(this)), timer_(new QTimer(this)) {
  timer_->setTimerType(Qt::PreciseTimer);
  connect(timer_, &QTimer::timeout, this, &TSerialLink::Poll);
  connect(serial_, &QSerialPort::errorOccurred, this, &TSerialLink::PortError);
}

TSerialLink::~TSerialLink() { CloseLink(); }

void TSerialLink::SetPort(TPortNumber p) {
  if (IsLinkOpen()) return;
  port_ = p;
  if (p != pnCustom) portName_ = QStringLiteral("\\\\.\\COM%1").arg(static_cast<int>(p));
}

void TSerialLink::SetPortName(const QString& name) {
  if (IsLinkOpen()) return;
  portName_ = name;
}

bool TSerialLink::SetLine(const LineSettings& line) {
  line_ = line;
  return !IsLinkOpen() || ApplyLineSettings();
}

void TSerialLink::SetInBufSize(int size) { inBufSize_ = std::clamp(size, kMinBuf, kMaxBuf); }
void TSerialLink::SetOutBufSize(int size) { outBufSize_ = std::clamp(size, kMinBuf, kMaxBuf); }
void TSerialLink::SetPollingDelay(int ms) { pollingDelay_ = std::max(ms, kMinPolling); }

bool TSerialLink::IsLinkOpen() const { return serial_->isOpen(); }

PortOpenError ClassifyOpenFailure(QSerialPort::SerialPortError error, bool mayReadWrite) {
  switch (error) {
    case QSerialPort::DeviceNotFoundError:
      return PortOpenError::NotFound;
    case QSerialPort::PermissionError:
      return mayReadWrite ? PortOpenError::Busy : PortOpenError::PermissionDenied;
    case QSerialPort::OpenError:
      return PortOpenError::Busy;
    default:
      return PortOpenError::Other;
  }
}

void TSerialLink::OpenLink() {
  if (IsLinkOpen()) return;
  lastOpenError_ = PortOpenError::None;
  lastOpenErrorText_.clear();
  const QString device = ResolvePortName(portName_);
  const PortOpenError refused = SerialPorts().Refusal(device);
  if (refused != PortOpenError::None) {
    lastOpenError_ = refused;
    return;
  }
#ifndef Q_OS_WIN
  if (!QFileInfo::exists(device)) {
    lastOpenError_ = PortOpenError::NotFound;
    return;
  }
#endif
  serial_->setPortName(device);
  if (!serial_->open(QIODevice::ReadWrite)) {
#ifdef Q_OS_WIN
    const bool mayReadWrite = true;
#else
    const bool mayReadWrite =
        ::access(QFile::encodeName(device).constData(), R_OK | W_OK) == 0;
#endif
    lastOpenError_ = ClassifyOpenFailure(serial_->error(), mayReadWrite);
    lastOpenErrorText_ = serial_->errorString();
    return;
  }
#ifndef Q_OS_WIN
  // For this program alone: a second open, even by a privileged user or a
  // second copy of the program, must fail.
  if (::flock(serial_->handle(), LOCK_EX | LOCK_NB) != 0) {
    serial_->close();
    lastOpenError_ = PortOpenError::Busy;
    return;
  }
#endif
  if (!ApplyLineSettings()) {
    lastOpenErrorText_ = serial_->errorString();
    serial_->close();
    lastOpenError_ = PortOpenError::Other;
    return;
  }
  serial_->clear(QSerialPort::AllDirections);
  serial_->clearError();
  readBuffer_.resize(inBufSize_);
  timer_->start(pollingDelay_);
}

bool TSerialLink::ApplyLineSettings() {
  if (!serial_->setBaudRate(ToQt(line_.baudRate)) || !serial_->setDataBits(ToQt(line_.dataBits)) ||
      !serial_->setParity(ToQt(line_.parity)) || !serial_->setStopBits(ToQt(line_.stopBits))) {
    return false;
  }
  QSerialPort::FlowControl flow = QSerialPort::NoFlowControl;
  if (line_.hwFlow == hfRTSCTS)
    flow = QSerialPort::HardwareControl;
  else if (line_.swFlow == sfXONXOFF)
    flow = QSerialPort::SoftwareControl;
  if (!serial_->setFlowControl(flow)) return false;
  if (!SetModemLine(serial_, true, line_.dtrOnOpen)) return false;
  if (line_.hwFlow == hfNONERTSON && !SetModemLine(serial_, false, true)) return false;
  return true;
}

void TSerialLink::DiscardInput() {
  if (!IsLinkOpen()) return;
  serial_->clear(QSerialPort::Input);
  // What the driver delivered to Qt's buffer already goes too.
  serial_->readAll();
}

bool TSerialLink::InputWaiting() {
  if (!IsLinkOpen()) return false;
  serial_->waitForReadyRead(0);
  return serial_->bytesAvailable() > 0;
}

void TSerialLink::CloseLink() {
  losing_ = false;
  if (!IsLinkOpen()) return;
  timer_->stop();
#ifndef Q_OS_WIN
  // Drop the terminal's exclusive mode, so that the next download can open
  // the device again while another descriptor keeps it alive.
  ::ioctl(serial_->handle(), TIOCNXCL);
#endif
  serial_->close();
}

bool TSerialLink::SendByte(uint8_t b) {
  if (!IsLinkOpen()) return false;
  const char c = static_cast<char>(b);
  QElapsedTimer sinceProgress;
  sinceProgress.start();
  for (;;) {
    if (serial_->bytesToWrite() < outBufSize_) {
      if (serial_->write(&c, 1) == 1) {
        serial_->flush();
        return true;
      }
      QThread::msleep(1);
    } else {
      const int left = OutputTimeout - static_cast<int>(sinceProgress.elapsed());
      if (left > 0 && serial_->waitForBytesWritten(left)) {
        sinceProgress.restart();
        continue;
      }
    }
    if (sinceProgress.elapsed() > OutputTimeout) return false;
  }
}

void TSerialLink::Poll() {
  if (!IsLinkOpen()) return;
  // Line errors (overrun, framing) are dropped: the frame checksum catches
  // what they damage. Only a line that has gone counts.
  const QSerialPort::SerialPortError error = serial_->error();
  serial_->clearError();
  if (LineGone(serial_, error)) {
    losing_ = true;
    LoseLine();
    return;
  }
  Deliver();
}

bool TSerialLink::Deliver() {
  // Take up what the driver holds now, not only what the event loop saw.
  serial_->waitForReadyRead(0);
  const qint64 waiting = serial_->bytesAvailable();
  if (waiting <= 0) return false;
  const qint64 want = std::min<qint64>(waiting, readBuffer_.size());
  const qint64 got = serial_->read(readBuffer_.data(), want);
  if (got <= 0) return false;
  if (OnReceiveData) {
    // A copy, so that a handler may reassign the event or close the link.
    const TReceiveDataEvent handler = OnReceiveData;
    handler(this, readBuffer_.constData(), static_cast<uint32_t>(got));
  }
  return IsLinkOpen();
}

void TSerialLink::PortError(QSerialPort::SerialPortError error) {
  if (!MayBeLineLoss(error) || losing_ || !IsLinkOpen() || !LineGone(serial_, error)) return;
  losing_ = true;
  // Not inside the port's own notification, which goes on using the port
  // after it has reported the error.
  QMetaObject::invokeMethod(this, &TSerialLink::LoseLine, Qt::QueuedConnection);
}

void TSerialLink::LoseLine() {
  // Closed (and perhaps opened again) since the loss was seen: not this line.
  if (!losing_ || !IsLinkOpen()) return;
  // What arrived before the line went still counts: the handler may have
  // all it needs from it and close the link itself.
  while (Deliver()) {
  }
  if (!IsLinkOpen()) return;
  CloseLink();
  if (OnLineLost) {
    const TLineLostEvent handler = OnLineLost;
    handler(this);
  }
}
