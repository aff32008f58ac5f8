#include "analysis/plan_view.h"

#include <algorithm>

namespace corvane {

PlanView planViewOf(const Extents& extents, int brightness) noexcept {
  PlanView view;
  if (extents.maxZ == extents.minZ) {
    // Every point at the same height: no factor, one grey level for all of them.
    view.flatGrey = std::clamp(brightness, 0, 255);
  } else {
    view.brightnessFactor =
        toSingle(static_cast<double>(static_cast<float>(brightness)) /
                 (static_cast<double>(extents.maxZ) - static_cast<double>(extents.minZ)));
  }
  view.logicalWidth =
      toSingle((static_cast<double>(extents.maxX) - static_cast<double>(extents.minX)) + 0.1);
  view.logicalHeight =
      toSingle((static_cast<double>(extents.maxY) - static_cast<double>(extents.minY)) + 0.1);
  return view;
}

}  // namespace corvane
