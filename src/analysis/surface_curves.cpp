#include "analysis/surface_curves.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <map>
#include <numbers>

#include "analysis/fftw_plans.h"
#include "analysis/profile_curves.h"

namespace corvane {
namespace {

constexpr double kUndefined = std::numeric_limits<double>::quiet_NaN();
constexpr std::size_t kMostBins = 200;

// The scan lines of the points: a strict drop in x starts the next.
std::vector<std::span<const Point>> profilesOf(std::span<const Point> points) {
  std::vector<std::span<const Point>> profiles;
  std::size_t first = 0;
  for (std::size_t i = 0; i < points.size(); ++i) {
    if (i + 1 == points.size() || points[i].x > points[i + 1].x) {
      profiles.push_back(points.subspan(first, i + 1 - first));
      first = i + 1;
    }
  }
  return profiles;
}

std::int16_t levelOf(double s, double low, double high) {
  if (!(high > low)) return 0;
  const double level = std::round((s - low) / (high - low) * 255);
  return static_cast<std::int16_t>(std::clamp(level, 0.0, 255.0));
}

// The evaluated profile nearest the middle of the file, as the figures saw it.
std::optional<ProfileCurves> middleProfile(std::span<const Point> all, const StandardResult& result,
                                           StandardWorkspace& workspace) {
  const double middle = (static_cast<double>(result.profiles.size()) + 1) / 2;
  const ProfileResult* nearest = nullptr;
  for (const ProfileResult& profile : result.profiles) {
    if (!profile.ok) continue;
    if (nearest == nullptr ||
        std::fabs(profile.profile - middle) < std::fabs(nearest->profile - middle)) {
      nearest = &profile;
    }
  }
  if (nearest == nullptr) return std::nullopt;
  return profileCurves(all, result, nearest->profile, workspace);
}

std::optional<Spectrum> primarySpectrum(const std::vector<std::span<const Point>>& profiles,
                                        const StandardResult& result,
                                        StandardWorkspace& workspace) {
  // The most common length among the evaluated profiles; the longer on a tie.
  // The profiles evaluated and whole: a transform needs every point.
  const auto whole = [&](const ProfileResult& profile) {
    if (!profile.ok) return false;
    for (const Point& p : profiles[static_cast<std::size_t>(profile.profile - 1)]) {
      if (!isMeasured(p.z)) return false;
    }
    return true;
  };
  std::vector<bool> used(result.profiles.size(), false);
  std::map<std::size_t, int> lengths;
  for (std::size_t k = 0; k < result.profiles.size(); ++k) {
    const ProfileResult& profile = result.profiles[k];
    if (!whole(profile)) continue;
    used[k] = true;
    ++lengths[profiles[static_cast<std::size_t>(profile.profile - 1)].size()];
  }
  if (lengths.empty()) return std::nullopt;
  std::size_t n = 0;
  int most = 0;
  for (const auto& [length, count] : lengths) {
    if (count >= most) n = length, most = count;
  }

  std::vector<double> window(n);
  double windowPower = 0;  // sum of w^2
  for (std::size_t i = 0; i < n; ++i) {
    window[i] = 0.5 - 0.5 * std::cos(2 * std::numbers::pi * static_cast<double>(i) /
                                     static_cast<double>(n - 1));
    windowPower += window[i] * window[i];
  }
  const fft::Plans plans = fft::plans1d(n);
  const fft::RealBuffer real(fftw_alloc_real(n));
  const fft::ComplexBuffer transform(fftw_alloc_complex(n / 2 + 1));
  Spectrum spectrum;
  spectrum.length = n;
  std::vector<double> sum(n / 2 + 1, 0.0);
  for (std::size_t k = 0; k < result.profiles.size(); ++k) {
    const ProfileResult& profile = result.profiles[k];
    const auto points = profiles[static_cast<std::size_t>(profile.profile - 1)];
    if (!used[k] || points.size() != n) continue;
    primaryProfile(points, workspace, result.settings, profile.spacing);
    double power = 0;
    for (std::size_t i = 0; i < n; ++i) {
      real[i] = window[i] * workspace.primary[i];
      power += real[i] * real[i];
    }
    fftw_execute_dft_r2c(plans.forward, real.get(), transform.get());
    for (std::size_t k = 0; k <= n / 2; ++k) {
      const bool single = k == 0 || 2 * k == n;  // no mirror image at 0 and at n / 2
      const double square = transform[k][0] * transform[k][0] + transform[k][1] * transform[k][1];
      sum[k] += (single ? 1 : 2) * square / windowPower;
    }
    spectrum.windowedPower += power / windowPower;  // mean((w P)^2) / mean(w^2)
    spectrum.spacing += profile.spacing;
    ++spectrum.profiles;
  }
  spectrum.spacing /= spectrum.profiles;
  spectrum.windowedPower /= spectrum.profiles;
  const double dx = spectrum.spacing;
  for (std::size_t k = 0; k <= n / 2; ++k) {
    spectrum.frequency.push_back(static_cast<double>(k) / (static_cast<double>(n) * dx));
    spectrum.density.push_back(sum[k] * dx / spectrum.profiles);
  }
  return spectrum;
}

}  // namespace

HeightMap heightMap(std::span<const Point> points, std::span<const double> s,
                    const std::optional<Grid>& grid) {
  HeightMap map;
  if (points.empty()) return map;
  map.points = points.size();
  map.low = std::numeric_limits<double>::infinity();
  map.high = -map.low;
  for (const double v : s) {
    if (!isMeasured(v)) {
      ++map.nonMeasured;
      continue;
    }
    map.low = std::min(map.low, v);
    map.high = std::max(map.high, v);
  }
  if (map.nonMeasured == map.points) map.low = map.high = 0;
  if (grid) {
    const std::size_t nx = grid->nx, ny = grid->ny;
    map.grid = true;
    map.columns = nx;
    map.rows = ny;
    map.levels.resize(nx * ny);
    map.values.resize(nx * ny);
    const bool yRises = points[nx].y > points[0].y;
    for (std::size_t j = 0; j < ny; ++j) {
      const std::size_t row = yRises ? j : ny - 1 - j;
      for (std::size_t i = 0; i < nx; ++i) {
        const double v = s[j * nx + i];
        map.levels[row * nx + i] =
            isMeasured(v) ? levelOf(v, map.low, map.high) : HeightMap::kNonMeasured;
        map.values[row * nx + i] = static_cast<float>(v);
      }
    }
    const double x0 = points[0].x, x1 = points[nx - 1].x;
    const double y0 = std::min(points[0].y, points[(ny - 1) * nx].y);
    const double y1 = std::max(points[0].y, points[(ny - 1) * nx].y);
    map.left = x0 - grid->dx / 2;
    map.right = x1 + grid->dx / 2;
    map.bottom = y0 - grid->dy / 2;
    map.top = y1 + grid->dy / 2;
    return map;
  }

  double minX = points[0].x, maxX = minX, minY = points[0].y, maxY = minY;
  for (const Point& p : points) {
    minX = std::min(minX, p.x);
    maxX = std::max(maxX, p.x);
    minY = std::min(minY, p.y);
    maxY = std::max(maxY, p.y);
  }
  // Square pixels, about one point to a pixel where the points spread over an area (so that a
  // scan of even lines shows no gaps between them) and at most kHeightMapPixels along the longer
  // side; a line of points (one extent 0) is a row or a column of pixels.
  const double area = (maxX - minX) * (maxY - minY);
  double size = std::max(std::max(maxX - minX, maxY - minY) / static_cast<double>(kHeightMapPixels),
                         std::sqrt(area / static_cast<double>(points.size())));
  if (!(size > 0) || !std::isfinite(size)) size = 1;
  map.columns = std::min(kHeightMapPixels, static_cast<std::size_t>((maxX - minX) / size) + 1);
  map.rows = std::min(kHeightMapPixels, static_cast<std::size_t>((maxY - minY) / size) + 1);
  map.left = minX;
  map.right = minX + static_cast<double>(map.columns) * size;
  map.bottom = minY;
  map.top = minY + static_cast<double>(map.rows) * size;
  std::vector<double> sums(map.columns * map.rows, 0.0);
  std::vector<std::uint32_t> counts(sums.size(), 0), holes(sums.size(), 0);
  for (std::size_t k = 0; k < points.size(); ++k) {
    const auto column =
        std::min(map.columns - 1, static_cast<std::size_t>((points[k].x - minX) / size));
    const auto row = std::min(map.rows - 1, static_cast<std::size_t>((points[k].y - minY) / size));
    if (!isMeasured(s[k])) {
      ++holes[row * map.columns + column];
      continue;
    }
    sums[row * map.columns + column] += s[k];
    ++counts[row * map.columns + column];
  }
  map.levels.resize(sums.size());
  map.values.resize(sums.size());
  for (std::size_t k = 0; k < sums.size(); ++k) {
    map.values[k] = counts[k] > 0 ? static_cast<float>(sums[k] / counts[k])
                                  : std::numeric_limits<float>::quiet_NaN();
    map.levels[k] = counts[k] > 0  ? levelOf(sums[k] / counts[k], map.low, map.high)
                    : holes[k] > 0 ? HeightMap::kNonMeasured
                                   : HeightMap::kEmpty;
  }
  return map;
}

Histogram heightHistogram(std::span<const double> s, const MaterialRatioCurve& curve) {
  Histogram histogram;
  const std::size_t n = s.size();
  histogram.total = n;
  if (n == 0) return histogram;
  const double high = curve.heightAtTenths(0),
               low = curve.heightAtTenths(MaterialRatioCurve::kSteps);
  const double range = high - low;
  const double iqr = curve.heightAt(25) - curve.heightAt(75);
  std::size_t bins = 1;
  if (range > 0) {
    const double width = 2 * iqr / std::cbrt(static_cast<double>(n));
    const double wanted =
        width > 0 ? std::ceil(range / width) : std::ceil(std::sqrt(static_cast<double>(n)));
    bins = static_cast<std::size_t>(std::clamp(wanted, 1.0, static_cast<double>(kMostBins)));
  }
  histogram.start = low;
  histogram.width = range > 0 ? range / static_cast<double>(bins) : 1;
  histogram.counts.assign(bins, 0);
  double sum = 0;
  for (const double v : s) {
    const double at = std::floor((v - low) / histogram.width);
    ++histogram.counts[std::min(bins - 1, static_cast<std::size_t>(std::max(at, 0.0)))];
    sum += v;
  }
  histogram.mean = sum / static_cast<double>(n);
  double squares = 0;
  for (const double v : s) squares += v * v;
  histogram.sq = std::sqrt(squares / static_cast<double>(n));
  return histogram;
}

SurfaceCurves surfaceCurves(std::span<const Point> all, const StandardResult& result,
                            StandardWorkspace& workspace) {
  SurfaceCurves curves;
  curves.minimum.fill(kUndefined);
  curves.maximum.fill(kUndefined);
  // Without a measured point there is no S to draw (the areal analysis left it as it was).
  if (result.measured == 0) return curves;
  const std::vector<std::span<const Point>> profiles = profilesOf(all);
  curves.heightMap = heightMap(all, workspace.residual, result.grid);
  const std::span<const double> c = workspace.arealCurve.heights();
  curves.materialRatio.assign(c.begin(), c.end());
  curves.rk = rkConstruction(workspace.arealCurve);
  curves.histogram = heightHistogram(workspace.measuredS, workspace.arealCurve);
  // The autocorrelation is the areal analysis's of this grid (its extent confirms it).
  const AutocorrelationFft& autocorrelation = workspace.autocorrelation;
  if (result.grid && autocorrelation.maxX == result.grid->nx / 2 &&
      autocorrelation.maxY == result.grid->ny / 2) {
    curves.autocorrelation = autocorrelationMap(autocorrelation, *result.grid);
  }
  curves.profile = middleProfile(all, result, workspace);
  curves.spectrum = primarySpectrum(profiles, result, workspace);

  for (const ProfileResult& profile : result.profiles) {
    if (!profile.ok) continue;
    for (std::size_t f = 0; f < profile.figures.size(); ++f) {
      const double v = profile.figures[f];
      if (std::isnan(v)) continue;
      if (!(curves.minimum[f] <= v)) curves.minimum[f] = v;
      if (!(curves.maximum[f] >= v)) curves.maximum[f] = v;
    }
  }
  return curves;
}

}  // namespace corvane
