#pragma once

#include <string>
#include <string_view>

namespace corvane {

// Number texts as the window shows them. A single-precision value keeps 7 significant digits,
// a double-precision value 15. The value is rounded to that many digits; it is written in fixed
// notation when the rounded value is 0 or 1e-5 <= |v| < 10^digits, and otherwise in exponent
// form: the mantissa without trailing zeros, "E", the exponent's sign and at least two exponent
// digits (1E-06, 1.234568E+07). Trailing zeros of a fraction and a trailing separator are
// dropped, and no thousands separator is ever written. Nothing here reads global locale state.

// Locale number text: the given decimal separator, a zero before the separator below 1 and "-"
// for negative values (0.25, -0.25, 12.5, 0).
std::string localeNumberText(float value, std::string_view decimalSeparator);
std::string localeNumberText(double value, std::string_view decimalSeparator);

// Plain number text: always a period, a leading space for zero and positive values, "-" for
// negative ones, and no zero before the point below 1 (" .25", "-.25", " 3", " 0").
std::string plainNumberText(float value);
std::string plainNumberText(double value);

}  // namespace corvane
