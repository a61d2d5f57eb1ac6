// klt3-cli as a script runs it: a child process with its exit code, its
// standard output and its Russian messages, against the simulated
// instrument on a pseudo-terminal and on files the main window wrote. The
// files it writes must be byte for byte those of the main window.
#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <unistd.h>

#include <QDialog>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QListWidget>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTimer>
#include <memory>
#include <tuple>

#include "link/memory_image_file.h"
#include "link/serial_link.h"
#include "link/ui/download_dialog.h"
#include "link/ui/port_dialog.h"
#include "platform/dialogs.h"
#include "platform/file_ops.h"
#include "platform/ports.h"
#include "shell/main_window.h"
#include "store/measurement_table.h"
#include "support/link_ports.h"
#include "support/link_pty.h"
#include "support/link_sample_records.h"
#include "support/recording_dialogs.h"
#include "support/test_env.h"
#include "support/window_driver.h"
#include "views/grid/data_grid.h"

namespace {

QString Ru(const char* utf8) { return QString::fromUtf8(utf8); }

// The image file of a water-permeability tester's memory of zeros, `length`
// bytes of it.
QByteArray ZeroImageFile(uint32_t length) {
  auto download = std::make_unique<DownloadResult>();
  download->identity.kind = 1;
  download->identity.type = 1;
  download->identity.version = "01.12.05";
  download->length = length;
  return EncodeMemoryImageFile(*download);
}

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
  // The cable pulled amid the memory frame: the line hangs up.
  sim::InstrumentConfig pulled = sim::WaterInstrument(sim::GenerateWaterRecords(40));
  pulled.paced = true;
  pulled.cutAfter = 1000;
  pulled.hangUp = true;
  const struct {
    const sim::InstrumentConfig* config;
    const char* out;
    int code;
    const char* message;
    const char* detail;  // what the lines after the message name
  } cases[] = {
      {&silent, "t.db", 2,
       "Прибор не обнаружен! Проверьте правильность подключения согласно инструкции!\n",
       nullptr},
      {&badSum, "t.db", 3, "Ошибка передачи данных!\n", nullptr},
      {&wrong, "t.db", 4, "Вы подключили не тот прибор !\n", "вид 16, тип 20"},
      {&empty, "t.db", 5, "Нет данных для передачи!\n", nullptr},
      {&pulled, "t.db", 3,
       "Связь с прибором потеряна! Проверьте, что кабель подключен к прибору и к компьютеру и что "
       "прибор включен, и повторите прием.\n",
       "связь прервалась"},
      {&badSum, "missing/t.db", 6, nullptr, nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.code);
    SimulatedPort port(*c.config);
    ASSERT_TRUE(port.Ok());
    PointPortsAt(port.Path(), QString());
    const CliResult r = RunCli({QStringLiteral("download"), Path(c.out)});
    EXPECT_EQ(r.code, c.code);
    // Not found: each port tried, and what happened there, follow.
    const QString detail =
        c.code == 2 ? Ru("COM1 (%1): нет ответа\nCOM2 (/nonexistent/klt3-no-port): нет такого "
                         "порта\n")
                          .arg(port.Path())
                    : QString();
    if (c.detail) {
      EXPECT_TRUE(r.err.startsWith(Ru(c.message))) << r.err.toStdString();
      EXPECT_TRUE(r.err.contains(Ru(c.detail))) << r.err.toStdString();
    } else if (c.message) {
      EXPECT_EQ(r.err, Ru(c.message) + detail);
    } else
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

// On a terminal the progress line is redrawn in place; the shorter status
// of the transfer must not leave the end of the longer one behind.
TEST_F(Cli, ProgressOnATerminalIsRedrawnWithoutRemains) {
  SimulatedPort port(sim::WaterInstrument(ThreeSeries()));
  ASSERT_TRUE(port.Ok());
  PointPortsAt(port.Path(), QString());
  const int master = posix_openpt(O_RDWR | O_NOCTTY);
  ASSERT_GE(master, 0);
  ASSERT_EQ(grantpt(master), 0);
  ASSERT_EQ(unlockpt(master), 0);
  const QString terminal = QString::fromLocal8Bit(ptsname(master));
  fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);
  QProcess p;
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert(QStringLiteral("LC_ALL"), QStringLiteral("ru_RU.UTF-8"));
  p.setProcessEnvironment(env);
  p.setWorkingDirectory(dir_.path());
  p.setStandardErrorFile(terminal);
  p.start(BinaryDir() + QStringLiteral("/tools/cli/klt3-cli"),
          {QStringLiteral("download"), Path(QStringLiteral("t.db"))});
  QByteArray screen;
  auto drain = [&] {
    char buffer[4096];
    ssize_t n;
    while ((n = read(master, buffer, sizeof buffer)) > 0) screen.append(buffer, int(n));
  };
  const bool ended = WaitUntil(
      [&] {
        drain();
        return p.state() == QProcess::NotRunning;
      },
      60000);
  drain();
  close(master);
  if (!ended) p.kill();
  ASSERT_TRUE(ended);
  EXPECT_EQ(p.exitCode(), 0);
  // The lines as the terminal shows them: a carriage return writes over the
  // line from its start.
  QStringList shown;
  for (const QString& raw : QString::fromUtf8(screen).split(QLatin1Char('\n'))) {
    QString line;
    int column = 0;
    for (const QChar ch : raw) {
      if (ch == QLatin1Char('\r')) {
        column = 0;
        continue;
      }
      if (column < line.size())
        line[column] = ch;
      else
        line += ch;
      ++column;
    }
    shown << line.trimmed();
  }
  ASSERT_FALSE(shown.filter(Ru("Идет прием информации ... [")).isEmpty())
      << screen.toStdString();
  for (const QString& line : shown) {
    if (!line.contains(QLatin1Char('['))) continue;
    EXPECT_EQ(line.count(QLatin1Char(']')), 1) << line.toStdString();
    // After the bar: the percentage, then the port, and nothing left over.
    const QString tail = line.section(QLatin1Char(']'), 1).trimmed();
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^\\d{1,3}% [^%\\]]+$")).match(tail).hasMatch())
        << line.toStdString();
  }
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
    std::vector<QJsonObject> expected = GridRows(Form());
    // A water-permeability row carries the number of its series, the entry
    // of the window's series list that is shown.
    if (c.first == water) {
      const QString shown = c.second.isEmpty() ? SeriesEntries(&Form()).first() : c.second;
      for (QJsonObject& o : expected) o[QStringLiteral("SERIAL")] = shown;
    }
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
  // P and R as the view shows them, with their two decimals.
  EXPECT_EQ(csvLines[1], QStringLiteral("1,25.05.2010,10:20:30,\"0,56\",\"12,34\",40x40 мм,,"));
  // Every row of every series with its number first and its grade last.
  const CliResult text =
      RunCli({QStringLiteral("dump"), water, QStringLiteral("--kind"), QStringLiteral("water")});
  ASSERT_EQ(text.code, 0);
  const QStringList lines = text.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
  ASSERT_EQ(lines.size(), 1 + 18) << text.out.toStdString();
  EXPECT_TRUE(lines[0].startsWith(Ru("Серия  № образца  "))) << text.out.toStdString();
  EXPECT_TRUE(lines[0].endsWith(Ru("Марка"))) << text.out.toStdString();
  for (int i = 1; i <= 18; ++i) {
    const char* series = i <= 6 ? "5      " : i <= 12 ? "6      " : "9      ";
    EXPECT_TRUE(lines[i].startsWith(QLatin1String(series) + QString::number((i - 1) % 6 + 1)))
        << lines[i].toStdString();
    EXPECT_TRUE(lines[i].endsWith(QStringLiteral("B6"))) << lines[i].toStdString();
  }
  const CliResult seriesCsv = RunCli({QStringLiteral("dump"), water, QStringLiteral("--csv"),
                                      QStringLiteral("--series"), QStringLiteral("6")});
  ASSERT_EQ(seriesCsv.code, 0);
  const QStringList csvRows = seriesCsv.out.split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
  ASSERT_EQ(csvRows.size(), 1 + 6);
  EXPECT_TRUE(csvRows[0].startsWith(Ru("Серия,№ образца,"))) << csvRows[0].toStdString();
  for (int i = 1; i <= 6; ++i)
    EXPECT_TRUE(csvRows[i].startsWith(QStringLiteral("6,%1,").arg(i))) << csvRows[i].toStdString();
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
      // The plate tester's own report for its device type 16.
      {plate,
       {},
       {Ru("ЗЕН-ТЛ7 № 1234"), "25.05.2010", Ru("пластины")},
       {Ru("ФИР-ТЛ7"), Ru("ДК-ТЛ7")}},
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

TEST_F(Cli, CommandsThatOnlyReadNeverWriteTheTable) {
  const QString water = Path(QStringLiteral("water.db"));
  GuiNew(sim::WaterInstrument(ThreeSeries()), water);
  // A header whose record count is stale, as a program that stopped while
  // writing leaves it.
  QByteArray bytes = ReadAll(water);
  bytes[4] = char(20);
  {
    QFile f(water);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
  }
  // What a writer that died left beside it is no reader's to remove.
  const QStringList leftovers = {"water.db.~pack", "water.db.~tmp", "water.mdx.~tmp"};
  for (const QString& name : leftovers) {
    QFile f(Path(name));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("left by a writer");
  }
  const QStringList commands[] = {
      {"dump", water},
      {"export", water, Path("out.xls")},
      {"report", water, Path("out.pdf")},
  };
  QString dumped;
  for (const QStringList& args : commands) {
    SCOPED_TRACE(args.first().toStdString());
    QStringList before = Files();
    const CliResult r = RunCli(args);
    EXPECT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_EQ(ReadAll(water), bytes);
    // Read all the same, but not silently.
    EXPECT_TRUE(r.err.contains(Ru("указано строк: 20, а в файле найдено: 18.")))
        << r.err.toStdString();
    for (const QString& name : leftovers)
      EXPECT_EQ(ReadAll(Path(name)), QByteArray("left by a writer")) << name.toStdString();
    if (args.size() == 3) before << QFileInfo(args.last()).fileName();  // the output
    before.sort();
    EXPECT_EQ(Files(), before);
    if (args.first() == QLatin1String("dump")) dumped = r.out;
  }
  ASSERT_FALSE(dumped.isEmpty());
  // They read the table also while the main window has it open.
  GuiOpen(water);
  const QByteArray held = ReadAll(water);
  for (const QStringList& args : commands) {
    SCOPED_TRACE(args.first().toStdString());
    const CliResult r = RunCli(args);
    EXPECT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_EQ(ReadAll(water), held);
    if (args.first() == QLatin1String("dump")) {
      EXPECT_EQ(r.out, dumped);
    }
  }
}

// No writer replaces the file it reads (under any name), a table another
// program holds open, or a file the user made read-only: it says why and
// writes nothing.
TEST_F(Cli, WritersRefuseTheirInputAndFilesTheyMustNotReplace) {
  const QString water = Path(QStringLiteral("water.db"));
  GuiNew(sim::WaterInstrument(ThreeSeries()), water);
  ASSERT_EQ(RunCli({"decode", Path("none.img"), Path("x.db")}).code, 12);
  const QString img = Path(QStringLiteral("memory.img"));
  {
    QFile f(img);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(ZeroImageFile(100));
  }
  const QString alias = Path(QStringLiteral("alias.db"));  // the table under a second name
  ASSERT_EQ(link(QFile::encodeName(water).constData(), QFile::encodeName(alias).constData()), 0);
  const QString readOnly = Path(QStringLiteral("kept.xls"));
  {
    QFile f(readOnly);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("the operator's workbook");
  }
  ASSERT_TRUE(QFile::setPermissions(readOnly, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther));
  const QString held = Path(QStringLiteral("held.db"));
  ASSERT_TRUE(QFile::copy(water, held));
  const int holder = open(QFile::encodeName(held).constData(), O_RDWR);
  ASSERT_TRUE(::Files().Lock(holder));
  const struct {
    QStringList args;
    int code;
    QString target;
    const char* reason;
    const char* message = "Нельзя записать в файл %1: %2.\n";
  } cases[] = {
      {{"export", water, water}, 8, water, "из него читаются данные. Выберите другое имя"},
      {{"export", water, alias}, 8, alias, "из него читаются данные. Выберите другое имя"},
      {{"report", water, water}, 9, water, "из него читаются данные. Выберите другое имя"},
      {{"report", alias, water}, 9, water, "из него читаются данные. Выберите другое имя"},
      {{"decode", img, img}, 6, img, "из него читаются данные. Выберите другое имя"},
      {{"export", water, held}, 8, held, "он открыт другой программой"},
      {{"report", water, held}, 9, held, "он открыт другой программой"},
      {{"export", water, readOnly}, 8, readOnly, "файл защищён от записи"},
      {{"report", water, readOnly}, 9, readOnly, "файл защищён от записи"},
      // A new table says so in its own words.
      {{"decode", img, readOnly}, 6, readOnly, "",
       "Файл %1 защищён от записи: новая таблица не может его заменить.\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args.join(' ').toStdString());
    const QByteArray before = ReadAll(c.target);
    const QStringList filesBefore = Files();
    const CliResult r = RunCli(c.args);
    EXPECT_EQ(r.code, c.code);
    EXPECT_EQ(r.err, Ru(c.message).arg(c.target, Ru(c.reason)));
    EXPECT_EQ(ReadAll(c.target), before);
    EXPECT_EQ(Files(), filesBefore);
  }
  close(holder);
  // Once the other program lets go, the same command writes.
  EXPECT_EQ(RunCli({"export", water, held}).code, 0);
  // The window's "Экспорт в Excel" onto the table it has open, under
  // either name: refused, and the table stays open and as it was.
  GuiOpen(water);
  for (const QString& target : {water, alias}) {
    SCOPED_TRACE(target.toStdString());
    const QByteArray before = ReadAll(water);
    answers_.messages.clear();
    answers_.saveNames = {target};
    ASSERT_TRUE(Trigger(&Form(), "exportXlsAction"));
    ASSERT_EQ(answers_.messages.size(), 1u);
    EXPECT_EQ(answers_.messages[0].text,
              Ru("Нельзя записать в файл %1: из него читаются данные. Выберите другое имя.")
                  .arg(target));
    EXPECT_EQ(ReadAll(water), before);
    EXPECT_TRUE(Form().Session().Table().IsOpen());
  }
}

// Where no new table can be written, download and decode say so before the
// instrument is read or the image decoded, and leave the folder as it was.
TEST_F(Cli, ANewTableIsRefusedWhereItCannotBeWritten) {
  // A folder others may read but not write; the commands run as "nobody"
  // when the test is root (whom no permission stops).
  QTemporaryDir closed;
  ASSERT_TRUE(closed.isValid());
  ASSERT_EQ(::chmod(QFile::encodeName(closed.path()).constData(), ::getuid() == 0 ? 0755 : 0555),
            0);
  const QString img = Path("in.img");
  {
    QFile f(img);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(ZeroImageFile(100));
  }
  ASSERT_EQ(::chmod(QFile::encodeName(dir_.path()).constData(), 0755), 0);
  SimulatedPort port(sim::WaterInstrument(ThreeSeries()));
  ASSERT_TRUE(port.Ok());
  ASSERT_EQ(::chmod(QFile::encodeName(port.Path()).constData(), 0666), 0);
  const QString out = QDir(closed.path()).filePath("t.db");
  const QString refusal = Ru("Папка %1 защищена от записи: новую таблицу в ней создать нельзя. "
                             "Выберите другую папку.\n")
                              .arg(closed.path());
  for (const QStringList& args : {QStringList{"download", "--port", port.Path(), out},
                                  QStringList{"decode", img, out}}) {
    SCOPED_TRACE(args.first().toStdString());
    QProcess p;
    if (::getuid() == 0) {
      p.setChildProcessModifier([] {
        if (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0)
          ::_exit(99);
      });
    }
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("XDG_CONFIG_HOME", closed.path());
    p.setProcessEnvironment(env);
    p.start(BinaryDir() + "/tools/cli/klt3-cli", args);
    ASSERT_TRUE(WaitUntil([&] { return p.state() == QProcess::NotRunning; }, 30000));
    const QString err = QString::fromUtf8(p.readAllStandardError());
    if (p.error() == QProcess::FailedToStart || p.exitCode() == 99)
      GTEST_SKIP() << "cannot run as nobody here: " << err.toStdString();
    EXPECT_EQ(p.exitCode(), 6);
    EXPECT_EQ(err, refusal);
    EXPECT_TRUE(QDir(closed.path()).entryList(QDir::Files | QDir::Hidden).isEmpty());
  }
  EXPECT_EQ(port.instrument->Requests('V'), 0);

  // A table the main window has open is not replaced by a decoded image.
  const QString open = Path("open.db");
  GuiNew(sim::WaterInstrument(ThreeSeries()), open);
  GuiOpen(open);
  const QByteArray before = ReadAll(open);
  const CliResult held = RunCli({"decode", img, open});
  EXPECT_EQ(held.code, 6);
  EXPECT_EQ(held.err, Ru("Таблица %1 открыта другой программой. Закройте ее и повторите.\n").arg(open));
  ASSERT_TRUE(Trigger(&Form(), "closeTableAction"));
  EXPECT_EQ(ReadAll(open), before);
  EXPECT_EQ(Files(), (QStringList{"in.img", "open.db"}));
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
      {{"export", water, nowhere + ".xls"}, 8, "Не удалось записать файл "},
      {{"report", water, nowhere + ".pdf"}, 9, "Не удалось записать файл "},
      {{"ports", "--port", "ttyUSB0"}, 1, "Параметр --port принимает путь устройства"},
      {{"ports", "--port", ""}, 1, "Параметр --port принимает путь устройства"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args.join(' ').toStdString());
    const CliResult r = RunCli(c.args);
    EXPECT_EQ(r.code, c.code);
    EXPECT_TRUE(r.err.startsWith(Ru(c.message))) << r.err.toStdString();
    // A damaged table is named, with the reason; a missing folder is said so.
    if (r.err.startsWith(Ru("База данных повреждена !"))) {
      EXPECT_TRUE(r.err.contains(QDir::toNativeSeparators(garbage)) &&
                  r.err.contains(Ru("Причина: ")))
          << r.err.toStdString();
    }
    if (c.code == 8 || c.code == 9) {
      EXPECT_TRUE(r.err.contains(Ru(": нет такой папки."))) << r.err.toStdString();
    }
    if (c.code == 8) {
      EXPECT_TRUE(r.err.contains(Ru("StgCreateDocFile error -2147287038"))) << r.err.toStdString();
    }
    EXPECT_FALSE(r.err.isEmpty());
    EXPECT_TRUE(r.out.isEmpty()) << r.out.toStdString();
  }
  // --help answers on standard output and succeeds, for each command.
  for (const char* command : {"download", "dump", "export", "report", "ports"}) {
    const CliResult r = RunCli({QString::fromLatin1(command), QStringLiteral("--help")});
    EXPECT_EQ(r.code, 0);
    EXPECT_TRUE(r.out.startsWith(Ru("Использование: klt3-cli ") + QLatin1String(command)));
  }
  // The top-level help, also as -h, names every command's options; the
  // rows help speaks of the series number, not of a field.
  for (const char* flag : {"--help", "-h"}) {
    SCOPED_TRACE(flag);
    const CliResult r = RunCli({QString::fromLatin1(flag)});
    EXPECT_EQ(r.code, 0);
    for (const char* part : {"export ФАЙЛ.db [--series N | --kind plate|water] ВЫХОД.xls",
                             "report ФАЙЛ.db [--series N | --kind plate|water] ВЫХОД.pdf",
                             "ports [--port ПОРТ] [--com1 ПУТЬ] [--com2 ПУТЬ] [--stored]"})
      EXPECT_TRUE(r.out.contains(Ru(part))) << part << "\n" << r.out.toStdString();
  }
  const CliResult exportHelp = RunCli({QStringLiteral("export"), QStringLiteral("--help")});
  EXPECT_FALSE(exportHelp.out.contains(QStringLiteral("SERIAL"))) << exportHelp.out.toStdString();
  EXPECT_TRUE(exportHelp.out.contains(Ru("серии испытаний с номером N")));
  EXPECT_EQ(Files(), (QStringList{"garbage.db", "water.db"}));
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
  // The port that answered is shown beside the automatic choice.
  const CliResult stored = RunCli({QStringLiteral("ports"), QStringLiteral("--stored")});
  EXPECT_EQ(stored.out, QStringLiteral("COM1=\nCOM2=%1\nPort=\nLastPort=%1\n").arg(port.Path()));
  const CliResult shown = RunCli({QStringLiteral("ports")});
  EXPECT_EQ(shown.out, Ru("COM1: /dev/ttyS0\nCOM2: %1\nПорт прибора: автоматически\n"
                          "Порт, где прибор ответил в прошлый раз: %1\n")
                           .arg(port.Path()));

  // "--port" chooses the port as "Порт прибора…" does: the window's chooser
  // opens on it and the download goes there alone.
  PointPortsAt(QString(), QString());
  const CliResult chosen = RunCli({QStringLiteral("ports"), QStringLiteral("--port"), port.Path()});
  EXPECT_EQ(chosen.code, 0);
  EXPECT_EQ(chosen.out + chosen.err, QString());
  {
    PortDialog chooser;
    const auto* view = chooser.findChild<QAbstractItemView*>(QStringLiteral("portView"));
    ASSERT_TRUE(view);
    EXPECT_EQ(view->currentIndex().siblingAtColumn(0).data().toString(), port.Path());
  }
  EXPECT_EQ(RunCli({QStringLiteral("ports")}).out.section(QLatin1Char('\n'), 2, 2),
            Ru("Порт прибора: %1").arg(port.Path()));
  const int asked = port.instrument->Requests('V');
  const CliResult again = RunCli({QStringLiteral("download"), Path(QStringLiteral("u.db"))});
  EXPECT_EQ(again.code, 0) << again.err.toStdString();
  EXPECT_EQ(port.instrument->Requests('V'), asked + 1);

  const struct {
    const char* port;
    QString stored;  // the value "Port" afterwards
    QString shown;   // the line of "ports"
    const char* err;
  } cases[] = {
      {"com2", "COM2", Ru("Порт прибора: COM2 (/nonexistent/klt3-no-port)"), ""},
      {"/dev/klt3-unplugged", "/dev/klt3-unplugged",
       Ru("Порт прибора: /dev/klt3-unplugged (сейчас не найден)"),
       "Устройства /dev/klt3-unplugged сейчас нет; выбор записан.\n"},
      {"auto", "", Ru("Порт прибора: автоматически"), ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.port);
    const CliResult r = RunCli({QStringLiteral("ports"), QStringLiteral("--port"), c.port});
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.err, Ru(c.err));
    EXPECT_EQ(ChosenPort(), c.stored);
    EXPECT_EQ(RunCli({QStringLiteral("ports")}).out.section(QLatin1Char('\n'), 2, 2), c.shown);
  }
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

namespace {

// The bytes of the "->" or "<-" lines of a protocol log, in order.
QByteArray LoggedBytes(const QString& log, const QString& arrow) {
  QByteArray out;
  const QRegularExpression line("^ *\\d+\\.\\d{3}  " + QRegularExpression::escape(arrow) +
                                " ((?:[0-9A-F]{2} )+) *\\|");
  for (const QString& l : log.split('\n')) {
    const QRegularExpressionMatch m = line.match(l);
    if (m.hasMatch()) out += QByteArray::fromHex(m.captured(1).toLatin1());
  }
  return out;
}

TEST_F(Cli, DownloadKeepsTheImageAndTheLogAndDecodeMakesTheSameTable) {
  const struct {
    const char* name;
    sim::InstrumentConfig config;
  } cases[] = {
      {"water", sim::WaterInstrument(ThreeSeries())},
      {"plate", sim::PlateInstrument(TwoPlateTests(), 16)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    SimulatedPort port(c.config);
    ASSERT_TRUE(port.Ok());
    PointPortsAt(port.Path(), QString());
    const QString table = Path(QStringLiteral("%1.db").arg(c.name));
    const QString image = Path(QStringLiteral("%1.img").arg(c.name));
    const QString log = Path(QStringLiteral("%1.log").arg(c.name));
    const CliResult r =
        RunCli({"download", "--save-image", image, "--log", log, table});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();

    // The image file: our header, then the bytes as the line brought them.
    const QByteArray file = ReadAll(image);
    const QByteArray body = c.config.image;
    ASSERT_EQ(file.size(), 21 + 8 + body.size() + 4);
    EXPECT_EQ(file.left(8), QByteArray("KLT3MEM\x1a"));
    EXPECT_EQ(file.mid(8, 2), QByteArray("\x01\x00", 2));
    EXPECT_EQ(uint8_t(file[10]), c.config.identity.kind);
    EXPECT_EQ(uint8_t(file[11]), c.config.identity.type);
    EXPECT_EQ(file.mid(12, 2), QByteArray("\xd2\x04"));  // 1234
    EXPECT_EQ(uint8_t(file[14]), c.config.identity.recordCount);
    EXPECT_EQ(file.mid(16, 9), QByteArray("\x08" "01.12.05"));
    const uint32_t length = uint32_t(body.size() + 4);
    EXPECT_EQ(file.mid(25, 4), QByteArray(reinterpret_cast<const char*>(&length), 4));
    EXPECT_EQ(file.mid(29, body.size()), body);

    // The table made from it later is the downloaded one; the header's
    // date of writing aside.
    const QString decoded = Path(QStringLiteral("%1-decoded.db").arg(c.name));
    const CliResult d = RunCli({"decode", image, decoded});
    EXPECT_EQ(d.code, 0) << d.err.toStdString();
    EXPECT_EQ(d.out + d.err, QString());
    QByteArray direct = ReadAll(table), again = ReadAll(decoded);
    ASSERT_GT(direct.size(), 961);
    ASSERT_EQ(again.size(), direct.size());
    direct.replace(1, 3, "\0\0\0", 3);
    again.replace(1, 3, "\0\0\0", 3);
    EXPECT_EQ(again, direct);

    // The log: every byte each way, stamped, and the port's opening and closing.
    const QString text = QString::fromUtf8(ReadAll(log));
    EXPECT_EQ(LoggedBytes(text, "->"), QByteArray("VN"));
    EXPECT_EQ(LoggedBytes(text, "<-"),
              port.instrument->IdentificationFrame() + port.instrument->MemoryFrame());
    EXPECT_TRUE(text.contains(QRegularExpression("^ *\\d+\\.\\d{3}  -> 56 +\\|V\\|$",
                                                 QRegularExpression::MultilineOption)));
    EXPECT_TRUE(text.startsWith(QRegularExpression("^ *\\d+\\.\\d{3}  ").match(text).captured() +
                                Ru("порт ") + port.Path() + Ru(" открыт\n")))
        << text.left(200).toStdString();
    EXPECT_TRUE(text.endsWith(Ru("порт ") + port.Path() + Ru(" закрыт\n")));
  }
}

// download --append: the table grows as "Дополнить из прибора…" grows it in
// the window, byte for byte; a memory of the other kind is refused.
TEST_F(Cli, DownloadAppendGrowsTheTableAsTheWindowDoes) {
  const auto records = sim::GenerateWaterRecords(5);
  const sim::InstrumentConfig two = sim::WaterInstrument({records[0], records[1]});
  const sim::InstrumentConfig five = sim::WaterInstrument(records);
  const QString gui = Path("gui.db"), cli = Path("cli.db");
  GuiNew(two, gui);
  GuiOpen(gui);
  {
    SimulatedPort port(five);
    ASSERT_TRUE(port.Ok());
    PointPortsAt(port.Path(), QString());
    ASSERT_TRUE(Trigger(&Form(), "appendAction"));
    ASSERT_TRUE(Trigger(&Form(), "closeTableAction"));
  }
  GuiNew(two, cli);
  const QString identity =
      Ru("Тип прибора: ФИР-ТЛ7\nВерсия ПО: 01.12.05\nКоличество записей: %1\n");
  const struct {
    const char* name;
    sim::InstrumentConfig config;
    int code;
    QString out;
    const char* err;  // the start of the message on standard error
  } cases[] = {
      {"three more", five, 0,
       identity.arg(5) + Ru("Добавлено серий: 3 (18 строк), уже были в таблице: 2\n"), ""},
      {"same again", five, 0,
       identity.arg(5) + Ru("Добавлено серий: 0 (0 строк), уже были в таблице: 5\n"), ""},
      {"plate tester", sim::PlateInstrument(TwoPlateTests(), 16), 4,
       Ru("Тип прибора: ЗЕН-ТЛ7 (тип 16)\nВерсия ПО: 01.12.05\nКоличество записей: 2\n"),
       "В таблице "},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    SimulatedPort port(c.config);
    ASSERT_TRUE(port.Ok());
    PointPortsAt(port.Path(), QString());
    const CliResult r = RunCli({"download", "--append", cli});
    EXPECT_EQ(r.code, c.code) << r.err.toStdString();
    EXPECT_EQ(r.out, c.out);
    EXPECT_TRUE(*c.err ? r.err.startsWith(Ru(c.err)) : r.err.isEmpty()) << r.err.toStdString();
    EXPECT_EQ(ReadAll(cli), ReadAll(gui));
  }
  EXPECT_EQ(Files(), (QStringList{"cli.db", "gui.db"}));
}

// decode --append: a saved memory image appended as the instrument itself
// would be; what cannot be appended to is refused and left as it is.
TEST_F(Cli, DecodeAppendAddsTheImagesNewRecords) {
  const auto records = sim::GenerateWaterRecords(5);
  const QString twoImage = Path("two.img"), fiveImage = Path("five.img");
  const QString table = Path("t.db"), whole = Path("whole.db");
  for (const auto& [config, image, db] :
       {std::tuple{sim::WaterInstrument({records[0], records[1]}), twoImage, table},
        std::tuple{sim::WaterInstrument(records), fiveImage, whole}}) {
    SimulatedPort port(config);
    ASSERT_TRUE(port.Ok());
    PointPortsAt(port.Path(), QString());
    ASSERT_EQ(RunCli({"download", "--save-image", image, db}).code, 0);
  }
  {
    MeasurementTable t;
    t.SetLocation(Path("held.db"));
    t.CreateFile();
  }
  MeasurementTable holder;
  holder.SetLocation(Path("held.db"));
  holder.Open();
  const struct {
    const char* name;
    QStringList args;
    int code;
    const char* out;
    const char* err;  // contained in the message on standard error
  } cases[] = {
      {"three more",
       {fiveImage, table},
       0,
       "Добавлено серий: 3 (18 строк), уже были в таблице: 2\n",
       ""},
      {"same again",
       {fiveImage, table},
       0,
       "Добавлено серий: 0 (0 строк), уже были в таблице: 5\n",
       ""},
      {"no table", {fiveImage, Path("none.db")}, 7, "", "не найден"},
      {"the image itself", {fiveImage, fiveImage}, 6, "", "из него читаются данные"},
      {"held by another program",
       {fiveImage, Path("held.db")},
       6,
       "",
       "он открыт другой программой"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const QByteArray held = ReadAll(Path("held.db")), image = ReadAll(fiveImage);
    const CliResult r = RunCli(QStringList{"decode", "--append"} + c.args);
    EXPECT_EQ(r.code, c.code) << r.err.toStdString();
    EXPECT_EQ(r.out, Ru(c.out));
    EXPECT_TRUE(*c.err ? r.err.contains(Ru(c.err)) : r.err.isEmpty()) << r.err.toStdString();
    EXPECT_EQ(ReadAll(Path("held.db")), held);
    EXPECT_EQ(ReadAll(fiveImage), image);
  }
  QByteArray grown = ReadAll(table), made = ReadAll(whole);
  EXPECT_EQ(grown.remove(1, 3), made.remove(1, 3));
  EXPECT_EQ(Files(), (QStringList{"five.img", "held.db", "t.db", "two.img", "whole.db"}));
}

TEST_F(Cli, DecodeRefusesWhatIsNoImageWithAMessage) {
  const QByteArray good = ZeroImageFile(100);
  QByteArray version2 = good;
  version2[8] = 2;
  QByteArray tooLong = good;
  tooLong.replace(25, 4, QByteArray("\x01\x00\x01\x00", 4));  // 65537 bytes
  QByteArray longText = good;
  longText[16] = 33;
  const struct {
    const char* name;
    QByteArray bytes;  // empty with write false: no file at all
    bool write;
    const char* reason;
  } cases[] = {
      {"missing", {}, false, nullptr},
      {"empty", {}, true, "это не образ памяти прибора"},
      {"a table", ReadAll(SourceDir() + "/fuzz/seeds/fuzz_dbf/table.db"), true,
       "это не образ памяти прибора"},
      {"later version", version2, true, "версия формата 2 не поддерживается"},
      {"cut short", good.left(good.size() - 1), true, "файл поврежден или обрезан"},
      {"cut in the header", good.left(20), true, "файл поврежден или обрезан"},
      {"longer than the memory", tooLong + QByteArray(65537, 0), true,
       "файл поврежден или обрезан"},
      {"version text too long", longText, true, "файл поврежден или обрезан"},
      {"something after it", good + "x", true, "после образа памяти есть лишние данные"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const QString in = Path("in.img");
    QFile::remove(in);
    if (c.write) {
      QFile f(in);
      ASSERT_TRUE(f.open(QIODevice::WriteOnly));
      f.write(c.bytes);
    }
    const CliResult r = RunCli({"decode", in, Path("out.db")});
    EXPECT_EQ(r.code, 12);
    if (c.reason)
      EXPECT_EQ(r.err, Ru("Файл %1 не прочитан как образ памяти прибора: %2.\n").arg(in, Ru(c.reason)));
    else
      EXPECT_EQ(r.err, Ru("Не удалось прочитать файл %1: файл или папка не найдены.\n").arg(in));
    EXPECT_FALSE(QFile::exists(Path("out.db")));
  }
  // The good ones make their tables, one of them as long as the memory.
  for (const QByteArray& bytes : {good, ZeroImageFile(kMemoryImageSize)}) {
    SCOPED_TRACE(bytes.size());
    QFile::remove(Path("out.db"));
    {
      QFile f(Path("in.img"));
      ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
      f.write(bytes);
    }
    const CliResult r = RunCli({"decode", Path("in.img"), Path("out.db")});
    EXPECT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_TRUE(QFile::exists(Path("out.db")));
  }
  EXPECT_EQ(RunCli({"decode", Path("in.img")}).code, 1);
}

TEST_F(Cli, RefusedPortsAreExplainedOnStandardError) {
  const QString busyText =
      Ru("Порт %1 занят другой программой. Закройте программу, которая работает с этим портом "
         "(например, вторую копию этой программы), и повторите прием.\n");
  // Held for real by an open of ours.
  SimulatedPort held(sim::WaterInstrument(ThreeSeries()));
  ASSERT_TRUE(held.Ok());
  TSerialLink holder;
  holder.SetPortName(held.Path());
  holder.OpenLink();
  ASSERT_TRUE(holder.IsLinkOpen());
  CliResult r = RunCli({"download", "--port", held.Path(), Path("t.db")});
  EXPECT_EQ(r.code, 2);
  EXPECT_EQ(r.err, Ru("Прибор не обнаружен! Проверьте правильность подключения согласно "
                      "инструкции!\n%1: порт занят другой программой\n\n")
                           .arg(held.Path()) +
                       busyText.arg(held.Path()));
  EXPECT_EQ(held.instrument->Requests('V'), 0);
  holder.CloseLink();

  // A user outside the group dialout, for real: the command runs as
  // "nobody", and the terminal is the root's alone.
  SimulatedPort closed(sim::WaterInstrument(ThreeSeries()));
  ASSERT_TRUE(closed.Ok());
  QTemporaryDir shared;
  ASSERT_TRUE(shared.isValid());
  ASSERT_TRUE(QFile::setPermissions(shared.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                                       QFileDevice::ExeOwner | QFileDevice::ReadOther |
                                                       QFileDevice::WriteOther | QFileDevice::ExeOther));
  if (::getuid() != 0) GTEST_SKIP() << "needs root to run the command as another user";
  ASSERT_EQ(::chmod(closed.Path().toLocal8Bit().constData(), 0600), 0);
  QProcess p;
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert("XDG_CONFIG_HOME", shared.path());
  env.insert("HOME", shared.path());
  p.setProcessEnvironment(env);
  p.setWorkingDirectory(shared.path());
  p.setChildProcessModifier([] {
    if (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0) ::_exit(99);
  });
  p.start(BinaryDir() + "/tools/cli/klt3-cli",
          {"download", "--port", closed.Path(), shared.filePath("t.db")});
  const bool finished = p.waitForFinished(30000);
  const QString err = QString::fromUtf8(p.readAllStandardError());
  // A build folder that "nobody" may not enter leaves the case untested.
  if (p.error() == QProcess::FailedToStart || p.exitCode() == 99)
    GTEST_SKIP() << "cannot run as nobody here: " << err.toStdString();
  ASSERT_TRUE(finished);
  EXPECT_EQ(p.exitCode(), 2);
  // Refused on the only port there is: the reason comes first, the hint
  // once, although the port was tried twice.
  EXPECT_TRUE(err.startsWith(
      Ru("Нет доступа к порту %1 — обратитесь к администратору\n").arg(closed.Path())))
      << err.toStdString();
  EXPECT_TRUE(err.contains(closed.Path() + Ru(": нет доступа к порту\n"))) << err.toStdString();
  EXPECT_TRUE(err.contains(Ru("Нет доступа к порту %1. В Linux").arg(closed.Path())));
  EXPECT_EQ(err.count("sudo usermod -aG dialout $USER"), 1) << err.toStdString();
  EXPECT_EQ(closed.instrument->Requests('V'), 0);
}

TEST_F(Cli, PortsListShowsTheDetectedPorts) {
  sim::PtyPair a, b;
  ASSERT_TRUE(a.Open() && b.Open());
  const QByteArray before = qgetenv("KLT3_SERIAL_PORTS");
  qputenv("KLT3_SERIAL_PORTS", (a.SlavePath() + ":" + b.SlavePath()).toLocal8Bit());
  const CliResult r = RunCli({"ports", "--list"});
  qputenv("KLT3_SERIAL_PORTS", before);
  EXPECT_EQ(r.code, 0);
  EXPECT_EQ(r.out, a.SlavePath() + "\t\n" + b.SlavePath() + "\t\n");
  EXPECT_EQ(r.err, QString());
  // None listed: nothing printed, still a success.
  const CliResult none = RunCli({"ports", "--list"});
  EXPECT_EQ(none.code, 0);
  EXPECT_EQ(none.out, QString());
}

}  // namespace
