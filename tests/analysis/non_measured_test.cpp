// Grids and profiles with non-measured points (NaN heights): the masked filters and figures
// against plain evaluations of their definitions, written out here, on holes that touch an
// edge and a corner, a measured island narrower than the cut-off, a row whose first tenth is
// not measured and a sampling length wholly inside a hole.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <random>
#include <vector>

#include "analysis/areal_filter.h"
#include "analysis/autocorrelation.h"
#include "analysis/standard_parameters.h"

namespace corvane {
namespace {

using namespace figure;
constexpr double kHole = std::numeric_limits<double>::quiet_NaN();

bool measured(double v) { return !std::isnan(v); }

// The profile filter's weights, written out: exp(-pi (k dx / (alpha lc))^2) for |k| dx <= lc.
double weight(long k, double dx, double lc) {
  const double alpha = std::sqrt(std::log(2.0) / std::numbers::pi);
  const double u = static_cast<double>(k) * dx / (alpha * lc);
  return static_cast<double>(std::labs(k)) * dx <= lc ? std::exp(-std::numbers::pi * u * u) : 0;
}

// A 23 x 17 grid, dx != dy, random heights and holes: a block at the corner (0, 0), a strip
// along the last line, scattered points, and a ring that leaves a 2 x 2 island inside it.
struct HoledGrid {
  Grid grid{23, 17, 0.05, 0.08};
  std::vector<double> s;
  HoledGrid() {
    std::mt19937_64 random(21);
    std::uniform_real_distribution<double> uniform(-1, 1);
    s.resize(grid.nx * grid.ny);
    for (double& v : s) v = uniform(random);
    const auto hole = [&](std::size_t i, std::size_t j) { s[j * grid.nx + i] = kHole; };
    for (std::size_t j = 0; j < 3; ++j)
      for (std::size_t i = 0; i < 4; ++i) hole(i, j);
    for (std::size_t i = 5; i < 20; ++i) hole(i, grid.ny - 1);
    for (std::size_t k = 0; k < s.size(); k += 37) hole(k % grid.nx, k / grid.nx);
    for (std::size_t j = 8; j < 12; ++j)
      for (std::size_t i = 14; i < 18; ++i)
        if (j == 8 || j == 11 || i == 14 || i == 17) hole(i, j);
  }
  double at(long i, long j) const {
    if (i < 0 || j < 0 || i >= static_cast<long>(grid.nx) || j >= static_cast<long>(grid.ny)) {
      return kHole;
    }
    return s[static_cast<std::size_t>(j) * grid.nx + static_cast<std::size_t>(i)];
  }
};

TEST(NonMeasured, ArealMeanSurfaceIsTheWeightedSumOverMeasuredPoints) {
  const HoledGrid g;
  for (const double lc : {0.1, 0.4}) {
    SCOPED_TRACE(lc);
    GaussianFilter filter;
    std::vector<double> work, out(g.s.size());
    arealMeanSurface(g.s, g.grid, lc, filter, work, out);
    for (long j = 0; j < static_cast<long>(g.grid.ny); ++j) {
      for (long i = 0; i < static_cast<long>(g.grid.nx); ++i) {
        const double m = out[static_cast<std::size_t>(j) * g.grid.nx + static_cast<std::size_t>(i)];
        if (!measured(g.at(i, j))) {
          EXPECT_TRUE(std::isnan(m));
          continue;
        }
        double sum = 0, weights = 0;
        for (long b = -40; b <= 40; ++b) {
          for (long a = -40; a <= 40; ++a) {
            const double v = g.at(i + a, j + b);
            if (!measured(v)) continue;
            const double w = weight(a, g.grid.dx, lc) * weight(b, g.grid.dy, lc);
            sum += w * v;
            weights += w;
          }
        }
        ASSERT_NEAR(m, sum / weights, 1e-12) << i << ", " << j;
      }
    }
  }
}

TEST(NonMeasured, SlopeAndAreaOfATiltedPlaneAreExactAroundHoles) {
  HoledGrid g;
  // A plane: every difference, central or one-sided, is its slope.
  const double a = 0.3, b = -0.7;
  for (std::size_t j = 0; j < g.grid.ny; ++j) {
    for (std::size_t i = 0; i < g.grid.nx; ++i) {
      double& v = g.s[j * g.grid.nx + i];
      if (measured(v))
        v = a * static_cast<double>(i) * g.grid.dx + b * static_cast<double>(j) * g.grid.dy;
    }
  }
  EXPECT_NEAR(rootMeanSquareGradient(g.s, g.grid), std::hypot(a, b), 1e-12);
  EXPECT_NEAR(developedAreaRatio(g.s, g.grid), 100 * (std::sqrt(1 + a * a + b * b) - 1), 1e-10);
  // Every other column measured: no point has a neighbour along x, no cell four corners.
  std::vector<double> striped(g.s.size(), 1.0);
  for (std::size_t k = 0; k < striped.size(); k += 2) striped[k] = kHole;
  EXPECT_TRUE(std::isnan(rootMeanSquareGradient(striped, g.grid)));
  EXPECT_TRUE(std::isnan(developedAreaRatio(striped, g.grid)));
}

TEST(NonMeasured, AutocorrelationIsOverMeasuredPairs) {
  const HoledGrid g;
  AutocorrelationFft fft;
  fft.compute(g.s, g.grid);
  double squares = 0, count = 0;
  for (const double v : g.s) {
    if (measured(v)) squares += v * v, count += 1;
  }
  const long mx = static_cast<long>(g.grid.nx / 2), my = static_cast<long>(g.grid.ny / 2);
  for (long ty = -my; ty <= my; ++ty) {
    for (long tx = -mx; tx <= mx; ++tx) {
      double sum = 0, pairs = 0;
      for (long j = 0; j < static_cast<long>(g.grid.ny); ++j) {
        for (long i = 0; i < static_cast<long>(g.grid.nx); ++i) {
          const double p = g.at(i, j), q = g.at(i + tx, j + ty);
          if (measured(p) && measured(q)) sum += p * q, pairs += 1;
        }
      }
      ASSERT_GT(pairs, 0);
      ASSERT_NEAR(fft.at(tx, ty), sum / pairs / (squares / count), 1e-10) << tx << ", " << ty;
    }
  }
}

// Points of a grid from its heights (NaN where not measured).
std::vector<Point> pointsOf(const Grid& grid, const std::vector<double>& s) {
  std::vector<Point> points;
  for (std::size_t j = 0; j < grid.ny; ++j) {
    for (std::size_t i = 0; i < grid.nx; ++i) {
      points.push_back(
          {static_cast<double>(i) * grid.dx, static_cast<double>(j) * grid.dy, s[j * grid.nx + i]});
    }
  }
  return points;
}

TEST(NonMeasured, GridWhoseLagsLackPairsHasItsReasons) {
  // Only the first and last columns measured: no pair one step apart along x, no gradient
  // along x and no cell with four measured corners.
  const Grid grid{8, 6, 0.1, 0.1};
  std::vector<double> s(grid.nx * grid.ny, kHole);
  for (std::size_t j = 0; j < grid.ny; ++j) {
    s[j * grid.nx] = std::sin(static_cast<double>(j));
    s[j * grid.nx + grid.nx - 1] = std::cos(static_cast<double>(j));
  }
  StandardWorkspace workspace;
  const StandardResult result = standardAnalysis(pointsOf(grid, s), 0.2, workspace);
  ASSERT_TRUE(result.grid);
  EXPECT_EQ(result.measured, 12u);
  EXPECT_EQ(result.nonMeasured, 36u);
  EXPECT_FALSE(std::isnan(result.areal[Sq]));
  for (const std::size_t f : {Sdq, Sdr, Sal, Str}) EXPECT_TRUE(std::isnan(result.areal[f]));
  EXPECT_NE(std::find(result.arealReasons.begin(), result.arealReasons.end(), kTooFewMeasured),
            result.arealReasons.end());
  EXPECT_NE(std::find(result.arealReasons.begin(), result.arealReasons.end(), kUnpairedLag),
            result.arealReasons.end());
}

TEST(NonMeasured, ProfileWithHolesIsEvaluatedOverItsMeasuredPoints) {
  // 600 points 1/128 apart, lc 0.75 (both exact in binary, so that every boundary falls where
  // it is meant to): the first tenth not measured, a hole that swallows the third sampling
  // length, and scattered points.
  const std::size_t n = 600;
  const double dx = 1.0 / 128, lc = 0.75;
  std::vector<Point> points(n);
  std::mt19937_64 random(5);
  std::normal_distribution<double> noise(0, 0.02);
  for (std::size_t i = 0; i < n; ++i) {
    const double x = 2 + static_cast<double>(i) * dx;
    points[i] = {x, 0, 0.1 * x + std::sin(2 * std::numbers::pi * x / 0.31) + noise(random)};
    if (i < 60 || (i >= 300 && i < 400) || i % 41 == 7) points[i].z = kHole;
  }
  StandardWorkspace workspace;
  const ProfileResult result = evaluateProfile(points, lc, workspace);
  ASSERT_TRUE(result.ok) << result.reason;

  // The plain evaluation: the line over the measured points, the mean line as the weighted
  // mean of the measured points, the evaluation length from lc / 2 after the first measured
  // point to lc / 2 before the last, sampling lengths without a measured point left out.
  std::vector<std::size_t> m;
  for (std::size_t i = 0; i < n; ++i) {
    if (measured(points[i].z)) m.push_back(i);
  }
  double sx = 0, sz = 0;
  for (const std::size_t i : m) sx += points[i].x, sz += points[i].z;
  const double mx = sx / static_cast<double>(m.size()), mz = sz / static_cast<double>(m.size());
  double sxx = 0, sxz = 0;
  for (const std::size_t i : m) {
    sxx += (points[i].x - mx) * (points[i].x - mx);
    sxz += (points[i].x - mx) * (points[i].z - mz);
  }
  std::vector<double> p(n, kHole), r(n, kHole);
  for (const std::size_t i : m) p[i] = points[i].z - mz - sxz / sxx * (points[i].x - mx);
  for (const std::size_t i : m) {
    double sum = 0, weights = 0;
    for (const std::size_t k : m) {
      const double w = weight(static_cast<long>(k) - static_cast<long>(i), dx, lc);
      sum += w * p[k];
      weights += w;
    }
    r[i] = p[i] - sum / weights;
  }
  const double start = points[m.front()].x + lc / 2, end = points[m.back()].x - lc / 2;
  const int lengths = static_cast<int>(std::floor((end - start) / lc));
  double abs = 0, count = 0, peaks = 0, valleys = 0;
  int nr = 0;
  for (int k = 0; k < lengths; ++k) {
    double hi = -1e300, lo = 1e300;
    for (const std::size_t i : m) {
      const double x = points[i].x;
      if (x >= start + k * lc && x < start + (k + 1) * lc) {
        hi = std::max(hi, r[i]);
        lo = std::min(lo, r[i]);
      }
    }
    if (hi < lo) continue;
    peaks += hi;
    valleys -= lo;
    ++nr;
  }
  for (const std::size_t i : m) {
    if (points[i].x < start || points[i].x > end) continue;
    abs += std::fabs(r[i]);
    count += 1;
  }
  EXPECT_EQ(lengths, 4);
  EXPECT_EQ(result.samplingLengths, lengths);
  EXPECT_EQ(result.nr, nr);
  EXPECT_EQ(nr, 3);
  EXPECT_NEAR(result.figures[Ra], abs / count, 1e-12);
  EXPECT_NEAR(result.figures[Rz], (peaks + valleys) / nr, 1e-12);

  // Fewer than three measured points: not evaluated.
  for (std::size_t i = 3; i < n; ++i) points[i].z = kHole;
  EXPECT_EQ(evaluateProfile(points, lc, workspace).reason, kTooFewPoints);
}

}  // namespace
}  // namespace corvane
