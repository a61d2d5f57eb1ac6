#include "shell/main_window.h"

#include <QAction>
#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QScreen>
#include <QTabWidget>
#include <QToolBar>
#include <QUrl>
#include <QVBoxLayout>

#include "link/ui/port_dialog.h"
#include "platform/dialogs.h"
#include "platform/help_viewer.h"
#include "shell/about_box.h"
#include "shell/app_state.h"
#include "shell/pictures.h"
#include "views/chart/chart_panel.h"
#include "views/date_range_bar.h"
#include "views/grid/data_grid.h"
#include "views/series_list_view.h"

namespace {
const char kGeometryValue[] = "Window_geometry";
const char kMaximizedValue[] = "Window_maximized";

QString Ru(const char* utf8) { return QString::fromUtf8(utf8); }

// An action of the window: its caption, picture (-1 for none), shortcut,
// object name (tests find it by that) and handler.
QAction* NewAction(QObject* owner, const char* name, const QString& text, int picture,
                   const QKeySequence& keys, MainWindow* window, void (MainWindow::*handler)()) {
  auto* action = new QAction(text, owner);
  action->setObjectName(QLatin1String(name));
  if (picture >= 0) action->setIcon(Picture(picture));
  if (!keys.isEmpty()) action->setShortcut(keys);
  QObject::connect(action, &QAction::triggered, window, [window, handler] { (window->*handler)(); });
  return action;
}
}  // namespace

QString MainWindow::MainTitle() { return Ru("ФИР - ТЛ7"); }

MainWindow::MainWindow(QWidget* parent) : QMainWindow(parent) {
  // The caption alone: the application's title stays as the start set it.
  setWindowTitle(MainTitle());
  setWindowIcon(Picture(0));
  openHelpUrl_ = [this](const QUrl& url, std::function<void(bool)> done) {
    OpenInViewer(this, url, std::move(done));
  };
  BuildActions();
  BuildMenus();
  BuildToolBar();
  BuildViews();
  StartWithoutTable();
}

MainWindow::~MainWindow() = default;

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::KeyPress &&
      static_cast<QKeyEvent*>(event)->key() == Qt::Key_Delete &&
      static_cast<QKeyEvent*>(event)->modifiers() == Qt::NoModifier) {
    for (const TableView& v : views_) {
      QTableView* view = v.grid->view();
      if (watched == view && !view->indexWidget(view->currentIndex())) {
        DeleteMarkedRows();
        return true;
      }
    }
  }
  return QMainWindow::eventFilter(watched, event);
}

void MainWindow::SetDownloadDialog(DownloadDialog* dialog) { downloadDialog_ = dialog; }

void MainWindow::SetAboutBox(AboutBox* box) { aboutBox_ = box; }

void MainWindow::SetHelpOpener(std::function<bool(const QUrl&)> opener) {
  openHelpUrl_ = [opener](const QUrl& url, std::function<void(bool)> done) {
    done(opener(url));
  };
}

