// libFuzzer target for the point file reader. Every input is read as text by readPointText and
// the result is checked against the reader's promises:
//   - a good read holds 1..kMaxPoints points, and every value is finite and converts to a finite
//     single-precision number (the extents and all drawing are held in single precision);
//   - a failed read leaves the table empty and says where it stopped;
//   - describe() always gives a diagnosis.
// A share of the inputs also goes through a real file and readPointFile, once as it is and once
// behind blanks that put a block boundary of the file reader inside the input; the file must
// give exactly the result and the points that the text gives.
//
// Built only by scripts/fuzz (clang, -DCORVANE_FUZZ=ON, with ASan and UBSan).

#include <fcntl.h>
#include <unistd.h>

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>

#include "data/point_reader.h"
#include "data/point_table.h"

namespace {

using namespace corvane;

// The smallest magnitude whose single-precision conversion is infinite.
constexpr double kSinglePrecisionLimit = 0x1.ffffffp127;

[[noreturn]] void broken(const char* promise) {
  std::fprintf(stderr, "read_points_fuzzer: broken promise: %s\n", promise);
  std::abort();
}

void require(bool condition, const char* promise) {
  if (!condition) broken(promise);
}

bool finiteInSinglePrecision(double value) {
  return std::isfinite(value) && std::fabs(value) < kSinglePrecisionLimit &&
         std::isfinite(static_cast<float>(value));
}

void checkResult(const ReadResult& result, const PointTable& table) {
  require(!describe(result).empty(), "describe gives a diagnosis");
  if (result.ok()) {
    require(result.pointCount >= 1 && result.pointCount <= kMaxPoints,
            "a good read holds 1..kMaxPoints points");
    require(table.count() == result.pointCount, "the table holds the points read");
    for (int r = 1; r <= result.pointCount; ++r) {
      const Point& p = table.row(r);
      require(finiteInSinglePrecision(p.x) && finiteInSinglePrecision(p.y) &&
                  finiteInSinglePrecision(p.z),
              "every value is finite in single precision");
    }
    return;
  }
  require(result.pointCount == 0 && table.count() == 0, "a failed read leaves no point");
  switch (result.error) {
    case ReadError::NotANumber:
    case ReadError::OutOfRange:
      require(result.line >= 1 && result.field >= 1, "a bad field has its line and field");
      require(result.point >= 1 && result.point <= kMaxPoints + 1 && result.axis >= 0 &&
                  result.axis <= 2,
              "a bad field has its point and coordinate");
      require(result.found.size() <= 4 * kFoundLength + 3, "the quoted field is short");
      break;
    case ReadError::EndsInsidePoint:
      require(result.line >= 1 && (result.axis == 1 || result.axis == 2),
              "an unfinished point names its line and missing coordinate");
      break;
    case ReadError::TooManyPoints:
      require(result.point == kMaxPoints + 1, "too many points names point kMaxPoints + 1");
      break;
    case ReadError::NoPoints:
      break;
    default:
      broken("text fails only for what it holds");
  }
}

bool sameResult(const ReadResult& a, const ReadResult& b) {
  return a.error == b.error && a.pointCount == b.pointCount && a.line == b.line &&
         a.field == b.field && a.found == b.found && a.point == b.point && a.axis == b.axis;
}

bool sameRows(const PointTable& a, const PointTable& b, int count) {
  return count == 0 ||
         std::memcmp(&a.row(1), &b.row(1), sizeof(Point) * static_cast<std::size_t>(count)) == 0;
}

// One scratch file for the whole run, removed when the fuzzer ends.
class ScratchFile {
 public:
  ScratchFile() {
    char name[] = "/tmp/corvane-fuzz-XXXXXX";
    fd_ = mkstemp(name);
    require(fd_ >= 0, "a scratch file can be made");
    path_ = name;
  }
  ~ScratchFile() {
    close(fd_);
    unlink(path_.c_str());
  }
  const std::string& write(std::string_view bytes) {
    require(ftruncate(fd_, 0) == 0, "the scratch file can be emptied");
    std::size_t done = 0;
    while (done < bytes.size()) {
      const ssize_t n =
          pwrite(fd_, bytes.data() + done, bytes.size() - done, static_cast<off_t>(done));
      require(n > 0, "the scratch file can be written");
      done += static_cast<std::size_t>(n);
    }
    return path_;
  }

 private:
  int fd_ = -1;
  std::string path_;
};

// Reads the bytes as text and from a file and requires the same result and points.
void compareTextAndFile(std::string_view bytes, PointTable& fromText, PointTable& fromFile) {
  static ScratchFile scratch;
  const ReadResult text = readPointText(bytes, fromText);
  const ReadResult file = readPointFile(scratch.write(bytes), fromFile);
  checkResult(file, fromFile);
  require(sameResult(text, file), "a file reads as its text reads");
  require(sameRows(fromText, fromFile, text.pointCount), "a file gives the points its text gives");
}

std::uint32_t hashOf(const std::uint8_t* data, std::size_t size) {
  std::uint32_t hash = 2166136261u;
  for (std::size_t i = 0; i < size; ++i) hash = (hash ^ data[i]) * 16777619u;
  return hash;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const auto first = std::make_unique<PointTable>();
  static const auto second = std::make_unique<PointTable>();
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);

  const ReadResult result = readPointText(bytes, *first);
  checkResult(result, *first);

  // The file reads are costly beside the text read (a 1 MiB buffer, a file written and read), so
  // only a share of the inputs takes them: which ones follows from the bytes, so that a saved
  // input always takes the same way again.
  const std::uint32_t hash = hashOf(data, size);
  if (hash % 64 == 0) compareTextAndFile(bytes, *first, *second);
  if (hash % 512 == 1) {
    // Blanks in front, so that the file's first block ends inside the input: any byte of it
    // (a field, a CR LF pair, a comma) can be the one the boundary cuts.
    const std::size_t cut = size == 0 ? 0 : (hash >> 9) % (size + 1);
    std::string padded(kReadBlockSize - cut, ' ');
    padded.append(bytes);
    compareTextAndFile(padded, *first, *second);
  }
  return 0;
}
