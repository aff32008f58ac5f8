// Corvane Analysis as a user meets it, on the offscreen platform:
//
//   BM_OpenToFigures        from a new window opening samples/rough_surface_100k.txt to its
//                           figures shown in the Figures table
//   BM_SettingsChange/N     a new cut-off on an N x N grid (1000; 2048, the grid of bench_large,
//                           as X3P) until every figure and view shows it (the cut-off goes back
//                           and forth between 0.8 and 2.5)
//   BM_EventLoopGap         the 2048 x 2048 grid opened with the 3D view showing: the longest
//                           gap of the window's event loop (a 1 ms timer's late ticks) while it
//                           is read and analysed, as the counter gap_ms
//   BM_ZoomRepaint          one zoom step of the 2048 x 2048 height map, repainted (a pan
//                           draws the same: the image made once, its part in view scaled)
//
// `bench_analysis_window --peak-memory FILE` opens FILE alone, shows every tab once it is
// analysed, and prints the peak resident memory and its bytes per point
// (bench/analysis_peak_memory.sh runs it on the 2048 x 2048 grid).

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QTabWidget>
#include <QTableView>
#include <QTimer>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <string>

#include "data/point_reader.h"
#include "formats/x3p.h"
#include "scan_generator.h"
#include "workspace/analysis_window.h"
#include "workspace/height_map_view.h"
#include "workspace/surface_store.h"

