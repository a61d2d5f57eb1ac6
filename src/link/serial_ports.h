#pragma once
// The serial ports of this computer as the operator knows them (device,
// adapter's description, maker, serial number, the stable name under
// /dev/serial/by-id), why a port could not be opened in plain words, and
// the order in which a download looks for the instrument.
//
// The listing goes through a seam: the system's list is QSerialPortInfo's,
// which knows no pseudo-terminals, so tests (and simulated instruments)
// put their own list in its place. The environment variable
// KLT3_SERIAL_PORTS, when set, replaces the system's list with its device
// paths (separated by ':'; empty: no ports at all).
#include <QString>
#include <QStringList>
#include <vector>

struct SerialPortEntry {
  QString device;        // /dev/ttyUSB0
  QString stableName;    // /dev/serial/by-id/usb-...; empty when there is none
  QString description;   // as the adapter or the system names it
  QString manufacturer;
  QString serialNumber;
  bool usb = false;      // a USB adapter (or a USB modem-class device)

  // What the operator picks and the settings keep: the stable name when
  // there is one, so that the choice survives replugging.
  QString PreferredName() const { return stableName.isEmpty() ? device : stableName; }
};

// Why a port did not open.
enum class PortOpenError {
  None,
  NotFound,          // no such device
  PermissionDenied,  // the user may not open it
  Busy,              // another program holds it (or our own lock)
  Other,             // anything else the system reports
};

class SerialPortSource {
 public:
  virtual ~SerialPortSource();
  virtual std::vector<SerialPortEntry> List();
  // A reason the device cannot be opened that only the source knows; None
  // lets the open go ahead. The system's source knows none.
  virtual PortOpenError Refusal(const QString& device);
};

SerialPortSource& SerialPorts();
// Installs a replacement (tests); nullptr restores the system's list.
void SetSerialPorts(SerialPortSource* source);

// The stable name of a device among the links of `byIdDir`; empty if none.
QString StableNameOf(const QString& device,
                     const QString& byIdDir = QStringLiteral("/dev/serial/by-id"));

// One line of the detail text of "Прибор не обнаружен! ...": what happened
// on a port ("нет ответа" for an open port that stayed silent).
QString PortOutcomeText(PortOpenError error);
// What the operator should do about a refused port; empty when there is
// nothing to do but to check the cable.
QString PortAdvice(PortOpenError error, const QString& port);
// What the operator should do about ports that refused this user: one
// hint, naming them all.
QString PermissionAdvice(const QStringList& ports);

// A port the download tries: `name` goes to the link ("\\.\COM1" or a
// device path), `label` to the operator, `remember` to the settings when
// the instrument answers there.
struct PortCandidate {
  QString name;
  QString label;
  QString remember;
};

// The automatic search: the port that answered last (`remembered`), then
// COM1 and COM2 as the settings lead them, then every listed port, USB
// adapters first; a device already in the list is not tried twice.
std::vector<PortCandidate> SearchOrder(const QString& remembered,
                                       const std::vector<SerialPortEntry>& listed);
// An explicit port ("COM1", "COM2" or a device path), tried twice as the
// two ports of the search would be.
std::vector<PortCandidate> FixedOrder(const QString& port,
                                      const std::vector<SerialPortEntry>& listed);
