#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "analysis/standard_parameters.h"

namespace corvane {

// The curves behind the standard figures of one surface, for drawing them: what a report shows
// beside the numbers. Worked out from a standard analysis just made with the same workspace
// (its areal residual, material ratio curve and autocorrelation are read from there).

// The surface seen from above: S, the height above the least-squares plane, on a raster.
// Points on a regular grid give one pixel each; others are binned into square pixels of about
// one point each, at most kHeightMapPixels along the longer side (the mean S of the points in a
// pixel). Pixel (column, row) covers x rising with the
// column and y rising with the row from the lowest.
struct HeightMap {
  static constexpr std::int16_t kEmpty = -1;        // no point in the pixel
  static constexpr std::int16_t kNonMeasured = -2;  // only non-measured points in the pixel
  std::size_t columns = 0, rows = 0;
  std::vector<std::int16_t> levels;  // per pixel, row by row: 0 .. 255 from low to high
  std::vector<float> values;         // S per pixel (the mean where binned), NaN where none
  double low = 0, high = 0;          // the S of level 0 and of level 255
  // The area the pixels cover, to their outer edges.
  double left = 0, right = 0, bottom = 0, top = 0;
  bool grid = false;
  std::size_t nonMeasured = 0;  // of the points drawn, those not measured
  std::size_t points = 0;       // the points drawn
};

// The evaluated profile nearest the middle of the file, as the figures saw it.
struct ProfileCurves {
  int profile = 0;  // its number, 1, 2, ... in the order of the file
  double y = 0;     // the y of its first point
  std::vector<double> x, primary, meanLine, roughness;
  std::size_t first = 0, last = 0;  // the evaluation length: points first .. last - 1
  std::vector<double> boundaries;   // x of the sampling lengths' ends, nr + 1 of them
  double rp = 0, rv = 0;            // the profile's Rp and Rv
};

// The histogram of S with bins by the Freedman-Diaconis rule: width 2 IQR / N^(1/3), as many
// equal bins from the lowest to the highest S as that width asks, at most 200 (and the square
// root of N when the interquartile range is 0). The last bin holds the highest S.
struct Histogram {
  double start = 0, width = 0;
  std::vector<std::size_t> counts;
  std::size_t total = 0;
  double mean = 0, sq = 0;  // of the normal density drawn over it
};

// The power spectral density of the primary profiles: for each evaluated profile without a
// non-measured point, of the most common length n (the longer on a tie), the one-sided periodogram
// of w P, w the Hann window of n points (0.5 - 0.5 cos(2 pi i / (n - 1))), at the frequencies k /
// (n dx), k = 0 .. n / 2, as |X(k)|^2 dx / sum w^2 (doubled but at 0 and at n / 2), averaged over
// those profiles; dx is their mean spacing. So the sum of the densities times the step 1 / (n dx)
// is the mean over the profiles of mean((w P)^2) / mean(w^2).
struct Spectrum {
  std::vector<double> frequency, density;
  std::size_t length = 0;  // n
  double spacing = 0;      // dx
  int profiles = 0;
  double windowedPower = 0;  // that mean of mean((w P)^2) / mean(w^2)
};

struct SurfaceCurves {
  HeightMap heightMap;
  std::optional<ProfileCurves> profile;  // none when no profile was evaluated
  std::vector<double> materialRatio;     // c(p) of S at p = 0, 0.1, ..., 100 %
  RkConstruction rk{};
  Histogram histogram;
  std::optional<Spectrum> spectrum;  // none when no evaluated profile is whole
  // f around (0, 0) with the 0.2 lobe and the lags of Sal and Str; none off a regular grid and
  // where f is undefined (every height the same).
  std::optional<AutocorrelationMap> autocorrelation;
  // Each profile figure's lowest and highest over the evaluated profiles (NaN for none).
  ProfileFigures minimum{}, maximum{};
};

// The longest side of a binned height map, in pixels.
inline constexpr std::size_t kHeightMapPixels = 600;

SurfaceCurves surfaceCurves(std::span<const Point> points, const StandardResult& result,
                            StandardWorkspace& workspace);
inline SurfaceCurves surfaceCurves(const PointTable& table, const StandardResult& result,
                                   StandardWorkspace& workspace) {
  return surfaceCurves({&table.row(1), static_cast<std::size_t>(std::max(table.count(), 0))},
                       result, workspace);
}

// S NaN at a non-measured point: its pixel is kNonMeasured (a binned pixel with measured points
// as well takes their mean).
HeightMap heightMap(std::span<const Point> points, std::span<const double> s,
                    const std::optional<Grid>& grid);
// Of the measured S alone (no NaN among them).
Histogram heightHistogram(std::span<const double> s, const MaterialRatioCurve& curve);

}  // namespace corvane
