#include "analysis/plan_view.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <limits>
#include <string>

namespace corvane {
namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

Extents heightsFrom(float minZ, float maxZ) { return {0, 10, 0, 10, minZ, maxZ, 0}; }

TEST(PlanViewGrey, RisesFromBlackAtTheLowestPointToTheBrightness) {
  const struct {
    float minZ;
    float maxZ;
    int brightness;
    double z;
    int grey;
  } cases[] = {
      {-2, 3, 255, -2, 0},     // the lowest point is black
      {-2, 3, 255, 3, 255},    // the highest is white
      {-2, 3, 255, 0.5, 127},  // 127.5 rounds down
      {-2, 3, 100, 3, 100},    // a dimmer picture
      // Brightness 500 over heights 0..10: everything above the middle is white.
      {0, 10, 500, 5, 250},
      {0, 10, 500, 5.2, 255},
      {0, 10, 500, 7.5, 255},
      {0, 10, 500, 10, 255},
      {0, 10, 500, 2.5, 125},
      // The factor is held in single precision, so here the highest point ends one level short.
      {0, 0.091f, 255, 0.091f, 254},
      // The lowest table value lies below its single-precision minimum; the level would be -1.
      {0.1f, 1, 255, 0.1, 0},
      // A height range of one float step gives a factor far beyond single precision.
      {0, std::numeric_limits<float>::denorm_min(), 255, 0, 0},
      {0, std::numeric_limits<float>::denorm_min(), 255, 1e-46, 18},
      {0, std::numeric_limits<float>::denorm_min(), 255, std::numeric_limits<float>::denorm_min(),
       255},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.minZ) + ".." + std::to_string(c.maxZ) + " brightness " +
                 std::to_string(c.brightness) + " z " + std::to_string(c.z));
    const PlanView view = planViewOf(heightsFrom(c.minZ, c.maxZ), c.brightness);
    EXPECT_EQ(view.flatGrey, -1);
    EXPECT_EQ(greyLevel(view, c.z, c.minZ), c.grey);
  }
}

TEST(PlanViewGrey, OutOfRangeProductsAreBlackOrWhite) {
  const struct {
    double factor;
    double z;
    int grey;
  } cases[] = {
      {kInf, 0, 0},  // infinity times a zero height difference is NaN
      {kInf, 1e-300, 255}, {kNaN, 1, 0}, {1e300, 1e300, 255},  // an infinite product
      {1e300, -1e300, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.factor) + " * " + std::to_string(c.z));
    PlanView view;
    view.brightnessFactor = c.factor;
    EXPECT_EQ(greyLevel(view, c.z, 0.0f), c.grey);
  }
}

TEST(PlanViewGrey, AFlatSurfaceIsDrawnAtTheBrightnessUpTo255) {
  const struct {
    int brightness;
    int grey;
  } cases[] = {{100, 100}, {255, 255}, {500, 255}, {0, 0}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.brightness);
    const PlanView view = planViewOf(heightsFrom(4.5f, 4.5f), c.brightness);
    EXPECT_EQ(view.flatGrey, c.grey);
    for (double z : {4.5, 4.4, 4.6}) EXPECT_EQ(greyLevel(view, z, 4.5f), c.grey) << z;
  }
}

TEST(PlanViewSize, IsTheExtentPlusATenthInSinglePrecision) {
  const struct {
    Extents extents;
    double width;
    double height;
  } cases[] = {
      {{1, 11, -3, 2, 0, 1, 0}, static_cast<float>(10.1), static_cast<float>(5.1)},
      {{5, 5, -3, 2, 0, 1, 0}, static_cast<float>(0.1), static_cast<float>(5.1)},   // equal x
      {{1, 11, 7, 7, 0, 1, 0}, static_cast<float>(10.1), static_cast<float>(0.1)},  // equal y
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.width) + " x " + std::to_string(c.height));
    const PlanView view = planViewOf(c.extents, 255);
    EXPECT_EQ(view.logicalWidth, c.width);
    EXPECT_EQ(view.logicalHeight, c.height);
  }
}

TEST(PlanViewSize, ExtremeExtentsGiveFiniteOrderedPositions) {
  const Extents extents{-3e38f, 3e38f, -3e38f, 3e38f, -3e38f, 3e38f, 0};
  const PlanView view = planViewOf(extents, 255);
  EXPECT_TRUE(std::isfinite(view.logicalWidth));
  EXPECT_TRUE(std::isfinite(view.logicalHeight));
  EXPECT_GT(view.logicalWidth, FLT_MAX) << "6e38 stays beyond single precision";
  // Positions of the smallest, a middle and the largest x, as the plot computes them.
  const double left = toSingle(double(extents.minX) - extents.minX);
  const double middle = toSingle(0.0 - extents.minX);
  const double right = toSingle(double(extents.maxX) - extents.minX);
  EXPECT_EQ(left, 0);
  EXPECT_LT(left, middle);
  EXPECT_LT(middle, right);
  EXPECT_LE(right, view.logicalWidth) << "the tenth is lost beside 6e38";
  EXPECT_EQ(greyLevel(view, extents.minZ, extents.minZ), 0);
  EXPECT_GE(greyLevel(view, extents.maxZ, extents.minZ), 254);
}

TEST(ToSingle, RoundsToFloatWhereItFitsAndKeepsTheRest) {
  const double aboveFloatMax = std::nextafter(static_cast<double>(FLT_MAX), kInf);
  const struct {
    double value;
    double single;
  } cases[] = {
      {0.1, static_cast<float>(0.1)},
      {-12.3456789012, static_cast<float>(-12.3456789012)},
      {FLT_MAX, FLT_MAX},
      {-FLT_MAX, -FLT_MAX},
      {aboveFloatMax, aboveFloatMax},  // rounds to FLT_MAX as a float, but stays
      {1e39, 1e39},
      {-1e300, -1e300},
      {kInf, kInf},
      {-kInf, -kInf},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.value);
    EXPECT_EQ(toSingle(c.value), c.single);
  }
  EXPECT_TRUE(std::isnan(toSingle(kNaN)));
}

}  // namespace
}  // namespace corvane
