// A measurement the size instruments make: a 2048 x 2048 grid (4.2 million points), as an X3P
// file (double data) and as its ASCII text, with --standard's whole analysis and its stages.
// Each read runs beside the bare cost of its bytes in the same run:
//
//   BM_ReadX3p              readX3p of the X3P file into a point list
//   BM_InflateX3pEntry      only inflating its bindata/data.bin with libzip (the baseline)
//   BM_ReadAscii            readPointFile of the text into a point list
//   BM_BareParseAscii       the bare from_chars scan of the same text (the baseline)
//   BM_StandardLarge        standardAnalysis of the points: every profile and areal figure,
//                           the Gaussian filter and the autocorrelation (wall and CPU time)
//   BM_StageProfiles        its stages one by one: the 2048 profiles (filter and figures),
//   BM_StageAreal           the areal figures (plane, material ratio, grid, autocorrelation),
//   BM_StageMaterialRatio   within them, the material ratio curve and the Rk family of S,
//   BM_StageAutocorrelation and the autocorrelation by FFT.
// Each of these but the baselines runs twice: /0 on the grid as it is, /1 on the same grid with
// 5 % of its points not measured (scattered ones and a few large blobs, as an optical
// instrument leaves them), so that what the holes cost is read off in one run.
//
// The files are made once per run in the temporary folder. `bench_large --write-grid FILE` only
// writes the text of the grid, for bench/batch_peak_memory.sh.

#include <benchmark/benchmark.h>
#include <zip.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <filesystem>
#include <limits>
#include <random>
#include <span>
#include <string>
#include <vector>

#include "analysis/autocorrelation.h"
#include "analysis/standard_parameters.h"
#include "bare_parse.h"
#include "data/point_reader.h"
#include "formats/x3p.h"
#include "scan_generator.h"

