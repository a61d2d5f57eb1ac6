#pragma once
// One download from an instrument over the serial link: the link with the
// instrument's line settings, the answer timer and the dialogue, for any
// front end (the dialog, the command line). The observer is told everything
// the operator should see; the result stays here until the next download.
#include <QObject>
#include <QString>
#include <QTimer>

#include "link/download_protocol.h"
#include "link/serial_link.h"
#include "platform/device_data.h"

class TrafficLog;

class Download : public QObject, private DownloadTransport, private DownloadObserver {
  Q_OBJECT
 public:
  explicit Download(DownloadObserver& observer, QObject* parent = nullptr);
  ~Download() override;

  // One device for both of the program's ports (the command line's --port);
  // empty: the port chosen in the settings, or else the automatic search
  // (the port that answered last, COM1, COM2, then every port the system
  // lists).
  void SetFixedPort(const QString& device);
  // Every byte and every opening of a port goes there too; nullptr: nowhere.
  void SetTrafficLog(TrafficLog* log) { log_ = log; }

  // Before each "V" whatever is still on the line (the rest of a memory
  // frame after "Отмена") is thrown away until the line has been quiet this
  // long, but no longer than the limit.
  static constexpr int kQuietMs = 120;
  static constexpr int kQuietLimitMs = 3000;

  // Lists the ports, opens the first and asks for identification; the rest
  // follows on the event loop.
  void Start();
  // Ends a running download as "Отмена" does: the link closes, the observer
  // hears Finished(false). Without a running download it only makes sure the
  // link is closed.
  void Cancel();

  bool Active() const { return protocol_.Active(); }
  bool LinkOpen() const { return link_.IsLinkOpen(); }
  // The port the link uses or last used ("\\.\COM1", "\\.\COM2" or the fixed device).
  QString PortName() const { return link_.PortName(); }
  // What the last download learnt (DownloadProtocol::Result): after a
  // complete one, what the table is made from.
  const DownloadResult& Result() const { return protocol_.Result(); }
  // The ports the last Start tried, in order.
  const std::vector<PortCandidate>& Ports() const { return protocol_.Ports(); }

 private:
  // DownloadTransport
  void SetPortName(const QString& name) override;
  void OpenLink() override;
  void CloseLink() override;
  void SendByte(uint8_t b) override;
  void StartTimer(int ms) override;
  void StopTimer() override;
  PortOpenError OpenFailure() const override { return link_.LastOpenError(); }
  // DownloadObserver: passed on, Finished with the link closed first.
  void StatusChanged(const QString& text) override;
  void PortChanged(const QString& label) override;
  void ProgressChanged(int percent) override;
  void IdentityChanged(const QString& type, const QString& version, const QString& count) override;
  void Failed(const QString& caption, const QString& text, const QString& detail) override;
  void Finished(bool ok) override;

  void Received(const char* data, uint32_t size);
  void LineLost();
  void EndQuietWait();
  void Transmit(uint8_t b);

  DownloadObserver& observer_;
  QString fixedPort_;
  TSerialLink link_;
  QTimer timer_;
  DownloadProtocol protocol_;
  TrafficLog* log_ = nullptr;
  // The wait for a quiet line before a request: the request and the answer
  // timer held back until it ends.
  bool waitingForQuiet_ = false;
  uint8_t heldByte_ = 0;
  int heldTimerMs_ = -1;
  QTimer quietTimer_;
  QTimer quietLimit_;
};
