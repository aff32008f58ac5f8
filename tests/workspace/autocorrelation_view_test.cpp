// The Autocorrelation tab: the map and its words for a grid of a known texture, the reason in
// words for points off a grid, nothing for no surface.
#include <gtest/gtest.h>

#include <QLabel>
#include <QtCharts/QChartView>
#include <cmath>
#include <memory>
#include <numbers>

#include "analysis/surface_analysis.h"
#include "report/chart_canvas.h"
#include "workspace/autocorrelation_view.h"

namespace corvane::workspace {
namespace {

// Waves 0.02 mm long along x and 0.05 mm along y on a grid 0.001 mm apart, analysed with the
// default settings; `lastShort` drops the last point, so that the points form no grid.
SurfaceResultPtr waves(bool lastShort) {
  const int columns = 120, rows = 90;
  auto list = std::make_shared<PointList>();
  Point* p = list->resize(columns * rows);
  for (int j = 0, k = 1; j < rows; ++j) {
    for (int i = 0; i < columns; ++i, ++k) {
      const double x = 0.001 * i, y = 0.001 * j;
      p[k] = {x, y,
              0.002 * std::sin(2 * std::numbers::pi * x / 0.02) *
                  std::cos(2 * std::numbers::pi * y / 0.05)};
    }
  }
  list->setCount(columns * rows - (lastShort ? 1 : 0));
  auto result = std::make_shared<SurfaceResult>();
  result->points = list;
  result->analysis.ok = true;
  result->analysis.unitKnown = true;
  StandardWorkspace workspace;
  analyseSurface(list->points(), result->settings.standard, true, true, workspace,
                 result->analysis);
  return result;
}

TEST(AutocorrelationView, ShowsTheMapWithSalAndStrOrSaysWhyNot) {
  AutocorrelationView view;
  view.resize(760, 520);
  view.show();
  const auto* map = view.findChild<QChartView*>("autocorrelationMap");
  const auto* reason = view.findChild<QLabel*>("autocorrelationReason");
  ASSERT_TRUE(map && reason);

  const SurfaceResultPtr surface = waves(false);
  const ArealFigures& areal = surface->analysis.standard.areal;
  ASSERT_TRUE(std::isfinite(areal[figure::Sal]) && std::isfinite(areal[figure::Str]));
  view.setSurface(surface);
  EXPECT_TRUE(map->isVisibleTo(&view));
  EXPECT_FALSE(reason->isVisibleTo(&view));
  const AutocorrelationMap& lags = *surface->analysis.curves->autocorrelation;
  ASSERT_EQ(view.image().size(),
            QSize(static_cast<int>(lags.columns), static_cast<int>(lags.rows)));
  // f(0, 0) = 1: a deep red, drawn on the screen.
  const QRgb centre = view.image().pixel(view.image().width() / 2, view.image().height() / 2);
  EXPECT_GT(qRed(centre), qBlue(centre) + 50);
  EXPECT_GT(qRed(centre), qGreen(centre) + 50);
  EXPECT_EQ(autocorrelationColour(0), qRgb(255, 255, 255));
  EXPECT_GT(qBlue(autocorrelationColour(-0.5)), qRed(autocorrelationColour(-0.5)));
  const QImage shown = view.grab().toImage().convertToFormat(QImage::Format_RGB32);
  int reds = 0;
  for (int y = 0; y < shown.height(); ++y) {
    for (int x = 0; x < shown.width(); ++x) reds += shown.pixel(x, y) == centre ? 1 : 0;
  }
  EXPECT_GT(reds, 20);
  const QString description = view.accessibleDescription();
  for (const QString& figure :
       {QStringLiteral("Sal %1 mm").arg(report::numberText(areal[figure::Sal])),
        QStringLiteral("Str %1").arg(report::numberText(areal[figure::Str]))}) {
    EXPECT_TRUE(description.contains(figure)) << description.toStdString();
  }

  view.setSurface(waves(true));
  EXPECT_TRUE(reason->isVisibleTo(&view));
  EXPECT_FALSE(map->isVisibleTo(&view));
  EXPECT_TRUE(reason->text().contains("not a regular grid")) << reason->text().toStdString();
  EXPECT_TRUE(view.accessibleDescription().contains("not a regular grid"));

  view.setSurface(nullptr);
  EXPECT_TRUE(view.image().isNull());
  EXPECT_FALSE(map->isVisibleTo(&view));
  EXPECT_TRUE(reason->text().isEmpty());
}

}  // namespace
}  // namespace corvane::workspace
