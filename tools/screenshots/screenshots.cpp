// Renders the main window without and with a table, and the about box, on
// the offscreen platform into PNG files, and the operator guide's pictures
// of the views' commands and of the chart into FOLDER/guide/pictures:
//   QT_QPA_PLATFORM=offscreen klt3_screenshots docs
#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QItemSelectionModel>
#include <QLocale>
#include <QMenu>
#include <QTemporaryDir>
#include <cstdio>

#include "platform/dialogs.h"
#include "shell/about_box.h"
#include "shell/main_window.h"
#include "store/measurement_table.h"
#include "views/grid/data_grid.h"
#include "screenshots/shots.h"

namespace {

// Answers the open dialog with the sample table and the colour dialog with
// `color`; reports any message; saves the program's own modal dialogs (the
// preview) as `dialogShot` in `dialogFolder` instead of running them.
struct Answers : DialogSeam {
  QString file;
  QColor color;
  QDir dialogFolder;
  const char* dialogShot = nullptr;
  bool dialogSaved = false;
  QString saveName;
  QString GetOpenFileName(QWidget*, const QString&, const QString&, const QString&,
                          const QString&) override {
    return file;
  }
  QString GetSaveFileName(QWidget*, const QString&, const QString&, const QString&,
                          const QString&) override {
    return saveName;
  }
  bool GetColor(QWidget*, const QColor&, QColor* chosen) override {
    *chosen = color;
    return color.isValid();
  }
  int Exec(QDialog* dialog) override {
    if (dialogShot) {
      dialog->show();
      dialogSaved = SaveShot(dialog, dialogFolder, dialogShot);
      dialog->hide();
    }
    return QDialog::Rejected;
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

// Plate tests of two days, R about 25 МПа.
void WritePlateTable(const QString& path) {
  MeasurementTable t;
  t.SetLocation(path);
  t.CreateFile();
  t.Open();
  const double r[8] = {24.6, 25.9, 25.1, 23.8, 26.4, 25.3, 24.9, 27.2};
  for (int i = 0; i < 8; ++i) {
    t.AppendRow();
    t.SetField(QStringLiteral("N"), int64_t(i + 1));
    t.SetField(QStringLiteral("DATE"), QStringLiteral("1%1.04.2024").arg(4 + i / 4));
    t.SetField(QStringLiteral("TIME"), QStringLiteral("1%1:%2:00").arg(i % 4).arg(10 + 7 * i));
    t.SetField(QStringLiteral("DEV_TYPE"), int64_t(16));
    t.SetField(QStringLiteral("SERIAL"), int64_t(12));
    t.SetField(QStringLiteral("NB_TYPE"), int64_t(0));
    t.SetField(QStringLiteral("P"), r[i] * 7.07);
    t.SetField(QStringLiteral("R"), r[i]);
    t.SetField(QStringLiteral("TYPE"), QStringLiteral("D=300"));
    t.PostRow();
  }
  t.Close();
}

// The chart as "Сохранить график…" writes it.
bool SaveChartShot(QWidget* form, Answers* answers, const QDir& out, const char* name) {
  QApplication::processEvents();
  const QString path = out.filePath(QString::fromLatin1(name));
  QFile::remove(path);
  answers->saveName = path;
  form->findChild<QAction*>(QStringLiteral("saveChartAction"))->trigger();
  answers->saveName.clear();
  if (!QFile::exists(path)) {
    std::fprintf(stderr, "the chart was not saved as %s\n", qPrintable(path));
    return false;
  }
  std::printf("%s\n", qPrintable(path));
  return true;
}

void MarkRows(DataGrid* grid, std::initializer_list<int> rows) {
  QItemSelectionModel* selection = grid->view()->selectionModel();
  selection->clearSelection();
  for (int row : rows)
    selection->select(grid->model()->index(row, 0),
                      QItemSelectionModel::Select | QItemSelectionModel::Rows);
}

// The chart beside the grid: the water series with its grade line, the
// window with the panel, then the plate tests of `plateTable` with two
// marked.
bool ChartShots(QWidget* form, Answers* answers, const QString& plateTable, const QDir& out) {
  auto* grid = form->findChild<DataGrid*>(QStringLiteral("waterGrid"));
  auto* panel = form->findChild<QWidget*>(QStringLiteral("chartPanel"));
  if (!grid || !panel) return false;
  form->findChild<QAction*>(QStringLiteral("removeSortingAction"))->trigger();
  form->findChild<QAction*>(QStringLiteral("showChartAction"))->trigger();
  MarkRows(grid, {0, 3});
  bool ok = SaveShot(form, out, "guide_chart_window.png");
  MarkRows(grid, {});
  ok = SaveChartShot(form, answers, out, "guide_chart_water.png") && ok;

  answers->file = plateTable;
  form->findChild<QAction*>(QStringLiteral("openTableAction"))->trigger();
  MarkRows(form->findChild<DataGrid*>(QStringLiteral("plateGrid")), {3, 7});
  ok = SaveChartShot(form, answers, out, "guide_chart_plate.png") && ok;
  form->findChild<QAction*>(QStringLiteral("showChartAction"))->trigger();
  return ok;
}

// A menu as it drops down, saved on its own.
bool SaveMenuShot(QWidget* window, const char* menuName, const QDir& out, const char* name) {
  auto* menu = window->findChild<QMenu*>(QLatin1String(menuName));
  if (!menu) {
    std::fprintf(stderr, "no menu %s\n", menuName);
    return false;
  }
  menu->popup(window->mapToGlobal(QPoint(40, 40)));
  const bool ok = SaveShot(menu, out, name);
  menu->hide();
  return ok;
}

// The guide's pictures, on the water-permeability table the window shows:
// sorted by pressure with the grade column coloured, three rows marked, the
// menus of the view commands, and the preview.
bool GuideShots(QWidget* form, Answers* answers, const QDir& out) {
  if (!QDir().mkpath(out.path())) return false;
  auto* grid = form->findChild<DataGrid*>(QStringLiteral("waterGrid"));
  if (!grid) return false;
  bool ok = true;
  grid->ClickTitle(grid->ColumnOfField(QStringLiteral("P")), false);
  grid->SetCurrentColumn(grid->ColumnOfField(QStringLiteral("TYPE")));
  answers->color = QColor(0xff, 0xe8, 0x9c);
  form->findChild<QAction*>(QStringLiteral("setColorAction"))->trigger();
  ok = SaveShot(form, out, "guide_sorted_colored.png") && ok;

  MarkRows(grid, {0, 2, 3});
  ok = SaveShot(form, out, "guide_marked_rows.png") && ok;
  MarkRows(grid, {});

  ok = SaveMenuShot(form, "viewMenu", out, "guide_view_menu.png") && ok;
  ok = SaveMenuShot(form, "gridContextMenu", out, "guide_context_menu.png") && ok;

  answers->dialogFolder = out;
  answers->dialogShot = "guide_preview.png";
  form->findChild<QAction*>(QStringLiteral("previewAction"))->trigger();
  answers->dialogShot = nullptr;
  if (!answers->dialogSaved) std::fprintf(stderr, "the preview was not shown\n");
  return ok && answers->dialogSaved;
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
  const QString plates = QDir(data.path()).filePath(QStringLiteral("Плиты_2024.db"));
  try {
    WriteSampleTable(table);
    WritePlateTable(plates);
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

    const QDir pictures(out.filePath(QStringLiteral("guide/pictures")));
    ok = GuideShots(&form, &answers, pictures) && ok;
    ok = ChartShots(&form, &answers, plates, pictures) && ok;
    form.findChild<QAction*>(QStringLiteral("closeTableAction"))->trigger();
  }
  SetDialogs(nullptr);
  return ok ? 0 : 1;
}
