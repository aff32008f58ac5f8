#pragma once

#include <vector>

namespace corvane {

// The largest number of points a point file may hold.
inline constexpr int kMaxPoints = 100000;

struct Point {
  double x = 0;
  double y = 0;
  double z = 0;
};

// The window's point table. Rows are numbered from 1 as in the file (row r holds point r);
// row 0 exists but is never written. The table is allocated once at its full size and never
// resized, so a load never allocates. Rows 1..count() hold the current file; a load overwrites
// only those rows, and clear() zeroes every row.
class PointTable {
 public:
  PointTable();

  int count() const noexcept { return count_; }
  void setCount(int count) noexcept;

  // r in 0..kMaxPoints.
  Point& row(int r) noexcept { return rows_[static_cast<std::size_t>(r)]; }
  const Point& row(int r) const noexcept { return rows_[static_cast<std::size_t>(r)]; }

  // Zeroes rows 1..kMaxPoints and sets the count to 0; row 0 is left alone.
  void clear() noexcept;

 private:
  std::vector<Point> rows_;
  int count_ = 0;
};

}  // namespace corvane
