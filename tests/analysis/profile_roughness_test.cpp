// Profile roughness: scan lines found by drops in x, sampling lengths by accumulated x steps.
#include "analysis/profile_roughness.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <vector>

namespace corvane {
namespace {

class ProfileRoughness : public ::testing::Test {
 protected:
  // Appends a scan line with the given x values and heights.
  void scanLine(const std::vector<double>& xs, const std::vector<double>& zs) {
    ASSERT_EQ(xs.size(), zs.size());
    for (std::size_t i = 0; i < xs.size(); ++i) {
      const int row = table->count() + 1;
      table->row(row) = {xs[i], 0.0, zs[i]};
      table->setCount(row);
    }
  }
  static std::vector<double> steps(int count, double step = 1) {
    std::vector<double> xs;
    for (int i = 0; i < count; ++i) xs.push_back(i * step);
    return xs;
  }
  int evaluate(int samplingLength) { return evaluateProfiles(*table, samplingLength, rn); }

  std::unique_ptr<PointTable> table = std::make_unique<PointTable>();
  std::vector<float> rn = std::vector<float>(kMaxPoints + 1, -1.0f);
};

TEST_F(ProfileRoughness, ThreeScanLinesEveryOneEvaluated) {
  std::vector<double> line1(11, 0.0);
  line1[2] = 1;  // inside the first sampling length x = 0..3
  const std::vector<double> flat(11, 4.0);
  std::vector<double> alternating;
  for (int i = 0; i < 11; ++i) alternating.push_back(i % 2);
  scanLine(steps(11), line1);
  scanLine(steps(11), flat);
  scanLine(steps(11), alternating);

  ASSERT_EQ(evaluate(3), 3) << "the last scan line is a profile too";
  EXPECT_EQ(rn[1], 1.0f / 3) << "lengths close at x = 3, 6, 9 with heights 1, 0, 0";
  EXPECT_EQ(rn[2], 0.0f);
  EXPECT_EQ(rn[3], 1.0f);
  EXPECT_EQ(rn[0], -1.0f) << "entry 0 is never written";
  EXPECT_EQ(surfaceRn(rn, 3), (1.0f / 3 + 1.0f) / 2) << "only positive profiles count";
}

TEST_F(ProfileRoughness, OneScanLineGivesOneProfile) {
  scanLine(steps(11), {0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0});
  EXPECT_EQ(evaluate(3), 1);
  EXPECT_EQ(rn[1], 1.0f / 3);
}

TEST_F(ProfileRoughness, ASamplingLengthClosesOnReachingLExactly) {
  // With steps of 1 and L = 3 the first length is rows x = 0..3; x = 4 starts an incomplete one.
  scanLine(steps(5), {0, 0, 0, 0, 10});
  evaluate(3);
  EXPECT_EQ(rn[1], 0.0f) << "the fifth point must not belong to the first sampling length";
}

TEST_F(ProfileRoughness, TheClosingRowBelongsToBothSamplingLengths) {
  scanLine(steps(7), {0, 0, 0, 2, 0, 0, 0});
  evaluate(3);
  EXPECT_EQ(rn[1], 2.0f) << "x = 3 closes the first length and opens the second";
}

TEST_F(ProfileRoughness, TheDistanceIsARunningSumOfStepsNotADifferenceOfX) {
  // x = 0, 0.3, ..., 3.6 as read from text: the running sum after ten steps of 0.3 is
  // 2.999999999999999, just short of 3, so the first length closes at x = 3.3, not 3.0.
  std::vector<double> xs;
  for (int i = 0; i <= 12; ++i) {
    char text[8];
    std::snprintf(text, sizeof text, "%d.%d", (3 * i) / 10, (3 * i) % 10);
    xs.push_back(std::stod(text));
  }
  std::vector<double> zs(xs.size(), 0.0);
  zs[11] = 5;  // x = 3.3
  scanLine(xs, zs);
  evaluate(3);
  EXPECT_EQ(rn[1], 5.0f);
}

TEST_F(ProfileRoughness, EqualXStaysInOneProfileOnlyAStrictDropStartsANewOne) {
  scanLine({0, 1, 1, 2, 3, 3, 4}, {0, 1, 0, 0, 0, 0, 0});
  EXPECT_EQ(evaluate(3), 1);
  scanLine({0, 1, 2, 3}, {0, 0, 0, 0});
  EXPECT_EQ(evaluate(3), 2);
}

TEST_F(ProfileRoughness, EveryProfileStartsFromItsOwnFirstPoint) {
  scanLine(steps(4), {100, 0, 0, 0});
  scanLine(steps(4), {1, 1, 1, 1.5});
  evaluate(3);
  EXPECT_EQ(rn[1], 100.0f);
  EXPECT_EQ(rn[2], 0.5f) << "the first file point's height must not leak into profile 2";
}

TEST_F(ProfileRoughness, ProfilesWithoutACompleteSamplingLengthStoreZero) {
  scanLine(steps(3), {0, 7, 0});  // x reaches only 2 < L
  scanLine({-5}, {9});            // a single point
  std::vector<double> xs;
  for (int x = -10; x < 0; ++x) xs.push_back(x);
  scanLine(xs, std::vector<double>(xs.size(), 3.0));  // flat
  ASSERT_EQ(evaluate(3), 3);
  EXPECT_EQ(rn[1], 0.0f);
  EXPECT_EQ(rn[2], 0.0f);
  EXPECT_EQ(rn[3], 0.0f);
  EXPECT_EQ(surfaceRn(rn, 3), 0.0f) << "no positive profile: the surface figure is 0";
}

TEST_F(ProfileRoughness, AnEmptyTableHasNoProfile) {
  EXPECT_EQ(evaluate(3), 0);
  EXPECT_EQ(rn[1], 0.0f);
  EXPECT_EQ(surfaceRn(rn, 0), 0.0f);
}

TEST_F(ProfileRoughness, ThreeProfileFigureUsesProfiles50_100_150AndNothingStale) {
  for (int profile = 1; profile <= 160; ++profile) {
    scanLine(steps(4), {0, 0, 0, static_cast<double>(profile)});
  }
  ASSERT_EQ(evaluate(3), 160);
  EXPECT_EQ(threeProfileRn(rn), 100.0f);  // (50 + 100 + 150) / 3

  table->setCount(40 * 4);  // the same file cut to 40 profiles
  ASSERT_EQ(evaluate(3), 40);
  EXPECT_EQ(rn[41], 0.0f) << "entries above n are cleared";
  EXPECT_EQ(threeProfileRn(rn), 0.0f) << "missing profiles count 0";
}

TEST_F(ProfileRoughness, ThreeProfileFigureIsFormedInDoublePrecision) {
  std::vector<float> values(kMaxPoints + 1, 0.0f);
  values[50] = 0.1f;
  values[100] = 0.2f;
  values[150] = 0.3f;
  const double exact = (static_cast<double>(0.1f) + 0.2f + 0.3f) / 3;
  EXPECT_EQ(threeProfileRn(values), static_cast<float>(exact));
}

}  // namespace
}  // namespace corvane
