#pragma once

#include <cstddef>
#include <span>

namespace corvane {

// The slope and spacing figures of a roughness profile r (at positions x, spacing dx), over its
// evaluation length, points first .. last - 1.

// Rdq: the root mean square of the local slope, the slope at point i by the seven-point formula
// (r(i+3) - 9 r(i+2) + 45 r(i+1) - 45 r(i-1) + 9 r(i-2) - r(i-3)) / (60 dx), with neighbours
// from the whole profile; an evaluation point without three profile points on either side is
// left out, as is one that is not measured (NaN) or has a neighbour that is not. NaN when no
// point is left.
double rootMeanSquareSlope(std::span<const double> r, std::size_t first, std::size_t last,
                           double dx);

// RSm: the mean width of the profile elements, from the upward crossings of the mean line with
// the height discrimination h. Walking the evaluation length, a point with r <= -h makes the
// state "low"; while low, the first point i with r(i) >= h records the last upward zero crossing
// at or before i (the last pair k-1, k with r(k-1) < 0 <= r(k)), interpolated linearly in x, and
// makes the state "high". The mean distance between successive crossings; NaN with fewer than
// two. Non-measured points (NaN) are stepped over: the walk is of the measured points in
// order, and a crossing across a hole is interpolated between the measured points either side.
double meanElementWidth(std::span<const double> x, std::span<const double> r, std::size_t first,
                        std::size_t last, double discrimination);

}  // namespace corvane
