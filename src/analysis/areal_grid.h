#pragma once

#include <cstddef>
#include <optional>
#include <span>
#include <vector>

#include "analysis/non_measured.h"
#include "data/point_table.h"

namespace corvane {

// The median of the steps between consecutive values (for an even count the mean of the middle
// two). `scratch` is overwritten. At least two values.
double medianStep(std::span<const double> values, std::vector<double>& scratch);

// A regular grid of points: nx points on each of ny scan lines, dx apart along a line and dy
// between lines. Height (i, j) is point i of line j, at index j * nx + i of the points.
struct Grid {
  std::size_t nx = 0;
  std::size_t ny = 0;
  double dx = 0;
  double dy = 0;
};

// The grid the points form, if they form one: the scan lines (a drop in x starts the next)
// number at least 3 and each has the same count, at least 3; each line's y values are all
// equal; the first line's x steps are even (each within 1 % of dx, their median) and every
// line's x positions equal the first's to within 1 % of dx; the lines' y values rise or fall in
// even steps (each within 1 % of their median, dy its magnitude).
std::optional<Grid> regularGrid(std::span<const Point> points);

// Sdq: the root mean square gradient, the gradients along x and y by central differences inside
// the grid and one-sided ones at its edges. A non-measured (NaN) height counts as beyond the
// edge: at a measured point, the gradient along x is the central difference when both
// neighbours along x are measured, the one-sided difference over dx when one is, and undefined
// when neither is (along y likewise); the mean is over the measured points where both are
// defined. NaN when there is none.
double rootMeanSquareGradient(std::span<const double> heights, const Grid& grid);

// Sdr, in %: how much the surface's area exceeds its projection, each cell's area taken from the
// mean of its two edge differences along x and its two along y; over the cells whose four
// corners are measured (NaN when there is none).
double developedAreaRatio(std::span<const double> heights, const Grid& grid);

}  // namespace corvane
