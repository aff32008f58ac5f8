// libFuzzer target for the X3P reader: every input is read as a container held in memory by
// readX3pBytes, with a limit of 65536 points so that memory stays small whatever the input
// claims. An input that starts with '<' is taken as main.xml and put in a container beside a
// data entry of 64 KiB and a bit array, so that the document's reading is fuzzed too (a
// mutated container mostly fails its CRC before any XML is read). The promises checked:
//   - a good read holds 1..limit points, every coordinate finite and within single precision
//     but for the NaN height of a grid's or profile's non-measured point (at least 3 measured),
//     and says what kind of file it was and whether its checksums matched;
//   - a failed read leaves the list empty and says why.
// Built only by scripts/fuzz (clang, -DCORVANE_FUZZ=ON, with ASan and UBSan).

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>

#include <zip.h>

#include <string>

#include "formats/x3p.h"

namespace {

using namespace corvane;

constexpr int kLimit = 1 << 16;

[[noreturn]] void broken(const char* promise) {
  std::fprintf(stderr, "read_x3p_fuzzer: broken promise: %s\n", promise);
  std::abort();
}

// A container of main.xml, bindata/data.bin (a fixed pattern) and bindata/valid.bin, all stored.
std::string containerOf(std::string_view xml) {
  static const std::string data = [] {
    std::string bytes(65536, '\0');
    for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>((i * 37) >> 3);
    return bytes;
  }();
  zip_error_t error;
  zip_error_init(&error);
  zip_source_t* memory = zip_source_buffer_create(nullptr, 0, 0, &error);
  zip_source_keep(memory);
  zip_t* archive = zip_open_from_source(memory, ZIP_TRUNCATE, &error);
  const auto add = [&](const char* name, std::string_view bytes) {
    zip_source_t* source = zip_source_buffer(archive, bytes.data(), bytes.size(), 0);
    const zip_int64_t index = zip_file_add(archive, name, source, 0);
    zip_set_file_compression(archive, static_cast<zip_uint64_t>(index), ZIP_CM_STORE, 0);
  };
  add("main.xml", xml);
  add("bindata/data.bin", data);
  add("bindata/valid.bin", std::string_view(data).substr(0, 8192));
  zip_close(archive);
  std::string container;
  zip_stat_t stat;
  if (zip_source_stat(memory, &stat) == 0 && zip_source_open(memory) == 0) {
    container.resize(stat.size);
    container.resize(static_cast<std::size_t>(
        std::max<zip_int64_t>(0, zip_source_read(memory, container.data(), container.size()))));
    zip_source_close(memory);
  }
  zip_source_free(memory);
  zip_error_fini(&error);
  return container;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static PointList list;
  std::string_view bytes(reinterpret_cast<const char*>(data), size);
  std::string container;
  if (!bytes.empty() && bytes.front() == '<') {
    container = containerOf(bytes);
    bytes = container;
  }
  const X3pRead read = readX3pBytes(bytes, list, LengthUnit::Micrometre, kLimit);
  if (!read.ok) {
    if (read.error.empty()) broken("a failure says why");
    if (list.count() != 0) broken("a failure leaves no point");
    return 0;
  }
  if (list.count() < 1 || list.count() > kLimit) broken("a good read holds 1..limit points");
  const std::string& kind = read.info.featureType;
  if (kind != "SUR" && kind != "PRF" && kind != "PCL") broken("the kind is known");
  // A grid or a profile keeps its non-measured points in place with the height NaN, at least 3
  // measured among them; a cloud leaves them out.
  int measured = 0;
  for (const Point& p : list.points()) {
    const bool hole = std::isnan(p.z) && kind != "PCL";
    measured += hole ? 0 : 1;
    for (const double v : {p.x, p.y, p.z}) {
      if (hole && v != v) continue;
      if (!std::isfinite(v) || std::fabs(v) >= 3.4e38) broken("every coordinate is finite");
    }
  }
  if (kind != "PCL" && measured < 3) broken("a grid or profile has 3 measured points");
  const std::string& sums = read.info.checksums;
  if (sums != "ok" && sums != "mismatch" && sums != "absent") broken("the checksums are told");
  return 0;
}
