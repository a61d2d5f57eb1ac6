#include "link/serial_ports.h"

#include <QDir>
#include <QFileInfo>
#include <QSerialPortInfo>
#include <algorithm>
#include <set>

#include "platform/ports.h"

namespace {

SerialPortSource* g_source = nullptr;

bool LooksLikeUsb(const QString& device) {
  const QString name = QFileInfo(device).fileName();
  return name.startsWith(QLatin1String("ttyUSB")) || name.startsWith(QLatin1String("ttyACM"));
}

// Two names of one device (a by-id link and its target) are one port.
QString DeviceKey(const QString& path) {
  const QString canonical = QFileInfo(path).canonicalFilePath();
  return canonical.isEmpty() ? path : canonical;
}

const SerialPortEntry* FindListed(const std::vector<SerialPortEntry>& listed, const QString& path) {
  const QString key = DeviceKey(path);
  for (const SerialPortEntry& e : listed)
    if (DeviceKey(e.device) == key) return &e;
  return nullptr;
}

// "/dev/ttyUSB0 (USB-Serial Controller)", "COM1 (/dev/ttyS0)".
QString Label(const QString& shown, const QString& device, const SerialPortEntry* entry) {
  QStringList more;
  if (device != shown) more << device;
  if (entry && !entry->description.isEmpty()) more << entry->description;
  return more.isEmpty() ? shown : shown + QStringLiteral(" (") + more.join(QStringLiteral(", ")) +
                                      QLatin1Char(')');
}

QString RememberedName(const QString& device, const SerialPortEntry* entry) {
  if (entry) return entry->PreferredName();
  const QString stable = StableNameOf(device);
  return stable.isEmpty() ? device : stable;
}

PortCandidate CandidateFor(const QString& port, const std::vector<SerialPortEntry>& listed) {
  const QString name = PortNameOfChoice(port);
  const QString device = ResolvePortName(name);
  const SerialPortEntry* entry = FindListed(listed, device);
  const QString shown = name.startsWith(QLatin1String("\\\\.\\")) ? name.mid(4) : name;
  return {name, Label(shown, device, entry), RememberedName(device, entry)};
}

std::vector<SerialPortEntry> SystemPorts() {
  std::vector<SerialPortEntry> out;
  if (qEnvironmentVariableIsSet("KLT3_SERIAL_PORTS")) {
    const QStringList paths = qEnvironmentVariable("KLT3_SERIAL_PORTS")
                                  .split(QLatin1Char(':'), Qt::SkipEmptyParts);
    for (const QString& path : paths) {
      SerialPortEntry e;
      e.device = path;
      e.stableName = StableNameOf(path);
      e.usb = LooksLikeUsb(DeviceKey(path));
      out.push_back(e);
    }
    return out;
  }
  for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts()) {
    SerialPortEntry e;
    e.device = info.systemLocation();
    e.stableName = StableNameOf(e.device);
    e.description = info.description();
    e.manufacturer = info.manufacturer();
    e.serialNumber = info.serialNumber();
    e.usb = info.hasVendorIdentifier() || LooksLikeUsb(e.device);
    out.push_back(e);
  }
  std::sort(out.begin(), out.end(), [](const SerialPortEntry& a, const SerialPortEntry& b) {
    return a.device < b.device;
  });
  return out;
}

}  // namespace

SerialPortSource::~SerialPortSource() = default;
std::vector<SerialPortEntry> SerialPortSource::List() { return SystemPorts(); }
PortOpenError SerialPortSource::Refusal(const QString&) { return PortOpenError::None; }

SerialPortSource& SerialPorts() {
  static SerialPortSource system;
  return g_source ? *g_source : system;
}

void SetSerialPorts(SerialPortSource* source) { g_source = source; }

QString StableNameOf(const QString& device, const QString& byIdDir) {
  const QString key = DeviceKey(device);
  const QFileInfoList links =
      QDir(byIdDir).entryInfoList(QDir::System | QDir::Files | QDir::NoDotAndDotDot, QDir::Name);
  for (const QFileInfo& link : links) {
    if (link.isSymLink() && link.canonicalFilePath() == key) return link.absoluteFilePath();
  }
  return QString();
}

QString PortOutcomeText(PortOpenError error) {
  switch (error) {
    case PortOpenError::None:
      return QStringLiteral("нет ответа");
    case PortOpenError::NotFound:
      return QStringLiteral("нет такого порта");
    case PortOpenError::PermissionDenied:
      return QStringLiteral("нет доступа к порту");
    case PortOpenError::Busy:
      return QStringLiteral("порт занят другой программой");
    case PortOpenError::Other:
      break;
  }
  return QStringLiteral("порт не открывается");
}

QString PortAdvice(PortOpenError error, const QString& port) {
  switch (error) {
    case PortOpenError::PermissionDenied:
      return PermissionAdvice({port});
    case PortOpenError::Busy:
      return QStringLiteral(
                 "Порт %1 занят другой программой. Закройте программу, которая работает с "
                 "этим портом (например, вторую копию этой программы), и повторите прием.")
          .arg(port);
    default:
      break;
  }
  return QString();
}

QString PermissionAdvice(const QStringList& ports) {
  return (ports.size() == 1 ? QStringLiteral("Нет доступа к порту %1.")
                            : QStringLiteral("Нет доступа к портам %1."))
             .arg(ports.join(QStringLiteral(", "))) +
         QStringLiteral(
             " В Linux открывать последовательные порты могут только пользователи группы "
             "dialout. Добавьте себя в эту группу командой\n"
             "    sudo usermod -aG dialout $USER\n"
             "и войдите в систему заново.");
}

std::vector<PortCandidate> SearchOrder(const QString& remembered,
                                       const std::vector<SerialPortEntry>& listed) {
  std::vector<PortCandidate> out;
  std::set<QString> tried;
  auto add = [&](const PortCandidate& c) {
    if (tried.insert(DeviceKey(ResolvePortName(c.name))).second) out.push_back(c);
  };
  if (!remembered.isEmpty()) add(CandidateFor(remembered, listed));
  add(CandidateFor(QStringLiteral("COM1"), listed));
  add(CandidateFor(QStringLiteral("COM2"), listed));
  std::vector<SerialPortEntry> rest = listed;
  std::stable_partition(rest.begin(), rest.end(), [](const SerialPortEntry& e) { return e.usb; });
  for (const SerialPortEntry& e : rest) add(CandidateFor(e.device, listed));
  return out;
}

std::vector<PortCandidate> FixedOrder(const QString& port,
                                      const std::vector<SerialPortEntry>& listed) {
  const PortCandidate c = CandidateFor(port, listed);
  return {c, c};
}
