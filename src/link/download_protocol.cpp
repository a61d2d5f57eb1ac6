#include "link/download_protocol.h"

#include <QStringList>
#include <algorithm>
#include <cstring>

#include "link/frame_codec.h"

DownloadTransport::~DownloadTransport() = default;
PortOpenError DownloadTransport::OpenFailure() const { return PortOpenError::None; }
DownloadObserver::~DownloadObserver() = default;
void DownloadObserver::PortChanged(const QString&) {}

namespace download_text {
const QString kCom1 = QStringLiteral("\\\\.\\COM1");
const QString kCom2 = QStringLiteral("\\\\.\\COM2");
const QString kWaiting = QStringLiteral("Ожидание готовности прибора ...");
const QString kReceiving = QStringLiteral("Идет прием информации ...");
const QString kErrorCaption = QStringLiteral("Ошибка");
const QString kNotFoundCaption = QStringLiteral("Ошибка");
const QString kTransmissionError = QStringLiteral("Ошибка передачи данных!");
const QString kWrongDevice = QStringLiteral("Вы подключили не тот прибор !");
const QString kNoData = QStringLiteral("Нет данных для передачи!");
const QString kNotFound =
    QStringLiteral("Прибор не обнаружен! Проверьте правильность подключения согласно инструкции!");
const QString kLineLost = QStringLiteral(
    "Связь с прибором потеряна! Проверьте, что кабель подключен к прибору и к компьютеру "
    "и что прибор включен, и повторите прием.");
}  // namespace download_text

using namespace download_text;

namespace {
constexpr char kStart = 'S';
constexpr char kEnd = 'P';
constexpr char kRestart = 'Z';
constexpr char kIdentify = 'V';
constexpr char kMemory = 'N';
// Offsets from the "S" of the identification frame.
constexpr uint32_t kOffKind = 1;
constexpr uint32_t kOffType = 3;
constexpr uint32_t kOffVersion = 5;
constexpr uint32_t kOffSerial = 11;
constexpr uint32_t kOffCount = 23;
constexpr uint8_t kPlateKind = 17;
}  // namespace

QString DeviceTypeName(uint8_t type) {
  switch (type) {
    case 1:
      return QStringLiteral("ФИР-ТЛ7");
    case 2:
      return QStringLiteral("ФИР-ТЛ7.01");
    default:
      break;
  }
  if (!IsWaterDeviceType(type)) return QStringLiteral("ЗЕН-ТЛ7 (тип %1)").arg(type);
  return QStringLiteral("тип %1").arg(type);
}

QString WrongDeviceDetail(const DeviceIdentity& identity, const QString& port) {
  const QString shortPort = port.mid(port.lastIndexOf(QLatin1Char('\\')) + 1);
  return QStringLiteral(
             "Прибор на порту %1 ответил: вид %2, тип %3, версия ПО %4.\n"
             "Программа принимает данные измерителя водонепроницаемости ФИР-ТЛ7 "
             "(тип 1, 2 или 3) и измерителя ЗЕН-ТЛ7 (вид %5).\n"
             "Подключите один из этих приборов и повторите прием. Если к компьютеру "
             "подключено несколько приборов, проверьте, какой из них на каком порту.")
      // In one pass: a port or version that holds "%2" stays as it is.
      .arg(shortPort, QString::number(identity.kind), QString::number(identity.type),
           identity.version.isEmpty() ? QStringLiteral("не указана") : identity.version,
           QString::number(kPlateKind));
}

QString AccessDeniedText(const QStringList& ports) {
  return (ports.size() == 1 ? QStringLiteral("Нет доступа к порту %1 — обратитесь к администратору")
                            : QStringLiteral("Нет доступа к портам %1 — обратитесь к администратору"))
      .arg(ports.join(QStringLiteral(", ")));
}

DownloadProtocol::DownloadProtocol(DownloadTransport& transport, DownloadObserver& observer)
    : link_(transport),
      observer_(observer),
      buffer_(kReceiveBufferSize, '\0'),
      ports_{{kCom1, QStringLiteral("COM1"), QString()},
             {kCom2, QStringLiteral("COM2"), QString()}} {}

void DownloadProtocol::SetPorts(std::vector<PortCandidate> ports) {
  if (!ports.empty()) ports_ = std::move(ports);
}

void DownloadProtocol::Start() {
  state_ = State::Identifying;
  outcomes_.assign(ports_.size(), PortOutcome{});
  portIndex_ = 0;
  portName_ = ports_[0].name;
  link_.SetPortName(portName_);
  progress_ = 0;
  observer_.ProgressChanged(0);
  observer_.IdentityChanged(QString(), QString(), QString());
  observer_.StatusChanged(kWaiting);
  TryPort(0);
}

// Opens the port and asks it for identification. A port that does not open
// has nothing to wait for: the timer moves on to the next one at once.
void DownloadProtocol::TryPort(size_t index) {
  observer_.PortChanged(ports_[index].label);
  link_.OpenLink();
  state_ = State::Identifying;
  ResetFrame();
  heard_ = false;
  outcomes_[index] = PortOutcome{link_.OpenFailure(), false};
  if (outcomes_[index].open != PortOpenError::None) {
    link_.StartTimer(0);
    return;
  }
  link_.SendByte(kIdentify);
  link_.StartTimer(kAnswerTimeoutMs);
}

