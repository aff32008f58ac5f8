// The autocorrelation map drawn beside Sal and Str: its samples against a plain per-lag sum of
// the analysis's S, its lobe and the boundary lags of Sal and Str against a plain search, and
// the sampling of a table too large to keep whole.

#include <gtest/gtest.h>

#include <cmath>
#include <deque>
#include <functional>
#include <numbers>
#include <set>
#include <utility>
#include <vector>

#include "analysis/surface_curves.h"

namespace corvane {
namespace {

using namespace figure;

void fillGrid(PointTable& table, std::size_t nx, std::size_t ny, double dx, double dy,
              const std::function<double(std::size_t, std::size_t)>& z) {
  int row = 0;
  for (std::size_t j = 0; j < ny; ++j) {
    for (std::size_t i = 0; i < nx; ++i) {
      table.row(++row) = {static_cast<double>(i) * dx, 2 + static_cast<double>(j) * dy, z(i, j)};
    }
  }
  table.setCount(row);
}

// f of S by its definition: the mean product over the pairs of measured points tx, ty apart,
// over the mean square of the measured S; NaN without a pair.
struct PlainAutocorrelation {
  const std::vector<double>& s;
  long nx, ny;
  double meanSquare = 0;

  PlainAutocorrelation(const std::vector<double>& heights, const Grid& g)
      : s(heights), nx(static_cast<long>(g.nx)), ny(static_cast<long>(g.ny)) {
    double count = 0;
    for (const double v : s) {
      if (std::isnan(v)) continue;
      meanSquare += v * v;
      count += 1;
    }
    meanSquare /= count;
  }

