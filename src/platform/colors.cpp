#include "platform/colors.h"

#include <QApplication>
#include <QPalette>
#include <utility>

QColor ColorFromValue(uint32_t value) {
  if (value & 0x80000000u) {
    static constexpr std::pair<uint32_t, QPalette::ColorRole> kRoles[] = {
        {5, QPalette::Base},              // window background
        {15, QPalette::Button},           // button face
        {16, QPalette::Dark},             // button shadow
        {13, QPalette::Highlight},        // selection
        {14, QPalette::HighlightedText},  // selected text
    };
    // Only these ask the palette (window text and the rest are black):
    // making one is costly, and a grid asks for a colour per cell drawn.
    for (const auto& [index, role] : kRoles) {
      if (index != (value & 0xFF)) continue;
      // A plain QCoreApplication (tools, benchmarks) has no palette to ask.
      const bool gui = qobject_cast<QGuiApplication*>(QCoreApplication::instance()) != nullptr;
      return (gui ? QGuiApplication::palette() : QPalette()).color(role);
    }
    return QColor(Qt::black);
  }
  return QColor(value & 0xFF, (value >> 8) & 0xFF, (value >> 16) & 0xFF);
}

uint32_t ValueFromColor(const QColor& color) {
  const QColor c = color.toRgb();
  return uint32_t(c.red()) | (uint32_t(c.green()) << 8) | (uint32_t(c.blue()) << 16);
}
