#pragma once

#include <span>
#include <string>
#include <string_view>

#include "data/extents.h"

namespace corvane {

// What the two picture boxes show, in words: a screen reader reads them as the pictures'
// descriptions. Numbers are locale number texts with the given decimal separator.

// The plan-view picture with nothing drawn.
std::string emptyPlanViewDescription();

// The plan view of all `points` loaded points.
std::string planViewDescription(int points, const Extents& extents,
                                std::string_view decimalSeparator);

// The plan view of only the points strictly above the reference plane at `planeHeight`.
std::string abovePlaneDescription(int points, const Extents& extents, float planeHeight,
                                  std::string_view decimalSeparator);

// The profile plot with nothing drawn.
std::string emptyProfilePlotDescription();

// The profile plot of the Rn values of profiles 1..n, given in order (no entry 0).
std::string profilePlotDescription(std::span<const float> profileRn,
                                   std::string_view decimalSeparator);

}  // namespace corvane
