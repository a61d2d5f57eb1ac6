// The download dialog end to end: it runs modally against a simulated
// instrument on a real pseudo-terminal, the way the New command runs it.
#include <gtest/gtest.h>
#include <sys/ioctl.h>

#include <QElapsedTimer>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <memory>

#include "link/ui/download_dialog.h"
#include "platform/dialogs.h"
#include "support/recording_dialogs.h"
#include "simulator/sim_images.h"
#include "platform/ports.h"
#include "support/link_port_source.h"
#include "support/link_ports.h"
#include "support/link_print.h"
#include "support/link_pty.h"
#include "support/test_env.h"

namespace {

using namespace download_text;

struct DialogTest : testing::Test {
  void SetUp() override {
    dialogs.answer = QMessageBox::Ok;
    // The dialog really runs; each box notes whether the port was open.
    dialogs.exec = [](QDialog* d) { return d->exec(); };
    dialogs.onMessage = [this](const RecordingDialogs::Shown&) {
      linkOpenAtBox.push_back(form && form->download().LinkOpen());
    };
    SetDialogs(&dialogs);
    NewDialog();
  }
  void TearDown() override { SetDialogs(nullptr); }
  // A dialog that has downloaded nothing yet: its image is all zeros.
  void NewDialog() {
    form.reset();
    form = std::make_unique<DownloadDialog>();
  }
  void ClearBoxes() {
    dialogs.messages.clear();
    linkOpenAtBox.clear();
  }

  // Runs the dialog modally, as the New command does; a watchdog presses
  // "Отмена" should the dialogue hang.
  int Run() {
    QTimer watchdog;
    watchdog.setSingleShot(true);
    QObject::connect(&watchdog, &QTimer::timeout, form.get(), [this] {
      hung = true;
      form->findChild<QPushButton*>("cancelButton")->click();
    });
    watchdog.start(30000);
    return Dialogs().Exec(form.get());
  }
  // A water tester holding `records` series, sending at the line's speed,
  // on COM1 (in `paced`); a download from it is cancelled amid its memory
  // frame, and the next dialog is ready.
  void CancelAmidTheMemory(int records) {
    sim::InstrumentConfig config = sim::WaterInstrument(sim::GenerateWaterRecords(records));
    config.paced = true;
    paced = std::make_unique<SimulatedPort>(config);
    ASSERT_TRUE(paced->Ok());
    PointPortsAt(paced->Path(), QString());
    SimulatedPort& port = *paced;
    QTimer::singleShot(0, form.get(), [this, &port] {
      EXPECT_TRUE(WaitUntil([&] { return port.instrument->Written() > 300; }, 10000));
      EXPECT_EQ(port.instrument->Requests('N'), 1);
      form->findChild<QPushButton*>("cancelButton")->click();
    });
    ASSERT_EQ(Run(), QDialog::Rejected);
    EXPECT_FALSE(port.instrument->Idle()) << "the instrument still sends its memory";
    NewDialog();
  }
  QString Text(const char* name) const { return form->findChild<QLabel*>(name)->text(); }
  QByteArray Image(int n) const {
    return QByteArray(reinterpret_cast<const char*>(form->Result().image.data()), n);
  }
  const DeviceIdentity& Identity() const { return form->Result().identity; }

