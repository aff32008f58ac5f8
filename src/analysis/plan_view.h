#pragma once

#include <cfloat>
#include <cmath>

#include "data/extents.h"

namespace corvane {

// How the points are drawn from above: x to the right, y upwards, each point a grey dot whose
// level rises linearly from 0 (black) at the lowest height to the brightness at the highest.
//
// The picture's logical size is the extent plus 0.1 data units on each axis, so the points at
// the largest x and the smallest y stay inside. A point's logical position is (x - minX,
// maxY - y), each difference in double precision and then in single precision.

struct PlanView {
  // brightness / (maxZ - minZ), in single precision where it fits.
  double brightnessFactor = 0;
  // When every height is equal (maxZ == minZ) there is no factor: every point is drawn at this
  // grey level, min(brightness, 255) (0 for a negative brightness), so a flat surface stays
  // visible. -1 otherwise.
  int flatGrey = -1;
  double logicalWidth = 0;   // (maxX - minX) + 0.1
  double logicalHeight = 0;  // (maxY - minY) + 0.1
};

PlanView planViewOf(const Extents& extents, int brightness) noexcept;

// The grey level of height z: brightness factor * (z - minZ) in double precision, rounded down;
// a level below 0 (rounding at the lowest point) is 0 and one above 255 is 255.
inline int greyLevel(const PlanView& view, double z, float minZ) noexcept {
  if (view.flatGrey >= 0) return view.flatGrey;
  const double level = view.brightnessFactor * (z - static_cast<double>(minZ));
  // Rounded down and kept within 0..255: NaN (an infinite factor times a zero height
  // difference) and a level below 0 are 0, a level of 256 or more 255, and in between
  // truncation rounds down. Two selects that compilers can make into max and min, as this
  // runs for every point drawn.
  const double atLeastZero = level >= 0 ? level : 0.0;
  return static_cast<int>(atLeastZero < 255.0 ? atLeastZero : 255.0);
}

// v rounded to single precision where single precision can hold it; beyond that range v itself,
// so that the most extreme extents still give finite, ordered positions.
inline double toSingle(double v) noexcept {
  // Converting a double beyond the float range (or NaN) to float is undefined.
  if (std::fabs(v) <= static_cast<double>(FLT_MAX)) {
    return static_cast<double>(static_cast<float>(v));
  }
  return v;
}

}  // namespace corvane
