#include "link/download.h"

#include "link/traffic_log.h"
#include "platform/ports.h"

namespace {
// The instrument's line: 9600 bit/s, 8 data bits, no parity, 2 stop bits,
// no flow control. RTS stays on and DTR off, as the instrument expects.
constexpr LineSettings kInstrumentLine{br9600,      db8BITS, sb2BITS, ptNONE,
                                       hfNONERTSON, sfNONE,  false};
}  // namespace

Download::Download(DownloadObserver& observer, QObject* parent)
    : QObject(parent), observer_(observer), protocol_(*this, *this) {
  link_.SetPort(pnCustom);
  link_.SetPortName(download_text::kCom1);
  link_.SetLine(kInstrumentLine);
  link_.SetInBufSize(4096);
  link_.SetOutBufSize(4096);
  link_.SetPollingDelay(50);
  link_.OutputTimeout = 500;
  link_.OnReceiveData = [this](TSerialLink*, const char* data, uint32_t size) {
    Received(data, size);
  };
  link_.OnLineLost = [this](TSerialLink*) { LineLost(); };
  connect(&timer_, &QTimer::timeout, this, [this] { protocol_.TimerFired(); });
  quietTimer_.setSingleShot(true);
  quietLimit_.setSingleShot(true);
  connect(&quietTimer_, &QTimer::timeout, this, [this] {
    // Bytes the link has not yet polled count as noise too.
    if (link_.InputWaiting()) {
      quietTimer_.start(kQuietMs);
      return;
    }
    EndQuietWait();
  });
  connect(&quietLimit_, &QTimer::timeout, this, [this] { EndQuietWait(); });
}

Download::~Download() {
  timer_.stop();
  link_.CloseLink();
}

void Download::SetFixedPort(const QString& device) {
  fixedPort_ = device;
  if (!device.isEmpty()) link_.SetPortName(device);
}

void Download::Start() {
  const std::vector<SerialPortEntry> listed = SerialPorts().List();
  const QString chosen = fixedPort_.isEmpty() ? ChosenPort() : fixedPort_;
  if (chosen.isEmpty())
    protocol_.SetPorts(SearchOrder(LastAnsweredPort(), listed));
  else
    protocol_.SetPorts(FixedOrder(chosen, listed));
  protocol_.Start();
}

void Download::Cancel() {
  if (protocol_.Active()) {
    protocol_.Cancel();
    return;
  }
  timer_.stop();
  CloseLink();
}

void Download::Received(const char* data, uint32_t size) {
  if (waitingForQuiet_) {
    if (log_) log_->Received(data, int(size), true);
    quietTimer_.start(kQuietMs);
    return;
  }
  if (log_) log_->Received(data, int(size));
  protocol_.Receive(data, size);
}

void Download::LineLost() {
  // The link has closed itself: no request is held back any longer.
  CloseLink();
  if (log_) log_->Note(QStringLiteral("связь с портом %1 потеряна").arg(ResolvePortName(link_.PortName())));
  protocol_.LineLost();
}

void Download::SetPortName(const QString& name) {
  link_.SetPortName(fixedPort_.isEmpty() ? name : fixedPort_);
}

void Download::OpenLink() {
  const bool wasOpen = link_.IsLinkOpen();
  link_.OpenLink();
  if (!log_ || wasOpen) return;
  const QString device = ResolvePortName(link_.PortName());
  if (link_.IsLinkOpen()) {
    log_->Note(QStringLiteral("порт %1 открыт").arg(device));
    return;
  }
  QString why = PortOutcomeText(link_.LastOpenError());
  if (!link_.LastOpenErrorText().isEmpty()) why += QStringLiteral(" (") + link_.LastOpenErrorText() + ')';
  log_->Note(QStringLiteral("порт %1 не открыт: %2").arg(device, why));
}

void Download::CloseLink() {
  waitingForQuiet_ = false;
  quietTimer_.stop();
  quietLimit_.stop();
  heldTimerMs_ = -1;
  if (!link_.IsLinkOpen()) return;
  link_.CloseLink();
  if (log_) log_->Note(QStringLiteral("порт %1 закрыт").arg(ResolvePortName(link_.PortName())));
}

void Download::SendByte(uint8_t b) {
  if (b != 'V' || !link_.IsLinkOpen()) {
    Transmit(b);
    return;
  }
  // An instrument cut short still sends the rest of its memory for a while;
  // a "V" amid it would be answered after it, and the answer read as garbage.
  link_.DiscardInput();
  waitingForQuiet_ = true;
  heldByte_ = b;
  heldTimerMs_ = -1;
  quietTimer_.start(kQuietMs);
  quietLimit_.start(kQuietLimitMs);
}

void Download::EndQuietWait() {
  if (!waitingForQuiet_) return;
  waitingForQuiet_ = false;
  quietTimer_.stop();
  quietLimit_.stop();
  Transmit(heldByte_);
  if (heldTimerMs_ >= 0) timer_.start(heldTimerMs_);
  heldTimerMs_ = -1;
}

void Download::Transmit(uint8_t b) {
  const bool sent = link_.SendByte(b);
  if (log_ && sent) {
    const char c = static_cast<char>(b);
    log_->Sent(&c, 1);
  }
}

void Download::StartTimer(int ms) {
  // The answer time starts with the request, not before the line is quiet.
  if (waitingForQuiet_) {
    heldTimerMs_ = ms;
    return;
  }
  timer_.start(ms);
}

void Download::StopTimer() {
  timer_.stop();
  heldTimerMs_ = -1;
}

void Download::StatusChanged(const QString& text) { observer_.StatusChanged(text); }
void Download::PortChanged(const QString& label) { observer_.PortChanged(label); }
void Download::ProgressChanged(int percent) { observer_.ProgressChanged(percent); }
void Download::IdentityChanged(const QString& type, const QString& version, const QString& count) {
  // An instrument has answered on this port: the next download tries it first.
  if (!type.isEmpty()) {
    const QString remember = protocol_.Ports()[protocol_.PortIndex()].remember;
    if (!remember.isEmpty()) StoreLastAnsweredPort(remember);
  }
  observer_.IdentityChanged(type, version, count);
}
void Download::Failed(const QString& caption, const QString& text, const QString& detail) {
  observer_.Failed(caption, text, detail);
}
void Download::Finished(bool ok) {
  // Whoever hears the end may open the port again, or close the program.
  timer_.stop();
  CloseLink();
  observer_.Finished(ok);
}
