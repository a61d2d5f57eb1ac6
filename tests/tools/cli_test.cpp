// klt3-cli as a script runs it: a child process with its exit code, its
// standard output and its Russian messages, against the simulated
// instrument on a pseudo-terminal and on files the main window wrote. The
// files it writes must be byte for byte those of the main window.
#include <gtest/gtest.h>
#include <signal.h>

#include <QDialog>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QListWidget>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>
#include <memory>

#include "link/ui/download_dialog.h"
#include "platform/dialogs.h"
#include "shell/main_window.h"
#include "support/link_ports.h"
#include "support/recording_dialogs.h"
#include "support/link_sample_records.h"
#include "support/link_pty.h"
#include "support/test_env.h"
#include "support/window_driver.h"
#include "views/grid/data_grid.h"

namespace {

QString Ru(const char* utf8) { return QString::fromUtf8(utf8); }

struct CliResult {
  int code = -1;
  QString out;
  QString err;
};

class Cli : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir_.isValid());
    ClearSettings();
    SetDialogs(&answers_);
  }
  void TearDown() override {
    if (form_) {
      form_.reset();
    }
    SetDialogs(nullptr);
  }

  QString Path(const QString& name) const { return QDir(dir_.path()).filePath(name); }

  // The main window with its download dialog, made on first use.
  MainWindow& Form() {
    if (!form_) {
      form_ = std::make_unique<MainWindow>();
      form_->SetDownloadDialog(new DownloadDialog(form_.get()));
    }
    return *form_;
  }

  // "Создать" in the main window against an instrument on COM1, then "Закрыть".
  void GuiNew(const sim::InstrumentConfig& config, const QString& path) {
    SimulatedPort port(config);
    ASSERT_TRUE(port.Ok());
    PointPortsAt(port.Path(), QString());
    answers_.saveNames = {path};
    ASSERT_TRUE(Trigger(&Form(), "newTableAction"));
    ASSERT_TRUE(Form().Session().InUse()) << answers_.Texts().join(" | ").toStdString();
    ASSERT_TRUE(Trigger(&Form(), "closeTableAction"));
  }

  // "Открыть" in the main window, the series entry `series` (if given) shown.
  void GuiOpen(const QString& path, const QString& series = QString()) {
    answers_.openNames = {path};
    ASSERT_TRUE(Trigger(&Form(), "openTableAction"));
    ASSERT_TRUE(Form().Session().InUse());
    if (series.isEmpty()) return;
    const int row = SeriesEntries(&Form()).indexOf(series);
    ASSERT_GE(row, 0);
    ClickSeries(&Form(), row);
  }

  // Runs klt3-cli with a Russian locale; `during` is called while it runs,
  // with the event loop of the simulated instrument turning.
  CliResult RunCli(const QStringList& args, const std::function<void(QProcess&)>& during = {}) {
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("LC_ALL"), QStringLiteral("ru_RU.UTF-8"));
    env.insert(QStringLiteral("LANG"), QStringLiteral("ru_RU.UTF-8"));
    p.setProcessEnvironment(env);
    p.setWorkingDirectory(dir_.path());
    p.start(BinaryDir() + QStringLiteral("/tools/cli/klt3-cli"), args);
    CliResult r;
    if (!p.waitForStarted(10000)) {
      ADD_FAILURE() << "klt3-cli did not start";
      return r;
    }
    if (during) during(p);
    if (!WaitUntil([&] { return p.state() == QProcess::NotRunning; }, 60000)) {
      p.kill();
      p.waitForFinished();
      ADD_FAILURE() << "klt3-cli did not end";
      return r;
    }
    r.code = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.out = QString::fromUtf8(p.readAllStandardOutput());
    r.err = QString::fromUtf8(p.readAllStandardError());
    return r;
  }

  QStringList Files() const {
    return QDir(dir_.path()).entryList(QDir::Files | QDir::Hidden, QDir::Name);
  }

  QTemporaryDir dir_;
  // The download dialog really runs (a guard timer cancels one that never ends).
  RecordingDialogs answers_ = [] {
    RecordingDialogs d;
    d.exec = [](QDialog* dialog) {
      QTimer guard;
      guard.setSingleShot(true);
      QObject::connect(&guard, &QTimer::timeout, dialog, &QDialog::reject);
      guard.start(30000);
      return dialog->exec();
    };
    return d;
  }();
  std::unique_ptr<MainWindow> form_;
};

