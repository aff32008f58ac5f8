#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <vector>

#include "data/extents.h"
#include "data/point_table.h"

namespace corvane {
namespace {

class ExtentsTest : public ::testing::Test {
 protected:
  Extents extentsOf(const std::vector<Point>& points) {
    for (std::size_t i = 0; i < points.size(); ++i)
      table_->row(static_cast<int>(i) + 1) = points[i];
    table_->setCount(static_cast<int>(points.size()));
    return computeExtents(*table_);
  }

  std::unique_ptr<PointTable> table_ = std::make_unique<PointTable>();
};

// The extents compared field by field, so that the sign of a zero counts too.
void expectSame(const Extents& actual, const Extents& expected) {
  const float Extents::*const fields[] = {&Extents::minX, &Extents::maxX, &Extents::minY,
                                          &Extents::maxY, &Extents::minZ, &Extents::maxZ,
                                          &Extents::meanZ};
  const char* const names[] = {"minX", "maxX", "minY", "maxY", "minZ", "maxZ", "meanZ"};
  for (std::size_t i = 0; i < std::size(fields); ++i) {
    SCOPED_TRACE(names[i]);
    EXPECT_EQ(actual.*fields[i], expected.*fields[i]);
    EXPECT_EQ(std::signbit(actual.*fields[i]), std::signbit(expected.*fields[i]));
  }
}

TEST_F(ExtentsTest, AnEmptyTableGivesZeros) {
  table_->row(1) = {5, 6, 7};  // rows beyond the count do not count
  expectSame(extentsOf({}), Extents{});
}

TEST_F(ExtentsTest, OnePointIsEveryExtentAndTheMean) {
  const Extents extents = extentsOf({{-1.25, 3.0000001, 12.3456789012}});
  const float z = static_cast<float>(12.3456789012);
  expectSame(extents, {-1.25f, -1.25f, static_cast<float>(3.0000001), static_cast<float>(3.0000001),
                       z, z, z});
}

TEST_F(ExtentsTest, TakesTheExtremesOfEachCoordinate) {
  table_->row(0) = {-1000, -1000, -1000};  // row 0 and rows beyond the count do not count
  table_->row(5) = {1000, 1000, 1000};
  const Extents extents =
      extentsOf({{-2.5, -7, -0.125}, {-9.75, -1, -0.5}, {-4, -3, -0.25}, {-3, -8, -0.375}});
  expectSame(extents, {-9.75f, -2.5f, -8.0f, -1.0f, -0.5f, -0.125f, -0.3125f});
}

TEST_F(ExtentsTest, KeepsTheSinglePrecisionValueOfTheExtremeRow) {
  // Both heights round to the same float, which lies above the second: that one neither raises
  // the maximum nor changes the minimum's value.
  const float rounded = static_cast<float>(12.3456789012);
  ASSERT_EQ(rounded, static_cast<float>(12.34567891));
  ASSERT_GT(static_cast<double>(rounded), 12.34567891);
  const Extents extents = extentsOf({{0, 0, 12.3456789012}, {0, 0, 12.34567891}});
  EXPECT_EQ(extents.maxZ, rounded);
  EXPECT_EQ(extents.minZ, rounded);
  // A value above the float extent by less than single precision moves it to the same value.
  const Extents above = extentsOf({{0, 0, 1.0}, {0, 0, 1.0 + 1e-12}, {0, 0, 1.0 - 1e-12}});
  EXPECT_EQ(above.maxZ, 1.0f);
  EXPECT_EQ(above.minZ, 1.0f);
}

TEST_F(ExtentsTest, ComparesTheWidenedExtentWithTheTableValueStrictly) {
  // The signs of zeros show which comparison was made: an equal value leaves the extent; a
  // value beyond it only in double precision moves it.
  const struct {
    double first;
    double second;
    float min;
    float max;
  } cases[] = {
      {-0.0, 0.0, -0.0f, -0.0f},  // equal: the first zero stays
      {0.0, -0.0, 0.0f, 0.0f},
      {-1e-50, 0.0, -0.0f, -0.0f},  // 0 is not above the float -0 of -1e-50
      {1e-50, -0.0, 0.0f, 0.0f},
      {-1e-50, 1e-60, -0.0f, 0.0f},  // 1e-60 is above -0, although both are 0 as floats
      {1e-50, -1e-60, -0.0f, 0.0f},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.first) + " then " + std::to_string(c.second));
    const Extents extents =
        extentsOf({{c.first, c.first, c.first}, {c.second, c.second, c.second}});
    const float mean = static_cast<float>((c.first + c.second) / 2);
    expectSame(extents, {c.min, c.max, c.min, c.max, c.min, c.max, mean});
  }
}

TEST_F(ExtentsTest, AveragesHeightsInDoubleThenRoundsToSingle) {
  // A float sum loses the small heights beside 2^24.
  const Extents big = extentsOf({{0, 0, 16777216.0}, {0, 0, 1.0}, {0, 0, 1.0}});
  EXPECT_EQ(big.meanZ, 5592406.0f);

  // Here dividing in single precision would round to the neighbouring float.
  const double z[] = {-73.127151, 69.486747, 52.754924};
  const float expected = static_cast<float>((z[0] + z[1] + z[2]) / 3);
  ASSERT_NE(expected, static_cast<float>(z[0] + z[1] + z[2]) / 3.0f);
  EXPECT_EQ(extentsOf({{0, 0, z[0]}, {0, 0, z[1]}, {0, 0, z[2]}}).meanZ, expected);
}

}  // namespace
}  // namespace corvane
