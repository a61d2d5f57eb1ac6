// Feeds the download dialogue arbitrary sequences of batches, timer
// expiries, Cancel and new showings. Besides raw batches the input can ask
// for well-formed frames built from its bytes, so that the identification
// and memory steps are reached too. Traps when a message box would appear
// with the port open, when the download ends with the port open, or when
// the dialogue acts after it has ended.
//
// The dialogue is made once: its receive buffer alone is 256 KB, which a
// new one per input would cost. Each input starts it afresh and first
// overwrites what earlier inputs left in that buffer, so that every input
// meets the dialogue as a new one. At most one memory frame per input is
// as long as the memory; the others are short.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "link/download_protocol.h"
#include "simulator/sim_images.h"
#include "support/fuzz_input.h"

namespace {

class CheckingHost : public DownloadTransport, public DownloadObserver {
 public:
  bool open = false;
  bool ended = false;
  void Reset() {
    open = false;
    ended = false;
  }
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

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static CheckingHost host;
  // On the heap: the protocol holds the whole memory image.
  static const auto owned = std::make_unique<DownloadProtocol>(host, host);
  DownloadProtocol& protocol = *owned;
  // How far earlier inputs filled the receive buffer: the identification
  // fields of a short frame are read a little past its end.
  static uint32_t used = 0;
  host.Reset();
  if (used > 0) {
    protocol.Start();
    // Zeros made once: a new block of up to the buffer's size per input
    // would cost more than the input.
    static const std::vector<char> zeros(DownloadProtocol::kReceiveBufferSize, '\0');
    protocol.Receive(zeros.data(), std::min(used + 256, DownloadProtocol::kReceiveBufferSize));
    protocol.Cancel();
    host.Reset();
    used = 0;
  }
  protocol.Start();
  FuzzInput in{data, size};
  auto receive = [&](const char* chars, uint32_t n) {
    used = std::max(used, protocol.Fill() + n);  // as far as this batch can reach
    protocol.Receive(chars, n);
  };
  auto feed = [&](const QByteArray& chars, int piece) {
    if (piece <= 0) piece = chars.size() + 1;
    for (int i = 0; i < chars.size(); i += piece) {
      const int n = std::min(piece, int(chars.size()) - i);
      receive(chars.constData() + i, static_cast<uint32_t>(n));
    }
  };
  bool longFrameSent = false;
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
        receive(b.constData(), static_cast<uint32_t>(b.size()));
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
      case 6: {  // a memory frame of repeated bytes, up to just past the image
        const QByteArray unit = in.Take(4);
        const uint8_t high = in.Byte();
        const uint8_t low = in.Byte();
        // Long frames only when the input asks for one (a high nibble of
        // F): each costs the whole memory's characters, far more than the
        // input's bytes.
        int repeat = low % 64;
        if ((high & 0xF0) == 0xF0)
          repeat = 64 + (((high & 0x0F) << 10) | (low << 2) | (in.Byte() & 3)) % (kMemoryImageSize / 4);
        if (longFrameSent) repeat %= 64;
        longFrameSent = longFrameSent || repeat >= 64;
        // The last long frame is kept: inputs made from one another tend
        // to send the same.
        static QByteArray lastUnit;
        static int lastRepeat = -1;
        static QByteArray frame;
        if (unit != lastUnit || repeat != lastRepeat) {
          frame = sim::EncodeFrame(unit.repeated(repeat));
          lastUnit = unit;
          lastRepeat = repeat;
        }
        feed(frame, 4096);
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
