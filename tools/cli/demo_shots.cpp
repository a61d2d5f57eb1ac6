// Renders the pictures of the demo walk-through on the offscreen platform:
// the download dialog while the simulated instrument sends its memory, and
// the main window with the rows "Создать" made of it.
//   klt3_demo_shots docs
#include <QAction>
#include <QApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QLocale>
#include <QProgressBar>
#include <QSettings>
#include <QTemporaryDir>
#include <QThread>
#include <cstdio>
#include <functional>

#include "link/ui/download_dialog.h"
#include "platform/dialogs.h"
#include "shell/main_window.h"
#include "simulator/sim_instrument.h"
#include "simulator/sim_pty.h"
#include "screenshots/shots.h"

namespace {

bool WaitFor(const std::function<bool()>& cond, int ms) {
  QDeadlineTimer deadline(ms);
  while (!cond() && !deadline.hasExpired()) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    QThread::msleep(1);
  }
  return cond();
}

// "Создать" answered with a file in a temporary folder; the download
// dialog runs against the instrument and is pictured half way.
struct Answers : DialogSeam {
  QString file;
  QDir out;
  bool saved = false;
  QString GetSaveFileName(QWidget*, const QString&, const QString&, const QString&,
                          const QString&) override {
    return file;
  }
  QMessageBox::StandardButton Message(QWidget*, QMessageBox::Icon, const QString& caption,
                                      const QString& text, QMessageBox::StandardButtons) override {
    std::fprintf(stderr, "message: %s: %s\n", qPrintable(caption), qPrintable(text));
    return QMessageBox::No;
  }
  int Exec(QDialog* dialog) override {
    int result = -1;
    QObject::connect(dialog, &QDialog::finished, dialog, [&result](int r) { result = r; });
    dialog->open();
    auto* bar = dialog->findChild<QProgressBar*>(QStringLiteral("progressBar"));
    if (bar && WaitFor([&] { return bar->value() >= 40 || result >= 0; }, 20000) && result < 0)
      saved = SaveShot(dialog, out, "demo_download.png");
    WaitFor([&] { return result >= 0; }, 30000);
    return result;
  }
};

}  // namespace

int main(int argc, char** argv) {
  // Keep the operator's own settings out of it.
  QTemporaryDir config;
  IsolateShotRun(config);
  QApplication app(argc, argv);
  if (argc != 2) {
    std::fprintf(stderr, "usage: klt3_demo_shots FOLDER\n");
    return 2;
  }
  QTemporaryDir work;
  sim::PtyPair pty;
  QString error;
  if (!pty.Open(&error)) {
    std::fprintf(stderr, "no pseudo-terminal: %s\n", qPrintable(error));
    return 1;
  }
  // What `bash scripts/run.sh --demo` plays: five generated series at the
  // line's own speed.
  sim::InstrumentConfig instrument = sim::WaterInstrument(sim::GenerateWaterRecords(5));
  instrument.paced = true;
  sim::Instrument device(pty.MasterFd(), instrument);
  {
    QSettings s(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Merilan"),
                QStringLiteral("KLT3"));
    s.beginGroup(QStringLiteral("1.0"));
    s.setValue(QStringLiteral("COM1"), pty.SlavePath());
  }
  Answers answers;
  answers.file = QDir(work.path()).filePath(QStringLiteral("demo.db"));
  answers.out = QDir(QString::fromLocal8Bit(argv[1]));
  SetDialogs(&answers);
  int rc = 0;
  {
    MainWindow form;
    form.SetDownloadDialog(new DownloadDialog(&form));
    form.resize(900, 560);
    form.show();
    form.findChild<QAction*>(QStringLiteral("newTableAction"))->trigger();
    if (!answers.saved || !form.Session().InUse() ||
        !SaveShot(&form, answers.out, "demo_table.png"))
      rc = 1;
    form.findChild<QAction*>(QStringLiteral("closeTableAction"))->trigger();
  }
  SetDialogs(nullptr);
  return rc;
}
