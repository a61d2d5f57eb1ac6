#include "platform/fixed_number.h"

#include <charconv>
#include <cmath>
#include <cstring>

namespace {

void PutRightAligned(const char* digits, int n, int width, char* out) {
  std::memset(out, ' ', size_t(width - n));
  std::memcpy(out + width - n, digits, size_t(n));
}

// Whether `decimals` places cut `value` exactly halfway between two
// neighbours: value * 10^d is then an odd multiple of 1/2, which for a
// binary fraction means value * 2^(d+1) is an odd integer.
bool IsHalfway(double value, int decimals) {
  const double x = std::ldexp(value, decimals + 1);
  return std::trunc(x) == x && std::fmod(x, 2.0) != 0.0;
}

FixedFit TooWide(const char* text, int n, QByteArray* shown) {
  if (shown) *shown = QByteArray(text, n);
  return FixedFit::kTooWide;
}

// The text without the blanks and NULs around it; false when nothing is
// left.
bool TrimmedSpan(const char* p, int n, const char** b, const char** e) {
  *b = p;
  *e = p + n;
  while (*b < *e && (**b == ' ' || **b == 0)) ++*b;
  while (*e > *b && ((*e)[-1] == ' ' || (*e)[-1] == 0)) --*e;
  return *b < *e;
}

// Reads [b, e) when it is a plain decimal: an optional minus, at most 15
// digits, and optionally a point with digits after it. The digits make an
// exact integer and the division by a power of ten (exact up to 10^22)
// rounds once, correctly, as Qt's conversion does; anything else is left
// to Qt.
bool PlainDecimal(const char* b, const char* e, bool integer, double* out, int64_t* whole) {
  const bool negative = b < e && *b == '-';
  if (negative) ++b;
  int64_t m = 0;
  int digits = 0, decimals = 0;
  bool point = false;
  for (; b < e; ++b) {
    if (*b >= '0' && *b <= '9') {
      m = m * 10 + (*b - '0');
      if (++digits > 15) return false;
      if (point) ++decimals;
    } else if (*b == '.' && !point && !integer && digits > 0) {
      point = true;
    } else {
      return false;
    }
  }
  if (digits == 0 || (point && decimals == 0)) return false;
  static const double kTens[] = {1e0, 1e1, 1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                 1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
  if (whole) *whole = negative ? -m : m;
  if (out) {
    const double v = double(m) / kTens[decimals];
    *out = negative ? -v : v;
  }
  return true;
}

// [b, e) read as Qt reads a number; false for none, or none finite.
bool QtDecimal(const char* b, const char* e, double* out) {
  bool ok = false;
  const double v = QByteArrayView(b, e - b).toDouble(&ok);  // read in place, not copied
  if (!ok || !std::isfinite(v)) return false;
  *out = v;
  return true;
}

}  // namespace

// Both to_chars and Qt round the exact binary value correctly, and differ
// only at an exact halfway point (Qt rounds away from zero), which is left
// to Qt.
FixedFit PutFixedNumber(double value, int width, int decimals, char* out, QByteArray* shown) {
  if (!std::isfinite(value)) return FixedFit::kNotFinite;
  char buf[64];
  int n = -1;
  if (!IsHalfway(value, decimals)) {
    const std::to_chars_result r =
        std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed, decimals);
    if (r.ec == std::errc()) n = int(r.ptr - buf);
  }
  QByteArray slow;
  const char* t = buf;
  if (n < 0) {
    slow = QByteArray::number(value, 'f', decimals);
    t = slow.constData();
    n = int(slow.size());
  }
  if (n > 0 && t[0] == '-') {
    bool allZero = true;
    for (int i = 1; i < n; ++i)
      if (t[i] >= '1' && t[i] <= '9') allZero = false;
    if (allZero) {
      ++t;
      --n;
    }
  }
  if (n > width) return TooWide(t, n, shown);
  PutRightAligned(t, n, width, out);
  return FixedFit::kWritten;
}

FixedFit PutFixedInteger(int64_t value, int width, int decimals, char* out, QByteArray* shown) {
  char buf[24 + 1 + 256];
  char* end = std::to_chars(buf, buf + 24, value).ptr;
  const int digits = int(end - buf);
  if (decimals > 0) {
    *end++ = '.';
    std::memset(end, '0', size_t(decimals));
    end += decimals;
  }
  const int n = int(end - buf);
  if (n > width) return TooWide(buf, digits, shown);
  PutRightAligned(buf, n, width, out);
  return FixedFit::kWritten;
}

bool ReadFixedNumber(const char* p, int size, double* out) {
  const char* b;
  const char* e;
  if (!TrimmedSpan(p, size, &b, &e)) return false;
  return PlainDecimal(b, e, false, out, nullptr) || QtDecimal(b, e, out);
}

bool ReadFixedInteger(const char* p, int size, int64_t* out) {
  const char* b;
  const char* e;
  if (!TrimmedSpan(p, size, &b, &e)) return false;
  if (PlainDecimal(b, e, true, nullptr, out)) return true;
  bool ok = false;
  const qlonglong v = QByteArrayView(b, e - b).toLongLong(&ok);
  if (ok) {
    *out = v;
    return true;
  }
  double d = 0;
  if (!ReadFixedNumber(b, int(e - b), &d) || std::fabs(d) > 9.2e18) return false;
  *out = int64_t(std::trunc(d));
  return true;
}