void MainWindow::BuildActions() {
  using W = MainWindow;
  const QKeySequence none;
  newTableAction_ = NewAction(this, "newTableAction", Ru("Соз&дать"), 0,
                              QKeySequence(Qt::CTRL | Qt::Key_N), this, &W::NewTable);
  appendAction_ = NewAction(this, "appendAction", Ru("Дополнить из п&рибора…"), 7, none, this,
                            &W::AppendFromInstrument);
  openTableAction_ = NewAction(this, "openTableAction", Ru("&Открыть"), 1,
                               QKeySequence(Qt::CTRL | Qt::Key_O), this, &W::OpenTable);
  saveTableAction_ = NewAction(this, "saveTableAction", Ru("&Сохранить"), 2,
                               QKeySequence(Qt::CTRL | Qt::Key_S), this, &W::SaveTable);
  closeTableAction_ =
      NewAction(this, "closeTableAction", Ru("&Закрыть"), -1, none, this, &W::CloseTable);
  previewAction_ = NewAction(this, "previewAction", Ru("Пред&варительный просмотр"), 3, none, this,
                             &W::PreviewReport);
  printAction_ = NewAction(this, "printAction", Ru("&Печать"), 4, QKeySequence(Qt::CTRL | Qt::Key_P),
                           this, &W::PrintReport);
  exitAction_ = NewAction(this, "exitAction", Ru("В&ыход"), -1, none, this, &W::ExitAtOnce);
  fitColumnsAction_ = NewAction(this, "fitColumnsAction", Ru("&Выровнять столбцы"), -1, none, this,
                                &W::FitShownColumns);
  setColorAction_ =
      NewAction(this, "setColorAction", Ru("&Задать цвет"), -1, none, this, &W::SetColumnColor);
  removeColorAction_ = NewAction(this, "removeColorAction", Ru("&Убрать цвет"), -1, none, this,
                                 &W::RemoveColumnColor);
  removeAllColorsAction_ = NewAction(this, "removeAllColorsAction", Ru("Убрать все &цвета"), -1,
                                     none, this, &W::RemoveAllColumnColors);
  sortByColumnAction_ = NewAction(this, "sortByColumnAction", Ru("&Сортировать по столбцу"), -1,
                                  none, this, &W::SortByCurrentColumn);
  removeSortingAction_ = NewAction(this, "removeSortingAction", Ru("Убрать с&ортировку"), -1, none,
                                   this, &W::RemoveSorting);
  showChartAction_ =
      NewAction(this, "showChartAction", Ru("&График"), -1, none, this, &W::ShowOrHideChart);
  showChartAction_->setCheckable(true);
  deleteRowsAction_ = NewAction(this, "deleteRowsAction", Ru("&Удалить строки"), 6, QKeySequence(Qt::Key_Delete), this,
                                &W::DeleteMarkedRows);
  exportXlsAction_ = NewAction(this, "exportXlsAction", Ru("&Экспорт в Excel"), -1,
                               QKeySequence(Qt::CTRL | Qt::Key_E), this,
                               &W::ExportShownRows);
  choosePortAction_ = NewAction(this, "choosePortAction", Ru("&Порт прибора…"), -1,
                                QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_P), this,
                                &W::ChoosePort);
  helpAction_ =
      NewAction(this, "helpAction", Ru("&Помощь"), 5, QKeySequence(Qt::Key_F1), this, &W::ShowHelp);
  aboutAction_ =
      NewAction(this, "aboutAction", Ru("&О программе"), -1, none, this, &W::ShowAboutBox);
}

void MainWindow::BuildMenus() {
  QMenuBar* bar = menuBar();
  QMenu* file = bar->addMenu(Ru("&Файл"));
  file->setObjectName(QStringLiteral("fileMenu"));
  file->addActions(
      {newTableAction_, appendAction_, openTableAction_, saveTableAction_, closeTableAction_});
  file->addSeparator();
  file->addActions({previewAction_, printAction_});
  file->addSeparator();
  file->addAction(exitAction_);

  QMenu* view = bar->addMenu(Ru("&Вид"));
  view->setObjectName(QStringLiteral("viewMenu"));
  view->addAction(fitColumnsAction_);
  view->addSeparator();
  view->addActions({setColorAction_, removeColorAction_, removeAllColorsAction_});
  view->addSeparator();
  view->addActions({sortByColumnAction_, removeSortingAction_});
  view->addSeparator();
  view->addAction(showChartAction_);

  QMenu* edit = bar->addMenu(Ru("&Правка"));
  edit->setObjectName(QStringLiteral("editMenu"));
  edit->addAction(deleteRowsAction_);

  QMenu* service = bar->addMenu(Ru("С&ервис"));
  service->setObjectName(QStringLiteral("serviceMenu"));
  service->addAction(exportXlsAction_);
  service->addAction(choosePortAction_);

  QMenu* help = bar->addMenu(Ru("&Справка"));
  help->setObjectName(QStringLiteral("helpMenu"));
  help->addAction(helpAction_);
  help->addSeparator();
  help->addAction(aboutAction_);

  // F10 opens the menu bar, as Alt does (the style takes care of Alt).
  auto* menuKey = new QAction(this);
  menuKey->setObjectName(QStringLiteral("menuBarAction"));
  menuKey->setShortcut(QKeySequence(Qt::Key_F10));
  connect(menuKey, &QAction::triggered, bar,
          [bar] { bar->setActiveAction(bar->actions().constFirst()); });
  addAction(menuKey);

  // The context menu of both grids has actions of its own: they stay
  // enabled, and each handler checks for a table itself.
  using W = MainWindow;
  const QKeySequence none;
  gridContextMenu_ = new QMenu(this);
  gridContextMenu_->setObjectName(QStringLiteral("gridContextMenu"));
  QMenu* m = gridContextMenu_;
  m->addAction(NewAction(m, "printPopupAction", Ru("&Печать"), -1, none, this, &W::PrintReport));
  m->addSeparator();
  m->addAction(
      NewAction(m, "setColorPopupAction", Ru("&Задать цвет"), -1, none, this, &W::SetColumnColor));
  m->addAction(NewAction(m, "removeColorPopupAction", Ru("&Убрать цвет"), -1, none, this,
                         &W::RemoveColumnColor));
  m->addAction(NewAction(m, "removeAllColorsPopupAction", Ru("Убрать все &цвета"), -1, none, this,
                         &W::RemoveAllColumnColors));
  m->addSeparator();
  m->addAction(NewAction(m, "fitColumnsPopupAction", Ru("&Выровнять столбцы"), -1, none, this,
                         &W::FitShownColumns));
  m->addSeparator();
  deletePopupAction_ =
      NewAction(m, "deletePopupAction", Ru("У&далить"), -1, none, this, &W::DeleteMarkedRows);
  m->addAction(deletePopupAction_);
}

