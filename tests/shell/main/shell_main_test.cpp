// The application shell: start-up, the main window's menus and states, the
// settings it keeps, help and the about box.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QColorDialog>
#include <QFileDialog>
#include <QKeyEvent>
#include <QMessageBox>
#include <QScreen>
#include <QTest>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>
#include <QPushButton>
#include <QSettings>
#include <QStandardPaths>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QTreeView>
#include <QUrl>
#include <vector>

#include "link/ui/download_dialog.h"
#include "link/ui/port_dialog.h"
#include "platform/ports.h"
#include "platform/dialogs.h"
#include "support/recording_dialogs.h"
#include "shell/about_box.h"
#include "shell/app_state.h"
#include "shell/main_window.h"
#include "shell/splash_window.h"
#include "shell/startup.h"
#include "shell/translations.h"
#include "support/link_ports.h"
#include "support/store_fixture.h"
#include "support/test_env.h"
#include "support/window_driver.h"

namespace {

QString Ru(const char* utf8) { return QString::fromUtf8(utf8); }

// The folder stored in the settings file now.
QString StoredDefaultDir() {
  QSettings s(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Merilan"),
              QStringLiteral("KLT3"));
  return s.value(QStringLiteral("1.0/Default_dir")).toString();
}

class ShellTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ClearSettings();
    dialogs.onMessage = [this](const RecordingDialogs::Shown&) {
      storedDirAtMessage << StoredDefaultDir();
    };
    SetDialogs(&dialogs);
    SetApplicationHelpFile(DefaultHelpFile());
  }
  void TearDown() override { SetDialogs(nullptr); }

  static void StoreDefaultDir(const QString& dir) {
    QSettings s(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Merilan"),
                QStringLiteral("KLT3"));
    s.setValue(QStringLiteral("1.0/Default_dir"), dir);
    s.sync();
  }
  static QString SettingsFilePath() {
    QSettings s(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Merilan"),
                QStringLiteral("KLT3"));
    return s.fileName();
  }

  RecordingDialogs dialogs;
  // The value of Default_dir in the store at the time of each message.
  QStringList storedDirAtMessage;
};

QString Plain(QString text) { return text.remove(QLatin1Char('&')); }

// Texts of a menu's entries in order as the operator reads them, "-" for a
// separator, with the shortcut after a "|" and "*" when the entry has a
// picture.
QStringList Entries(const QList<QAction*>& actions) {
  QStringList out;
  for (QAction* a : actions) {
    if (a->isSeparator()) {
      out << QStringLiteral("-");
      continue;
    }
    QString e = Plain(a->text());
    if (!a->shortcut().isEmpty()) e += QLatin1Char('|') + a->shortcut().toString();
    if (!a->icon().isNull()) e += QLatin1Char('*');
    out << e;
  }
  return out;
}

// Every entry of a menu (or of the menu bar) has an accelerator letter of
// its own within that menu.
void ExpectOwnAccelerators(const QList<QAction*>& actions) {
  QStringList keys;
  for (QAction* a : actions) {
    if (a->isSeparator()) continue;
    const QKeySequence key = QKeySequence::mnemonic(a->text());
    EXPECT_FALSE(key.isEmpty()) << Plain(a->text()).toStdString();
    EXPECT_FALSE(keys.contains(key.toString())) << Plain(a->text()).toStdString();
    keys << key.toString();
  }
}

// A closed table of one plate row in a folder of its own.
QString PlateTableIn(const QTemporaryDir& dir) {
  MeasurementTable table;
  const QString path = MakeStoreTable(table, dir, {PlateRow(1, 500, 10, 1)});
  table.Close();
  return path;
}

