#pragma once
// Numbers as fixed-width decimal text, the way the table file stores them:
// right-aligned in their width, blank-padded, exactly the given number of
// decimals, "." as separator.
#include <QByteArray>
#include <cstdint>

enum class FixedFit { kWritten, kTooWide, kNotFinite };

// Writes `value` into the `width` bytes at `out`, with the digits of
// QByteArray::number(value, 'f', decimals); a negative value that shows as
// zero is written as zero. When it does not fit, `out` is left alone and
// `*shown` (when given) gets the text that did not fit.
FixedFit PutFixedNumber(double value, int width, int decimals, char* out,
                        QByteArray* shown = nullptr);
// The same for an integer, with `decimals` zeros after the point; `*shown`
// gets the integer's digits.
FixedFit PutFixedInteger(int64_t value, int width, int decimals, char* out,
                         QByteArray* shown = nullptr);

// The value of the `size` bytes at `p` as Qt reads the text, blanks and
// NULs around it dropped; false for a blank or unreadable text.
bool ReadFixedNumber(const char* p, int size, double* out);
// The same as an integer; a text with a fraction or an exponent gives its
// value cut toward zero, one beyond the 64-bit range none.
bool ReadFixedInteger(const char* p, int size, int64_t* out);

// Writes a value of 0..999 with at least two digits ("07", "48", "255") at
// `out`, in either kind of character, and returns the end: dates, times
// and version numbers are made of such pieces.
template <typename Char>
Char* PutTwoDigits(Char* out, int value) {
  if (value >= 100) *out++ = Char('0' + value / 100);
  *out++ = Char('0' + value / 10 % 10);
  *out++ = Char('0' + value % 10);
  return out;
}
