// The download dialogue driven without a window: batches, timer expiries and
// Cancel go in; the recorded calls on the transport (port, link, bytes sent,
// timer) and on the observer (texts, progress, messages, the end) come out.
#include <gtest/gtest.h>

#include <QRegularExpression>
#include <QString>
#include <QStringList>
#include <algorithm>
#include <map>

#include "link/download_protocol.h"
#include "simulator/sim_images.h"
#include "support/link_print.h"

namespace {

using namespace download_text;

class Recorder : public DownloadTransport, public DownloadObserver {
 public:
  QStringList log;
  QByteArray sent;
  QString status, typeLine, versionLine, countLine;
  int progress = -1;
  QList<int> progressSeen;
  int finished = -1;  // 1 OK, 0 Cancel
  bool linkOpen = false;
  QString port;
  // Ports that do not open, and why.
  std::map<QString, PortOpenError> refuse;
  PortOpenError openFailure = PortOpenError::None;
  QStringList labels;

  void SetPortName(const QString& name) override {
    port = name;
    log << "port " + name;
  }
  void OpenLink() override {
    const auto refused = refuse.find(port);
    openFailure = refused == refuse.end() ? PortOpenError::None : refused->second;
    linkOpen = openFailure == PortOpenError::None;
    log << (linkOpen ? "open" : "open failed");
  }
  PortOpenError OpenFailure() const override { return openFailure; }
  void PortChanged(const QString& label) override { labels << label; }
  void CloseLink() override {
    linkOpen = false;
    log << "close";
  }
  void SendByte(uint8_t b) override {
    sent.append(static_cast<char>(b));
    log << QStringLiteral("send ") + QChar(b);
  }
  void StartTimer(int ms) override { log << QStringLiteral("timer %1").arg(ms); }
  void StopTimer() override { log << "stop"; }
  void StatusChanged(const QString& text) override { status = text; }
  void ProgressChanged(int p) override {
    progress = p;
    progressSeen << p;
  }
  void IdentityChanged(const QString& t, const QString& v, const QString& c) override {
    typeLine = t;
    versionLine = v;
    countLine = c;
  }
  void Failed(const QString& caption, const QString& text, const QString& detail) override {
    // The port is always closed before a message box appears.
    log << QStringLiteral("error%1 ").arg(linkOpen ? " while open" : "") + caption + " | " + text +
               (detail.isEmpty() ? QString() : " | " + detail);
  }
  void Finished(bool ok) override {
    finished = ok ? 1 : 0;
    log << QStringLiteral("finish %1").arg(ok);
  }
  QStringList Errors() const { return log.filter(QRegularExpression("^error")); }
};

struct Fixture {
  Recorder rec;
  DownloadProtocol protocol{rec, rec};

