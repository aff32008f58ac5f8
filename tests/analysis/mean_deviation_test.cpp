// Ra: the mean distance of the heights from the reference plane.
#include "analysis/mean_deviation.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "text/result_lines.h"

namespace corvane {
namespace {

std::unique_ptr<PointTable> heights(const std::vector<double>& zs) {
  auto table = std::make_unique<PointTable>();
  for (std::size_t i = 0; i < zs.size(); ++i) table->row(static_cast<int>(i) + 1).z = zs[i];
  table->setCount(static_cast<int>(zs.size()));
  return table;
}

TEST(MeanDeviation, IsTheMeanDistanceFromThePlane) {
  struct Case {
    const char* name;
    std::vector<double> zs;
    float plane;
    float expected;
  };
  const Case cases[] = {
      {"heights 1..4 about 2.5", {1, 2, 3, 4}, 2.5f, 1.0f},
      {"10, 10.5, 12 about 11", {10, 10.5, 12}, 11.0f, static_cast<float>(2.5 / 3)},
      {"a point on the plane counts with distance 0", {2.5, 3.5}, 2.5f, 0.5f},
      {"plane below every point", {5, 6, 7}, 1.0f, 5.0f},
      {"plane above every point", {5, 6, 7}, 10.0f, 4.0f},
      {"every point on the plane", {3, 3}, 3.0f, 0.0f},
      {"no point", {}, 1.0f, 0.0f},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(meanDeviationOf(*heights(c.zs), c.plane), c.expected);
  }
}

TEST(MeanDeviation, TakesThePlaneInSinglePrecision) {
  // 12.34 in the table lies below a plane at position 1234 (12.340000152587890625).
  EXPECT_EQ(meanDeviationOf(*heights({12.34}), 12.34f),
            static_cast<float>(static_cast<double>(12.34f) - 12.34));
}

TEST(RaLine, ShowsTheFigureInPlainNumberText) {
  EXPECT_EQ(raLine("a.txt", raFigure(1.0f)), "a.txt   Ra =  .37037037037037");
  EXPECT_EQ(raLine("a.txt", raFigure(0.5f)), "a.txt   Ra =  .185185185185185");
  EXPECT_EQ(raLine("a.txt", raFigure(0.3f)), "a.txt   Ra =  .11111111552627")
      << "single-precision rounding of the mean shows in the figure";
  EXPECT_EQ(raLine("b.txt", raFigure(0.0f)), "b.txt   Ra =  0");
}

}  // namespace
}  // namespace corvane
