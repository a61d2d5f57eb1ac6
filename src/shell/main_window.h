#pragma once
// The main window "ФИР - ТЛ7": menus, tool bar, the page control with the two
// views and the series list, and the program-wide state it owns. Its
// handlers are spread over files by subsystem:
//   main_window.cpp          start-up state, menus, states, tabs, help, about
//   main_window_table.cpp    New / Open / Save / Close, series list, decoders
//   main_window_views.cpp    grid commands, sorting, colours, column layouts
//   main_window_export.cpp   spreadsheet export
//   main_window_print.cpp    preview and print
#include <QColor>
#include <QMainWindow>
#include <QString>
#include <functional>

#include "platform/settings_store.h"
#include "store/measurement_table.h"
#include "store/table_stats.h"
#include "views/grid/data_grid.h"

class QAction;
class QCloseEvent;
class QGroupBox;
class QListWidget;
class QMenu;
class QTabWidget;
class QToolBar;
class QToolButton;
class QUrl;
class TForm2;
class Tform6;

// The grid class of both views.
using TDBGridPro = DataGrid;

class TForm1 : public QMainWindow {
  Q_OBJECT

 public:
  explicit TForm1(QWidget* parent = nullptr);
  ~TForm1() override;

  // --- start-up, states, tabs, help, about (main_window.cpp) ---
  void FormCreate();
  // Closing through the window frame: stores Default_dir, closes the table.
  void FormClose();
  void N11Click();  // "Выход": ends the message loop at once
  void N24Click();  // "Помощь"
  void ToolButton6Click();
  void N26Click();  // "О программе"
  void enable_button();
  void disable_button();
  void tab_vis_en();
  void tab_vis_dis();
  void TabSheet1Show();
  void TabSheet2Show();
  // Background colour of the two states: button face with a table open,
  // button shadow without.
  void SetTableColor(bool tableOpen);
  // Sets the text of the task bar and of the window caption together.
  void SetTitle(const QString& title);

  // --- table file lifecycle (main_window_table.cpp) ---
  void N2Click();  // "Создать"
  void Create_DB();
  void N3Click();  // "Открыть"
  // False when the open stopped: a damaged file, or a stored column layout
  // that cannot be read.
  bool Open_DB(const QString& path);
  void N5Click();  // "Сохранить"
  void Save_DB();
  void N7Click();  // "Закрыть"
  void Close_DB();
  void ListBox1Click();
  void ListBox1DblClick();
  void N21Click();  // "Удалить строки" / "Удалить"
  void DeleteGridRows(TDBGridPro* grid);
  void flash2klt3();
  void flash2zen();

  // --- views (main_window_views.cpp) ---
  void N23Click();  // "Выровнять столбцы"
  void N17Click();  // "Задать цвет"
  void N18Click();  // "Убрать цвет"
  void N19Click();  // "Убрать все цвета"
  void N33Click();  // "Убрать сортировку"
  void DBGridPro1TitleStateChange(int column);
  void DBGridPro2TitleStateChange(int column);
  void DBGridPro1InitEdit();
  void DBGridPro1SelectionChange();
  void DBGridPro2SelectionChange();
  void ClearSorting(TDBGridPro* grid, const QString& tag);
  void FitColumns(TDBGridPro* grid);
  void ClearColumnColors(TDBGridPro* grid);
  // False (after the general error message) when the stored text cannot be
  // read: the command that applies the layouts stops there.
  bool LoadColumnLayout(const QString& name, TDBGridPro* grid);
  void SaveColumnLayout(TDBGridPro* grid, const QString& name);
  void find_mma();
  // Columns of both views, their events and the shared table.
  void ConnectGrids();

  // --- spreadsheet export (main_window_export.cpp) ---
  void Excel1Click();  // "Экспорт в Excel"
  void exp2excel();

  // --- printed reports (main_window_print.cpp) ---
  void N8Click();   // "Предварительный просмотр"
  void N9Click();   // "Печать"
  void N22Click();  // popup "Печать"

