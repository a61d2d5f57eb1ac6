#include "platform/help_viewer.h"

#include <QDesktopServices>
#include <QProcess>

void OpenInViewer(QObject* owner, const QUrl& url, std::function<void(bool)> done) {
#if defined(Q_OS_UNIX) && !defined(Q_OS_MACOS)
  // xdg-open answers 0 when a program took the file and 3 or 4 when there
  // is none for it; the desktop services would only say that it started.
  // Without a parent: it ends when the viewer program does, also when the
  // window is gone by then; `done` is not called once `owner` is gone.
  auto* viewer = new QProcess;
  viewer->setProcessChannelMode(QProcess::ForwardedChannels);
  QObject::connect(viewer, &QProcess::finished, owner,
                   [done](int code, QProcess::ExitStatus status) {
                     done(status == QProcess::NormalExit && code == 0);
                   });
  QObject::connect(viewer, &QProcess::finished, viewer, &QObject::deleteLater);
  QObject::connect(viewer, &QProcess::errorOccurred, owner, [done](QProcess::ProcessError error) {
    if (error == QProcess::FailedToStart) done(false);
  });
  QObject::connect(viewer, &QProcess::errorOccurred, viewer,
                   [viewer](QProcess::ProcessError error) {
                     if (error == QProcess::FailedToStart) viewer->deleteLater();
                   });
  viewer->start(QStringLiteral("xdg-open"),
                {url.isLocalFile() ? url.toLocalFile() : url.toString()});
#else
  Q_UNUSED(owner);
  done(QDesktopServices::openUrl(url));
#endif
}
