#pragma once
// The download dialog "Прием данных": finds the instrument on COM1 or COM2,
// identifies it and receives its memory into DeviceDump. The dialogue itself
// is DownloadProtocol; the dialog binds it to SerialLink1, Timer1 and its
// widgets. Modal result: Accepted after a complete download, else Rejected.
#include <QDialog>

#include "link/download_protocol.h"
#include "link/serial_link.h"

class QLabel;
class QProgressBar;
class QPushButton;
class QTimer;

class TForm2 : public QDialog, private DownloadHost {
  Q_OBJECT
 public:
  explicit TForm2(QWidget* parent = nullptr);
  ~TForm2() override;

  TSerialLink* SerialLink1;
  QTimer* Timer1;

  void FormShow();
  void SerialLink1ReceiveData(TSerialLink* sender, const char* data, uint32_t size);
  void Timer1Timer();
  void Button1Click();
  void FormClose();

  const DownloadProtocol& Protocol() const { return protocol_; }

  void done(int r) override;
  // Escape and the window system's close request act as "Отмена", so that
  // the port is never left open behind a closed dialog.
  void reject() override;

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  // DownloadHost
  void SetPortName(const QString& name) override;
  void OpenLink() override;
  void CloseLink() override;
  void SendByte(uint8_t b) override;
  void StartTimer(int ms) override;
  void StopTimer() override;
  void SetStatus(const QString& text) override;
  void SetProgress(int percent) override;
  void SetIdentityLines(const QString& type, const QString& version, const QString& count) override;
  void ShowError(const QString& caption, const QString& text) override;
  void Finish(bool ok) override;

  DownloadProtocol protocol_;
  QLabel* status_;
  QProgressBar* progress_;
  QLabel* typeValue_;
  QLabel* versionValue_;
  QLabel* countValue_;
  QPushButton* button1_;
};