  void Feed(const QByteArray& chars) {
    protocol.Receive(chars.constData(), static_cast<uint32_t>(chars.size()));
  }
  void FeedInPieces(const QByteArray& chars, int piece) {
    for (int i = 0; i < chars.size(); i += piece) Feed(chars.mid(i, piece));
  }
};

const QByteArray kSpecIdent = "S101050<0102=40000000003047400000P";

QByteArray IdentFrame(uint8_t kind, uint8_t type, uint8_t count = 3) {
  sim::Identity id;
  id.kind = kind;
  id.type = type;
  id.recordCount = count;
  return sim::EncodeFrame(sim::IdentificationBody(id));
}

QByteArray PlateImage(int records) {
  return sim::BuildPlateImage(sim::GeneratePlateRecords(records), 16);
}

// Bytes the memory step must leave in the image: the body and the checksum.
QByteArray Unpacked(const QByteArray& frame) {
  QByteArray out;
  for (int i = 1; i + 1 < frame.size() - 1; i += 2)
    out.append(static_cast<char>(((frame[i + 1] - 0x30) << 4) + (frame[i] - 0x30)));
  return out;
}

QByteArray ImagePrefix(const MemoryImage& image, int n) {
  return QByteArray(reinterpret_cast<const char*>(image.data()), n);
}

TEST(DownloadProtocol, StartOpensCom1AndAsksForIdentification) {
  Fixture f;
  f.protocol.Start();
  EXPECT_EQ(f.rec.log, QStringList({"port " + kCom1, "open", "send V", "timer 3000"}));
  EXPECT_EQ(f.rec.status, kWaiting);
  EXPECT_EQ(f.rec.progress, 0);
  EXPECT_TRUE(f.rec.typeLine.isEmpty() && f.rec.countLine.isEmpty());
}

TEST(DownloadProtocol, IdentificationOfTheWorkedExample) {
  Fixture f;
  f.protocol.Start();
  f.rec.log.clear();
  f.Feed("noise" + kSpecIdent);
  EXPECT_EQ(f.protocol.Result().identity.kind, 1);
  EXPECT_EQ(f.protocol.Result().identity.type, 1);
  EXPECT_EQ(f.protocol.Result().identity.version, "01.12.05");
  EXPECT_EQ(f.protocol.Result().identity.serial, 1234);
  EXPECT_EQ(f.protocol.Result().identity.recordCount, 3);
  EXPECT_EQ(f.rec.typeLine, QStringLiteral("ФИР-ТЛ7"));
  EXPECT_EQ(f.rec.versionLine, "01.12.05");
  EXPECT_EQ(f.rec.countLine, "3");
  EXPECT_EQ(f.rec.status, kReceiving);
  EXPECT_EQ(f.rec.log, QStringList({"stop", "send N"}));
  EXPECT_EQ(f.protocol.Request(), 'N');
  EXPECT_EQ(f.protocol.Fill(), 0u);
  EXPECT_EQ(f.rec.finished, -1);
}

TEST(DownloadProtocol, FullDownloadInOneBatchOrCharacterByCharacter) {
  for (int piece : {1, 7, 44, 4096, 1 << 20}) {
    SCOPED_TRACE(piece);
    Fixture f;
    const QByteArray image = sim::BuildWaterImage(sim::GenerateWaterRecords(5));
    const QByteArray memory = sim::EncodeFrame(image);
    f.protocol.Start();
    f.FeedInPieces(IdentFrame(1, 2, 5), piece);
    ASSERT_EQ(f.protocol.Request(), 'N');
    EXPECT_EQ(f.rec.typeLine, QStringLiteral("ФИР-ТЛ7.01"));
    f.rec.log.clear();
    f.FeedInPieces(memory, piece);
    EXPECT_EQ(f.rec.finished, 1);
    EXPECT_EQ(f.rec.log.mid(f.rec.log.size() - 2), QStringList({"close", "finish 1"}));
    EXPECT_EQ(f.rec.progress, 100);
    EXPECT_TRUE(f.rec.Errors().isEmpty());
    EXPECT_EQ(ImagePrefix(f.protocol.Result().image, image.size() + 4), Unpacked(memory));
    EXPECT_EQ(ImagePrefix(f.protocol.Result().image, image.size()), image);
    EXPECT_EQ(f.rec.sent, "VN");
    EXPECT_FALSE(f.protocol.Active());
  }
}

TEST(DownloadProtocol, ProgressRisesWithTheCharactersToCome) {
  struct Case {
    const char* name;
    QByteArray ident;
    QByteArray image;
  };
  const Case cases[] = {
      {"plate", IdentFrame(17, 16, 200), PlateImage(200)},
      // For the water tester the first words are record bytes, not a size:
      // the record count gives the length.
      {"water", IdentFrame(1, 1, 40), sim::BuildWaterImage(sim::GenerateWaterRecords(40))},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Fixture f;
    f.protocol.Start();
    f.Feed(c.ident);
    EXPECT_EQ(f.protocol.CurrentState(), DownloadProtocol::State::AwaitingMemory);
    f.rec.progressSeen.clear();
    const QByteArray memory = sim::EncodeFrame(c.image);
    const int half = memory.size() / 2;
    f.FeedInPieces(memory.left(half), 50);
    EXPECT_EQ(f.protocol.CurrentState(), DownloadProtocol::State::ReceivingMemory);
    EXPECT_NEAR(f.rec.progress, 50, 2);
    f.FeedInPieces(memory.mid(half), 50);
    EXPECT_EQ(f.rec.progress, 100);
    EXPECT_EQ(f.protocol.CurrentState(), DownloadProtocol::State::Idle);
    EXPECT_TRUE(std::is_sorted(f.rec.progressSeen.begin(), f.rec.progressSeen.end()));
    EXPECT_EQ(f.rec.finished, 1);
  }
}

TEST(DownloadProtocol, FailuresCloseTheLinkShowTheirMessageAndCancel) {
  QByteArray odd = sim::EncodeFrame(PlateImage(3));
  odd.insert(odd.size() - 9, '0');  // one character too many in the body
  QByteArray oddFixed = odd;
  {
    // Re-sum so that only the odd count is wrong.
    const QByteArray chars = oddFixed.mid(1, oddFixed.size() - 10);
    const uint32_t sum = sim::FrameChecksum(chars);
    QByteArray sumBytes;
    for (int i = 0; i < 4; ++i) sumBytes.append(static_cast<char>(sum >> (8 * i)));
    oddFixed = "S" + chars + sim::EncodeBytes(sumBytes) + "P";
  }
  QByteArray zeroSize = PlateImage(3);
  zeroSize[0] = 0;
  zeroSize[1] = 0;
  zeroSize[2] = 5;
  zeroSize[3] = 0;
  const QByteArray tooBig = QByteArray(65533, '\x11');  // 65,537 bytes with the checksum
  struct Case {
    const char* name;
    QByteArray ident;
    QByteArray memory;  // empty: the identification fails
    QString text;
  };
  const Case cases[] = {
      {"ident checksum",
       sim::EncodeFrame(sim::IdentificationBody({}), true),
       {},
       kTransmissionError},
      {"ident without S", "101050<0102=40000000003047400000P", {}, kTransmissionError},
      {"wrong device", IdentFrame(16, 5), {}, kWrongDevice},
      // Correct but too short to hold the fields, and at the very end of
      // the receive buffer: its fields would lie beyond it.
      {"short ident at the buffer's end",
       QByteArray(DownloadProtocol::kReceiveBufferSize - 12, 'x') + "S1026000000P",
       {},
       kTransmissionError},
      {"plate type of water kind", IdentFrame(1, 16), {}, kWrongDevice},
      {"memory checksum", IdentFrame(17, 16), sim::EncodeFrame(PlateImage(3), true),
       kTransmissionError},
      {"zero size", IdentFrame(17, 16), sim::EncodeFrame(zeroSize), kNoData},
      {"zero size before frame end", IdentFrame(17, 16), sim::EncodeFrame(zeroSize).left(12),
       kNoData},
      {"odd character count", IdentFrame(17, 16), oddFixed, kTransmissionError},
      {"more than the image holds", IdentFrame(17, 16), sim::EncodeFrame(tooBig),
       kTransmissionError},
      {"longer than the receive buffer", IdentFrame(17, 16),
       "S" + QByteArray(DownloadProtocol::kReceiveBufferSize, '1'), kTransmissionError},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Fixture f;
    f.protocol.Start();
    f.Feed(c.ident);
    if (!c.memory.isEmpty()) {
      ASSERT_EQ(f.protocol.Request(), 'N');
      f.FeedInPieces(c.memory, 4096);
    }
    // A refused instrument's box tells what it said it is.
    const QString detail = c.text == kWrongDevice
                               ? " | " + WrongDeviceDetail(f.protocol.Result().identity, kCom1)
                               : QString();
    EXPECT_EQ(f.rec.Errors(), QStringList({"error " + kErrorCaption + " | " + c.text + detail}));
    if (!detail.isEmpty()) {
      const DeviceIdentity& id = f.protocol.Result().identity;
      EXPECT_TRUE(detail.contains(QStringLiteral("вид %1, тип %2").arg(id.kind).arg(id.type)));
    }
    EXPECT_EQ(f.rec.finished, 0);
    EXPECT_FALSE(f.rec.linkOpen);
    EXPECT_FALSE(f.protocol.Active());
    EXPECT_FALSE(f.protocol.StartSeen() || f.protocol.EndSeen());
    EXPECT_TRUE(f.protocol.Result().image == MemoryImage{}) << "image left as it was";
    // Nothing more happens after the end.
    const QStringList before = f.rec.log;
    f.Feed(kSpecIdent);
    f.protocol.TimerFired();
    EXPECT_EQ(f.rec.log, before);
  }
}

// The port's name goes into the text as it is, even one that looks like a
// place for another value.
TEST(DownloadProtocol, WrongDeviceDetailKeepsThePortNameAsItIs) {
  DeviceIdentity id;
  id.kind = 16;
  id.type = 5;
  EXPECT_TRUE(
      WrongDeviceDetail(id, QStringLiteral("/dev/tty%2"))
          .startsWith(QStringLiteral(
              "Прибор на порту /dev/tty%2 ответил: вид 16, тип 5, версия ПО не указана.\n")));
}

TEST(DownloadProtocol, RefusedInstrumentStaysInIdentityAcceptedOnesGoOn) {
  struct Case {
    uint8_t kind, type;
    bool accepted;
    QString typeLine;
  };
  const Case cases[] = {
      {1, 0, true, QStringLiteral("тип 0")},
      {9, 3, true, QStringLiteral("тип 3")},
      {0, 1, true, QStringLiteral("ФИР-ТЛ7")},
      {17, 5, true, QStringLiteral("тип 5")},
      // The last water-permeability type and the first plate one.
      {17, 15, true, QStringLiteral("тип 15")},
      {16, 5, false, QString()},
      {1, 4, false, QString()},
      {17, 16, true, QStringLiteral("ЗЕН-ТЛ7 (тип 16)")},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << int(c.kind) << "/" << int(c.type));
    Fixture f;
    f.protocol.Start();
    f.Feed(IdentFrame(c.kind, c.type, 200));
    EXPECT_EQ(f.protocol.Result().identity.kind, c.kind);
    EXPECT_EQ(f.protocol.Result().identity.type, c.type);
    EXPECT_EQ(f.protocol.Result().identity.recordCount, 200);
    EXPECT_EQ(f.protocol.Request(), c.accepted ? 'N' : 'V');
    EXPECT_EQ(f.rec.finished, c.accepted ? -1 : 0);
    if (c.accepted) {
      EXPECT_EQ(f.rec.typeLine, c.typeLine);
    }
  }
}

