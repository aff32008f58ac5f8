#include "analysis/surface_display.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace corvane {

std::vector<std::int16_t> levelsBetween(const HeightMap& map, double low, double high) {
  std::vector<std::int16_t> levels(map.levels.size());
  const double span = high > low ? high - low : 1;
  for (std::size_t k = 0; k < levels.size(); ++k) {
    const std::int16_t kept = map.levels[k];
    if (kept == HeightMap::kEmpty || kept == HeightMap::kNonMeasured) {
      levels[k] = kept;
      continue;
    }
    const double level = std::round((map.values[k] - low) / span * 255);
    levels[k] = static_cast<std::int16_t>(std::clamp(level, 0.0, 255.0));
  }
  return levels;
}

ReducedSurface reducedSurface(const HeightMap& map, std::size_t maxSide) {
  ReducedSurface reduced;
  reduced.left = map.left;
  reduced.right = map.right;
  reduced.bottom = map.bottom;
  reduced.top = map.top;
  if (map.columns == 0 || map.rows == 0 || maxSide == 0) return reduced;
  // The smallest whole block that brings both sides within maxSide.
  const std::size_t block =
      std::max((map.columns + maxSide - 1) / maxSide, (map.rows + maxSide - 1) / maxSide);
  reduced.columns = (map.columns + block - 1) / block;
  reduced.rows = (map.rows + block - 1) / block;
  std::vector<double> sums(reduced.columns * reduced.rows, 0.0);
  std::vector<std::uint32_t> counts(sums.size(), 0);
  for (std::size_t row = 0; row < map.rows; ++row) {
    const std::size_t r = row / block;
    for (std::size_t column = 0; column < map.columns; ++column) {
      const float v = map.values[row * map.columns + column];
      if (std::isnan(v)) continue;
      const std::size_t k = r * reduced.columns + column / block;
      sums[k] += v;
      ++counts[k];
    }
  }
  reduced.heights.resize(sums.size());
  for (std::size_t k = 0; k < sums.size(); ++k) {
    reduced.heights[k] = counts[k] > 0 ? static_cast<float>(sums[k] / counts[k])
                                       : std::numeric_limits<float>::quiet_NaN();
  }
  return reduced;
}

}  // namespace corvane