  RecordingDialogs dialogs;
  std::vector<bool> linkOpenAtBox;  // whether the port was open at each box
  std::unique_ptr<DownloadDialog> form;
  std::unique_ptr<SimulatedPort> paced;
  bool hung = false;
};

TEST_F(DialogTest, LayoutCaptionAndNoCloseButton) {
  EXPECT_EQ(form->windowTitle(), QStringLiteral("Прием данных"));
  EXPECT_FALSE(form->windowFlags() & Qt::WindowCloseButtonHint);
  auto* group = form->findChild<QGroupBox*>();
  ASSERT_NE(group, nullptr);
  EXPECT_EQ(group->title(), QStringLiteral("Информация"));
  QStringList captions;
  for (QLabel* l : group->findChildren<QLabel*>()) captions << l->text();
  EXPECT_TRUE(captions.contains(QStringLiteral("Тип прибора:")));
  EXPECT_TRUE(captions.contains(QStringLiteral("Версия ПО:")));
  EXPECT_TRUE(captions.contains(QStringLiteral("Количество записей:")));
  auto* button = form->findChild<QPushButton*>("cancelButton");
  ASSERT_NE(button, nullptr);
  EXPECT_EQ(button->text(), QStringLiteral("Отмена"));
  auto* bar = form->findChild<QProgressBar*>("progressBar");
  ASSERT_NE(bar, nullptr);
  EXPECT_EQ(bar->minimum(), 0);
  EXPECT_EQ(bar->maximum(), 100);
  EXPECT_TRUE(form->findChild<QLabel*>("statusLabel")->font().bold());
}

TEST_F(DialogTest, FullDownloadFillsIdentityAndImage) {
  struct Case {
    const char* name;
    sim::InstrumentConfig config;
    QString typeLine;
  };
  sim::InstrumentConfig paced = sim::WaterInstrument(sim::GenerateWaterRecords(2));
  paced.paced = true;
  const Case cases[] = {
      {"water", sim::WaterInstrument(sim::GenerateWaterRecords(7)), QStringLiteral("ФИР-ТЛ7")},
      {"plate", sim::PlateInstrument(sim::GeneratePlateRecords(120), 16),
       QStringLiteral("ЗЕН-ТЛ7 (тип 16)")},
      {"water at line speed", paced, QStringLiteral("ФИР-ТЛ7")},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SimulatedPort port(c.config);
    ASSERT_TRUE(port.Ok());
    PointPortsAt(port.Path(), QString());
    NewDialog();
    EXPECT_EQ(Run(), QDialog::Accepted);
    EXPECT_FALSE(hung);
    EXPECT_TRUE(dialogs.messages.empty());
    EXPECT_FALSE(form->download().LinkOpen());
    EXPECT_EQ(port.instrument->Received(), "VN");
    EXPECT_EQ(Identity().kind, c.config.identity.kind);
    EXPECT_EQ(Identity().type, c.config.identity.type);
    EXPECT_EQ(Identity().version, "01.12.05");
    EXPECT_EQ(Identity().serial, 1234);
    EXPECT_EQ(Identity().recordCount, c.config.identity.recordCount);
    EXPECT_EQ(Image(c.config.image.size()), c.config.image);
    EXPECT_EQ(Text("typeValue"), c.typeLine);
    EXPECT_EQ(Text("versionValue"), "01.12.05");
    EXPECT_EQ(Text("countValue"), QString::number(c.config.identity.recordCount));
    // The status line names the port the instrument answered on.
    EXPECT_EQ(Text("statusLabel"), kReceiving + "\nПорт: COM1 (" + port.Path() + ")");
    EXPECT_EQ(form->findChild<QProgressBar*>()->value(), 100);
  }
}

TEST_F(DialogTest, ZInMidBatchIsAnsweredByExactlyOneNewV) {
  sim::InstrumentConfig config = sim::WaterInstrument(sim::GenerateWaterRecords(3));
  config.sendZ = true;
  SimulatedPort port(config);
  ASSERT_TRUE(port.Ok());
  PointPortsAt(port.Path(), QString());
  EXPECT_EQ(Run(), QDialog::Accepted);
  EXPECT_EQ(port.instrument->Received(), "VVN");
  EXPECT_TRUE(dialogs.messages.empty());
  EXPECT_EQ(Image(config.image.size()), config.image);
}

TEST_F(DialogTest, EachFailureShowsItsMessageWithThePortClosed) {
  struct Case {
    const char* name;
    void (*spoil)(sim::InstrumentConfig*);
    QString text;
    QByteArray requests;
    QStringList detail;  // what the detail text must name
  };
  const Case cases[] = {
      {"ident checksum", [](sim::InstrumentConfig* c) { c->badIdentChecksum = true; },
       kTransmissionError, "V", {}},
      {"memory checksum", [](sim::InstrumentConfig* c) { c->badMemoryChecksum = true; },
       kTransmissionError, "VN", {}},
      // The simulator's wrong instrument says kind 16, type 20.
      {"wrong kind", sim::MakeWrongKind, kWrongDevice, "V",
       {"COM1", QString::fromUtf8("вид 16, тип 20"), QString::fromUtf8("повторите прием")}},
      {"zero size", [](sim::InstrumentConfig* c) { c->zeroSize = true; }, kNoData, "VN", {}},
      // At 40 % of the memory frame (277 of its characters, at the line's
      // speed) the cable is pulled: the line hangs up. A hang-up drops what
      // the port had not yet taken up, so less may have come.
      {"cable pulled amid the memory",
       [](sim::InstrumentConfig* c) {
         c->paced = true;
         c->cutAfter = 277;
         c->hangUp = true;
       },
       kLineLost, "VN", {QString::fromUtf8("COM1"), QString::fromUtf8("связь прервалась"),
                         QString::fromUtf8("памяти прибора")}},
      // ... or the instrument stops sending: 5 s of silence, for real.
      {"instrument stopped amid the memory",
       [](sim::InstrumentConfig* c) {
         c->paced = true;
         c->cutAfter = 277;
       },
       kLineLost, "VN", {QString::fromUtf8("COM1"), QString::fromUtf8("молчит уже 5 с"),
                         QString::fromUtf8("Принято 40 % памяти прибора")}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    sim::InstrumentConfig config = sim::PlateInstrument(sim::GeneratePlateRecords(30));
    c.spoil(&config);
    SimulatedPort port(config);
    ASSERT_TRUE(port.Ok());
    PointPortsAt(port.Path(), QString());
    ClearBoxes();
    NewDialog();
    EXPECT_EQ(Run(), QDialog::Rejected);
    EXPECT_FALSE(hung);
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(dialogs.messages[0].text, c.text);
    EXPECT_EQ(dialogs.messages[0].caption, QString::fromUtf8("Ошибка"));
    for (const QString& named : c.detail)
      EXPECT_TRUE(dialogs.messages[0].detail.contains(named)) << dialogs.messages[0].detail.toStdString();
    EXPECT_EQ(dialogs.messages[0].icon, QMessageBox::Critical);
    EXPECT_FALSE(linkOpenAtBox.at(0));
    EXPECT_FALSE(form->download().LinkOpen());
    EXPECT_TRUE(form->Result().image == MemoryImage{}) << "image left as it was";
    // The instrument got no request after the failure: the port is closed,
    // so all that was sent is what the instrument has read once the line
    // holds nothing more for it.
    ASSERT_TRUE(WaitUntil(
        [&] {
          int pending = 0;
          return !port.pty.IsOpen() ||  // the instrument's side closed
                 (::ioctl(port.pty.MasterFd(), FIONREAD, &pending) == 0 && pending == 0);
        },
        5000));
    QCoreApplication::processEvents();
    EXPECT_EQ(port.instrument->Received(), c.requests);
  }
}

TEST_F(DialogTest, SilentCom1ThenAnswerOnCom2) {
  sim::InstrumentConfig quiet = sim::WaterInstrument({});
  quiet.silent = true;
  SimulatedPort com1(quiet);
  sim::InstrumentConfig config = sim::PlateInstrument(sim::GeneratePlateRecords(4));
  SimulatedPort com2(config);
  ASSERT_TRUE(com1.Ok() && com2.Ok());
  PointPortsAt(com1.Path(), com2.Path());
  EXPECT_EQ(Run(), QDialog::Accepted);
  EXPECT_EQ(com1.instrument->Received(), "V");
  EXPECT_EQ(com2.instrument->Received(), "VN");
  EXPECT_EQ(Image(config.image.size()), config.image);
  EXPECT_EQ(form->download().PortName(), kCom2);
}

TEST_F(DialogTest, NoInstrumentOnEitherPort) {
  sim::PtyPair com2;
  ASSERT_TRUE(com2.Open());
  PointPortsAt(QString(), com2.SlavePath());  // COM1 does not even exist
  EXPECT_EQ(Run(), QDialog::Rejected);
  ASSERT_EQ(dialogs.messages.size(), 1u);
  EXPECT_EQ(dialogs.messages[0].caption, kNotFoundCaption);
  EXPECT_EQ(dialogs.messages[0].text, kNotFound);
  EXPECT_EQ(dialogs.messages[0].icon, QMessageBox::Critical);
  EXPECT_FALSE(linkOpenAtBox.at(0));
  EXPECT_EQ(form->download().PortName(), kCom1);
  char c = 0;
  EXPECT_EQ(::read(com2.MasterFd(), &c, 1), 1);
  EXPECT_EQ(c, 'V');
}

TEST_F(DialogTest, SecondShorterDownloadInTheSameRun) {
  sim::InstrumentConfig big = sim::PlateInstrument(sim::GeneratePlateRecords(900), 16);
  sim::InstrumentConfig small = sim::WaterInstrument(sim::GenerateWaterRecords(2));
  {
    SimulatedPort port(big);
    PointPortsAt(port.Path(), QString());
    ASSERT_EQ(Run(), QDialog::Accepted);
  }
  SimulatedPort port(small);
  PointPortsAt(port.Path(), QString());
  EXPECT_EQ(Run(), QDialog::Accepted);
  EXPECT_EQ(Identity().type, 1);
  EXPECT_EQ(Identity().recordCount, 2);
  EXPECT_EQ(Text("typeValue"), QStringLiteral("ФИР-ТЛ7"));
  EXPECT_EQ(Image(small.image.size()), small.image);
  const int tail = small.image.size() + 4;
  EXPECT_EQ(Image(big.image.size()).mid(tail), big.image.mid(tail));
}

TEST_F(DialogTest, CancelOrEscapeWhileWaitingClosesThePort) {
  for (bool escape : {false, true}) {
    SCOPED_TRACE(escape ? "Escape" : "Отмена");
    sim::InstrumentConfig quiet = sim::WaterInstrument({});
    quiet.silent = true;
    SimulatedPort port(quiet);
    PointPortsAt(port.Path(), QString());
    // Pressed once the dialog waits for the answer to its "V".
    QTimer::singleShot(0, form.get(), [this, escape, &port] {
      EXPECT_TRUE(WaitUntil([&] { return port.instrument->Received() == "V"; }, 5000));
      EXPECT_TRUE(form->download().LinkOpen());
      EXPECT_TRUE(form->download().Active());
      if (escape)
        QTest::keyClick(form.get(), Qt::Key_Escape);
      else
        form->findChild<QPushButton*>("cancelButton")->click();
    });
    EXPECT_EQ(Run(), QDialog::Rejected);
    EXPECT_FALSE(hung);
    EXPECT_TRUE(dialogs.messages.empty());
    EXPECT_FALSE(form->download().LinkOpen());
    EXPECT_EQ(form->findChild<QProgressBar*>()->value(), 0);
  }
}

TEST_F(DialogTest, SimulatorProgramAsChildProcess) {
  QTemporaryDir dir;
  const QString records = dir.filePath("records.txt");
  {
    QFile f(records);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(
        "# one series\n"
        "96 07 0A 03 05 09 0F 00 0A 03 07 09 0F 00 10 00 00 00\n");
    f.write(" 10 00 00 1E 00 00 00 00 9C 30 00 00 00 00 00 2F 3B 3B\n");
  }
  const QByteArray series = QByteArray::fromHex(
      "96070A0305090F000A0307090F0010000000100000"
      "1E000000009C3000000000002F3B3B");
  struct Case {
    QStringList args;
    int result;
    QString message;
    QByteArray image;  // expected at the start of the dump
  };
  const Case cases[] = {
      {{"--kind", "plate", "--generate", "25", "--record-size", "12"},
       QDialog::Accepted,
       {},
       sim::BuildPlateImage(sim::GeneratePlateRecords(25), 12)},
      {{"--generate", "4", "--send-z"},
       QDialog::Accepted,
       {},
       sim::BuildWaterImage(sim::GenerateWaterRecords(4))},
      {{"--bad-checksum"}, QDialog::Rejected, kTransmissionError, {}},
      {{"--bad-ident-checksum"}, QDialog::Rejected, kTransmissionError, {}},
      {{"--wrong-kind"}, QDialog::Rejected, kWrongDevice, {}},
      {{"--kind", "plate", "--zero-size"}, QDialog::Rejected, kNoData, {}},
  };
  // A records file split over two lines is two records of different
  // lengths: the program refuses it before it offers a port.
  {
    QProcess bad;
    bad.start(BinaryDir() + "/tools/simulator/klt3-sim", {"--records", records});
    ASSERT_TRUE(bad.waitForFinished(5000));
    EXPECT_EQ(bad.exitCode(), 2);
    EXPECT_TRUE(bad.readAllStandardOutput().isEmpty());
  }
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args.join(' ').toStdString());
    ClearBoxes();
    NewDialog();
    QProcess simulator;
    simulator.start(BinaryDir() + "/tools/simulator/klt3-sim", c.args);
    ASSERT_TRUE(simulator.waitForStarted(5000));
    ASSERT_TRUE(WaitUntil([&] { return simulator.canReadLine(); }, 5000));
    const QString path = QString::fromLocal8Bit(simulator.readLine()).trimmed();
    PointPortsAt(path, QString());
    EXPECT_EQ(Run(), c.result);
    if (c.message.isEmpty()) {
      EXPECT_TRUE(dialogs.messages.empty());
    } else {
      ASSERT_EQ(dialogs.messages.size(), 1u);
      EXPECT_EQ(dialogs.messages[0].text, c.message);
    }
    EXPECT_EQ(Image(c.image.size()), c.image);
    simulator.terminate();
    EXPECT_TRUE(simulator.waitForFinished(5000));
    EXPECT_EQ(simulator.exitCode(), 0);
  }
  // The same series on one line is accepted.
  QFile f(records);
  ASSERT_TRUE(f.open(QIODevice::WriteOnly));
  f.write(series.toHex(' ') + "\n");
  f.close();
  QProcess simulator;
  simulator.start(BinaryDir() + "/tools/simulator/klt3-sim", {"--records", records});
  ASSERT_TRUE(WaitUntil([&] { return simulator.canReadLine(); }, 5000));
  PointPortsAt(QString::fromLocal8Bit(simulator.readLine()).trimmed(), QString());
  EXPECT_EQ(Run(), QDialog::Accepted);
  EXPECT_EQ(Identity().recordCount, 1);
  EXPECT_EQ(Image(36), series);
  simulator.terminate();
  simulator.waitForFinished(5000);
}

