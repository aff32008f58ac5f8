#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <span>
#include <vector>

#include "analysis/areal_grid.h"
#include "analysis/fftw_plans.h"

namespace corvane {

// The areal autocorrelation of heights on a grid, normalised by the mean square height:
//   f(tx, ty) = (sum of s(i, j) * s(i + tx, j + ty) / m) / (sum of s^2 / N)
// for whole lags |tx| <= nx / 2 and |ty| <= ny / 2 (rounded down), the first sum over the m pairs
// that lie inside the grid, so that f(0, 0) = 1. A non-measured (NaN) height is one outside the
// grid: m counts the pairs of measured points, the sums run over them and N is their number;
// f is NaN at a lag with no such pair.
struct AutocorrelationTable {
  std::size_t maxX = 0;  // nx / 2
  std::size_t maxY = 0;  // ny / 2
  std::vector<double> values;

  std::size_t width() const { return 2 * maxX + 1; }
  double at(long tx, long ty) const {
    return values[static_cast<std::size_t>(ty + static_cast<long>(maxY)) * width() +
                  static_cast<std::size_t>(tx + static_cast<long>(maxX))];
  }
};

// Works f out by FFT: the grid zero-padded far enough that no lag wraps round, its power
// spectrum transformed back. O(N log N) for N points. With non-measured points, m is the
// autocorrelation of the mask V (1 measured, 0 not), worked out the same way first and kept
// for the lags of the table, and the sums that of V S. The sums stay in the transform's buffer
// and at() reads f from them, so no table of the lags is made beside it. One per thread: it
// holds its buffer; the plans are shared.
class AutocorrelationFft {
 public:
  AutocorrelationFft();
  ~AutocorrelationFft();
  AutocorrelationFft(const AutocorrelationFft&) = delete;
  AutocorrelationFft& operator=(const AutocorrelationFft&) = delete;

  void compute(std::span<const double> heights, const Grid& grid);

  // After compute: the lags' extent and f at a lag within it.
  std::size_t maxX = 0;
  std::size_t maxY = 0;
  double at(long tx, long ty) const;

 private:
  struct Buffers;
  std::unique_ptr<Buffers> buffers_;

  // The grid's rows, filled in by `fill`, correlated with themselves in `spectrum` (a buffer of
  // the transforms' size).
  template <typename Fill>
  void correlate(fftw_complex* spectrum, Fill&& fill) const;
};

// The same table by a sum per lag, O(N * lags): the baseline the FFT is checked and measured
// against.
void directAutocorrelation(std::span<const double> heights, const Grid& grid,
                           AutocorrelationTable& table);

// A lag in grid steps.
struct Lag {
  long tx = 0;
  long ty = 0;
};

// The texture's extent and direction from the central lobe of the autocorrelation: the lags
// 4-connected to (0, 0) where f > 0.2. Its boundary is the lags of the table outside it that are
// 4-neighbours of a lag in it; a lag's length is sqrt((tx dx)^2 + (ty dy)^2).
//   sal  the shortest boundary length; NaN when the boundary is empty
//   str  the shortest over the longest; NaN when the lobe reaches the table's edge
//        (|tx| = nx / 2 or |ty| = ny / 2): the texture does not decay within the data
// Both are NaN when the search reaches a lag without measured pairs (f is NaN there).
struct TextureDirection {
  double sal;
  double str;
  bool decays;            // the lobe stays inside the table's edge
  bool unpaired = false;  // the search reached a lag without measured pairs
  // The boundary lags of the shortest and the longest length (of equal lengths the first the
  // search met), among those where f is defined; none when there is no such lag. Given whatever
  // sal and str are.
  std::optional<Lag> shortest{}, longest{};
};

inline constexpr double kAutocorrelationThreshold = 0.2;

TextureDirection textureDirection(const AutocorrelationTable& table, const Grid& grid);
TextureDirection textureDirection(const AutocorrelationFft& autocorrelation, const Grid& grid);

// f around (0, 0) for drawing it, with the lobe and the lags the texture's figures come from.
// The window reaches 3 times the longest boundary length each way (at least kMapLeastReach lags),
// cut at the table's edge; it is the whole table when the lobe does not decay within it, meets a
// lag without measured pairs or has no boundary. Within it every stepX-th lag along x and
// stepY-th along y is kept, fewer than kMapMostSamples along each: one step along both, the
// smallest whole one that allows it, except along an axis where that would leave fewer than
// kMapLeastReach samples either side (a narrow window), which keeps more.
struct AutocorrelationMap {
  std::size_t columns = 0, rows = 0;  // odd: the middle sample is (0, 0)
  std::size_t stepX = 1, stepY = 1;   // lags between samples
  double spacingX = 0, spacingY = 0;  // stepX dx and stepY dy, in length units
  // Per sample, row by row from the lowest ty: f (NaN at a lag without measured pairs), and
  // whether the lag is in the 0.2 lobe.
  std::vector<float> values;
  std::vector<bool> lobe;
  double largest = 1;          // the largest |f| among the samples
  TextureDirection texture{};  // as the figures' search found it: Sal, Str and their lags

  long reachX() const { return static_cast<long>(columns / 2); }  // samples either side of 0
  long reachY() const { return static_cast<long>(rows / 2); }
  // The lag of a sample.
  Lag lagOf(std::size_t column, std::size_t row) const {
    return {(static_cast<long>(column) - reachX()) * static_cast<long>(stepX),
            (static_cast<long>(row) - reachY()) * static_cast<long>(stepY)};
  }
};

inline constexpr std::size_t kMapMostSamples = 512;
inline constexpr long kMapLeastReach = 8;

// Of an autocorrelation just computed for that grid; none when f(0, 0) is undefined (every
// height the same).
std::optional<AutocorrelationMap> autocorrelationMap(const AutocorrelationFft& autocorrelation,
                                                     const Grid& grid);

}  // namespace corvane
