#include "analysis/profile_slope_spacing.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "analysis/non_measured.h"

namespace corvane {

double rootMeanSquareSlope(std::span<const double> r, std::size_t first, std::size_t last,
                           double dx) {
  const std::size_t from = std::max<std::size_t>(first, 3);
  const std::size_t to = std::min(last, r.size() >= 3 ? r.size() - 3 : 0);  // one past
  if (from >= to) return std::numeric_limits<double>::quiet_NaN();
  const auto slopeAt = [&](std::size_t i) {
    return ((r[i + 3] - r[i - 3]) - 9 * (r[i + 2] - r[i - 2]) + 45 * (r[i + 1] - r[i - 1])) /
           (60 * dx);
  };
  double sum = 0;
  if (!hasNonMeasured(r.subspan(from - 3, to - from + 6))) {
    for (std::size_t i = from; i < to; ++i) {
      const double slope = slopeAt(i);
      sum += slope * slope;
    }
    return std::sqrt(sum / static_cast<double>(to - from));
  }
  std::size_t count = 0;
  for (std::size_t i = from; i < to; ++i) {
    const double slope = slopeAt(i);
    // NaN where the point or a neighbour is not measured.
    if (!isMeasured(slope) || !isMeasured(r[i])) continue;
    sum += slope * slope;
    ++count;
  }
  if (count == 0) return std::numeric_limits<double>::quiet_NaN();
  return std::sqrt(sum / static_cast<double>(count));
}

namespace {

// RSm over a profile with non-measured points: the same walk over the measured points alone.
double maskedMeanElementWidth(std::span<const double> x, std::span<const double> r,
                              std::size_t first, std::size_t last, double h) {
  bool low = false, crossed = false, started = false;
  double crossing = 0, firstX = 0, lastX = 0, before = 0, beforeX = 0;
  std::size_t count = 0;
  for (std::size_t i = first; i < last; ++i) {
    const double here = r[i];
    if (!isMeasured(here)) continue;
    if (started && before < 0 && here >= 0) {
      crossing = beforeX + (x[i] - beforeX) * (-before) / (here - before);
      crossed = true;
    }
    started = true;
    before = here;
    beforeX = x[i];
    const bool goesLow = here <= -h;
    const bool rises = !goesLow && low && here >= h;
    if (rises && crossed) {
      if (count == 0) firstX = crossing;
      lastX = crossing;
      ++count;
    }
    low = goesLow || (low && !rises);
  }
  if (count < 2) return std::numeric_limits<double>::quiet_NaN();
  return (lastX - firstX) / static_cast<double>(count - 1);
}

}  // namespace

double meanElementWidth(std::span<const double> x, std::span<const double> r, std::size_t first,
                        std::size_t last, double discrimination) {
  if (hasNonMeasured(r.subspan(first, last - first))) {
    return maskedMeanElementWidth(x, r, first, last, discrimination);
  }
  const double h = discrimination;
  // The elements of a rough profile are a few points long, so the state changes too often for
  // branches to be predicted: the walk is written with selects. k = 0 stands for "no upward
  // zero crossing seen yet" (a crossing's k is at least first + 1).
  bool low = false;
  std::size_t crossing = 0, firstK = 0, lastK = 0, count = 0;
  // Bitwise & and | on the conditions: && would branch.
  double before = 0;  // r(i - 1); 0 at the first point, where no crossing can end
  for (std::size_t i = first; i < last; ++i) {
    const double here = r[i];
    const bool upward = (before < 0) & (here >= 0);
    before = here;
    crossing = upward ? i : crossing;
    const bool goesLow = here <= -h;
    const bool rises = !goesLow & low & (here >= h);
    const bool records = rises & (crossing != 0);
    firstK = (records & (count == 0)) ? crossing : firstK;
    lastK = records ? crossing : lastK;
    count += records ? 1 : 0;
    low = goesLow | (low & !rises);
  }
  if (count < 2) return std::numeric_limits<double>::quiet_NaN();
  const auto at = [&](std::size_t k) {
    return x[k - 1] + (x[k] - x[k - 1]) * (-r[k - 1]) / (r[k] - r[k - 1]);
  };
  return (at(lastK) - at(firstK)) / static_cast<double>(count - 1);
}

}  // namespace corvane
