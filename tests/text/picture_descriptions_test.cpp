#include "text/picture_descriptions.h"

#include <gtest/gtest.h>

#include <vector>

namespace corvane {
namespace {

TEST(PictureDescriptions, NameWhatIsDrawnWithTheLocaleSeparator) {
  const Extents extents{
      .minX = 0, .maxX = 39.5f, .minY = -2, .maxY = 24.25f, .minZ = 0.5f, .maxZ = 3, .meanZ = 1};
  EXPECT_EQ(planViewDescription(100000, extents, ","),
            "Plan view of 100000 points, seen from above, lighter where higher: x from 0 to 39,5, "
            "y from -2 to 24,25, heights from 0,5 to 3.");
  EXPECT_EQ(abovePlaneDescription(12, extents, 1.25f, "."),
            "Plan view of the points above the reference plane at 1.25 (of 12 points), seen from "
            "above, lighter where higher: x from 0 to 39.5, y from -2 to 24.25.");
}

TEST(PictureDescriptions, ProfilePlotGivesItsProfilesAndTheirLowestAndHighestRn) {
  const std::vector<float> rn{0.5f, 0.125f, 2, 0.75f};
  EXPECT_EQ(
      profilePlotDescription(rn, "."),
      "Plot of the Rn of 4 profiles as a line, profile 1 at the bottom, profile 4 at the top, "
      "an Rn of 1 at the right edge: Rn from 0.125 to 2.");
  EXPECT_EQ(profilePlotDescription({}, "."), emptyProfilePlotDescription());
}

}  // namespace
}  // namespace corvane
