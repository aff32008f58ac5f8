#include "analysis/profile_roughness.h"

#include <algorithm>

namespace corvane {

namespace {

// Evaluates the profile of rows first..last and returns its Rn.
float profileRnOf(const PointTable& table, int first, int last, double samplingLength) {
  double sum = 0;  // peak-to-valley heights of the complete sampling lengths
  int complete = 0;
  double distance = 0;
  double hi = table.row(first).z;
  double lo = hi;
  for (int j = first; j <= last; ++j) {
    const Point& p = table.row(j);
    if (p.z > hi) hi = p.z;
    if (p.z < lo) lo = p.z;
    if (distance >= samplingLength) {
      sum += hi - lo;
      ++complete;
      hi = p.z;
      lo = p.z;
      distance = 0;
    }
    // The step to the next row, added in this order: (d + x(j+1)) - x(j). After the profile's
    // last row there is no step that matters.
    if (j < last) distance = (distance + table.row(j + 1).x) - p.x;
  }
  return complete == 0 ? 0.0f : static_cast<float>(sum / complete);
}

}  // namespace

int evaluateProfiles(const PointTable& table, int samplingLength, std::span<float> profileRn) {
  const int count = table.count();
  const double length = samplingLength;
  int n = 0;
  int first = 1;
  for (int i = 1; i <= count; ++i) {
    const bool lastRow = i == count;
    if (lastRow || table.row(i).x > table.row(i + 1).x) {
      profileRn[static_cast<std::size_t>(++n)] = profileRnOf(table, first, i, length);
      first = i + 1;
    }
  }
  if (profileRn.size() > static_cast<std::size_t>(n) + 1) {
    std::fill(profileRn.begin() + n + 1, profileRn.end(), 0.0f);
  }
  return n;
}

float surfaceRn(std::span<const float> profileRn, int profileCount) {
  float sum = 0;
  int positive = 0;
  for (int k = 1; k <= profileCount; ++k) {
    const float rn = profileRn[static_cast<std::size_t>(k)];
    sum += rn;
    if (rn > 0) ++positive;
  }
  return positive == 0 ? 0.0f : static_cast<float>(sum / static_cast<float>(positive));
}

float threeProfileRn(std::span<const float> profileRn) {
  const double sum = static_cast<double>(profileRn[50]) + profileRn[100] + profileRn[150];
  return static_cast<float>(sum / 3);
}

}  // namespace corvane
