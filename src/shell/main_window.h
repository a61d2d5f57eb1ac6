#pragma once
// The main window "ФИР - ТЛ7": menus, tool bar, the two views of the table
// on their tabs, the series list. It binds these widgets to the table
// session; its handlers are spread over files by subsystem:
//   main_window.cpp          construction, command states, help, about
//   main_window_table.cpp    New / Append / Open / Save / Close, series,
//                            deletion, closing the window
//   main_window_views.cpp    the two views: showing them, fitting,
//                            colours, sorting, footers, column layouts
//   main_window_export.cpp   spreadsheet export
//   main_window_print.cpp    preview and print
#include <QColor>
#include <QMainWindow>
#include <QString>
#include <array>
#include <functional>

#include "platform/settings_store.h"
#include "store/table_session.h"
#include "views/view_spec.h"

class AboutBox;
struct PreparedReport;
class DataGrid;
class DownloadDialog;
class QAction;
class QCloseEvent;
class QGroupBox;
class QLineEdit;
class QListWidget;
class QMenu;
class QTabWidget;
class QToolBar;
class QUrl;
namespace chart {
class ChartPanel;
}
namespace views {
class DateRangeBar;
}

class MainWindow : public QMainWindow {
  Q_OBJECT

 public:
  explicit MainWindow(QWidget* parent = nullptr);
  ~MainWindow() override;

  // The dialogs made at start-up beside the window; it owns them.
  void SetDownloadDialog(DownloadDialog* dialog);
  void SetAboutBox(AboutBox* box);
  DownloadDialog* downloadDialog() const { return downloadDialog_; }
  AboutBox* aboutBox() const { return aboutBox_; }

  // Opens the help file; tests put a recorder in its place (its answer:
  // whether a viewer showed the file).
  void SetHelpOpener(std::function<bool(const QUrl&)> opener);

  // The table as the window shows it, for tests and tools that look on.
  const TableSession& Session() const { return session_; }

 protected:
  void closeEvent(QCloseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  // A view of the table: its description and its widgets.
  struct TableView {
    const views::ViewSpec* spec = nullptr;
    QWidget* tab = nullptr;
    DataGrid* grid = nullptr;
  };

  // The caption without a table, and the settings value of the folder of
  // the last opened table.
  static QString MainTitle();
  static constexpr char kDefaultDirValue[] = "Default_dir";

  // --- construction, states, help, about (main_window.cpp) ---
  void BuildActions();
  void BuildMenus();
  void BuildToolBar();
  void BuildViews();
  QWidget* BuildSeriesBox(QWidget* tab);
  void AttachContextMenu(QWidget* grid);
  void StartWithoutTable();
  bool EnterTableState();
  void LeaveTableState();
  void UpdateCommandStates();
  void SetBackgroundForTable(bool tableOpen);
  void SetTitle(const QString& title);
  void ExitAtOnce();
  void RestoreWindowGeometry();
  void StoreWindowGeometry();
  void ShowHelp();
  void ShowAboutBox();
  void ChoosePort();

  // --- table file (main_window_table.cpp) ---
  void NewTable();
  void CreateTableFromDownload(const QString& path);
  void AppendFromInstrument();
  void AppendDownloadToTable();
  void OpenTable();
  bool OpenTableFile(const QString& path);
  void SaveTable();
  void CloseTable();
  bool SettleUnsavedChanges();
  bool SettleBeforeClosing();
  void ShowIncompleteNotice(const QString& extra);
  void ShowSeriesList(int current = 0);
  void ShowSelectedSeries();
  void DeleteMarkedRows();
  void DeleteRowsOfShownView();
  void ReportTableFailure(const std::exception& e);
  void EndOpenEditors(bool keep);

  // --- views (main_window_views.cpp) ---
  TableView& ViewOf(ShownKind kind);
  TableView& ShownView();
  void ConnectViews();
  void ShowViews();
  void HideViews();
  void ShowKindTab(int index);
  void FitShownColumns();
  void ShowOrHideChart();
  void NarrowSeriesList(const QString& text);
  void PickFirstListedSeries();
  void ShowPlateDates();
  void SetColumnColor();
  void RemoveColumnColor();
  void RemoveAllColumnColors();
  void SortByCurrentColumn();
  void RemoveSorting();
  void ClearSorting(const TableView& view);
  void SortByTitle(const TableView& view, int column);
  void UpdateStatistics();
  void UpdateFooters(const TableView& view);
  bool LoadColumnLayouts();
  void SaveColumnLayout(const TableView& view);

  // --- output (main_window_export.cpp, main_window_print.cpp) ---
  void ExportShownRows();
  void PreviewReport();
  void PrintReport();
  bool PrepareShownReport(PreparedReport* report);

  TableSession session_;
  SettingsStore settings_;
  // The folder of the last opened table, stored at close.
  QString defaultDir_;
  QString openDialogDir_;
  QString saveDialogDir_;
  // The colour dialog opens on the colour chosen last.
  QColor lastColor_ = Qt::black;
  DownloadDialog* downloadDialog_ = nullptr;
  AboutBox* aboutBox_ = nullptr;
  // Shows the help file, then tells whether a viewer showed it.
  std::function<void(const QUrl&, std::function<void(bool)>)> openHelpUrl_;

  std::array<TableView, 2> views_;
  QTabWidget* viewTabs_ = nullptr;
  chart::ChartPanel* chartPanel_ = nullptr;
  QGroupBox* seriesBox_ = nullptr;
  QListWidget* seriesList_ = nullptr;
  QLineEdit* seriesSearch_ = nullptr;
  views::DateRangeBar* plateDates_ = nullptr;
  QToolBar* toolBar_ = nullptr;
  QMenu* gridContextMenu_ = nullptr;

  // One action per command; the tool bar shows the menus' own.
  QAction* newTableAction_ = nullptr;
  QAction* appendAction_ = nullptr;
  QAction* openTableAction_ = nullptr;
  QAction* saveTableAction_ = nullptr;
  QAction* closeTableAction_ = nullptr;
  QAction* previewAction_ = nullptr;
  QAction* printAction_ = nullptr;
  QAction* exitAction_ = nullptr;
  QAction* fitColumnsAction_ = nullptr;
  QAction* setColorAction_ = nullptr;
  QAction* removeColorAction_ = nullptr;
  QAction* removeAllColorsAction_ = nullptr;
  QAction* sortByColumnAction_ = nullptr;
  QAction* removeSortingAction_ = nullptr;
  QAction* showChartAction_ = nullptr;
  QAction* deleteRowsAction_ = nullptr;
  QAction* deletePopupAction_ = nullptr;
  QAction* exportXlsAction_ = nullptr;
  QAction* choosePortAction_ = nullptr;
  QAction* helpAction_ = nullptr;
  QAction* aboutAction_ = nullptr;
};