TEST_F(DialogTest, SearchGoesOnToListedPortsUsbFirstAndTriesTheAnsweringOneFirstNextTime) {
  FakePortSource listed;
  sim::InstrumentConfig quiet = sim::WaterInstrument({});
  quiet.silent = true;
  SimulatedPort adapter(quiet);
  const sim::InstrumentConfig config = sim::PlateInstrument(sim::GeneratePlateRecords(4));
  SimulatedPort serial(config);
  ASSERT_TRUE(adapter.Ok() && serial.Ok());
  PointPortsAt(QString(), QString());
  listed.Add(serial.Path(), "Onboard serial port");
  listed.Add(adapter.Path(), "USB-Serial Controller", true);
  EXPECT_EQ(Run(), QDialog::Accepted);
  EXPECT_EQ(adapter.instrument->Received(), "V");
  EXPECT_EQ(serial.instrument->Received(), "VN");
  EXPECT_EQ(Image(config.image.size()), config.image);
  EXPECT_EQ(Text("statusLabel"),
            kReceiving + "\nПорт: " + serial.Path() + " (Onboard serial port)");
  EXPECT_EQ(LastAnsweredPort(), serial.Path());

  // The next download asks the port that answered before any other.
  NewDialog();
  EXPECT_EQ(Run(), QDialog::Accepted);
  EXPECT_EQ(adapter.instrument->Received(), "V");
  EXPECT_EQ(serial.instrument->Received(), "VNVN");
}

