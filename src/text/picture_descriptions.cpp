#include "text/picture_descriptions.h"

#include <algorithm>

#include "text/number_text.h"

namespace corvane {

namespace {

std::string range(float from, float to, std::string_view decimalSeparator) {
  return "from " + localeNumberText(from, decimalSeparator) + " to " +
         localeNumberText(to, decimalSeparator);
}

std::string area(const Extents& extents, std::string_view decimalSeparator) {
  return "x " + range(extents.minX, extents.maxX, decimalSeparator) + ", y " +
         range(extents.minY, extents.maxY, decimalSeparator);
}

}  // namespace

std::string emptyPlanViewDescription() {
  return "Plan view of the points, seen from above: nothing drawn. Draw plots the loaded points.";
}

std::string planViewDescription(int points, const Extents& extents,
                                std::string_view decimalSeparator) {
  return "Plan view of " + std::to_string(points) +
         " points, seen from above, lighter where higher: " + area(extents, decimalSeparator) +
         ", heights " + range(extents.minZ, extents.maxZ, decimalSeparator) + ".";
}

std::string abovePlaneDescription(int points, const Extents& extents, float planeHeight,
                                  std::string_view decimalSeparator) {
  return "Plan view of the points above the reference plane at " +
         localeNumberText(planeHeight, decimalSeparator) + " (of " + std::to_string(points) +
         " points), seen from above, lighter where higher: " + area(extents, decimalSeparator) +
         ".";
}

std::string emptyProfilePlotDescription() {
  return "Plot of the Rn of each profile: nothing drawn. Calculate in the Rn3d panel draws it.";
}

std::string profilePlotDescription(std::span<const float> profileRn,
                                   std::string_view decimalSeparator) {
  if (profileRn.empty()) return emptyProfilePlotDescription();
  const auto [lowest, highest] = std::minmax_element(profileRn.begin(), profileRn.end());
  const std::string n = std::to_string(profileRn.size());
  return "Plot of the Rn of " + n + " profiles as a line, profile 1 at the bottom, profile " + n +
         " at the top, an Rn of 1 at the right edge: Rn " +
         range(*lowest, *highest, decimalSeparator) + ".";
}

}  // namespace corvane
