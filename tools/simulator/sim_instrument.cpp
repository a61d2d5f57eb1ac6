#include "simulator/sim_instrument.h"

#include <unistd.h>

#include <QSocketNotifier>
#include <QTimer>
#include <algorithm>
#include <cerrno>

namespace sim {

InstrumentConfig WaterInstrument(const std::vector<WaterRecord>& records) {
  InstrumentConfig c;
  c.identity.kind = kWaterKind;
  c.identity.type = kWaterType;
  c.identity.recordCount = static_cast<uint8_t>(std::min<size_t>(records.size(), 255));
  c.image = BuildWaterImage(records);
  return c;
}

InstrumentConfig PlateInstrument(const std::vector<PlateRecord>& records, uint16_t recordSize) {
  InstrumentConfig c;
  c.identity.kind = kPlateKind;
  c.identity.type = kPlateType;
  c.identity.recordCount = static_cast<uint8_t>(std::min<size_t>(records.size(), 255));
  c.image = BuildPlateImage(records, recordSize);
  return c;
}

void MakeWrongKind(InstrumentConfig* config) {
  config->identity.kind = 16;
  config->identity.type = 20;
}

Instrument::Instrument(int fd, InstrumentConfig config, QObject* parent)
    : QObject(parent),
      fd_(fd),
      config_(std::move(config)),
      readNotifier_(new QSocketNotifier(fd, QSocketNotifier::Read, this)),
      writeNotifier_(new QSocketNotifier(fd, QSocketNotifier::Write, this)),
      paceTimer_(new QTimer(this)) {
  writeNotifier_->setEnabled(false);
  connect(readNotifier_, &QSocketNotifier::activated, this, &Instrument::OnReadable);
  connect(writeNotifier_, &QSocketNotifier::activated, this, &Instrument::Pump);
  paceTimer_->setTimerType(Qt::PreciseTimer);
  paceTimer_->setInterval(2);
  connect(paceTimer_, &QTimer::timeout, this, &Instrument::Pump);
}

Instrument::~Instrument() = default;

QByteArray Instrument::IdentificationFrame() const {
  return EncodeFrame(IdentificationBody(config_.identity), config_.badIdentChecksum);
}

QByteArray Instrument::MemoryFrame() const {
  QByteArray body = config_.image;
  if (config_.zeroSize) {
    if (body.size() < 4) body.resize(4);
    body[0] = 0;
    body[1] = 0;
    body[2] = 5;
    body[3] = 0;
  }
  return EncodeFrame(body, config_.badMemoryChecksum);
}

void Instrument::OnReadable() {
  char buf[256];
  for (;;) {
    const ssize_t n = ::read(fd_, buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      // Nothing more now; on a hang-up of a device stop listening rather
      // than spin on it.
      if (n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK)) readNotifier_->setEnabled(false);
      return;
    }
    for (ssize_t i = 0; i < n; ++i) {
      const char c = buf[i];
      received_.append(c);
      emit requestReceived(c);
      if (config_.silent) continue;
      if (c == 'V') {
        if (config_.sendZ && !zSent_) {
          zSent_ = true;
          // A "Z" in mid-stream: what follows it must be dropped.
          Queue(QByteArrayLiteral("S10Z10101050"), c);
        } else {
          Queue(IdentificationFrame(), c);
        }
      } else if (c == 'N') {
        memoryWritten_ = 0;
        Queue(MemoryFrame(), c);
      }
    }
  }
}

void Instrument::Queue(const QByteArray& chars, char request) {
  if (pending_.isEmpty()) {
    paceClock_.start();
    pacedSent_ = 0;
  }
  pending_ += chars;
  pendingRequest_ = request;
  if (config_.paced) paceTimer_->start();
  Pump();
}

void Instrument::Pump() {
  if (cut_) return;
  if (pending_.isEmpty()) {
    writeNotifier_->setEnabled(false);
    paceTimer_->stop();
    return;
  }
  while (!pending_.isEmpty()) {
    qint64 allowed = pending_.size();
    if (config_.paced) {
      const double due = paceClock_.nsecsElapsed() * 1e-9 * kLineCharsPerSecond;
      allowed = std::min<qint64>(allowed, static_cast<qint64>(due) - pacedSent_);
      if (allowed <= 0) {
        writeNotifier_->setEnabled(false);
        return;  // the pacing timer comes back
      }
    }
    const bool cutting = pendingRequest_ == 'N' && config_.cutAfter >= 0;
    if (cutting) allowed = std::min<qint64>(allowed, config_.cutAfter - memoryWritten_);
    if (cutting && allowed <= 0) {
      CutShort();
      return;
    }
    const ssize_t n = ::write(fd_, pending_.constData(), static_cast<size_t>(allowed));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      writeNotifier_->setEnabled(true);  // the queue is full: wait for room
      return;
    }
    pending_.remove(0, static_cast<qsizetype>(n));
    pacedSent_ += n;
    written_ += n;
    if (pendingRequest_ == 'N') memoryWritten_ += n;
  }
  writeNotifier_->setEnabled(false);
  paceTimer_->stop();
  emit replyWritten(pendingRequest_);
}

void Instrument::CutShort() {
  cut_ = true;
  writeNotifier_->setEnabled(false);
  paceTimer_->stop();
  if (!config_.hangUp) return;  // hangs: the rest stays pending for good
  pending_.clear();
  readNotifier_->setEnabled(false);
  emit lineClosed();
}

}  // namespace sim