TEST_F(DialogTest, NoInstrumentAnywhereSaysWhatHappenedOnEachPort) {
  FakePortSource listed;
  sim::PtyPair silent, held, refused;
  ASSERT_TRUE(silent.Open() && held.Open() && refused.Open());
  // Held for real by another open of ours; the refusal of a user outside
  // the group dialout through the seam (the tests run as root).
  TSerialLink holder;
  holder.SetPortName(held.SlavePath());
  holder.OpenLink();
  ASSERT_TRUE(holder.IsLinkOpen());
  listed.refuse[refused.SlavePath()] = PortOpenError::PermissionDenied;
  PointPortsAt(silent.SlavePath(), QString());
  listed.Add(held.SlavePath(), "USB-Serial Controller", true);
  listed.Add(refused.SlavePath());
  EXPECT_EQ(Run(), QDialog::Rejected);
  ASSERT_EQ(dialogs.messages.size(), 1u);
  EXPECT_EQ(dialogs.messages[0].caption, kNotFoundCaption);
  EXPECT_EQ(dialogs.messages[0].text, kNotFound);
  EXPECT_FALSE(linkOpenAtBox.at(0));
  const QStringList lines = dialogs.messages[0].detail.split('\n');
  ASSERT_GE(lines.size(), 5);
  EXPECT_EQ(lines.mid(0, 5),
            QStringList({"COM1 (" + silent.SlavePath() + "): нет ответа",
                         "COM2 (/nonexistent/klt3-no-port): нет такого порта",
                         held.SlavePath() + " (USB-Serial Controller): порт занят другой программой",
                         refused.SlavePath() + ": нет доступа к порту", ""}));
  EXPECT_TRUE(dialogs.messages[0].detail.contains("Порт " + held.SlavePath() +
                                               " (USB-Serial Controller) занят другой программой."));
  EXPECT_TRUE(dialogs.messages[0].detail.contains("Нет доступа к порту " + refused.SlavePath() + "."));
  EXPECT_TRUE(dialogs.messages[0].detail.contains("sudo usermod -aG dialout $USER"));
  // Only the open, silent port was asked.
  char c = 0;
  EXPECT_EQ(::read(silent.MasterFd(), &c, 1), 1);
  EXPECT_EQ(c, 'V');
  EXPECT_EQ(::read(refused.MasterFd(), &c, 1), -1);
}

