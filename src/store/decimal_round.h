#pragma once
// Rounding to a number of decimals as the operator does it by hand: on the
// decimal value (the number's first 15 significant digits, which is what
// was stored or computed), half away from zero. Binary rounding of 1.15,
// which is stored as 1.1499999…, would give 1.1 where the operator expects 1.2.
#include <QString>

// The rounded value with exactly `decimals` decimals (0 to 15), "." as
// separator and no sign on a zero: (1.15, 1) -> "1.2", (-0.25, 1) -> "-0.3",
// (-0.04, 1) -> "0.0". Infinities and NaN give "inf", "-inf", "nan".
QString RoundedDecimalText(double value, int decimals);

// The same rounding as a number (the double nearest the rounded decimal).
double RoundDecimal(double value, int decimals);
