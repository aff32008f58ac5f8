#pragma once

#include <memory>
#include <span>
#include <vector>

namespace corvane {

// The mean line of an evenly spaced profile by the robust Gaussian regression filter of second
// order (ISO 16610-31), for plateau surfaces whose deep valleys would pull a Gaussian mean line
// down.
//
// At each point i the mean line is a0 of the weighted least-squares parabola a0 + a1 u + a2 u^2,
// u = (j - i) dx, over the points j with |u| <= lc, weights s(u) d(j), where
// s(u) = exp(-pi (u / (alpha lc))^2), alpha = sqrt(ln 2 / pi). The weights d start at 1 (the
// first pass is the Gaussian regression filter of second order); after each pass, with
// r = P - m and c = 4.4478 median(|r|) over the whole profile, d(j) = (1 - (r(j) / c)^2)^2
// where |r(j)| < c and 0 elsewhere. The passes stop when the mean line changes by no more than
// 1e-4 times the root mean square of the previous pass's r, after at most 50 (the count
// includes the first), or when the change is lost in rounding (1e-12 of the largest height:
// a profile the first line already runs through, whose residual is rounding alone). Where the
// weights leave no parabola to fit (too few points with weight near a point), the weighted mean of
// the points within reach stands for it, and where there is none of those either, the previous
// pass's mean line.
//
// The sums over j are convolutions of d and d P with the fixed kernels s(u) u^k, k = 0 .. 4: each
// pass transforms d and d P once and takes the eight sums back from their products with the
// kernels' transforms (made once per length). On a long profile each pass runs on two threads:
// five transforms on either, then a0 for half the points on either. One per thread: it holds
// its buffers; the FFT plans are shared.
class RobustFilter {
 public:
  RobustFilter();
  ~RobustFilter();
  RobustFilter(const RobustFilter&) = delete;
  RobustFilter& operator=(const RobustFilter&) = delete;

  // Writes the mean line of `profile` into `meanLine` (the same size); returns the passes made,
  // at most `mostPasses`.
  int meanLine(std::span<const double> profile, double spacing, double cutoff,
               std::span<double> meanLine, int mostPasses = 50);

 private:
  struct Buffers;
  std::unique_ptr<Buffers> buffers_;
};

}  // namespace corvane
