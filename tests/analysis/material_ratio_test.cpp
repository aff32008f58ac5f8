// The material ratio curve and the Rk construction against a plain evaluation of their
// definitions, through both ways the curve is made (a full sort for few heights, a selection
// for many), and the radix sort behind the first against the standard sort.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>
#include <vector>

#include "analysis/material_ratio.h"
#include "analysis/radix_sort.h"

namespace corvane {
namespace {

// c(p) as defined: the sorted heights read at (1 - p/100) (n - 1), linearly interpolated.
double plainHeight(const std::vector<double>& sorted, double p) {
  const double position = (1 - p / 100) * static_cast<double>(sorted.size() - 1);
  const auto below = static_cast<std::size_t>(std::floor(position));
  if (below + 1 >= sorted.size()) return sorted.back();
  const double t = position - static_cast<double>(below);
  return sorted[below] + (sorted[below + 1] - sorted[below]) * t;
}

struct PlainRk {
  double rk, rpk, rvk, mr1, mr2;
};

PlainRk plainRk(std::vector<double> h) {
  std::sort(h.begin(), h.end());
  const double n = static_cast<double>(h.size());
  double best = 0, drop = std::numeric_limits<double>::infinity();
  for (int k = 0; k <= 600; ++k) {
    const double p0 = k / 10.0;
    const double d = plainHeight(h, p0) - plainHeight(h, p0 + 40);
    if (d < drop) best = p0, drop = d;
  }
  const double upper = plainHeight(h, best) + drop * best / 40;
  const double lower = plainHeight(h, best) - drop * (100 - best) / 40;
  double above = 0, a1 = 0, notBelow = 0, a2 = 0;
  for (const double v : h) {
    if (v > upper) above += 1, a1 += v - upper;
    if (v > lower) notBelow += 1;
    if (v < lower) a2 += lower - v;
  }
  const double mr1 = 100 * above / n, mr2 = 100 * notBelow / n;
  a1 *= 100 / n;
  a2 *= 100 / n;
  return {upper - lower, mr1 == 0 ? 0 : 2 * a1 / mr1, mr2 == 100 ? 0 : 2 * a2 / (100 - mr2), mr1,
          mr2};
}

TEST(MaterialRatio, CurveAndRkFamilyFollowTheDefinition) {
  std::mt19937_64 random(11);
  std::normal_distribution<double> normal(0, 0.2);
  std::exponential_distribution<double> skewed(5.0);
  const auto heights = [&](std::size_t n, int kind) {
    std::vector<double> h(n);
    for (double& v : h) v = kind == 0 ? normal(random) : -skewed(random);
    if (kind == 2) h[n / 3] = 1e6;  // a spike: one bucket of the selection takes nearly all
    return h;
  };
  const struct {
    std::size_t n;
    int kind;
  } cases[] = {{1, 0}, {2, 0}, {7, 1}, {392, 0}, {5000, 1}, {100000, 0}, {60000, 2}};
  MaterialRatioCurve curve;
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.n << " heights of kind " << c.kind);
    const std::vector<double> h = heights(c.n, c.kind);
    curve.assign(h);
    std::vector<double> sorted = h;
    std::sort(sorted.begin(), sorted.end());
    const double range = sorted.back() - sorted.front() + 1e-300;
    for (std::size_t j = 0; j <= MaterialRatioCurve::kSteps; ++j) {
      ASSERT_NEAR(curve.heightAtTenths(j), plainHeight(sorted, j / 10.0), 1e-14 * range) << j;
    }
    const RkConstruction rk = rkConstruction(curve);
    const PlainRk plain = plainRk(h);
    EXPECT_NEAR(rk.core, plain.rk, 1e-12 * range);
    EXPECT_NEAR(rk.peaks, plain.rpk, 1e-12 * range);
    EXPECT_NEAR(rk.valleys, plain.rvk, 1e-12 * range);
    EXPECT_DOUBLE_EQ(rk.mr1, plain.mr1);
    EXPECT_DOUBLE_EQ(rk.mr2, plain.mr2);
  }
}

TEST(MaterialRatio, EvenlySpreadHeightsHaveAStraightCurve) {
  // A sawtooth's heights fill -1 .. 1 evenly: no peaks or valleys beyond the core.
  std::vector<double> h(100001);
  for (std::size_t i = 0; i < h.size(); ++i) {
    h[i] = -1 + 2.0 * static_cast<double>((i * 7919) % h.size()) / 100000;
  }
  MaterialRatioCurve curve;
  curve.assign(h);
  const RkConstruction rk = rkConstruction(curve);
  EXPECT_NEAR(rk.core, 2, 1e-9);
  EXPECT_NEAR(rk.peaks, 0, 1e-9);
  EXPECT_NEAR(rk.valleys, 0, 1e-9);
  const Volumes v = volumes(curve, 10, 80);
  // Material above c(10) = 0.8: a triangle of 10 % by 0.2; voids below c(80) = -0.6: 20 % by 0.4.
  EXPECT_NEAR(v.peakMaterial, 0.1 * 0.2 / 2, 1e-5);
  EXPECT_NEAR(v.valleyVoid, 0.2 * 0.4 / 2, 1e-5);
}

TEST(RadixSort, SortsAsTheStandardSortDoes) {
  std::mt19937_64 random(5);
  std::uniform_real_distribution<double> uniform(-1, 1);
  const double tiny = std::numeric_limits<double>::denorm_min();
  const double huge = std::numeric_limits<double>::max();
  std::vector<std::vector<double>> cases;
  for (const std::size_t n : {0u, 5u, 63u, 64u, 1000u}) {
    std::vector<double> v(n);
    for (double& x : v) x = uniform(random) * std::pow(10.0, uniform(random) * 30);
    cases.push_back(v);
  }
  cases.push_back({0.0, -0.0, tiny, -tiny, huge, -huge, 1, -1, 0.5, 2, -3, 7});
  cases.back().resize(200, 1.0);  // long runs of one value
  // Heights alike to 20 bits, far above their spread: the fallback past the insertion budget.
  std::vector<double> alike(3000);
  for (double& x : alike) x = 1000 + uniform(random) * 1e-6;
  cases.push_back(alike);
  std::vector<std::uint64_t> scratch;
  for (std::vector<double>& values : cases) {
    std::vector<double> expected = values;
    std::sort(expected.begin(), expected.end());
    radixSort(values, scratch);
    ASSERT_EQ(values.size(), expected.size());
    for (std::size_t i = 0; i < values.size(); ++i) {
      // -0 and +0 compare equal and may come in either order.
      ASSERT_TRUE(values[i] == expected[i]) << i << ": " << values[i] << " " << expected[i];
    }
  }
}

}  // namespace
}  // namespace corvane
