#include "support/link_ports.h"

#include <QCoreApplication>
#include <QDialog>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QSettings>
#include <QThread>
#include <QTimer>

void PointPortsAt(const QString& com1, const QString& com2) {
  QSettings s(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Merilan"),
              QStringLiteral("KLT3"));
  s.beginGroup(QStringLiteral("1.0"));
  const QString none = QStringLiteral("/nonexistent/klt3-no-port");
  s.setValue(QStringLiteral("COM1"), com1.isEmpty() ? none : com1);
  s.setValue(QStringLiteral("COM2"), com2.isEmpty() ? none : com2);
  // Neither a chosen port nor one that answered earlier comes first.
  s.remove(QStringLiteral("Port"));
  s.remove(QStringLiteral("LastPort"));
  s.sync();
}

bool WaitUntil(const std::function<bool()>& cond, int timeoutMs) {
  QDeadlineTimer deadline(timeoutMs);
  while (!cond()) {
    if (deadline.hasExpired()) return cond();
    QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    QThread::msleep(1);
  }
  return true;
}

int RunDownloadDialog(QDialog* dialog) {
  QTimer guard;
  guard.setSingleShot(true);
  QObject::connect(&guard, &QTimer::timeout, dialog, &QDialog::reject);
  guard.start(30000);
  return dialog->exec();
}