TEST_F(Cli, DownloadWritesTheTableNewWrites) {
  const struct {
    const char* name;
    sim::InstrumentConfig config;
    enum { Com1, Com2, Given } where;
    const char* identity;
  } cases[] = {
      {"water", sim::WaterInstrument(ThreeSeries()), cases[0].Com1,
       "Тип прибора: ФИР-ТЛ7\nВерсия ПО: 01.12.05\nКоличество записей: 3\n"},
      {"plate", sim::PlateInstrument(TwoPlateTests(), 16), cases[0].Com2,
       "Тип прибора: ЗЕН-ТЛ7 (тип 16)\nВерсия ПО: 01.12.05\nКоличество записей: 2\n"},
      {"given", sim::WaterInstrument(sim::GenerateWaterRecords(4)), cases[0].Given,
       "Тип прибора: ФИР-ТЛ7\nВерсия ПО: 01.12.05\nКоличество записей: 4\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const QString gui = Path(QStringLiteral("gui-%1.db").arg(c.name));
    const QString out = Path(QStringLiteral("cli-%1.db").arg(c.name));
    GuiNew(c.config, gui);
    // An older file of that name is replaced.
    {
      QFile old(out);
      ASSERT_TRUE(old.open(QIODevice::WriteOnly));
      old.write("old contents");
    }
    SimulatedPort port(c.config);
    ASSERT_TRUE(port.Ok());
    QStringList args{QStringLiteral("download"), out};
    if (c.where == c.Com1) PointPortsAt(port.Path(), QString());
    if (c.where == c.Com2) PointPortsAt(QString(), port.Path());
    if (c.where == c.Given) {
      PointPortsAt(QString(), QString());
      args = QStringList{QStringLiteral("download"), QStringLiteral("--port"), port.Path(), out};
    }
    const CliResult r = RunCli(args);
    EXPECT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_EQ(r.out, Ru(c.identity));
    // Not a terminal: no progress line, nothing else.
    EXPECT_EQ(r.err, QString());
    const QByteArray written = ReadAll(out);
    EXPECT_GT(written.size(), 961);
    EXPECT_EQ(written, ReadAll(gui));
  }
  // Only the tables themselves: no part file, no index file.
  EXPECT_EQ(Files(), (QStringList{"cli-given.db", "cli-plate.db", "cli-water.db", "gui-given.db",
                                  "gui-plate.db", "gui-water.db"}));
}

TEST_F(Cli, DownloadFailuresHaveTheirCodeAndMessageAndLeaveNoTable) {
  sim::InstrumentConfig silent = sim::WaterInstrument(ThreeSeries());
  silent.silent = true;
  sim::InstrumentConfig badSum = sim::WaterInstrument(ThreeSeries());
  badSum.badMemoryChecksum = true;
  sim::InstrumentConfig wrong = sim::WaterInstrument(ThreeSeries());
  sim::MakeWrongKind(&wrong);
  sim::InstrumentConfig empty = sim::PlateInstrument(TwoPlateTests());
  empty.zeroSize = true;
  const struct {
    const sim::InstrumentConfig* config;
    const char* out;
    int code;
    const char* message;
  } cases[] = {
      {&silent, "t.db", 2,
       "Прибор не обнаружен! Проверте правильность подключения согласно инструкции!\n"},
      {&badSum, "t.db", 3, "Ошибка передачи данных!\n"},
      {&wrong, "t.db", 4, "Вы подключили не тот прибор !\n"},
      {&empty, "t.db", 5, "Нет данных для передачи!\n"},
      {&badSum, "missing/t.db", 6, nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.code);
    SimulatedPort port(*c.config);
    ASSERT_TRUE(port.Ok());
    PointPortsAt(port.Path(), QString());
    const CliResult r = RunCli({QStringLiteral("download"), Path(c.out)});
    EXPECT_EQ(r.code, c.code);
    if (c.message)
      EXPECT_EQ(r.err, Ru(c.message));
    else
      EXPECT_TRUE(r.err.contains(Ru("не существует"))) << r.err.toStdString();
    EXPECT_TRUE(Files().isEmpty()) << Files().join(' ').toStdString();
  }
  // A table the main window has open is not replaced under it.
  const QString open = Path(QStringLiteral("open.db"));
  GuiNew(sim::WaterInstrument(ThreeSeries()), open);
  GuiOpen(open);
  const QByteArray before = ReadAll(open);
  SimulatedPort port(sim::PlateInstrument(TwoPlateTests()));
  ASSERT_TRUE(port.Ok());
  const CliResult r =
      RunCli({QStringLiteral("download"), QStringLiteral("--port"), port.Path(), open});
  EXPECT_EQ(r.code, 6);
  EXPECT_TRUE(r.err.contains(Ru("открыта другой программой"))) << r.err.toStdString();
  EXPECT_EQ(port.instrument->Requests('V'), 0);
  ASSERT_TRUE(Trigger(&Form(), "closeTableAction"));
  EXPECT_EQ(ReadAll(open), before);
  EXPECT_EQ(Files(), QStringList{"open.db"});
}

TEST_F(Cli, InterruptedDownloadLeavesNoTableUnderItsName) {
  // About five seconds of memory frame at the line's speed.
  sim::InstrumentConfig config = sim::WaterInstrument(sim::GenerateWaterRecords(60));
  config.paced = true;
  for (const bool older : {false, true}) {
    SCOPED_TRACE(older);
    const QString out = Path(QStringLiteral("t.db"));
    if (older) {
      QFile f(out);
      ASSERT_TRUE(f.open(QIODevice::WriteOnly));
      f.write("older table");
    }
    SimulatedPort port(config);
    ASSERT_TRUE(port.Ok());
    PointPortsAt(port.Path(), QString());
    const CliResult r = RunCli({QStringLiteral("download"), out}, [&](QProcess& p) {
      ASSERT_TRUE(WaitUntil([&] { return port.instrument->Requests('N') > 0; }, 10000));
      ASSERT_TRUE(WaitUntil([&] { return port.instrument->Written() > 200; }, 10000));
      ::kill(pid_t(p.processId()), SIGINT);
    });
    EXPECT_EQ(r.code, 130);
    EXPECT_TRUE(r.err.endsWith(Ru("Прием данных прерван.\n"))) << r.err.toStdString();
    EXPECT_FALSE(port.instrument->Idle());  // really cut short
    if (older) {
      EXPECT_EQ(ReadAll(out), QByteArray("older table"));
      EXPECT_EQ(Files(), QStringList{"t.db"});
    } else {
      EXPECT_TRUE(Files().isEmpty()) << Files().join(' ').toStdString();
    }
    QFile::remove(out);
  }
}

TEST_F(Cli, ExportWritesTheWorkbookOfTheViewShown) {
  const QString water = Path(QStringLiteral("water.db"));
  const QString plate = Path(QStringLiteral("plate.db"));
  GuiNew(sim::WaterInstrument(ThreeSeries()), water);
  GuiNew(sim::PlateInstrument(TwoPlateTests(), 16), plate);
  const struct {
    QString table;
    QString series;  // the entry chosen in the series list, "" for the first shown
    QStringList options;
  } cases[] = {
      {water, "", {}},
      {water, "6", {"--series", "6"}},
      {water, "9", {"--series", "9"}},
      {plate, "", {}},
  };
  int n = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.options.join(' ').toStdString() + " " + c.table.toStdString());
    const QString gui = Path(QStringLiteral("gui%1.xls").arg(n));
    const QString cli = Path(QStringLiteral("cli%1.xls").arg(++n));
    GuiOpen(c.table, c.series);
    answers_.saveNames = {gui};
    ASSERT_TRUE(Trigger(&Form(), "exportXlsAction"));
    ASSERT_TRUE(Trigger(&Form(), "closeTableAction"));
    const CliResult r =
        RunCli(QStringList{QStringLiteral("export"), c.table} + c.options + QStringList{cli});
    EXPECT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_EQ(r.out + r.err, QString());
    const QByteArray bytes = ReadAll(cli);
    EXPECT_GT(bytes.size(), 512);
    EXPECT_EQ(bytes, ReadAll(gui));
  }
}

