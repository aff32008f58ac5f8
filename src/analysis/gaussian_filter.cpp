#include "analysis/gaussian_filter.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "analysis/fftw_plans.h"

namespace corvane {
namespace {

// The largest k with k * dx <= lc, and no more than `reach`: a profile of n points is never
// weighed further than n - 1 steps, however long the cut-off (1e300 would not fit a size_t).
std::size_t halfWidth(double spacing, double cutoff, std::size_t reach) {
  if (!(cutoff / spacing < static_cast<double>(reach))) return reach;
  double k = std::floor(cutoff / spacing);
  while ((k + 1) * spacing <= cutoff) k += 1;
  while (k > 0 && k * spacing > cutoff) k -= 1;
  return std::min(static_cast<std::size_t>(k), reach);
}

// sum of w(k) over -K..K with i + k in 0..n-1, from running sums of w(0..K).
double weightSum(const std::vector<double>& runningSum, std::size_t i, std::size_t n) {
  const std::size_t k = runningSum.size() - 1;
  return runningSum[std::min(i, k)] + runningSum[std::min(n - 1 - i, k)] - runningSum[0];
}

std::vector<double> runningSums(const std::vector<double>& weights) {
  std::vector<double> sums(weights.size());
  double sum = 0;
  for (std::size_t k = 0; k < weights.size(); ++k) sums[k] = sum += weights[k];
  return sums;
}

}  // namespace

std::vector<double> gaussianWeights(double spacing, double cutoff, std::size_t reach) {
  const double alpha = std::sqrt(std::numbers::ln2 / std::numbers::pi);
  const std::size_t k = halfWidth(spacing, cutoff, reach);
  std::vector<double> weights(k + 1);
  for (std::size_t j = 0; j <= k; ++j) {
    const double u = static_cast<double>(j) * spacing / (alpha * cutoff);
    weights[j] = std::exp(-std::numbers::pi * u * u);
  }
  return weights;
}

struct GaussianFilter::Buffers {
  std::size_t length = 0;  // the transform length the buffers hold
  fft::RealBuffer real;
  fft::ComplexBuffer spectrum;
  fft::ComplexBuffer kernel;  // the weights' transform
  // What the kernel was made for; the next profile of the same kind reuses it.
  double kernelSpacing = 0;
  double kernelCutoff = 0;
  std::size_t kernelReach = 0;
  std::vector<double> weights;
  std::vector<double> runningSum;
  // For a profile with non-measured points: which are measured, and the sums of w V p.
  std::vector<unsigned char> measured;
  std::vector<double> held;
};

GaussianFilter::GaussianFilter() : buffers_(std::make_unique<Buffers>()) {}
GaussianFilter::~GaussianFilter() = default;

std::size_t GaussianFilter::convolve(std::span<const double> values, double spacing,
                                     double cutoff) {
  const std::size_t n = values.size();
  Buffers& b = *buffers_;
  const std::size_t k = halfWidth(spacing, cutoff, n - 1);
  // Indices i - k below 0 must land in the zeros after the profile (m >= n + K), and the
  // weights for -K..K must not overlap (m > 2K).
  const std::size_t m = fft::smoothLength(std::max(n + k, 2 * k + 1));
  const std::size_t bins = m / 2 + 1;
  const fft::Plans plans = fft::plans1d(m);

  bool kernelValid =
      b.length == m && b.kernelSpacing == spacing && b.kernelCutoff == cutoff && b.kernelReach == k;
  if (b.length != m) {
    b.real.reset(fftw_alloc_real(m));
    b.spectrum.reset(fftw_alloc_complex(bins));
    b.kernel.reset(fftw_alloc_complex(bins));
    b.length = m;
  }
  double* real = b.real.get();
  if (!kernelValid) {
    b.weights = gaussianWeights(spacing, cutoff, k);
    b.runningSum = runningSums(b.weights);
    std::fill(real, real + m, 0.0);
    real[0] = b.weights[0];
    for (std::size_t j = 1; j <= k; ++j) real[j] = real[m - j] = b.weights[j];
    fftw_execute_dft_r2c(plans.forward, real, b.kernel.get());
    b.kernelSpacing = spacing;
    b.kernelCutoff = cutoff;
    b.kernelReach = k;
  }

  std::copy(values.begin(), values.end(), real);
  std::fill(real + n, real + m, 0.0);
  fftw_complex* spectrum = b.spectrum.get();
  fftw_execute_dft_r2c(plans.forward, real, spectrum);
  const fftw_complex* kernel = b.kernel.get();
  for (std::size_t j = 0; j < bins; ++j) {
    const double re = spectrum[j][0] * kernel[j][0] - spectrum[j][1] * kernel[j][1];
    const double im = spectrum[j][0] * kernel[j][1] + spectrum[j][1] * kernel[j][0];
    spectrum[j][0] = re;
    spectrum[j][1] = im;
  }
  fftw_execute_dft_c2r(plans.inverse, spectrum, real);  // unnormalised: m times the sums
  return m;
}

void GaussianFilter::meanLine(std::span<const double> profile, double spacing, double cutoff,
                              std::span<double> meanLine) {
  const std::size_t n = profile.size();
  if (n == 0) return;
  Buffers& b = *buffers_;
  if (!hasNonMeasured(profile)) {
    const double scale = static_cast<double>(convolve(profile, spacing, cutoff));
    const double* real = b.real.get();
    for (std::size_t i = 0; i < n; ++i) {
      meanLine[i] = real[i] / scale / weightSum(b.runningSum, i, n);
    }
    return;
  }
  // Sums of w V p and of w V, each times the transform's length, which their ratio drops.
  // meanLine may be the profile, so the mask is kept aside before it is written.
  b.measured.resize(n);
  b.held.resize(n);
  for (std::size_t i = 0; i < n; ++i) {
    b.measured[i] = std::isnan(profile[i]) ? 0 : 1;
    b.held[i] = b.measured[i] ? profile[i] : 0.0;
  }
  convolve(b.held, spacing, cutoff);
  std::copy_n(b.real.get(), n, b.held.begin());
  for (std::size_t i = 0; i < n; ++i) meanLine[i] = b.measured[i] ? 1.0 : 0.0;
  convolve(meanLine, spacing, cutoff);
  const double* weights = b.real.get();
  for (std::size_t i = 0; i < n; ++i) {
    meanLine[i] = b.measured[i] ? b.held[i] / weights[i] : kNonMeasured;
  }
}

void GaussianFilter::weightedSums(std::span<const double> profile, double spacing, double cutoff,
                                  std::span<double> sums) {
  const std::size_t n = profile.size();
  if (n == 0) return;
  const double scale = static_cast<double>(convolve(profile, spacing, cutoff));
  const double* real = buffers_->real.get();
  for (std::size_t i = 0; i < n; ++i) sums[i] = real[i] / scale;
}

void directMeanLine(std::span<const double> profile, double spacing, double cutoff,
                    std::span<double> meanLine) {
  const std::size_t n = profile.size();
  if (n == 0) return;
  const std::vector<double> w = gaussianWeights(spacing, cutoff, n - 1);
  const std::vector<double> sums = runningSums(w);
  const std::size_t k = w.size() - 1;
  for (std::size_t i = 0; i < n; ++i) {
    const std::size_t lo = i >= k ? i - k : 0;
    const std::size_t hi = std::min(n - 1, i + k);
    double sum = 0;
    for (std::size_t j = lo; j <= hi; ++j) sum += w[j > i ? j - i : i - j] * profile[j];
    meanLine[i] = sum / weightSum(sums, i, n);
  }
}

}  // namespace corvane