TEST_F(ShellTest, MenuBarAndPopupHoldEveryItemInOrder) {
  MainWindow form;
  const QList<QAction*> menus = form.menuBar()->actions();
  struct Menu {
    const char* title;
    QStringList entries;
  };
  const std::vector<Menu> expected = {
      {"Файл",
       {Ru("Создать|Ctrl+N*"), Ru("Дополнить из прибора…*"), Ru("Открыть|Ctrl+O*"),
        Ru("Сохранить|Ctrl+S*"), Ru("Закрыть"), "-", Ru("Предварительный просмотр*"),
        Ru("Печать|Ctrl+P*"), "-", Ru("Выход")}},
      {"Вид",
       {Ru("Выровнять столбцы"), "-", Ru("Задать цвет"), Ru("Убрать цвет"), Ru("Убрать все цвета"),
        "-", Ru("Сортировать по столбцу"), Ru("Убрать сортировку"), "-", Ru("График")}},
      {"Правка", {Ru("Удалить строки|Del*")}},
      {"Сервис", {Ru("Экспорт в Excel|Ctrl+E"), Ru("Порт прибора…|Ctrl+Shift+P")}},
      {"Справка", {Ru("Помощь|F1*"), "-", Ru("О программе")}},
  };
  ASSERT_EQ(menus.size(), int(expected.size()));
  for (size_t i = 0; i < expected.size(); ++i) {
    SCOPED_TRACE(expected[i].title);
    EXPECT_EQ(Plain(menus[int(i)]->text()), Ru(expected[i].title));
    ASSERT_NE(menus[int(i)]->menu(), nullptr);
    EXPECT_EQ(Entries(menus[int(i)]->menu()->actions()), expected[i].entries);
    ExpectOwnAccelerators(menus[int(i)]->menu()->actions());
  }
  ExpectOwnAccelerators(menus);
  auto* popup = ChildOf<QMenu>(&form, "gridContextMenu");
  ASSERT_NE(popup, nullptr);
  EXPECT_EQ(
      Entries(popup->actions()),
      QStringList({Ru("Печать"), "-", Ru("Задать цвет"), Ru("Убрать цвет"), Ru("Убрать все цвета"),
                   "-", Ru("Выровнять столбцы"), "-", Ru("Удалить")}));
  ExpectOwnAccelerators(popup->actions());
  // The tool bar: the menus' own actions of seven commands, as picture
  // buttons without texts, in this order.
  auto* bar = ChildOf<QToolBar>(&form, "toolBar");
  ASSERT_NE(bar, nullptr);
  QStringList names;
  for (QAction* a : bar->actions()) names << a->objectName();
  EXPECT_EQ(names, QStringList({"newTableAction", "appendAction", "openTableAction",
                                "saveTableAction", "previewAction", "printAction", "helpAction"}));
  for (QAction* a : bar->actions()) {
    SCOPED_TRACE(a->objectName().toStdString());
    auto* b = qobject_cast<QToolButton*>(bar->widgetForAction(a));
    ASSERT_NE(b, nullptr);
    EXPECT_FALSE(b->icon().isNull());
    EXPECT_EQ(b->toolButtonStyle(), Qt::ToolButtonIconOnly);
    EXPECT_EQ(b->toolTip(), Plain(a->text()));
  }
  EXPECT_EQ(form.windowTitle(), Ru("ФИР - ТЛ7"));
  EXPECT_EQ(ViewTabs(&form)->tabText(0), Ru("ЗЕН-ТЛ7"));
  EXPECT_EQ(ViewTabs(&form)->tabText(1), Ru("ФИР-ТЛ7"));
  EXPECT_EQ(Plain(ChildOf<QGroupBox>(&form, "seriesBox")->title()), Ru("Серия испытаний"));
  EXPECT_TRUE(ChildOf<QWidget>(&form, "waterTab")->isAncestorOf(SeriesListOf(&form)));
}

TEST_F(ShellTest, TheTwoStatesEnableExactlyTheTableCommands) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const QString table = PlateTableIn(dir);
  MainWindow form;
  struct Item {
    const char* name;
    bool tableCommand;
  };
  const std::vector<Item> items = {
      {"newTableAction", false},
      {"appendAction", true},
      {"openTableAction", false},
      {"saveTableAction", true},
      {"closeTableAction", true},
      {"previewAction", true},
      {"printAction", true},
      {"exitAction", false},
      {"fitColumnsAction", true},
      {"setColorAction", true},
      {"removeColorAction", true},
      {"removeAllColorsAction", true},
      {"sortByColumnAction", true},
      {"removeSortingAction", true},
      {"deleteRowsAction", true},
      {"exportXlsAction", true},
      {"choosePortAction", false},
      {"showChartAction", false},
      {"helpAction", false},
      {"aboutAction", false},
      {"printPopupAction", false},
      {"setColorPopupAction", false},
      {"removeColorPopupAction", false},
      {"removeAllColorsPopupAction", false},
      {"fitColumnsPopupAction", false},
      {"deletePopupAction", false},
  };
  const QColor shadow = QApplication::palette().color(QPalette::Dark);
  const QColor face = QApplication::palette().color(QPalette::Button);
  ASSERT_NE(shadow, face);
  auto check = [&](bool tableOpen) {
    for (const Item& it : items) {
      SCOPED_TRACE(it.name);
      QAction* action = ActionOf(&form, it.name);
      ASSERT_NE(action, nullptr);
      EXPECT_EQ(action->isEnabled(), it.tableCommand ? tableOpen : true);
      // A tool button is its action's twin.
      if (QToolButton* b = ToolButtonOf(&form, it.name)) {
        EXPECT_EQ(b->isEnabled(), action->isEnabled());
      }
    }
  };

  // At start: no table.
  check(false);
  EXPECT_TRUE(ViewTabs(&form)->isHidden());
  EXPECT_EQ(form.centralWidget()->palette().color(QPalette::Window), shadow);
  EXPECT_FALSE(form.Session().InUse());
  EXPECT_TRUE(form.windowState() & Qt::WindowMaximized);

  dialogs.openNames = {table};
  ASSERT_TRUE(Trigger(&form, "openTableAction"));
  ASSERT_TRUE(form.Session().InUse());
  check(true);
  EXPECT_FALSE(ViewTabs(&form)->isHidden());
  EXPECT_EQ(form.centralWidget()->palette().color(QPalette::Window), face);

  ASSERT_TRUE(Trigger(&form, "closeTableAction"));
  check(false);
  EXPECT_TRUE(ViewTabs(&form)->isHidden());
  EXPECT_EQ(form.centralWidget()->palette().color(QPalette::Window), shadow);
  EXPECT_TRUE(dialogs.messages.empty());
}

