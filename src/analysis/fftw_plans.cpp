#include "analysis/fftw_plans.h"

#include <algorithm>
#include <array>
#include <map>
#include <mutex>

namespace corvane::fft {
namespace {

// FFTW's planner is called under this lock only.
std::mutex& plannerLock() {
  static std::mutex mutex;
  return mutex;
}

int asInt(std::size_t n) { return static_cast<int>(n); }

}  // namespace

// Plans are made with arrays from fftw_malloc (so every buffer from fftw_alloc_* has their
// alignment) and kept for the life of the program.
Plans plans1d(std::size_t m) {
  static std::map<std::size_t, Plans> plans;
  const std::lock_guard lock(plannerLock());
  Plans& p = plans[m];
  if (p.forward == nullptr) {
    const RealBuffer real(fftw_alloc_real(m));
    const ComplexBuffer spectrum(fftw_alloc_complex(m / 2 + 1));
    p.forward = fftw_plan_dft_r2c_1d(asInt(m), real.get(), spectrum.get(), FFTW_ESTIMATE);
    p.inverse = fftw_plan_dft_c2r_1d(asInt(m), spectrum.get(), real.get(), FFTW_ESTIMATE);
  }
  return p;
}

AreaPlans areaPlans(std::size_t rows, std::size_t paddedRows, std::size_t paddedColumns,
                    std::size_t inverseRows) {
  static std::map<std::array<std::size_t, 4>, AreaPlans> plans;
  const std::lock_guard lock(plannerLock());
  AreaPlans& p = plans[{rows, paddedRows, paddedColumns, inverseRows}];
  if (p.rowsForward == nullptr) {
    const std::size_t bins = paddedColumns / 2 + 1;
    // In place: real row j lies in the room of complex row j (2 bins doubles, the last one or
    // two spare), so one buffer holds the heights and their spectrum.
    const ComplexBuffer spectrum(fftw_alloc_complex(paddedRows * bins));
    double* real = reinterpret_cast<double*>(spectrum.get());
    const int length = asInt(paddedColumns);
    const int height = asInt(paddedRows);
    const int stride = asInt(2 * bins);
    p.rowsForward = fftw_plan_many_dft_r2c(1, &length, asInt(rows), real, nullptr, 1, stride,
                                           spectrum.get(), nullptr, 1, asInt(bins), FFTW_ESTIMATE);
    p.columns =
        fftw_plan_many_dft(1, &height, asInt(bins), spectrum.get(), nullptr, asInt(bins), 1,
                           spectrum.get(), nullptr, asInt(bins), 1, FFTW_FORWARD, FFTW_ESTIMATE);
    p.rowsInverse = fftw_plan_many_dft_c2r(1, &length, asInt(inverseRows), spectrum.get(), nullptr,
                                           1, asInt(bins), real, nullptr, 1, stride, FFTW_ESTIMATE);
  }
  return p;
}

std::size_t smoothLength(std::size_t n) {
  for (std::size_t m = std::max<std::size_t>(n, 2);; ++m) {
    std::size_t r = m;
    for (const std::size_t p : {2u, 3u, 5u, 7u}) {
      while (r % p == 0) r /= p;
    }
    if (r == 1) return m;
  }
}

std::size_t transformLength(std::size_t n) {
  std::size_t power = 0;
  for (const std::size_t factor : {1u, 3u, 5u}) {
    std::size_t m = factor;
    while (m < n) m *= 2;
    if (power == 0 || m < power) power = m;
  }
  const std::size_t smooth = smoothLength(n);
  return static_cast<double>(smooth) < 0.98 * static_cast<double>(power) ? smooth : power;
}

}  // namespace corvane::fft
