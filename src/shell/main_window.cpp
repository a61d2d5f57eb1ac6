#include "shell/main_window.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QTabWidget>
#include <QToolBar>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>

#include "platform/dialogs.h"
#include "shell/about_box.h"
#include "shell/app_state.h"
#include "shell/pictures.h"
#include "store/shown_rows.h"

namespace {
const char kDefaultDirValue[] = "Default_dir";

QString Ru(const char* utf8) { return QString::fromUtf8(utf8); }
}  // namespace

TForm1::TForm1(QWidget* parent) : QMainWindow(parent) {
  setWindowTitle(Ru("ФИР - ТЛ7"));
  setWindowIcon(Picture(0));
  OpenHelpUrl = [](const QUrl& url) { return QDesktopServices::openUrl(url); };
  BuildMenus();
  BuildToolBar();
  BuildPages();
  FormCreate();
}

TForm1::~TForm1() = default;

namespace {
QAction* NewAction(QWidget* owner, const QString& text, int picture, const QKeySequence& keys,
                   TForm1* form, void (TForm1::*handler)()) {
  auto* action = new QAction(text, owner);
  if (picture >= 0) action->setIcon(Picture(picture));
  if (!keys.isEmpty()) action->setShortcut(keys);
  QObject::connect(action, &QAction::triggered, form, [form, handler] { (form->*handler)(); });
  return action;
}
}  // namespace

void TForm1::BuildMenus() {
  const QKeySequence none;
  QMenuBar* bar = menuBar();

  N1 = bar->addMenu(Ru("Файл"));
  N2 =
      NewAction(this, Ru("Создать"), 0, QKeySequence(Qt::CTRL | Qt::Key_N), this, &TForm1::N2Click);
  N3 =
      NewAction(this, Ru("Открыть"), 1, QKeySequence(Qt::CTRL | Qt::Key_O), this, &TForm1::N3Click);
  N5 = NewAction(this, Ru("Сохранить"), 2, QKeySequence(Qt::CTRL | Qt::Key_S), this,
                 &TForm1::N5Click);
  N7 = NewAction(this, Ru("Закрыть"), -1, none, this, &TForm1::N7Click);
  N8 = NewAction(this, Ru("Предварительный просмотр"), 3, none, this, &TForm1::N8Click);
  N9 = NewAction(this, Ru("Печать"), 4, QKeySequence(Qt::CTRL | Qt::Key_P), this, &TForm1::N9Click);
  N11 = NewAction(this, Ru("Выход"), -1, none, this, &TForm1::N11Click);
  N1->addAction(N2);
  N1->addAction(N3);
  N1->addAction(N5);
  N1->addAction(N7);
  N1->addSeparator();
  N1->addAction(N8);
  N1->addAction(N9);
  N1->addSeparator();
  N1->addAction(N11);

  N12 = bar->addMenu(Ru("Вид"));
  N27 = NewAction(this, Ru("Выровнять столбцы"), -1, none, this, &TForm1::N23Click);
  N29 = NewAction(this, Ru("Задать цвет"), -1, none, this, &TForm1::N17Click);
  N30 = NewAction(this, Ru("Убрать цвет"), -1, none, this, &TForm1::N18Click);
  N31 = NewAction(this, Ru("Убрать все цвета"), -1, none, this, &TForm1::N19Click);
  N33 = NewAction(this, Ru("Убрать сортировку"), -1, none, this, &TForm1::N33Click);
  N12->addAction(N27);
  N12->addSeparator();
  N12->addAction(N29);
  N12->addAction(N30);
  N12->addAction(N31);
  N12->addSeparator();
  N12->addAction(N33);

  N20 = bar->addMenu(Ru("Правка"));
  N34 = NewAction(this, Ru("Удалить строки"), 6, none, this, &TForm1::N21Click);
  N20->addAction(N34);

  N13 = bar->addMenu(Ru("Сервис"));
  Excel1 = NewAction(this, Ru("Экспорт в Excel"), -1, none, this, &TForm1::Excel1Click);
  N13->addAction(Excel1);

  N14 = bar->addMenu(Ru("Справка"));
  N24 = NewAction(this, Ru("Помощь"), 5, QKeySequence(Qt::Key_F1), this, &TForm1::N24Click);
  N26 = NewAction(this, Ru("О программе"), -1, none, this, &TForm1::N26Click);
  N14->addAction(N24);
  N14->addSeparator();
  N14->addAction(N26);

  PopupMenu1 = new QMenu(this);
  N22 = NewAction(PopupMenu1, Ru("Печать"), -1, none, this, &TForm1::N22Click);
  N17 = NewAction(PopupMenu1, Ru("Задать цвет"), -1, none, this, &TForm1::N17Click);
  N18 = NewAction(PopupMenu1, Ru("Убрать цвет"), -1, none, this, &TForm1::N18Click);
  N19 = NewAction(PopupMenu1, Ru("Убрать все цвета"), -1, none, this, &TForm1::N19Click);
  N23 = NewAction(PopupMenu1, Ru("Выровнять столбцы"), -1, none, this, &TForm1::N23Click);
  N21 = NewAction(PopupMenu1, Ru("Удалить"), -1, none, this, &TForm1::N21Click);
  PopupMenu1->addAction(N22);
  PopupMenu1->addSeparator();
  PopupMenu1->addAction(N17);
  PopupMenu1->addAction(N18);
  PopupMenu1->addAction(N19);
  PopupMenu1->addSeparator();
  PopupMenu1->addAction(N23);
  PopupMenu1->addSeparator();
  PopupMenu1->addAction(N21);
}

