#pragma once
// The download dialog "Прием данных": shows a Download (the search over the
// ports, identification, memory) in its widgets and offers "Отмена"; the
// status line names the port being tried. Modal result:
// Accepted after a complete download, else Rejected; its result stays in
// Result() until the next showing.
#include <QDialog>

#include "link/download.h"

class QLabel;
class QProgressBar;
class QPushButton;

class DownloadDialog : public QDialog, private DownloadObserver {
  Q_OBJECT
 public:
  explicit DownloadDialog(QWidget* parent = nullptr);
  ~DownloadDialog() override;

  const Download& download() const { return download_; }
  // What the last download learnt (Download::Result).
  const DownloadResult& Result() const { return download_.Result(); }

  // However the dialog ends (Escape, the window system's close request), a
  // running download is cancelled as "Отмена" cancels it, so that the port
  // is never left open behind a closed dialog.
  void done(int r) override;

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  // DownloadObserver
  void StatusChanged(const QString& text) override;
  void PortChanged(const QString& label) override;
  void ProgressChanged(int percent) override;
  void IdentityChanged(const QString& type, const QString& version, const QString& count) override;
  void Failed(const QString& caption, const QString& text, const QString& detail) override;
  void Finished(bool ok) override;

  void ShowStatus();

  Download download_;
  QString statusText_;
  QString portLabel_;
  QLabel* status_;
  QProgressBar* progress_;
  QLabel* typeValue_;
  QLabel* versionValue_;
  QLabel* countValue_;
  QPushButton* cancel_;
};
