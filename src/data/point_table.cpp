#include "data/point_table.h"

#include <algorithm>

namespace corvane {

PointTable::PointTable() : rows_(static_cast<std::size_t>(kMaxPoints) + 1) {}

void PointTable::setCount(int count) noexcept { count_ = std::clamp(count, 0, kMaxPoints); }

void PointTable::clear() noexcept {
  std::fill(rows_.begin() + 1, rows_.end(), Point{});
  count_ = 0;
}

}  // namespace corvane