void DownloadProtocol::Ask(char request) {
  state_ = request == kMemory ? State::AwaitingMemory : State::Identifying;
  ResetFrame();
  link_.SendByte(static_cast<uint8_t>(request));
}

void DownloadProtocol::Close(bool ok) {
  state_ = State::Idle;
  ResetFrame();
  observer_.Finished(ok);
}

void DownloadProtocol::Fail(const QString& caption, const QString& text, const QString& detail) {
  link_.CloseLink();
  state_ = State::Idle;
  observer_.Failed(caption, text, detail);
  Close(false);
}

void DownloadProtocol::Receive(const char* data, uint32_t size) {
  if (state_ == State::Idle || size == 0) return;
  for (uint32_t i = 0; i < size; ++i) {
    switch (data[i]) {
      case kEnd:
        frame_.endSeen = true;
        frame_.open = false;
        break;
      case kStart:
        frame_.startSeen = true;
        frame_.open = true;
        heard_ = true;
        link_.StopTimer();
        break;
      case kRestart:
        // The instrument asks to start over: the rest of this batch and
        // what came before it in this frame are dropped. A "P" earlier in
        // this batch belonged to the abandoned frame and does not count.
        link_.StopTimer();
        heard_ = true;
        Ask(kIdentify);
        return;
      default:
        break;
    }
  }
  if (size > kReceiveBufferSize - frame_.fill) {
    // An answer longer than the receive buffer can only be garbage.
    Fail(kErrorCaption, kTransmissionError);
    return;
  }
  std::memcpy(buffer_.data() + frame_.fill, data, size);
  frame_.fill += size;

  if (state_ == State::Identifying) {
    if (frame_.endSeen) {
      IdentificationStep();
      return;
    }
  } else {
    if (state_ == State::AwaitingMemory && frame_.startSeen && !ExpectedSizeStep()) return;
    if (state_ == State::ReceivingMemory) ProgressStep();
    if (frame_.endSeen) {
      MemoryStep();
      return;
    }
  }
  if (frame_.open) link_.StartTimer(kFrameSilenceMs);
}

bool DownloadProtocol::IdentificationStep() {
  const uint32_t last = frame_.fill - 1;
  if (!check_sum(buffer_.data(), last)) {
    Fail(kErrorCaption, kTransmissionError);
    return false;
  }
  const uint32_t posS = find_char(buffer_.data(), last, kStart);
  if (posS + kOffCount + 1 >= kReceiveBufferSize) {
    // The fields would lie past the end of the buffer.
    Fail(kErrorCaption, kTransmissionError);
    return false;
  }
  const char* b = buffer_.data();
  DeviceIdentity& identity = result_.identity;
  identity.kind = char2byte(b, posS + kOffKind);
  identity.type = char2byte(b, posS + kOffType);
  identity.version = ver2str(b, posS + kOffVersion);
  identity.serial = char2word(b, posS + kOffSerial);
  identity.recordCount = char2byte(b, posS + kOffCount);
  if (identity.type > 3 && identity.kind != kPlateKind) {
    Fail(kErrorCaption, kWrongDevice, WrongDeviceDetail(identity, portName_));
    return false;
  }
  observer_.IdentityChanged(DeviceTypeName(identity.type), identity.version,
                            QString::number(identity.recordCount));
  observer_.StatusChanged(kReceiving);
  Ask(kMemory);
  return true;
}

bool DownloadProtocol::ExpectedSizeStep() {
  const uint32_t fill = frame_.fill;
  const uint32_t posS = find_char(buffer_.data(), fill - 1, kStart);
  if (posS >= fill || posS + 9 >= fill) return true;
  expectedSize_ =
      uint32_t{char2word(buffer_.data(), posS + 1)} * char2word(buffer_.data(), posS + 5);
  dataStart_ = posS + 9;
  if (expectedSize_ == 0) {
    Fail(kErrorCaption, kNoData);
    return false;
  }
  state_ = State::ReceivingMemory;
  return true;
}

void DownloadProtocol::ProgressStep() {
  // Characters still to come after the two words: the rest of the body and
  // the checksum, two per byte. For the water-permeability tester the two
  // words are the first bytes of record 0, not a size.
  uint64_t bytes = uint64_t{expectedSize_} + 4;
  const DeviceIdentity& identity = result_.identity;
  if (IsWaterDeviceType(identity.type) && identity.recordCount > 0)
    bytes = uint64_t{identity.recordCount} * kRecordSizeWater;
  const uint32_t fill = frame_.fill;
  const uint64_t received = fill > dataStart_ ? fill - dataStart_ : 0;
  const int percent = static_cast<int>(std::min<uint64_t>(99, received * 100 / (2 * bytes)));
  if (percent != progress_) {
    progress_ = percent;
    observer_.ProgressChanged(percent);
  }
}

