#include "cli_download.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QSocketNotifier>
#include <QTimer>
#include <cstdio>
#include <exception>

#include "cli_common.h"
#include "link/download.h"
#include "platform/operator_error.h"
#include "store/table_session.h"

namespace cli {

const char kDownloadHelp[] =
    "Использование: klt3-cli download [--port УСТРОЙСТВО] ФАЙЛ.db\n"
    "\n"
    "Считывает память прибора и записывает её в новую таблицу ФАЙЛ.db так же,\n"
    "как команда \"Создать\" программы. Без --port прибор ищется на COM1, затем\n"
    "на COM2 (пути портов берутся из настроек программы). Тип прибора, версия\n"
    "ПО и количество записей выводятся на стандартный вывод; ход приема\n"
    "показывается на терминале. Существующий файл заменяется только после\n"
    "успешного приема и записи и только если он не открыт в программе;\n"
    "Ctrl+C прерывает прием, не оставляя таблицы.\n"
    "\n"
    "  --port УСТРОЙСТВО  искать прибор только на этом последовательном порту\n"
    "  --help             эта справка\n";

namespace {

int g_signalPipe[2] = {-1, -1};
volatile sig_atomic_t g_interrupted = 0;

void OnSignal(int) {
  g_interrupted = 1;
  const char b = 1;
  // Nothing to do when the pipe is full: one byte already wakes the loop.
  if (write(g_signalPipe[1], &b, 1) < 0) return;
}

// The dialog's window replaced by the terminal: the same download, its
// texts on the terminal instead of labels.
class TerminalDownload : public QObject, private DownloadObserver {
 public:
  explicit TerminalDownload(const QString& fixedPort) : download_(*this) {
    // A port given on the command line stands for both of the program's.
    download_.SetFixedPort(fixedPort);
    tty_ = isatty(fileno(stderr));
  }

  const Download& download() const { return download_; }

  // Runs the download; returns kOk or the failure's exit code.
  int Run() {
    QSocketNotifier interrupt(g_signalPipe[0], QSocketNotifier::Read);
    connect(&interrupt, &QSocketNotifier::activated, this, [this] {
      char buf[16];
      if (read(g_signalPipe[0], buf, sizeof buf) < 0) return;
      interrupted_ = true;
      // Cancel closes the port and finishes; before the start there is
      // nothing to close.
      if (download_.Active())
        download_.Cancel();
      else
        loop_.exit();
    });
    if (g_interrupted) return kInterrupted;
    QTimer::singleShot(0, this, [this] {
      if (!interrupted_) download_.Start();
    });
    loop_.exec();
    EndProgressLine();
    if (interrupted_ || g_interrupted) {
      Error(QStringLiteral("Прием данных прерван."));
      return kInterrupted;
    }
    return result_;
  }

 private:
  // DownloadObserver
  void StatusChanged(const QString& text) override {
    status_ = text;
    DrawProgress();
  }
  void ProgressChanged(int percent) override {
    percent_ = percent;
    DrawProgress();
  }
  void IdentityChanged(const QString& type, const QString& version, const QString& count) override {
    if (type.isEmpty() && version.isEmpty() && count.isEmpty()) return;
    EndProgressLine();
    Out(QStringLiteral("Тип прибора: ") + type);
    Out(QStringLiteral("Версия ПО: ") + version);
    Out(QStringLiteral("Количество записей: ") + count);
    DrawProgress();
  }
  void Failed(const QString&, const QString& text, const QString& detail) override {
    EndProgressLine();
    Error(text);
    if (!detail.isEmpty()) Error(detail);
    if (text == download_text::kTransmissionError)
      result_ = cli::kTransmission;
    else if (text == download_text::kWrongDevice)
      result_ = cli::kWrongDevice;
    else if (text == download_text::kNoData)
      result_ = cli::kNoData;
    else
      result_ = cli::kNotFound;
  }
  void Finished(bool ok) override {
    if (ok) result_ = kOk;
    loop_.exit();
  }