namespace {

namespace fs = std::filesystem;
constexpr int kSide = 2048;
constexpr double kCutoff = 0.8;

// The grid: 2048 lines of 2048 points 0.0125 mm apart, lines 0.0125 mm apart.
bool writeGrid(const fs::path& path) {
  corvane::bench::ScanShape shape;
  shape.pointsPerLine = kSide;
  shape.yStep = shape.xStep;
  return corvane::bench::writeScan(path, kSide * kSide, 4242, shape);
}

const fs::path& asciiFile() {
  static const fs::path file = [] {
    fs::path path = fs::temp_directory_path() / "corvane-bench-grid-2048.txt";
    if (!writeGrid(path)) path.clear();
    return path;
  }();
  return file;
}

// 5 % of the grid's points made non-measured: one in 25 at random, and blobs (discs of radius
// 20 to 60 points) until the share is reached.
void punchHoles(std::span<corvane::Point> points) {
  std::mt19937_64 random(2048);
  std::uniform_int_distribution<std::size_t> anywhere(0, points.size() - 1);
  const std::size_t wanted = points.size() / 20;
  std::size_t holes = 0;
  const auto punch = [&](std::size_t k) {
    if (std::isnan(points[k].z)) return;
    points[k].z = std::numeric_limits<double>::quiet_NaN();
    ++holes;
  };
  for (std::size_t k = 0; k < points.size() / 25; ++k) punch(anywhere(random));
  std::uniform_int_distribution<int> radius(20, 60);
  while (holes < wanted) {
    const std::size_t centre = anywhere(random);
    const int r = radius(random);
    const int ci = static_cast<int>(centre % kSide), cj = static_cast<int>(centre / kSide);
    for (int j = std::max(0, cj - r); j <= std::min(kSide - 1, cj + r) && holes < wanted; ++j) {
      for (int i = std::max(0, ci - r); i <= std::min(kSide - 1, ci + r) && holes < wanted; ++i) {
        if ((i - ci) * (i - ci) + (j - cj) * (j - cj) <= r * r) {
          punch(static_cast<std::size_t>(j) * kSide + static_cast<std::size_t>(i));
        }
      }
    }
  }
}

// The grid as X3P: as it is (holes false) or with its holes.
const fs::path& x3pFile(bool holes = false) {
  static const std::array<fs::path, 2> files = [] {
    std::array<fs::path, 2> paths = {
        fs::temp_directory_path() / "corvane-bench-grid-2048.x3p",
        fs::temp_directory_path() / "corvane-bench-grid-2048-holes.x3p"};
    corvane::PointList list;
    if (asciiFile().empty() || !corvane::readPointFile(asciiFile(), list).ok())
      return decltype(paths){};
    for (const bool withHoles : {false, true}) {
      std::vector<corvane::Point> points(list.points().begin(), list.points().end());
      if (withHoles) punchHoles(points);
      fs::path& path = paths[withHoles ? 1 : 0];
      if (!corvane::writeX3p(path, points, corvane::LengthUnit::Millimetre, "benchmark", "1.0",
                             true)
               .ok) {
        path.clear();
      }
    }
    return paths;
  }();
  return files[holes ? 1 : 0];
}

void BM_ReadX3p(benchmark::State& state) {
  const fs::path& file = x3pFile(state.range(0) != 0);
  if (file.empty()) return state.SkipWithError("the X3P file could not be made");
  corvane::PointList list;
  for (auto _ : state) {
    const corvane::X3pRead read =
        corvane::readX3p(file, list, corvane::LengthUnit::Millimetre, corvane::kMaxListPoints);
    if (!read.ok) return state.SkipWithError(read.error.c_str());
    benchmark::DoNotOptimize(list.count());
  }
}

void BM_InflateX3pEntry(benchmark::State& state) {
  if (x3pFile().empty()) return state.SkipWithError("the X3P file could not be made");
  std::vector<char> bytes(std::size_t{kSide} * kSide * 8 + 1);
  for (auto _ : state) {
    int error = 0;
    zip_t* archive = zip_open(x3pFile().c_str(), ZIP_RDONLY, &error);
    zip_file_t* entry = zip_fopen(archive, "bindata/data.bin", 0);
    std::size_t got = 0;
    for (zip_int64_t n; (n = zip_fread(entry, bytes.data() + got, bytes.size() - got)) > 0;) {
      got += static_cast<std::size_t>(n);
    }
    zip_fclose(entry);
    zip_discard(archive);
    benchmark::DoNotOptimize(got);
  }
}

void BM_ReadAscii(benchmark::State& state) {
  if (asciiFile().empty()) return state.SkipWithError("the text could not be made");
  corvane::PointList list;
  for (auto _ : state) {
    if (!corvane::readPointFile(asciiFile(), list).ok()) return state.SkipWithError("unread");
    benchmark::DoNotOptimize(list.count());
  }
}

void BM_BareParseAscii(benchmark::State& state) {
  if (asciiFile().empty()) return state.SkipWithError("the text could not be made");
  corvane::bench::BareParse parse(asciiFile());
  for (auto _ : state) benchmark::DoNotOptimize(parse.run());
}

// The grid's points, read once: as they are, or with the holes.
const corvane::PointList& points(bool holes = false) {
  static const std::array<corvane::PointList, 2> lists = [] {
    std::array<corvane::PointList, 2> read;
    for (const bool withHoles : {false, true}) {
      if (x3pFile(withHoles).empty()) continue;
      corvane::readX3p(x3pFile(withHoles), read[withHoles ? 1 : 0], corvane::LengthUnit::Millimetre,
                       corvane::kMaxListPoints);
    }
    return read;
  }();
  return lists[holes ? 1 : 0];
}

void BM_StandardLarge(benchmark::State& state) {
  const corvane::PointList& grid = points(state.range(0) != 0);
  if (grid.count() != kSide * kSide) return state.SkipWithError("no grid");
  corvane::StandardWorkspace workspace;
  for (auto _ : state) {
    const corvane::StandardResult result =
        corvane::standardAnalysis(grid.points(), kCutoff, workspace);
    if (!result.grid) return state.SkipWithError("not read as a grid");
    benchmark::DoNotOptimize(result.areal);
  }
}

void BM_StageProfiles(benchmark::State& state) {
  const corvane::PointList& grid = points(state.range(0) != 0);
  if (grid.count() != kSide * kSide) return state.SkipWithError("no grid");
  corvane::StandardWorkspace workspace;
  const auto all = grid.points();
  for (auto _ : state) {
    int evaluated = 0;
    for (int line = 0; line < kSide; ++line) {
      evaluated += corvane::evaluateProfile(all.subspan(std::size_t{kSide} * line, kSide), kCutoff,
                                            workspace)
                       .ok;
    }
    benchmark::DoNotOptimize(evaluated);
  }
}

void BM_StageAreal(benchmark::State& state) {
  const corvane::PointList& grid = points(state.range(0) != 0);
  if (grid.count() != kSide * kSide) return state.SkipWithError("no grid");
  corvane::StandardWorkspace workspace;
  corvane::StandardResult result;
  for (auto _ : state) {
    corvane::arealAnalysis(grid.points(), result, workspace);
    benchmark::DoNotOptimize(result.areal);
  }
}

void BM_StageMaterialRatio(benchmark::State& state) {
  const corvane::PointList& grid = points(state.range(0) != 0);
  if (grid.count() != kSide * kSide) return state.SkipWithError("no grid");
  corvane::StandardWorkspace workspace;
  corvane::StandardResult result;
  corvane::arealAnalysis(grid.points(), result, workspace);
  corvane::MaterialRatioCurve curve;
  for (auto _ : state) {
    curve.assign(workspace.measuredS);
    benchmark::DoNotOptimize(corvane::rkConstruction(curve).core);
  }
}

void BM_StageAutocorrelation(benchmark::State& state) {
  const corvane::PointList& grid = points(state.range(0) != 0);
  if (grid.count() != kSide * kSide) return state.SkipWithError("no grid");
  corvane::StandardWorkspace workspace;
  corvane::StandardResult result;
  corvane::arealAnalysis(grid.points(), result, workspace);
  corvane::AutocorrelationFft fft;
  for (auto _ : state) {
    fft.compute(workspace.residual, *result.grid);
    benchmark::DoNotOptimize(fft.at(1, 1));
  }
}

BENCHMARK(BM_ReadX3p)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_InflateX3pEntry)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadAscii)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BareParseAscii)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_StandardLarge)
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->MeasureProcessCPUTime();
BENCHMARK(BM_StageProfiles)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_StageAreal)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_StageMaterialRatio)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_StageAutocorrelation)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::string(argv[1]) == "--write-grid") return writeGrid(argv[2]) ? 0 : 1;
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
