#include "data/point_list.h"

#include <algorithm>
#include <cstdint>

namespace corvane {

bool PointList::grow(int limit) {
  const int now = capacity();
  if (now >= limit) return false;
  // The first room is the window's table: a file that passes it is known at once.
  const std::int64_t wanted = now < kMaxPoints ? kMaxPoints : std::int64_t{now} + now / 2;
  rows_.resize(static_cast<std::size_t>(std::min<std::int64_t>(wanted, limit)) + 1);
  return true;
}

void PointList::trim() {
  const auto used = static_cast<std::size_t>(count_) + 1;
  if (rows_.size() - used > used / 8)
    std::vector<Point>(rows_.begin(), rows_.begin() + static_cast<std::ptrdiff_t>(used))
        .swap(rows_);
}

}  // namespace corvane
