#pragma once
// Little-endian numbers in the table and index files.
#include <cstdint>

namespace dbf {

inline void PutU16(char* p, uint32_t v) {
  p[0] = char(v & 0xFF);
  p[1] = char((v >> 8) & 0xFF);
}
inline void PutU32(char* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = char((v >> (8 * i)) & 0xFF);
}
inline uint32_t GetU16(const char* p) { return uint8_t(p[0]) | (uint32_t(uint8_t(p[1])) << 8); }
inline uint32_t GetU32(const char* p) {
  uint32_t v = 0;
  for (int i = 3; i >= 0; --i) v = (v << 8) | uint8_t(p[i]);
  return v;
}

}  // namespace dbf
