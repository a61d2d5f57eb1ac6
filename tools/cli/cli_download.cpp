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
#include <memory>

#include "cli_common.h"
#include "link/download.h"
#include "link/memory_image_file.h"
#include "link/traffic_log.h"
#include "platform/file_ops.h"
#include "platform/operator_error.h"
#include "platform/write_target.h"
#include "store/table_session.h"

namespace cli {

const char kDownloadHelp[] =
    "Использование: klt3-cli download [--port УСТРОЙСТВО] [--save-image ОБРАЗ]\n"
    "                                 [--log ЖУРНАЛ] [--append] ФАЙЛ.db\n"
    "\n"
    "Считывает память прибора и записывает её в новую таблицу ФАЙЛ.db так же,\n"
    "как команда \"Создать\" программы. Без --port прибор ищется на порту,\n"
    "выбранном в программе (\"Сервис\" - \"Порт прибора…\"), а если порт не\n"
    "выбран - на порту, где прибор ответил в прошлый раз, затем на COM1 и COM2\n"
    "(пути портов берутся из настроек программы), затем на всех остальных\n"
    "последовательных портах компьютера, начиная с адаптеров USB. Если прибор не\n"
    "найден, для каждого опрошенного порта выводится, что с ним произошло.\n"
    "Тип прибора, версия ПО и количество записей выводятся на стандартный вывод;\n"
    "ход приема показывается на терминале. Существующий файл заменяется только\n"
    "после успешного приема и записи и только если он не открыт в программе;\n"
    "Ctrl+C прерывает прием, не оставляя таблицы.\n"
    "\n"
    "С --append память прибора дополняет существующую таблицу ФАЙЛ.db так же,\n"
    "как команда \"Дополнить из прибора…\": в конец таблицы добавляются только\n"
    "те серии (испытания), которых в ней еще нет, и на стандартный вывод\n"
    "выводится, сколько добавлено и сколько уже было. Данные прибора другого\n"
    "вида, чем записи таблицы, не добавляются (код 4). При любой ошибке таблица\n"
    "остается такой, какой была.\n"
    "\n"
    "  --port УСТРОЙСТВО    искать прибор только на этом порту (путь устройства,\n"
    "                       COM1 или COM2)\n"
    "  --save-image ОБРАЗ   сохранить и память прибора в том виде, в каком она\n"
    "                       получена; таблицу из нее делает klt3-cli decode\n"
    "  --log ЖУРНАЛ         записать каждый переданный и принятый байт со временем\n"
    "                       от начала (в шестнадцатеричном виде и как текст)\n"
    "  --append             дополнить существующую таблицу, а не создать новую\n"
    "  --help               эта справка\n"
    "\n"
    "Формат файла образа (все числа - младшим байтом вперед):\n"
    "  8 байт   \"KLT3MEM\" и байт 1A\n"
    "  2 байта  версия формата, 1\n"
    "  1 байт   вид прибора; 1 байт - тип прибора\n"
    "  2 байта  заводской номер; 2 байта - количество записей\n"
    "  1 байт   длина L текста версии ПО, затем L байт текста (ASCII)\n"
    "  4 байта  длина N образа памяти (не больше 65536), затем N байт образа\n";

const char kDecodeHelp[] =
    "Использование: klt3-cli decode [--append] ОБРАЗ ФАЙЛ.db\n"
    "\n"
    "Делает таблицу ФАЙЛ.db из образа памяти прибора, сохраненного командой\n"
    "klt3-cli download --save-image, - ту же, что сделал бы прием из прибора.\n"
    "Существующий файл заменяется, только если он не открыт в программе.\n"
    "\n"
    "  --append   дополнить существующую таблицу ФАЙЛ.db записями образа,\n"
    "             которых в ней еще нет (как klt3-cli download --append)\n"
    "  --help     эта справка\n";

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
  TerminalDownload(const QString& fixedPort, TrafficLog* log) : download_(*this) {
    // A port given on the command line stands for both of the program's.
    download_.SetFixedPort(fixedPort);
    download_.SetTrafficLog(log);
    tty_ = isatty(fileno(stderr));
  }

