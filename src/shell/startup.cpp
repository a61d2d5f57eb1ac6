#include "shell/startup.h"

#include "link/ui/download_dialog.h"
#include "platform/dialogs.h"
#include "shell/about_box.h"
#include "shell/app_state.h"
#include "shell/main_window.h"
#include "shell/splash_window.h"

std::unique_ptr<MainWindow> StartUp() {
  SetApplicationTitle(QString::fromUtf8("ФИР  - ТЛ7"));
  SetApplicationHelpFile(DefaultHelpFile());

  auto window = std::make_unique<MainWindow>();
  window->SetDownloadDialog(new DownloadDialog(window.get()));
  auto* splash = new SplashWindow;
  window->SetAboutBox(new AboutBox(window.get()));

  splash->exec();
  delete splash;

  // Maximized, or as the last run left it.
  window->show();
  return window;
}