void MainWindow::BuildToolBar() {
  toolBar_ = addToolBar(QStringLiteral("toolBar"));
  toolBar_->setObjectName(QStringLiteral("toolBar"));
  toolBar_->setMovable(false);
  toolBar_->setIconSize(QSize(24, 24));
  toolBar_->setToolButtonStyle(Qt::ToolButtonIconOnly);
  toolBar_->toggleViewAction()->setVisible(false);
  setContextMenuPolicy(Qt::NoContextMenu);
  toolBar_->addActions({newTableAction_, appendAction_, openTableAction_, saveTableAction_,
                        previewAction_, printAction_, helpAction_});
}

void MainWindow::BuildViews() {
  auto* central = new QWidget(this);
  auto* centralLayout = new QVBoxLayout(central);
  centralLayout->setContentsMargins(0, 0, 0, 0);
  setCentralWidget(central);
  central->setAutoFillBackground(true);

  // The chart, when shown, beside the grids. A layout, not a splitter: a
  // layout gives the views their width as soon as they are shown, which
  // fitting the columns at Open relies on.
  auto* besideLayout = new QHBoxLayout;
  besideLayout->setContentsMargins(0, 0, 0, 0);
  centralLayout->addLayout(besideLayout);
  viewTabs_ = new QTabWidget(central);
  viewTabs_->setObjectName(QStringLiteral("viewTabs"));
  besideLayout->addWidget(viewTabs_, 3);
  chartPanel_ = new chart::ChartPanel(central);
  chartPanel_->setObjectName(QStringLiteral("chartPanel"));
  chartPanel_->hide();
  besideLayout->addWidget(chartPanel_, 2);

  for (size_t i = 0; i < views_.size(); ++i) {
    TableView& view = views_[i];
    view.spec = &views::ViewSpecs()[i];
    view.tab = new QWidget;
    view.tab->setObjectName(view.spec->tabName);
    auto* layout = new QHBoxLayout(view.tab);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    // The series list stands left of the water-permeability grid.
    if (view.spec->kind == ShownKind::Water) layout->addWidget(BuildSeriesBox(view.tab));
    view.grid = new DataGrid(view.tab);
    view.grid->setObjectName(view.spec->gridName);
    if (view.spec->kind == ShownKind::Plate) {
      // The range of dates above the plate grid.
      auto* column = new QVBoxLayout;
      column->setSpacing(0);
      plateDates_ = new views::DateRangeBar(view.tab);
      plateDates_->setObjectName(QStringLiteral("plateDates"));
      column->addWidget(plateDates_);
      column->addWidget(view.grid, 1);
      layout->addLayout(column, 1);
    } else {
      layout->addWidget(view.grid, 1);
    }
    viewTabs_->addTab(view.tab, view.spec->caption);
  }

  // However an entry is highlighted (mouse, arrow keys, Home/End, typing),
  // its rows are the rows shown.
  connect(seriesList_, &QListWidget::currentRowChanged, this, [this] { ShowSelectedSeries(); });
  connect(seriesList_, &QListWidget::itemClicked, this, [this] { ShowSelectedSeries(); });
  connect(seriesSearch_, &QLineEdit::textChanged, this, &MainWindow::NarrowSeriesList);
  connect(seriesSearch_, &QLineEdit::returnPressed, this, &MainWindow::PickFirstListedSeries);
  connect(plateDates_, &views::DateRangeBar::RangeChanged, this, &MainWindow::ShowPlateDates);
  connect(viewTabs_, &QTabWidget::currentChanged, this, &MainWindow::ShowKindTab);
  for (const TableView& v : views_) {
    AttachContextMenu(v.grid);
    // The Delete key on a grid deletes as "Удалить строки" does (a cell
    // editor keeps the key for its text).
    v.grid->view()->installEventFilter(this);
  }
  ConnectViews();
}

