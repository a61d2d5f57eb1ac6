// The application shell: start-up, the main window's menus and states, the
// settings it keeps, help and the about box.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
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
#include <QUrl>
#include <vector>

#include "link/ui/download_dialog.h"
#include "platform/dialogs.h"
#include "shell/about_box.h"
#include "shell/app_state.h"
#include "shell/main_window.h"
#include "shell/splash_window.h"
#include "shell/startup.h"
#include "support/store_fixture.h"
#include "support/test_env.h"

namespace {

QString Ru(const char* utf8) { return QString::fromUtf8(utf8); }

// Answers every modal call as a cancel and records what was asked.
struct RecordingDialogs : DialogSeam {
  struct MessageCall {
    QMessageBox::Icon icon;
    QString caption;
    QString text;
  };
  QStringList fileDialogs;  // "open:<dir>" / "save:<dir>"
  std::vector<MessageCall> messages;
  std::vector<QDialog*> executed;
  std::function<void(QDialog*)> onExec;
  QString openAnswer;  // the file the open dialog returns
  // The value of Default_dir in the store at the time of each message.
  QStringList storedDirAtMessage;

  QString GetOpenFileName(QWidget*, const QString&, const QString& dir, const QString&,
                          const QString&) override {
    fileDialogs << QStringLiteral("open:") + dir;
    return openAnswer;
  }
  QString GetSaveFileName(QWidget*, const QString&, const QString& dir, const QString&,
                          const QString&) override {
    fileDialogs << QStringLiteral("save:") + dir;
    return QString();
  }
  bool GetColor(QWidget*, const QColor&, QColor*) override { return false; }
  QMessageBox::StandardButton Message(QWidget*, QMessageBox::Icon icon, const QString& caption,
                                      const QString& text, QMessageBox::StandardButtons) override {
    messages.push_back({icon, caption, text});
    storedDirAtMessage << StoredDefaultDir();
    return QMessageBox::No;
  }
  int Exec(QDialog* dialog) override {
    executed.push_back(dialog);
    if (onExec) onExec(dialog);
    return QDialog::Rejected;
  }

  static QString StoredDefaultDir() {
    QSettings s(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Merilan"),
                QStringLiteral("KLT3"));
    return s.value(QStringLiteral("1.0/Default_dir")).toString();
  }
};

class ShellTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ClearSettings();
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
};

// Texts of a menu's entries in order, "-" for a separator, with the
// shortcut after a "|" and "*" when the entry has a picture.
QStringList Entries(const QList<QAction*>& actions) {
  QStringList out;
  for (QAction* a : actions) {
    if (a->isSeparator()) {
      out << QStringLiteral("-");
      continue;
    }
    QString e = a->text();
    if (!a->shortcut().isEmpty()) e += QLatin1Char('|') + a->shortcut().toString();
    if (!a->icon().isNull()) e += QLatin1Char('*');
    out << e;
  }
  return out;
}

