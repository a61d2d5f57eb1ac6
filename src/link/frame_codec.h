#pragma once
// The instrument's frame encoding. Every byte travels as two nibble
// characters (0x30 + value, low nibble first); a frame is "S", the body, an
// eight-character 32-bit additive checksum and "P". All operations work on
// the receive buffer by index and never report errors: the checksum is what
// rejects a damaged frame.
#include <QString>
#include <cstdint>

// Index of the first `ch` among buffer[0..last]; last + 1 when there is none.
uint32_t find_char(const char* buffer, uint32_t last, char ch);

// Byte of the character pair at pos (low nibble first), modulo 256.
uint8_t char2byte(const char* buffer, uint32_t pos);
// Word of four characters at pos, low byte first.
uint16_t char2word(const char* buffer, uint32_t pos);
// Double word of eight characters at pos, low word first.
uint32_t char2dword(const char* buffer, uint32_t pos);

// True when the first frame in buffer[0..last] carries a correct checksum.
// A frame whose "P" stands before index 8, or that has no "S" before its
// "P", fails without any read outside buffer[0..last].
bool check_sum(const char* buffer, uint32_t last);

// Version text "b2.b1.b0" of the bytes at pos, pos+2 and pos+4, each at
// least two digits.
QString ver2str(const char* buffer, uint32_t pos);
