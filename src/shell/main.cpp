#include <QApplication>

#include "shell/main_window.h"
#include "shell/startup.h"
#include "shell/translations.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  LoadQtRussianTranslations();
  const std::unique_ptr<MainWindow> window = StartUp();
  return app.exec();
}
