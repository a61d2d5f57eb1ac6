#pragma once
// The download dialogue with an instrument as a plain state machine: fed
// with received batches, timer expiries and the operator's Cancel, it drives
// a DownloadTransport (serial link and answer timer) and tells a
// DownloadObserver what the operator should see. Download binds it to the
// real link; tests and the fuzz target bind it to recorders.
#include <QString>
#include <QStringList>
#include <cstdint>
#include <vector>

#include "link/serial_ports.h"
#include "platform/device_data.h"

// The link and the answer timer, as the dialogue needs them.
class DownloadTransport {
 public:
  virtual ~DownloadTransport();
  virtual void SetPortName(const QString& name) = 0;
  virtual void OpenLink() = 0;
  virtual void CloseLink() = 0;
  virtual void SendByte(uint8_t b) = 0;
  virtual void StartTimer(int ms) = 0;
  virtual void StopTimer() = 0;
  // Why the last OpenLink left the link closed; None when it opened.
  virtual PortOpenError OpenFailure() const;
};

// Whoever shows the download: a dialog, a terminal, a test.
class DownloadObserver {
 public:
  virtual ~DownloadObserver();
  virtual void StatusChanged(const QString& text) = 0;
  // The port now tried, as the operator knows it ("COM1 (/dev/ttyS0)").
  virtual void PortChanged(const QString& label);
  virtual void ProgressChanged(int percent) = 0;
  // Values beside "Тип прибора:", "Версия ПО:", "Количество записей:";
  // all three empty when a download starts.
  virtual void IdentityChanged(const QString& type, const QString& version,
                               const QString& count) = 0;
  // A failure for an error box; the link is already closed. Finished(false)
  // follows.
  // `detail`: what more the program knows (what the instrument answered,
  // which ports were tried), for the operator to unfold; may be empty.
  virtual void Failed(const QString& caption, const QString& text, const QString& detail) = 0;
  // The download is over: true after a complete one, false otherwise.
  virtual void Finished(bool ok) = 0;
};

namespace download_text {
extern const QString kCom1;  // "\\.\COM1"
extern const QString kCom2;
extern const QString kWaiting;          // status while looking for the instrument
extern const QString kReceiving;        // status while the memory arrives
extern const QString kErrorCaption;     // "Ошибка"
extern const QString kNotFoundCaption;  // "Ошибка"
extern const QString kTransmissionError;
extern const QString kWrongDevice;
extern const QString kNoData;
extern const QString kNotFound;
extern const QString kLineLost;  // the line went, or fell silent, amid the dialogue
}  // namespace download_text

// Text beside "Тип прибора:" for a device type.
QString DeviceTypeName(uint8_t type);
// The detail of "Вы подключили не тот прибор !": what the instrument said
// it is, what the program takes, what to try.
QString WrongDeviceDetail(const DeviceIdentity& identity, const QString& port);
// The main text when every port tried refused this user: it names them and
// sends the operator to whoever administers the computer.
QString AccessDeniedText(const QStringList& ports);

class DownloadProtocol {
 public:
  static constexpr uint32_t kReceiveBufferSize = 262144;
  static constexpr int kAnswerTimeoutMs = 3000;
  static constexpr int kRecordSizeWater = 36;
  // An instrument sends a frame without pause: this long without a
  // character amid one means the line has gone.
  static constexpr int kFrameSilenceMs = 5000;

  DownloadProtocol(DownloadTransport& transport, DownloadObserver& observer);

  // The ports to try, in order, for the next Start; by default COM1, then
  // COM2. An empty list keeps the ports as they are.
  void SetPorts(std::vector<PortCandidate> ports);
  const std::vector<PortCandidate>& Ports() const { return ports_; }

  void Start();                                   // a download begins
  void Receive(const char* data, uint32_t size);  // a batch from the link
  void TimerFired();                              // no answer in time
  // The line has gone (hang-up, device removed, port error); the link has
  // closed itself.
  void LineLost();
  void Cancel();                                  // "Отмена"

  // Where the dialogue stands.
  enum class State {
    Idle,             // no download runs
    Identifying,      // "V" sent: the identification frame awaited
    AwaitingMemory,   // "N" sent: the memory frame awaited, its size not yet read
    ReceivingMemory,  // the memory frame's size read: its progress shown
  };
  State CurrentState() const { return state_; }
  // True from Start until the observer has been told Finished.
  bool Active() const { return state_ != State::Idle; }
  // The request whose answer is awaited: "N" for the memory, else "V".
  char Request() const { return AwaitsMemory() ? 'N' : 'V'; }
  // Of the frame now arriving: whether its "S" and its "P" have come, and
  // how many of its characters the receive buffer holds.
  bool StartSeen() const { return frame_.startSeen; }
  bool EndSeen() const { return frame_.endSeen; }
  uint32_t Fill() const { return frame_.fill; }
  const QString& PortName() const { return portName_; }
  // Index in Ports() of the port now (or last) tried.
  size_t PortIndex() const { return portIndex_; }
  uint32_t ExpectedSize() const { return expectedSize_; }
  // The identity of the last identification, kept until the next one, and
  // the image and length of the last complete download; a shorter download
  // overwrites only its own length of the image.
  const DownloadResult& Result() const { return result_; }

 private:
  void Fail(const QString& caption, const QString& text, const QString& detail = QString());
  bool IdentificationStep();
  bool ExpectedSizeStep();
  void ProgressStep();
  void MemoryStep();
  void Restart(size_t index);
  void TryPort(size_t index);
  QString NotFoundDetail() const;
  // What happened on a port of this search.
  struct PortOutcome {
    PortOpenError open = PortOpenError::None;
    bool lost = false;  // opened, then the line went before any answer
  };
  struct PortResult {
    QString label;
    PortOutcome outcome;
  };
  std::vector<PortResult> PortResults() const;
  QStringList DeniedPorts() const;
  bool AwaitsMemory() const {
    return state_ == State::AwaitingMemory || state_ == State::ReceivingMemory;
  }
  // Sends a request: its answer is the next frame.
  void Ask(char request);
  // Forgets the frame arriving: a new one starts at the buffer's beginning.
  void ResetFrame() { frame_ = Frame{}; }
  void Close(bool ok);
  void FailLostLine(bool silent);

  // The frame arriving, as its batches have shown it.
  struct Frame {
    uint32_t fill = 0;  // characters of it in the receive buffer
    bool startSeen = false;
    bool endSeen = false;
    // Inside the frame: its "S" has come, its "P" not yet.
    bool open = false;
  };

  DownloadTransport& link_;
  DownloadObserver& observer_;
  DownloadResult result_;
  std::vector<char> buffer_;  // ReceiveBuffer; never cleared, only refilled
  State state_ = State::Idle;
  Frame frame_;
  uint32_t expectedSize_ = 0;
  uint32_t dataStart_ = 0;
  int progress_ = -1;
  QString portName_;
  std::vector<PortCandidate> ports_;
  size_t portIndex_ = 0;
  // The port now tried has sent an "S" or a "Z": an instrument is there.
  bool heard_ = false;
  // By index into ports_.
  std::vector<PortOutcome> outcomes_;
};