TEST(DownloadProtocol, ZDropsTheRestOfItsBatchAndAsksOnce) {
  Fixture f;
  f.protocol.Start();
  f.rec.log.clear();
  // A "P" before the "Z" belongs to the abandoned frame; what follows the
  // "Z" in the same batch is dropped.
  f.Feed("S1P0Z" + kSpecIdent);
  EXPECT_EQ(f.rec.sent, "VV");
  EXPECT_EQ(f.rec.log, QStringList({"stop", "stop", "send V"}));
  EXPECT_EQ(f.protocol.Fill(), 0u);
  EXPECT_EQ(f.rec.finished, -1);
  EXPECT_TRUE(f.rec.Errors().isEmpty());
  // The new frame arrives in two batches; the first has no "P" of its own.
  f.Feed(kSpecIdent.left(10));
  EXPECT_TRUE(f.rec.Errors().isEmpty());
  EXPECT_EQ(f.protocol.Request(), 'V');
  f.Feed(kSpecIdent.mid(10));
  EXPECT_EQ(f.protocol.Request(), 'N');
  // A "Z" while the memory arrives starts the identification again.
  const QByteArray memory = sim::EncodeFrame(PlateImage(10));
  f.Feed(memory.left(100) + "Z");
  EXPECT_EQ(f.protocol.Request(), 'V');
  EXPECT_EQ(f.rec.sent, "VVNV");
  f.Feed(IdentFrame(17, 16));
  f.Feed(memory);
  EXPECT_EQ(f.rec.finished, 1);
  EXPECT_EQ(ImagePrefix(f.protocol.Result().image, 44), PlateImage(10).left(44));
}