// The cells of the view the main window shows after "Открыть", by field.
std::vector<QJsonObject> GridRows(MainWindow& form) {
  DataGrid* grid = ShownGrid(&form);
  QAbstractItemModel* model = grid->view()->model();
  std::vector<QJsonObject> rows;
  for (int r = 0; r < model->rowCount(); ++r) {
    QJsonObject o;
    for (int c = 0; c < model->columnCount(); ++c)
      o[grid->Column(c).fieldName()] = model->index(r, c).data(Qt::DisplayRole).toString();
    rows.push_back(o);
  }
  return rows;
}

TEST_F(Cli, DumpShowsTheCellsOfTheView) {
  const QString water = Path(QStringLiteral("water.db"));
  const QString plate = Path(QStringLiteral("plate.db"));
  GuiNew(sim::WaterInstrument(ThreeSeries()), water);
  GuiNew(sim::PlateInstrument(TwoPlateTests(), 16), plate);
  for (const auto& c : {std::pair{water, QString()}, std::pair{water, QStringLiteral("9")},
                        std::pair{plate, QString()}}) {
    SCOPED_TRACE(c.first.toStdString() + " " + c.second.toStdString());
    GuiOpen(c.first, c.second);
    const std::vector<QJsonObject> expected = GridRows(Form());
    ASSERT_TRUE(Trigger(&Form(), "closeTableAction"));
    QStringList args{QStringLiteral("dump"), c.first, QStringLiteral("--json")};
    if (!c.second.isEmpty()) args << QStringLiteral("--series") << c.second;
    const CliResult r = RunCli(args);
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    std::vector<QJsonObject> rows;
    for (const QJsonValue& v : QJsonDocument::fromJson(r.out.toUtf8()).array())
      rows.push_back(v.toObject());
    ASSERT_FALSE(expected.empty());
    EXPECT_EQ(rows, expected);
  }
  // The other two formats: captions first, a comma in a caption quoted, the
  // locale's decimal comma quoted in CSV.
  const CliResult csv = RunCli({QStringLiteral("dump"), plate, QStringLiteral("--csv")});
  ASSERT_EQ(csv.code, 0);
  const QStringList csvLines = csv.out.split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
  ASSERT_EQ(csvLines.size(), 3);
  // P and R as the view shows them, one decimal.
  EXPECT_EQ(csvLines[1], QStringLiteral("1,25.05.2010,10:20:30,\"0,6\",\"12,3\",40x40 мм,,"));
  const CliResult text =
      RunCli({QStringLiteral("dump"), water, QStringLiteral("--kind"), QStringLiteral("water")});
  ASSERT_EQ(text.code, 0);
  EXPECT_EQ(text.out.count(QLatin1Char('\n')), 1 + 18);
  EXPECT_TRUE(text.out.startsWith(Ru("№ образца  "))) << text.out.toStdString();
}

