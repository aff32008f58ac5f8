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
//
// The files are made once per run in the temporary folder. `bench_large --write-grid FILE` only
// writes the text of the grid, for bench/batch_peak_memory.sh.

#include <benchmark/benchmark.h>
#include <zip.h>

#include <filesystem>
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

const fs::path& x3pFile() {
  static const fs::path file = [] {
    fs::path path = fs::temp_directory_path() / "corvane-bench-grid-2048.x3p";
    corvane::PointList list;
    if (asciiFile().empty() || !corvane::readPointFile(asciiFile(), list).ok() ||
        !corvane::writeX3p(path, list.points(), corvane::LengthUnit::Millimetre, "benchmark", "1.0",
                           true)
             .ok) {
      path.clear();
    }
    return path;
  }();
  return file;
}

void BM_ReadX3p(benchmark::State& state) {
  if (x3pFile().empty()) return state.SkipWithError("the X3P file could not be made");
  corvane::PointList list;
  for (auto _ : state) {
    const corvane::X3pRead read =
        corvane::readX3p(x3pFile(), list, corvane::LengthUnit::Millimetre, corvane::kMaxListPoints);
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

// The grid's points, read once.
const corvane::PointList& points() {
  static const corvane::PointList list = [] {
    corvane::PointList read;
    if (!x3pFile().empty()) {
      corvane::readX3p(x3pFile(), read, corvane::LengthUnit::Millimetre, corvane::kMaxListPoints);
    }
    return read;
  }();
  return list;
}

void BM_StandardLarge(benchmark::State& state) {
  if (points().count() != kSide * kSide) return state.SkipWithError("no grid");
  corvane::StandardWorkspace workspace;
  for (auto _ : state) {
    const corvane::StandardResult result =
        corvane::standardAnalysis(points().points(), kCutoff, workspace);
    if (!result.grid) return state.SkipWithError("not read as a grid");
    benchmark::DoNotOptimize(result.areal);
  }
}

void BM_StageProfiles(benchmark::State& state) {
  if (points().count() != kSide * kSide) return state.SkipWithError("no grid");
  corvane::StandardWorkspace workspace;
  const auto all = points().points();
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
  if (points().count() != kSide * kSide) return state.SkipWithError("no grid");
  corvane::StandardWorkspace workspace;
  corvane::StandardResult result;
  for (auto _ : state) {
    corvane::arealAnalysis(points().points(), result, workspace);
    benchmark::DoNotOptimize(result.areal);
  }
}

void BM_StageMaterialRatio(benchmark::State& state) {
  if (points().count() != kSide * kSide) return state.SkipWithError("no grid");
  corvane::StandardWorkspace workspace;
  corvane::StandardResult result;
  corvane::arealAnalysis(points().points(), result, workspace);
  corvane::MaterialRatioCurve curve;
  for (auto _ : state) {
    curve.assign(workspace.residual);
    benchmark::DoNotOptimize(corvane::rkConstruction(curve).core);
  }
}

void BM_StageAutocorrelation(benchmark::State& state) {
  if (points().count() != kSide * kSide) return state.SkipWithError("no grid");
  corvane::StandardWorkspace workspace;
  corvane::StandardResult result;
  corvane::arealAnalysis(points().points(), result, workspace);
  corvane::AutocorrelationFft fft;
  for (auto _ : state) {
    fft.compute(workspace.residual, *result.grid);
    benchmark::DoNotOptimize(fft.at(1, 1));
  }
}

BENCHMARK(BM_ReadX3p)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_InflateX3pEntry)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadAscii)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BareParseAscii)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_StandardLarge)->Unit(benchmark::kMillisecond)->UseRealTime()->MeasureProcessCPUTime();
BENCHMARK(BM_StageProfiles)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_StageAreal)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_StageMaterialRatio)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_StageAutocorrelation)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::string(argv[1]) == "--write-grid") return writeGrid(argv[2]) ? 0 : 1;
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
