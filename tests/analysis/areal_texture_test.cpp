// The areal figures that need a regular grid: when points form one, the gradient and area
// figures and the autocorrelation against plain evaluations of their definitions, and the
// texture's direction on surfaces whose answer is known.

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <numbers>
#include <random>
#include <vector>

#include "analysis/areal_grid.h"
#include "analysis/autocorrelation.h"
#include "analysis/standard_parameters.h"

namespace corvane {
namespace {

using namespace figure;

// nx points on each of ny scan lines, x rising along a line and y stepping once per line.
void fillGrid(PointTable& table, std::size_t nx, std::size_t ny, double dx, double dy,
              const std::function<double(std::size_t, std::size_t)>& z) {
  int row = 0;
  for (std::size_t j = 0; j < ny; ++j) {
    for (std::size_t i = 0; i < nx; ++i) {
      table.row(++row) = {3 + static_cast<double>(i) * dx, 1 + static_cast<double>(j) * dy,
                          z(i, j)};
    }
  }
  table.setCount(row);
}

std::vector<double> randomHeights(std::size_t n, unsigned seed) {
  std::mt19937_64 random(seed);
  std::uniform_real_distribution<double> uniform(-1, 1);
  std::vector<double> s(n);
  for (double& v : s) v = uniform(random);
  return s;
}

TEST(ArealGrid, TellsAGridFromPointsThatAreNot) {
  const auto flat = [](std::size_t, std::size_t) { return 0.0; };
  const struct {
    const char* what;
    double dy;
    int change;  // 0 none, 1 drop the last point, 2 move one x by 2 % of dx
    std::size_t ny;
    bool grid;
  } cases[] = {{"regular", 0.2, 0, 5, true},
               {"y falling", -0.2, 0, 5, true},
               {"one profile shorter", 0.2, 1, 5, false},
               {"an x off by 2 %", 0.2, 2, 5, false},
               {"two profiles", 0.2, 0, 2, false}};
  PointTable table;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    fillGrid(table, 7, c.ny, 0.1, c.dy, flat);
    if (c.change == 1) table.setCount(table.count() - 1);
    if (c.change == 2) table.row(10).x += 0.002;
    const auto grid = regularGrid({&table.row(1), static_cast<std::size_t>(table.count())});
    ASSERT_EQ(grid.has_value(), c.grid);
    if (grid) {
      EXPECT_EQ(grid->nx, 7u);
      EXPECT_EQ(grid->ny, c.ny);
      EXPECT_NEAR(grid->dx, 0.1, 1e-12);
      EXPECT_NEAR(grid->dy, 0.2, 1e-12);
    }
  }
}

TEST(ArealGrid, GradientAndAreaFollowTheDefinition) {
  const Grid g{9, 6, 0.5, 0.25};
  const std::vector<double> s = randomHeights(g.nx * g.ny, 3);
  const auto at = [&](std::size_t i, std::size_t j) { return s[j * g.nx + i]; };
  // Central differences inside, one-sided at the edges.
  const auto derivative = [](double lo, double hi, std::size_t span, double h) {
    return (hi - lo) / (static_cast<double>(span) * h);
  };
  double sum = 0;
  for (std::size_t j = 0; j < g.ny; ++j) {
    for (std::size_t i = 0; i < g.nx; ++i) {
      const std::size_t i0 = i == 0 ? 0 : i - 1, i1 = i + 1 == g.nx ? i : i + 1;
      const std::size_t j0 = j == 0 ? 0 : j - 1, j1 = j + 1 == g.ny ? j : j + 1;
      const double gx = derivative(at(i0, j), at(i1, j), i1 - i0, g.dx);
      const double gy = derivative(at(i, j0), at(i, j1), j1 - j0, g.dy);
      sum += gx * gx + gy * gy;
    }
  }
  EXPECT_NEAR(rootMeanSquareGradient(s, g), std::sqrt(sum / 54), 1e-12);
  double area = 0;
  for (std::size_t j = 0; j + 1 < g.ny; ++j) {
    for (std::size_t i = 0; i + 1 < g.nx; ++i) {
      const double gx =
          ((at(i + 1, j) - at(i, j)) + (at(i + 1, j + 1) - at(i, j + 1))) / (2 * g.dx);
      const double gy =
          ((at(i, j + 1) - at(i, j)) + (at(i + 1, j + 1) - at(i + 1, j))) / (2 * g.dy);
      area += g.dx * g.dy * std::sqrt(1 + gx * gx + gy * gy);
    }
  }
  EXPECT_NEAR(developedAreaRatio(s, g), 100 * (area / (8 * 5 * g.dx * g.dy) - 1), 1e-10);
}

TEST(Autocorrelation, FftEqualsThePerLagSum) {
  AutocorrelationFft fft;
  for (const Grid g : {Grid{13, 9, 0.1, 0.3}, Grid{20, 31, 1, 1}, Grid{3, 3, 1, 2}}) {
    SCOPED_TRACE(testing::Message() << g.nx << " x " << g.ny);
    const std::vector<double> s = randomHeights(g.nx * g.ny, static_cast<unsigned>(g.nx));
    fft.compute(s, g);
    ASSERT_EQ(fft.maxX, g.nx / 2);
    ASSERT_EQ(fft.maxY, g.ny / 2);
    double meanSquare = 0;
    for (const double v : s) meanSquare += v * v / static_cast<double>(s.size());
    const long nx = static_cast<long>(g.nx), ny = static_cast<long>(g.ny);
    for (long ty = -ny / 2; ty <= ny / 2; ++ty) {
      for (long tx = -nx / 2; tx <= nx / 2; ++tx) {
        double sum = 0;
        int pairs = 0;
        for (long j = 0; j < ny; ++j) {
          for (long i = 0; i < nx; ++i) {
            if (i + tx < 0 || i + tx >= nx || j + ty < 0 || j + ty >= ny) continue;
            sum += s[static_cast<std::size_t>(j * nx + i)] *
                   s[static_cast<std::size_t>((j + ty) * nx + i + tx)];
            ++pairs;
          }
        }
        ASSERT_NEAR(fft.at(tx, ty), sum / pairs / meanSquare, 1e-9) << tx << ", " << ty;
      }
    }
  }
}

// White noise smoothed by a Gaussian of sx grid steps along x and sy along y.
std::vector<double> smoothedNoise(std::size_t n, double sx, double sy, unsigned seed) {
  const std::vector<double> noise = randomHeights(n * n, seed);
  const auto smooth = [n](const std::vector<double>& in, double sigma, bool alongX) {
    std::vector<double> out(n * n, 0.0);
    const long reach = static_cast<long>(std::ceil(3 * sigma));
    for (std::size_t j = 0; j < n; ++j) {
      for (std::size_t i = 0; i < n; ++i) {
        for (long k = -reach; k <= reach; ++k) {
          const long a = static_cast<long>(alongX ? i : j) + k;
          if (a < 0 || a >= static_cast<long>(n)) continue;
          const std::size_t from =
              alongX ? j * n + static_cast<std::size_t>(a) : static_cast<std::size_t>(a) * n + i;
          out[j * n + i] +=
              std::exp(-0.5 * static_cast<double>(k * k) / (sigma * sigma)) * in[from];
        }
      }
    }
    return out;
  };
  return smooth(smooth(noise, sx, true), sy, false);
}

TEST(TextureDirection, LongFeaturesHaveADirectionAndRoundOnesNone) {
  PointTable table;
  StandardWorkspace workspace;
  const auto analyse = [&](const std::vector<double>& s, std::size_t n) {
    fillGrid(table, n, n, 0.01, 0.01, [&](std::size_t i, std::size_t j) { return s[j * n + i]; });
    return standardAnalysis(table, 0.08, workspace);
  };
  const std::size_t n = 96;
  const StandardResult round = analyse(smoothedNoise(n, 2, 2, 1), n);
  const StandardResult stretched = analyse(smoothedNoise(n, 1, 6, 2), n);
  ASSERT_TRUE(round.grid && stretched.grid);
  EXPECT_GT(round.areal[Str], 0.7);
  EXPECT_LT(stretched.areal[Str], 0.4);
  // The shortest decay is across the features: about 2.5 sigma.
  EXPECT_NEAR(stretched.areal[Sal], 0.025, 0.011);
  EXPECT_TRUE(stretched.arealReasons.empty());

  // Endless parallel grooves of wavelength 20 steps: the autocorrelation never decays along
  // them, so there is no texture ratio; across them it first falls to 0.2 or below at 5 steps.
  const StandardResult grooves = analyse(
      [n] {
        std::vector<double> s(n * n);
        for (std::size_t k = 0; k < s.size(); ++k) {
          s[k] = std::sin(2 * std::numbers::pi * static_cast<double>(k % n) / 20);
        }
        return s;
      }(),
      n);
  EXPECT_TRUE(std::isnan(grooves.areal[Str]));
  EXPECT_NEAR(grooves.areal[Sal], 0.05, 1e-12);
  EXPECT_EQ(grooves.arealReasons, std::vector<std::string>{std::string(kNoDecay)});
}

TEST(ArealFigures, PointsOffAGridKeepAllButTheGridFigures) {
  PointTable table;
  fillGrid(table, 40, 6, 0.1, 0.1, [](std::size_t i, std::size_t j) {
    return std::sin(static_cast<double>(i)) * std::cos(static_cast<double>(3 * j));
  });
  table.setCount(table.count() - 1);  // the last profile one point short
  StandardWorkspace workspace;
  const StandardResult result = standardAnalysis(table, 0.8, workspace);
  EXPECT_FALSE(result.grid.has_value());
  for (const auto f : {Sdq, Sdr, Sal, Str}) EXPECT_TRUE(std::isnan(result.areal[f])) << f;
  for (const auto f : {Sa, Sk, Spk, Svk, Smr1, Smr2, Sxp, Vmp, Vmc, Vvc, Vvv}) {
    EXPECT_TRUE(std::isfinite(result.areal[f])) << kArealFigureNames[f];
  }
  EXPECT_EQ(result.arealReasons, std::vector<std::string>{std::string(kNotARegularGrid)});
}

}  // namespace
}  // namespace corvane
