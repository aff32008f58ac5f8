// Surface-texture parameters: analytic profiles whose figures are known, the Gaussian filter's
// defining transmission, the fast filter against the definition summed directly, the height
// discrimination of the element widths, and the reasons a profile is not evaluated.

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <random>
#include <vector>

#include "analysis/gaussian_filter.h"
#include "analysis/profile_slope_spacing.h"
#include "analysis/standard_parameters.h"

namespace corvane {
namespace {

using namespace figure;

std::vector<Point> line(std::size_t n, double dx, double (*z)(double)) {
  std::vector<Point> points(n);
  for (std::size_t i = 0; i < n; ++i) {
    const double x = 2.0 + static_cast<double>(i) * dx;
    points[i] = {x, 0.5, z(x)};
  }
  return points;
}

TEST(StandardParameters, ShortSineGivesTheTextbookFigures) {
  // Amplitude 1, wavelength lc / 10 = 0.08, over 10.5 cut-offs at dx = 0.001: 9 whole sampling
  // lengths.
  const auto points =
      line(8401, 0.001, [](double x) { return std::sin(2 * std::numbers::pi * x / 0.08); });
  StandardWorkspace workspace;
  const ProfileResult result = evaluateProfile(points, 0.8, workspace);
  ASSERT_TRUE(result.ok) << result.reason;
  EXPECT_EQ(result.nr, 9);
  const auto& f = result.figures;
  EXPECT_NEAR(f[Ra], 2 / std::numbers::pi, 0.005);
  EXPECT_NEAR(f[Rq], 1 / std::sqrt(2.0), 0.005);
  EXPECT_NEAR(f[Rsk], 0, 0.01);
  EXPECT_NEAR(f[Rku], 1.5, 0.01);
  EXPECT_NEAR(f[Rp], 1, 0.005);
  EXPECT_NEAR(f[Rv], 1, 0.005);
  EXPECT_NEAR(f[Rz], 2, 0.01);
  EXPECT_NEAR(f[Rt], 2, 0.01);
  EXPECT_NEAR(f[Pq], 1 / std::sqrt(2.0), 0.005);
  // Slope 2 pi A / lambda at its steepest, its root mean square that over sqrt 2; one element
  // per wavelength. A sine's material ratio curve is c(p) = A cos(pi p / 100), flattest at the
  // ends: the secants from 0 and from 60 % drop least, by 2 A sin^2(0.2 pi).
  EXPECT_NEAR(f[Rdq], 2 * std::numbers::pi / (0.08 * std::sqrt(2.0)), 0.05);
  EXPECT_NEAR(f[RSm], 0.08, 1e-5);
  EXPECT_NEAR(f[Rk], 2.5 * 2 * std::pow(std::sin(0.2 * std::numbers::pi), 2), 0.005);
}

TEST(StandardParameters, ElementsCountOnlyWhenTheyPassTheHeightDiscrimination) {
  // Upward crossings at 0.5, 2.5, 4.5 and 6.5; the one at 2.5 rises only 0.05.
  const std::vector<double> x = {0, 1, 2, 3, 4, 5, 6, 7};
  const std::vector<double> r = {-1, 1, -0.05, 0.05, -1, 1, -1, 1};
  EXPECT_DOUBLE_EQ(meanElementWidth(x, r, 0, 8, 0.1), 3);
  EXPECT_DOUBLE_EQ(meanElementWidth(x, r, 0, 8, 0.01), 2);
  EXPECT_TRUE(std::isnan(meanElementWidth(x, r, 0, 2, 0.1)));  // a single crossing
}

TEST(StandardParameters, TiltedPlaneHasNoTexture) {
  // Three scan lines of one tilted plane.
  std::vector<Point> points;
  PointTable table;
  for (int row = 0; row < 3; ++row) {
    for (int i = 0; i < 400; ++i) {
      const double x = i * 0.01, y = row * 0.3;
      points.push_back({x, y, 1.5 + 0.3 * x - 0.2 * y});
    }
  }
  for (std::size_t i = 0; i < points.size(); ++i) table.row(static_cast<int>(i) + 1) = points[i];
  table.setCount(static_cast<int>(points.size()));
  StandardWorkspace workspace;
  const StandardResult result = standardAnalysis(table, 0.8, workspace);
  ASSERT_EQ(result.evaluated, 3);
  for (const ProfileResult& profile : result.profiles) {
    for (const std::size_t f : {Pa, Pq, Pt, Ra, Rq, Rp, Rv, Rz, Rt, Rdq, Rk, Rpk, Rvk}) {
      EXPECT_NEAR(profile.figures[f], 0, 1e-12) << kProfileFigureNames[f];
    }
  }
  for (const std::size_t f :
       {Sa, Sq, Sp, Sv, Sz, Sdq, Sdr, Sk, Spk, Svk, Sxp, Vmp, Vmc, Vvc, Vvv}) {
    EXPECT_NEAR(result.areal[f], 0, 1e-12) << kArealFigureNames[f];
  }
}

TEST(GaussianFilter, PassesHalfAtTheCutoffAndAlmostAllOfLongWaves) {
  const double dx = 0.001, cutoff = 0.8;
  const struct {
    double wavelength;
    double kept;  // of the amplitude, in the mean line at mid-profile
    double tolerance;
  } cases[] = {{cutoff, 0.5, 0.005}, {10 * cutoff, 1.0, 0.01}};
  GaussianFilter filter;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.wavelength);
    // A cosine with a crest at mid-profile, 30 cut-offs long.
    const std::size_t n = 24001, mid = n / 2;
    std::vector<double> p(n), m(n);
    for (std::size_t i = 0; i < n; ++i) {
      const double x = (static_cast<double>(i) - static_cast<double>(mid)) * dx;
      p[i] = std::cos(2 * std::numbers::pi * x / c.wavelength);
    }
    filter.meanLine(p, dx, cutoff, m);
    EXPECT_NEAR(m[mid], c.kept, c.tolerance);
  }
}