TEST(DownloadProtocol, SilenceOnCom1ThenCom2ThenGivesUp) {
  Fixture f;
  f.protocol.Start();
  f.rec.log.clear();
  f.Feed("garbage without frame marks");
  f.protocol.TimerFired();
  EXPECT_EQ(f.rec.log,
            QStringList({"stop", "close", "port " + kCom2, "open", "send V", "timer 3000"}));
  EXPECT_EQ(f.protocol.Fill(), 0u);
  f.rec.log.clear();
  f.protocol.TimerFired();
  EXPECT_EQ(f.rec.log, QStringList({"stop", "close", "port " + kCom1,
                                    "error " + kNotFoundCaption + " | " + kNotFound +
                                        " | COM1: нет ответа\nCOM2: нет ответа",
                                    "finish 0"}));
  EXPECT_EQ(f.protocol.PortName(), kCom1);
}

TEST(DownloadProtocol, AnswerOnCom2AfterSilenceOnCom1) {
  Fixture f;
  f.protocol.Start();
  f.protocol.TimerFired();
  f.Feed(IdentFrame(17, 16, 3));
  f.Feed(sim::EncodeFrame(PlateImage(3)));
  EXPECT_EQ(f.rec.finished, 1);
  EXPECT_EQ(f.rec.port, kCom2);
  EXPECT_EQ(f.rec.sent, "VVN");
}