TEST_F(ShellTest, MenuBarAndPopupHoldEveryItemInOrder) {
  TForm1 form;
  const QList<QAction*> menus = form.menuBar()->actions();
  struct Menu {
    const char* title;
    QStringList entries;
  };
  const std::vector<Menu> expected = {
      {"Файл",
       {Ru("Создать|Ctrl+N*"), Ru("Открыть|Ctrl+O*"), Ru("Сохранить|Ctrl+S*"), Ru("Закрыть"), "-",
        Ru("Предварительный просмотр*"), Ru("Печать|Ctrl+P*"), "-", Ru("Выход")}},
      {"Вид",
       {Ru("Выровнять столбцы"), "-", Ru("Задать цвет"), Ru("Убрать цвет"), Ru("Убрать все цвета"),
        "-", Ru("Убрать сортировку")}},
      {"Правка", {Ru("Удалить строки*")}},
      {"Сервис", {Ru("Экспорт в Excel")}},
      {"Справка", {Ru("Помощь|F1*"), "-", Ru("О программе")}},
  };
  ASSERT_EQ(menus.size(), int(expected.size()));
  for (size_t i = 0; i < expected.size(); ++i) {
    SCOPED_TRACE(expected[i].title);
    EXPECT_EQ(menus[int(i)]->text(), Ru(expected[i].title));
    ASSERT_NE(menus[int(i)]->menu(), nullptr);
    EXPECT_EQ(Entries(menus[int(i)]->menu()->actions()), expected[i].entries);
  }
  EXPECT_EQ(
      Entries(form.PopupMenu1->actions()),
      QStringList({Ru("Печать"), "-", Ru("Задать цвет"), Ru("Убрать цвет"), Ru("Убрать все цвета"),
                   "-", Ru("Выровнять столбцы"), "-", Ru("Удалить")}));
  // The tool bar: six picture buttons, no texts, in this order.
  QList<QWidget*> bar;
  for (QAction* a : form.ToolBar1->actions()) bar << form.ToolBar1->widgetForAction(a);
  const QList<QWidget*> expectedBar = {form.ToolButton1, form.ToolButton2, form.ToolButton3,
                                       form.ToolButton4, form.ToolButton5, form.ToolButton6};
  EXPECT_EQ(bar, expectedBar);
  for (QToolButton* b : {form.ToolButton1, form.ToolButton2, form.ToolButton3, form.ToolButton4,
                         form.ToolButton5, form.ToolButton6}) {
    EXPECT_FALSE(b->icon().isNull());
    EXPECT_EQ(b->toolButtonStyle(), Qt::ToolButtonIconOnly);
    EXPECT_TRUE(b->text().isEmpty());
  }
  EXPECT_EQ(form.windowTitle(), Ru("ФИР - ТЛ7"));
  EXPECT_EQ(form.PageControl1->tabText(0), Ru("ЗЕН-ТЛ7"));
  EXPECT_EQ(form.PageControl1->tabText(1), Ru("ФИР-ТЛ7"));
  EXPECT_EQ(form.GroupBox1->title(), Ru("Серия испытаний"));
  EXPECT_TRUE(form.TabSheet2->isAncestorOf(form.ListBox1));
}

TEST_F(ShellTest, TheTwoStatesEnableExactlyTheTableCommands) {
  TForm1 form;
  struct Item {
    const char* name;
    QAction* action;
    QToolButton* button;
    bool tableCommand;
  };
  const std::vector<Item> items = {
      {"N2 Создать", form.N2, nullptr, false},
      {"N3 Открыть", form.N3, nullptr, false},
      {"N5 Сохранить", form.N5, nullptr, true},
      {"N7 Закрыть", form.N7, nullptr, true},
      {"N8 Просмотр", form.N8, nullptr, true},
      {"N9 Печать", form.N9, nullptr, true},
      {"N11 Выход", form.N11, nullptr, false},
      {"N27 Выровнять", form.N27, nullptr, true},
      {"N29 Задать цвет", form.N29, nullptr, true},
      {"N30 Убрать цвет", form.N30, nullptr, true},
      {"N31 Убрать все цвета", form.N31, nullptr, true},
      {"N33 Убрать сортировку", form.N33, nullptr, true},
      {"N34 Удалить строки", form.N34, nullptr, true},
      {"Excel1", form.Excel1, nullptr, true},
      {"N24 Помощь", form.N24, nullptr, false},
      {"N26 О программе", form.N26, nullptr, false},
      {"popup N22", form.N22, nullptr, false},
      {"popup N17", form.N17, nullptr, false},
      {"popup N18", form.N18, nullptr, false},
      {"popup N19", form.N19, nullptr, false},
      {"popup N23", form.N23, nullptr, false},
      {"popup N21", form.N21, nullptr, false},
      {"New", nullptr, form.ToolButton1, false},
      {"Open", nullptr, form.ToolButton2, false},
      {"Save", nullptr, form.ToolButton3, true},
      {"Preview", nullptr, form.ToolButton4, true},
      {"Print", nullptr, form.ToolButton5, true},
      {"Help", nullptr, form.ToolButton6, false},
  };
  const QColor shadow = QApplication::palette().color(QPalette::Dark);
  const QColor face = QApplication::palette().color(QPalette::Button);
  ASSERT_NE(shadow, face);
  auto check = [&](bool tableOpen) {
    for (const Item& it : items) {
      SCOPED_TRACE(it.name);
      const bool enabled = it.action ? it.action->isEnabled() : it.button->isEnabled();
      EXPECT_EQ(enabled, it.tableCommand ? tableOpen : true);
    }
  };

  // At start: no table.
  check(false);
  EXPECT_TRUE(form.PageControl1->isHidden());
  EXPECT_EQ(form.centralWidget()->palette().color(QPalette::Window), shadow);
  EXPECT_FALSE(form.TableOpen);
  EXPECT_TRUE(form.windowState() & Qt::WindowMaximized);

  form.SetTableColor(true);
  form.enable_button();
  check(true);
  EXPECT_EQ(form.centralWidget()->palette().color(QPalette::Window), face);

  form.SetTableColor(false);
  form.disable_button();
  form.tab_vis_dis();
  check(false);
  EXPECT_TRUE(form.PageControl1->isHidden());
  EXPECT_EQ(form.centralWidget()->palette().color(QPalette::Window), shadow);
}