TEST_F(DialogTest, EveryPortRefusingThisUserIsTheMessageWithTheHintOnce) {
  FakePortSource listed;
  sim::PtyPair com1, com2;
  ASSERT_TRUE(com1.Open() && com2.Open());
  listed.refuse[com1.SlavePath()] = PortOpenError::PermissionDenied;
  listed.refuse[com2.SlavePath()] = PortOpenError::PermissionDenied;
  PointPortsAt(com1.SlavePath(), com2.SlavePath());
  EXPECT_EQ(Run(), QDialog::Rejected);
  ASSERT_EQ(dialogs.messages.size(), 1u);
  const RecordingDialogs::Shown& box = dialogs.messages[0];
  EXPECT_EQ(box.caption, kNotFoundCaption);
  EXPECT_EQ(box.icon, QMessageBox::Critical);
  const QString ports = "COM1 (" + com1.SlavePath() + "), COM2 (" + com2.SlavePath() + ")";
  EXPECT_EQ(box.text, "Нет доступа к портам " + ports + " — обратитесь к администратору");
  EXPECT_TRUE(box.detail.contains("Нет доступа к портам " + ports + ". В Linux"))
      << box.detail.toStdString();
  EXPECT_EQ(box.detail.count("sudo usermod -aG dialout $USER"), 1) << box.detail.toStdString();
}