TEST(DownloadProtocol, CancelClosesAndEndsInEveryWaitingState) {
  for (int stage = 0; stage < 3; ++stage) {
    SCOPED_TRACE(stage);
    Fixture f;
    f.protocol.Start();
    if (stage >= 1) f.Feed("S1010");
    if (stage >= 2) {
      f.Feed(kSpecIdent);
      f.Feed(sim::EncodeFrame(PlateImage(50)).left(500));
    }
    f.rec.log.clear();
    f.protocol.Cancel();
    EXPECT_EQ(f.rec.log, QStringList({"close", "finish 0"}));
    EXPECT_EQ(f.rec.progress, 0);
    EXPECT_EQ(f.protocol.Fill(), 0u);
    EXPECT_TRUE(f.rec.Errors().isEmpty());
  }
}

TEST(DownloadProtocol, SecondShorterDownloadAfterALongOne) {
  Fixture f;
  const QByteArray longImage = PlateImage(300);
  const QByteArray shortImage = PlateImage(2);
  f.protocol.Start();
  f.Feed(IdentFrame(17, 16));
  f.Feed(sim::EncodeFrame(longImage));
  ASSERT_EQ(f.rec.finished, 1);
  f.rec.finished = -1;
  f.rec.sent.clear();
  f.protocol.Start();
  f.Feed(IdentFrame(17, 16));
  f.Feed(sim::EncodeFrame(shortImage));
  EXPECT_EQ(f.rec.finished, 1);
  EXPECT_EQ(ImagePrefix(f.protocol.Result().image, shortImage.size()), shortImage);
  // Beyond the new body and checksum the image keeps the earlier download.
  const int tail = shortImage.size() + 4;
  EXPECT_EQ(ImagePrefix(f.protocol.Result().image, longImage.size()).mid(tail),
            longImage.mid(tail));
}

TEST(DownloadProtocol, LargestImageFillsTheWholeImage) {
  Fixture f;
  const QByteArray image = sim::BuildPlateImage(sim::GeneratePlateRecords(5957), 11, 65532);
  ASSERT_EQ(image.size(), 65532);
  const QByteArray memory = sim::EncodeFrame(image);
  f.protocol.Start();
  f.Feed(IdentFrame(17, 16));
  f.FeedInPieces(memory, 4096);
  ASSERT_EQ(f.rec.finished, 1);
  EXPECT_EQ(ImagePrefix(f.protocol.Result().image, 65536), Unpacked(memory));
}

