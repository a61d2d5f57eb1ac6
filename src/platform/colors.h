#pragma once
// Colours are 32-bit values laid out 0x00BBGGRR; a value with the top bit set
// is a system colour number, resolved through one table.
#include <QColor>
#include <cstdint>

QColor ColorFromValue(uint32_t value);
uint32_t ValueFromColor(const QColor& color);
// The value of "no colour" in column definitions.
constexpr uint32_t kClNone = 0x1FFFFFFF;
constexpr uint32_t kClWindowText = 0x80000008;