TEST_F(ShellTest, ToolButtonsRunTheMenuCommands) {
  TForm1 form;
  form.ToolButton1->click();  // New: asks for the new file's name
  form.ToolButton2->click();  // Open: asks for the file to open
  const QString start = form.DefaultDir;
  EXPECT_EQ(dialogs.fileDialogs,
            QStringList({QStringLiteral("save:") + start, QStringLiteral("open:") + start}));
  form.ToolButton6->click();  // Help: the missing help file is reported
  ASSERT_EQ(dialogs.messages.size(), 1u);
  EXPECT_TRUE(dialogs.messages[0].text.contains(Ru("ФИР.HLP")));
}

TEST_F(ShellTest, FirstRunStoresTheWorkingFolderAndLaterRunsReadIt) {
  {
    TForm1 form;
    EXPECT_EQ(form.DefaultDir, QDir::currentPath());
    EXPECT_EQ(RecordingDialogs::StoredDefaultDir(), QDir::currentPath());
    EXPECT_EQ(form.OpenDialog1InitialDir, QDir::currentPath());
    EXPECT_EQ(form.SaveDialog1InitialDir, QDir::currentPath());
    // Ended without closing the frame: nothing more is written.
    form.DefaultDir = QStringLiteral("/elsewhere");
  }
  EXPECT_EQ(RecordingDialogs::StoredDefaultDir(), QDir::currentPath());

  StoreDefaultDir(Ru("/data/испытания, 2024"));
  TForm1 form;
  EXPECT_EQ(form.DefaultDir, Ru("/data/испытания, 2024"));
  EXPECT_EQ(form.OpenDialog1InitialDir, Ru("/data/испытания, 2024"));
  EXPECT_EQ(form.SaveDialog1InitialDir, Ru("/data/испытания, 2024"));
}

TEST_F(ShellTest, TheNextRunStartsItsDialogsInTheFolderOfTheLastOpenedTable) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  {
    MeasurementTable table;
    MakeStoreTable(table, dir, {PlateRow(1, 500, 10, 1)});
    table.Close();
  }
  StoreDefaultDir(QStringLiteral("/start"));
  {
    TForm1 form;
    form.show();
    dialogs.openAnswer = QDir(dir.path()).filePath(QStringLiteral("data.db"));
    form.N3Click();
    ASSERT_TRUE(form.TableOpen);
    EXPECT_EQ(RecordingDialogs::StoredDefaultDir(), QStringLiteral("/start"));
    form.close();
  }
  EXPECT_EQ(QDir(RecordingDialogs::StoredDefaultDir()), QDir(dir.path()));
  dialogs.openAnswer.clear();
  TForm1 next;
  next.N3Click();
  ASSERT_EQ(dialogs.fileDialogs.size(), 2);
  EXPECT_EQ(QDir(dialogs.fileDialogs[1].mid(5)), QDir(dir.path()));
}

TEST_F(ShellTest, FrameCloseStoresTheFolderBeforeClosingTheTable) {
  StoreDefaultDir(QStringLiteral("/start"));
  TForm1 form;
  form.show();
  form.DefaultDir = QStringLiteral("/opened/from/here");
  // A modified table makes closing ask its question; by then the folder
  // must already be stored.
  form.TableModified = true;
  form.close();
  EXPECT_EQ(RecordingDialogs::StoredDefaultDir(), QStringLiteral("/opened/from/here"));
  ASSERT_EQ(dialogs.messages.size(), 1u);
  EXPECT_EQ(dialogs.messages[0].icon, QMessageBox::Question);
  EXPECT_EQ(dialogs.storedDirAtMessage, QStringList({QStringLiteral("/opened/from/here")}));
  EXPECT_FALSE(form.TableModified);
}