void TForm1::BuildToolBar() {
  ToolBar1 = addToolBar(QStringLiteral("ToolBar1"));
  ToolBar1->setMovable(false);
  ToolBar1->setIconSize(QSize(24, 24));
  ToolBar1->toggleViewAction()->setVisible(false);
  setContextMenuPolicy(Qt::NoContextMenu);
  auto button = [this](int picture, const QString& hint, void (TForm1::*handler)()) {
    auto* b = new QToolButton(ToolBar1);
    b->setIcon(Picture(picture));
    b->setToolTip(hint);
    b->setAutoRaise(true);
    connect(b, &QToolButton::clicked, this, [this, handler] { (this->*handler)(); });
    ToolBar1->addWidget(b);
    return b;
  };
  ToolButton1 = button(0, Ru("Создать"), &TForm1::N2Click);
  ToolButton2 = button(1, Ru("Открыть"), &TForm1::N3Click);
  ToolButton3 = button(2, Ru("Сохранить"), &TForm1::N5Click);
  ToolButton4 = button(3, Ru("Предварительный просмотр"), &TForm1::N8Click);
  ToolButton5 = button(4, Ru("Печать"), &TForm1::N9Click);
  ToolButton6 = button(5, Ru("Помощь"), &TForm1::ToolButton6Click);
}

void TForm1::BuildPages() {
  auto* central = new QWidget(this);
  auto* centralLayout = new QVBoxLayout(central);
  centralLayout->setContentsMargins(0, 0, 0, 0);
  setCentralWidget(central);
  central->setAutoFillBackground(true);

  PageControl1 = new QTabWidget(central);
  PageControl1->setObjectName(QStringLiteral("PageControl1"));
  centralLayout->addWidget(PageControl1);

  TabSheet1 = new QWidget;
  auto* tab1Layout = new QVBoxLayout(TabSheet1);
  tab1Layout->setContentsMargins(0, 0, 0, 0);
  DBGridPro1 = new TDBGridPro(TabSheet1);
  DBGridPro1->setObjectName(QStringLiteral("DBGridPro1"));
  tab1Layout->addWidget(DBGridPro1);
  PageControl1->addTab(TabSheet1, Ru("ЗЕН-ТЛ7"));

  TabSheet2 = new QWidget;
  auto* tab2Layout = new QHBoxLayout(TabSheet2);
  tab2Layout->setContentsMargins(0, 0, 0, 0);
  tab2Layout->setSpacing(0);
  GroupBox1 = new QGroupBox(Ru("Серия испытаний"), TabSheet2);
  GroupBox1->setFixedWidth(129);
  auto* groupLayout = new QVBoxLayout(GroupBox1);
  groupLayout->setContentsMargins(2, 2, 2, 2);
  ListBox1 = new QListWidget(GroupBox1);
  ListBox1->setSelectionMode(QAbstractItemView::SingleSelection);
  groupLayout->addWidget(ListBox1);
  DBGridPro2 = new TDBGridPro(TabSheet2);
  DBGridPro2->setObjectName(QStringLiteral("DBGridPro2"));
  tab2Layout->addWidget(GroupBox1);
  tab2Layout->addWidget(DBGridPro2, 1);
  PageControl1->addTab(TabSheet2, Ru("ФИР-ТЛ7"));

  connect(ListBox1, &QListWidget::itemClicked, this, [this] { ListBox1Click(); });
  connect(ListBox1, &QListWidget::itemDoubleClicked, this, [this] { ListBox1DblClick(); });
  connect(PageControl1, &QTabWidget::currentChanged, this, &TForm1::PageChanged);
  AttachPopupMenu(DBGridPro1);
  AttachPopupMenu(DBGridPro2);
  ConnectGrids();
}

void TForm1::AttachPopupMenu(QWidget* grid) {
  grid->setContextMenuPolicy(Qt::CustomContextMenu);
  connect(grid, &QWidget::customContextMenuRequested, PopupMenu1,
          [this, grid](const QPoint& pos) { PopupMenu1->popup(grid->mapToGlobal(pos)); });
}

