// The curves behind the report's figures: the averaged spectrum against its defining sum and a
// plain Hann-windowed periodogram, the histogram's Freedman-Diaconis bins, and the height map of
// a surface that varies along x only.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <vector>

#include "analysis/surface_curves.h"

namespace corvane {
namespace {

void fill(PointTable& table, const std::vector<Point>& points) {
  for (std::size_t i = 0; i < points.size(); ++i) table.row(static_cast<int>(i) + 1) = points[i];
  table.setCount(static_cast<int>(points.size()));
}

TEST(SurfaceCurves, SpectrumAveragesTheProfilesOfTheCommonLength) {
  // Five profiles of 256 points and two of 100; a sine of 8 cycles per 256 points plus a
  // little of everything else.
  const double dx = 0.01;
  std::vector<Point> points;
  std::vector<std::vector<double>> heights;
  for (int line = 0; line < 7; ++line) {
    const int n = line < 5 ? 256 : 100;
    std::vector<double> z(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i) {
      const double x = i * dx;
      z[static_cast<std::size_t>(i)] =
          std::sin(2 * std::numbers::pi * x / 0.32) + 0.05 * std::cos(7.3 * i + line) + 0.3 * x;
      points.push_back({x, line * 0.5, z[static_cast<std::size_t>(i)]});
    }
    if (n == 256) heights.push_back(z);
  }
  PointTable table;
  fill(table, points);
  StandardWorkspace workspace;
  const StandardResult result = standardAnalysis(table, 0.25, workspace);
  ASSERT_EQ(result.evaluated, 7);
  const SurfaceCurves curves = surfaceCurves(table, result, workspace);
  ASSERT_TRUE(curves.spectrum.has_value());
  const Spectrum& s = *curves.spectrum;
  EXPECT_EQ(s.length, 256u);
  EXPECT_EQ(s.profiles, 5);
  ASSERT_EQ(s.density.size(), 129u);

  // mean((w P)^2) / mean(w^2) of each profile, P its heights less their least-squares line.
  double expected = 0;
  for (const std::vector<double>& z : heights) {
    const double n = 256;
    double mx = 0, mz = 0;
    for (std::size_t i = 0; i < 256; ++i) mx += static_cast<double>(i) * dx / n, mz += z[i] / n;
    double sxx = 0, sxz = 0;
    for (std::size_t i = 0; i < 256; ++i) {
      sxx += (static_cast<double>(i) * dx - mx) * (static_cast<double>(i) * dx - mx);
      sxz += (static_cast<double>(i) * dx - mx) * (z[i] - mz);
    }
    double wp = 0, ww = 0;
    for (std::size_t i = 0; i < 256; ++i) {
      const double p = z[i] - mz - sxz / sxx * (static_cast<double>(i) * dx - mx);
      const double w = 0.5 - 0.5 * std::cos(2 * std::numbers::pi * static_cast<double>(i) / 255);
      wp += w * p * w * p;
      ww += w * w;
    }
    expected += wp / ww / 5;
  }
  double sum = 0;
  for (const double d : s.density) sum += d;
  EXPECT_NEAR(sum * (s.frequency[1] - s.frequency[0]), expected, 1e-9 * expected);
  EXPECT_NEAR(s.frequency[8], 1 / 0.32, 1e-9);
  EXPECT_EQ(std::max_element(s.density.begin(), s.density.end()) - s.density.begin(), 8);
}

TEST(SurfaceCurves, HistogramBinsFollowTheFreedmanDiaconisRule) {
  // 1000 heights evenly over 0 .. 1: IQR 0.5, width 2 * 0.5 / 10 = 0.1, ten bins of 100.
  std::vector<double> s(1000);
  for (std::size_t i = 0; i < s.size(); ++i) s[i] = static_cast<double>(i) / 999;
  MaterialRatioCurve curve;
  curve.assign(s);
  const Histogram h = heightHistogram(s, curve);
  ASSERT_EQ(h.counts.size(), 10u);
  for (const std::size_t count : h.counts) EXPECT_EQ(count, 100u);
  EXPECT_DOUBLE_EQ(h.start, 0);
  EXPECT_DOUBLE_EQ(h.width, 0.1);
  // All heights alike: one bin; a few far out of an otherwise equal set: at most 200.
  const std::vector<double> flat(50, 2.0);
  curve.assign(flat);
  EXPECT_EQ(heightHistogram(flat, curve).counts.size(), 1u);
  std::vector<double> spikes(10000, 0.0);
  spikes[5] = 1e6;
  curve.assign(spikes);
  EXPECT_EQ(heightHistogram(spikes, curve).counts.size(), 100u);  // sqrt(N), the IQR being 0
}

TEST(SurfaceCurves, HeightMapOfAGridFollowsX) {
  // Heights rising as x^2 on a grid whose y falls from line to line: S, the height above the
  // plane, varies along x only, and row 0 is the lowest y.
  std::vector<Point> points;
  for (int j = 0; j < 5; ++j) {
    for (int i = 0; i < 9; ++i) points.push_back({i * 0.5, 10.0 - j, (i * 0.5) * (i * 0.5)});
  }
  PointTable table;
  fill(table, points);
  StandardWorkspace workspace;
  const StandardResult result = standardAnalysis(table, 0.8, workspace);
  const HeightMap map = surfaceCurves(table, result, workspace).heightMap;
  ASSERT_TRUE(map.grid);
  ASSERT_EQ(map.columns, 9u);
  ASSERT_EQ(map.rows, 5u);
  for (std::size_t row = 1; row < map.rows; ++row) {
    for (std::size_t column = 0; column < map.columns; ++column) {
      EXPECT_EQ(map.levels[row * 9 + column], map.levels[column]) << row << ", " << column;
    }
  }
  // A parabola less its line: highest at both ends, lowest in the middle.
  EXPECT_EQ(map.levels[0], 255);
  EXPECT_EQ(map.levels[4], 0);
  EXPECT_DOUBLE_EQ(map.left, -0.25);
  EXPECT_DOUBLE_EQ(map.right, 4.25);
  EXPECT_DOUBLE_EQ(map.bottom, 5.5);
  EXPECT_DOUBLE_EQ(map.top, 10.5);
}

}  // namespace
}  // namespace corvane
