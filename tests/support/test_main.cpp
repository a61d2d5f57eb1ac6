// Every test program starts here: a QApplication on the offscreen platform,
// the settings store in a fresh temporary folder, a Russian locale, and no
// serial ports of the machine in the automatic search (tests that want
// listed ports fill the list themselves).
#include <gtest/gtest.h>

#include <QApplication>
#include <QLocale>
#include <QTemporaryDir>

#include "support/test_env.h"

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QTemporaryDir config;
  qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
  qputenv("KLT3_SERIAL_PORTS", "");
  QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia));
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
