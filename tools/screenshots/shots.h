#pragma once
// What the picture-making tools share: a run kept apart from the operator's
// settings, and a widget saved as a PNG.
#include <QApplication>
#include <QDir>
#include <QLocale>
#include <QTemporaryDir>
#include <QWidget>
#include <cstdio>

// Points the settings at a temporary folder and sets the Russian locale;
// call before the QApplication is made, keep `config` alive for the run.
inline void IsolateShotRun(const QTemporaryDir& config) {
  qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
  QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia));
}

// Saves the widget as `name` in `out` and prints the path.
inline bool SaveShot(QWidget* w, const QDir& out, const char* name) {
  QApplication::processEvents();
  const QString path = out.filePath(QString::fromLatin1(name));
  if (!w->grab().save(path, "PNG")) {
    std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
    return false;
  }
  std::printf("%s\n", qPrintable(path));
  return true;
}