TEST_F(ShellTest, ToolButtonsRunTheMenuCommands) {
  MainWindow form;
  ASSERT_TRUE(ClickToolButton(&form, "newTableAction"));   // asks for the new file's name
  ASSERT_TRUE(ClickToolButton(&form, "openTableAction"));  // asks for the file to open
  const QString start = QDir::currentPath();
  EXPECT_EQ(dialogs.dirs,
            QStringList({QStringLiteral("save:") + start, QStringLiteral("open:") + start}));
  ASSERT_TRUE(ClickToolButton(&form, "helpAction"));  // the missing help file is reported
  ASSERT_EQ(dialogs.messages.size(), 1u);
  EXPECT_TRUE(dialogs.messages[0].text.contains(Ru("ФИР.HLP")));
}

TEST_F(ShellTest, FirstRunStoresTheWorkingFolderAndLaterRunsReadIt) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const QString table = PlateTableIn(dir);
  {
    MainWindow form;
    EXPECT_EQ(StoredDefaultDir(), QDir::currentPath());
    ASSERT_TRUE(Trigger(&form, "openTableAction"));  // cancelled
    ASSERT_TRUE(Trigger(&form, "newTableAction"));   // cancelled
    EXPECT_EQ(dialogs.dirs, QStringList({QStringLiteral("open:") + QDir::currentPath(),
                                                QStringLiteral("save:") + QDir::currentPath()}));
    // A table opened elsewhere, then the program ended without closing
    // the frame: nothing more is written.
    dialogs.openNames = {table};
    ASSERT_TRUE(Trigger(&form, "openTableAction"));
    ASSERT_TRUE(form.Session().InUse());
  }
  EXPECT_EQ(StoredDefaultDir(), QDir::currentPath());

  StoreDefaultDir(Ru("/data/испытания, 2024"));
  dialogs.dirs.clear();
  dialogs.openNames.clear();
  MainWindow form;
  ASSERT_TRUE(Trigger(&form, "openTableAction"));
  ASSERT_TRUE(Trigger(&form, "newTableAction"));
  EXPECT_EQ(dialogs.dirs, QStringList({Ru("open:/data/испытания, 2024"),
                                              Ru("save:/data/испытания, 2024")}));
}

TEST_F(ShellTest, TheNextRunStartsItsDialogsInTheFolderOfTheLastOpenedTable) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const QString table = PlateTableIn(dir);
  StoreDefaultDir(QStringLiteral("/start"));
  {
    MainWindow form;
    form.show();
    dialogs.openNames = {table};
    ASSERT_TRUE(Trigger(&form, "openTableAction"));
    ASSERT_TRUE(form.Session().InUse());
    EXPECT_EQ(StoredDefaultDir(), QStringLiteral("/start"));
    form.close();
  }
  EXPECT_EQ(QDir(StoredDefaultDir()), QDir(dir.path()));
  dialogs.openNames.clear();
  MainWindow next;
  ASSERT_TRUE(Trigger(&next, "openTableAction"));
  ASSERT_EQ(dialogs.dirs.size(), 2);
  EXPECT_EQ(QDir(dialogs.dirs[1].mid(5)), QDir(dir.path()));
}

TEST_F(ShellTest, FrameCloseStoresTheFolderBeforeClosingTheTable) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const QString table = PlateTableIn(dir);
  StoreDefaultDir(QStringLiteral("/start"));
  MainWindow form;
  form.show();
  dialogs.openNames = {table};
  ASSERT_TRUE(Trigger(&form, "openTableAction"));
  // A changed cell makes closing ask its question; by then the folder must
  // already be stored.
  ASSERT_NE(EditCell(PlateGrid(&form), 0, "COMMENT", Ru("правка"), true), nullptr);
  ASSERT_TRUE(form.Session().IsModified());
  form.close();
  ASSERT_EQ(dialogs.messages.size(), 1u);
  EXPECT_EQ(dialogs.messages[0].icon, QMessageBox::Question);
  ASSERT_EQ(storedDirAtMessage.size(), 1);
  EXPECT_EQ(QDir(storedDirAtMessage[0]), QDir(dir.path()));
  EXPECT_EQ(QDir(StoredDefaultDir()), QDir(dir.path()));
  EXPECT_FALSE(form.Session().IsModified());
}

TEST_F(ShellTest, ExitEndsTheLoopAtOnceWithoutClosing) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const QString table = PlateTableIn(dir);
  StoreDefaultDir(QStringLiteral("/start"));
  MainWindow form;
  form.show();
  dialogs.openNames = {table};
  ASSERT_TRUE(Trigger(&form, "openTableAction"));
  ASSERT_NE(EditCell(PlateGrid(&form), 0, "COMMENT", Ru("правка"), true), nullptr);
  ASSERT_TRUE(form.Session().IsModified());
  // Keeps the test from hanging should the loop not end.
  QTimer guard;
  guard.setSingleShot(true);
  QObject::connect(&guard, &QTimer::timeout, [] { QCoreApplication::exit(99); });
  guard.start(10000);
  QTimer::singleShot(0, &form, [&form] { EXPECT_TRUE(Trigger(&form, "exitAction")); });
  const int rc = QCoreApplication::exec();
  EXPECT_EQ(rc, 0);
  EXPECT_TRUE(form.isVisible());
  EXPECT_TRUE(dialogs.messages.empty());
  EXPECT_EQ(StoredDefaultDir(), QStringLiteral("/start"));
  EXPECT_TRUE(form.Session().IsModified());
}

