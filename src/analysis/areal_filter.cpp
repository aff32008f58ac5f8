#include "analysis/areal_filter.h"

#include <algorithm>

namespace corvane {

void arealMeanSurface(std::span<const double> heights, const Grid& grid, double cutoff,
                      GaussianFilter& filter, std::vector<double>& column, std::span<double> out) {
  const std::size_t nx = grid.nx, ny = grid.ny;
  for (std::size_t j = 0; j < ny; ++j) {
    filter.meanLine(heights.subspan(j * nx, nx), grid.dx, cutoff, out.subspan(j * nx, nx));
  }
  column.resize(ny);
  for (std::size_t i = 0; i < nx; ++i) {
    for (std::size_t j = 0; j < ny; ++j) column[j] = out[j * nx + i];
    filter.meanLine(column, grid.dy, cutoff, column);  // reads it whole before it writes
    for (std::size_t j = 0; j < ny; ++j) out[j * nx + i] = column[j];
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
