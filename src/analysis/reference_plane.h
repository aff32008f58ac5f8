#pragma once

#include <string>
#include <string_view>

namespace corvane {

// The reference plane's height is held as a scroll position in hundredths of the file's unit.

// The scroll position of a height: the single-precision height times 100, formed in double
// precision (exact), rounded to the nearest integer with halves to the even one. Positions
// beyond the range of int are clamped to it.
int scrollPositionOf(float height) noexcept;

// The height a position stands for, position / 100 in double precision, in single precision.
float planeHeightOf(int position) noexcept;

// The height text of a position: position / 100 in locale number text (double precision).
std::string heightText(int position, std::string_view decimalSeparator);

}  // namespace corvane