TEST_F(ShellTest, DamagedSettingsFileStillStartsAsAFirstRun) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const QString table = PlateTableIn(dir);
  const QString path = SettingsFilePath();
  struct Case {
    const char* name;
    QByteArray content;
    bool startsAsFirstRun;
    QString expectedDir;
  };
  const std::vector<Case> cases = {
      {"binary garbage", QByteArray("\x00\xff\xfe[\x01=\x02\n\x80\x81", 10), true, {}},
      {"broken variant",
       QByteArray("[1.0]\nDefault_dir=@Variant(\\0\\0\\0\\x7f\\xff)\n"),
       false,
       {}},
      {"unquoted list", QByteArray("[1.0]\nDefault_dir=/data/a, b\n"), false,
       QStringLiteral("/data/a, b")},
      {"other group only", QByteArray("[2.0]\nDefault_dir=/x\n"), true, {}},
  };
  // The folder the open dialog starts in.
  auto openDialogDir = [&](MainWindow& form) {
    dialogs.dirs.clear();
    dialogs.openNames.clear();
    EXPECT_TRUE(Trigger(&form, "openTableAction"));
    return dialogs.dirs.isEmpty() ? QString() : dialogs.dirs.last().mid(5);
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    QDir().mkpath(QFileInfo(path).path());
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(c.content);
    f.close();
    MainWindow form;
    if (c.startsAsFirstRun) {
      EXPECT_EQ(openDialogDir(form), QDir::currentPath());
      // The damaged file does not keep the next run from finding the folder.
      EXPECT_EQ(StoredDefaultDir(), QDir::currentPath());
    } else if (!c.expectedDir.isNull()) {
      EXPECT_EQ(openDialogDir(form), c.expectedDir);
    }
    EXPECT_TRUE(ActionOf(&form, "newTableAction")->isEnabled());
    EXPECT_TRUE(ViewTabs(&form)->isHidden());
    // Closing the frame stores the folder even over a damaged file.
    dialogs.openNames = {table};
    ASSERT_TRUE(Trigger(&form, "openTableAction"));
    form.close();
    EXPECT_EQ(QDir(StoredDefaultDir()), QDir(dir.path()));
  }
  // A settings location that cannot be read at all.
  QFile::remove(path);
  ASSERT_TRUE(QDir().mkpath(path));
  {
    MainWindow form;
    EXPECT_EQ(openDialogDir(form), QDir::currentPath());
  }
  QDir(path).removeRecursively();
}

TEST_F(ShellTest, AnOpenTableShowsOnlyTheTabOfItsRows) {
  struct Case {
    const char* name;
    std::vector<StoreRow> rows;
    int tab;
    const char* filter;
    int visibleRows;
  };
  const std::vector<Case> cases = {
      {"plate rows only", {PlateRow(1, 500, 10, 1), PlateRow(2, 500, 20, 2)}, 0, "NB_TYPE=0", 2},
      {"one water row among plates",
       {PlateRow(1, 500, 10, 1), WaterRow(1, 7, 0.2, "B2"), PlateRow(2, 500, 20, 2)},
       1,
       "SERIAL=7",
       1},
      {"empty table", {}, 0, "NB_TYPE=0", 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    MeasurementTable t;
    dialogs.openNames = {MakeStoreTable(t, dir, c.rows)};
    t.Close();
    MainWindow form;
    ASSERT_TRUE(Trigger(&form, "openTableAction"));
    QTabWidget* tabs = ViewTabs(&form);
    EXPECT_FALSE(tabs->isHidden());
    EXPECT_EQ(tabs->isTabVisible(c.tab), true);
    EXPECT_EQ(tabs->isTabVisible(1 - c.tab), false);
    EXPECT_EQ(tabs->currentIndex(), c.tab);
    EXPECT_EQ(form.Session().Table().Filter(), QString::fromLatin1(c.filter));
    EXPECT_EQ(form.Session().Table().VisibleRowCount(), c.visibleRows);
    ASSERT_TRUE(Trigger(&form, "closeTableAction"));
    EXPECT_TRUE(tabs->isHidden());
  }
}

TEST_F(ShellTest, ShowingATabSetsItsKindFilter) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  MainWindow form;
  QTabWidget* tabs = ViewTabs(&form);
  // Changing tabs without a table sets nothing and does not fail.
  tabs->setCurrentIndex(1);
  tabs->setCurrentIndex(0);
  MeasurementTable t;
  dialogs.openNames = {MakeStoreTable(
      t, dir, {PlateRow(1, 500, 10, 1), WaterRow(1, 7, 0.2, "B2"), WaterRow(2, 7, 0.4, "B2")})};
  t.Close();
  ASSERT_TRUE(Trigger(&form, "openTableAction"));
  // The water view shows the series highlighted in its list.
  ASSERT_EQ(form.Session().Table().Filter(), QStringLiteral("SERIAL=7"));
  tabs->setTabVisible(0, true);
  tabs->setCurrentIndex(0);
  EXPECT_EQ(form.Session().Table().Filter(), QStringLiteral("NB_TYPE=0"));
  EXPECT_EQ(form.Session().Table().VisibleRowCount(), 1);
  tabs->setCurrentIndex(1);
  EXPECT_EQ(form.Session().Table().Filter(), QStringLiteral("SERIAL=7"));
  EXPECT_EQ(form.Session().Table().VisibleRowCount(), 2);
}

