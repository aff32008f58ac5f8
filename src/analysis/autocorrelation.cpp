#include "analysis/autocorrelation.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <system_error>
#include <thread>

#include "analysis/fftw_plans.h"

namespace corvane {
namespace {

void shape(const Grid& grid, AutocorrelationTable& table) {
  table.maxX = grid.nx / 2;
  table.maxY = grid.ny / 2;
  table.values.assign(table.width() * (2 * table.maxY + 1), 0.0);
}

// Of heights without non-measured points.
double meanSquare(std::span<const double> s) {
  double sum = 0;
  for (const double v : s) sum += v * v;
  return sum / static_cast<double>(s.size());
}

// The number of pairs (i, j), (i + tx, j + ty) inside the grid.
double pairs(const Grid& grid, long tx, long ty) {
  return static_cast<double>(grid.nx - static_cast<std::size_t>(std::labs(tx))) *
         static_cast<double>(grid.ny - static_cast<std::size_t>(std::labs(ty)));
}

}  // namespace

struct AutocorrelationFft::Buffers {
  std::size_t spectrumSize = 0;  // what the buffer holds
  fft::ComplexBuffer spectrum;   // the heights, then their spectrum, then the sums, in place
  // What at() needs to read f from the sums.
  std::size_t nx = 0, ny = 0, columns = 0, stride = 0, bins = 0, rows = 0, inverseRows = 0;
  fft::AreaPlans plans;
  double scale = 0;  // the transform's length times the mean square height
  // With non-measured points: m of the lags ty = 0 .. maxY, tx = -maxX .. maxX, row by row
  // (empty without), and the buffer the mask is correlated in.
  std::vector<std::uint32_t> pairs;
  std::size_t maskSize = 0;
  fft::ComplexBuffer mask;
};

AutocorrelationFft::AutocorrelationFft() : buffers_(std::make_unique<Buffers>()) {}
AutocorrelationFft::~AutocorrelationFft() = default;

// The grid's rows are transformed, then its columns, zero-padded: a lag t reaches back round
// only to positions at least (length - t) away, which lie beyond the data for every lag of the
// table. The power spectrum goes back the same way, but only the rows of lags 0 .. ny / 2 are
// transformed back, as f(tx, -ty) = f(-tx, ty); and the padding rows are never transformed
// forward. That leaves out half the row transforms of a plain two-dimensional FFT.
template <typename Fill>
void AutocorrelationFft::correlate(fftw_complex* spectrum, Fill&& fill) const {
  const Buffers& b = *buffers_;
  const std::size_t nx = b.nx, ny = b.ny, bins = b.bins, rows = b.rows, stride = b.stride;
  double* real = reinterpret_cast<double*>(spectrum);
  for (std::size_t j = 0; j < ny; ++j) {
    double* row = real + j * stride;
    fill(j, row);
    std::fill(row + nx, row + stride, 0.0);
  }
  fftw_execute_dft_r2c(b.plans.rowsForward, real, spectrum);
  std::fill(&spectrum[ny * bins][0], &spectrum[rows * bins][0], 0.0);
  fftw_execute_dft(b.plans.columns, spectrum, spectrum);
  for (std::size_t k = 0; k < rows * bins; ++k) {
    spectrum[k][0] = spectrum[k][0] * spectrum[k][0] + spectrum[k][1] * spectrum[k][1];
    spectrum[k][1] = 0;
  }
  // The inverse transform of the real power spectrum is the conjugate of its forward one, so the
  // columns go back through the same plan; only the rows transformed back need conjugating.
  fftw_execute_dft(b.plans.columns, spectrum, spectrum);
  for (std::size_t k = 0; k < b.inverseRows * bins; ++k) spectrum[k][1] = -spectrum[k][1];
  fftw_execute_dft_c2r(b.plans.rowsInverse, spectrum, real);  // rows * columns times the sums
}

void AutocorrelationFft::compute(std::span<const double> s, const Grid& grid) {
  const std::size_t nx = grid.nx, ny = grid.ny;
  maxX = nx / 2;
  maxY = ny / 2;
  Buffers& b = *buffers_;
  b.rows = fft::transformLength(ny + maxY);
  b.columns = fft::transformLength(nx + maxX);
  b.bins = b.columns / 2 + 1;
  b.inverseRows = maxY + 1;
  b.plans = fft::areaPlans(ny, b.rows, b.columns, b.inverseRows);
  if (b.spectrumSize < b.rows * b.bins) {
    b.spectrum.reset(fftw_alloc_complex(b.rows * b.bins));
    b.spectrumSize = b.rows * b.bins;
  }
  b.nx = nx;
  b.ny = ny;
  b.stride = 2 * b.bins;  // doubles from one real row to the next
  const double transformLength = static_cast<double>(b.rows * b.columns);
  b.pairs.clear();
  if (!hasNonMeasured(s)) {
    correlate(b.spectrum.get(),
              [&](std::size_t j, double* row) { std::copy_n(s.data() + j * nx, nx, row); });
    b.scale = transformLength * meanSquare(s);
    return;
  }
  // m: the mask's autocorrelation, whole numbers to rounding, kept for the table's lags.
  if (b.maskSize < b.rows * b.bins) {
    b.mask.reset(fftw_alloc_complex(b.rows * b.bins));
    b.maskSize = b.rows * b.bins;
  }
  const auto pairsOfMask = [&] {
    correlate(b.mask.get(), [&](std::size_t j, double* row) {
      for (std::size_t i = 0; i < nx; ++i) row[i] = isMeasured(s[j * nx + i]) ? 1.0 : 0.0;
    });
    const std::size_t width = 2 * maxX + 1;
    b.pairs.resize((maxY + 1) * width);
    const double* sums = reinterpret_cast<const double*>(b.mask.get());
    for (std::size_t ty = 0; ty <= maxY; ++ty) {
      for (std::size_t k = 0; k < width; ++k) {
        const long tx = static_cast<long>(k) - static_cast<long>(maxX);
        const std::size_t column =
            static_cast<std::size_t>(tx < 0 ? tx + static_cast<long>(b.columns) : tx);
        b.pairs[ty * width + k] =
            static_cast<std::uint32_t>(std::lround(sums[ty * b.stride + column] / transformLength));
      }
    }
  };
  // The sums of V S beside it, on another thread when one can be had.
  std::thread other;
  try {
    other = std::thread(pairsOfMask);
  } catch (const std::system_error&) {
  }
  double squares = 0;
  std::size_t measured = 0;
  correlate(b.spectrum.get(), [&](std::size_t j, double* row) {
    for (std::size_t i = 0; i < nx; ++i) {
      const double v = s[j * nx + i];
      const bool here = isMeasured(v);
      row[i] = here ? v : 0.0;
      squares += here ? v * v : 0.0;
      measured += here ? 1 : 0;
    }
  });
  if (other.joinable()) {
    other.join();
  } else {
    pairsOfMask();
  }
  b.scale = transformLength * squares / static_cast<double>(measured);
}

double AutocorrelationFft::at(long tx, long ty) const {
  const Buffers& b = *buffers_;
  double pairCount = static_cast<double>(b.nx - static_cast<std::size_t>(std::labs(tx))) *
                     static_cast<double>(b.ny - static_cast<std::size_t>(std::labs(ty)));
  if (ty < 0) tx = -tx, ty = -ty;  // f(tx, -ty) = f(-tx, ty)
  if (!b.pairs.empty()) {
    pairCount = b.pairs[static_cast<std::size_t>(ty) * (2 * maxX + 1) +
                        static_cast<std::size_t>(tx + static_cast<long>(maxX))];
    if (pairCount == 0) return kNonMeasured;
  }
  const std::size_t column =
      static_cast<std::size_t>(tx < 0 ? tx + static_cast<long>(b.columns) : tx);
  const double* sums =
      reinterpret_cast<const double*>(b.spectrum.get()) + static_cast<std::size_t>(ty) * b.stride;
  return sums[column] / b.scale / pairCount;
}

void directAutocorrelation(std::span<const double> s, const Grid& grid,
                           AutocorrelationTable& table) {
  shape(grid, table);
  const long nx = static_cast<long>(grid.nx), ny = static_cast<long>(grid.ny);
  const long mx = static_cast<long>(table.maxX), my = static_cast<long>(table.maxY);
  const bool holes = hasNonMeasured(s);
  double squares = 0, measured = 0;
  for (const double v : s) {
    if (!isMeasured(v)) continue;
    squares += v * v;
    measured += 1;
  }
  const double meanSquareHeight = squares / measured;
  for (long ty = -my; ty <= my; ++ty) {
    for (long tx = -mx; tx <= mx; ++tx) {
      double sum = 0, count = 0;
      for (long j = std::max(0L, -ty); j < std::min(ny, ny - ty); ++j) {
        const double* row = s.data() + j * nx;
        const double* shifted = s.data() + (j + ty) * nx;
        for (long i = std::max(0L, -tx); i < std::min(nx, nx - tx); ++i) {
          if (holes && !(isMeasured(row[i]) && isMeasured(shifted[i + tx]))) continue;
          sum += row[i] * shifted[i + tx];
          count += 1;
        }
      }
      if (!holes) count = pairs(grid, tx, ty);
      table.values[static_cast<std::size_t>((ty + my) * (2 * mx + 1) + tx + mx)] =
          count == 0 ? kNonMeasured : sum / count / meanSquareHeight;
    }
  }
}

namespace {

// The lags' states of the search, row by row from ty = -maxY as in the table.
enum LagState : unsigned char { kUnvisited, kInLobe, kOnBoundary };

// `states`, when given, receives the state of every lag of the table.
template <class Lags>
TextureDirection textureDirectionOf(const Lags& table, const Grid& grid,
                                    std::vector<unsigned char>* states = nullptr) {
  constexpr double kUndefined = std::numeric_limits<double>::quiet_NaN();
  TextureDirection result{kUndefined, kUndefined, true};
  const long mx = static_cast<long>(table.maxX), my = static_cast<long>(table.maxY);
  const std::size_t width = 2 * table.maxX + 1;
  const auto index = [&](long tx, long ty) {
    return static_cast<std::size_t>(ty + my) * width + static_cast<std::size_t>(tx + mx);
  };
  std::vector<unsigned char> state(width * (2 * table.maxY + 1), kUnvisited);
  std::vector<std::pair<long, long>> pending;
  double shortest = std::numeric_limits<double>::infinity(), longest = 0;
  // With every height 0, f is undefined everywhere (0 / 0): there is no lobe. Otherwise f is
  // NaN only where no pair of measured points lies that far apart.
  const auto done = [&] {
    if (states != nullptr) *states = std::move(state);
    return result;
  };
  if (std::isnan(table.at(0, 0))) return done();
  const auto visit = [&](long tx, long ty) {
    if (tx < -mx || tx > mx || ty < -my || ty > my || state[index(tx, ty)] != kUnvisited) return;
    const double f = table.at(tx, ty);
    if (std::isnan(f)) {
      result.unpaired = true;
      state[index(tx, ty)] = kOnBoundary;
      return;
    }
    if (f > kAutocorrelationThreshold) {
      state[index(tx, ty)] = kInLobe;
      pending.emplace_back(tx, ty);
      if (std::labs(tx) == mx || std::labs(ty) == my) result.decays = false;
    } else {
      state[index(tx, ty)] = kOnBoundary;
      const double lx = static_cast<double>(tx) * grid.dx, ly = static_cast<double>(ty) * grid.dy;
      const double length = std::sqrt(lx * lx + ly * ly);
      if (length < shortest) result.shortest = Lag{tx, ty};
      if (length > longest || !result.longest) result.longest = Lag{tx, ty};
      shortest = std::min(shortest, length);
      longest = std::max(longest, length);
    }
  };
  visit(0, 0);
  while (!pending.empty()) {
    const auto [tx, ty] = pending.back();
    pending.pop_back();
    visit(tx + 1, ty);
    visit(tx - 1, ty);
    visit(tx, ty + 1);
    visit(tx, ty - 1);
  }
  if (state[index(0, 0)] != kInLobe || result.unpaired) return done();
  if (longest > 0) result.sal = shortest;
  if (result.decays && longest > 0) result.str = shortest / longest;
  return done();
}

}  // namespace

TextureDirection textureDirection(const AutocorrelationTable& table, const Grid& grid) {
  return textureDirectionOf(table, grid);
}

TextureDirection textureDirection(const AutocorrelationFft& autocorrelation, const Grid& grid) {
  return textureDirectionOf(autocorrelation, grid);
}

std::optional<AutocorrelationMap> autocorrelationMap(const AutocorrelationFft& autocorrelation,
                                                     const Grid& grid) {
  const long mx = static_cast<long>(autocorrelation.maxX);
  const long my = static_cast<long>(autocorrelation.maxY);
  if (std::isnan(autocorrelation.at(0, 0))) return std::nullopt;
  AutocorrelationMap map;
  std::vector<unsigned char> states;
  map.texture = textureDirectionOf(autocorrelation, grid, &states);
  const TextureDirection& texture = map.texture;

  // The window's reach in lags either side of 0.
  long reachX = mx, reachY = my;
  if (texture.decays && !texture.unpaired && texture.longest) {
    const double lx = static_cast<double>(texture.longest->tx) * grid.dx;
    const double ly = static_cast<double>(texture.longest->ty) * grid.dy;
    const double reach = 3 * std::sqrt(lx * lx + ly * ly);
    const auto lagsOf = [](double length, double step, long most) {
      const double lags = std::ceil(length / step);
      return lags < static_cast<double>(most)
                 ? std::max(static_cast<long>(lags), std::min(kMapLeastReach, most))
                 : most;
    };
    reachX = lagsOf(reach, grid.dx, mx);
    reachY = lagsOf(reach, grid.dy, my);
  }
  // At most kMapMostSamples / 2 - 1 samples either side of 0 (an odd number in all).
  constexpr long kMostEitherSide = static_cast<long>(kMapMostSamples / 2) - 1;
  const long leastX = std::max(1L, (reachX + kMostEitherSide - 1) / kMostEitherSide);
  const long leastY = std::max(1L, (reachY + kMostEitherSide - 1) / kMostEitherSide);
  // One step along both where it leaves kMapLeastReach samples either side (or every lag).
  const long step = std::max(leastX, leastY);
  const auto stepOf = [&](long least, long reach) {
    return std::min(step, std::max(least, reach / kMapLeastReach));
  };
  const long stepX = stepOf(leastX, reachX), stepY = stepOf(leastY, reachY);
  map.stepX = static_cast<std::size_t>(stepX);
  map.stepY = static_cast<std::size_t>(stepY);
  map.spacingX = static_cast<double>(stepX) * grid.dx;
  map.spacingY = static_cast<double>(stepY) * grid.dy;
  map.columns = static_cast<std::size_t>(2 * (reachX / stepX) + 1);
  map.rows = static_cast<std::size_t>(2 * (reachY / stepY) + 1);
  map.values.resize(map.columns * map.rows);
  map.lobe.resize(map.columns * map.rows);
  const std::size_t width = 2 * autocorrelation.maxX + 1;
  double largest = 0;
  for (std::size_t row = 0; row < map.rows; ++row) {
    for (std::size_t column = 0; column < map.columns; ++column) {
      const Lag lag = map.lagOf(column, row);
      const double f = autocorrelation.at(lag.tx, lag.ty);
      const std::size_t k = row * map.columns + column;
      map.values[k] = static_cast<float>(f);
      map.lobe[k] = states[static_cast<std::size_t>(lag.ty + my) * width +
                           static_cast<std::size_t>(lag.tx + mx)] == kInLobe;
      if (std::fabs(f) > largest) largest = std::fabs(f);
    }
  }
  map.largest = largest;
  return map;
}

}  // namespace corvane
