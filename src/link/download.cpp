#include "link/download.h"

Download::Download(DownloadObserver& observer, QObject* parent)
    : QObject(parent), observer_(observer), protocol_(*this, *this) {
  // The instrument's line: 9600 bit/s, 8 data bits, no parity, 2 stop bits,
  // no flow control. RTS stays on and DTR off, as the instrument expects.
  link_.SetPort(pnCustom);
  link_.SetPortName(download_text::kCom1);
  link_.BaudRate = br9600;
  link_.DataBits = db8BITS;
  link_.StopBits = sb2BITS;
  link_.Parity = ptNONE;
  link_.HwFlow = hfNONERTSON;
  link_.SwFlow = sfNONE;
  link_.SetInBufSize(4096);
  link_.SetOutBufSize(4096);
  link_.SetPollingDelay(50);
  link_.EnableDTROnOpen = false;
  link_.OutputTimeout = 500;
  link_.OnReceiveData = [this](TSerialLink*, const char* data, uint32_t size) {
    protocol_.Receive(data, size);
  };
  connect(&timer_, &QTimer::timeout, this, [this] { protocol_.TimerFired(); });
}

Download::~Download() {
  timer_.stop();
  link_.CloseLink();
}

void Download::SetFixedPort(const QString& device) {
  fixedPort_ = device;
  if (!device.isEmpty()) link_.SetPortName(device);
}

void Download::Start() { protocol_.Start(); }

void Download::Cancel() {
  if (protocol_.Active()) {
    protocol_.Cancel();
    return;
  }
  timer_.stop();
  link_.CloseLink();
}

void Download::SetPortName(const QString& name) {
  link_.SetPortName(fixedPort_.isEmpty() ? name : fixedPort_);
}
void Download::OpenLink() { link_.OpenLink(); }
void Download::CloseLink() { link_.CloseLink(); }
void Download::SendByte(uint8_t b) { link_.SendByte(b); }
void Download::StartTimer(int ms) { timer_.start(ms); }
void Download::StopTimer() { timer_.stop(); }

void Download::StatusChanged(const QString& text) { observer_.StatusChanged(text); }
void Download::ProgressChanged(int percent) { observer_.ProgressChanged(percent); }
void Download::IdentityChanged(const QString& type, const QString& version, const QString& count) {
  observer_.IdentityChanged(type, version, count);
}
void Download::Failed(const QString& caption, const QString& text, const QString& detail) {
  observer_.Failed(caption, text, detail);
}
void Download::Finished(bool ok) {
  // Whoever hears the end may open the port again, or close the program.
  timer_.stop();
  link_.CloseLink();
  observer_.Finished(ok);
}
