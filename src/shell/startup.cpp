#include "shell/startup.h"

#include "link/ui/download_dialog.h"
#include "platform/dialogs.h"
#include "shell/about_box.h"
#include "shell/app_state.h"
#include "shell/main_window.h"
#include "shell/splash_window.h"

std::unique_ptr<TForm1> StartUp() {
  SetApplicationTitle(QString::fromUtf8("ФИР  - ТЛ7"));
  SetApplicationHelpFile(DefaultHelpFile());

  auto form1 = std::make_unique<TForm1>();
  form1->Form2 = new TForm2(form1.get());
  auto* form5 = new TForm5;
  form1->Form6 = new Tform6(form1.get());

  form5->exec();
  delete form5;

  form1->showMaximized();
  return form1;
}
