#pragma once
// Small helpers every test may use.
#include <QByteArray>
#include <QSettings>
#include <QString>

// Paths of the source and build trees (set by CTest; fall back to the
// compiled-in ones when a test program is run by hand).
QString SourceDir();
QString BinaryDir();

// Clears every value of the program's settings key (tests share one
// temporary settings folder per process).
void ClearSettings();

// Reads a whole file; empty when missing.
QByteArray ReadAll(const QString& path);

// Runs /usr/bin/python3 with a script and arguments; returns its exit code
// and puts standard output into *out (standard error into *err if given).
int RunPython(const QString& script, const QStringList& args, QByteArray* out,
              QByteArray* err = nullptr);