namespace {

namespace fs = std::filesystem;
using corvane::workspace::AnalysisWindow;

const fs::path kSample = fs::path(CORVANE_SAMPLES_DIR) / "rough_surface_100k.txt";

// A grid of side x side points as the benchmarks' scans are made; the large one as X3P.
const fs::path& gridFile(int side) {
  static std::map<int, fs::path> files;
  fs::path& path = files[side];
  if (!path.empty()) return path;
  const fs::path text =
      fs::temp_directory_path() / ("corvane-bench-window-" + std::to_string(side) + ".txt");
  corvane::bench::ScanShape shape;
  shape.pointsPerLine = side;
  shape.yStep = shape.xStep;
  if (!corvane::bench::writeScan(text, side * side, 4242, shape)) return path;
  if (side < 2048) return path = text;
  corvane::PointList list;
  const fs::path x3p = fs::temp_directory_path() / "corvane-bench-window-2048.x3p";
  if (corvane::readPointFile(text, list).ok() &&
      corvane::writeX3p(x3p, list.points(), corvane::LengthUnit::Millimetre, "benchmark", "1.0",
                        true)
          .ok) {
    path = x3p;
  }
  return path;
}

void waitUntilIdle(AnalysisWindow& window) {
  QApplication::processEvents();
  while (window.store().busy()) QApplication::processEvents(QEventLoop::WaitForMoreEvents);
  QApplication::processEvents();
}

void enterCutoff(AnalysisWindow& window, double cutoff) {
  auto* field = window.findChild<QLineEdit*>(QStringLiteral("cutoff"));
  field->setText(QString::number(cutoff));
  emit field->editingFinished();
}

void BM_OpenToFigures(benchmark::State& state) {
  for (auto _ : state) {
    QElapsedTimer timer;
    timer.start();
    AnalysisWindow window;
    window.show();
    window.openFiles({QString::fromStdString(kSample.string())});
    waitUntilIdle(window);
    auto* figures = window.findChild<QTableView*>(QStringLiteral("figures"));
    if (figures->model()->rowCount() == 0) return state.SkipWithError("no figures shown");
    state.SetIterationTime(static_cast<double>(timer.nsecsElapsed()) * 1e-9);
  }
}

void BM_SettingsChange(benchmark::State& state) {
  const fs::path& file = gridFile(static_cast<int>(state.range(0)));
  if (file.empty()) return state.SkipWithError("the grid could not be made");
  AnalysisWindow window;
  window.show();
  window.openFiles({QString::fromStdString(file.string())});
  waitUntilIdle(window);
  bool longer = true;
  for (auto _ : state) {
    QElapsedTimer timer;
    timer.start();
    enterCutoff(window, longer ? 2.5 : 0.8);
    waitUntilIdle(window);
    state.SetIterationTime(static_cast<double>(timer.nsecsElapsed()) * 1e-9);
    longer = !longer;
    if (!window.selected()) return state.SkipWithError("not analysed");
  }
}

void BM_EventLoopGap(benchmark::State& state) {
  const fs::path& file = gridFile(2048);
  if (file.empty()) return state.SkipWithError("the grid could not be made");
  double longest = 0;
  for (auto _ : state) {
    // From the moment the window shows: its own start (the 3D view's graph started) as well.
    AnalysisWindow window;
    window.findChild<QTabWidget*>(QStringLiteral("views"))->setCurrentIndex(1);  // the 3D view
    QElapsedTimer since;
    qint64 gap = 0;
    QTimer tick;
    tick.setTimerType(Qt::PreciseTimer);
    tick.setInterval(1);
    QObject::connect(&tick, &QTimer::timeout, &tick, [&] { gap = std::max(gap, since.restart()); });
    window.show();
    since.start();
    tick.start();
    window.openFiles({QString::fromStdString(file.string())});
    waitUntilIdle(window);
    tick.stop();
    longest = std::max(longest, static_cast<double>(gap));
  }
  state.counters["gap_ms"] = longest;
}

void BM_ZoomRepaint(benchmark::State& state) {
  const fs::path& file = gridFile(2048);
  if (file.empty()) return state.SkipWithError("the grid could not be made");
  AnalysisWindow window;
  window.show();
  window.openFiles({QString::fromStdString(file.string())});
  waitUntilIdle(window);
  auto* view = dynamic_cast<corvane::workspace::HeightMapView*>(
      window.findChild<QWidget*>(QStringLiteral("heightMapView")));
  auto* map = window.findChild<QWidget*>(QStringLiteral("heightMap"));
  if (view == nullptr || map == nullptr) return state.SkipWithError("no height map");
  QApplication::processEvents();
  int step = 0;
  for (auto _ : state) {
    view->zoom(step++ % 8 < 4 ? 1.25 : 0.8);
    map->repaint();
  }
}

BENCHMARK(BM_OpenToFigures)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(5);
BENCHMARK(BM_SettingsChange)
    ->Arg(1000)
    ->Arg(2048)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(4);
BENCHMARK(BM_EventLoopGap)->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK(BM_ZoomRepaint)->Unit(benchmark::kMillisecond);

// The peak resident memory of opening one file with every tab shown, in bytes.
int peakMemory(const char* file) {
  AnalysisWindow window;
  window.show();
  window.openFiles({QString::fromLocal8Bit(file)});
  waitUntilIdle(window);
  auto* tabs = window.findChild<QTabWidget*>(QStringLiteral("views"));
  for (int k = 0; k < tabs->count(); ++k) {
    tabs->setCurrentIndex(k);
    QApplication::processEvents();
  }
  std::ifstream status("/proc/self/status");
  std::string line;
  long kib = 0;
  while (std::getline(status, line)) {
    if (line.rfind("VmHWM:", 0) == 0) kib = std::stol(line.substr(6));
  }
  const auto result = window.selected();
  const double points = result ? static_cast<double>(result->points->count()) : 0;
  std::printf("peak resident memory %.1f MiB, %zu points, %.1f bytes a point\n", kib / 1024.0,
              static_cast<std::size_t>(points), points > 0 ? kib * 1024.0 / points : 0.0);
  return result ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication application(argc, argv);
  if (argc == 3 && std::string(argv[1]) == "--peak-memory") return peakMemory(argv[2]);
  if (argc == 3 && std::string(argv[1]) == "--write-grid") {
    return gridFile(std::stoi(argv[2])).empty()
               ? 1
               : (std::puts(gridFile(std::stoi(argv[2])).c_str()), 0);
  }
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
