#pragma once
// A fuzz input read as a sequence of choices: bytes, little-endian words and
// runs of bytes. Past its end every read gives zeros (or nothing).
#include <QByteArray>
#include <cstddef>
#include <cstdint>

struct FuzzInput {
  const uint8_t* p;
  size_t left;
  bool Empty() const { return left == 0; }
  uint8_t Byte() {
    if (left == 0) return 0;
    --left;
    return *p++;
  }
  uint16_t Word() {
    const uint8_t low = Byte();
    return uint16_t(low | (Byte() << 8));
  }
  QByteArray Take(size_t n) {
    n = n < left ? n : left;
    QByteArray b(reinterpret_cast<const char*>(p), static_cast<int>(n));
    p += n;
    left -= n;
    return b;
  }
};