TEST(FileVersionText, MakesFourPartsOrZeros) {
  const std::vector<std::pair<QString, QString>> cases = {
      {"1.0.0.0", "1.0.0.0"}, {"2.3", "2.3.0.0"},       {" 7.1.2.30 ", "7.1.2.30"},
      {"", "0.0.0.0"},        {"1.2.3.4.5", "0.0.0.0"}, {"1.x", "0.0.0.0"},
      {"1..2", "0.0.0.0"},    {"-1.0", "0.0.0.0"},      {"007.01", "7.1.0.0"},
  };
  for (const auto& [in, out] : cases) EXPECT_EQ(FileVersionText(in), out) << in.toStdString();
}

TEST_F(ShellTest, AboutBoxShowsTheVersionOfThisBuild) {
  MainWindow form;
  auto* about = new AboutBox(&form);
  form.SetAboutBox(about);
  QString version, title, product, comments, button;
  bool bold = false, tool = false;
  dialogs.exec = [&](QDialog* d) {
    d->show();
    version = ChildOf<QLabel>(about, "versionLabel")->text();
    title = about->windowTitle();
    product = ChildOf<QLabel>(about, "productName")->text();
    bold = ChildOf<QLabel>(about, "productName")->font().bold();
    comments = ChildOf<QLabel>(about, "commentsLabel")->text();
    button = ChildOf<QPushButton>(about, "okButton")->text();
    tool = (about->windowFlags() & Qt::Tool) == Qt::Tool;
    ChildOf<QPushButton>(about, "okButton")->click();
    return int(QDialog::Rejected);
  };
  ASSERT_TRUE(Trigger(&form, "aboutAction"));
  ASSERT_EQ(dialogs.executed.size(), 1u);
  EXPECT_EQ(dialogs.executed[0], about);
  EXPECT_EQ(version, Ru("Версия ") + QStringLiteral(KLT3_VERSION));
  EXPECT_EQ(title, Ru("О программе"));
  EXPECT_EQ(product, Ru("ФИР-ТЛ7"));
  EXPECT_TRUE(bold);
  EXPECT_EQ(comments, Ru("Программа для передачи данных с приборов ФИР-ТЛ7"));
  EXPECT_EQ(button, Ru("ОК"));
  EXPECT_TRUE(tool);
  EXPECT_FALSE(about->isVisible());
  EXPECT_EQ(about->result(), QDialog::Accepted);
}

TEST_F(ShellTest, HelpOpensTheFileBesideTheProgramOrReportsItMissing) {
  MainWindow form;
  std::vector<QUrl> opened;
  form.SetHelpOpener([&](const QUrl& url) {
    opened.push_back(url);
    return true;
  });
  // No help file: the message names the file and nothing is opened.
  ASSERT_TRUE(Trigger(&form, "helpAction"));
  ASSERT_EQ(dialogs.messages.size(), 1u);
  EXPECT_TRUE(dialogs.messages[0].text.contains(Ru("\\\\ФИР.HLP")));
  EXPECT_TRUE(opened.empty());

  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  EXPECT_TRUE(LocalHelpFile(dir.path()).isEmpty());
  const QString help = QDir(dir.path()).filePath(QStringLiteral("klt3.hlp"));
  QFile f(help);
  ASSERT_TRUE(f.open(QIODevice::WriteOnly));
  f.close();
  EXPECT_EQ(LocalHelpFile(dir.path()), help);
  SetApplicationHelpFile(LocalHelpFile(dir.path()));
  ASSERT_TRUE(ClickToolButton(&form, "helpAction"));
  ASSERT_TRUE(Trigger(&form, "helpAction"));
  ASSERT_EQ(opened.size(), 2u);
  EXPECT_EQ(opened[0], QUrl::fromLocalFile(help));
  EXPECT_EQ(dialogs.messages.size(), 1u);

  // The viewer refusing the file is reported too.
  form.SetHelpOpener([](const QUrl&) { return false; });
  ASSERT_TRUE(Trigger(&form, "helpAction"));
  EXPECT_EQ(dialogs.messages.size(), 2u);
}