  // --- state owned by the main window ---
  MeasurementTable Table;
  SettingsStore Settings;
  bool TableOpen = false;
  bool TableModified = false;
  // Minimum, mean and maximum of P and R from the last find_mma.
  TableStats Stats;
  QString DefaultDir;
  // Start folders of the open and save dialogs.
  QString OpenDialog1InitialDir;
  QString SaveDialog1InitialDir;
  // The file name chosen in the save dialog of New, for Create_DB.
  QString SaveDialog1FileName;
  // The colour dialog opens on the colour chosen last.
  QColor ColorDialog1Color = Qt::black;

  // Windows created at start-up beside this one (owned by it).
  TForm2* Form2 = nullptr;
  Tform6* Form6 = nullptr;

  // Opens the help file; tests replace it.
  std::function<bool(const QUrl&)> OpenHelpUrl;

  // --- widgets ---
  QTabWidget* PageControl1 = nullptr;
  QWidget* TabSheet1 = nullptr;  // "ЗЕН-ТЛ7", index 0
  QWidget* TabSheet2 = nullptr;  // "ФИР-ТЛ7", index 1
  QGroupBox* GroupBox1 = nullptr;
  QListWidget* ListBox1 = nullptr;
  TDBGridPro* DBGridPro1 = nullptr;
  TDBGridPro* DBGridPro2 = nullptr;

  // Menu bar. "Файл"
  QMenu* N1 = nullptr;
  QAction* N2 = nullptr;   // "Создать"
  QAction* N3 = nullptr;   // "Открыть"
  QAction* N5 = nullptr;   // "Сохранить"
  QAction* N7 = nullptr;   // "Закрыть"
  QAction* N8 = nullptr;   // "Предварительный просмотр"
  QAction* N9 = nullptr;   // "Печать"
  QAction* N11 = nullptr;  // "Выход"
  // "Вид"
  QMenu* N12 = nullptr;
  QAction* N27 = nullptr;  // "Выровнять столбцы"
  QAction* N29 = nullptr;  // "Задать цвет"
  QAction* N30 = nullptr;  // "Убрать цвет"
  QAction* N31 = nullptr;  // "Убрать все цвета"
  QAction* N33 = nullptr;  // "Убрать сортировку"
  // "Правка"
  QMenu* N20 = nullptr;
  QAction* N34 = nullptr;  // "Удалить строки"
  // "Сервис"
  QMenu* N13 = nullptr;
  QAction* Excel1 = nullptr;  // "Экспорт в Excel"
  // "Справка"
  QMenu* N14 = nullptr;
  QAction* N24 = nullptr;  // "Помощь"
  QAction* N26 = nullptr;  // "О программе"

  // Context menu of both grids (always enabled; each handler checks the table).
  QMenu* PopupMenu1 = nullptr;
  QAction* N22 = nullptr;  // "Печать"
  QAction* N17 = nullptr;  // "Задать цвет"
  QAction* N18 = nullptr;  // "Убрать цвет"
  QAction* N19 = nullptr;  // "Убрать все цвета"
  QAction* N23 = nullptr;  // "Выровнять столбцы"
  QAction* N21 = nullptr;  // "Удалить"

  // Tool bar: New, Open, Save, Preview, Print, Help.
  QToolBar* ToolBar1 = nullptr;
  QToolButton* ToolButton1 = nullptr;
  QToolButton* ToolButton2 = nullptr;
  QToolButton* ToolButton3 = nullptr;
  QToolButton* ToolButton4 = nullptr;
  QToolButton* ToolButton5 = nullptr;
  QToolButton* ToolButton6 = nullptr;

  // Gives a grid the shared context menu (for grids created later, too).
  void AttachPopupMenu(QWidget* grid);

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  void BuildMenus();
  void BuildToolBar();
  void BuildPages();
  void PageChanged(int index);
  void ShowHelp();
};