void DownloadProtocol::MemoryStep() {
  link_.CloseLink();
  progress_ = 100;
  observer_.ProgressChanged(100);
  const uint32_t last = frame_.fill - 1;
  if (!check_sum(buffer_.data(), last)) {
    Fail(kErrorCaption, kTransmissionError);
    return;
  }
  const uint32_t posS = find_char(buffer_.data(), last, kStart);
  const uint32_t posP = find_char(buffer_.data(), last, kEnd);
  const uint32_t chars = posP - posS - 1;
  // Two characters per byte, and no more bytes than the image holds: a
  // frame that breaks either would be unpacked wrongly or wrap around.
  MemoryImage& image = result_.image;
  if (chars % 2 != 0 || chars / 2 > image.size()) {
    Fail(kErrorCaption, kTransmissionError);
    return;
  }
  for (uint32_t k = 0; k < chars / 2; ++k) image[k] = char2byte(buffer_.data(), posS + 1 + 2 * k);
  result_.length = chars / 2;
  Close(true);
}

void DownloadProtocol::Restart(size_t index) {
  portIndex_ = index;
  portName_ = ports_[index].name;
  link_.SetPortName(portName_);
  progress_ = 0;
  observer_.ProgressChanged(0);
  TryPort(index);
}

// One line per port tried and what happened there, then what the operator
// can do about the ports that refused to open: the hint about access
// rights once, for every port that refused this user.
QString DownloadProtocol::NotFoundDetail() const {
  const QStringList denied = DeniedPorts();
  QStringList lines;
  QStringList advice;
  for (const PortResult& r : PortResults()) {
    lines << r.label + QStringLiteral(": ") +
                 (r.outcome.lost ? QStringLiteral("связь прервалась") : PortOutcomeText(r.outcome.open));
    if (r.outcome.open != PortOpenError::PermissionDenied) {
      const QString more = PortAdvice(r.outcome.open, r.label);
      if (!more.isEmpty()) advice << more;
    } else if (r.label == denied.first()) {
      advice << PermissionAdvice(denied);
    }
  }
  if (!advice.isEmpty()) lines << QString() << advice.join(QStringLiteral("\n\n"));
  return lines.join(QLatin1Char('\n'));
}

// A port tried twice (an explicit port) counts once, with its last outcome.
std::vector<DownloadProtocol::PortResult> DownloadProtocol::PortResults() const {
  std::vector<PortResult> out;
  QStringList seen;
  for (size_t i = ports_.size(); i-- > 0;) {
    if (seen.contains(ports_[i].label)) continue;
    seen << ports_[i].label;
    out.insert(out.begin(), PortResult{ports_[i].label, outcomes_[i]});
  }
  return out;
}

QStringList DownloadProtocol::DeniedPorts() const {
  QStringList denied;
  for (const PortResult& r : PortResults())
    if (r.outcome.open == PortOpenError::PermissionDenied) denied << r.label;
  return denied;
}

void DownloadProtocol::TimerFired() {
  if (state_ == State::Idle) return;
  link_.StopTimer();
  if (frame_.open) {
    FailLostLine(true);
    return;
  }
  link_.CloseLink();
  if (portIndex_ + 1 < ports_.size()) {
    Restart(portIndex_ + 1);
    return;
  }
  const QString detail = NotFoundDetail();
  // Refused everywhere: no instrument was ever asked, and the operator
  // cannot mend that alone.
  const QStringList denied = DeniedPorts();
  const QString text = denied.size() == int(PortResults().size()) ? AccessDeniedText(denied) : kNotFound;
  portIndex_ = 0;
  portName_ = ports_[0].name;
  link_.SetPortName(portName_);
  progress_ = 0;
  observer_.ProgressChanged(0);
  state_ = State::Idle;
  observer_.Failed(kNotFoundCaption, text, detail);
  Close(false);
}

void DownloadProtocol::Cancel() {
  link_.CloseLink();
  progress_ = 0;
  observer_.ProgressChanged(0);
  Close(false);
}

void DownloadProtocol::LineLost() {
  if (state_ == State::Idle) return;
  if (state_ == State::Identifying && !heard_) {
    // Nothing had answered on this port yet: one more port without an
    // instrument; the search goes on at once.
    outcomes_[portIndex_].lost = true;
    link_.StopTimer();
    link_.StartTimer(0);
    return;
  }
  FailLostLine(false);
}

void DownloadProtocol::FailLostLine(bool silent) {
  const QString port = ports_[portIndex_].label;
  QString detail =
      silent ? QStringLiteral("Порт %1: прибор перестал передавать данные посреди передачи и "
                              "молчит уже %2 с.")
                   .arg(port, QString::number(kFrameSilenceMs / 1000))
             : QStringLiteral("Порт %1: связь прервалась — прибор или кабель отключен.").arg(port);
  if (AwaitsMemory())
    detail += QStringLiteral("\nПринято %1 % памяти прибора; принятое не сохраняется.")
                  .arg(std::max(progress_, 0));
  Fail(kErrorCaption, kLineLost, detail);
}
