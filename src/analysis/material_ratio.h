#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace corvane {

// The material ratio (Abbott-Firestone) curve of a set of heights: how much of the surface
// lies above each height.
//
//   c(p)   the height at material ratio p % (0 <= p <= 100): of the heights sorted ascending,
//          a(0) ... a(n-1), the value at position (1 - p/100) * (n - 1), linearly interpolated
//          between its two neighbours (the common "linear" quantile of 1 - p/100)
//   Mr(c)  the material ratio at height c: 100 * (the number of heights above c) / n
//
// Every figure reads the curve at whole tenths of a percent, so those 1001 heights are what it
// holds. They come from a full sort for a few thousand heights; for more, from a selection that
// sorts only the stretches of the order they fall in, so a surface of millions of points costs a
// few passes over its heights, not a sort.
class MaterialRatioCurve {
 public:
  static constexpr std::size_t kSteps = 1000;  // p = 0, 0.1, ..., 100 %

  // Works out the curve of the heights, which the curve reads again for its tallies: they must
  // stay in place while it is used.
  void assign(std::span<const double> heights);

  std::size_t size() const { return heights_.size(); }

  // c(p) for p = tenths / 10 %, tenths 0 .. kSteps; NaN for no heights.
  double heightAtTenths(std::size_t tenths) const;
  // c(p) for p a whole number of tenths of a percent (2.5, 10, 80 ...).
  double heightAt(double ratio) const;
  // c(p) for p = 0, 0.1, ..., 100 %, in that order (the curve as drawn); empty for no heights.
  std::span<const double> heights() const {
    return heights_.empty() ? std::span<const double>() : std::span<const double>(curve_);
  }

  // Over the heights h, for the height c: how many lie above c, the sum of (h - c) over those
  // above and of (c - h) over those below.
  struct Tally {
    std::size_t above = 0;
    double sumAbove = 0;
    double sumBelow = 0;
  };
  Tally tally(double height) const;

  double ratioAt(double height) const;  // Mr(c); NaN for no heights

 private:
  // Where c(p) reads the order: at `below` and `below` + 1, interpolated by t.
  struct Position {
    std::size_t below;
    double t;
  };

  static Position positionOf(double fraction, std::size_t n);
  void select(double lo, double hi);
  static double interpolate(const std::vector<double>& order, Position at);

  std::span<const double> heights_;
  std::array<double, kSteps + 1> curve_{};
  // The positions for curves of positionsFor_ heights (profiles mostly share one count).
  std::array<Position, kSteps + 1> positions_{};
  std::size_t positionsFor_ = 0;
  // Work buffers, kept between curves.
  std::vector<double> order_;  // all heights sorted, or the gathered buckets each sorted
  // Per bucket of the selection (32 bits, as the heights number at most 2^28).
  std::vector<std::uint32_t> start_, fill_;
  std::vector<std::size_t> wanted_, wantedAt_;
  std::vector<std::uint64_t> keys_;
};

// The Rk construction of a material ratio curve (the same for a profile's Rk family and the
// areal Sk family):
//   the 40 % secant of least slope: of p0 = 0, 0.1, ..., 60 % the one with the smallest drop
//   d = c(p0) - c(p0 + 40) (the first on a tie); the equivalent line L(p) = c(p0) - d (p - p0) /
//   40; upper = L(0), lower = L(100), core = upper - lower; mr1 = Mr(upper), mr2 = Mr(lower); a1 =
//   100/n * sum of (h - upper) over h > upper, a2 = 100/n * sum of (lower - h) over h < lower;
//   peaks = 2 a1 / mr1 (0 when mr1 is 0), valleys = 2 a2 / (100 - mr2) (0 when mr2 is 100).
// Every member is NaN for an empty curve.
struct RkConstruction {
  double secantStart;  // p0, %
  double drop;         // d
  double upper, lower;
  double core;     // Rk, Sk
  double peaks;    // Rpk, Spk
  double valleys;  // Rvk, Svk
  double mr1, mr2;
  double a1, a2;
};

RkConstruction rkConstruction(const MaterialRatioCurve& curve);

// The volumes per unit area, split at the material ratios p and q (whole numbers of tenths of a
// percent): Vm(r) = sum of (h - c(r)) over h > c(r) / n, the material above c(r), and
// Vv(r) = sum of (c(r) - h) over h < c(r) / n, the voids below it.
//   peakMaterial = Vm(p), coreMaterial = Vm(q) - Vm(p), coreVoid = Vv(p) - Vv(q),
//   valleyVoid = Vv(q)
// NaN for an empty curve.
struct Volumes {
  double peakMaterial;  // Vmp
  double coreMaterial;  // Vmc
  double coreVoid;      // Vvc
  double valleyVoid;    // Vvv
};

Volumes volumes(const MaterialRatioCurve& curve, double p, double q);

}  // namespace corvane
