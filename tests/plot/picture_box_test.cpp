// The picture box's pixels: where dots and lines land, their shapes, colours and clipping, and
// that the picture survives clearing, scaling and covering the window.
#include "plot/picture_box.h"

#include <gtest/gtest.h>

#include <QEvent>
#include <QTest>
#include <cmath>
#include <limits>
#include <memory>
#include <string>
#include <vector>

namespace corvane {
namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
const QRgb kWhite = qRgb(255, 255, 255);
const QRgb kBlack = qRgb(0, 0, 0);

// A box whose inner drawing area is width x height pixels, never shown.
std::unique_ptr<PictureBox> boxOf(int width, int height) {
  auto box = std::make_unique<PictureBox>();
  box->resize(width + 4, height + 4);
  return box;
}

// The pixels that are not black, row by row.
std::vector<QPoint> litPixels(const QImage& image) {
  std::vector<QPoint> lit;
  for (int y = 0; y < image.height(); ++y) {
    for (int x = 0; x < image.width(); ++x) {
      if (image.pixel(x, y) != kBlack) lit.emplace_back(x, y);
    }
  }
  return lit;
}

// The region as text, '#' for a lit pixel and '.' for a black one.
std::vector<std::string> art(const QImage& image, const QRect& region) {
  std::vector<std::string> rows;
  for (int y = region.top(); y <= region.bottom(); ++y) {
    std::string row;
    for (int x = region.left(); x <= region.right(); ++x) {
      row += image.pixel(x, y) != kBlack ? '#' : '.';
    }
    rows.push_back(row);
  }
  return rows;
}

std::string describe(double x, double y) { return std::to_string(x) + ", " + std::to_string(y); }

TEST(PictureBoxImage, IsTheBlackInnerAreaBeforeTheBoxIsShown) {
  PictureBox box;
  box.setGeometry(24, 8, 520, 480);
  ASSERT_FALSE(box.isVisible());
  const QImage& image = box.image();
  EXPECT_EQ(image.size(), QSize(516, 476));
  EXPECT_EQ(image.format(), QImage::Format_RGB32);
  EXPECT_TRUE(litPixels(image).empty());
}

TEST(PictureBoxScale, IsInTwipsUntilSetAndFollowsTheInnerSize) {
  const auto box = boxOf(516, 476);
  EXPECT_EQ(box->scaleWidth(), 516 * 15);
  EXPECT_EQ(box->scaleHeight(), 476 * 15);
  const struct {
    double x;
    double y;
    QPoint pixel;
  } cases[] = {
      {0, 0, {0, 0}},
      {14.999, 14.999, {0, 0}},
      {15, 30, {1, 2}},
      {515 * 15 + 14.9, 475 * 15 + 14.9, {515, 475}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(describe(c.x, c.y));
    box->cls();
    box->pset(c.x, c.y, kWhite);
    EXPECT_EQ(litPixels(box->image()), std::vector<QPoint>{c.pixel});
  }
  box->resize(104, 54);
  EXPECT_EQ(box->scaleWidth(), 100 * 15);
  EXPECT_EQ(box->scaleHeight(), 50 * 15);
  box->setScale(7, 9);
  box->resize(204, 154);
  EXPECT_EQ(box->scaleWidth(), 7) << "a set scale stays when the box is resized";
  EXPECT_EQ(box->scaleHeight(), 9);
}

TEST(PictureBoxScale, PutsADotInThePixelHoldingItsPositionOnEachAxis) {
  const auto box = boxOf(100, 50);
  const std::vector<QPoint> none;
  const struct {
    double scaleWidth;
    double scaleHeight;
    double x;
    double y;
    std::vector<QPoint> lit;
  } cases[] = {
      {10, 1000, 0, 0, {{0, 0}}},
      {10, 1000, 10 - 1e-9, 1000 - 1e-6, {{99, 49}}},  // the bottom-right limit
      {10, 1000, 2.55, 410, {{25, 20}}},
      {10, 1000, 10, 500, none},  // the right edge is outside
      {10, 1000, 5, 1000, none},  // and the bottom one
      {10, 1000, -1e-12, 500, none},
      {10, 1000, 5, -1e-12, none},
      {1000, 10, 410, 2.55, {{41, 12}}},  // the axes scaled the other way
      {100, 50, 99.5, 49.5, {{99, 49}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(describe(c.scaleWidth, c.scaleHeight) + ": " + describe(c.x, c.y));
    box->cls();
    box->setScale(c.scaleWidth, c.scaleHeight);
    box->pset(c.x, c.y, kWhite);
    EXPECT_EQ(litPixels(box->image()), c.lit);
  }
}

TEST(PictureBoxDot, IsARoundStampOfTheDrawWidth) {
  const struct {
    int width;
    std::vector<std::string> art;  // pixels 7..13 around the position's pixel (10, 10)
  } cases[] = {
      {1, {".......", ".......", ".......", "...#...", ".......", ".......", "......."}},
      {2, {".......", ".......", ".......", "...##..", "...##..", ".......", "......."}},
      {3, {".......", ".......", "..###..", "..###..", "..###..", ".......", "......."}},
      {4, {".......", ".......", "...##..", "..####.", "..####.", "...##..", "......."}},
      {5, {".......", "..###..", ".#####.", ".#####.", ".#####.", "..###..", "......."}},
      {6, {".......", "..####.", ".######", ".######", ".######", ".######", "..####."}},
  };
  const auto box = boxOf(20, 20);
  box->setScale(20, 20);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.width);
    box->cls();
    box->setDrawWidth(c.width);
    box->pset(10.5, 10.5, kWhite);
    EXPECT_EQ(art(box->image(), QRect(7, 7, 7, 7)), c.art);
  }
}

TEST(PictureBoxDot, IsClippedAtTheEdgesAndCorners) {
  // Each dot near the edges of a 12 x 9 picture must light exactly the part of the same dot
  // drawn into the middle of a larger picture that falls inside.
  constexpr int kWidth = 12;
  constexpr int kHeight = 9;
  constexpr int kOffset = 10;
  const auto box = boxOf(kWidth, kHeight);
  box->setScale(kWidth, kHeight);
  const auto large = boxOf(kWidth + 2 * kOffset, kHeight + 2 * kOffset);
  large->setScale(kWidth + 2 * kOffset, kHeight + 2 * kOffset);
  const QRect inside(kOffset, kOffset, kWidth, kHeight);
  const QPoint pixels[] = {{0, 0},  {kWidth - 1, 0}, {0, kHeight - 1}, {kWidth - 1, kHeight - 1},
                           {5, 0},  {0, 4},          {kWidth - 1, 4},  {5, kHeight - 1},
                           {-1, 4}, {5, -2},         {kWidth, 4},      {kWidth + 1, kHeight + 1},
                           {-3, 4}, {kWidth + 2, 4}};
  for (int width = 1; width <= 6; ++width) {
    box->setDrawWidth(width);
    large->setDrawWidth(width);
    for (const QPoint& pixel : pixels) {
      SCOPED_TRACE("width " + std::to_string(width) + " at " + describe(pixel.x(), pixel.y()));
      box->cls();
      large->cls();
      box->pset(pixel.x() + 0.5, pixel.y() + 0.5, kWhite);
      large->pset(pixel.x() + kOffset + 0.5, pixel.y() + kOffset + 0.5, kWhite);
      EXPECT_EQ(box->image(), large->image().copy(inside));
    }
  }
  // Two hand-counted cases: a quarter of a 5-pixel dot, and one pixel of a 2-pixel dot.
  box->setDrawWidth(5);
  box->cls();
  box->pset(0.5, 0.5, kWhite);
  EXPECT_EQ(litPixels(box->image()).size(), 8u);
  box->setDrawWidth(2);
  box->cls();
  box->pset(kWidth - 0.5, kHeight - 0.5, kWhite);
  EXPECT_EQ(litPixels(box->image()), std::vector<QPoint>({{kWidth - 1, kHeight - 1}}));
}

TEST(PictureBoxDot, HasTheClampedColour) {
  const struct {
    int red;
    int green;
    int blue;
    QRgb colour;
  } cases[] = {
      {127, 127, 127, qRgb(127, 127, 127)}, {1, 2, 3, qRgb(1, 2, 3)},
      {255, 0, 255, qRgb(255, 0, 255)},     {256, 300, 1000, qRgb(255, 255, 255)},
      {-1, 128, -500, qRgb(0, 128, 0)},
  };
  const auto box = boxOf(10, 10);
  box->setScale(10, 10);
  for (const auto& c : cases) {
    SCOPED_TRACE(describe(c.red, c.green) + ", " + std::to_string(c.blue));
    const QRgb colour = PictureBox::rgb(c.red, c.green, c.blue);
    EXPECT_EQ(colour, c.colour);
    box->pset(4, 6, colour);
    EXPECT_EQ(box->image().pixel(4, 6), c.colour);
  }
}

TEST(PictureBoxDot, WidthIsAtLeastOnePixelAndBounded) {
  const struct {
    int requested;
    int width;
  } cases[] = {{0, 1}, {-7, 1}, {3, 3}, {1000, PictureBox::kMaxDrawWidth}};
  const auto box = boxOf(200, 200);
  box->setScale(200, 200);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.requested);
    box->cls();
    box->setDrawWidth(c.requested);
    EXPECT_EQ(box->drawWidth(), c.width);
    box->pset(100, 100, kWhite);
    QRect bounds;
    for (const QPoint& pixel : litPixels(box->image())) bounds |= QRect(pixel, QSize(1, 1));
    EXPECT_EQ(bounds.size(), QSize(c.width, c.width));
  }
}

