#pragma once

#include <cstddef>
#include <limits>
#include <memory>
#include <span>
#include <vector>

#include "analysis/non_measured.h"

namespace corvane {

// The Gaussian mean line of an evenly spaced profile.
//
// With spacing dx and cut-off lc the weights are w(k) = exp(-pi * (k * dx / (alpha * lc))^2),
// alpha = sqrt(ln 2 / pi), for every whole k with |k| * dx <= lc. The mean line at point i is
// sum w(k) * p(i + k) / sum w(k), both sums over the k for which i + k lies inside the profile,
// so near the ends the weights that remain are renormalised. A sine of wavelength lc keeps half
// its amplitude in the mean line.

// w(0), w(1), ..., w(K): the weights for k >= 0 (they are symmetric in k), K at most `reach`
// (n - 1 for n points: weights further out never meet a point).
std::vector<double> gaussianWeights(double spacing, double cutoff,
                                    std::size_t reach = std::numeric_limits<std::size_t>::max());

// Works out mean lines by FFT convolution, so the cost is O(n log n) for a profile of n points
// whatever the number of weights. The numerator is the linear convolution of the profile with
// the weights, through a transform long enough that nothing wraps round; the denominator is
// summed exactly from the weights. One filter per thread: it holds its buffers, and the FFT
// plans it uses are shared by all filters and created under a lock.
class GaussianFilter {
 public:
  GaussianFilter();
  ~GaussianFilter();
  GaussianFilter(const GaussianFilter&) = delete;
  GaussianFilter& operator=(const GaussianFilter&) = delete;

  // Writes the mean line of `profile` into `meanLine` (the same size; it may be `profile`).
  // A NaN in the profile is a non-measured point, weighed like a point beyond its ends: the
  // mean line is sum w(k) V p / sum w(k) V, V 1 at measured points and 0 at the others, both
  // sums by FFT; it is NaN at the non-measured points.
  void meanLine(std::span<const double> profile, double spacing, double cutoff,
                std::span<double> meanLine);

  // The weighted sums alone: sum of w(k) * p(i + k) over the k for which i + k lies inside,
  // not renormalised, into `sums` (the same size; it may be `profile`). For filters that
  // renormalise once after several passes.
  void weightedSums(std::span<const double> profile, double spacing, double cutoff,
                    std::span<double> sums);

 private:
  struct Buffers;
  std::unique_ptr<Buffers> buffers_;

  // The linear convolution of `values` with the weights, into the buffer, times its length;
  // returns that length.
  std::size_t convolve(std::span<const double> values, double spacing, double cutoff);
};

// The same mean line by direct summation, O(n * K): the baseline the fast filter is checked and
// measured against.
void directMeanLine(std::span<const double> profile, double spacing, double cutoff,
                    std::span<double> meanLine);

}  // namespace corvane
