// The filtering chain beyond the line and the Gaussian mean line: the polynomial form, the
// S-filter, the areal L-filter and the robust mean line, each against a plain evaluation of its
// definition or a surface whose answer is known.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <numbers>
#include <random>
#include <vector>

#include "analysis/areal_filter.h"
#include "analysis/polynomial_form.h"
#include "analysis/robust_filter.h"
#include "analysis/standard_parameters.h"

namespace corvane {
namespace {

using namespace figure;
constexpr double kPi = std::numbers::pi;

std::vector<Point> line(std::size_t n, double dx, const std::function<double(double)>& z) {
  std::vector<Point> points(n);
  for (std::size_t i = 0; i < n; ++i) {
    const double x = 1.0 + static_cast<double>(i) * dx;
    points[i] = {x, 0, z(x)};
  }
  return points;
}

TEST(FilterChain, PolynomialFormLeavesWhatTheFormDoesNotHold) {
  // A parabola under a short sine: taking off degree 2 leaves the sine's figures.
  StandardWorkspace workspace;
  StandardSettings settings;
  settings.form = 2;
  const auto sine = [](double x) { return std::sin(2 * kPi * x / 0.08); };
  const ProfileResult bent = evaluateProfile(
      line(8401, 0.001, [&](double x) { return 3 + 0.5 * (x - 4) * (x - 4) + sine(x); }), settings,
      workspace);
  const ProfileResult flat = evaluateProfile(line(8401, 0.001, sine), 0.8, workspace);
  ASSERT_TRUE(bent.ok && flat.ok);
  for (const std::size_t f : {Pq, Ra, Rq, Rz, Rdq}) {
    EXPECT_NEAR(bent.figures[f], flat.figures[f], 2e-3 * flat.figures[f]) << kProfileFigureNames[f];
  }
  // Degree 6 on x in the thousands: a polynomial of that degree is taken off to 1e-9 of it.
  std::vector<double> x(500), z(500), residual(500);
  ProfileBasis basis;
  double largest = 0;
  for (std::size_t i = 0; i < x.size(); ++i) {
    x[i] = 2000 + 0.02 * static_cast<double>(i);
    const double u = x[i] - 2005;
    z[i] = 7 - 3 * u + 0.5 * u * u - 0.2 * std::pow(u, 3) + 0.01 * std::pow(u, 5) +
           1e-3 * std::pow(u, 6);
    largest = std::max(largest, std::fabs(z[i]));
  }
  removePolynomial(x, z, 6, residual, basis);
  for (const double r : residual) ASSERT_NEAR(r, 0, 1e-9 * largest);
  // The areal form on a grid and off it: a cubic surface is taken off whole.
  std::vector<Point> grid, cloud;
  const auto cubic = [](double u, double v) {
    return 2 + u - v + u * v + 0.3 * u * u * v - v * v * v;
  };
  for (int j = 0; j < 20; ++j) {
    for (int i = 0; i < 30; ++i) {
      grid.push_back({1000 + 0.1 * i, 50 + 0.1 * j, cubic(0.1 * i, 0.1 * j)});
      const double u = 0.1 * i + 0.013 * std::sin(7.0 * (i + j)), v = 0.1 * j;
      cloud.push_back({1000 + u, 50 + v, cubic(u, v)});
    }
  }
  std::vector<double> s;
  removeSurfacePolynomial(grid, 3, regularGrid(grid), {}, s);
  for (const double r : s) ASSERT_NEAR(r, 0, 1e-9);
  removeSurfacePolynomial(cloud, 3, std::nullopt, {}, s);
  for (const double r : s) ASSERT_NEAR(r, 0, 1e-9);
}

TEST(FilterChain, TheSFilterHalvesItsOwnWavelengthAndPassesLongerOnes) {
  StandardWorkspace workspace;
  StandardSettings settings;
  settings.lambdaS = 0.0025;
  for (const auto& [wavelength, kept] : {std::pair{0.0025, 0.5}, std::pair{0.025, 1.0}}) {
    SCOPED_TRACE(wavelength);
    const double w = wavelength;
    const ProfileResult r =
        evaluateProfile(line(24001, 0.0001, [w](double x) { return std::sin(2 * kPi * x / w); }),
                        settings, workspace);
    ASSERT_TRUE(r.ok) << r.reason;
    EXPECT_NEAR(r.figures[Pq] * std::sqrt(2.0), kept, 0.01);
  }
}

TEST(FilterChain, TheArealMeanSurfaceIsTheDefinitionsWeightedMean) {
  // A small random grid, edges included, against the two-dimensional sum written out.
  const Grid g{23, 17, 0.1, 0.15};
  std::mt19937_64 random(9);
  std::uniform_real_distribution<double> height(-1, 1);
  std::vector<double> s(g.nx * g.ny), fast(s.size());
  for (double& v : s) v = height(random);
  GaussianFilter filter;
  std::vector<double> column;
  arealMeanSurface(s, g, 0.5, filter, column, fast);
  const double alpha = std::sqrt(std::log(2.0) / kPi);
  for (long j = 0; j < static_cast<long>(g.ny); ++j) {
    for (long i = 0; i < static_cast<long>(g.nx); ++i) {
      double sum = 0, weights = 0;
      for (long b = -20; b <= 20; ++b) {
        for (long a = -20; a <= 20; ++a) {
          const long x = i + a, y = j + b;
          if (std::abs(a) * g.dx > 0.5 + 1e-12 || std::abs(b) * g.dy > 0.5 + 1e-12) continue;
          if (x < 0 || y < 0 || x >= static_cast<long>(g.nx) || y >= static_cast<long>(g.ny))
            continue;
          const double u = a * g.dx / (alpha * 0.5), v = b * g.dy / (alpha * 0.5);
          const double w = std::exp(-kPi * u * u) * std::exp(-kPi * v * v);
          sum += w * s[static_cast<std::size_t>(y * static_cast<long>(g.nx) + x)];
          weights += w;
        }
      }
      ASSERT_NEAR(fast[static_cast<std::size_t>(j * static_cast<long>(g.nx) + i)], sum / weights,
                  1e-9)
          << i << ", " << j;
    }
  }
  // A sine across a grid at the cut-off's wavelength keeps half its amplitude mid-grid.
  const Grid big{401, 41, 0.01, 0.01};
  std::vector<double> wave(big.nx * big.ny), mean(wave.size());
  for (std::size_t k = 0; k < wave.size(); ++k) {
    wave[k] = std::cos(2 * kPi * (static_cast<double>(k % big.nx) - 200) * 0.01 / 0.8);
  }
  arealMeanSurface(wave, big, 0.8, filter, column, mean);
  EXPECT_NEAR(mean[20 * big.nx + 200], 0.5, 0.01);
}

// One pass of the robust mean line written out: at every point the weighted parabola fit over
// the points within the cut-off, summed point by point and solved by Cramer's rule.
std::vector<double> directPass(const std::vector<double>& p, const std::vector<double>& delta,
                               double dx, double cutoff) {
  const double alpha = std::sqrt(std::log(2.0) / kPi);
  const auto det3 = [](double a, double b, double c, double d, double e, double f, double g,
                       double h, double k) {
    return a * (e * k - f * h) - b * (d * k - f * g) + c * (d * h - e * g);
  };
  const auto reach = static_cast<std::size_t>(std::floor(cutoff / dx + 1e-9));
  std::vector<double> line(p.size()), weight(reach + 1);
  for (std::size_t k = 0; k <= reach; ++k) {
    const double u = static_cast<double>(k) * dx / (alpha * cutoff);
    weight[k] = std::exp(-kPi * u * u);
  }
  for (std::size_t i = 0; i < p.size(); ++i) {
    double s[5] = {}, t[3] = {};
    for (std::size_t j = (i > reach ? i - reach : 0); j < std::min(p.size(), i + reach + 1); ++j) {
      const double u = (static_cast<double>(j) - static_cast<double>(i)) * dx;
      const double w = weight[j > i ? j - i : i - j] * delta[j];
      s[0] += w, s[1] += w * u, s[2] += w * u * u, s[3] += w * u * u * u, s[4] += w * u * u * u * u;
      t[0] += w * p[j], t[1] += w * u * p[j], t[2] += w * u * u * p[j];
    }
    line[i] = det3(t[0], s[1], s[2], t[1], s[2], s[3], t[2], s[3], s[4]) /
              det3(s[0], s[1], s[2], s[1], s[2], s[3], s[2], s[3], s[4]);
  }
  return line;
}

TEST(FilterChain, ACutOffFarBeyondTheDataWeighsEveryPointAlike) {
  // Weights beyond the data never meet a point: a cut-off of 1e300 is the plain mean (the
  // least-squares parabola for the robust line), worked out as fast as any other.
  const Grid g{7, 5, 0.1, 0.2};
  std::vector<double> s(g.nx * g.ny), mean(s.size());
  for (std::size_t k = 0; k < s.size(); ++k) s[k] = std::sin(static_cast<double>(k));
  double average = 0;
  for (const double v : s) average += v / static_cast<double>(s.size());
  GaussianFilter filter;
  std::vector<double> column;
  arealMeanSurface(s, g, 1e300, filter, column, mean);
  for (const double v : mean) ASSERT_NEAR(v, average, 1e-12);
  std::vector<double> parabola(40), line(40);
  for (std::size_t i = 0; i < parabola.size(); ++i) {
    parabola[i] = 3 - 0.5 * static_cast<double>(i) + 0.01 * static_cast<double>(i * i);
  }
  RobustFilter robust;
  robust.meanLine(parabola, 0.1, 1e300, line);
  for (std::size_t i = 0; i < line.size(); ++i) ASSERT_NEAR(line[i], parabola[i], 1e-9) << i;
}

TEST(FilterChain, TheRobustMeanLineStaysOnThePlateau) {
  // A plateau of fine texture cut every 0.4 by a valley 0.02 wide and 1 deep.
  const double dx = 0.001;
  std::vector<double> p(8001), robust(p.size()), gaussian(p.size());
  for (std::size_t i = 0; i < p.size(); ++i) {
    const double x = static_cast<double>(i) * dx;
    p[i] = 0.01 * std::sin(2 * kPi * x / 0.05) - (i % 400 < 20 ? 1.0 : 0.0);
  }
  double square = 0;
  for (const double v : p) square += v * v;
  const double rq = std::sqrt(square / static_cast<double>(p.size()));
  RobustFilter filter;
  EXPECT_LT(filter.meanLine(p, dx, 0.8, robust), 50);
  GaussianFilter gauss;
  gauss.meanLine(p, dx, 0.8, gaussian);
  // Mid-profile, between two valleys: the robust line on the plateau, the Gaussian one pulled
  // down by about the valleys' share of the profile.
  EXPECT_NEAR(robust[4200], 0, 0.02 * rq);
  EXPECT_LT(gaussian[4200], -0.04);

  // The first pass is the weighted parabola fit at every point.
  std::vector<double> once(p.size());
  RobustFilter{}.meanLine(p, dx, 0.8, once, 1);
  const std::vector<double> fit = directPass(p, std::vector<double>(p.size(), 1.0), dx, 0.8);
  for (std::size_t i = 0; i < p.size(); ++i) ASSERT_NEAR(once[i], fit[i], 1e-9) << i;

  // Pure noise settles within 15 passes; a straight line at once.
  std::mt19937_64 random(4);
  std::normal_distribution<double> noise(0, 1);
  for (double& v : p) v = noise(random);
  EXPECT_LE(filter.meanLine(p, dx, 0.8, robust), 15);
  for (std::size_t i = 0; i < p.size(); ++i) p[i] = 0.3 * static_cast<double>(i) * dx;
  EXPECT_LE(filter.meanLine(p, dx, 0.8, robust), 2);
  for (std::size_t i = 0; i < p.size(); i += 101) EXPECT_NEAR(robust[i], p[i], 1e-9);
}

TEST(FilterChain, TheRobustPassesFollowTheirDefinitionToTheEnd) {
  // Every pass written out, the weights from the median of |r| found by sorting, the stop by
  // the change against Rq, on a profile long enough for the passes' two threads.
  const double dx = 0.001, cutoff = 0.05;
  std::vector<double> p(16400);
  std::mt19937_64 random(11);
  std::normal_distribution<double> noise(0, 0.02);
  for (std::size_t i = 0; i < p.size(); ++i) {
    p[i] = std::sin(static_cast<double>(i) * 0.003) + noise(random) - (i % 700 < 9 ? 0.5 : 0.0);
  }
  std::vector<double> delta(p.size(), 1.0), line = directPass(p, delta, dx, cutoff), r(p.size());
  int passes = 1;
  for (double rq = 0;; ++passes) {
    for (std::size_t i = 0; i < p.size(); ++i) r[i] = std::fabs(p[i] - line[i]);
    std::vector<double> sorted = r;
    std::sort(sorted.begin(), sorted.end());
    const double c = 4.4478 * (sorted[p.size() / 2 - 1] + sorted[p.size() / 2]) / 2;
    double square = 0;
    for (std::size_t i = 0; i < p.size(); ++i) {
      const double q = r[i] / c;
      delta[i] = q < 1 ? (1 - q * q) * (1 - q * q) : 0;
      square += r[i] * r[i];
    }
    rq = std::sqrt(square / static_cast<double>(p.size()));
    const std::vector<double> next = directPass(p, delta, dx, cutoff);
    double change = 0;
    for (std::size_t i = 0; i < p.size(); ++i)
      change = std::max(change, std::fabs(next[i] - line[i]));
    line = next;
    if (change <= 1e-4 * rq || passes + 1 == 50) {
      ++passes;
      break;
    }
  }
  std::vector<double> fast(p.size());
  EXPECT_EQ(RobustFilter{}.meanLine(p, dx, cutoff, fast), passes);
  for (std::size_t i = 0; i < p.size(); ++i) ASSERT_NEAR(fast[i], line[i], 1e-9) << i;
}

}  // namespace
}  // namespace corvane
