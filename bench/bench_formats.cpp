// Reading instrument files against the bare cost of their bytes, side by side in one run:
//
//   BM_ReadFormat/<file>   readInstrumentFile of a 2048 x 2048 file of each binary format
//                          (bench/format_files.h) into one point list kept across iterations,
//                          as the batch keeps one
//   BM_BareBytes/<file>    the whole file read into a std::string (one read), and for a
//                          compressed Digital Surf file the inflating of its zlib streams
//   BM_BarePoints/<file>   the bytes read as above and a point (24 bytes: x, y and z) written
//                          for each height into a list kept across iterations: the least any
//                          reader into Corvane's points does, which a binary grid's bytes
//                          (2 to 8 a height) alone do not show
//   BM_ReadShared/<file>   the first two on each real file of tests/data/formats
//   BM_BareShared/<file>
//
// Each read is registered just before its baseline, so the pairs come out together; the goal
// is a read within twice its baseline. bench/formats_speed.sh runs them and prints the ratios.

#include <benchmark/benchmark.h>
#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "data/point_list.h"
#include "format_files.h"
#include "formats/instrument_file.h"

namespace {

namespace fs = std::filesystem;

// The file's bytes, whole, as readInstrumentFile takes them: one read into a string of its size.
std::string wholeFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  in.seekg(0, std::ios::end);
  std::string bytes(static_cast<std::size_t>(std::max<std::streamoff>(in.tellg(), 0)), '\0');
  in.seekg(0);
  in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  return bytes;
}

struct Zipped {
  std::size_t at = 0, size = 0;  // the stream's place in the file
  std::uint32_t raw = 0;         // the bytes it inflates to, as the file declares
};

// The zlib streams of a Digital Surf file whose first object is compressed: after the 512-byte
// header, its comment and private zone (their sizes at 334 and 336), the count of streams and
// each one's inflated and zipped size, then the streams one after another. None for any other
// file, or when they do not fit in it.
std::vector<Zipped> surStreams(std::string_view bytes) {
  if (bytes.size() < 512 || bytes.substr(0, 12) != "DSCOMPRESSED") return {};
  const auto u16 = [&](std::size_t at) {
    return static_cast<std::size_t>(static_cast<unsigned char>(bytes[at]) |
                                    static_cast<unsigned char>(bytes[at + 1]) << 8);
  };
  const auto u32 = [&](std::size_t at) {
    return static_cast<std::uint32_t>(u16(at) | u16(at + 2) << 16);
  };
  std::size_t at = 512 + u16(334) + u16(336);
  if (at + 4 > bytes.size()) return {};
  std::vector<Zipped> streams(std::min<std::size_t>(u32(at), (bytes.size() - at - 4) / 8));
  at += 4;
  for (Zipped& s : streams) {
    s.raw = u32(at);
    s.size = u32(at + 4);
    at += 8;
  }
  for (Zipped& s : streams) {
    if (s.size > bytes.size() - at) return {};
    s.at = at;
    at += s.size;
  }
  return streams;
}

const corvane::InstrumentFormat& formatNamed(std::string_view name) {
  for (const corvane::InstrumentFormat& format : corvane::instrumentFormats()) {
    if (format.name == name) return format;
  }
  throw std::logic_error("no instrument format " + std::string(name));
}

// Whether the file to measure is there: the made ones are written on first use.
bool ready(benchmark::State& state, const fs::path& path, bool made) {
  if (made && !corvane::bench::makeFormatFiles()) {
    state.SkipWithError("the 2048 x 2048 files could not be written");
    return false;
  }
  std::error_code error;
  if (!fs::is_regular_file(path, error)) {
    state.SkipWithError(("no file " + path.string()).c_str());
    return false;
  }
  return true;
}

void read(benchmark::State& state, const fs::path& path, const corvane::InstrumentFormat& format,
          bool made) {
  if (!ready(state, path, made)) return;
  corvane::PointList list;
  for (auto _ : state) {
    const corvane::InstrumentRead read = corvane::readInstrumentFile(
        path, format, list, corvane::LengthUnit::Micrometre, corvane::kMaxListPoints);
    if (!read.ok) return state.SkipWithError(read.error.c_str());
    benchmark::DoNotOptimize(list.points().data());
  }
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(fs::file_size(path)));
}

void bare(benchmark::State& state, const fs::path& path, bool made) {
  if (!ready(state, path, made)) return;
  const std::vector<Zipped> streams = surStreams(wholeFile(path));
  for (auto _ : state) {
    const std::string bytes = wholeFile(path);
    benchmark::DoNotOptimize(bytes.data());
    for (const Zipped& s : streams) {
      const auto out = std::make_unique_for_overwrite<Bytef[]>(s.raw);
      uLongf size = s.raw;
      if (uncompress(out.get(), &size, reinterpret_cast<const Bytef*>(bytes.data() + s.at),
                     s.size) != Z_OK) {
        return state.SkipWithError("a zlib stream did not inflate to its declared size");
      }
      benchmark::DoNotOptimize(out.get());
    }
  }
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(fs::file_size(path)));
}

void barePoints(benchmark::State& state, const fs::path& path) {
  if (!ready(state, path, true)) return;
  const std::vector<double>& z = corvane::bench::formatHeights();
  constexpr std::size_t side = corvane::bench::kFormatSide;
  constexpr double step = corvane::bench::kFormatStep * 1e6;
  corvane::PointList list;
  for (auto _ : state) {
    const std::string bytes = wholeFile(path);
    benchmark::DoNotOptimize(bytes.data());
    corvane::Point* rows = list.resize(static_cast<int>(z.size()));
    for (std::size_t r = 0; r < side; ++r) {
      for (std::size_t c = 0; c < side; ++c) {
        rows[1 + r * side + c] = corvane::Point{
            static_cast<double>(c) * step, static_cast<double>(r) * step, z[r * side + c] * 1e6};
      }
    }
    list.setCount(static_cast<int>(z.size()));
    benchmark::DoNotOptimize(list.points().data());
  }
}

void registerPair(const std::string& read_, const std::string& bare_, const fs::path& path,
                  const corvane::InstrumentFormat& format, bool made) {
  benchmark::RegisterBenchmark(read_.c_str(), [path, &format, made](benchmark::State& state) {
    read(state, path, format, made);
  })->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark(bare_.c_str(), [path, made](benchmark::State& state) {
    bare(state, path, made);
  })->Unit(benchmark::kMillisecond);
}

}  // namespace

int main(int argc, char** argv) {
  for (const corvane::bench::FormatFile& file : corvane::bench::kFormatFiles) {
    const std::string label(file.label);
    registerPair("BM_ReadFormat/" + label, "BM_BareBytes/" + label,
                 corvane::bench::formatFilePath(file), formatNamed(file.format), true);
    benchmark::RegisterBenchmark(("BM_BarePoints/" + label).c_str(),
                                 [path = corvane::bench::formatFilePath(file)](
                                     benchmark::State& state) { barePoints(state, path); })
        ->Unit(benchmark::kMillisecond);
  }
  std::vector<fs::path> shared;
  for (const fs::directory_entry& entry : fs::directory_iterator(CORVANE_FORMATS_DIR)) {
    if (entry.is_regular_file() && corvane::instrumentFormatOf(entry.path())) {
      shared.push_back(entry.path());
    }
  }
  std::sort(shared.begin(), shared.end());
  for (const fs::path& path : shared) {
    const std::string name = path.filename().string();
    registerPair("BM_ReadShared/" + name, "BM_BareShared/" + name, path,
                 *corvane::instrumentFormatOf(path), false);
  }
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