TEST(DownloadProtocol, SearchGoesThroughEveryPortAndSaysWhatHappenedOnEach) {
  Fixture f;
  f.protocol.SetPorts({{kCom1, "COM1 (/dev/ttyS0)", "/dev/ttyS0"},
                       {"/dev/ttyUSB0", "/dev/ttyUSB0 (USB-Serial)", "/dev/ttyUSB0"},
                       {"/dev/ttyUSB1", "/dev/ttyUSB1", "/dev/ttyUSB1"},
                       {"/dev/ttyACM0", "/dev/ttyACM0", "/dev/ttyACM0"},
                       {"/dev/ttyS4", "/dev/ttyS4", "/dev/ttyS4"}});
  f.rec.refuse = {{"/dev/ttyUSB0", PortOpenError::PermissionDenied},
                  {"/dev/ttyUSB1", PortOpenError::NotFound},
                  {"/dev/ttyACM0", PortOpenError::Busy}};
  f.protocol.Start();
  // A port that did not open asks nothing and waits for nothing.
  for (int i = 0; i < 4; ++i) f.protocol.TimerFired();
  EXPECT_EQ(f.rec.log, QStringList({"port " + kCom1, "open", "send V", "timer 3000",  //
                                    "stop", "close", "port /dev/ttyUSB0", "open failed", "timer 0",
                                    "stop", "close", "port /dev/ttyUSB1", "open failed", "timer 0",
                                    "stop", "close", "port /dev/ttyACM0", "open failed", "timer 0",
                                    "stop", "close", "port /dev/ttyS4", "open", "send V",
                                    "timer 3000"}));
  EXPECT_EQ(f.rec.labels, QStringList({"COM1 (/dev/ttyS0)", "/dev/ttyUSB0 (USB-Serial)",
                                       "/dev/ttyUSB1", "/dev/ttyACM0", "/dev/ttyS4"}));
  f.rec.log.clear();
  f.protocol.TimerFired();
  ASSERT_EQ(f.rec.Errors().size(), 1);
  const QStringList parts = f.rec.Errors()[0].split(" | ");
  ASSERT_EQ(parts.size(), 3);
  EXPECT_EQ(parts[1], kNotFound);
  const QString detail = parts[2];
  EXPECT_TRUE(detail.startsWith(
      "COM1 (/dev/ttyS0): нет ответа\n"
      "/dev/ttyUSB0 (USB-Serial): нет доступа к порту\n"
      "/dev/ttyUSB1: нет такого порта\n"
      "/dev/ttyACM0: порт занят другой программой\n"
      "/dev/ttyS4: нет ответа\n\n"))
      << detail.toStdString();
  // What to do about each refusal, naming its port.
  EXPECT_TRUE(detail.contains("Нет доступа к порту /dev/ttyUSB0 (USB-Serial). В Linux"));
  EXPECT_TRUE(detail.contains("dialout"));
  EXPECT_TRUE(detail.contains("sudo usermod -aG dialout $USER"));
  EXPECT_TRUE(detail.contains("войдите в систему заново"));
  EXPECT_TRUE(detail.contains("Порт /dev/ttyACM0 занят другой программой."));
  EXPECT_EQ(f.rec.finished, 0);
  EXPECT_EQ(f.protocol.PortName(), kCom1);
}

TEST(DownloadProtocol, AnswerOnALaterPortAndAnExplicitPortTriedTwiceIsOneLine) {
  {
    Fixture f;
    f.protocol.SetPorts({{kCom1, "COM1", ""}, {kCom2, "COM2", ""}, {"/dev/ttyUSB0", "USB", ""}});
    f.protocol.Start();
    f.protocol.TimerFired();
    f.protocol.TimerFired();
    EXPECT_EQ(f.protocol.PortIndex(), 2u);
    f.Feed(IdentFrame(17, 16, 3));
    f.Feed(sim::EncodeFrame(PlateImage(3)));
    EXPECT_EQ(f.rec.finished, 1);
    EXPECT_EQ(f.rec.port, "/dev/ttyUSB0");
    EXPECT_EQ(f.rec.sent, "VVVN");
    EXPECT_EQ(f.protocol.Result().length, uint32_t(PlateImage(3).size() + 4));
  }
  Fixture f;
  f.protocol.SetPorts({{"/dev/ttyUSB0", "/dev/ttyUSB0", ""}, {"/dev/ttyUSB0", "/dev/ttyUSB0", ""}});
  f.rec.refuse = {{"/dev/ttyUSB0", PortOpenError::Busy}};
  f.protocol.Start();
  f.protocol.TimerFired();
  f.protocol.TimerFired();
  ASSERT_EQ(f.rec.Errors().size(), 1);
  EXPECT_TRUE(f.rec.Errors()[0].endsWith(" | /dev/ttyUSB0: порт занят другой программой\n\n"
                                         "Порт /dev/ttyUSB0 занят другой программой. Закройте "
                                         "программу, которая работает с этим портом (например, "
                                         "вторую копию этой программы), и повторите прием."))
      << f.rec.Errors()[0].toStdString();
}

