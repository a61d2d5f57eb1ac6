#include <QApplication>

#include "shell/main_window.h"
#include "shell/startup.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  const std::unique_ptr<MainWindow> window = StartUp();
  return app.exec();
}