// The search field over the group "Серия испытаний" with the series list.
QWidget* MainWindow::BuildSeriesBox(QWidget* tab) {
  auto* column = new QWidget(tab);
  column->setObjectName(QStringLiteral("seriesColumn"));
  auto* columnLayout = new QVBoxLayout(column);
  columnLayout->setContentsMargins(0, 0, 0, 0);
  columnLayout->setSpacing(2);
  // Outside the group, so that the group's letter still takes the keyboard
  // to the list; Tab goes on from the list to the grid.
  seriesSearch_ = new QLineEdit(column);
  seriesSearch_->setObjectName(QStringLiteral("seriesSearch"));
  seriesSearch_->setPlaceholderText(Ru("Номер или дата"));
  seriesSearch_->setToolTip(
      Ru("Начало номера серии или дата начала испытания (05.03, 05.03.2024); Enter показывает "
         "первую найденную серию"));
  seriesSearch_->setClearButtonEnabled(true);
  columnLayout->addWidget(seriesSearch_);
  // Alt with its letter takes the keyboard to the list (the grid keeps Tab
  // for its cells).
  seriesBox_ = new QGroupBox(Ru("Серия &испытаний"), column);
  seriesBox_->setObjectName(QStringLiteral("seriesBox"));
  auto* seriesLayout = new QVBoxLayout(seriesBox_);
  seriesLayout->setContentsMargins(2, 2, 2, 2);
  seriesList_ = new QListWidget(seriesBox_);
  seriesList_->setObjectName(QStringLiteral("seriesList"));
  seriesList_->setSelectionMode(QAbstractItemView::SingleSelection);
  // The list keeps its narrow width, which the grid needs; an entry takes
  // two lines instead.
  seriesList_->setWordWrap(true);
  seriesList_->setTextElideMode(Qt::ElideNone);
  seriesList_->setAlternatingRowColors(true);
  seriesLayout->addWidget(seriesList_);
  columnLayout->addWidget(seriesBox_, 1);
  column->setFixedWidth(129);
  return column;
}

void MainWindow::AttachContextMenu(QWidget* grid) {
  grid->setContextMenuPolicy(Qt::CustomContextMenu);
  connect(grid, &QWidget::customContextMenuRequested, gridContextMenu_,
          [this, grid](const QPoint& pos) { gridContextMenu_->popup(grid->mapToGlobal(pos)); });
}

void MainWindow::StartWithoutTable() {
  const QString help = FindHelpFile(QCoreApplication::applicationDirPath());
  if (!help.isEmpty()) SetApplicationHelpFile(help);

  // A settings file that cannot be read or parsed leaves the store empty:
  // the program then starts as on a first run.
  settings_.Open();
  RestoreWindowGeometry();
  if (settings_.ValueExists(QLatin1String(kDefaultDirValue))) {
    defaultDir_ = settings_.ReadString(QLatin1String(kDefaultDirValue));
  } else {
    defaultDir_ = QDir::currentPath();
    settings_.WriteString(QLatin1String(kDefaultDirValue), defaultDir_);
    try {
      settings_.Sync();
    } catch (const SettingsError&) {
      // The folder stays pending and goes with the next write that works.
    }
  }
  openDialogDir_ = defaultDir_;
  saveDialogDir_ = defaultDir_;

  session_.Close();
  for (const TableView& v : views_) ClearSorting(v);
  LeaveTableState();
}

// From the state without table to the state with the session's table: the
// background of that state, the table commands, the tab of the table's kind
// with its rows, the stored column layouts, then the file's name in the
// title. False when a stored layout cannot be read: the command stops there
// (after its message), before the title.
bool MainWindow::EnterTableState() {
  SetBackgroundForTable(true);
  UpdateCommandStates();
  ShowViews();
  if (!LoadColumnLayouts()) return false;
  SetTitle(QFileInfo(session_.Table().FilePath()).completeBaseName() +
           (session_.ReadOnly() ? QStringLiteral(" (только чтение)") : QString()) +
           QStringLiteral(" - ") + MainTitle());
  session_.DiscardModified();
  return true;
}

// The window in its state without table. The program's own title comes
// back where a table's name stood; before the first table the application
// keeps the title it started with.
void MainWindow::LeaveTableState() {
  seriesList_->clear();
  seriesSearch_->clear();
  UpdateCommandStates();
  HideViews();
  if (windowTitle() != MainTitle()) SetTitle(MainTitle());
  SetBackgroundForTable(false);
}

