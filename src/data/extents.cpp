#include "data/extents.h"

#include <algorithm>
#include <cmath>

namespace corvane {
namespace {

// One extent in single precision, with its value widened to double kept beside it so that the
// comparisons with the table's doubles need no conversion.
class Extent {
 public:
  explicit Extent(double first) noexcept : value_(static_cast<float>(first)), widened_(value_) {}

  // Moves the extent only when the value lies strictly beyond it, so an equal value (also a
  // zero of the other sign) leaves it as it is.
  void raise(double value) noexcept {
    if (widened_ < value) set(value);
  }
  void lower(double value) noexcept {
    if (widened_ > value) set(value);
  }

  float value() const noexcept { return value_; }

 private:
  void set(double value) noexcept {
    value_ = static_cast<float>(value);
    widened_ = value_;
  }

  float value_;
  double widened_;
};

}  // namespace

Extents computeExtents(const PointTable& table) noexcept {
  return computeExtents(
      {&table.row(1), static_cast<std::size_t>(table.count() > 0 ? table.count() : 0)});
}

Extents computeExtents(std::span<const Point> points) noexcept {
  // A point whose height is NaN is a grid's non-measured point (a point file holds none): it is
  // left out.
  const auto measured = [](const Point& point) { return !std::isnan(point.z); };
  const auto start = std::find_if(points.begin(), points.end(), measured);
  if (start == points.end()) return Extents{};
  const Point& first = *start;
  Extent minX(first.x), maxX(first.x), minY(first.y), maxY(first.y), minZ(first.z), maxZ(first.z);
  double sumZ = 0;
  std::size_t count = 0;
  for (const Point& point : points) {
    if (!measured(point)) continue;
    ++count;
    maxZ.raise(point.z);
    minZ.lower(point.z);
    maxX.raise(point.x);
    minX.lower(point.x);
    maxY.raise(point.y);
    minY.lower(point.y);
    sumZ += point.z;
  }
  Extents extents;
  extents.minX = minX.value();
  extents.maxX = maxX.value();
  extents.minY = minY.value();
  extents.maxY = maxY.value();
  extents.minZ = minZ.value();
  extents.maxZ = maxZ.value();
  extents.meanZ = static_cast<float>(sumZ / static_cast<double>(count));
  return extents;
}

}  // namespace corvane