  const DownloadResult& Result() const { return download_.Result(); }

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
  void PortChanged(const QString& label) override {
    port_ = label;
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
    // A line lost amid the transfer is a failed transfer too.
    if (text == download_text::kTransmissionError || text == download_text::kLineLost)
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
    QString line =
        QStringLiteral("\r%1 [%2] %3%").arg(status_, bar).arg(qBound(0, percent_, 100), 3);
    if (!port_.isEmpty()) line += QStringLiteral(" ") + port_;
    // A shorter line than the last one must not leave its tail behind.
    const int shown = line.size();
    if (shown < lineLength_) line += QString(lineLength_ - shown, QLatin1Char(' '));
    lineLength_ = shown;
    std::fputs(line.toUtf8().constData(), stderr);
    std::fflush(stderr);
    lineOpen_ = true;
  }
  void EndProgressLine() {
    if (!lineOpen_) return;
    std::fputs("\n", stderr);
    std::fflush(stderr);
    lineOpen_ = false;
    lineLength_ = 0;
  }

  Download download_;
  QEventLoop loop_;
  int result_ = kNotFound;
  bool interrupted_ = false;
  bool tty_ = false;
  bool lineOpen_ = false;
  QString status_;
  QString port_;
  int percent_ = 0;
  int lineLength_ = 0;
};

// Whether a new table can take the name `path` (never one of `sources`,
// the files the command reads; the table `session` has open may be
// replaced); the reason on standard error when it cannot.
bool CanWriteTable(const QString& path, const QStringList& sources,
                   const TableSession& session = TableSession()) {
  try {
    session.CheckNewTablePath(path);
    if (!sources.isEmpty()) CheckWriteTarget(path, sources);
  } catch (const std::exception& e) {
    Error(OperatorText(e) + QLatin1Char('.'));
    return false;
  }
  return true;
}

// Makes the table as "Создать" does: beside its name, which it takes only
// when it is complete, so an interruption or a failure never leaves a half
// table under that name nor spoils an older file of that name.
int WriteTable(const QString& path, const DownloadResult& download) {
  try {
    TableSession session;
    BuiltTable built = TableSession::BuildFromDownload(path, download);
    if (g_interrupted) {
      Error(QStringLiteral("Прием данных прерван."));
      return kInterrupted;
    }
    session.Install(built);
    if (!session.IncompleteNotice().isEmpty()) Error(session.IncompleteNotice());
    session.Close();
  } catch (const std::exception& e) {
    Error(OperatorText(e) + QLatin1Char('.'));
    return kTableWrite;
  }
  return kOk;
}

// Opens the table that "Дополнить" appends to, as "Открыть" opens it for
// writing, and checks that its file can be replaced (and is none of
// `sources`); the reason on standard error when it cannot.
int OpenForAppend(TableSession* session, const QString& path, const QStringList& sources) {
  if (!QFileInfo(path).isFile()) {
    Error(QStringLiteral("Файл %1 не найден.").arg(QDir::toNativeSeparators(path)));
    return kTableRead;
  }
  const QString refusal = WriteTargetRefusal(path, sources);
  if (!sources.isEmpty() && !refusal.isEmpty()) {
    Error(refusal + QLatin1Char('.'));
    return kTableWrite;
  }
  try {
    session->Open(QFileInfo(path).absoluteFilePath(), MeasurementTable::OpenMode::KeepHeader);
  } catch (const TableBusyError& e) {
    Error(OperatorText(e) + QLatin1Char('.'));
    return kTableWrite;
  } catch (const std::exception& e) {
    Error(QStringLiteral("База данных повреждена !"));
    Error(DamagedTableDetail(path, OperatorText(e)));
    return kTableRead;
  }
  if (!CanWriteTable(session->Table().FilePath(), {}, *session)) return kTableWrite;
  if (!session->IsEditable()) {
    Error(QStringLiteral("Таблица %1 открыта только для просмотра: дополнить ее нельзя.")
              .arg(QDir::toNativeSeparators(path)));
    return kTableWrite;
  }
  return kOk;
}

// Appends to the open table the records of the download it does not hold,
// as "Дополнить из прибора…" does, and tells how many.
int AppendToTable(TableSession& session, const DownloadResult& download) {
  if (g_interrupted) {
    Error(QStringLiteral("Прием данных прерван."));
    return kInterrupted;
  }
  try {
    const AppendCounts counts = session.AppendFromDownload(download);
    Out(AppendCountsText(counts));
    if (!session.IncompleteNotice().isEmpty()) Error(session.IncompleteNotice());
    session.Close();
  } catch (const OtherInstrumentError& e) {
    Error(OperatorText(e) + QLatin1Char('.'));
    return kWrongDevice;
  } catch (const std::exception& e) {
    Error(OperatorText(e) + QLatin1Char('.'));
    return kTableWrite;
  }
  return kOk;
}

