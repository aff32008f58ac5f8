#include "analysis/autocorrelation.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "analysis/fftw_plans.h"

namespace corvane {
namespace {

void shape(const Grid& grid, AutocorrelationTable& table) {
  table.maxX = grid.nx / 2;
  table.maxY = grid.ny / 2;
  table.values.assign(table.width() * (2 * table.maxY + 1), 0.0);
}

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
  std::size_t nx = 0, ny = 0, columns = 0, stride = 0;
  double scale = 0;  // the transform's length times the mean square height
};

AutocorrelationFft::AutocorrelationFft() : buffers_(std::make_unique<Buffers>()) {}
AutocorrelationFft::~AutocorrelationFft() = default;

// The grid's rows are transformed, then its columns, zero-padded: a lag t reaches back round
// only to positions at least (length - t) away, which lie beyond the data for every lag of the
// table. The power spectrum goes back the same way, but only the rows of lags 0 .. ny / 2 are
// transformed back, as f(tx, -ty) = f(-tx, ty); and the padding rows are never transformed
// forward. That leaves out half the row transforms of a plain two-dimensional FFT.
void AutocorrelationFft::compute(std::span<const double> s, const Grid& grid) {
  const std::size_t nx = grid.nx, ny = grid.ny;
  maxX = nx / 2;
  maxY = ny / 2;
  const std::size_t rows = fft::transformLength(ny + maxY);
  const std::size_t columns = fft::transformLength(nx + maxX);
  const std::size_t bins = columns / 2 + 1;
  const std::size_t inverseRows = maxY + 1;
  const fft::AreaPlans plans = fft::areaPlans(ny, rows, columns, inverseRows);
  Buffers& b = *buffers_;
  if (b.spectrumSize < rows * bins) {
    b.spectrum.reset(fftw_alloc_complex(rows * bins));
    b.spectrumSize = rows * bins;
  }
  fftw_complex* spectrum = b.spectrum.get();
  double* real = reinterpret_cast<double*>(spectrum);
  const std::size_t stride = 2 * bins;  // doubles from one real row to the next
  for (std::size_t j = 0; j < ny; ++j) {
    double* row = real + j * stride;
    std::copy_n(s.data() + j * nx, nx, row);
    std::fill(row + nx, row + stride, 0.0);
  }
  fftw_execute_dft_r2c(plans.rowsForward, real, spectrum);
  std::fill(&spectrum[ny * bins][0], &spectrum[rows * bins][0], 0.0);
  fftw_execute_dft(plans.columns, spectrum, spectrum);
  for (std::size_t k = 0; k < rows * bins; ++k) {
    spectrum[k][0] = spectrum[k][0] * spectrum[k][0] + spectrum[k][1] * spectrum[k][1];
    spectrum[k][1] = 0;
  }
  // The inverse transform of the real power spectrum is the conjugate of its forward one, so the
  // columns go back through the same plan; only the rows transformed back need conjugating.
  fftw_execute_dft(plans.columns, spectrum, spectrum);
  for (std::size_t k = 0; k < inverseRows * bins; ++k) spectrum[k][1] = -spectrum[k][1];
  fftw_execute_dft_c2r(plans.rowsInverse, spectrum, real);  // rows * columns times the sums
  b.nx = nx;
  b.ny = ny;
  b.columns = columns;
  b.stride = stride;
  b.scale = static_cast<double>(rows * columns) * meanSquare(s);
}

double AutocorrelationFft::at(long tx, long ty) const {
  const Buffers& b = *buffers_;
  const double pairCount = static_cast<double>(b.nx - static_cast<std::size_t>(std::labs(tx))) *
                           static_cast<double>(b.ny - static_cast<std::size_t>(std::labs(ty)));
  if (ty < 0) tx = -tx, ty = -ty;  // f(tx, -ty) = f(-tx, ty)
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
  const double meanSquareHeight = meanSquare(s);
  for (long ty = -my; ty <= my; ++ty) {
    for (long tx = -mx; tx <= mx; ++tx) {
      double sum = 0;
      for (long j = std::max(0L, -ty); j < std::min(ny, ny - ty); ++j) {
        const double* row = s.data() + j * nx;
        const double* shifted = s.data() + (j + ty) * nx;
        for (long i = std::max(0L, -tx); i < std::min(nx, nx - tx); ++i) {
          sum += row[i] * shifted[i + tx];
        }
      }
      table.values[static_cast<std::size_t>((ty + my) * (2 * mx + 1) + tx + mx)] =
          sum / pairs(grid, tx, ty) / meanSquareHeight;
    }
  }
}

namespace {

template <class Lags>
TextureDirection textureDirectionOf(const Lags& table, const Grid& grid) {
  constexpr double kUndefined = std::numeric_limits<double>::quiet_NaN();
  TextureDirection result{kUndefined, kUndefined, true};
  const long mx = static_cast<long>(table.maxX), my = static_cast<long>(table.maxY);
  const std::size_t width = 2 * table.maxX + 1;
  const auto index = [&](long tx, long ty) {
    return static_cast<std::size_t>(ty + my) * width + static_cast<std::size_t>(tx + mx);
  };
  // 0: not visited, 1: in the lobe, 2: on its boundary.
  std::vector<unsigned char> state(width * (2 * table.maxY + 1), 0);
  std::vector<std::pair<long, long>> pending;
  double shortest = std::numeric_limits<double>::infinity(), longest = 0;
  const auto visit = [&](long tx, long ty) {
    if (tx < -mx || tx > mx || ty < -my || ty > my || state[index(tx, ty)] != 0) return;
    if (table.at(tx, ty) > kAutocorrelationThreshold) {
      state[index(tx, ty)] = 1;
      pending.emplace_back(tx, ty);
      if (std::labs(tx) == mx || std::labs(ty) == my) result.decays = false;
    } else {
      state[index(tx, ty)] = 2;
      const double lx = static_cast<double>(tx) * grid.dx, ly = static_cast<double>(ty) * grid.dy;
      const double length = std::sqrt(lx * lx + ly * ly);
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
  // With no lobe at all (every height 0, f undefined) the boundary is (0, 0) alone.
  if (state[index(0, 0)] != 1) return result;
  if (longest > 0) result.sal = shortest;
  if (result.decays && longest > 0) result.str = shortest / longest;
  return result;
}

}  // namespace

TextureDirection textureDirection(const AutocorrelationTable& table, const Grid& grid) {
  return textureDirectionOf(table, grid);
}

TextureDirection textureDirection(const AutocorrelationFft& autocorrelation, const Grid& grid) {
  return textureDirectionOf(autocorrelation, grid);
}

}  // namespace corvane