TEST(PictureBoxLine, RunsBetweenThePixelsOfItsEndsInTheDrawWidth) {
  const auto box = boxOf(40, 30);
  box->setScale(40, 30);
  const QRgb yellow = qRgb(255, 255, 0);

  box->line(2.5, 5.9, 30.1, 5.2, yellow);  // width 1, within row 5
  std::vector<QPoint> row5;
  for (int x = 2; x <= 30; ++x) row5.emplace_back(x, 5);
  EXPECT_EQ(litPixels(box->image()), row5);
  EXPECT_EQ(box->image().pixel(16, 5), yellow);

  box->cls();
  box->line(0, 0, 29.9, 29.9, yellow);  // a diagonal through pixels (0, 0) .. (29, 29)
  for (int i = 0; i < 30; ++i) EXPECT_EQ(box->image().pixel(i, i), yellow) << i;

  box->cls();
  box->setDrawWidth(3);
  box->line(10.5, 4.5, 10.5, 20.5, kWhite);  // vertical, three pixels wide
  EXPECT_EQ(art(box->image(), QRect(8, 12, 5, 1)), std::vector<std::string>{".###."});
  EXPECT_EQ(box->image().pixel(10, 4), kWhite);
  EXPECT_EQ(box->image().pixel(10, 20), kWhite);
  EXPECT_EQ(box->image().pixel(10, 25), kBlack);

  // A dot at an end of the line is centred where the line ends.
  box->cls();
  box->setDrawWidth(1);
  box->line(3.2, 7.7, 20.6, 7.1, yellow);
  const QImage line = box->image();
  box->pset(3.2, 7.7, yellow);
  box->pset(20.6, 7.1, yellow);
  EXPECT_EQ(box->image(), line);
}

