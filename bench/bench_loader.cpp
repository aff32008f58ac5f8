// The loader re-reads the point file on every Draw and Calculate, so it must cost about what a
// bare number scan of the same bytes costs.
//
//   BM_Loader     the full load: readPointFile and computeExtents.
//   BM_BareParse  the baseline: the whole file read into memory, then std::from_chars over it with
//                 no checks at all, the values pushed into a vector.
//   BM_ParseText  where the loader's time goes: readPointText on the bytes already in memory,
//   BM_Extents    and computeExtents alone.
//
// All run on scans of 10k, 100k and 1M points written once to a temporary folder. The 1M scan
// holds more than kMaxPoints points: the loader stops at point kMaxPoints + 1, while the bare
// scan parses every byte. Each benchmark is repeated 10 times; the median is the figure to read.
// On a shared machine, interleave the repetitions so that a change of load hits all alike:
//   bench_loader --benchmark_enable_random_interleaving=true

#include <benchmark/benchmark.h>

#include <charconv>
#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <system_error>
#include <vector>

#include "bare_parse.h"
#include "data/extents.h"
#include "data/point_reader.h"
#include "data/point_table.h"
#include "scan_generator.h"

namespace {

constexpr long kSizes[] = {10'000, 100'000, 1'000'000};

std::map<long, std::filesystem::path>& scanFiles() {
  static std::map<long, std::filesystem::path> files;
  return files;
}

std::string fileBytes(const std::filesystem::path& path) {
  std::string bytes(static_cast<std::size_t>(std::filesystem::file_size(path)), '\0');
  std::FILE* file = std::fopen(path.c_str(), "rb");
  bytes.resize(std::fread(bytes.data(), 1, bytes.size(), file));
  std::fclose(file);
  return bytes;
}

corvane::ReadError expectedOutcome(long points) {
  return points > corvane::kMaxPoints ? corvane::ReadError::TooManyPoints
                                      : corvane::ReadError::None;
}

void BM_Loader(benchmark::State& state) {
  const std::filesystem::path& path = scanFiles().at(state.range(0));
  const auto expected = expectedOutcome(state.range(0));
  const auto table = std::make_unique<corvane::PointTable>();
  for (auto _ : state) {
    const corvane::ReadResult result = corvane::readPointFile(path, *table);
    corvane::Extents extents = corvane::computeExtents(*table);
    benchmark::DoNotOptimize(extents);
    if (result.error != expected) {
      state.SkipWithError(corvane::describe(result).c_str());
      break;
    }
  }
  if (expected == corvane::ReadError::TooManyPoints) state.SetLabel("stops at point 100001");
}

void BM_BareParse(benchmark::State& state) {
  corvane::bench::BareParse parse(scanFiles().at(state.range(0)));
  for (auto _ : state) {
    benchmark::DoNotOptimize(parse.run());
    benchmark::ClobberMemory();
  }
}

void BM_ParseText(benchmark::State& state) {
  const std::string bytes = fileBytes(scanFiles().at(state.range(0)));
  const auto expected = expectedOutcome(state.range(0));
  const auto table = std::make_unique<corvane::PointTable>();
  for (auto _ : state) {
    const corvane::ReadResult result = corvane::readPointText(bytes, *table);
    if (result.error != expected) {
      state.SkipWithError(corvane::describe(result).c_str());
      break;
    }
  }
}

void BM_Extents(benchmark::State& state) {
  const auto table = std::make_unique<corvane::PointTable>();
  corvane::readPointFile(scanFiles().at(state.range(0)), *table);
  for (auto _ : state) {
    corvane::Extents extents = corvane::computeExtents(*table);
    benchmark::DoNotOptimize(extents);
  }
}

void registerAll() {
  const std::pair<const char*, void (*)(benchmark::State&)> all[] = {
      {"BM_Loader", BM_Loader},
      {"BM_BareParse", BM_BareParse},
      {"BM_ParseText", BM_ParseText},
      {"BM_Extents", BM_Extents},
  };
  for (const auto& [name, function] : all) {
    auto* benchmark = benchmark::RegisterBenchmark(name, function);
    for (const long size : kSizes) {
      // A failed load leaves no points to take the extents of.
      if (function != BM_Extents || size <= corvane::kMaxPoints) benchmark->Arg(size);
    }
    benchmark->Unit(benchmark::kMillisecond)->Repetitions(10)->ReportAggregatesOnly(true);
  }
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;

  const auto folder = std::filesystem::temp_directory_path() /
                      ("corvane-bench-" + std::to_string(std::random_device{}()));
  std::filesystem::create_directory(folder);
  for (const long size : kSizes) {
    const auto path = folder / ("scan-" + std::to_string(size) + ".txt");
    if (!corvane::bench::writeScan(path, static_cast<int>(size))) {
      std::fprintf(stderr, "cannot write %s\n", path.c_str());
      return 1;
    }
    scanFiles()[size] = path;
  }

  registerAll();
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();

  std::error_code ignored;
  std::filesystem::remove_all(folder, ignored);
  return 0;
}
