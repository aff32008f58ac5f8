#include "analysis/material_ratio.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "analysis/radix_sort.h"

namespace corvane {
namespace {

constexpr double kUndefined = std::numeric_limits<double>::quiet_NaN();
constexpr std::size_t kSteps = MaterialRatioCurve::kSteps;

// 1 - p / 100 for p = j / 10 %, each worked out as the definition reads.
const std::array<double, kSteps + 1>& fractions() {
  static const std::array<double, kSteps + 1> table = [] {
    std::array<double, kSteps + 1> f;
    for (std::size_t j = 0; j <= kSteps; ++j) f[j] = 1 - static_cast<double>(j) / 10.0 / 100;
    return f;
  }();
  return table;
}

// Between a and b at t: exact at either end and symmetric in the two. Both forms are worked
// out, so that the choice is a select rather than a branch that mispredicts half the time.
double lerp(double a, double b, double t) {
  const double fromBelow = a + (b - a) * t;
  const double fromAbove = b - (b - a) * (1 - t);
  return t < 0.5 ? fromBelow : fromAbove;
}

}  // namespace

// t = 0 at the ends and wherever the position is whole.
MaterialRatioCurve::Position MaterialRatioCurve::positionOf(double fraction, std::size_t n) {
  const double position = fraction * static_cast<double>(n - 1);
  if (!(position > 0)) return {0, 0};
  if (position >= static_cast<double>(n - 1)) return {n - 1, 0};
  const auto below = static_cast<std::size_t>(static_cast<std::int64_t>(position));
  return {below, position - static_cast<double>(below)};
}

// The value at `position` of `order` (ascending wherever the positions read it).
double MaterialRatioCurve::interpolate(const std::vector<double>& order, Position at) {
  const double a = order[at.below];
  return at.t == 0 ? a : lerp(a, order[at.below + 1], at.t);
}

namespace {

// Up to this many heights the whole order is sorted.
constexpr std::size_t kSortAll = 4096;
// The selection's buckets hold this many heights on average.
constexpr std::size_t kBucketSize = 8;

}  // namespace

void MaterialRatioCurve::assign(std::span<const double> heights) {
  heights_ = heights;
  const std::size_t n = heights_.size();
  if (n == 0) {
    curve_.fill(kUndefined);
    return;
  }
  if (positionsFor_ != n) {
    for (std::size_t j = 0; j <= kSteps; ++j) positions_[j] = positionOf(fractions()[j], n);
    positionsFor_ = n;
  }
  if (n <= kSortAll) {
    order_.assign(heights_.begin(), heights_.end());
    radixSort(order_, keys_);
    for (std::size_t j = 0; j <= kSteps; ++j) curve_[j] = interpolate(order_, positions_[j]);
    return;
  }
  const auto [low, high] = std::minmax_element(heights_.begin(), heights_.end());
  if (!(*high > *low)) {
    curve_.fill(*low);
    return;
  }
  select(*low, *high);
}

// Buckets of equal width in height: a bucket's heights all lie above those of the buckets before
// it, so the ranks it holds are known from the counts alone. Only the buckets that hold a rank
// the curve reads are gathered, side by side in order_, and sorted. Besides the heights this
// takes two numbers per bucket (of eight heights) and the gathered few, so that a surface of
// millions of points needs little more than its heights.
void MaterialRatioCurve::select(double lo, double hi) {
  const std::size_t n = heights_.size();
  const std::size_t buckets = n / kBucketSize;
  const double scale = static_cast<double>(buckets) / (hi - lo);
  // Through a signed conversion, which x86-64 does in one instruction.
  const auto bucketOf = [&](double h) {
    return std::min(buckets - 1,
                    static_cast<std::size_t>(static_cast<std::int64_t>((h - lo) * scale)));
  };
  start_.assign(buckets + 1, 0);
  for (const double h : heights_) ++start_[bucketOf(h) + 1];
  for (std::size_t b = 0; b < buckets; ++b) start_[b + 1] += start_[b];
  const auto bucketOfRank = [this](std::size_t rank) {
    return static_cast<std::size_t>(std::upper_bound(start_.begin(), start_.end(), rank) -
                                    start_.begin() - 1);
  };

  // The wanted buckets in rank order, each with its place in order_.
  constexpr std::uint32_t kNotWanted = static_cast<std::uint32_t>(-1);
  fill_.assign(buckets, kNotWanted);
  for (const Position& p : positions_) {
    fill_[bucketOfRank(p.below)] = 0;
    if (p.t != 0) fill_[bucketOfRank(p.below + 1)] = 0;
  }
  wanted_.clear();
  wantedAt_.clear();
  std::size_t gathered = 0;
  for (std::size_t b = 0; b < buckets; ++b) {
    if (fill_[b] == kNotWanted) continue;
    wanted_.push_back(b);
    wantedAt_.push_back(gathered);
    fill_[b] = static_cast<std::uint32_t>(gathered);
    gathered += start_[b + 1] - start_[b];
  }
  // Every height is written, those of the buckets not wanted to a spare place past the
  // gathered ones: a branch on the bucket would mispredict at random.
  const auto spare = static_cast<std::uint32_t>(gathered);
  for (std::uint32_t& at : fill_) at = at == kNotWanted ? spare : at;
  order_.resize(gathered + 1);
  for (const double h : heights_) {
    std::uint32_t& at = fill_[bucketOf(h)];
    order_[at] = h;
    at += at != spare ? 1 : 0;
  }
  for (std::size_t k = 0; k < wanted_.size(); ++k) {
    const auto first = order_.begin() + static_cast<std::ptrdiff_t>(wantedAt_[k]);
    const std::size_t b = wanted_[k];
    std::sort(first, first + static_cast<std::ptrdiff_t>(start_[b + 1] - start_[b]));
  }

  // The height of a rank, from the gathered bucket that holds it.
  const auto atRank = [&](std::size_t rank) {
    const std::size_t b = bucketOfRank(rank);
    const std::size_t k = static_cast<std::size_t>(
        std::lower_bound(wanted_.begin(), wanted_.end(), b) - wanted_.begin());
    return order_[wantedAt_[k] + (rank - start_[b])];
  };
  for (std::size_t j = 0; j <= kSteps; ++j) {
    const Position& p = positions_[j];
    const double a = atRank(p.below);
    curve_[j] = p.t == 0 ? a : lerp(a, atRank(p.below + 1), p.t);
  }
}

double MaterialRatioCurve::heightAtTenths(std::size_t tenths) const {
  return heights_.empty() ? kUndefined : curve_[std::min(tenths, kSteps)];
}

double MaterialRatioCurve::heightAt(double ratio) const {
  return heightAtTenths(static_cast<std::size_t>(std::lround(ratio * 10)));
}

MaterialRatioCurve::Tally MaterialRatioCurve::tally(double height) const {
  // Four running sums of each kind, so that the additions do not wait on one another.
  constexpr std::size_t kLanes = 4;
  std::array<std::size_t, kLanes> above{};
  std::array<double, kLanes> sumAbove{}, sumBelow{};
  const std::size_t n = heights_.size();
  std::size_t i = 0;
  for (; i + kLanes <= n; i += kLanes) {
    for (std::size_t lane = 0; lane < kLanes; ++lane) {
      const double d = heights_[i + lane] - height;
      above[lane] += d > 0 ? 1 : 0;
      sumAbove[lane] += d > 0 ? d : 0;
      sumBelow[lane] += d < 0 ? -d : 0;
    }
  }
  for (std::size_t lane = 0; i < n; ++i, ++lane) {
    const double d = heights_[i] - height;
    above[lane] += d > 0 ? 1 : 0;
    sumAbove[lane] += d > 0 ? d : 0;
    sumBelow[lane] += d < 0 ? -d : 0;
  }
  Tally t;
  for (std::size_t lane = 0; lane < kLanes; ++lane) {
    t.above += above[lane];
    t.sumAbove += sumAbove[lane];
    t.sumBelow += sumBelow[lane];
  }
  return t;
}

double MaterialRatioCurve::ratioAt(double height) const {
  if (heights_.empty()) return kUndefined;
  return 100 * static_cast<double>(tally(height).above) / static_cast<double>(heights_.size());
}

RkConstruction rkConstruction(const MaterialRatioCurve& curve) {
  RkConstruction rk;
  rk.secantStart = rk.drop = rk.upper = rk.lower = rk.core = kUndefined;
  rk.peaks = rk.valleys = rk.mr1 = rk.mr2 = rk.a1 = rk.a2 = kUndefined;
  const std::size_t n = curve.size();
  if (n == 0) return rk;

  // The secant spans 40 %; its start runs over 0 ... 60 % in steps of 0.1 %. k / 10 + 40 is
  // (k + 400) / 10 to the last bit for every such start, so the secant from step k ends at step
  // k + 400.
  constexpr std::size_t kWidth = 400;
  std::size_t best = 0;
  double bestDrop = 0;
  const std::span<const double> c = curve.heights();
  for (std::size_t k = 0; k + kWidth <= kSteps; ++k) {
    const double drop = c[k] - c[k + kWidth];
    const bool smaller = k == 0 || drop < bestDrop;
    best = smaller ? k : best;
    bestDrop = smaller ? drop : bestDrop;
  }
  const double start = curve.heightAtTenths(best);
  rk.secantStart = static_cast<double>(best) / 10.0;
  rk.drop = bestDrop;
  rk.upper = start + rk.drop * rk.secantStart / 40;
  rk.lower = start - rk.drop * (100 - rk.secantStart) / 40;
  rk.core = rk.upper - rk.lower;
  const MaterialRatioCurve::Tally upper = curve.tally(rk.upper);
  const MaterialRatioCurve::Tally lower = curve.tally(rk.lower);
  const double count = static_cast<double>(n);
  rk.mr1 = 100 * static_cast<double>(upper.above) / count;
  rk.mr2 = 100 * static_cast<double>(lower.above) / count;
  rk.a1 = 100 / count * upper.sumAbove;
  rk.a2 = 100 / count * lower.sumBelow;
  rk.peaks = rk.mr1 == 0 ? 0 : 2 * rk.a1 / rk.mr1;
  rk.valleys = rk.mr2 == 100 ? 0 : 2 * rk.a2 / (100 - rk.mr2);
  return rk;
}

Volumes volumes(const MaterialRatioCurve& curve, double p, double q) {
  if (curve.size() == 0) return {kUndefined, kUndefined, kUndefined, kUndefined};
  const double n = static_cast<double>(curve.size());
  const MaterialRatioCurve::Tally atP = curve.tally(curve.heightAt(p));
  const MaterialRatioCurve::Tally atQ = curve.tally(curve.heightAt(q));
  return {atP.sumAbove / n, atQ.sumAbove / n - atP.sumAbove / n,
          atP.sumBelow / n - atQ.sumBelow / n, atQ.sumBelow / n};
}

}  // namespace corvane
