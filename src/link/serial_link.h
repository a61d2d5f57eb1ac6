#pragma once
// TSerialLink: one serial port with fixed line settings, polled on a timer
// of the user-interface thread. Each poll hands the bytes waiting (at most
// InBufSize) to OnReceiveData; SendByte waits a bounded time for room in the
// output queue. A line that goes (hang-up, the device unplugged, a port
// error) closes the link and raises OnLineLost. Knows nothing of frames.
#include <QByteArray>
#include <QObject>
#include <QSerialPort>
#include <QString>
#include <cstdint>
#include <functional>

#include "link/serial_ports.h"

class QTimer;

class TSerialLink;
// Sender, DataPtr, DataSize. The bytes are valid during the call only.
using TReceiveDataEvent = std::function<void(TSerialLink*, const char*, uint32_t)>;
// Sender. The link is already closed when it is raised.
using TLineLostEvent = std::function<void(TSerialLink*)>;

enum TPortNumber { pnCustom, pnCOM1, pnCOM2, pnCOM3, pnCOM4 };
enum TBaudRate { br1200, br2400, br4800, br9600, br19200, br38400, br57600, br115200 };
enum TDataBits { db5BITS, db6BITS, db7BITS, db8BITS };
enum TStopBits { sb1BITS, sb1HALFBITS, sb2BITS };
enum TParity { ptNONE, ptODD, ptEVEN, ptMARK, ptSPACE };
enum THwFlow { hfNONE, hfNONERTSON, hfRTSCTS };
enum TSwFlow { sfNONE, sfXONXOFF };

// How the line runs: speed, character frame, handshake and the modem lines
// raised on open.
struct LineSettings {
  TBaudRate baudRate = br9600;
  TDataBits dataBits = db8BITS;
  TStopBits stopBits = sb1BITS;
  TParity parity = ptNONE;
  // hfNONERTSON: no handshake, RTS held on while the port is open.
  THwFlow hwFlow = hfNONERTSON;
  TSwFlow swFlow = sfNONE;
  bool dtrOnOpen = true;  // whether DTR is raised when the port opens
};

class TSerialLink : public QObject {
  Q_OBJECT
 public:
  explicit TSerialLink(QObject* parent = nullptr);
  ~TSerialLink() override;

  TPortNumber Port() const { return port_; }
  // A numbered port sets PortName to its device name; pnCustom keeps it.
  void SetPort(TPortNumber p);
  QString PortName() const { return portName_; }
  // Ignored while the port is open.
  void SetPortName(const QString& name);

  const LineSettings& Line() const { return line_; }
  // Takes the settings whole: OpenLink applies them, and an open port gets
  // them at once. False when the open port refused them (it stays open,
  // with what it took).
  bool SetLine(const LineSettings& line);

  int OutputTimeout = 500;  // ms without progress before SendByte gives up
  TReceiveDataEvent OnReceiveData;
  // Raised once when the open line goes: the bytes that had arrived are
  // delivered first, then the port is closed, then this is raised.
  TLineLostEvent OnLineLost;

  int InBufSize() const { return inBufSize_; }
  void SetInBufSize(int size);  // clamped to 128..8192
  int OutBufSize() const { return outBufSize_; }
  void SetOutBufSize(int size);  // clamped to 128..8192
  int PollingDelay() const { return pollingDelay_; }
  void SetPollingDelay(int ms);  // below 5 becomes 5

  // Opens PortName exclusively with the line settings; a failure leaves the
  // link closed, and LastOpenError says why.
  void OpenLink();
  PortOpenError LastOpenError() const { return lastOpenError_; }
  // The system's own words on the last failed open (for a protocol log).
  QString LastOpenErrorText() const { return lastOpenErrorText_; }
  // Drops what has arrived and not yet been handed on.
  void DiscardInput();
  // Whether bytes wait that the next poll would hand on.
  bool InputWaiting();
  void CloseLink();
  bool IsLinkOpen() const;
  bool SendByte(uint8_t b);

 private:
  void Poll();
  // Hands on what has arrived; false when nothing came or the handler
  // closed the link.
  bool Deliver();
  bool ApplyLineSettings();
  void PortError(QSerialPort::SerialPortError error);
  void LoseLine();

  LineSettings line_;
  TPortNumber port_ = pnCOM2;
  QString portName_ = QStringLiteral("\\\\.\\COM2");
  int inBufSize_ = 2048;
  int outBufSize_ = 2048;
  int pollingDelay_ = 50;
  QSerialPort* serial_ = nullptr;
  QTimer* timer_ = nullptr;
  QByteArray readBuffer_;
  PortOpenError lastOpenError_ = PortOpenError::None;
  QString lastOpenErrorText_;
  bool losing_ = false;  // a line loss is on its way to LoseLine
};

// Why QSerialPort's open failed, in the operator's terms. QSerialPort says
// PermissionError both for a device the user may not open and for one that
// another program holds (its lock file, or the terminal's exclusive mode):
// `mayReadWrite` (the file's access rights allow this user to read and
// write it) tells the two apart.
PortOpenError ClassifyOpenFailure(QSerialPort::SerialPortError error, bool mayReadWrite);