TEST_F(ShellTest, StartUpShowsTheSplashForItsTimeThenTheMainWindow) {
  SetApplicationTitle(QStringLiteral("other"));
  struct Seen {
    bool splashShown = false;
    QSize size;
    bool frameless = false;
    int interval = 0;
    bool timerRunning = false;
    bool singleShot = false;
    bool mainVisible = true;
    bool mainExists = false;
    bool pictureSet = false;
    bool dialogsCreated = false;
  } seen;
  QPointer<SplashWindow> splash;
  QTimer::singleShot(0, [&] {
    for (QWidget* w : QApplication::topLevelWidgets()) {
      if (auto* s = qobject_cast<SplashWindow*>(w)) splash = s;
      if (auto* m = qobject_cast<MainWindow*>(w)) {
        seen.mainExists = true;
        seen.mainVisible = m->isVisible();
        // The download dialog and the about box exist before the splash shows.
        seen.dialogsCreated = m->downloadDialog() != nullptr && m->aboutBox() != nullptr;
      }
    }
    if (!splash) return;
    seen.splashShown = splash->isVisible();
    seen.size = splash->size();
    seen.frameless = splash->windowFlags() & Qt::FramelessWindowHint;
    seen.interval = splash->CloseTimer().interval();
    seen.timerRunning = splash->CloseTimer().isActive();
    seen.singleShot = splash->CloseTimer().isSingleShot();
    seen.pictureSet = !ChildOf<QLabel>(splash, "picture")->pixmap().isNull();
  });
  // Should the splash not close by itself, the test ends rather than hangs.
  QTimer::singleShot(15000, [&] {
    if (splash) splash->done(0);
  });
  const std::unique_ptr<MainWindow> form = StartUp();
  EXPECT_TRUE(seen.splashShown);
  EXPECT_EQ(seen.size, QSize(400, 77));
  EXPECT_TRUE(seen.frameless);
  EXPECT_EQ(seen.interval, 3000);
  EXPECT_TRUE(seen.timerRunning);
  EXPECT_TRUE(seen.singleShot);
  EXPECT_TRUE(seen.pictureSet);
  EXPECT_TRUE(seen.mainExists);
  EXPECT_FALSE(seen.mainVisible);
  EXPECT_TRUE(seen.dialogsCreated);
  // The splash closed itself (modal result 1) and is gone.
  EXPECT_TRUE(splash.isNull());
  ASSERT_TRUE(form);
  EXPECT_TRUE(form->isVisible());
  EXPECT_TRUE(form->windowState() & Qt::WindowMaximized);
  EXPECT_EQ(ApplicationTitle(), Ru("ФИР  - ТЛ7"));
  EXPECT_EQ(form->windowTitle(), Ru("ФИР - ТЛ7"));
  ASSERT_NE(form->downloadDialog(), nullptr);
  ASSERT_NE(form->aboutBox(), nullptr);
  EXPECT_EQ(form->downloadDialog()->parent(), form.get());
  EXPECT_EQ(form->aboutBox()->parent(), form.get());
  EXPECT_FALSE(form->downloadDialog()->isVisible());
  EXPECT_FALSE(form->aboutBox()->isVisible());
}

TEST_F(ShellTest, SplashClosesWithResultOneWhenItsTimerFires) {
  SplashWindow splash;
  splash.show();
  EXPECT_TRUE(splash.CloseTimer().isActive());
  EXPECT_TRUE(WaitUntil([&] { return !splash.isVisible(); }, 6000));
  EXPECT_EQ(splash.result(), 1);
  EXPECT_FALSE(splash.CloseTimer().isActive());
}

// Escape and the window system's close leave the splash up: its timer
// alone ends it, with its result 1.
TEST_F(ShellTest, SplashIgnoresEscapeAndCloseUntilItsTimer) {
  SplashWindow splash;
  splash.show();
  QTest::keyClick(&splash, Qt::Key_Escape);
  EXPECT_TRUE(splash.isVisible());
  EXPECT_FALSE(splash.close());
  EXPECT_TRUE(splash.isVisible());
  EXPECT_TRUE(WaitUntil([&] { return !splash.isVisible(); }, 6000));
  EXPECT_EQ(splash.result(), 1);
}

// Runs `check` on the modal dialog a call opens, once it shows; a dialog
// still open after `check` is ended, so that the test never hangs.
void WhenModalShows(const std::function<void(QDialog*)>& check) {
  auto* poll = new QTimer;
  poll->setInterval(20);
  QObject::connect(poll, &QTimer::timeout, [poll, check] {
    auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
    if (!dialog || !dialog->isVisible()) return;
    poll->stop();
    poll->deleteLater();
    check(dialog);
    if (dialog->isVisible()) dialog->done(0);
  });
  poll->start();
}

// Qt's own dialogs in Russian, whatever the machine's locale: the buttons
// of the message boxes, the file dialog's and the colour dialog's labels.
TEST_F(ShellTest, QtDialogsSpeakRussian) {
  ASSERT_TRUE(LoadQtRussianTranslations()) << "Qt's Russian translations are not installed";
  SetDialogs(nullptr);
  QStringList buttons;
  WhenModalShows([&](QDialog* dialog) {
    auto* box = qobject_cast<QMessageBox*>(dialog);
    ASSERT_NE(box, nullptr);
    for (QAbstractButton* b : box->buttons()) buttons << Plain(b->text());
  });
  Dialogs().Message(nullptr, QMessageBox::Question, Ru("ФИР - ТЛ7"), Ru("Вопрос"),
                    QMessageBox::Yes | QMessageBox::No);
  buttons.sort();
  EXPECT_EQ(buttons, QStringList({Ru("Да"), Ru("Нет")}));

  QFileDialog files(nullptr, Ru("Создать"), QDir::tempPath(), Ru("Файлы данных (*.db)"));
  files.setOption(QFileDialog::DontUseNativeDialog, true);
  files.setAcceptMode(QFileDialog::AcceptSave);
  const auto* name = files.findChild<QLabel*>(QStringLiteral("fileNameLabel"));
  const auto* type = files.findChild<QLabel*>(QStringLiteral("fileTypeLabel"));
  ASSERT_TRUE(name && type);
  EXPECT_EQ(Plain(name->text()), Ru("Имя файла:"));
  EXPECT_EQ(Plain(type->text()), Ru("Типы файлов:"));

  QColorDialog colors;
  QStringList labels;
  for (const QLabel* l : colors.findChildren<QLabel*>()) labels << Plain(l->text());
  EXPECT_TRUE(labels.contains(Ru("Основные цвета"))) << labels.join(QLatin1Char('|')).toStdString();
  EXPECT_FALSE(labels.contains(QStringLiteral("Basic colors")));
}