// Every action's enabled state, from whether a table is there and whether
// it may be changed. The tool bar shows the same actions; the context
// menu's stay enabled, but for deletion of a read-only table.
void MainWindow::UpdateCommandStates() {
  for (QAction* a : {closeTableAction_, previewAction_, printAction_, fitColumnsAction_,
                     setColorAction_, removeColorAction_, removeAllColorsAction_,
                     sortByColumnAction_, removeSortingAction_, exportXlsAction_})
    a->setEnabled(session_.HasTable());
  // The commands that write to the table.
  for (QAction* a : {saveTableAction_, appendAction_, deleteRowsAction_})
    a->setEnabled(session_.IsEditable());
  deletePopupAction_->setEnabled(!session_.ReadOnly());
}

// The size, place and maximized state of the last run; on a first run (or
// over a value that cannot be read) three quarters of the screen, centred,
// and maximized, so that a desktop that does not maximize windows still
// shows the whole table.
void MainWindow::RestoreWindowGeometry() {
  bool restored = false;
  if (settings_.ValueExists(QLatin1String(kGeometryValue))) {
    const QByteArray stored = QByteArray::fromBase64(
        settings_.ReadString(QLatin1String(kGeometryValue)).toLatin1());
    restored = !stored.isEmpty() && restoreGeometry(stored);
    // A damaged value may still parse: a window too small to use, or on no
    // screen, counts as none.
    const QRect frame = geometry();
    bool onScreen = false;
    for (const QScreen* s : QGuiApplication::screens())
      onScreen = onScreen || s->availableGeometry().intersects(frame);
    restored = restored && frame.width() >= 320 && frame.height() >= 240 && onScreen;
  }
  if (!restored) {
    QScreen* screen = QGuiApplication::primaryScreen();
    const QRect room = screen ? screen->availableGeometry() : QRect(0, 0, 1024, 768);
    const QSize size = QSize(room.width() * 3 / 4, room.height() * 3 / 4)
                           .expandedTo(QSize(800, 600))
                           .boundedTo(room.size());
    QRect frame(QPoint(), size);
    frame.moveCenter(room.center());
    setGeometry(frame);
  }
  const bool maximized =
      !restored || settings_.ReadString(QLatin1String(kMaximizedValue)) != QLatin1String("0");
  setWindowState(maximized ? windowState() | Qt::WindowMaximized
                           : windowState() & ~Qt::WindowMaximized);
}

void MainWindow::StoreWindowGeometry() {
  settings_.WriteString(QLatin1String(kGeometryValue), QString::fromLatin1(saveGeometry().toBase64()));
  settings_.WriteString(QLatin1String(kMaximizedValue),
                        isMaximized() ? QStringLiteral("1") : QStringLiteral("0"));
  settings_.Sync();
}

void MainWindow::ExitAtOnce() {
  try {
    StoreWindowGeometry();
  } catch (const SettingsError&) {
    // The size is not worth keeping the operator from leaving.
  }
  // exit() rather than quit(): quit() would first close the windows and so
  // store the folder and close the table, which "Выход" must skip.
  QCoreApplication::exit(0);
}

void MainWindow::ShowHelp() {
  const QString path = ApplicationHelpFile();
  if (!QFileInfo(path).isFile()) {
    Dialogs().Message(this, QMessageBox::Warning, ApplicationTitle(),
                      Ru("Файл справки \"%1\" не найден.").arg(QDir::toNativeSeparators(path)),
                      QMessageBox::Ok);
    return;
  }
  openHelpUrl_(QUrl::fromLocalFile(path), [this, path](bool shown) {
    if (shown) return;
    Dialogs().Message(this, QMessageBox::Warning, ApplicationTitle(),
                      Ru("Не удалось открыть файл справки \"%1\": на компьютере не найдена "
                         "программа для его просмотра (например, браузер). Откройте этот файл "
                         "в браузере сами.")
                          .arg(QDir::toNativeSeparators(path)),
                      QMessageBox::Ok);
  });
}

// "Порт прибора…": works with or without a table; the next "Создать" uses
// the choice.
void MainWindow::ChoosePort() {
  PortDialog dialog(this);
  Dialogs().Exec(&dialog);
}

void MainWindow::ShowAboutBox() {
  if (aboutBox_) {
    Dialogs().Exec(aboutBox_);
    return;
  }
  AboutBox about(this);
  Dialogs().Exec(&about);
}

// Background of the two states: button face with a table open, button
// shadow without.
void MainWindow::SetBackgroundForTable(bool tableOpen) {
  QWidget* area = centralWidget();
  QPalette pal = area->palette();
  const QPalette app = QApplication::palette();
  pal.setColor(QPalette::Window,
               tableOpen ? app.color(QPalette::Button) : app.color(QPalette::Dark));
  area->setPalette(pal);
}

// The task bar's text and the window caption together.
void MainWindow::SetTitle(const QString& title) {
  SetApplicationTitle(title);
  setWindowTitle(title);
}
