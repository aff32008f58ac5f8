// The plan view is redrawn from every point on each Draw and each Calculate, so plotting a full
// point table must take a few milliseconds, far less than drawing the dots one by one with a
// painter. On the main window's 520 x 480 picture box (516 x 476 inside), scaled to the plan
// view of a 100000-point raster scan:
//
//   BM_PlotPoints/w       cls and plotPoints of all points at draw width w
//   BM_PsetPoints/w       the same dots through the public pset, one call per point
//   BM_PainterEllipses/w  the baseline: a QPainter on a 516 x 476 image, one drawEllipse of
//                         diameter w per point, with the same centres and grey levels
//
// Each benchmark is repeated 10 times; the median is the figure to read. On a shared machine,
// interleave the repetitions so that a change of load hits all alike:
//   bench_plot --benchmark_enable_random_interleaving=true

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QImage>
#include <QPainter>
#include <cmath>
#include <cstdio>
#include <memory>

#include "analysis/plan_view.h"
#include "data/extents.h"
#include "data/point_reader.h"
#include "data/point_table.h"
#include "plot/picture_box.h"
#include "plot/point_plots.h"
#include "scan_generator.h"

namespace {

constexpr int kPoints = 100'000;
constexpr int kBrightness = 255;

struct Scan {
  std::unique_ptr<corvane::PointTable> table = std::make_unique<corvane::PointTable>();
  corvane::Extents extents;
  corvane::PlanView view;
};

Scan& scan() {
  static Scan scan;
  return scan;
}

// The main window's plan-view picture box, scaled to the scan.
std::unique_ptr<corvane::PictureBox> planViewBox(int drawWidth) {
  auto box = std::make_unique<corvane::PictureBox>();
  box->resize(520, 480);
  box->setScale(scan().view.logicalWidth, scan().view.logicalHeight);
  box->setDrawWidth(drawWidth);
  return box;
}

void BM_PlotPoints(benchmark::State& state) {
  const Scan& s = scan();
  const auto box = planViewBox(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    box->cls();
    corvane::plotPoints(*box, *s.table, s.extents, s.view);
    benchmark::DoNotOptimize(box->image().constBits());
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * s.table->count());
}

void BM_PsetPoints(benchmark::State& state) {
  const Scan& s = scan();
  const auto box = planViewBox(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    box->cls();
    for (int i = 1; i <= s.table->count(); ++i) {
      const corvane::Point& p = s.table->row(i);
      const int grey = corvane::greyLevel(s.view, p.z, s.extents.minZ);
      box->pset(corvane::toSingle(p.x - s.extents.minX), corvane::toSingle(s.extents.maxY - p.y),
                corvane::PictureBox::rgb(grey, grey, grey));
    }
    benchmark::DoNotOptimize(box->image().constBits());
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * s.table->count());
}

void BM_PainterEllipses(benchmark::State& state) {
  const Scan& s = scan();
  const int width = static_cast<int>(state.range(0));
  QImage image(516, 476, QImage::Format_RGB32);
  const double pixelsX = image.width() / s.view.logicalWidth;
  const double pixelsY = image.height() / s.view.logicalHeight;
  // The dot's centre: the pixel's centre for an odd width, its bottom-right corner for an even.
  const double centre = width % 2 == 0 ? 1.0 : 0.5;
  const double radius = width / 2.0;
  for (auto _ : state) {
    image.fill(Qt::black);
    QPainter painter(&image);
    painter.setPen(Qt::NoPen);
    for (int i = 1; i <= s.table->count(); ++i) {
      const corvane::Point& p = s.table->row(i);
      const int grey = corvane::greyLevel(s.view, p.z, s.extents.minZ);
      painter.setBrush(QColor(grey, grey, grey));
      const double x = std::floor(corvane::toSingle(p.x - s.extents.minX) * pixelsX) + centre;
      const double y = std::floor(corvane::toSingle(s.extents.maxY - p.y) * pixelsY) + centre;
      painter.drawEllipse(QPointF(x, y), radius, radius);
    }
    painter.end();
    benchmark::DoNotOptimize(image.constBits());
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * s.table->count());
}

void registerAll() {
  const std::pair<const char*, void (*)(benchmark::State&)> all[] = {
      {"BM_PlotPoints", BM_PlotPoints},
      {"BM_PsetPoints", BM_PsetPoints},
      {"BM_PainterEllipses", BM_PainterEllipses},
  };
  for (const auto& [name, function] : all) {
    benchmark::RegisterBenchmark(name, function)
        ->Arg(2)
        ->Arg(5)
        ->Unit(benchmark::kMillisecond)
        ->Repetitions(10)
        ->ReportAggregatesOnly(true);
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;

  Scan& s = scan();
  const corvane::ReadResult read =
      corvane::readPointText(corvane::bench::scanText(kPoints), *s.table);
  if (read.error != corvane::ReadError::None || s.table->count() != kPoints) {
    std::fprintf(stderr, "cannot read the generated scan: %s\n", corvane::describe(read).c_str());
    return 1;
  }
  s.extents = corvane::computeExtents(*s.table);
  s.view = corvane::planViewOf(s.extents, kBrightness);

  registerAll();
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
