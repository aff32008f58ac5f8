#include "analysis/profile_slope_spacing.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace corvane {

double rootMeanSquareSlope(std::span<const double> r, std::size_t first, std::size_t last,
                           double dx) {
  const std::size_t from = std::max<std::size_t>(first, 3);
  const std::size_t to = std::min(last, r.size() >= 3 ? r.size() - 3 : 0);  // one past
  if (from >= to) return std::numeric_limits<double>::quiet_NaN();
  double sum = 0;
  for (std::size_t i = from; i < to; ++i) {
    const double slope =
        ((r[i + 3] - r[i - 3]) - 9 * (r[i + 2] - r[i - 2]) + 45 * (r[i + 1] - r[i - 1])) /
        (60 * dx);
    sum += slope * slope;
  }
  return std::sqrt(sum / static_cast<double>(to - from));
}

double meanElementWidth(std::span<const double> x, std::span<const double> r, std::size_t first,
                        std::size_t last, double discrimination) {
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
