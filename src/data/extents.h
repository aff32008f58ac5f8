#pragma once

#include <span>

#include "data/point_table.h"

namespace corvane {

// The extents and mean height of the loaded points, held in single precision as the window
// shows them. Every extent is the single-precision conversion of some table value.
struct Extents {
  float minX = 0;
  float maxX = 0;
  float minY = 0;
  float maxY = 0;
  float minZ = 0;
  float maxZ = 0;
  float meanZ = 0;
};

// Extents of rows 1..count(). They start from row 1; a row replaces an extent only when it
// lies strictly beyond it, compared as numbers (the single-precision extent widened to double
// against the table value). The heights are summed in double precision and the mean is
// converted to single precision. An empty table gives all zeros. Points whose height is NaN (a
// grid's non-measured points) are left out.
Extents computeExtents(const PointTable& table) noexcept;
Extents computeExtents(std::span<const Point> points) noexcept;

}  // namespace corvane
