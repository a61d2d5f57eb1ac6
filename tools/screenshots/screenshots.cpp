// Renders the main window without and with a table, and the about box, on
// the offscreen platform into PNG files:
//   QT_QPA_PLATFORM=offscreen klt3_screenshots docs
#include <QAction>
#include <QApplication>
#include <QDir>
#include <QLocale>
#include <QTemporaryDir>
#include <cstdio>

#include "platform/dialogs.h"
#include "shell/about_box.h"
#include "shell/main_window.h"
#include "store/measurement_table.h"
#include "screenshots/shots.h"

namespace {

// Answers the open dialog with the sample table; reports any message.
struct Answers : DialogSeam {
  QString file;
  QString GetOpenFileName(QWidget*, const QString&, const QString&, const QString&,
                          const QString&) override {
    return file;
  }
  QMessageBox::StandardButton Message(QWidget*, QMessageBox::Icon, const QString& caption,
                                      const QString& text, QMessageBox::StandardButtons) override {
    std::fprintf(stderr, "message: %s: %s\n", qPrintable(caption), qPrintable(text));
    return QMessageBox::No;
  }
};

// Two series of six water-permeability samples.
void WriteSampleTable(const QString& path) {
  MeasurementTable t;
  t.SetLocation(path);
  t.CreateFile();
  t.Open();
  const double pressures[2][6] = {{0.6, 0.8, 0.8, 1.0, 0.8, 0.6}, {1.2, 1.0, 1.2, 1.4, 1.2, 1.0}};
  const char* grades[2] = {"B6", "B10"};
  for (int s = 0; s < 2; ++s) {
    for (int i = 0; i < 6; ++i) {
      t.AppendRow();
      t.SetField(QStringLiteral("N"), int64_t(i + 1));
      t.SetField(QStringLiteral("DATE"), QStringLiteral("1%1.03.2024 09:15:00").arg(s + 2));
      t.SetField(QStringLiteral("TIME"), QStringLiteral("0%1:00:00").arg(6 + 2 * s));
      t.SetField(QStringLiteral("DEV_TYPE"), int64_t(1));
      t.SetField(QStringLiteral("SERIAL"), int64_t(101 + s));
      t.SetField(QStringLiteral("NB_TYPE"), int64_t(1));
      t.SetField(QStringLiteral("P"), pressures[s][i]);
      t.SetField(QStringLiteral("R"), 2.0);
      t.SetField(QStringLiteral("TYPE"), QString::fromLatin1(grades[s]));
      t.SetField(QStringLiteral("H"), 150.0);
      t.PostRow();
    }
  }
  t.Close();
}

}  // namespace

int main(int argc, char** argv) {
  // Keep the operator's own settings out of it.
  QTemporaryDir config;
  IsolateShotRun(config);
  QApplication app(argc, argv);
  if (argc != 2) {
    std::fprintf(stderr, "usage: klt3_screenshots FOLDER\n");
    return 2;
  }
  const QDir out(QString::fromLocal8Bit(argv[1]));
  if (!QDir().mkpath(out.path())) return 1;

  QTemporaryDir data;
  const QString table = QDir(data.path()).filePath(QStringLiteral("Серия_2024.db"));
  try {
    WriteSampleTable(table);
  } catch (const TableError& e) {
    std::fprintf(stderr, "cannot write the sample table: %s\n", qPrintable(e.text()));
    return 1;
  }
  Answers answers;
  answers.file = table;
  SetDialogs(&answers);

  bool ok = true;
  {
    MainWindow form;
    form.setWindowState(Qt::WindowNoState);
    form.resize(1200, 600);
    form.show();
    ok = SaveShot(&form, out, "screenshot_main_no_table.png") && ok;

    form.findChild<QAction*>(QStringLiteral("openTableAction"))->trigger();
    ok = SaveShot(&form, out, "screenshot_main_table.png") && ok;

    AboutBox about(&form);
    about.show();
    ok = SaveShot(&about, out, "screenshot_about.png") && ok;
    about.close();
    form.findChild<QAction*>(QStringLiteral("closeTableAction"))->trigger();
  }
  SetDialogs(nullptr);
  return ok ? 0 : 1;
}