TEST(GaussianFilter, FastMeanLineEqualsTheDefinitionAtEveryPoint) {
  std::mt19937_64 random(7);
  std::uniform_real_distribution<double> height(-1.0, 1.0);
  const struct {
    std::size_t n;
    double dx, cutoff;
  } cases[] = {{50, 0.1, 0.8}, {401, 0.1, 0.8}, {333, 0.01, 1.5}, {1000, 0.0125, 8}, {7, 1, 2.5}};
  GaussianFilter filter;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.n);
    std::vector<double> p(c.n), fast(c.n);
    for (double& v : p) v = height(random) + 3;
    filter.meanLine(p, c.dx, c.cutoff, fast);
    // The definition, summed plainly.
    const double alpha = std::sqrt(std::log(2.0) / std::numbers::pi);
    double largest = 0;
    std::vector<double> direct(c.n);
    for (std::size_t i = 0; i < c.n; ++i) {
      double sum = 0, weights = 0;
      for (long k = -static_cast<long>(c.n); k <= static_cast<long>(c.n); ++k) {
        const long j = static_cast<long>(i) + k;
        if (std::abs(static_cast<double>(k)) * c.dx > c.cutoff || j < 0 ||
            j >= static_cast<long>(c.n)) {
          continue;
        }
        const double u = static_cast<double>(k) * c.dx / (alpha * c.cutoff);
        const double w = std::exp(-std::numbers::pi * u * u);
        sum += w * p[static_cast<std::size_t>(j)];
        weights += w;
      }
      direct[i] = sum / weights;
      largest = std::max(largest, std::fabs(direct[i]));
    }
    for (std::size_t i = 0; i < c.n; ++i) {
      ASSERT_NEAR(fast[i], direct[i], 1e-9 * largest) << "point " << i;
    }
  }
}

TEST(StandardParameters, ProfilesThatCannotBeEvaluatedSayWhy) {
  const auto flat = [](double) { return 1.0; };
  std::vector<Point> repeated = line(200, 0.1, flat);
  repeated[100].x = repeated[99].x;  // equal steps but one x written twice
  std::vector<Point> uneven = line(200, 0.1, flat);
  for (std::size_t i = 0; i < uneven.size(); ++i) uneven[i].x += i % 2 == 0 ? 0 : 0.003;
  const struct {
    std::vector<Point> points;
    std::string_view reason;
  } cases[] = {
      {line(2, 0.1, flat), kTooFewPoints},
      {uneven, kUnevenSpacing},
      {repeated, kUnevenSpacing},
      {line(15, 0.1, flat), kShorterThanCutoff},  // 1.4 long: no whole sampling length
      {line(20, 10, flat), kCutoffBelowSpacing},  // 212 sampling lengths, 18 points
      // More sampling lengths than an int counts: once an endless count, now refused at once.
      {line(20, 1e30, flat), kCutoffBelowSpacing},
  };
  StandardWorkspace workspace;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.reason);
    const ProfileResult result = evaluateProfile(c.points, 0.8, workspace);
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(result.reason, c.reason);
    EXPECT_TRUE(std::isnan(result.figures[Ra]));
  }
  // 1.9 long: one whole sampling length, and the profile is evaluated.
  const ProfileResult just = evaluateProfile(line(20, 0.1, flat), 0.8, workspace);
  EXPECT_TRUE(just.ok) << just.reason;
  EXPECT_EQ(just.nr, 1);
}

}  // namespace
}  // namespace corvane
