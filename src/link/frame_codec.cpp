#include "link/frame_codec.h"

#include <cstring>

#include "platform/fixed_number.h"

namespace {
constexpr char kFrameStart = 'S';
constexpr char kFrameEnd = 'P';
constexpr uint32_t kChecksumChars = 8;
}  // namespace

uint32_t find_char(const char* buffer, uint32_t last, char ch) {
  // Indexes 0..last inclusive (a count of last + 1, which a size_t holds
  // even for last == UINT32_MAX); a memory frame is tens of thousands of
  // characters, searched several times.
  const void* at = std::memchr(buffer, ch, size_t(last) + 1);
  return at ? uint32_t(static_cast<const char*>(at) - buffer) : last + 1;
}

uint8_t char2byte(const char* buffer, uint32_t pos) {
  const auto lo = static_cast<uint8_t>(buffer[pos]);
  const auto hi = static_cast<uint8_t>(buffer[pos + 1]);
  return static_cast<uint8_t>((hi - 0x30) * 16 + (lo - 0x30));
}

uint16_t char2word(const char* buffer, uint32_t pos) {
  return static_cast<uint16_t>(char2byte(buffer, pos) + 256u * char2byte(buffer, pos + 2));
}

uint32_t char2dword(const char* buffer, uint32_t pos) {
  return char2word(buffer, pos) + 65536u * char2word(buffer, pos + 4);
}

bool check_sum(const char* buffer, uint32_t last) {
  const uint32_t posP = find_char(buffer, last, kFrameEnd);
  const uint32_t posS = find_char(buffer, last, kFrameStart);
  if (posP > last || posP < kChecksumChars || posS >= posP) return false;
  const uint32_t stored = char2dword(buffer, posP - kChecksumChars);
  uint32_t sum = 0;
  uint16_t j = 0;  // 16-bit on purpose: the instrument's counter wraps
  uint32_t i = posS + 1;
  do {
    ++j;
    sum += static_cast<uint16_t>(static_cast<uint8_t>(buffer[i]) ^ j);
    ++i;
  } while (i + kChecksumChars < posP);  // i <= posP - 9, at least once
  return sum == stored;
}

QString ver2str(const char* buffer, uint32_t pos) {
  char text[11];
  char* end = PutTwoDigits(text, char2byte(buffer, pos + 4));
  *end++ = '.';
  end = PutTwoDigits(end, char2byte(buffer, pos + 2));
  *end++ = '.';
  end = PutTwoDigits(end, char2byte(buffer, pos));
  return QString::fromLatin1(text, end - text);
}
