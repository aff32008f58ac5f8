// The plan view's points as they land in the picture box.
#include "plot/point_plots.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "data/extents.h"
#include "plot/picture_box.h"

namespace corvane {
namespace {

QRgb grey(int level) { return qRgb(level, level, level); }

// The main window's plan view: a 516 x 476 picture scaled to the points' extents.
class PlotPointsTest : public ::testing::Test {
 protected:
  PlotPointsTest() { box.resize(520, 480); }

  // Loads the points, scales the box to them and plots them.
  void plot(const std::vector<Point>& points, int drawWidth = 1, int brightness = 255,
            double onlyAbove = -std::numeric_limits<double>::infinity()) {
    for (std::size_t i = 0; i < points.size(); ++i) table->row(static_cast<int>(i) + 1) = points[i];
    table->setCount(static_cast<int>(points.size()));
    extents = computeExtents(*table);
    view = planViewOf(extents, brightness);
    box.cls();
    box.setScale(view.logicalWidth, view.logicalHeight);
    box.setDrawWidth(drawWidth);
    plotPoints(box, *table, extents, view, onlyAbove);
  }

  int litCount() {
    const QImage& image = box.image();
    int lit = 0;
    for (int y = 0; y < image.height(); ++y) {
      for (int x = 0; x < image.width(); ++x) lit += image.pixel(x, y) != grey(0);
    }
    return lit;
  }

  PictureBox box;
  std::unique_ptr<PointTable> table = std::make_unique<PointTable>();
  Extents extents;
  PlanView view;
};

TEST_F(PlotPointsTest, PutsTheLargestYAtTheTopAndTheSmallestXAtTheLeft) {
  // x and y 0..10 on a logical 10.1 x 10.1: 10 lands in column floor(10 * 516 / 10.1) = 510
  // and row floor(10 * 476 / 10.1) = 471. Heights 0..5 make levels of 51 per unit.
  plot({{0, 10, 2.5}, {10, 10, 5}, {10, 0, 4}, {0, 0, 0}, {5, 5, 1}});
  const QImage& image = box.image();
  EXPECT_EQ(image.pixel(0, 0), grey(127)) << "smallest x, largest y: top left";
  EXPECT_EQ(image.pixel(510, 0), grey(255)) << "top right";
  EXPECT_EQ(image.pixel(510, 471), grey(204)) << "bottom right";
  EXPECT_EQ(image.pixel(255, 235), grey(51)) << "the middle";
  EXPECT_EQ(litCount(), 4) << "the lowest point, bottom left, is black";
}

TEST_F(PlotPointsTest, DrawsInTableOrderSoLaterPointsCoverEarlierOnes) {
  const struct {
    double first;
    double second;
  } orders[] = {{1, 4}, {4, 1}};
  for (const auto& order : orders) {
    SCOPED_TRACE(std::to_string(order.first) + " then " + std::to_string(order.second));
    plot({{0, 0, 0}, {10, 10, 5}, {5, 5, order.first}, {5.01, 5, order.second}}, 5);
    EXPECT_EQ(box.image().pixel(256, 235), grey(static_cast<int>(51 * order.second)));
  }
}

TEST_F(PlotPointsTest, DrawsOnlyPointsStrictlyAboveTheLimit) {
  const std::vector<Point> points{{0, 0, 0}, {10, 10, 5}, {2, 5, 1}, {4, 5, 2}, {6, 5, 3}};
  const struct {
    double onlyAbove;
    std::vector<bool> drawn;  // the points at heights 1, 2 and 3
  } cases[] = {
      {-std::numeric_limits<double>::infinity(), {true, true, true}},
      {0.999, {true, true, true}},
      {1, {false, true, true}},
      {2.5, {false, false, true}},
      {3, {false, false, false}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.onlyAbove);
    plot(points, 1, 255, c.onlyAbove);
    for (int k = 0; k < 3; ++k) {
      // x = 2, 4, 6 at y = 5.
      const QRgb pixel = box.image().pixel(static_cast<int>((2 + 2 * k) * 516 / 10.1f), 235);
      EXPECT_EQ(pixel, c.drawn[k] ? grey(51 * (k + 1)) : grey(0)) << "height " << k + 1;
    }
  }
}

TEST_F(PlotPointsTest, DrawsAFlatSurfaceInOneGreyUpTo255) {
  for (const int brightness : {100, 500}) {
    SCOPED_TRACE(brightness);
    plot({{0, 0, 2}, {10, 10, 2}, {5, 5, 2}}, 3, brightness);
    const QRgb expected = grey(std::min(brightness, 255));
    EXPECT_EQ(box.image().pixel(0, 471), expected);
    EXPECT_EQ(box.image().pixel(510, 0), expected);
    EXPECT_EQ(box.image().pixel(255, 235), expected);
    EXPECT_EQ(litCount(), 9 + 6 + 6) << "a 3-pixel dot, and two cut off at the left and top";
  }
}

TEST_F(PlotPointsTest, GivesThePixelsOfOneDotPerPoint) {
  // A scan that overlaps itself, plotted at every width against the same points drawn one by
  // one. The picture is scaled a little short of the points, so that dots are cut off at all
  // four edges: the smallest x and the largest y on the left and top, the others beyond the
  // right and bottom.
  std::vector<Point> points;
  for (int i = 0; i < 4000; ++i) {
    const double x = (i * 7919 % 1009) / 100.0;
    const double y = (i * 104729 % 997) / 99.0;
    points.push_back({x, y, (i * 31 % 101) / 10.0});
  }
  for (int width = 1; width <= 7; ++width) {
    SCOPED_TRACE(width);
    plot(points, width, 600, 0.5);
    box.cls();
    box.setScale(view.logicalWidth * 0.9, view.logicalHeight * 0.95);
    plotPoints(box, *table, extents, view, 0.5);
    const QImage plotted = box.image();
    box.cls();
    for (int i = 1; i <= table->count(); ++i) {
      const Point& p = table->row(i);
      if (!(p.z > 0.5)) continue;
      const int level = greyLevel(view, p.z, extents.minZ);
      box.pset(toSingle(p.x - extents.minX), toSingle(extents.maxY - p.y),
               PictureBox::rgb(level, level, level));
    }
    EXPECT_EQ(plotted, box.image());
  }
}

}  // namespace
}  // namespace corvane
