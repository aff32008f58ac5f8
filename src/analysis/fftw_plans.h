#pragma once

#include <fftw3.h>

#include <cstddef>
#include <memory>

namespace corvane::fft {

// FFTW plans made once per size and shared by every thread. FFTW's planner is not thread-safe,
// its execution with new arrays is: callers run the plans with fftw_execute_dft_r2c,
// fftw_execute_dft_c2r and fftw_execute_dft on buffers from fftw_alloc_*, which have the
// alignment the plans were made for, laid out as the plan says.

// A one-dimensional transform of m real values to m / 2 + 1 complex ones, and back
// (unnormalised: the sums times m).
struct Plans {
  fftw_plan forward = nullptr;
  fftw_plan inverse = nullptr;
};
Plans plans1d(std::size_t m);

// The transforms of an areal autocorrelation, in place in one buffer of paddedRows rows of
// bins = paddedColumns / 2 + 1 complex values, a real row of paddedColumns values (zeros beyond
// the heights) in the room of each:
//   rowsForward   each of the first `rows` rows, real (stride 2 bins doubles) to complex
//                 (stride bins)
//   columns       every complex column, paddedRows long, in place (FFTW_FORWARD)
//   rowsInverse   the first `inverseRows` complex rows back to real rows (unnormalised, stride
//                 2 bins doubles)
// Even with FFTW_ESTIMATE a plan takes milliseconds to make, so there are no more of them than
// the autocorrelation needs.
struct AreaPlans {
  fftw_plan rowsForward = nullptr;
  fftw_plan columns = nullptr;
  fftw_plan rowsInverse = nullptr;
};
AreaPlans areaPlans(std::size_t rows, std::size_t paddedRows, std::size_t paddedColumns,
                    std::size_t inverseRows);

// The smallest length >= n whose only prime factors are 2, 3, 5 and 7: the lengths FFTW
// transforms fast.
std::size_t smoothLength(std::size_t n);

// The length for a transform of at least n values: a power of two times 1, 3 or 5 (FFTW's
// estimated plans run fastest on them; for the 400 x 250 sample, 384 x 640 a tenth quicker than
// 375 x 600) unless a 2-3-5-7-smooth length is more than 2 % shorter, as for large grids, where
// the buffer's size matters more (1500 rather than 1536).
std::size_t transformLength(std::size_t n);

struct FreeFftw {
  void operator()(void* p) const { fftw_free(p); }
};
using RealBuffer = std::unique_ptr<double[], FreeFftw>;
using ComplexBuffer = std::unique_ptr<fftw_complex[], FreeFftw>;

}  // namespace corvane::fft
