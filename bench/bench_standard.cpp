// The standard surface-texture analysis of corvane-batch --standard, after the file is read:
// profiles, form removal, the Gaussian mean line, every profile and areal figure. Each case
// runs beside the bare from_chars scan of the same file's bytes, the cost that reading puts on
// every run, and the long profile also beside the mean line by direct summation:
//
//   BM_StandardSample        the analysis of samples/rough_surface_100k.txt at lc = 0.8
//   BM_BareParseSample       the baseline for it
//   BM_StandardLongProfile   a single profile of 100000 points, dx = 0.001, at lc = 8
//                            (16001 weights)
//   BM_BareParseLongProfile  the baseline for it
//   BM_MeanLineLongProfile   only the fast mean line of that profile
//   BM_DirectLongProfile     the same mean line summed directly, O(points x weights)
//   BM_AutocorrelationSample        the areal autocorrelation of the sample's 400 x 250 grid
//                                   by FFT, as the analysis works it out for Sal and Str
//   BM_DirectAutocorrelationSample  the same table by a sum per lag, O(points x lags)
//
// The filtering chain, each beside its plain counterpart above:
//   BM_ArealCutoffSample     the sample's analysis with the areal L-filter at 2.5 (S-L surface)
//   BM_Form6Sample           the sample's analysis taking off degree 6 instead of the line and
//                            the plane
//   BM_RobustLongProfile     the long profile's analysis with the robust mean line (passes
//                            counted)
//   BM_ArealMeanSurfaceGrid        the areal Gaussian mean surface of a 256 x 256 grid at a
//                                  cut-off of 51 x 51 weights, separable and by FFT
//   BM_DirectArealMeanSurfaceGrid  the same surface by the direct 2D sum of the weights
//
// `bench_standard --write-long-profile FILE` only writes the long profile, so that the numpy
// comparison (bench/standard_vs_numpy.sh) runs on the very same bytes.

#include <benchmark/benchmark.h>

#include <filesystem>
#include <optional>
#include <random>
#include <span>
#include <string>
#include <vector>

#include "analysis/areal_filter.h"
#include "analysis/autocorrelation.h"
#include "analysis/gaussian_filter.h"
#include "analysis/standard_parameters.h"
#include "bare_parse.h"
#include "data/point_reader.h"
#include "data/point_table.h"
#include "scan_generator.h"

