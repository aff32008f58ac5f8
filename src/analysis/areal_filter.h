#pragma once

#include <span>
#include <vector>

#include "analysis/areal_grid.h"
#include "analysis/gaussian_filter.h"

namespace corvane {

// The areal Gaussian mean surface of heights on a grid: weights w(kx) w(ky), the profile filter's
// weights for the cut-off along x (spacing dx) and along y (spacing dy), summed over the grid
// points within reach and renormalised by the sum of the weights used. It equals the profile
// filter along every line followed by the profile filter along every column, each renormalised
// at its ends, and is worked out that way, each pass by FFT.
//
// A NaN height is a non-measured point, weighed like a point beyond the grid: the mean surface
// is sum w V S / sum w V over the same weights (V 1 at measured points, 0 elsewhere). Each sum
// is separable, so both are taken along the lines and then the columns, and divided once at
// the end (renormalising after each pass would weigh the holes differently); NaN at the
// non-measured points. `work` is work space; `out` may not be `heights`.
void arealMeanSurface(std::span<const double> heights, const Grid& grid, double cutoff,
                      GaussianFilter& filter, std::vector<double>& work, std::span<double> out);

// The same surface by the direct sum over both directions, O(points x weights^2): the baseline
// the separable FFT version is checked and measured against.
void directArealMeanSurface(std::span<const double> heights, const Grid& grid, double cutoff,
                            std::span<double> out);

}  // namespace corvane
