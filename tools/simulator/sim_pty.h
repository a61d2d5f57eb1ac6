#pragma once
// A pseudo-terminal pair for the simulated instrument: the simulator works
// on the master side; the program under test opens the slave path as its
// serial port. The pair keeps one descriptor of the slave open itself, in
// raw mode, so that the master never sees a hang-up between two openings
// of the port by the program.
#include <QString>

namespace sim {

class PtyPair {
 public:
  PtyPair() = default;
  ~PtyPair();
  PtyPair(const PtyPair&) = delete;
  PtyPair& operator=(const PtyPair&) = delete;

  bool Open(QString* error = nullptr);
  void Close();
  bool IsOpen() const { return master_ >= 0; }
  int MasterFd() const { return master_; }
  // The pair's own descriptor of the slave (for inspecting its settings).
  int SlaveFd() const { return slave_; }
  const QString& SlavePath() const { return slavePath_; }

 private:
  int master_ = -1;
  int slave_ = -1;
  QString slavePath_;
};

// Opens a serial device (or a pseudo-terminal slave made elsewhere) raw,
// non-blocking, at 9600 bit/s, 8 data bits, no parity, 2 stop bits.
// Returns the descriptor, or -1 with a message.
int OpenSerialDevice(const QString& path, QString* error);

}  // namespace sim
