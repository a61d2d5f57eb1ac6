#pragma once
// Shows a file in the desktop's viewer for it (the guide in a browser).
// Where the desktop's handler is a program (xdg-open), that program is run
// and its answer awaited without blocking, so that a desktop without any
// viewer is reported and the finished program does not linger; elsewhere
// the desktop services answer at once.
#include <QUrl>
#include <functional>

class QObject;

// `done(false)` when no viewer could show the file; not called when `owner`
// is gone by then.
void OpenInViewer(QObject* owner, const QUrl& url, std::function<void(bool)> done);
