#pragma once
// The protocol log for support: every byte sent to and received from the
// instrument, and what happened to the port, each line stamped with the
// seconds since the log began. Bytes are shown in hex and as printable
// characters, sixteen to a line:
//
//      0.412  -> 56                                               |V|
//      0.530  <- 53 31 30 31 30 35 30 3C 30 31 30 32 3D 34 30 30  |S101050<0102=400|
//      0.531  порт /dev/ttyUSB0 закрыт
//
// "->" is sent, "<-" received, "<x" received and thrown away (what was still
// on the line before a request).
#include <QElapsedTimer>
#include <QString>

class QIODevice;

class TrafficLog {
 public:
  // Does not own `out`; each line is flushed at once, so that the log holds
  // everything up to an interruption.
  explicit TrafficLog(QIODevice* out);

  void Note(const QString& text);
  void Sent(const char* data, int size);
  void Received(const char* data, int size, bool discarded = false);

 private:
  void Bytes(const char* arrow, const char* data, int size);
  void Line(const QString& text);

  QIODevice* out_;
  QElapsedTimer clock_;
};
