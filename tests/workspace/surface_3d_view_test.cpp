// The 3D view: what it draws of a surface (reduced, with holes), what it says where it cannot
// draw, and that it draws something where OpenGL works.
#include <gtest/gtest.h>

#include <QApplication>
#include <QColor>
#include <QDoubleSpinBox>
#include <QImage>
#include <QLabel>
#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>

#include "analysis/surface_analysis.h"
#include "workspace/surface_3d_view.h"

namespace corvane::workspace {
namespace {

// A grid of columns x rows points 0.01 mm apart, S a few micrometres of waves and a slope, the
// points of `hole` (if any) non-measured, analysed with the default settings.
SurfaceResultPtr gridSurface(int columns, int rows, bool hole = false) {
  auto list = std::make_shared<PointList>();
  Point* p = list->resize(columns * rows);
  int k = 1;
  for (int j = 0; j < rows; ++j) {
    for (int i = 0; i < columns; ++i, ++k) {
      const double x = 0.01 * i, y = 0.01 * j;
      p[k] = {x, y, 0.002 * std::sin(x * 9) * std::cos(y * 7) + 0.001 * x};
      if (hole && i >= columns / 4 && i < columns / 2 && j >= rows / 4 && j < rows / 2) {
        p[k].z = std::numeric_limits<double>::quiet_NaN();
      }
    }
  }
  list->setCount(columns * rows);
  auto result = std::make_shared<SurfaceResult>();
  result->points = list;
  result->settings.unit = LengthUnit::Millimetre;
  result->analysis.ok = true;
  result->analysis.unit = LengthUnit::Millimetre;
  result->analysis.unitKnown = true;
  StandardWorkspace workspace;
  analyseSurface(list->points(), result->settings.standard, true, true, workspace,
                 result->analysis);
  return result;
}

TEST(Surface3dView, SaysWhatItShowsOrWhyNot) {
  Surface3dView view;
  view.resize(640, 480);
  view.show();
  auto* exaggeration = view.findChild<QDoubleSpinBox*>("verticalExaggeration");
  ASSERT_NE(exaggeration, nullptr);
  const auto labels = view.findChildren<QLabel*>();
  EXPECT_TRUE(std::any_of(labels.begin(), labels.end(), [&](const QLabel* label) {
    return label->text() == "Vertical exaggeration" && label->buddy() == exaggeration;
  }));

  view.setSurface(gridSurface(40, 30, true));
  const QString description = view.accessibleDescription();
  EXPECT_TRUE(description.contains("40 x 30 points drawn as 40 x 30")) << description.toStdString();
  EXPECT_TRUE(description.contains("mm")) << description.toStdString();
  EXPECT_TRUE(description.contains("holes")) << description.toStdString();
  // A relief of a quarter of the width, not the flat true scale.
  EXPECT_GT(exaggeration->value(), 10);

  const auto* noOpenGl = view.findChild<QLabel*>("noOpenGl");
  ASSERT_NE(noOpenGl, nullptr);
  EXPECT_EQ(noOpenGl->isVisibleTo(&view), !view.hasOpenGl());
  if (!view.hasOpenGl()) {
    EXPECT_TRUE(view.renderToImage(QSize(200, 150)).isNull());
    EXPECT_TRUE(description.contains("OpenGL")) << description.toStdString();
  }

  // A user's exaggeration holds for another analysis of the same file.
  exaggeration->setValue(3);
  view.setSurface(gridSurface(40, 30, true));
  EXPECT_EQ(exaggeration->value(), 3);
  EXPECT_TRUE(view.accessibleDescription().contains("vertical exaggeration 3"));

  // Nothing to draw: no surface, all points non-measured, a single line.
  view.setSurface(nullptr);
  EXPECT_TRUE(view.accessibleDescription().contains("nothing to show"));
  auto empty = std::make_shared<SurfaceResult>(*gridSurface(5, 4));
  auto& values = empty->analysis.curves->heightMap.values;
  std::fill(values.begin(), values.end(), std::numeric_limits<float>::quiet_NaN());
  view.setSurface(empty);
  EXPECT_TRUE(view.accessibleDescription().contains("no measured heights"));
  view.setSurface(gridSurface(50, 1));
  EXPECT_TRUE(view.accessibleDescription().contains("nothing to show"));
  EXPECT_EQ(view.drawn().columns, 0u);
}

TEST(Surface3dView, DrawsALargeGridReduced) {
  Surface3dView view;
  view.setSurface(gridSurface(1000, 700));
  EXPECT_LE(view.drawn().columns, Surface3dView::kMaxSide);
  EXPECT_LE(view.drawn().rows, Surface3dView::kMaxSide);
  EXPECT_EQ(view.drawn().columns, 500u);
  EXPECT_EQ(view.drawn().rows, 350u);
  EXPECT_TRUE(view.accessibleDescription().contains("1000 x 700 points drawn as 500 x 350"))
      << view.accessibleDescription().toStdString();
}

TEST(Surface3dView, RendersTheSurfaceWhereOpenGlWorks) {
  Surface3dView view;
  if (!view.hasOpenGl()) GTEST_SKIP() << "no OpenGL context here";
  view.resize(640, 480);
  view.show();
  // Larger than the coarse map drawn first: the image is of the whole reduced map.
  view.setSurface(gridSurface(300, 200, true));
  QApplication::processEvents();
  const QImage image = view.renderToImage(QSize(320, 240));
  ASSERT_FALSE(image.isNull());
  // The surface in the colours of its heights over the grey and white of the axes' box: many
  // coloured pixels, and of many colours.
  int coloured = 0;
  QList<QRgb> colours;
  for (int y = 0; y < image.height(); ++y) {
    for (int x = 0; x < image.width(); ++x) {
      const QColor colour = image.pixelColor(x, y);
      if (colour.hsvSaturation() < 80) continue;
      ++coloured;
      if (colours.size() < 100 && !colours.contains(colour.rgb())) colours.append(colour.rgb());
    }
  }
  EXPECT_GT(coloured, image.width() * image.height() / 20);
  EXPECT_GE(colours.size(), 100);
}

}  // namespace
}  // namespace corvane::workspace