TEST_F(ShellTest, ExitEndsTheLoopAtOnceWithoutClosing) {
  StoreDefaultDir(QStringLiteral("/start"));
  TForm1 form;
  form.show();
  form.DefaultDir = QStringLiteral("/opened/from/here");
  form.TableModified = true;
  // Keeps the test from hanging should the loop not end.
  QTimer guard;
  guard.setSingleShot(true);
  QObject::connect(&guard, &QTimer::timeout, [] { QCoreApplication::exit(99); });
  guard.start(10000);
  QTimer::singleShot(0, &form, [&form] { form.N11->trigger(); });
  const int rc = QCoreApplication::exec();
  EXPECT_EQ(rc, 0);
  EXPECT_TRUE(form.isVisible());
  EXPECT_TRUE(dialogs.messages.empty());
  EXPECT_EQ(RecordingDialogs::StoredDefaultDir(), QStringLiteral("/start"));
  EXPECT_TRUE(form.TableModified);
}

TEST_F(ShellTest, DamagedSettingsFileStillStartsAsAFirstRun) {
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
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    QDir().mkpath(QFileInfo(path).path());
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(c.content);
    f.close();
    TForm1 form;
    if (c.startsAsFirstRun) {
      EXPECT_EQ(form.DefaultDir, QDir::currentPath());
      // The damaged file does not keep the next run from finding the folder.
      EXPECT_EQ(RecordingDialogs::StoredDefaultDir(), QDir::currentPath());
    } else if (!c.expectedDir.isNull()) {
      EXPECT_EQ(form.DefaultDir, c.expectedDir);
    }
    EXPECT_TRUE(form.N2->isEnabled());
    EXPECT_TRUE(form.PageControl1->isHidden());
    // Closing the frame stores the folder even over a damaged file.
    form.DefaultDir = QStringLiteral("/closed/here");
    form.close();
    EXPECT_EQ(RecordingDialogs::StoredDefaultDir(), QStringLiteral("/closed/here"));
  }
  // A settings location that cannot be read at all.
  QFile::remove(path);
  ASSERT_TRUE(QDir().mkpath(path));
  {
    TForm1 form;
    EXPECT_EQ(form.DefaultDir, QDir::currentPath());
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
       "NB_TYPE=1",
       1},
      {"empty table", {}, 0, "NB_TYPE=0", 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    TForm1 form;
    MakeStoreTable(form.Table, dir, c.rows);
    form.TableOpen = true;
    form.tab_vis_en();
    EXPECT_FALSE(form.PageControl1->isHidden());
    EXPECT_EQ(form.PageControl1->isTabVisible(c.tab), true);
    EXPECT_EQ(form.PageControl1->isTabVisible(1 - c.tab), false);
    EXPECT_EQ(form.PageControl1->currentIndex(), c.tab);
    EXPECT_EQ(form.Table.Filter(), QString::fromLatin1(c.filter));
    EXPECT_EQ(form.Table.VisibleRowCount(), c.visibleRows);
    form.tab_vis_dis();
    EXPECT_TRUE(form.PageControl1->isHidden());
  }
}

