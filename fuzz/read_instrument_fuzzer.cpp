// libFuzzer target for the readers of instruments' formats: the input's first byte chooses the
// format (its index in instrumentFormats(), modulo their number), the rest is the file, read by
// readInstrumentBytes with a limit of 65536 points so that memory stays small whatever the input
// claims. The promises checked:
//   - a good read holds a whole grid (columns x rows = the points, at most the limit), at least
//     3 heights measured, every coordinate finite and within single precision but the NaN height
//     of a non-measured point, and their number is the one told;
//   - a failed read leaves the list empty and says why.
// Built only by scripts/fuzz (clang, -DCORVANE_FUZZ=ON, with ASan and UBSan).

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "formats/instrument_file.h"

namespace {

using namespace corvane;

constexpr int kLimit = 1 << 16;

[[noreturn]] void broken(const char* promise) {
  std::fprintf(stderr, "read_instrument_fuzzer: broken promise: %s\n", promise);
  std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static PointList list;
  if (size == 0) return 0;
  const auto& formats = instrumentFormats();
  const InstrumentFormat& format = formats[data[0] % formats.size()];
  const std::string_view bytes(reinterpret_cast<const char*>(data) + 1, size - 1);
  const InstrumentRead read =
      readInstrumentBytes(bytes, format, list, LengthUnit::Micrometre, kLimit);
  if (!read.ok) {
    if (read.error.empty()) broken("a failure says why");
    if (list.count() != 0) broken("a failure leaves no point");
    return 0;
  }
  const MeasurementInfo& m = read.measurement;
  if (m.format != format.name) broken("the format is the one read");
  if (m.size[0] * m.size[1] != static_cast<std::uint64_t>(list.count())) {
    broken("a good read holds the whole grid");
  }
  if (list.count() < 3 || list.count() > kLimit) broken("a good read holds 3..limit points");
  std::uint64_t holes = 0;
  for (const Point& p : list.points()) {
    const bool hole = std::isnan(p.z);
    holes += hole ? 1 : 0;
    for (const double v : {p.x, p.y, p.z}) {
      if (hole && v != v) continue;
      if (!std::isfinite(v) || std::fabs(v) >= 3.4e38) broken("every coordinate is finite");
    }
  }
  if (holes != m.nonMeasured) broken("the non-measured points are counted");
  if (static_cast<std::uint64_t>(list.count()) - holes < 3) broken("3 heights are measured");
  return 0;
}
