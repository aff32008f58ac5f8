#include "analysis/robust_filter.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstdint>
#include <functional>
#include <latch>
#include <limits>
#include <span>
#include <system_error>
#include <thread>

#include "analysis/fftw_plans.h"
#include "analysis/gaussian_filter.h"

namespace corvane {
namespace {

constexpr double kResidualScale = 4.4478;  // c = 4.4478 median(|r|)
constexpr double kSettled = 1e-4;          // of Rq: the change that ends the passes
constexpr double kRounding = 1e-12;        // of the largest height: a change lost in rounding
// From this transform length on, the two halves of a pass run on two threads.
constexpr std::size_t kThreadFrom = 1 << 14;

// a0 of the parabola from the weighted sums S0..S4 (of s d u^k) and T0..T2 (of s d P u^k); the
// weighted mean where the parabola is not determined; NaN where nothing weighs.
double interceptOf(const std::array<double, 5>& s, const std::array<double, 3>& t) {
  const double det = s[0] * (s[2] * s[4] - s[3] * s[3]) - s[1] * (s[1] * s[4] - s[2] * s[3]) +
                     s[2] * (s[1] * s[3] - s[2] * s[2]);
  const double scale = s[0] * s[2] * s[4];
  if (scale > 0 && std::fabs(det) > 1e-9 * scale) {
    return (t[0] * (s[2] * s[4] - s[3] * s[3]) - s[1] * (t[1] * s[4] - t[2] * s[3]) +
            s[2] * (t[1] * s[3] - t[2] * s[2])) /
           det;
  }
  return s[0] > 0 ? t[0] / s[0] : std::numeric_limits<double>::quiet_NaN();
}

// Runs `here` on this thread and `there` on another beside it, when asked for and a thread can
// be had; else one after the other.
template <typename Here, typename There>
void sideBySide(bool twoThreads, Here&& here, There&& there) {
  std::thread other;
  if (twoThreads) {
    try {
      other = std::thread(std::ref(there));
    } catch (const std::system_error&) {
    }
  }
  here();
  if (other.joinable()) {
    other.join();
  } else {
    there();
  }
}

// The median of non-negative numbers. Their bit patterns order as they do, so for many numbers
// a count of the top 16 bits finds the one or two buckets the middle ranks fall in, and only
// those are selected in, a small share of them all. Below kCountFrom numbers, clearing the
// 65536 counts would cost more than selecting in all of them.
constexpr std::size_t kCountFrom = 1 << 14;
double medianOf(std::span<const double> values, std::vector<std::uint32_t>& counts,
                std::vector<double>& bucket) {
  const std::size_t n = values.size();
  const std::size_t high = n / 2, low = (n - 1) / 2;  // the middle ranks, from 0
  std::size_t below = 0;                              // the ranks below those in `bucket`
  if (n < kCountFrom) {
    bucket.assign(values.begin(), values.end());
  } else {
    const auto key = [](double v) { return std::bit_cast<std::uint64_t>(v) >> 48; };
    counts.assign(std::size_t{1} << 16, 0);
    for (const double v : values) ++counts[key(v)];
    std::size_t first = 0;  // the bucket that holds rank low
    while (below + counts[first] <= low) below += counts[first++];
    std::size_t last = first, through = below + counts[first];
    while (through <= high) through += counts[++last];
    bucket.clear();
    for (const double v : values) {
      if (key(v) >= first && key(v) <= last) bucket.push_back(v);
    }
  }
  const auto middle = bucket.begin() + static_cast<std::ptrdiff_t>(high - below);
  std::nth_element(bucket.begin(), middle, bucket.end());
  if (low == high) return *middle;
  const double lower = *std::max_element(bucket.begin(), middle);
  return lower + (*middle - lower) / 2;
}

}  // namespace

struct RobustFilter::Buffers {
  std::size_t length = 0;  // the transform length
  double spacing = 0, cutoff = 0;
  std::size_t reach = 0;  // the kernels' half width
  std::size_t points = 0;
  // The two halves of a pass, one for d and one for d P, each with its own buffers so that
  // they may run side by side: the values, their transform and the product with a kernel's.
  struct Half {
    fft::RealBuffer real;
    fft::ComplexBuffer spectrum, product;
  };
  std::array<Half, 2> halves;
  // The transforms of s(u) u^k / m, k = 0 .. 4: even in u for even k, so real, and odd for odd
  // k, so imaginary; each is kept as that one part.
  std::array<std::vector<double>, 5> kernels;
  std::array<fft::RealBuffer, 8> sums;  // S0 .. S4, T0 .. T2, each m long
  std::vector<double> previous, magnitudes, bucket;
  std::vector<std::uint32_t> counts;
  std::vector<unsigned char> measured;  // for a profile with non-measured points
};

RobustFilter::RobustFilter() : buffers_(std::make_unique<Buffers>()) {}
RobustFilter::~RobustFilter() = default;

int RobustFilter::meanLine(std::span<const double> profile, double spacing, double cutoff,
                           std::span<double> meanLine, int mostPasses) {
  const std::size_t n = profile.size();
  if (n == 0) return 0;
  Buffers& b = *buffers_;
  const std::vector<double> s = gaussianWeights(spacing, cutoff, n - 1);
  const std::size_t reach = s.size() - 1;
  // Indices i - reach below 0 land in the zeros after the profile; the kernel's two sides do
  // not overlap.
  const std::size_t m = fft::smoothLength(std::max(n + reach, 2 * reach + 1));
  const std::size_t bins = m / 2 + 1;
  const fft::Plans plans = fft::plans1d(m);
  if (b.length != m || b.spacing != spacing || b.cutoff != cutoff || b.reach != reach) {
    for (Buffers::Half& half : b.halves) {
      half.real.reset(fftw_alloc_real(m));
      half.spectrum.reset(fftw_alloc_complex(bins));
      half.product.reset(fftw_alloc_complex(bins));
    }
    double* const real = b.halves[0].real.get();
    fftw_complex* const spectrum = b.halves[0].spectrum.get();
    // The sums at i run over d(i + k) s(k dx) (k dx / unit)^p: a convolution with the kernel
    // g(k) = s(k dx) (-k dx / unit)^p.
    for (auto& sum : b.sums) sum.reset(fftw_alloc_real(m));
    // u is measured in lc (a0 does not depend on u's unit), or in the profile's length when
    // the cut-off reaches beyond it, so that u^4 stays of order 1 and never underflows.
    const double unit = std::min(cutoff, static_cast<double>(reach + 1) * spacing);
    for (std::size_t p = 0; p < 5; ++p) {
      std::fill(real, real + m, 0.0);
      for (std::size_t k = 0; k <= reach; ++k) {
        // Over m: the inverse transform's factor, taken once here.
        const double u = static_cast<double>(k) * spacing / unit;
        const double power = std::pow(u, static_cast<double>(p)) / static_cast<double>(m);
        real[k] = s[k] * ((p % 2 == 1) ? -power : power);
        if (k > 0) real[m - k] = s[k] * power;
      }
      fftw_execute_dft_r2c(plans.forward, real, spectrum);
      b.kernels[p].resize(bins);
      for (std::size_t j = 0; j < bins; ++j) b.kernels[p][j] = spectrum[j][p % 2];
    }
    b.length = m;
    b.spacing = spacing;
    b.cutoff = cutoff;
    b.reach = reach;
  }
  b.previous.assign(n, 0.0);
  // Non-measured points (NaN) weigh nothing in any pass (d = 0 there) and take no part in the
  // median, Rq or the change that ends the passes; the mean line is NaN at them.
  const bool holes = hasNonMeasured(profile);
  std::size_t measuredCount = n;
  if (holes) {
    b.measured.resize(n);
    measuredCount = 0;
    for (std::size_t i = 0; i < n; ++i) {
      b.measured[i] = std::isnan(profile[i]) ? 0 : 1;
      measuredCount += b.measured[i];
    }
  }

  double scale = 0;  // 1 / c of the previous pass's residual; 0 before the first pass
  // The transform of d (h = 0) or d P (h = 1) into half h's spectrum.
  const auto transform = [&](std::size_t h) {
    double* const real = b.halves[h].real.get();
    for (std::size_t i = 0; i < n; ++i) {
      // d from the previous pass's residual (1 everywhere in the first, where scale is 0).
      const double q = (profile[i] - b.previous[i]) * scale;
      const double d = std::fabs(q) < 1 ? (1 - q * q) * (1 - q * q) : 0;
      real[i] = h == 0 ? d : d * profile[i];
    }
    if (holes) {
      for (std::size_t i = 0; i < n; ++i) {
        if (b.measured[i] == 0) real[i] = 0;
      }
    }
    std::fill(real + n, real + m, 0.0);
    fftw_execute_dft_r2c(plans.forward, real, b.halves[h].spectrum.get());
  };
  // Sum `into` (S0 .. S4, T0 .. T2) from the spectrum of half h times kernel p, through the
  // product buffer of half `work`.
  const auto sum = [&](std::size_t h, std::size_t p, std::size_t into, std::size_t work) {
    const double* __restrict in = b.halves[h].spectrum.get()[0];
    double* __restrict product = b.halves[work].product.get()[0];
    const double* __restrict kernel = b.kernels[p].data();
    if (p % 2 == 0) {
      for (std::size_t j = 0; j < bins; ++j) {
        product[2 * j] = in[2 * j] * kernel[j];
        product[2 * j + 1] = in[2 * j + 1] * kernel[j];
      }
    } else {
      for (std::size_t j = 0; j < bins; ++j) {
        product[2 * j] = -in[2 * j + 1] * kernel[j];
        product[2 * j + 1] = in[2 * j] * kernel[j];
      }
    }
    fftw_execute_dft_c2r(plans.inverse, b.halves[work].product.get(), b.sums[into].get());
  };
  // a0 at every point, and in the same sweep how far the line moved, the new residual's
  // magnitudes and its sum of squares; the line is kept as the previous one for the next pass.
  struct Sweep {
    double change = 0, square = 0;
  };
  b.magnitudes.resize(n);
  int passes = 0;
  const auto sweep = [&](std::size_t from, std::size_t to) {
    Sweep out;
    for (std::size_t i = from; i < to; ++i) {
      if (holes && b.measured[i] == 0) {
        meanLine[i] = std::numeric_limits<double>::quiet_NaN();
        b.magnitudes[i] = -1;  // not one of the residuals: left out of the median below
        continue;
      }
      const std::array<double, 5> sums = {b.sums[0][i], b.sums[1][i], b.sums[2][i], b.sums[3][i],
                                          b.sums[4][i]};
      const std::array<double, 3> moments = {b.sums[5][i], b.sums[6][i], b.sums[7][i]};
      const double a0 = interceptOf(sums, moments);
      const double line = std::isfinite(a0) ? a0 : (passes == 0 ? profile[i] : b.previous[i]);
      meanLine[i] = line;
      out.change = std::max(out.change, std::fabs(line - b.previous[i]));
      b.previous[i] = line;
      const double r = profile[i] - line;
      b.magnitudes[i] = std::fabs(r);
      out.square += r * r;
    }
    return out;
  };

  double largest = 0;
  for (const double v : profile) {
    if (!std::isnan(v)) largest = std::max(largest, std::fabs(v));
  }
  const bool twoThreads = m >= kThreadFrom;
  double rq = 0;  // of the previous pass's residual
  for (;;) {
    // One pass. The eight sums, five transforms on either side: this thread transforms d and
    // takes S0 .. S3; the other transforms d P, takes T0 .. T2 and then S4, once d's spectrum
    // is there.
    std::latch spectrumOfD(1);
    sideBySide(
        twoThreads,
        [&] {
          transform(0);
          spectrumOfD.count_down();
          for (std::size_t p = 0; p < 4; ++p) sum(0, p, p, 0);
        },
        [&] {
          transform(1);
          for (std::size_t p = 0; p < 3; ++p) sum(1, p, 5 + p, 1);
          spectrumOfD.wait();
          sum(0, 4, 4, 1);
        });
    // Then a0 and the residual, each thread one half of the points.
    Sweep lower, upper;
    sideBySide(
        twoThreads, [&] { lower = sweep(0, n / 2); }, [&] { upper = sweep(n / 2, n); });
    const double change = std::max(lower.change, upper.change);
    const double square = lower.square + upper.square;
    ++passes;
    // Settled when the line moved by no more than 1e-4 Rq of the previous pass's residual.
    if (passes > 1 && change <= std::max(kSettled * rq, kRounding * largest)) return passes;
    if (passes >= mostPasses) return passes;
    rq = std::sqrt(square / static_cast<double>(measuredCount));
    // The weights for the next pass, from this pass's residual at the measured points.
    std::span<const double> magnitudes = b.magnitudes;
    if (holes) {
      const auto end = std::remove(b.magnitudes.begin(), b.magnitudes.end(), -1.0);
      magnitudes = magnitudes.first(static_cast<std::size_t>(end - b.magnitudes.begin()));
    }
    const double c = kResidualScale * medianOf(magnitudes, b.counts, b.bucket);
    if (!(c > 0)) return passes;  // the line runs through the points: nothing to weigh
    scale = 1 / c;
  }
}

}  // namespace corvane