// pdftotext's text of a PDF file.
QString PdfText(const QString& path) {
  QProcess p;
  p.start(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), path, QStringLiteral("-")});
  if (!p.waitForFinished(30000)) return QString();
  return QString::fromUtf8(p.readAllStandardOutput());
}

TEST_F(Cli, ReportPrintsTheRowsShownWithTheirTemplate) {
  const QString water = Path(QStringLiteral("water.db"));
  const QString plate = Path(QStringLiteral("plate.db"));
  GuiNew(sim::WaterInstrument(ThreeSeries()), water);
  GuiNew(sim::PlateInstrument(TwoPlateTests(), 16), plate);
  const struct {
    QString table;
    QStringList options;
    QStringList present;
    QStringList absent;
  } cases[] = {
      // After "Открыть" the first series is shown: heights of series 5 only.
      {water, {}, {Ru("ФИР-ТЛ7"), "105"}, {"106", "109"}},
      {water, {"--series", "9"}, {"109"}, {"105", "106"}},
      {plate, {}, {Ru("ДК-ТЛ7 № 1234"), "25.05.2010"}, {Ru("ФИР-ТЛ7")}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.options.join(' ').toStdString() + " " + c.table.toStdString());
    const QString pdf = Path(QStringLiteral("r.pdf"));
    QFile::remove(pdf);
    const CliResult r =
        RunCli(QStringList{QStringLiteral("report"), c.table} + c.options + QStringList{pdf});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_EQ(r.out + r.err, QString());
    const QString text = PdfText(pdf);
    for (const QString& s : c.present) EXPECT_TRUE(text.contains(s)) << s.toStdString();
    for (const QString& s : c.absent) EXPECT_FALSE(text.contains(s)) << s.toStdString();
  }
}

