// Sensofar PLU: a 500-byte little-endian header (the date as text, the user's comment, the axes'
// calibration in micrometres per pixel, the measurement's configuration), then the first layer's
// rows and columns and its heights as 32-bit floats in micrometres, row after row, x along a
// row. The file has no signature: its header is checked instead.

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <string>

#include "formats/byte_reader.h"
#include "formats/instrument_file.h"

namespace corvane {

namespace {

constexpr std::size_t kDateSize = 128;
constexpr std::size_t kCommentAt = 132, kCommentSize = 256;
constexpr std::size_t kCalibrationAt = 388;
constexpr std::size_t kTypeAt = 428;
constexpr std::size_t kLayerAt = 500;
constexpr float kNonMeasured = 1000001.0f;
constexpr int kProfile = 1, kTopography = 3;

// The header's date, "Mon Apr 19 11:40:13 2021", as "2021-04-19 11:40:13"; "" when it is not one.
std::string dateText(const std::string& text) {
  char weekday[4] = {}, month[4] = {};
  int day = 0, hour = 0, minute = 0, second = 0, year = 0;
  if (std::sscanf(text.c_str(), "%3s %3s %d %d:%d:%d %d", weekday, month, &day, &hour, &minute,
                  &second, &year) != 7) {
    return "";
  }
  static constexpr const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                            "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  int number = 0;
  for (int m = 0; m < 12; ++m) {
    if (std::strcmp(month, kMonths[m]) == 0) number = m + 1;
  }
  if (number == 0 || day < 1 || day > 31 || hour < 0 || hour > 23 || minute < 0 || minute > 59 ||
      second < 0 || second > 60 || year < 1900 || year > 2200) {
    return "";
  }
  char out[32];
  std::snprintf(out, sizeof out, "%04d-%02d-%02d %02d:%02d:%02d", year, number, day, hour, minute,
                second);
  return out;
}

// The user's comment as UTF-8 (the file writes Latin-1); "" for the "(None)" written when
// there is none.
std::string commentText(const std::string& text) {
  if (text == "(None)") return "";
  return utf8FromLatin1(text);
}

bool printable(const std::string& text) {
  for (const char c : text) {
    if (c < 0x20 || c > 0x7E) return false;
  }
  return !text.empty();
}

}  // namespace

InstrumentGrid readPlu(const std::filesystem::path&, std::string_view bytes, std::uint64_t limit) {
  ByteReader in(bytes);
  std::string date = in.text(kDateSize, "header");
  while (!date.empty() && (date.back() == '\n' || date.back() == '\r')) date.pop_back();
  if (!printable(date)) throw FormatError("the file does not start with a PLU header's date");
  in.seek(kCommentAt, "header");
  const std::string comment = in.text(kCommentSize, "header");

  in.seek(kCalibrationAt + 16, "header");
  const double umPerPixelX = in.little<float>("header");
  const double umPerPixelY = in.little<float>("header");
  in.seek(kTypeAt, "header");
  const auto type = in.little<std::uint32_t>("header");
  if (type != kProfile && type != kTopography) {
    throw FormatError("the file holds a measurement of type " + std::to_string(type) +
                      "; topographies (3) and profiles (1) are read");
  }

  in.seek(kLayerAt, "header");
  const auto rows = in.little<std::uint32_t>("layer size");
  const auto columns = in.little<std::uint32_t>("layer size");
  checkGridSize(columns, rows, limit);
  const std::uint64_t count = std::uint64_t{columns} * rows;
  if (count > in.remaining() / 4) {
    throw FormatError("the header says " + std::to_string(columns) + " x " + std::to_string(rows) +
                      " points but the file holds " + std::to_string(in.remaining()) +
                      " bytes of heights");
  }

  InstrumentGrid grid;
  grid.columns = columns;
  grid.rows = rows;
  grid.dx = umPerPixelX * 1e-6;
  checkSpacing(grid.dx, "x spacing");
  if (rows > 1) {
    grid.dy = umPerPixelY * 1e-6;
    checkSpacing(grid.dy, "y spacing");
  }
  grid.unitInFile = "um";
  grid.date = dateText(date);
  grid.comment = commentText(comment);

  const char* at = in.take(count * 4, "heights").data();
  const double notMeasured = std::numeric_limits<double>::quiet_NaN();
  grid.z.resize(static_cast<std::size_t>(count));
  for (double& z : grid.z) {
    const float v = ByteReader::load<float>(at, std::endian::little);
    at += 4;
    z = v == kNonMeasured || !std::isfinite(v) ? notMeasured : v * 1e-6;
  }
  return grid;
}

}  // namespace corvane
