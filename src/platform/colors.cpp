#include "platform/colors.h"

#include <QApplication>
#include <QPalette>

QColor ColorFromValue(uint32_t value) {
  if (value & 0x80000000u) {
    // A plain QCoreApplication (tools, benchmarks) has no palette to ask.
    const bool gui = qobject_cast<QGuiApplication*>(QCoreApplication::instance()) != nullptr;
    const QPalette pal = gui ? QGuiApplication::palette() : QPalette();
    switch (value & 0xFF) {
      case 5: return pal.color(QPalette::Base);          // window background
      case 8: return QColor(Qt::black);                  // window text
      case 15: return pal.color(QPalette::Button);       // button face
      case 16: return pal.color(QPalette::Dark);         // button shadow
      case 13: return pal.color(QPalette::Highlight);
      case 14: return pal.color(QPalette::HighlightedText);
      default: return QColor(Qt::black);
    }
  }
  return QColor(value & 0xFF, (value >> 8) & 0xFF, (value >> 16) & 0xFF);
}

uint32_t ValueFromColor(const QColor& color) {
  const QColor c = color.toRgb();
  return uint32_t(c.red()) | (uint32_t(c.green()) << 8) | (uint32_t(c.blue()) << 16);
}
