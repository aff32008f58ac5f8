#include "analysis/areal_filter.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace corvane {

namespace {

// The sums of one pass along every column, in place: `values` read a column at a time through
// `column`, with the filter's renormalised mean line or its bare weighted sums.
template <typename Pass>
void alongColumns(std::span<double> values, const Grid& grid, std::vector<double>& column,
                  Pass&& pass) {
  const std::size_t nx = grid.nx, ny = grid.ny;
  column.resize(ny);
  for (std::size_t i = 0; i < nx; ++i) {
    for (std::size_t j = 0; j < ny; ++j) column[j] = values[j * nx + i];
    pass(column);  // reads it whole before it writes
    for (std::size_t j = 0; j < ny; ++j) values[j * nx + i] = column[j];
  }
}

}  // namespace

void arealMeanSurface(std::span<const double> heights, const Grid& grid, double cutoff,
                      GaussianFilter& filter, std::vector<double>& work, std::span<double> out) {
  const std::size_t nx = grid.nx, ny = grid.ny, n = nx * ny;
  if (!hasNonMeasured(heights)) {
    for (std::size_t j = 0; j < ny; ++j) {
      filter.meanLine(heights.subspan(j * nx, nx), grid.dx, cutoff, out.subspan(j * nx, nx));
    }
    alongColumns(out, grid, work,
                 [&](std::vector<double>& c) { filter.meanLine(c, grid.dy, cutoff, c); });
    return;
  }
  // sum w V S into out, sum w V into the work space after a column's room.
  work.resize(ny + n);
  const std::span<double> weights(work.data() + ny, n);
  for (std::size_t k = 0; k < n; ++k) {
    const bool measured = !std::isnan(heights[k]);
    out[k] = measured ? heights[k] : 0.0;
    weights[k] = measured ? 1.0 : 0.0;
  }
  for (std::size_t j = 0; j < ny; ++j) {
    const std::span<double> row = out.subspan(j * nx, nx), mask = weights.subspan(j * nx, nx);
    filter.weightedSums(row, grid.dx, cutoff, row);
    filter.weightedSums(mask, grid.dx, cutoff, mask);
  }
  std::vector<double> column(ny);
  const auto sums = [&](std::vector<double>& c) { filter.weightedSums(c, grid.dy, cutoff, c); };
  alongColumns(out, grid, column, sums);
  alongColumns(weights, grid, column, sums);
  for (std::size_t k = 0; k < n; ++k) {
    out[k] =
        std::isnan(heights[k]) ? std::numeric_limits<double>::quiet_NaN() : out[k] / weights[k];
  }
}

void directArealMeanSurface(std::span<const double> heights, const Grid& grid, double cutoff,
                            std::span<double> out) {
  if (grid.nx == 0 || grid.ny == 0) return;
  const std::vector<double> wx = gaussianWeights(grid.dx, cutoff, grid.nx - 1);
  const std::vector<double> wy = gaussianWeights(grid.dy, cutoff, grid.ny - 1);
  const long nx = static_cast<long>(grid.nx), ny = static_cast<long>(grid.ny);
  const long kx = static_cast<long>(wx.size()) - 1, ky = static_cast<long>(wy.size()) - 1;
  for (long j = 0; j < ny; ++j) {
    for (long i = 0; i < nx; ++i) {
      double sum = 0, weights = 0;
      for (long b = std::max(-ky, -j); b <= std::min(ky, ny - 1 - j); ++b) {
        for (long a = std::max(-kx, -i); a <= std::min(kx, nx - 1 - i); ++a) {
          const double w = wx[static_cast<std::size_t>(std::labs(a))] *
                           wy[static_cast<std::size_t>(std::labs(b))];
          sum += w * heights[static_cast<std::size_t>((j + b) * nx + i + a)];
          weights += w;
        }
      }
      out[static_cast<std::size_t>(j * nx + i)] = sum / weights;
    }
  }
}

}  // namespace corvane
