#pragma once
// One download from an instrument over the serial link: the link with the
// instrument's line settings, the answer timer and the dialogue, for any
// front end (the dialog, the command line). The observer is told everything
// the operator should see; the results stay here until the next download.
#include <QObject>
#include <QString>
#include <QTimer>

#include "link/device_data.h"
#include "link/download_protocol.h"
#include "link/serial_link.h"

class Download : public QObject, private DownloadTransport, private DownloadObserver {
  Q_OBJECT
 public:
  explicit Download(DownloadObserver& observer, QObject* parent = nullptr);
  ~Download() override;

  // One device for both of the program's ports (the command line's --port);
  // empty: COM1, then COM2, as the settings lead them.
  void SetFixedPort(const QString& device);

  // Opens COM1 and asks for identification; the rest follows on the event loop.
  void Start();
  // Ends a running download as "Отмена" does: the link closes, the observer
  // hears Finished(false). Without a running download it only makes sure the
  // link is closed.
  void Cancel();

  bool Active() const { return protocol_.Active(); }
  bool LinkOpen() const { return link_.IsLinkOpen(); }
  // The port the link uses or last used ("\\.\COM1", "\\.\COM2" or the fixed device).
  QString PortName() const { return link_.PortName(); }
  const DeviceIdentity& Identity() const { return protocol_.Identity(); }
  const MemoryImage& Image() const { return protocol_.Image(); }

 private:
  // DownloadTransport
  void SetPortName(const QString& name) override;
  void OpenLink() override;
  void CloseLink() override;
  void SendByte(uint8_t b) override;
  void StartTimer(int ms) override;
  void StopTimer() override;
  // DownloadObserver: passed on, Finished with the link closed first.
  void StatusChanged(const QString& text) override;
  void ProgressChanged(int percent) override;
  void IdentityChanged(const QString& type, const QString& version, const QString& count) override;
  void Failed(const QString& caption, const QString& text, const QString& detail) override;
  void Finished(bool ok) override;

  DownloadObserver& observer_;
  QString fixedPort_;
  TSerialLink link_;
  QTimer timer_;
  DownloadProtocol protocol_;
};
