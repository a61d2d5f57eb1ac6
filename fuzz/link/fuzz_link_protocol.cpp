// Feeds the download dialogue arbitrary sequences of batches, timer
// expiries, Cancel and new showings. Besides raw batches the input can ask
// for well-formed frames built from its bytes, so that the identification
// and memory steps are reached too. Traps when a message box would appear
// with the port open, when the download ends with the port open, or when
// the dialogue acts after it has ended.
#include <cstddef>
#include <cstdint>
#include <memory>

#include "link/download_protocol.h"
#include "simulator/sim_images.h"

namespace {

class CheckingHost : public DownloadTransport, public DownloadObserver {
 public:
  bool open = false;
  bool ended = false;
  void SetPortName(const QString&) override { Acting(); }
  void OpenLink() override {
    Acting();
    open = true;
  }
  void CloseLink() override { open = false; }
  void SendByte(uint8_t) override { Acting(); }
  void StartTimer(int) override { Acting(); }
  void StopTimer() override {}
  void StatusChanged(const QString&) override {}
  void ProgressChanged(int p) override {
    if (p < 0 || p > 100) __builtin_trap();
  }
  void IdentityChanged(const QString&, const QString&, const QString&) override {}
  void Failed(const QString&, const QString&, const QString&) override {
    if (open) __builtin_trap();
  }
  void Finished(bool) override {
    if (open || ended) __builtin_trap();
    ended = true;
  }

 private:
  void Acting() {
    if (ended) __builtin_trap();
  }
};

struct Input {
  const uint8_t* p;
  size_t left;
  bool Empty() const { return left == 0; }
  uint8_t Byte() {
    if (left == 0) return 0;
    --left;
    return *p++;
  }
  QByteArray Take(size_t n) {
    n = n < left ? n : left;
    QByteArray b(reinterpret_cast<const char*>(p), static_cast<int>(n));
    p += n;
    left -= n;
    return b;
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  CheckingHost host;
  // On the heap: the protocol holds the whole memory image.
  const auto owned = std::make_unique<DownloadProtocol>(host, host);
  DownloadProtocol& protocol = *owned;
  protocol.Start();
  Input in{data, size};
  auto feed = [&](const QByteArray& chars, int piece) {
    if (piece <= 0) piece = chars.size() + 1;
    for (int i = 0; i < chars.size(); i += piece) {
      const QByteArray part = chars.mid(i, piece);
      protocol.Receive(part.constData(), static_cast<uint32_t>(part.size()));
    }
  };
  while (!in.Empty()) {
    switch (in.Byte() % 8) {
      case 0:
        host.ended = false;
        protocol.Start();
        break;
      case 1:
        protocol.TimerFired();
        break;
      case 2:
        if (protocol.Active()) protocol.Cancel();
        break;
      case 3: {  // a raw batch
        const QByteArray b = in.Take(in.Byte());
        protocol.Receive(b.constData(), static_cast<uint32_t>(b.size()));
        break;
      }
      case 4: {  // a well-formed frame of the next bytes, in pieces
        const size_t len = in.Byte() | (size_t{in.Byte()} << 8);
        const int piece = in.Byte();
        feed(sim::EncodeFrame(in.Take(len), false), piece);
        break;
      }
      case 5: {  // an identification frame
        sim::Identity id;
        id.kind = in.Byte();
        id.type = in.Byte();
        id.recordCount = in.Byte();
        feed(sim::EncodeFrame(sim::IdentificationBody(id)), in.Byte());
        break;
      }
      case 6: {  // a large memory frame of repeated bytes, up to just past the image
        const QByteArray unit = in.Take(4);
        const uint8_t high = in.Byte();
        const int repeat = ((high << 8) | in.Byte()) % (kMemoryImageSize / 4 + 64);
        feed(sim::EncodeFrame(unit.repeated(repeat)), 4096);
        break;
      }
      default: {  // a frame with a spoilt checksum
        feed(sim::EncodeFrame(in.Take(in.Byte()), true), in.Byte());
        break;
      }
    }
  }
  return 0;
}