TEST(DownloadProtocol, CancelStopsTheSearchWhereverItIs) {
  Fixture f;
  f.protocol.SetPorts({{kCom1, "COM1", ""}, {"/dev/a", "a", ""}, {"/dev/b", "b", ""}});
  f.rec.refuse = {{"/dev/a", PortOpenError::NotFound}};
  f.protocol.Start();
  f.protocol.TimerFired();  // on to /dev/a, which does not open
  f.rec.log.clear();
  f.protocol.Cancel();
  f.protocol.TimerFired();  // the zero timer of the failed open, too late
  EXPECT_EQ(f.rec.log, QStringList({"close", "finish 0"}));
  EXPECT_TRUE(f.rec.Errors().isEmpty());
  EXPECT_FALSE(f.protocol.Active());
}

TEST(DownloadProtocol, ALineLostOrSilentAmidAFrameEndsTheDownload) {
  const QByteArray memory = sim::EncodeFrame(PlateImage(200));
  const QString lost = QStringLiteral("Порт COM1: связь прервалась — прибор или кабель отключен.");
  const QString silent =
      QStringLiteral("Порт COM1: прибор перестал передавать данные посреди передачи и молчит уже 5 с.");
  struct Case {
    const char* name;
    bool memoryStarted;
    bool silence;  // the silence timer fires, else the link reports the loss
    QString detail;
  };
  const Case cases[] = {
      {"hang-up amid the identification", false, false, lost},
      {"silence amid the identification", false, true, silent},
      {"hang-up at 40 % of the memory", true, false,
       lost + QStringLiteral("\nПринято 40 % памяти прибора; принятое не сохраняется.")},
      {"silence at 40 % of the memory", true, true,
       silent + QStringLiteral("\nПринято 40 % памяти прибора; принятое не сохраняется.")},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Fixture f;
    f.protocol.Start();
    if (c.memoryStarted) {
      f.Feed(IdentFrame(17, 16, 200));
      ASSERT_EQ(f.protocol.Request(), 'N');
      f.rec.log.clear();
      f.FeedInPieces(memory.left(memory.size() * 4 / 10 + 9), 44);
      EXPECT_EQ(f.rec.progress, 40);
    } else {
      f.rec.log.clear();
      f.FeedInPieces(kSpecIdent.left(20), 7);
    }
    // Every batch within the frame gives the line five more seconds.
    EXPECT_EQ(f.rec.log.back(), "timer 5000");
    EXPECT_GE(f.rec.log.count("timer 5000"), 3);
    f.rec.log.clear();
    if (c.silence)
      f.protocol.TimerFired();
    else
      f.protocol.LineLost();
    EXPECT_EQ(f.rec.Errors(), QStringList({"error " + kErrorCaption + " | " + kLineLost + " | " + c.detail}));
    EXPECT_EQ(f.rec.log.back(), "finish 0");
    EXPECT_FALSE(f.rec.linkOpen);
    EXPECT_FALSE(f.protocol.Active());
    EXPECT_TRUE(f.protocol.Result().image == MemoryImage{}) << "image left as it was";
    EXPECT_EQ(f.rec.sent, c.memoryStarted ? "VN" : "V");
    // Nothing more happens after the end.
    const QStringList before = f.rec.log;
    f.Feed(memory.mid(memory.size() / 2));
    f.protocol.TimerFired();
    f.protocol.LineLost();
    EXPECT_EQ(f.rec.log, before);
  }
}