void TForm1::FormCreate() {
  setWindowState(windowState() | Qt::WindowMaximized);
  SetTableColor(false);
  PageControl1->hide();

  const QString localHelp = LocalHelpFile(QCoreApplication::applicationDirPath());
  if (!localHelp.isEmpty()) SetApplicationHelpFile(localHelp);

  // A settings file that cannot be read or parsed leaves the store empty:
  // the program then starts as on a first run.
  Settings.Open();
  if (Settings.ValueExists(QLatin1String(kDefaultDirValue))) {
    DefaultDir = Settings.ReadString(QLatin1String(kDefaultDirValue));
  } else {
    DefaultDir = QDir::currentPath();
    Settings.WriteString(QLatin1String(kDefaultDirValue), DefaultDir);
    Settings.Sync();
  }
  OpenDialog1InitialDir = DefaultDir;
  SaveDialog1InitialDir = DefaultDir;

  Table.Close();
  TableOpen = false;

  ClearSorting(DBGridPro1, QStringLiteral("tab1"));
  ClearSorting(DBGridPro2, QStringLiteral("tab2"));
  disable_button();
  tab_vis_dis();
}

void TForm1::closeEvent(QCloseEvent* event) {
  try {
    FormClose();
  } catch (const TableError& e) {
    // The window stays open when the table could not be closed, so the
    // operator can still save or retry.
    ShowGeneralError(this, e.text());
    event->ignore();
    return;
  } catch (const std::exception& e) {
    ShowGeneralError(this, QString::fromLocal8Bit(e.what()));
    event->ignore();
    return;
  }
  event->accept();
}

void TForm1::FormClose() {
  Settings.WriteString(QLatin1String(kDefaultDirValue), DefaultDir);
  Settings.Sync();
  Close_DB();
}

void TForm1::N11Click() {
  // exit() rather than quit(): quit() would first close the windows and so
  // run FormClose, which "Выход" must skip.
  QCoreApplication::exit(0);
}

void TForm1::N24Click() { ShowHelp(); }

void TForm1::ToolButton6Click() { ShowHelp(); }

void TForm1::ShowHelp() {
  const QString path = ApplicationHelpFile();
  if (!QFileInfo(path).isFile()) {
    Dialogs().Message(this, QMessageBox::Warning, ApplicationTitle(),
                      Ru("Файл справки \"%1\" не найден.").arg(QDir::toNativeSeparators(path)),
                      QMessageBox::Ok);
    return;
  }
  if (!OpenHelpUrl(QUrl::fromLocalFile(path))) {
    Dialogs().Message(
        this, QMessageBox::Warning, ApplicationTitle(),
        Ru("Не удалось открыть файл справки \"%1\".").arg(QDir::toNativeSeparators(path)),
        QMessageBox::Ok);
  }
}

void TForm1::N26Click() {
  if (Form6) {
    Dialogs().Exec(Form6);
    return;
  }
  Tform6 about(this);
  Dialogs().Exec(&about);
}

void TForm1::enable_button() {
  for (QAction* a : {N5, N7, N8, N9, N27, N29, N30, N31, N33, N34, Excel1}) a->setEnabled(true);
  for (QToolButton* b : {ToolButton3, ToolButton4, ToolButton5}) b->setEnabled(true);
}

void TForm1::disable_button() {
  for (QAction* a : {N5, N7, N8, N9, N27, N29, N30, N31, N33, N34, Excel1}) a->setEnabled(false);
  for (QToolButton* b : {ToolButton3, ToolButton4, ToolButton5}) b->setEnabled(false);
}

void TForm1::tab_vis_en() {
  if (!TableOpen) return;
  // Leaves the kind filter of the chosen view in force.
  if (ChooseShownKind(Table) == ShownKind::Water) {
    PageControl1->setTabVisible(0, false);
    PageControl1->setTabVisible(1, true);
    PageControl1->setCurrentIndex(1);
  } else {
    PageControl1->setTabVisible(0, true);
    PageControl1->setTabVisible(1, false);
    PageControl1->setCurrentIndex(0);
  }
  const bool wasHidden = PageControl1->isHidden();
  PageControl1->show();
  // A tab that becomes visible with its page control shows itself.
  if (wasHidden) PageChanged(PageControl1->currentIndex());
  PageControl1->update();
}

void TForm1::tab_vis_dis() { PageControl1->hide(); }

void TForm1::PageChanged(int index) {
  // Only a page the operator can see counts as shown.
  if (PageControl1->isHidden()) return;
  if (index == 0) TabSheet1Show();
  if (index == 1) TabSheet2Show();
}

void TForm1::TabSheet1Show() {
  // The filter belongs to an open table; a closed one has none to set.
  if (!Table.IsOpen()) return;
  Table.SetFilter(QStringLiteral("NB_TYPE=0"));
  Table.Refresh();
}

void TForm1::TabSheet2Show() {
  if (!Table.IsOpen()) return;
  Table.SetFilter(QStringLiteral("NB_TYPE=1"));
  Table.Refresh();
}

void TForm1::SetTableColor(bool tableOpen) {
  QWidget* area = centralWidget();
  QPalette pal = area->palette();
  const QPalette app = QApplication::palette();
  pal.setColor(QPalette::Window,
               tableOpen ? app.color(QPalette::Button) : app.color(QPalette::Dark));
  area->setPalette(pal);
}

void TForm1::SetTitle(const QString& title) {
  SetApplicationTitle(title);
  setWindowTitle(title);
}