  // One line redrawn in place, on a terminal only: scripts get no noise.
  void DrawProgress() {
    if (!tty_ || status_.isEmpty()) return;
    const int width = 30;
    const int filled = qBound(0, percent_, 100) * width / 100;
    const QString bar =
        QString(filled, QLatin1Char('#')) + QString(width - filled, QLatin1Char('.'));
    QString line = QStringLiteral("%1 [%2] %3%").arg(status_, bar).arg(qBound(0, percent_, 100), 3);
    // A shorter status overwrites a longer one: what is left of the old line
    // is blanked, not left behind.
    const int drawn = int(line.size());
    if (lineOpen_ && drawn < lastDrawn_) line += QString(lastDrawn_ - drawn, QLatin1Char(' '));
    lastDrawn_ = drawn;
    std::fputs((QLatin1Char('\r') + line).toUtf8().constData(), stderr);
    std::fflush(stderr);
    lineOpen_ = true;
  }
  void EndProgressLine() {
    if (!lineOpen_) return;
    std::fputs("\n", stderr);
    std::fflush(stderr);
    lineOpen_ = false;
    lastDrawn_ = 0;
  }

  Download download_;
  QEventLoop loop_;
  int result_ = kNotFound;
  bool interrupted_ = false;
  bool tty_ = false;
  bool lineOpen_ = false;
  int lastDrawn_ = 0;  // characters of the line on the terminal
  QString status_;
  int percent_ = 0;
};

void RemoveTable(const QString& path) {
  QFile::remove(path);
  QFile::remove(IndexFileOf(path));
}

int RefuseHeldTable(const QString& path) {
  Error(QStringLiteral("Таблица %1 открыта другой программой. Закройте ее и повторите прием.")
            .arg(QDir::toNativeSeparators(path)));
  return kTableWrite;
}

// Writes the table beside its final name and moves it there only when it is
// complete: an interruption or a failure never leaves a half table under
// the name the operator gave, nor spoils an older file of that name.
int WriteTable(const QString& finalPath, const DeviceIdentity& identity, const MemoryImage& image) {
  const QFileInfo info(finalPath);
  const QString partPath = info.absoluteDir().filePath(
      QStringLiteral(".%1.part%2.db").arg(info.completeBaseName()).arg(getpid()));
  try {
    TableSession session;
    DownloadedImage download;
    download.image = DumpView{image.data(), int(image.size())};
    download.deviceType = identity.type;
    download.deviceSerial = identity.serial;
    download.recordCount = identity.recordCount;
    session.CreateFromDownload(partPath, download);
    // Closing drops the index file too (only a sort tag makes one).
    session.Close();
  } catch (const std::exception& e) {
    RemoveTable(partPath);
    Error(OperatorText(e) + QLatin1Char('.'));
    return kTableWrite;
  }
  if (g_interrupted) {
    RemoveTable(partPath);
    Error(QStringLiteral("Прием данных прерван."));
    return kInterrupted;
  }
  if (HeldByAnotherWriter(finalPath)) {
    RemoveTable(partPath);
    return RefuseHeldTable(finalPath);
  }
  if (::rename(QFile::encodeName(partPath).constData(),
               QFile::encodeName(info.absoluteFilePath()).constData()) != 0) {
    RemoveTable(partPath);
    Error(QStringLiteral("Не удалось записать файл %1.").arg(QDir::toNativeSeparators(finalPath)));
    return kTableWrite;
  }
  return kOk;
}

}  // namespace

void InstallInterruptHandler() {
  if (pipe(g_signalPipe) != 0) return;
  struct sigaction sa = {};
  sa.sa_handler = OnSignal;
  sigemptyset(&sa.sa_mask);
  sigaction(SIGINT, &sa, nullptr);
  sigaction(SIGTERM, &sa, nullptr);
}

int DownloadCommand(const QStringList& argv) {
  Args args;
  QString error;
  if (!args.Parse(argv, {QStringLiteral("port")}, {QStringLiteral("help")}, &error)) {
    Error(error);
    Error(QStringLiteral("Справка: klt3-cli download --help"));
    return kUsage;
  }
  if (args.Has(QStringLiteral("help"))) {
    std::fputs(kDownloadHelp, stdout);
    return kOk;
  }
  if (args.Operands().size() != 1) {
    Error(QStringLiteral("Укажите один файл таблицы (.db)."));
    Error(QStringLiteral("Справка: klt3-cli download --help"));
    return kUsage;
  }
  const QString out = args.Operands().first();
  if (!QFileInfo(out).absoluteDir().exists()) {
    Error(QStringLiteral("Папка файла %1 не существует.").arg(QDir::toNativeSeparators(out)));
    return kTableWrite;
  }
  // Checked before the instrument is read too, so that its memory is not
  // read for nothing.
  if (HeldByAnotherWriter(out)) return RefuseHeldTable(out);
  TerminalDownload terminal(args.Value(QStringLiteral("port")));
  const int code = terminal.Run();
  if (code != kOk) return code;
  return WriteTable(out, terminal.download().Identity(), terminal.download().Image());
}

}  // namespace cli
