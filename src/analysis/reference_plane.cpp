#include "analysis/reference_plane.h"

#include <climits>
#include <cmath>

#include "text/number_text.h"

namespace corvane {

int scrollPositionOf(float height) noexcept {
  // A float has 24 significant bits and 100 needs 7, so the product is exact in double; rounding
  // it to float first would turn 1234.50002... (12.345f) into the tie 1234.5.
  const double hundredths = static_cast<double>(height) * 100.0;
  if (std::isnan(hundredths)) return 0;  // the reader never lets a NaN through; stay defined

  // Nearest integer, halves to the even one, without depending on the floating-point
  // environment's rounding mode. std::round moves halves away from zero; an odd result of a
  // half is moved back. rounded - hundredths is exact: it is -hundredths when rounded is 0, and
  // otherwise both lie within a factor of two of each other.
  double rounded = std::round(hundredths);
  if (std::fabs(rounded - hundredths) == 0.5 && std::fmod(rounded, 2.0) != 0.0) {
    rounded -= std::copysign(1.0, hundredths);
  }

  if (rounded >= static_cast<double>(INT_MAX)) return INT_MAX;
  if (rounded <= static_cast<double>(INT_MIN)) return INT_MIN;
  return static_cast<int>(rounded);
}

float planeHeightOf(int position) noexcept {
  return static_cast<float>(static_cast<double>(position) / 100.0);
}

std::string heightText(int position, std::string_view decimalSeparator) {
  return localeNumberText(static_cast<double>(position) / 100.0, decimalSeparator);
}

}  // namespace corvane