TEST(DownloadProtocol, NoSilenceLimitOutsideAFrame) {
  Fixture f;
  f.protocol.Start();
  // A complete frame, a "Z" that ends an open one, the wait for the
  // memory frame after "N": none of them starts the silence timer.
  f.Feed("S10");
  f.rec.log.clear();
  f.Feed("1Z");
  EXPECT_EQ(f.rec.log, QStringList({"stop", "send V"}));
  f.Feed("noise");
  f.Feed(kSpecIdent);
  EXPECT_EQ(f.protocol.Request(), 'N');
  f.Feed("noise before the memory frame");
  EXPECT_TRUE(f.rec.log.filter(QRegularExpression("^timer")).isEmpty())
      << f.rec.log.join(", ").toStdString();
}

TEST(DownloadProtocol, ALineLostBeforeAnyAnswerIsOneMorePortWithoutAnInstrument) {
  Fixture f;
  f.protocol.Start();
  f.rec.log.clear();
  f.protocol.LineLost();
  // No message: the search moves on at once.
  EXPECT_EQ(f.rec.log, QStringList({"stop", "timer 0"}));
  f.protocol.TimerFired();
  EXPECT_EQ(f.rec.port, kCom2);
  EXPECT_TRUE(f.rec.linkOpen);
  f.protocol.TimerFired();
  EXPECT_EQ(f.rec.Errors(), QStringList({"error " + kNotFoundCaption + " | " + kNotFound +
                                         " | COM1: связь прервалась\nCOM2: нет ответа"}));
}

TEST(DownloadProtocol, PortsThatRefusedThisUserAreNamedOnceWithOneHint) {
  const QString hint = QStringLiteral(
      " В Linux открывать последовательные порты могут только пользователи группы dialout. "
      "Добавьте себя в эту группу командой\n    sudo usermod -aG dialout $USER\n"
      "и войдите в систему заново.");
  struct Case {
    const char* name;
    std::vector<PortCandidate> ports;
    std::map<QString, PortOpenError> refuse;
    QString text;
    QString detail;
  };
  const Case cases[] = {
      {"one port given, tried twice",
       {{"/dev/ttyUSB0", "/dev/ttyUSB0", ""}, {"/dev/ttyUSB0", "/dev/ttyUSB0", ""}},
       {{"/dev/ttyUSB0", PortOpenError::PermissionDenied}},
       QStringLiteral("Нет доступа к порту /dev/ttyUSB0 — обратитесь к администратору"),
       "/dev/ttyUSB0: нет доступа к порту\n\nНет доступа к порту /dev/ttyUSB0." + hint},
      {"every port of the search",
       {{kCom1, "COM1 (/dev/ttyS0)", ""}, {kCom2, "COM2 (/dev/ttyS1)", ""}},
       {{kCom1, PortOpenError::PermissionDenied}, {kCom2, PortOpenError::PermissionDenied}},
       QStringLiteral("Нет доступа к портам COM1 (/dev/ttyS0), COM2 (/dev/ttyS1) — обратитесь к "
                      "администратору"),
       "COM1 (/dev/ttyS0): нет доступа к порту\nCOM2 (/dev/ttyS1): нет доступа к порту\n\n"
       "Нет доступа к портам COM1 (/dev/ttyS0), COM2 (/dev/ttyS1)." + hint},
      {"some refused, one busy, one silent",
       {{kCom1, "COM1", ""}, {"/dev/a", "a", ""}, {"/dev/b", "b", ""}, {"/dev/c", "c", ""}},
       {{kCom1, PortOpenError::PermissionDenied},
        {"/dev/a", PortOpenError::Busy},
        {"/dev/c", PortOpenError::PermissionDenied}},
       kNotFound,
       "COM1: нет доступа к порту\na: порт занят другой программой\nb: нет ответа\n"
       "c: нет доступа к порту\n\nНет доступа к портам COM1, c." + hint + "\n\n" +
           PortAdvice(PortOpenError::Busy, "a")},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Fixture f;
    f.protocol.SetPorts(c.ports);
    f.rec.refuse = c.refuse;
    f.protocol.Start();
    for (size_t i = 0; i < c.ports.size(); ++i) f.protocol.TimerFired();
    EXPECT_EQ(f.rec.Errors(),
              QStringList({"error " + kNotFoundCaption + " | " + c.text + " | " + c.detail}));
    EXPECT_EQ(f.rec.finished, 0);
  }
}

}  // namespace
