#include "store/decimal_round.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

QString RoundedDecimalText(double value, int decimals) {
  if (std::isnan(value)) return QStringLiteral("nan");
  if (std::isinf(value)) return value > 0 ? QStringLiteral("inf") : QStringLiteral("-inf");
  decimals = std::clamp(decimals, 0, 15);
  // d.dddddddddddddde±x: the 15 significant digits of the decimal value.
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.14e", std::fabs(value));
  std::string digits;
  const char* p = buf;
  for (; *p && *p != 'e'; ++p)
    if (*p >= '0' && *p <= '9') digits += *p;
  const int point = (*p == 'e' ? std::atoi(p + 1) : 0) + 1;  // digits before the point

  // The whole part and the fraction, exactly as written in decimal.
  std::string whole, fraction;
  if (point <= 0) {
    whole = "0";
    fraction = std::string(size_t(-point), '0') + digits;
  } else if (point >= int(digits.size())) {
    whole = digits + std::string(size_t(point) - digits.size(), '0');
  } else {
    whole = digits.substr(0, size_t(point));
    fraction = digits.substr(size_t(point));
  }
  bool up = false;
  if (int(fraction.size()) > decimals) {
    up = fraction[size_t(decimals)] >= '5';
    fraction.resize(size_t(decimals));
  } else {
    fraction.append(size_t(decimals) - fraction.size(), '0');
  }
  std::string number = whole + fraction;
  if (up) {
    // Adds one in the last kept place, carrying to the left.
    int i = int(number.size()) - 1;
    for (; i >= 0 && number[size_t(i)] == '9'; --i) number[size_t(i)] = '0';
    if (i >= 0)
      ++number[size_t(i)];
    else
      number.insert(number.begin(), '1');
  }
  const size_t wholeDigits = number.size() - fraction.size();
  std::string out = number.substr(0, wholeDigits);
  out.erase(0, std::min(out.find_first_not_of('0'), out.size() - 1));
  if (decimals > 0) out += '.' + number.substr(wholeDigits);
  const bool zero = number.find_first_not_of('0') == std::string::npos;
  if (value < 0 && !zero) out.insert(out.begin(), '-');
  return QString::fromLatin1(out.c_str());
}

double RoundDecimal(double value, int decimals) {
  if (!std::isfinite(value)) return value;
  return RoundedDecimalText(value, decimals).toDouble();
}
