#pragma once
// A simulated instrument on a file descriptor (the master side of a
// pseudo-terminal pair, or a serial device). It answers "V" with its
// identification frame and "N" with its memory frame, and can misbehave on
// request. Runs on the thread of its Qt event loop, so tests can drive it
// in-process next to the program under test.
#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>

#include "simulator/sim_images.h"

class QSocketNotifier;
class QTimer;

namespace sim {

constexpr double kLineCharsPerSecond = 9600.0 / 11.0;  // start, 8 data, 2 stop bits

struct InstrumentConfig {
  Identity identity;
  QByteArray image;     // the memory frame body
  bool sendZ = false;   // answer the first "V" with a "Z" amid other characters
  bool silent = false;  // answer nothing
  bool badIdentChecksum = false;
  bool badMemoryChecksum = false;
  bool zeroSize = false;  // memory frame whose first two words are 0 and 5
  bool paced = false;     // write no faster than the line would carry
  // After this many characters of the memory frame the instrument sends
  // nothing more (it hangs) or, with hangUp, closes the line (the cable is
  // pulled); -1: it sends the whole frame.
  int cutAfter = -1;
  bool hangUp = false;
};

// A water-permeability tester (kind 1, type 1) holding these series.
InstrumentConfig WaterInstrument(const std::vector<WaterRecord>& records);
// A plate tester (kind 17, type 16) holding these tests.
InstrumentConfig PlateInstrument(const std::vector<PlateRecord>& records,
                                 uint16_t recordSize = kPlateRecordMinSize);
// Identifies as a device of type 20 and kind 16, which the program refuses.
void MakeWrongKind(InstrumentConfig* config);

class Instrument : public QObject {
  Q_OBJECT
 public:
  // Does not own fd.
  Instrument(int fd, InstrumentConfig config, QObject* parent = nullptr);
  ~Instrument() override;

  InstrumentConfig& Config() { return config_; }
  // Every byte the program has sent.
  const QByteArray& Received() const { return received_; }
  int Requests(char request) const { return static_cast<int>(received_.count(request)); }
  // Characters written so far.
  qint64 Written() const { return written_; }
  bool Idle() const { return pending_.isEmpty(); }
  // The memory frame has been cut short (cutAfter).
  bool Cut() const { return cut_; }
  // The exact frames the instrument sends.
  QByteArray IdentificationFrame() const;
  QByteArray MemoryFrame() const;

 signals:
  void requestReceived(char request);
  void replyWritten(char request);
  // The memory frame was cut short with hangUp: the instrument has let go
  // of the descriptor, and its owner closes it.
  void lineClosed();

 private:
  void OnReadable();
  void Queue(const QByteArray& chars, char request);
  void Pump();
  void CutShort();

  int fd_;
  InstrumentConfig config_;
  QSocketNotifier* readNotifier_;
  QSocketNotifier* writeNotifier_;
  QTimer* paceTimer_;
  QElapsedTimer paceClock_;
  qint64 pacedSent_ = 0;
  QByteArray pending_;
  char pendingRequest_ = 0;
  QByteArray received_;
  qint64 written_ = 0;
  bool zSent_ = false;
  qint64 memoryWritten_ = 0;  // characters of the memory frame now sent
  bool cut_ = false;
};

}  // namespace sim
