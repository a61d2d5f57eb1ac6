// klt3-sim: plays a water-permeability tester or a plate tester on a
// pseudo-terminal pair (printing the slave path to give the program as its
// port) or on a given serial device. See README.md beside this file.
#include <unistd.h>

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>
#include <QSocketNotifier>
#include <QTextStream>
#include <csignal>
#include <cstdio>

#include "simulator/sim_instrument.h"
#include "simulator/sim_pty.h"

namespace {
int Fail(const QString& message) {
  QTextStream(stderr) << "klt3-sim: " << message << Qt::endl;
  return 2;
}

// SIGTERM and SIGINT end the event loop through a pipe: the handler itself
// may only write.
int g_quitPipe[2] = {-1, -1};
void OnSignal(int) {
  const char c = 'q';
  [[maybe_unused]] const ssize_t n = ::write(g_quitPipe[1], &c, 1);
}
}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  QCoreApplication::setApplicationName(QStringLiteral("klt3-sim"));
  QCommandLineParser p;
  p.setApplicationDescription(QStringLiteral("Simulated instrument on a serial line."));
  p.addHelpOption();
  p.addOptions({
      {QStringLiteral("port"),
       QStringLiteral("Serial device to play on (default: a new "
                      "pseudo-terminal pair; its slave path is printed)."),
       QStringLiteral("DEVICE")},
      {QStringLiteral("kind"), QStringLiteral("Instrument: water (default) or plate."),
       QStringLiteral("KIND"), QStringLiteral("water")},
      {QStringLiteral("records"),
       QStringLiteral("Records file: one record per line, "
                      "hexadecimal bytes."),
       QStringLiteral("FILE")},
      {QStringLiteral("generate"), QStringLiteral("Generate N records (default 3)."),
       QStringLiteral("N"), QStringLiteral("3")},
      {QStringLiteral("record-size"), QStringLiteral("Plate record size in bytes (default 11)."),
       QStringLiteral("BYTES"), QStringLiteral("11")},
      {QStringLiteral("send-z"), QStringLiteral("Answer the first \"V\" with a \"Z\".")},
      {QStringLiteral("silent"), QStringLiteral("Answer nothing.")},
      {QStringLiteral("bad-checksum"), QStringLiteral("Spoil the checksum of the memory frame.")},
      {QStringLiteral("bad-ident-checksum"),
       QStringLiteral("Spoil the checksum of the identification frame.")},
      {QStringLiteral("wrong-kind"), QStringLiteral("Identify as an instrument the program "
                                                    "refuses (kind 16, type 20).")},
      {QStringLiteral("zero-size"), QStringLiteral("Memory frame whose first two words are 0 "
                                                   "and 5.")},
      {QStringLiteral("paced"), QStringLiteral("Write no faster than 9600 bit/s would carry.")},
      {QStringLiteral("stop-after"),
       QStringLiteral("Send no more than N characters of the memory frame, then nothing."),
       QStringLiteral("N")},
      {QStringLiteral("hang-up-after"),
       QStringLiteral("Close the line after N characters of the memory frame."),
       QStringLiteral("N")},
  });
  p.process(app);

  const QString kind = p.value(QStringLiteral("kind"));
  if (kind != QLatin1String("water") && kind != QLatin1String("plate"))
    return Fail(QStringLiteral("--kind must be water or plate"));
  const bool water = kind == QLatin1String("water");
  bool ok = false;
  const int recordSize = p.value(QStringLiteral("record-size")).toInt(&ok);
  if (!ok || recordSize < sim::kPlateRecordMinSize || recordSize > 65535)
    return Fail(QStringLiteral("--record-size must be 11 to 65535"));

  sim::InstrumentConfig config;
  if (p.isSet(QStringLiteral("records"))) {
    QFile f(p.value(QStringLiteral("records")));
    if (!f.open(QIODevice::ReadOnly))
      return Fail(f.fileName() + QStringLiteral(": ") + f.errorString());
    std::vector<QByteArray> records;
    QString error;
    if (!sim::ParseRecordsText(f.readAll(), &records, &error)) return Fail(error);
    if (water && !records.empty() && records.front().size() != sim::kWaterRecordSize)
      return Fail(QStringLiteral("water records have 36 bytes"));
    if (!water && !records.empty() && records.front().size() < sim::kPlateRecordMinSize)
      return Fail(QStringLiteral("plate records have at least 11 bytes"));
    if (records.size() > (water ? 255u : 65535u)) return Fail(QStringLiteral("too many records"));
    config = water ? sim::WaterInstrument({}) : sim::PlateInstrument({});
    QByteArray image;
    if (!water) {
      const int size = records.empty() ? sim::kPlateRecordMinSize : records.front().size();
      image = sim::BuildPlateImage({}, static_cast<uint16_t>(size));
      image[0] = static_cast<char>(records.size() & 0xFF);
      image[1] = static_cast<char>(records.size() >> 8);
    }
    for (const QByteArray& r : records) image += r;
    config.image = image;
    config.identity.recordCount = static_cast<uint8_t>(std::min<size_t>(records.size(), 255));
  } else {
    const int n = p.value(QStringLiteral("generate")).toInt(&ok);
    if (!ok || n < 0 || n > (water ? 255 : 65535)) return Fail(QStringLiteral("bad --generate"));
    config = water ? sim::WaterInstrument(sim::GenerateWaterRecords(n))
                   : sim::PlateInstrument(sim::GeneratePlateRecords(n),
                                          static_cast<uint16_t>(recordSize));
  }
  if (config.image.size() > 65532) return Fail(QStringLiteral("memory image above 65,532 bytes"));
  config.sendZ = p.isSet(QStringLiteral("send-z"));
  config.silent = p.isSet(QStringLiteral("silent"));
  config.zeroSize = p.isSet(QStringLiteral("zero-size"));
  config.paced = p.isSet(QStringLiteral("paced"));
  if (p.isSet(QStringLiteral("wrong-kind"))) sim::MakeWrongKind(&config);
  config.badMemoryChecksum = p.isSet(QStringLiteral("bad-checksum"));
  config.badIdentChecksum = p.isSet(QStringLiteral("bad-ident-checksum"));
  for (const QString& cut : {QStringLiteral("stop-after"), QStringLiteral("hang-up-after")}) {
    if (!p.isSet(cut)) continue;
    config.cutAfter = p.value(cut).toInt(&ok);
    if (!ok || config.cutAfter < 0) return Fail(QStringLiteral("--%1 must be 0 or more").arg(cut));
    config.hangUp = cut == QLatin1String("hang-up-after");
  }

  sim::PtyPair pty;
  int fd = -1;
  QString error;
  if (p.isSet(QStringLiteral("port"))) {
    fd = sim::OpenSerialDevice(p.value(QStringLiteral("port")), &error);
    if (fd < 0) return Fail(error);
  } else {
    if (!pty.Open(&error)) return Fail(error);
    fd = pty.MasterFd();
    std::printf("%s\n", pty.SlavePath().toLocal8Bit().constData());
    std::fflush(stdout);
  }
  if (::pipe(g_quitPipe) != 0) return Fail(QStringLiteral("pipe"));
  QSocketNotifier quitNotifier(g_quitPipe[0], QSocketNotifier::Read);
  QObject::connect(&quitNotifier, &QSocketNotifier::activated, &app, &QCoreApplication::quit);
  std::signal(SIGTERM, OnSignal);
  std::signal(SIGINT, OnSignal);

  sim::Instrument instrument(fd, config);
  // The cable pulled: the other side of the line sees a hang-up.
  QObject::connect(&instrument, &sim::Instrument::lineClosed, &app, [&] {
    std::fprintf(stderr, "klt3-sim: line closed\n");
    if (pty.IsOpen()) {
      pty.Close();
    } else if (fd >= 0) {
      ::close(fd);
      fd = -1;
    }
  }, Qt::QueuedConnection);
  QObject::connect(&instrument, &sim::Instrument::requestReceived, [](char c) {
    std::fprintf(stderr, "klt3-sim: received 0x%02X\n", static_cast<unsigned char>(c));
  });
  const int rc = app.exec();
  if (p.isSet(QStringLiteral("port")) && fd >= 0) ::close(fd);
  return rc;
}