// Escape and the close button give every question its safe answer:
// "Отмена" to "Сохранить изменения в таблицах ?" (the table stays as it
// was), "Нет" to a question of two buttons; a box with "ОК" closes too.
TEST_F(ShellTest, EscapeGivesEveryQuestionItsSafeAnswer) {
  ASSERT_TRUE(LoadQtRussianTranslations()) << "Qt's Russian translations are not installed";
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  dialogs.openNames = {PlateTableIn(dir)};
  MainWindow form;
  ASSERT_TRUE(Trigger(&form, "openTableAction"));
  ASSERT_TRUE(form.Session().InUse());
  ASSERT_TRUE(EditCell(PlateGrid(&form), 0, "COMMENT", QStringLiteral("x"), true));
  ASSERT_TRUE(form.Session().IsModified());
  SetDialogs(nullptr);
  struct Seen {
    QString text;
    QStringList buttons;
    bool up = true;
  };
  // Shows the box of the next modal call, ends it with `key` or with its
  // close button, and records what it showed.
  auto endNextBox = [](Seen* seen, bool escape) {
    WhenModalShows([seen, escape](QDialog* dialog) {
      auto* box = qobject_cast<QMessageBox*>(dialog);
      ASSERT_NE(box, nullptr);
      seen->text = box->text();
      for (QAbstractButton* b : box->buttons()) seen->buttons << Plain(b->text());
      seen->buttons.sort();
      if (escape)
        QTest::keyClick(box, Qt::Key_Escape);
      else
        box->close();
      seen->up = box->isVisible();
    });
  };
  for (bool escape : {true, false}) {
    SCOPED_TRACE(escape ? "Escape" : "close button");
    Seen seen;
    endNextBox(&seen, escape);
    ASSERT_TRUE(Trigger(&form, "closeTableAction"));
    EXPECT_EQ(seen.text, Ru("Сохранить изменения в таблицах ?"));
    EXPECT_EQ(seen.buttons, QStringList({Ru("Да"), Ru("Нет"), Ru("Отмена")}));
    EXPECT_FALSE(seen.up);
    EXPECT_TRUE(form.Session().InUse());
    EXPECT_TRUE(form.Session().IsModified());
    EXPECT_FALSE(ViewTabs(&form)->isHidden());

    // A question of two buttons, asked either way.
    Seen asked;
    endNextBox(&asked, escape);
    EXPECT_EQ(Dialogs().Ask(&form, Ru("ФИР - ТЛ7"), Ru("Удалить?"), QMessageBox::Yes),
              QMessageBox::No);
    EXPECT_EQ(asked.buttons, QStringList({Ru("Да"), Ru("Нет")}));
    EXPECT_FALSE(asked.up);
    Seen yesNo;
    endNextBox(&yesNo, escape);
    EXPECT_EQ(Dialogs().Message(&form, QMessageBox::Question, Ru("Печать"), Ru("Сохранить?"),
                                QMessageBox::Yes | QMessageBox::No),
              QMessageBox::No);
    EXPECT_FALSE(yesNo.up);
    Seen ok;
    endNextBox(&ok, escape);
    Dialogs().Message(nullptr, QMessageBox::Information, Ru("ФИР - ТЛ7"), Ru("Готово"),
                      QMessageBox::Ok);
    EXPECT_EQ(ok.buttons, QStringList({Ru("ОК")}));
    EXPECT_FALSE(ok.up);
  }
}

// Escape closes the program's own dialogs as their close button does.
TEST_F(ShellTest, EscapeClosesTheDialogsOfTheMenus) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  dialogs.openNames = {PlateTableIn(dir)};
  MainWindow form;
  form.SetAboutBox(new AboutBox(&form));
  ASSERT_TRUE(Trigger(&form, "openTableAction"));
  for (const char* action : {"aboutAction", "previewAction", "choosePortAction"}) {
    SCOPED_TRACE(action);
    int result = -1;
    dialogs.exec = [&](QDialog* dialog) {
      QTimer::singleShot(0, dialog, [dialog] {
        QTest::keyClick(dialog->focusWidget() ? dialog->focusWidget() : dialog, Qt::Key_Escape);
      });
      // Should Escape not close it, the test fails rather than hangs.
      QTimer::singleShot(10000, dialog, [dialog] { dialog->done(-1); });
      result = dialog->exec();
      return result;
    };
    ASSERT_TRUE(Trigger(&form, action));
    EXPECT_EQ(result, int(QDialog::Rejected));
  }
}

