// Frame codec: the worked examples of the instrument's encoding, the
// checksum's counter and sum wraps, and frames that must fail without
// reading outside the buffer.
#include <gtest/gtest.h>

#include <QByteArray>
#include <string>
#include <vector>

#include "link/frame_codec.h"

namespace {

uint32_t Last(const std::string& s) { return static_cast<uint32_t>(s.size() - 1); }

// Encodes a 32-bit value as the instrument does: low word first, each word
// low byte first, each byte low nibble first.
std::string Dword(uint32_t v) {
  std::string out;
  for (int i = 0; i < 4; ++i) {
    const uint8_t b = static_cast<uint8_t>(v >> (8 * i));
    out += static_cast<char>(0x30 + (b & 15));
    out += static_cast<char>(0x30 + (b >> 4));
  }
  return out;
}

// Independent oracle of the checksum: 64-bit sum, counter taken modulo 65536.
uint32_t ReferenceSum(const std::string& body) {
  uint64_t sum = 0;
  for (size_t k = 0; k < body.size(); ++k) {
    const uint32_t j = static_cast<uint32_t>((k + 1) % 65536);
    sum += (static_cast<uint8_t>(body[k]) ^ j) & 0xFFFF;
  }
  return static_cast<uint32_t>(sum % (uint64_t{1} << 32));
}

TEST(FindChar, FirstOccurrenceOrOnePastLast) {
  const std::string s = "xxSabSP";
  EXPECT_EQ(find_char(s.data(), Last(s), 'S'), 2u);
  EXPECT_EQ(find_char(s.data(), Last(s), 'P'), 6u);
  EXPECT_EQ(find_char(s.data(), Last(s), 'Z'), 7u);
  // Only buffer[0..last] is searched.
  EXPECT_EQ(find_char(s.data(), 4, 'P'), 5u);
  EXPECT_EQ(find_char(s.data(), 0, 'x'), 0u);
}

TEST(CharDecoding, WorkedExamples) {
  struct Case {
    const char* chars;
    uint32_t value;
    int width;  // 1 byte, 2 word, 4 dword
  };
  const Case cases[] = {
      {"??", 255, 1},
      {"00", 0, 1},
      {"10", 1, 1},
      {":5", 0x5A, 1},
      {"01", 0x10, 1},
      {":521", 0x125A, 2},
      {"????", 0xFFFF, 2},
      {"26000000", 98, 4},
      {"47400000", 1140, 4},
      {"10325476", 0x67452301, 4},
      {"????????", 0xFFFFFFFF, 4},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.chars);
    switch (c.width) {
      case 1:
        EXPECT_EQ(char2byte(c.chars, 0), c.value);
        break;
      case 2:
        EXPECT_EQ(char2word(c.chars, 0), c.value);
        break;
      default:
        EXPECT_EQ(char2dword(c.chars, 0), c.value);
        break;
    }
  }
  // Characters outside the nibble range give what the arithmetic gives.
  EXPECT_EQ(char2byte("@0", 0), 0x10);
  EXPECT_EQ(char2byte("/0", 0), 0xFF);
  // pos is honoured.
  EXPECT_EQ(char2word("xx:521", 2), 0x125A);
}

TEST(CheckSum, WorkedFramesPassAndEveryChangedCharacterFails) {
  const std::string frames[] = {
      "S1026000000P",
      "S101050<0102=40000000003047400000P",
      "junk before S1026000000P",
  };
  for (const std::string& f : frames) {
    SCOPED_TRACE(f);
    EXPECT_TRUE(check_sum(f.data(), Last(f)));
    const size_t s = f.find('S');
    const size_t p = f.find('P');
    for (size_t i = s + 1; i < p; ++i) {
      std::string bad = f;
      bad[i] = bad[i] == '0' ? '1' : '0';
      EXPECT_FALSE(check_sum(bad.data(), Last(bad))) << "changed index " << i;
    }
  }
}

TEST(CheckSum, EmptyBodySumsOneCharacter) {
  // "P" right after "S": the body is empty and the one character after "S"
  // (the "P", 0x50 ^ 1 = 81) is summed; the stored value is read from the
  // eight characters before "P", here built to hold 81.
  const std::string ok("150000\0SP", 9);
  EXPECT_TRUE(check_sum(ok.data(), Last(ok)));
  const std::string other("250000\0SP", 9);
  EXPECT_FALSE(check_sum(other.data(), Last(other)));
}

TEST(CheckSum, CounterWrapsAt16BitsAndSumWrapsAt32Bits) {
  // 262,000 body characters: the counter passes 65,535 three times and the
  // sum exceeds 2^32.
  std::string body;
  for (int i = 0; i < 262000; ++i) body += static_cast<char>(0x30 + (i * 7) % 16);
  const uint32_t sum = ReferenceSum(body);
  const std::string frame = "S" + body + Dword(sum) + "P";
  EXPECT_TRUE(check_sum(frame.data(), Last(frame)));

  // Terms not cut to 16 bits (a counter that did not wrap) give another sum.
  uint64_t unwrapped = 0;
  for (size_t k = 0; k < body.size(); ++k)
    unwrapped += static_cast<uint8_t>(body[k]) ^ static_cast<uint32_t>(k + 1);
  ASSERT_NE(static_cast<uint32_t>(unwrapped), sum);
  const std::string noWrap = "S" + body + Dword(static_cast<uint32_t>(unwrapped)) + "P";
  EXPECT_FALSE(check_sum(noWrap.data(), Last(noWrap)));
}

TEST(CheckSum, MalformedFramesFailWithinTheBuffer) {
  // Each case is copied into a heap block of exactly its size, so that a
  // read outside it shows under the address sanitizer.
  const std::string cases[] = {
      "P",              // "P" at index 0
      "S0000000P",      // checksum characters overlap the "S"
      "0000000P",       // "P" at index 7, no "S"
      "S000000P",       // "P" at index 7
      "26000000P",      // no "S" at all
      "1026000000PS",   // "S" only after "P"
      "S1026000000",    // no "P"
      "PS1026000000P",  // the first "P" precedes the "S"
  };
  for (const std::string& c : cases) {
    SCOPED_TRACE(c);
    std::vector<char> exact(c.begin(), c.end());
    EXPECT_FALSE(check_sum(exact.data(), static_cast<uint32_t>(exact.size() - 1)));
  }
}

TEST(Ver2Str, TwoDigitsAtLeast) {
  struct Case {
    const char* chars;
    const char* text;
  };
  const Case cases[] = {
      {"50<010", "01.12.05"},  // bytes 5, 12, 1
      {"000000", "00.00.00"},
      {"4600:0", "10.00.100"},  // bytes 100, 0, 10
      {"??????", "255.255.255"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(ver2str(c.chars, 0), QString::fromLatin1(c.text)) << c.chars;
}

}  // namespace
