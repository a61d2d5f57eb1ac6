#pragma once
// Points the program's ports "\\.\COM1" and "\\.\COM2" at device paths
// (pseudo-terminal slaves in tests) through the per-user settings, and
// waits for conditions while the event loop runs.
#include <QString>
#include <functional>

class QDialog;

// An empty path leaves that port at a path that does not exist. The chosen
// port and the one that answered last are forgotten: the search starts at COM1.
void PointPortsAt(const QString& com1, const QString& com2);

// Runs the event loop until cond() holds or timeoutMs pass; returns cond().
bool WaitUntil(const std::function<bool()>& cond, int timeoutMs);

// Runs the real download dialog; a guard timer cancels a dialog that never
// finishes.
int RunDownloadDialog(QDialog* dialog);