// The window opens at a sensible size on its screen, maximized; the next
// run opens it where and as large as the last one left it; a value that
// cannot be read starts as a first run.
TEST_F(ShellTest, WindowGeometryIsKeptBetweenRuns) {
  const QRect room = QGuiApplication::primaryScreen()->availableGeometry();
  {
    MainWindow form;
    EXPECT_TRUE(form.windowState() & Qt::WindowMaximized);
    const QRect normal = form.normalGeometry().isValid() ? form.normalGeometry() : form.geometry();
    EXPECT_GE(normal.width(), std::min(800, room.width()));
    EXPECT_GE(normal.height(), std::min(600, room.height()));
    EXPECT_TRUE(room.contains(normal)) << normal.width() << "x" << normal.height();
    form.show();
    form.setWindowState(Qt::WindowNoState);
    form.setGeometry(QRect(room.topLeft() + QPoint(40, 30), QSize(640, 480)));
    ASSERT_TRUE(WaitUntil([&] { return form.size() == QSize(640, 480); }, 2000));
    form.close();
  }
  QSettings stored(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Merilan"),
                   QStringLiteral("KLT3"));
  EXPECT_TRUE(stored.contains(QStringLiteral("1.0/Window_geometry")));
  EXPECT_EQ(stored.value(QStringLiteral("1.0/Window_maximized")).toString(), QStringLiteral("0"));
  {
    MainWindow form;
    EXPECT_FALSE(form.windowState() & Qt::WindowMaximized);
    EXPECT_EQ(form.geometry().size(), QSize(640, 480));
    EXPECT_EQ(form.geometry().topLeft(), room.topLeft() + QPoint(40, 30));
  }
  for (const char* garbage : {"not base64 at all!", "AdnQywACAAA="}) {
    SCOPED_TRACE(garbage);
    stored.setValue(QStringLiteral("1.0/Window_geometry"), QString::fromLatin1(garbage));
    stored.setValue(QStringLiteral("1.0/Window_maximized"), QStringLiteral("0"));
    stored.sync();
    MainWindow form;
    EXPECT_TRUE(form.windowState() & Qt::WindowMaximized);
    EXPECT_GE(form.geometry().width(), std::min(800, room.width()));
    EXPECT_TRUE(ActionOf(&form, "newTableAction")->isEnabled());
  }
}

// "База данных повреждена !" names the file and why it was refused.
TEST_F(ShellTest, DamagedTableBoxNamesTheFileAndTheReason) {
  struct Detailed : RecordingDialogs {
    QString detail;
    QMessageBox::StandardButton DetailedMessage(QWidget* parent, QMessageBox::Icon icon,
                                                const QString& caption, const QString& text,
                                                const QString& d,
                                                QMessageBox::StandardButtons buttons) override {
      detail = d;
      return Message(parent, icon, caption, text, buttons);
    }
  } recorder;
  SetDialogs(&recorder);
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const QString path = dir.filePath(QStringLiteral("garbage.db"));
  QFile f(path);
  ASSERT_TRUE(f.open(QIODevice::WriteOnly));
  f.write(QByteArray(2000, 'x'));
  f.close();
  recorder.openNames = {path};
  MainWindow form;
  ASSERT_TRUE(Trigger(&form, "openTableAction"));
  ASSERT_EQ(recorder.messages.size(), 1u);
  EXPECT_EQ(recorder.messages[0].caption, Ru("Ошибка"));
  EXPECT_EQ(recorder.messages[0].text, Ru("База данных повреждена !"));
  EXPECT_TRUE(recorder.detail.contains(QDir::toNativeSeparators(path)))
      << recorder.detail.toStdString();
  EXPECT_TRUE(recorder.detail.contains(Ru("Причина: "))) << recorder.detail.toStdString();
  EXPECT_FALSE(form.Session().InUse());
}

TEST_F(ShellTest, PortOfTheInstrumentOpensTheChooserWhoseChoiceTheSettingsKeep) {
  MainWindow form;
  ASSERT_TRUE(StoreChosenPort(QStringLiteral("/dev/ttyUSB5")));
  QString shownChoice;
  auto choose = [&](QDialog* dialog) {
    auto* chooser = qobject_cast<PortDialog*>(dialog);
    ASSERT_NE(chooser, nullptr);
    shownChoice = chooser->SelectedChoice();
    // The operator goes back to the automatic search.
    auto* view = chooser->findChild<QTreeView*>(QStringLiteral("portView"));
    view->setCurrentIndex(view->model()->index(0, 0));
    chooser->accept();
  };
  dialogs.exec = [&](QDialog* dialog) {
    choose(dialog);
    return dialog->result();
  };
  ASSERT_TRUE(Trigger(&form, "choosePortAction"));
  ASSERT_EQ(dialogs.executed.size(), 1u);
  EXPECT_EQ(shownChoice, QStringLiteral("/dev/ttyUSB5"));
  EXPECT_EQ(ChosenPort(), QString());
}

}  // namespace