// Writes the memory image file beside its name and moves it there whole.
int SaveImage(const QString& path, const DownloadResult& download) {
  const QByteArray bytes = EncodeMemoryImageFile(download);
  const QString refusal = WriteTargetRefusal(path, {});
  if (!refusal.isEmpty()) {
    Error(refusal + QLatin1Char('.'));
    return kTableWrite;
  }
  const int err = ReplaceFileContents(QFile::encodeName(path).toStdString(), bytes.constData(),
                                      size_t(bytes.size()), true);
  if (err != 0) {
    Error(QStringLiteral("Не удалось записать файл %1: %2.")
              .arg(QDir::toNativeSeparators(path), FileErrorText(err)));
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
  if (!args.Parse(argv,
                  {QStringLiteral("port"), QStringLiteral("save-image"), QStringLiteral("log")},
                  {QStringLiteral("help"), QStringLiteral("append")}, &error)) {
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
  // Checked before the instrument is read too, so that its memory is not
  // read for nothing. The table appended to stays open meanwhile, so that
  // no other program changes it in between.
  const bool append = args.Has(QStringLiteral("append"));
  TableSession session;
  if (append) {
    const int opened = OpenForAppend(&session, out, {});
    if (opened != kOk) return opened;
  } else if (!CanWriteTable(out, {})) {
    return kTableWrite;
  }
  const QString imagePath = args.Value(QStringLiteral("save-image"));
  QFile logFile(args.Value(QStringLiteral("log")));
  std::unique_ptr<TrafficLog> log;
  if (args.Has(QStringLiteral("log"))) {
    if (!logFile.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
      Error(QStringLiteral("Не удалось записать файл %1.")
                .arg(QDir::toNativeSeparators(logFile.fileName())));
      return kTableWrite;
    }
    log = std::make_unique<TrafficLog>(&logFile);
  }
  TerminalDownload terminal(args.Value(QStringLiteral("port")), log.get());
  const int code = terminal.Run();
  if (code != kOk) return code;
  // The image first: should the table fail, what the instrument sent is kept.
  if (args.Has(QStringLiteral("save-image"))) {
    const int saved = SaveImage(imagePath, terminal.Result());
    if (saved != kOk) return saved;
  }
  if (append) return AppendToTable(session, terminal.Result());
  return WriteTable(out, terminal.Result());
}

int DecodeCommand(const QStringList& argv) {
  Args args;
  QString error;
  if (!args.Parse(argv, {}, {QStringLiteral("help"), QStringLiteral("append")}, &error)) {
    Error(error);
    Error(QStringLiteral("Справка: klt3-cli decode --help"));
    return kUsage;
  }
  if (args.Has(QStringLiteral("help"))) {
    std::fputs(kDecodeHelp, stdout);
    return kOk;
  }
  if (args.Operands().size() != 2) {
    Error(QStringLiteral("Укажите файл образа памяти и файл таблицы (.db)."));
    Error(QStringLiteral("Справка: klt3-cli decode --help"));
    return kUsage;
  }
  const QString imagePath = args.Operands().at(0);
  const QString out = args.Operands().at(1);
  QByteArray bytes;
  if (!ReadMemoryImageFileBytes(imagePath, &bytes, &error)) {
    Error(QStringLiteral("Не удалось прочитать файл %1: %2.")
              .arg(QDir::toNativeSeparators(imagePath), error));
    return kImageRead;
  }
  auto download = std::make_unique<DownloadResult>();
  if (!DecodeMemoryImageFile(bytes, download.get(), &error)) {
    Error(QStringLiteral("Файл %1 не прочитан как образ памяти прибора: %2.")
              .arg(QDir::toNativeSeparators(imagePath), error));
    return kImageRead;
  }
  // Never over the image it reads.
  if (args.Has(QStringLiteral("append"))) {
    TableSession session;
    const int opened = OpenForAppend(&session, out, {imagePath});
    if (opened != kOk) return opened;
    return AppendToTable(session, *download);
  }
  if (!CanWriteTable(out, {imagePath})) return kTableWrite;
  return WriteTable(out, *download);
}

}  // namespace cli
