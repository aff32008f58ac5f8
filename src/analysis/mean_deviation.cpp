#include "analysis/mean_deviation.h"

#include <cmath>

namespace corvane {

float meanDeviationOf(const PointTable& table, float planeHeight) noexcept {
  const int count = table.count();
  if (count == 0) return 0;
  const double plane = planeHeight;
  double sum = 0;
  for (int i = 1; i <= count; ++i) sum += std::fabs(table.row(i).z - plane);
  return static_cast<float>(sum / count);
}

double raFigure(float meanDeviation) noexcept { return static_cast<double>(meanDeviation) / 2.7; }

}  // namespace corvane