TEST_F(ShellTest, ShowingATabSetsItsKindFilter) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  TForm1 form;
  // Showing a tab without a table sets nothing and does not fail.
  form.TabSheet1Show();
  form.TabSheet2Show();
  MakeStoreTable(form.Table, dir,
                 {PlateRow(1, 500, 10, 1), WaterRow(1, 7, 0.2, "B2"), WaterRow(2, 7, 0.4, "B2")});
  form.TableOpen = true;
  form.tab_vis_en();
  ASSERT_EQ(form.Table.Filter(), QStringLiteral("NB_TYPE=1"));
  form.Table.SetFilter(QStringLiteral("SERIAL=7"));
  form.PageControl1->setTabVisible(0, true);
  form.PageControl1->setCurrentIndex(0);
  EXPECT_EQ(form.Table.Filter(), QStringLiteral("NB_TYPE=0"));
  EXPECT_EQ(form.Table.VisibleRowCount(), 1);
  form.PageControl1->setCurrentIndex(1);
  EXPECT_EQ(form.Table.Filter(), QStringLiteral("NB_TYPE=1"));
  EXPECT_EQ(form.Table.VisibleRowCount(), 2);
  // A hidden page control shows no tab, so the filter stays.
  form.tab_vis_dis();
  form.Table.SetFilter(QStringLiteral("SERIAL=7"));
  form.PageControl1->setCurrentIndex(0);
  EXPECT_EQ(form.Table.Filter(), QStringLiteral("SERIAL=7"));
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
  TForm1 form;
  Tform6 about(&form);
  form.Form6 = &about;
  QString version, title, product, comments, button;
  bool bold = false, tool = false;
  dialogs.onExec = [&](QDialog* d) {
    d->show();
    version = about.Version->text();
    title = about.windowTitle();
    product = about.ProductName->text();
    bold = about.ProductName->font().bold();
    comments = about.Comments->text();
    button = about.Button1->text();
    tool = (about.windowFlags() & Qt::Tool) == Qt::Tool;
    about.Button1->click();
  };
  form.N26->trigger();
  ASSERT_EQ(dialogs.executed.size(), 1u);
  EXPECT_EQ(dialogs.executed[0], &about);
  EXPECT_EQ(version, Ru("Версия ") + QStringLiteral(KLT3_VERSION));
  EXPECT_EQ(title, Ru("О программе"));
  EXPECT_EQ(product, Ru("ФИР-ТЛ7"));
  EXPECT_TRUE(bold);
  EXPECT_EQ(comments, Ru("Программа для передачи данных с приборов ФИР-ТЛ7"));
  EXPECT_EQ(button, Ru("Ок"));
  EXPECT_TRUE(tool);
  EXPECT_FALSE(about.isVisible());
  EXPECT_EQ(about.result(), QDialog::Accepted);
}

TEST_F(ShellTest, HelpOpensTheFileBesideTheProgramOrReportsItMissing) {
  TForm1 form;
  std::vector<QUrl> opened;
  form.OpenHelpUrl = [&](const QUrl& url) {
    opened.push_back(url);
    return true;
  };
  // No help file: the message names the file and nothing is opened.
  form.N24->trigger();
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
  form.ToolButton6->click();
  form.N24->trigger();
  ASSERT_EQ(opened.size(), 2u);
  EXPECT_EQ(opened[0], QUrl::fromLocalFile(help));
  EXPECT_EQ(dialogs.messages.size(), 1u);

  // The viewer refusing the file is reported too.
  form.OpenHelpUrl = [](const QUrl&) { return false; };
  form.N24->trigger();
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
  QPointer<TForm5> splash;
  QTimer::singleShot(0, [&] {
    for (QWidget* w : QApplication::topLevelWidgets()) {
      if (auto* s = qobject_cast<TForm5*>(w)) splash = s;
      if (auto* m = qobject_cast<TForm1*>(w)) {
        seen.mainExists = true;
        seen.mainVisible = m->isVisible();
        // The download dialog and the about box exist before the splash shows.
        seen.dialogsCreated = m->Form2 != nullptr && m->Form6 != nullptr;
      }
    }
    if (!splash) return;
    seen.splashShown = splash->isVisible();
    seen.size = splash->size();
    seen.frameless = splash->windowFlags() & Qt::FramelessWindowHint;
    seen.interval = splash->Timer1.interval();
    seen.timerRunning = splash->Timer1.isActive();
    seen.singleShot = splash->Timer1.isSingleShot();
    seen.pictureSet = !splash->Image1->pixmap().isNull();
  });
  // Should the splash not close by itself, the test ends rather than hangs.
  QTimer::singleShot(15000, [&] {
    if (splash) splash->reject();
  });
  const std::unique_ptr<TForm1> form = StartUp();
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
  ASSERT_NE(form->Form2, nullptr);
  ASSERT_NE(form->Form6, nullptr);
  EXPECT_EQ(form->Form2->parent(), form.get());
  EXPECT_EQ(form->Form6->parent(), form.get());
  EXPECT_FALSE(form->Form2->isVisible());
  EXPECT_FALSE(form->Form6->isVisible());
}

TEST_F(ShellTest, SplashClosesWithResultOneWhenItsTimerFires) {
  TForm5 splash;
  splash.show();
  EXPECT_TRUE(splash.Timer1.isActive());
  splash.Timer1Timer();
  EXPECT_FALSE(splash.isVisible());
  EXPECT_EQ(splash.result(), 1);
  EXPECT_FALSE(splash.Timer1.isActive());
}

}  // namespace
