#include "link/traffic_log.h"

#include <QFileDevice>
#include <QIODevice>

TrafficLog::TrafficLog(QIODevice* out) : out_(out) { clock_.start(); }

void TrafficLog::Line(const QString& text) {
  const QString stamp = QString::number(clock_.elapsed() / 1000.0, 'f', 3).rightJustified(9);
  out_->write((stamp + QStringLiteral("  ") + text + QLatin1Char('\n')).toUtf8());
  if (auto* file = qobject_cast<QFileDevice*>(out_)) file->flush();
}

void TrafficLog::Note(const QString& text) { Line(text); }

void TrafficLog::Sent(const char* data, int size) { Bytes("->", data, size); }

void TrafficLog::Received(const char* data, int size, bool discarded) {
  Bytes(discarded ? "<x" : "<-", data, size);
}

void TrafficLog::Bytes(const char* arrow, const char* data, int size) {
  constexpr int kPerLine = 16;
  for (int start = 0; start < size; start += kPerLine) {
    QString hex;
    QString text;
    for (int i = start; i < start + kPerLine; ++i) {
      if (i < size) {
        const auto b = static_cast<unsigned char>(data[i]);
        hex += QStringLiteral("%1 ").arg(uint(b), 2, 16, QLatin1Char('0')).toUpper();
        text += (b >= 0x20 && b < 0x7F) ? QChar(b) : QLatin1Char('.');
      } else {
        hex += QStringLiteral("   ");
      }
    }
    Line(QLatin1String(arrow) + QLatin1Char(' ') + hex + QLatin1Char(' ') + QLatin1Char('|') +
         text + QLatin1Char('|'));
  }
}
