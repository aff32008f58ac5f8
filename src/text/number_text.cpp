#include "text/number_text.h"

#include <charconv>
#include <cmath>
#include <cstddef>

namespace corvane {
namespace {

constexpr int kSingleDigits = 7;
constexpr int kDoubleDigits = 15;

// How the sign, the separator and the zero before it are written.
struct TextStyle {
  std::string_view separator;
  bool plain;  // leading space for non-negative values, no zero before the separator
};

void appendSign(std::string& out, bool negative, const TextStyle& style) {
  if (negative) {
    out += '-';
  } else if (style.plain) {
    out += ' ';
  }
}

// Writes |value| rounded to `digits` significant digits in fixed or exponent form. All digit
// work happens in stack buffers; the returned string is the only allocation, and none at all
// for texts short enough to live inside the string.
std::string numberText(double value, int digits, const TextStyle& style) {
  std::string out;
  if (std::isnan(value)) {
    appendSign(out, false, style);
    out += "nan";
    return out;
  }
  const bool negative = std::signbit(value) && value != 0.0;  // a negative zero prints as zero
  if (std::isinf(value)) {
    appendSign(out, negative, style);
    out += "inf";
    return out;
  }
  if (value == 0.0) {
    appendSign(out, false, style);
    out += '0';
    return out;
  }

  // Correctly rounded digits of the magnitude: "d.ddd...e+XX" (the exponent has two or three
  // digits). The widest case, a double with 15 digits, needs 21 characters.
  char buffer[32];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, std::fabs(value),
                                    std::chars_format::scientific, digits - 1);
  if (result.ec != std::errc{}) return out;  // cannot happen: the buffer always suffices

  // Gather the significant digits and the decimal exponent.
  char mantissa[kDoubleDigits];
  int count = 0;
  const char* p = buffer;
  for (; p != result.ptr && *p != 'e'; ++p) {
    if (*p != '.' && count < kDoubleDigits) mantissa[count++] = *p;
  }
  int exponent = 0;
  if (p != result.ptr) {
    ++p;  // 'e'
    const bool negativeExponent = *p == '-';
    ++p;  // the exponent's sign
    for (; p != result.ptr; ++p) exponent = exponent * 10 + (*p - '0');
    if (negativeExponent) exponent = -exponent;
  }
  if (count == 0) return out;  // cannot happen for a finite value other than zero
  while (count > 1 && mantissa[count - 1] == '0') --count;  // trailing zeros say nothing

  const std::string_view significant(mantissa, static_cast<std::size_t>(count));
  const std::size_t signLength = negative || style.plain ? 1 : 0;
  const std::size_t fractionLength = significant.size() - 1;  // digits after the first one

  // The rounded value d.ddd x 10^exponent lies in [10^exponent, 10^(exponent+1)), so the
  // fixed range 1e-5 <= |v| < 10^digits is exactly -5 <= exponent < digits. The length is
  // worked out first so the string is sized once; short texts stay inside the string itself.
  if (exponent >= -5 && exponent < digits) {
    if (exponent >= 0) {
      const auto integerDigits = static_cast<std::size_t>(exponent) + 1;
      if (significant.size() <= integerDigits) {
        out.reserve(signLength + integerDigits);
        appendSign(out, negative, style);
        out += significant;
        out.append(integerDigits - significant.size(), '0');
      } else {
        out.reserve(signLength + significant.size() + style.separator.size());
        appendSign(out, negative, style);
        out += significant.substr(0, integerDigits);
        out += style.separator;
        out += significant.substr(integerDigits);
      }
    } else {
      const auto leadingZeros = static_cast<std::size_t>(-exponent - 1);
      const std::size_t zeroBeforeSeparator = style.plain ? 0 : 1;
      out.reserve(signLength + zeroBeforeSeparator + style.separator.size() + leadingZeros +
                  significant.size());
      appendSign(out, negative, style);
      if (!style.plain) out += '0';
      out += style.separator;
      out.append(leadingZeros, '0');
      out += significant;
    }
    return out;
  }

  const int magnitude = exponent < 0 ? -exponent : exponent;
  const std::size_t exponentDigits = magnitude >= 100 ? 3 : 2;
  out.reserve(signLength + 1 + (fractionLength > 0 ? style.separator.size() + fractionLength : 0) +
              2 + exponentDigits);
  appendSign(out, negative, style);
  out += significant[0];
  if (fractionLength > 0) {
    out += style.separator;
    out += significant.substr(1);
  }
  out += 'E';
  out += exponent < 0 ? '-' : '+';
  if (exponentDigits == 3) out += static_cast<char>('0' + magnitude / 100);
  out += static_cast<char>('0' + magnitude / 10 % 10);
  out += static_cast<char>('0' + magnitude % 10);
  return out;
}

}  // namespace

// A single-precision value is widened exactly to double; its 7 digits are then rounded from the
// value the float really holds.
std::string localeNumberText(float value, std::string_view decimalSeparator) {
  return numberText(static_cast<double>(value), kSingleDigits, {decimalSeparator, false});
}

std::string localeNumberText(double value, std::string_view decimalSeparator) {
  return numberText(value, kDoubleDigits, {decimalSeparator, false});
}

std::string plainNumberText(float value) {
  return numberText(static_cast<double>(value), kSingleDigits, {".", true});
}

std::string plainNumberText(double value) { return numberText(value, kDoubleDigits, {".", true}); }

}  // namespace corvane