TEST_F(Cli, CommandLineAndFileFailures) {
  const QString water = Path(QStringLiteral("water.db"));
  GuiNew(sim::WaterInstrument(ThreeSeries()), water);
  const QString garbage = Path(QStringLiteral("garbage.db"));
  {
    QFile f(garbage);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(QByteArray(2000, 'x'));
  }
  const QString nowhere = Path(QStringLiteral("no/such/folder/out"));
  const struct {
    QStringList args;
    int code;
    const char* message;  // the start of standard error
  } cases[] = {
      {{}, 1, "Использование: klt3-cli"},
      {{"erase"}, 1, "Неизвестная команда erase."},
      {{"dump", water, "--color"}, 1, "Неизвестный параметр --color."},
      {{"dump", water, "--series"}, 1, "Не задано значение параметра --series."},
      {{"dump", water, "--kind", "soil"}, 1, "Параметр --kind принимает значения plate или water."},
      {{"dump", water, "--series", "x"}, 1, "Номер серии должен быть"},
      {{"dump", water, "--csv", "--json"}, 1, "Параметры --csv и --json нельзя задать вместе."},
      {{"export", water}, 1, "Укажите файл таблицы (.db) и выходной файл."},
      {{"download"}, 1, "Укажите один файл таблицы (.db)."},
      {{"dump", Path("none.db")}, 7, "Файл "},
      {{"dump", garbage}, 7, "База данных повреждена !"},
      {{"report", garbage, Path("r.pdf")}, 7, "База данных повреждена !"},
      {{"dump", water, "--series", "7"}, 10, "Серии 7 в таблице нет."},
      {{"export", water, nowhere + ".xls"}, 8, "StgCreateDocFile error -2147287038."},
      {{"report", water, nowhere + ".pdf"}, 9, "Не удалось записать файл "},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args.join(' ').toStdString());
    const CliResult r = RunCli(c.args);
    EXPECT_EQ(r.code, c.code);
    EXPECT_TRUE(r.err.startsWith(Ru(c.message))) << r.err.toStdString();
    EXPECT_FALSE(r.err.isEmpty());
    EXPECT_TRUE(r.out.isEmpty()) << r.out.toStdString();
  }
  // --help answers on standard output and succeeds, for each command.
  for (const char* command : {"download", "dump", "export", "report"}) {
    const CliResult r = RunCli({QString::fromLatin1(command), QStringLiteral("--help")});
    EXPECT_EQ(r.code, 0);
    EXPECT_TRUE(r.out.startsWith(Ru("Использование: klt3-cli ") + QLatin1String(command)));
  }
  EXPECT_EQ(Files(), (QStringList{"garbage.db", "water.db"}));
  // A table the main window has open is named as such, not as damaged.
  GuiOpen(water);
  const CliResult held = RunCli({QStringLiteral("dump"), water});
  EXPECT_EQ(held.code, 7);
  EXPECT_TRUE(held.err.contains(Ru("открыта другой программой"))) << held.err.toStdString();
}

}  // namespace