TEST(PictureBoxLine, APolylineJoinsItsPointsInOrder) {
  const auto box = boxOf(40, 30);
  box->setScale(40, 30);
  const QRgb yellow = qRgb(255, 255, 0);
  const std::vector<QPointF> points{{1.5, 1.5}, {20.5, 1.5}, {20.5, 25.5}, {5.5, 25.5}};
  box->polyline(points, yellow);
  const QImage& image = box->image();
  for (const QPoint pixel : {QPoint(1, 1), QPoint(10, 1), QPoint(20, 1), QPoint(20, 13),
                             QPoint(20, 25), QPoint(12, 25), QPoint(5, 25)}) {
    EXPECT_EQ(image.pixel(pixel), yellow) << pixel.x() << ", " << pixel.y();
  }
  EXPECT_EQ(litPixels(image).size(), 20u + 24 + 15) << "three segments, corners shared";
  EXPECT_EQ(image.pixel(5, 13), kBlack) << "the last point is not joined to the first";
}

TEST(PictureBoxLine, IsClippedToThePicture) {
  const auto box = boxOf(40, 30);
  box->setScale(40, 30);
  const struct {
    double x1, y1, x2, y2;
    int from;  // lit columns of row 5
    int to;
  } cases[] = {
      {5.5, 5.5, 1e30, 5.5, 5, 39},     {-1e300, 5.5, 12.5, 5.5, 0, 12},
      {-1e300, 5.5, 1e300, 5.5, 0, 39}, {-3, 5.5, 44, 5.5, 0, 39},
      {-1e12, 5.5, 1e12, 5.5, 0, 39},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(describe(c.x1, c.x2));
    box->cls();
    box->line(c.x1, c.y1, c.x2, c.y2, kWhite);
    std::vector<QPoint> lit;
    for (int x = c.from; x <= c.to; ++x) lit.emplace_back(x, 5);
    EXPECT_EQ(litPixels(box->image()), lit);
  }
  box->cls();
  box->line(-1e12, -1e12, 1e12, 1e12, kWhite);  // the diagonal
  for (int i = 0; i < 30; ++i) EXPECT_EQ(box->image().pixel(i, i), kWhite) << i;
  // A thick line along row -1, just above the picture, shows its lower half in rows 0 and 1.
  box->cls();
  box->setDrawWidth(5);
  box->line(5.5, -0.5, 30.5, -0.5, kWhite);
  EXPECT_EQ(art(box->image(), QRect(15, 0, 1, 3)), std::vector<std::string>({"#", "#", "."}));
}