namespace {

namespace fs = std::filesystem;

const fs::path kSample = fs::path(CORVANE_SAMPLES_DIR) / "rough_surface_100k.txt";
constexpr double kSampleCutoff = 0.8;
constexpr double kLongCutoff = 8.0;
constexpr double kLongSpacing = 0.001;

// The long profile lives in the temporary folder for the run and is made once.
bool writeLongProfile(const fs::path& path) {
  corvane::bench::ScanShape shape;
  shape.pointsPerLine = 100000;
  shape.xStart = 0;
  shape.xStep = kLongSpacing;
  return corvane::bench::writeScan(path, 100000, 20240611, shape);
}

const fs::path& longProfileFile() {
  static const fs::path file = [] {
    fs::path path = fs::temp_directory_path() / "corvane-bench-long-profile.txt";
    if (!writeLongProfile(path)) path.clear();
    return path;
  }();
  return file;
}

// The file read into a table once; the benchmark loops over the analysis only.
struct Loaded {
  corvane::PointTable table;
  bool ok = false;
  explicit Loaded(const fs::path& path) { ok = corvane::readPointFile(path, table).ok(); }
};

void standard(benchmark::State& state, const fs::path& path, double cutoff, int profiles,
              corvane::StandardSettings settings = {}) {
  const Loaded loaded(path);
  if (!loaded.ok) {
    state.SkipWithError("the file could not be read");
    return;
  }
  settings.cutoff = cutoff;
  const std::span<const corvane::Point> points(&loaded.table.row(1),
                                               static_cast<std::size_t>(loaded.table.count()));
  corvane::StandardWorkspace workspace;
  int evaluated = 0, passes = 0;
  for (auto _ : state) {
    const corvane::StandardResult result = corvane::standardAnalysis(points, settings, workspace);
    evaluated = result.evaluated;
    passes = result.profiles.front().robustPasses;
    benchmark::DoNotOptimize(result.mean);
  }
  if (evaluated != profiles) state.SkipWithError("not every profile was evaluated");
  if (settings.robust) state.counters["passes"] = passes;
}

void bareParse(benchmark::State& state, const fs::path& path) {
  if (path.empty()) {
    state.SkipWithError("the file could not be written");
    return;
  }
  corvane::bench::BareParse parse(path);
  for (auto _ : state) benchmark::DoNotOptimize(parse.run());
}

// The z of the long profile, as the mean line's input.
std::vector<double> longProfileHeights() {
  const Loaded loaded(longProfileFile());
  std::vector<double> z;
  for (int r = 1; r <= loaded.table.count(); ++r) z.push_back(loaded.table.row(r).z);
  return z;
}

void BM_StandardSample(benchmark::State& state) { standard(state, kSample, kSampleCutoff, 250); }
void BM_BareParseSample(benchmark::State& state) { bareParse(state, kSample); }
void BM_StandardLongProfile(benchmark::State& state) {
  standard(state, longProfileFile(), kLongCutoff, 1);
}
void BM_BareParseLongProfile(benchmark::State& state) { bareParse(state, longProfileFile()); }

void BM_MeanLineLongProfile(benchmark::State& state) {
  const std::vector<double> z = longProfileHeights();
  std::vector<double> mean(z.size());
  corvane::GaussianFilter filter;
  for (auto _ : state) {
    filter.meanLine(z, kLongSpacing, kLongCutoff, mean);
    benchmark::DoNotOptimize(mean.data());
  }
}

void BM_DirectLongProfile(benchmark::State& state) {
  const std::vector<double> z = longProfileHeights();
  std::vector<double> mean(z.size());
  for (auto _ : state) {
    corvane::directMeanLine(z, kLongSpacing, kLongCutoff, mean);
    benchmark::DoNotOptimize(mean.data());
  }
}

// The sample's heights above its least-squares plane and the grid they form.
struct SampleGrid {
  std::vector<double> residual;
  corvane::Grid grid;
  bool ok = false;
  SampleGrid() {
    const Loaded loaded(kSample);
    corvane::StandardWorkspace workspace;
    const corvane::StandardResult result =
        corvane::standardAnalysis(loaded.table, kSampleCutoff, workspace);
    ok = loaded.ok && result.grid.has_value();
    if (ok) grid = *result.grid;
    residual = workspace.residual;
  }
};

void autocorrelation(benchmark::State& state, bool direct) {
  const SampleGrid sample;
  if (!sample.ok) {
    state.SkipWithError("the sample forms no grid");
    return;
  }
  corvane::AutocorrelationFft fft;
  corvane::AutocorrelationTable table;
  for (auto _ : state) {
    if (direct) {
      corvane::directAutocorrelation(sample.residual, sample.grid, table);
    } else {
      fft.compute(sample.residual, sample.grid);
    }
    benchmark::DoNotOptimize(direct ? table.at(1, 1) : fft.at(1, 1));
  }
}

corvane::StandardSettings chain(int form, std::optional<double> arealCutoff, bool robust) {
  corvane::StandardSettings settings;
  settings.form = form;
  settings.arealCutoff = arealCutoff;
  settings.robust = robust;
  return settings;
}

void BM_ArealCutoffSample(benchmark::State& state) {
  standard(state, kSample, kSampleCutoff, 250, chain(1, 2.5, false));
}
void BM_Form6Sample(benchmark::State& state) {
  standard(state, kSample, kSampleCutoff, 250, chain(6, std::nullopt, false));
}
void BM_RobustLongProfile(benchmark::State& state) {
  standard(state, longProfileFile(), kLongCutoff, 1, chain(1, std::nullopt, true));
}

// A 256 x 256 grid of random heights, 0.01 apart, filtered at 0.25: 25 weights either side.
void arealMeanSurface(benchmark::State& state, bool direct) {
  const corvane::Grid grid{256, 256, 0.01, 0.01};
  std::vector<double> heights(grid.nx * grid.ny), mean(heights.size()), column;
  std::mt19937_64 random(17);
  std::normal_distribution<double> noise;
  for (double& h : heights) h = noise(random);
  corvane::GaussianFilter filter;
  for (auto _ : state) {
    if (direct) {
      corvane::directArealMeanSurface(heights, grid, 0.25, mean);
    } else {
      corvane::arealMeanSurface(heights, grid, 0.25, filter, column, mean);
    }
    benchmark::DoNotOptimize(mean.data());
  }
}
void BM_ArealMeanSurfaceGrid(benchmark::State& state) { arealMeanSurface(state, false); }
void BM_DirectArealMeanSurfaceGrid(benchmark::State& state) { arealMeanSurface(state, true); }

void BM_AutocorrelationSample(benchmark::State& state) { autocorrelation(state, false); }
void BM_DirectAutocorrelationSample(benchmark::State& state) { autocorrelation(state, true); }

// Wall time, and the CPU time of the whole process: the areal figures run on a second thread.
BENCHMARK(BM_StandardSample)->Unit(benchmark::kMillisecond)->UseRealTime()->MeasureProcessCPUTime();
BENCHMARK(BM_BareParseSample)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_StandardLongProfile)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->MeasureProcessCPUTime();
BENCHMARK(BM_BareParseLongProfile)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MeanLineLongProfile)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DirectLongProfile)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_AutocorrelationSample)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DirectAutocorrelationSample)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_ArealCutoffSample)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->MeasureProcessCPUTime();
BENCHMARK(BM_Form6Sample)->Unit(benchmark::kMillisecond)->UseRealTime()->MeasureProcessCPUTime();
BENCHMARK(BM_RobustLongProfile)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->MeasureProcessCPUTime();
BENCHMARK(BM_ArealMeanSurfaceGrid)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DirectArealMeanSurfaceGrid)->Unit(benchmark::kMillisecond)->Iterations(2);

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::string(argv[1]) == "--write-long-profile") {
    return writeLongProfile(argv[2]) ? 0 : 1;
  }
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
