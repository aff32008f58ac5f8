#include "analysis/robust_filter.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>

#include "analysis/fftw_plans.h"
#include "analysis/gaussian_filter.h"

namespace corvane {
namespace {

constexpr double kResidualScale = 4.4478;  // c = 4.4478 median(|r|)
constexpr double kSettled = 1e-4;          // of Rq: the change that ends the passes
constexpr double kRounding = 1e-12;        // of the largest height: a change lost in rounding

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

double medianOf(std::vector<double>& values) {
  const std::size_t half = values.size() / 2;
  const auto middle = values.begin() + static_cast<std::ptrdiff_t>(half);
  std::nth_element(values.begin(), middle, values.end());
  if (values.size() % 2 == 1) return *middle;
  const double lower = *std::max_element(values.begin(), middle);
  return lower + (*middle - lower) / 2;
}

}  // namespace

struct RobustFilter::Buffers {
  std::size_t length = 0;  // the transform length
  double spacing = 0, cutoff = 0;
  std::size_t points = 0;
  fft::RealBuffer real;
  fft::ComplexBuffer weights, weighted, product;
  std::array<fft::ComplexBuffer, 5> kernels;   // transforms of s(u) u^k, k = 0 .. 4
  std::array<std::vector<double>, 5> sums;     // S0 .. S4
  std::array<std::vector<double>, 3> moments;  // T0 .. T2
  std::vector<double> delta, residual, previous, magnitudes;
};

RobustFilter::RobustFilter() : buffers_(std::make_unique<Buffers>()) {}
RobustFilter::~RobustFilter() = default;

int RobustFilter::meanLine(std::span<const double> profile, double spacing, double cutoff,
                           std::span<double> meanLine, int mostPasses) {
  const std::size_t n = profile.size();
  if (n == 0) return 0;
  Buffers& b = *buffers_;
  const std::vector<double> s = gaussianWeights(spacing, cutoff);
  const std::size_t reach = s.size() - 1;
  // Indices i - reach below 0 land in the zeros after the profile; the kernel's two sides do
  // not overlap.
  const std::size_t m = fft::smoothLength(std::max(n + reach, 2 * reach + 1));
  const std::size_t bins = m / 2 + 1;
  const fft::Plans plans = fft::plans1d(m);
  if (b.length != m || b.spacing != spacing || b.cutoff != cutoff) {
    b.real.reset(fftw_alloc_real(m));
    b.weights.reset(fftw_alloc_complex(bins));
    b.weighted.reset(fftw_alloc_complex(bins));
    b.product.reset(fftw_alloc_complex(bins));
    // The sums at i run over d(i + k) s(k dx) (k dx / lc)^p: a convolution with the kernel
    // g(k) = s(k dx) (-k dx / lc)^p.
    for (std::size_t p = 0; p < 5; ++p) {
      b.kernels[p].reset(fftw_alloc_complex(bins));
      std::fill(b.real.get(), b.real.get() + m, 0.0);
      for (std::size_t k = 0; k <= reach; ++k) {
        const double u = static_cast<double>(k) * spacing / cutoff;
        const double power = std::pow(u, static_cast<double>(p));
        b.real[k] = s[k] * ((p % 2 == 1) ? -power : power);
        if (k > 0) b.real[m - k] = s[k] * power;
      }
      fftw_execute_dft_r2c(plans.forward, b.real.get(), b.kernels[p].get());
    }
    b.length = m;
    b.spacing = spacing;
    b.cutoff = cutoff;
  }
  for (auto& v : b.sums) v.resize(n);
  for (auto& v : b.moments) v.resize(n);
  b.delta.assign(n, 1.0);
  b.residual.resize(n);
  b.previous.resize(n);

  // The sums of one kind: the transform of `from` times kernel p, back into `into`.
  const auto convolve = [&](const fftw_complex* from, std::size_t p, std::vector<double>& into) {
    const fftw_complex* kernel = b.kernels[p].get();
    fftw_complex* product = b.product.get();
    for (std::size_t j = 0; j < bins; ++j) {
      product[j][0] = from[j][0] * kernel[j][0] - from[j][1] * kernel[j][1];
      product[j][1] = from[j][0] * kernel[j][1] + from[j][1] * kernel[j][0];
    }
    fftw_execute_dft_c2r(plans.inverse, product, b.real.get());
    const double scale = static_cast<double>(m);
    for (std::size_t i = 0; i < n; ++i) into[i] = b.real[i] / scale;
  };

  double largest = 0;
  for (const double v : profile) largest = std::max(largest, std::fabs(v));
  int passes = 0;
  for (;;) {
    // One pass: the transforms of d and of d P, then the eight sums and a0 at every point.
    std::fill(b.real.get(), b.real.get() + m, 0.0);
    std::copy(b.delta.begin(), b.delta.end(), b.real.get());
    fftw_execute_dft_r2c(plans.forward, b.real.get(), b.weights.get());
    std::fill(b.real.get(), b.real.get() + m, 0.0);
    for (std::size_t i = 0; i < n; ++i) b.real[i] = b.delta[i] * profile[i];
    fftw_execute_dft_r2c(plans.forward, b.real.get(), b.weighted.get());
    for (std::size_t p = 0; p < 5; ++p) convolve(b.weights.get(), p, b.sums[p]);
    for (std::size_t p = 0; p < 3; ++p) convolve(b.weighted.get(), p, b.moments[p]);
    for (std::size_t i = 0; i < n; ++i) {
      const std::array<double, 5> sums = {b.sums[0][i], b.sums[1][i], b.sums[2][i], b.sums[3][i],
                                          b.sums[4][i]};
      const std::array<double, 3> moments = {b.moments[0][i], b.moments[1][i], b.moments[2][i]};
      const double a0 = interceptOf(sums, moments);
      meanLine[i] = std::isfinite(a0) ? a0 : (passes == 0 ? profile[i] : b.previous[i]);
    }
    ++passes;

    if (passes > 1) {
      // Settled when the line moved by no more than 1e-4 Rq of the previous pass's residual.
      double change = 0, square = 0;
      for (std::size_t i = 0; i < n; ++i) {
        change = std::max(change, std::fabs(meanLine[i] - b.previous[i]));
        square += b.residual[i] * b.residual[i];
      }
      const double rq = std::sqrt(square / static_cast<double>(n));
      if (change <= std::max(kSettled * rq, kRounding * largest)) return passes;
    }
    if (passes >= mostPasses) return passes;
    // The weights for the next pass, from this pass's residual.
    b.magnitudes.resize(n);
    for (std::size_t i = 0; i < n; ++i) {
      b.residual[i] = profile[i] - meanLine[i];
      b.magnitudes[i] = std::fabs(b.residual[i]);
    }
    const double c = kResidualScale * medianOf(b.magnitudes);
    if (!(c > 0)) return passes;  // the line runs through the points: nothing to weigh
    for (std::size_t i = 0; i < n; ++i) {
      const double q = b.residual[i] / c;
      b.delta[i] = std::fabs(q) < 1 ? (1 - q * q) * (1 - q * q) : 0;
    }
    std::copy(meanLine.begin(), meanLine.end(), b.previous.begin());
  }
}

}  // namespace corvane
