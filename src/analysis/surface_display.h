#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "analysis/surface_curves.h"

namespace corvane {

// What the analysis window draws of a surface beyond the report's curves, worked out from them.

// The levels of the height map's values between `low` (level 0) and `high` (255), the values
// beyond them at the end they pass: the colours of a map clipped to a range (HeightMap::kEmpty
// and kNonMeasured kept).
std::vector<std::int16_t> levelsBetween(const HeightMap& map, double low, double high);

// The height map's values in blocks of at most maxSide x maxSide: the mean of the values in
// each block (NaN where none is a number), for a view that draws a few hundred thousand points
// at most whatever the surface holds. Rows as in the map, from the lowest y.
struct ReducedSurface {
  std::size_t columns = 0, rows = 0;
  double left = 0, right = 0, bottom = 0, top = 0;  // as the map's
  std::vector<float> heights;                       // row by row
};
ReducedSurface reducedSurface(const HeightMap& map, std::size_t maxSide);

}  // namespace corvane