namespace {

TEST_F(Cli, PortsAreSetInTheSettingsTheDownloadReads) {
  SimulatedPort port(sim::WaterInstrument(ThreeSeries()));
  ASSERT_TRUE(port.Ok());
  PointPortsAt(QString(), QString());
  const CliResult set = RunCli({QStringLiteral("ports"), QStringLiteral("--com2"), port.Path()});
  EXPECT_EQ(set.code, 0);
  EXPECT_EQ(set.out + set.err, QString());
  // The download finds the instrument where the command pointed COM2.
  const CliResult download = RunCli({QStringLiteral("download"), Path(QStringLiteral("t.db"))});
  EXPECT_EQ(download.code, 0) << download.err.toStdString();
  // An empty path removes the value: the port leads to its default again.
  EXPECT_EQ(RunCli({QStringLiteral("ports"), QStringLiteral("--com1"), QString()}).code, 0);
  const CliResult stored = RunCli({QStringLiteral("ports"), QStringLiteral("--stored")});
  EXPECT_EQ(stored.out, QStringLiteral("COM1=\nCOM2=%1\n").arg(port.Path()));
  const CliResult shown = RunCli({QStringLiteral("ports")});
  EXPECT_EQ(shown.out, QStringLiteral("COM1: /dev/ttyS0\nCOM2: %1\n").arg(port.Path()));
}

}  // namespace

namespace {

// The children of a process, by their command lines.
std::vector<std::pair<pid_t, QString>> Children(qint64 pid) {
  std::vector<std::pair<pid_t, QString>> out;
  const QString list =
      QString::fromLatin1(ReadAll(QStringLiteral("/proc/%1/task/%1/children").arg(pid)));
  for (const QString& child : list.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
    QByteArray cmd = ReadAll(QStringLiteral("/proc/%1/cmdline").arg(child));
    cmd.replace('\0', ' ');
    out.push_back({pid_t(child.toInt()), QString::fromLocal8Bit(cmd)});
  }
  return out;
}

TEST_F(Cli, DemoPointsCom1AtTheSimulatorForItsRunOnly) {
  PointPortsAt(QStringLiteral("/dev/ttyUSB9"), QString());
  auto storedCom1 = [this] {
    return RunCli({QStringLiteral("ports"), QStringLiteral("--stored")})
        .out.section(QLatin1Char('\n'), 0, 0);
  };
  QProcess demo;
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
  // The programs this test depends on are built; the demo runs them as they are.
  env.insert(QStringLiteral("KLT3_DEMO_BUILT"), QStringLiteral("1"));
  demo.setProcessEnvironment(env);
  demo.setProcessChannelMode(QProcess::MergedChannels);
  demo.start(QStringLiteral("bash"), {SourceDir() + QStringLiteral("/scripts/demo.sh"), BinaryDir(),
                                      QStringLiteral("water")});
  ASSERT_TRUE(demo.waitForStarted(10000));
  // The script starts the simulator and the program.
  pid_t program = 0, simulator = 0;
  const bool started = WaitUntil(
      [&] {
        for (const auto& [pid, cmd] : Children(demo.processId())) {
          if (cmd.contains(QLatin1String("klt3-sim "))) simulator = pid;
          if (cmd.trimmed().endsWith(QLatin1String("src/shell/klt3"))) program = pid;
        }
        return program && simulator;
      },
      30000);
  if (!started) {
    demo.kill();
    demo.waitForFinished();
    FAIL() << demo.readAll().toStdString();
  }
  EXPECT_TRUE(storedCom1().startsWith(QLatin1String("COM1=/dev/pts/")));
  // The instrument on the demo's COM1 answers a download.
  const CliResult r = RunCli({QStringLiteral("download"), Path(QStringLiteral("demo.db"))});
  EXPECT_EQ(r.code, 0) << r.err.toStdString();
  EXPECT_TRUE(r.out.endsWith(Ru("Количество записей: 5\n"))) << r.out.toStdString();
  // The program ends: the simulator goes and COM1 leads where it led.
  ::kill(program, SIGTERM);
  ASSERT_TRUE(WaitUntil([&] { return demo.state() == QProcess::NotRunning; }, 30000));
  EXPECT_EQ(storedCom1(), QStringLiteral("COM1=/dev/ttyUSB9"));
  EXPECT_NE(::kill(simulator, 0), 0);
}

}  // namespace
