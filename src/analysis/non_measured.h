#pragma once

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <span>

namespace corvane {

// A non-measured point of a grid or a profile (an instrument's hole: a steep flank, a dark
// spot, the edge of its field) keeps its place with the height NaN. Every filter and figure
// treats it as it treats a point beyond the grid's edge.
inline constexpr double kNonMeasured = std::numeric_limits<double>::quiet_NaN();

inline bool isMeasured(double height) { return !std::isnan(height); }

// Whether any of the heights is non-measured. It runs on every profile, so it is written for
// vector instructions: a NaN is a value whose bits, sign cleared, exceed those of infinity, so
// infinity's bits less them turn negative (the top bit set) for a NaN alone, and the top bits
// of all the differences are gathered by OR, every value looked at (no early exit). A
// comparison of doubles would be left a value at a time.
inline bool hasNonMeasured(std::span<const double> heights) {
  constexpr std::uint64_t kInfinity = 0x7FF0000000000000, kMagnitude = 0x7FFFFFFFFFFFFFFF;
  std::uint64_t any = 0;
  for (const double v : heights) any |= kInfinity - (std::bit_cast<std::uint64_t>(v) & kMagnitude);
  return (any >> 63) != 0;
}

}  // namespace corvane