TEST_F(DialogTest, RetryRightAfterOtmenaInMidMemoryWorks) {
  // About two seconds of memory frame at the line's speed.
  CancelAmidTheMemory(24);
  // At once again: what is left of the old frame is not taken for the answer.
  EXPECT_EQ(Run(), QDialog::Accepted);
  EXPECT_TRUE(dialogs.messages.empty()) << dialogs.messages[0].text.toStdString();
  EXPECT_EQ(paced->instrument->Received(), "VNVN");
  const QByteArray image = paced->instrument->Config().image;
  EXPECT_EQ(Image(image.size()), image);
}

TEST_F(DialogTest, RetryAfterOtmenaAsksWithinTheQuietLimitWhileTheFrameGoesOn) {
  // About twelve seconds of memory frame at the line's speed: the line is
  // never quiet before the limit.
  CancelAmidTheMemory(150);
  SimulatedPort& port = *paced;
  QElapsedTimer sinceRetry;
  qint64 askedAfterMs = -1;
  bool stillSending = false;
  QObject::connect(port.instrument.get(), &sim::Instrument::requestReceived, form.get(),
                   [&](char request) {
                     if (request != 'V' || askedAfterMs >= 0) return;
                     askedAfterMs = sinceRetry.elapsed();
                     stillSending = !port.instrument->Idle();
                     form->findChild<QPushButton*>("cancelButton")->click();
                   });
  sinceRetry.start();
  EXPECT_EQ(Run(), QDialog::Rejected);
  EXPECT_FALSE(hung);
  EXPECT_EQ(port.instrument->Requests('V'), 2);
  EXPECT_TRUE(stillSending) << "the request went out amid the old frame";
  // A coarse timer may fire up to a twentieth early.
  EXPECT_GE(askedAfterMs, Download::kQuietLimitMs * 9 / 10);
  // Room for a loaded machine: without the limit the request waits for the
  // whole twelve-second frame.
  EXPECT_LT(askedAfterMs, 8000) << "the quiet wait has its limit";
}

TEST_F(DialogTest, ChosenPortIsTheOnlyOneAsked) {
  SimulatedPort com1(sim::WaterInstrument(sim::GenerateWaterRecords(2)));
  const sim::InstrumentConfig config = sim::PlateInstrument(sim::GeneratePlateRecords(3));
  SimulatedPort chosen(config);
  ASSERT_TRUE(com1.Ok() && chosen.Ok());
  PointPortsAt(com1.Path(), QString());
  ASSERT_TRUE(StoreChosenPort(chosen.Path()));
  EXPECT_EQ(Run(), QDialog::Accepted);
  EXPECT_EQ(com1.instrument->Received(), "");
  EXPECT_EQ(chosen.instrument->Received(), "VN");
  EXPECT_EQ(Image(config.image.size()), config.image);
  // "COM1" keeps leading where the settings lead it.
  ASSERT_TRUE(StoreChosenPort("COM1"));
  NewDialog();
  EXPECT_EQ(Run(), QDialog::Accepted);
  EXPECT_EQ(com1.instrument->Received(), "VN");
  EXPECT_EQ(form->download().PortName(), kCom1);
  ASSERT_TRUE(StoreChosenPort(QString()));
}

}  // namespace