TEST(PictureBoxExtremes, NonFiniteAndHugePositionsDrawNothing) {
  const auto box = boxOf(40, 30);
  box->setScale(40, 30);
  box->setDrawWidth(5);
  const double extremes[] = {kInf, -kInf, kNaN, 1e300, -1e300, 2147483648.0, -2147483649.0, 1e10};
  for (const double extreme : extremes) {
    SCOPED_TRACE(extreme);
    box->pset(extreme, 10, kWhite);
    box->pset(10, extreme, kWhite);
    box->pset(extreme, extreme, kWhite);
    if (!std::isfinite(extreme)) {
      box->line(10, 10, extreme, 10, kWhite);
      box->line(extreme, 20, 10, 10, kWhite);
    }
    const std::vector<QPointF> outside{{extreme, extreme}, {-extreme, extreme}};
    box->polyline(outside, kWhite);
    EXPECT_TRUE(litPixels(box->image()).empty());
  }
  // No crash either for a line between huge positions across the picture.
  box->line(-1e300, -1e300, 1e300, 1e300, kWhite);
  box->line(-1e300, 1e300, 1e300, -1e300, kWhite);
}

TEST(PictureBoxExtremes, AScaleThatIsNotPositiveAndFiniteDrawsNothing) {
  const double bad[] = {0, -0.0, -10, kInf, -kInf, kNaN, 1e-320};
  const auto box = boxOf(40, 30);
  for (const double value : bad) {
    for (const bool onWidth : {true, false}) {
      SCOPED_TRACE(std::to_string(value) + (onWidth ? " wide" : " high"));
      box->setScale(onWidth ? value : 40, onWidth ? 30 : value);
      for (const double position : {0.0, 1.0, 1e-300, 20.0}) box->pset(position, position, kWhite);
      box->line(0, 0, 20, 20, kWhite);
      const std::vector<QPointF> points{{0, 0}, {1e-300, 1}, {20, 20}};
      box->polyline(points, kWhite);
      EXPECT_TRUE(litPixels(box->image()).empty());
    }
  }
  box->setScale(40, 30);
  box->pset(20, 20, kWhite);
  EXPECT_EQ(litPixels(box->image()).size(), 1u) << "a good scale draws again";
}

TEST(PictureBoxCls, ClearsThePictureAndKeepsScaleAndDrawWidth) {
  const auto box = boxOf(40, 30);
  box->setScale(4, 3);
  box->setDrawWidth(3);
  box->pset(2, 1, kWhite);
  const QImage dot = box->image();
  box->line(0, 0, 4, 3, kWhite);
  box->cls();
  EXPECT_TRUE(litPixels(box->image()).empty());
  EXPECT_EQ(box->scaleWidth(), 4);
  EXPECT_EQ(box->scaleHeight(), 3);
  EXPECT_EQ(box->drawWidth(), 3);
  box->pset(2, 1, kWhite);
  EXPECT_EQ(box->image(), dot);
}

// A shown box, and a count of its paint events.
class ShownPictureBox : public ::testing::Test, public QObject {
 protected:
  ShownPictureBox() {
    box.setGeometry(100, 100, 60, 44);
    box.setScale(56, 40);
    box.show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(&box));
    box.installEventFilter(this);
  }

  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::Paint) ++paints;
    return false;
  }

  // The inner area as the screen shows it.
  QImage onScreen() {
    return box.grab().toImage().convertToFormat(QImage::Format_RGB32).copy(box.contentsRect());
  }

  PictureBox box;
  int paints = 0;
};

TEST_F(ShownPictureBox, RepaintsAfterEveryRunOfDrawing) {
  for (int run = 1; run <= 3; ++run) {
    SCOPED_TRACE(run);
    paints = 0;
    for (int i = 0; i < 100; ++i) box.pset(run * 10 + i % 7, i % 30, kWhite);
    EXPECT_TRUE(QTest::qWaitFor([&] { return paints > 0; }));
    EXPECT_EQ(onScreen(), box.image());
  }
}

TEST_F(ShownPictureBox, KeepsThePictureWhenCoveredAndUncovered) {
  box.setDrawWidth(3);
  box.pset(10, 10, kWhite);
  box.line(0, 39, 55, 0, qRgb(255, 255, 0));
  const QImage drawn = box.image();
  ASSERT_FALSE(litPixels(drawn).empty());

  QWidget cover;
  cover.setGeometry(box.geometry());
  cover.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&cover));
  cover.hide();
  box.hide();
  box.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&box));
  box.repaint();
  EXPECT_EQ(box.image(), drawn);
  EXPECT_EQ(onScreen(), drawn);
}

}  // namespace
}  // namespace corvane
