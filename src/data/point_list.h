#pragma once

#include <span>
#include <vector>

#include "data/point_table.h"

namespace corvane {

// The most points corvane-batch reads from one file for the figures beyond the window's: a
// limit above any measurement a machine holds in memory whole, refused with a message.
inline constexpr int kMaxListPoints = 1 << 28;

// Points read from a file of any size up to a limit: rows 1..count() as in the PointTable,
// grown as the file is read (by half again each time, so the room beyond the points stays
// under a third of them).
class PointList {
 public:
  int count() const noexcept { return count_; }
  std::span<const Point> points() const noexcept {
    return {rows_.data() + 1, static_cast<std::size_t>(count_)};
  }

  // For the reader: rows 0.. of the room there is, and more room up to `limit` points (false
  // when the list already holds room for them).
  Point* rows() noexcept { return rows_.data(); }
  int capacity() const noexcept { return static_cast<int>(rows_.size()) - 1; }
  bool grow(int limit);
  void setCount(int count) noexcept { count_ = count; }
  // Room for exactly `count` points, for a reader that knows their number before it reads them;
  // rows 1..count of rows() are then to be written and setCount() told how many were.
  // Rows the list held before keep what they held (the reader overwrites them): a list read
  // into again at the same size writes its points once, not twice.
  Point* resize(int count) {
    rows_.resize(static_cast<std::size_t>(count) + 1);
    count_ = 0;
    return rows_.data();
  }
  // Gives back room beyond the points when it is more than an eighth of them: a file read whole
  // keeps no more than it holds for the analysis that follows.
  void trim();
  // Gives the room of a list no longer needed back.
  void release() {
    rows_ = {};
    count_ = 0;
  }

 private:
  std::vector<Point> rows_ = std::vector<Point>(1);
  int count_ = 0;
};

}  // namespace corvane