  double operator()(long tx, long ty) const {
    double sum = 0;
    int pairs = 0;
    for (long j = 0; j < ny; ++j) {
      for (long i = 0; i < nx; ++i) {
        if (i + tx < 0 || i + tx >= nx || j + ty < 0 || j + ty >= ny) continue;
        const double a = s[static_cast<std::size_t>(j * nx + i)];
        const double b = s[static_cast<std::size_t>((j + ty) * nx + i + tx)];
        if (std::isnan(a) || std::isnan(b)) continue;
        sum += a * b;
        ++pairs;
      }
    }
    return pairs == 0 ? std::nan("") : sum / pairs / meanSquare;
  }
};

double lengthOf(const Lag& lag, const Grid& g) {
  return std::hypot(static_cast<double>(lag.tx) * g.dx, static_cast<double>(lag.ty) * g.dy);
}

TEST(AutocorrelationMap, SamplesLobeAndDecayLagsFollowAPlainSearch) {
  // A texture finer along x than along y, dx and dy unequal, with a few points not measured.
  const Grid g{46, 34, 0.01, 0.015};
  PointTable table;
  fillGrid(table, g.nx, g.ny, g.dx, g.dy, [](std::size_t i, std::size_t j) {
    if (i >= 20 && i < 23 && j == 9) return std::nan("");
    const double x = static_cast<double>(i), y = static_cast<double>(j);
    return std::sin(2 * std::numbers::pi * x / 9) * std::cos(2 * std::numbers::pi * y / 15) +
           0.4 * std::sin(0.9 * x + 2.1 * y) + 0.2 * std::cos(1.7 * x - 0.6 * y);
  });
  StandardWorkspace workspace;
  const StandardResult result = standardAnalysis(table, 0.08, workspace);
  ASSERT_TRUE(result.grid);
  const SurfaceCurves curves = surfaceCurves(table, result, workspace);
  ASSERT_TRUE(curves.autocorrelation);
  const AutocorrelationMap& map = *curves.autocorrelation;
  const Grid& grid = *result.grid;  // dx and dy as the points give them

  // The lobe and its boundary by a breadth-first search over the plain f of the whole table.
  const PlainAutocorrelation plain(workspace.residual, g);
  const long mx = static_cast<long>(g.nx / 2), my = static_cast<long>(g.ny / 2);
  std::set<std::pair<long, long>> lobe{{0, 0}}, boundary;
  std::deque<std::pair<long, long>> queue{{0, 0}};
  double shortest = INFINITY, longest = 0;
  while (!queue.empty()) {
    const auto [tx, ty] = queue.front();
    queue.pop_front();
    for (const auto& [x, y] : {std::pair{tx + 1, ty}, {tx - 1, ty}, {tx, ty + 1}, {tx, ty - 1}}) {
      if (std::labs(x) > mx || std::labs(y) > my || lobe.count({x, y}) != 0) continue;
      if (plain(x, y) > 0.2) {
        lobe.insert({x, y});
        queue.push_back({x, y});
      } else if (boundary.insert({x, y}).second) {
        shortest = std::min(shortest, lengthOf({x, y}, grid));
        longest = std::max(longest, lengthOf({x, y}, grid));
      }
    }
  }
  for (const auto& [tx, ty] : lobe) ASSERT_TRUE(std::labs(tx) < mx && std::labs(ty) < my);

  // The figures are the search's, bit for bit; the lags give them.
  const TextureDirection& texture = map.texture;
  EXPECT_EQ(texture.sal, result.areal[Sal]);
  EXPECT_EQ(texture.str, result.areal[Str]);
  EXPECT_TRUE(texture.decays);
  EXPECT_FALSE(texture.unpaired);
  EXPECT_NEAR(result.areal[Sal], shortest, 1e-12);
  EXPECT_NEAR(result.areal[Str], shortest / longest, 1e-12);
  ASSERT_TRUE(texture.shortest && texture.longest);
  EXPECT_EQ(boundary.count({texture.shortest->tx, texture.shortest->ty}), 1u);
  EXPECT_EQ(boundary.count({texture.longest->tx, texture.longest->ty}), 1u);
  EXPECT_NEAR(lengthOf(*texture.shortest, grid), shortest, 1e-12);
  EXPECT_NEAR(lengthOf(*texture.longest, grid), longest, 1e-12);

  // Every lag 3 times the longest length each way, within the table, one sample a lag here.
  EXPECT_EQ(map.stepX, 1u);
  EXPECT_EQ(map.stepY, 1u);
  EXPECT_EQ(map.spacingX, grid.dx);
  EXPECT_EQ(map.spacingY, grid.dy);
  const auto reach = [&](double step, long most) {
    return std::min(most,
                    std::max(kMapLeastReach, static_cast<long>(std::ceil(3 * longest / step))));
  };
  EXPECT_EQ(map.reachX(), reach(grid.dx, mx));
  EXPECT_EQ(map.reachY(), reach(grid.dy, my));
  ASSERT_EQ(map.values.size(), map.columns * map.rows);
  ASSERT_EQ(map.lobe.size(), map.values.size());
  double largest = 0;
  for (std::size_t row = 0; row < map.rows; ++row) {
    for (std::size_t column = 0; column < map.columns; ++column) {
      const Lag lag = map.lagOf(column, row);
      const double f = plain(lag.tx, lag.ty);
      const std::size_t k = row * map.columns + column;
      ASSERT_NEAR(map.values[k], f, 1e-6) << lag.tx << ", " << lag.ty;
      EXPECT_EQ(map.lobe[k], lobe.count({lag.tx, lag.ty}) == 1) << lag.tx << ", " << lag.ty;
      largest = std::max(largest, std::fabs(f));
    }
  }
  EXPECT_NEAR(map.largest, largest, 1e-9);
}

TEST(AutocorrelationMap, ALargeTableIsSampledEveryKthLagAlike) {
  // Grooves along y, 40 steps apart along x: f never decays along y, so the map is the whole
  // table, 351 x 21 lags taken every second one along both.
  const Grid g{700, 40, 0.001, 0.001};
  PointTable table;
  fillGrid(table, g.nx, g.ny, g.dx, g.dy, [](std::size_t i, std::size_t) {
    return std::sin(2 * std::numbers::pi * static_cast<double>(i) / 40);
  });
  StandardWorkspace workspace;
  const StandardResult result = standardAnalysis(table, 0.08, workspace);
  const SurfaceCurves curves = surfaceCurves(table, result, workspace);
  ASSERT_TRUE(curves.autocorrelation);
  const AutocorrelationMap& map = *curves.autocorrelation;
  EXPECT_FALSE(map.texture.decays);
  EXPECT_TRUE(std::isnan(map.texture.str));
  EXPECT_EQ(map.texture.sal, result.areal[Sal]);
  EXPECT_EQ(map.stepX, 2u);
  EXPECT_EQ(map.stepY, 2u);
  EXPECT_EQ(map.spacingX, 2 * result.grid->dx);
  EXPECT_EQ(map.columns, 351u);
  EXPECT_EQ(map.rows, 21u);

  // f depends on tx alone; the lobe is the lags whose whole way along x from 0 stays above 0.2.
  const PlainAutocorrelation plain(workspace.residual, g);
  std::vector<double> alongX(g.nx / 2 + 1);
  for (std::size_t t = 0; t < alongX.size(); ++t) alongX[t] = plain(static_cast<long>(t), 0);
  for (std::size_t row = 0; row < map.rows; row += 4) {
    for (std::size_t column = 0; column < map.columns; ++column) {
      const Lag lag = map.lagOf(column, row);
      const std::size_t k = row * map.columns + column,
                        reach = static_cast<std::size_t>(std::labs(lag.tx));
      if (column % 10 == 0) {
        ASSERT_NEAR(map.values[k], plain(lag.tx, lag.ty), 1e-6) << lag.tx << ", " << lag.ty;
      }
      bool inLobe = true;
      for (std::size_t t = 0; t <= reach; ++t) inLobe = inLobe && alongX[t] > 0.2;
      EXPECT_EQ(map.lobe[k], inLobe) << lag.tx << ", " << lag.ty;
    }
  }
}

TEST(AutocorrelationMap, NoneOffAGridOrOnAFlatSurface) {
  PointTable table;
  StandardWorkspace workspace;
  fillGrid(table, 30, 12, 0.01, 0.01,
           [](std::size_t i, std::size_t j) { return std::sin(0.5 * static_cast<double>(i * j)); });
  table.setCount(table.count() - 1);  // the last line a point short
  StandardResult result = standardAnalysis(table, 0.08, workspace);
  EXPECT_FALSE(surfaceCurves(table, result, workspace).autocorrelation);
  fillGrid(table, 30, 12, 0.01, 0.01, [](std::size_t, std::size_t) { return 1.0; });
  result = standardAnalysis(table, 0.08, workspace);
  ASSERT_TRUE(result.grid);
  EXPECT_FALSE(surfaceCurves(table, result, workspace).autocorrelation);
}

}  // namespace
}  // namespace corvane
