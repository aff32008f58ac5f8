// SDF, the surface data file of ISO 25178-71 and of the BCR report before it (EUR 15178): a
// header of the grid's size and scales, the heights profile by profile, then free text.
//
// The first 8 bytes name the variant: "a" (ASCII) or "b" (binary), then "ISO-1.0", "ISO-2.0" or
// "BCR-1.0". An ASCII file holds "Name = value" lines up to a line "*", the heights as
// numbers separated by blanks ("BAD" where not measured) up to the next "*", then the trailer
// up to a last "*". A binary file holds the same header fields in fixed places (81 bytes; 85 in
// ISO-2.0, whose counts are 32-bit), then the heights little-endian, then the trailer. A height
// is its value times Zscale, in metres; Xscale and Yscale are the spacings in metres.

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "formats/byte_reader.h"
#include "formats/instrument_file.h"

namespace corvane {

namespace {

constexpr std::string_view kVariants[] = {"aISO-1.0", "bISO-1.0", "aISO-2.0",
                                          "bISO-2.0", "aBCR-1.0", "bBCR-1.0"};

// The storage of the heights by DataType code, with the value that marks a point not measured
// (the type's least value for the signed types, its greatest for the unsigned ones; none for
// unsigned char).
struct DataType {
  std::string_view name;
  std::size_t size;
  std::optional<double> notMeasured;
};

const DataType* dataTypeOf(std::uint64_t code) {
  static const DataType types[] = {
      {"unsigned char", 1, std::nullopt},
      {"unsigned int16", 2, 65535.0},
      {"unsigned int32", 4, 4294967295.0},
      {"float", 4, -static_cast<double>(std::numeric_limits<float>::max())},
      {"signed char", 1, -128.0},
      {"int16", 2, -32768.0},
      {"int32", 4, -2147483648.0},
      {"double", 8, -std::numeric_limits<double>::max()},
  };
  return code < std::size(types) ? &types[code] : nullptr;
}

bool sameName(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) ==
                  std::tolower(static_cast<unsigned char>(y));
         });
}

std::string_view trimmed(std::string_view text) {
  const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
  while (!text.empty() && blank(text.front())) text.remove_prefix(1);
  while (!text.empty() && blank(text.back())) text.remove_suffix(1);
  return text;
}

// At most 40 characters of a piece of the file, for a diagnosis.
std::string quoted(std::string_view text) {
  std::string out(text.substr(0, 40));
  for (char& c : out) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
  }
  return "'" + out + (text.size() > 40 ? "...'" : "'");
}

// The fields of the header, as the file gives them.
struct Header {
  std::string manufacturer, created;
  std::uint64_t points = 0, profiles = 0;
  double xScale = 0, yScale = 0, zScale = 0;
  std::uint64_t compression = 0, dataType = 0, checkType = 0;
};

// "DDMMYYYYHHMM" as "YYYY-MM-DD HH:MM"; any other text as it stands.
std::string dateText(std::string_view date) {
  date = trimmed(date);
  if (date.size() != 12 || !std::all_of(date.begin(), date.end(), [](char c) {
        return std::isdigit(static_cast<unsigned char>(c));
      })) {
    return std::string(date);
  }
  return std::string(date.substr(4, 4)) + "-" + std::string(date.substr(2, 2)) + "-" +
         std::string(date.substr(0, 2)) + " " + std::string(date.substr(8, 2)) + ":" +
         std::string(date.substr(10, 2));
}

// The trailer's free text as one line: its lines joined by "; ", a line "<Name> text </Name>"
// given as "Name: text".
std::string trailerText(std::string_view trailer) {
  std::string out;
  while (!trailer.empty() && out.size() < 2000) {
    const std::size_t end = std::min(trailer.find('\n'), trailer.size());
    std::string line(trimmed(trailer.substr(0, end)));
    trailer.remove_prefix(std::min(end + 1, trailer.size()));
    for (char& c : line) {
      if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = ' ';
    }
    if (line.find_first_not_of(" *") == std::string::npos) continue;
    const std::size_t open = line.find('>'), close = line.rfind('<');
    if (line.front() == '<' && line.back() == '>' && open != std::string::npos && open < close) {
      const std::string name(trimmed(std::string_view(line).substr(1, open - 1)));
      const std::string text(trimmed(std::string_view(line).substr(open + 1, close - open - 1)));
      if (!name.empty() && name.find_first_of("<>/") == std::string::npos) {
        line = name + ": " + text;
      }
    }
    out += (out.empty() ? "" : "; ") + line;
  }
  return out;
}

std::uint64_t countField(std::string_view value, std::string_view name) {
  std::uint64_t count = 0;
  const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), count);
  if (error != std::errc{} || end != value.data() + value.size()) {
    throw FormatError("the header's " + std::string(name) + " " + quoted(value) +
                      " is not a whole number");
  }
  return count;
}

double numberField(std::string_view value, std::string_view name) {
  if (!value.empty() && value.front() == '+') value.remove_prefix(1);
  double number = 0;
  const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), number);
  if (error != std::errc{} || end != value.data() + value.size()) {
    throw FormatError("the header's " + std::string(name) + " " + quoted(value) +
                      " is not a number");
  }
  return number;
}

// The "Name = value" lines after the first up to the line "*"; `at` is left after that line.
Header asciiHeader(std::string_view text, std::size_t& at) {
  static constexpr std::string_view kNames[] = {"NumPoints", "NumProfiles", "Xscale",
                                                "Yscale",    "Zscale",      "DataType"};
  bool seen[std::size(kNames)] = {};
  Header header;
  at = std::min(text.find('\n'), text.size());
  for (int line = 2;; ++line) {
    if (at >= text.size()) throw FormatError("the header does not end with a line '*'");
    ++at;
    const std::size_t end = std::min(text.find('\n', at), text.size());
    const std::string_view record = trimmed(text.substr(at, end - at));
    at = end;
    if (record == "*") break;
    if (record.empty() || record.front() == ';') continue;
    const std::size_t equals = record.find('=');
    if (equals == std::string_view::npos) {
      throw FormatError("line " + std::to_string(line) + " of the header, " + quoted(record) +
                        ", is neither 'Name = value' nor the '*' that ends it");
    }
    const std::string_view name = trimmed(record.substr(0, equals));
    const std::string_view value = trimmed(record.substr(equals + 1));
    for (std::size_t i = 0; i < std::size(kNames); ++i) {
      if (sameName(name, kNames[i])) seen[i] = true;
    }
    if (sameName(name, "ManufacID")) header.manufacturer = value;
    if (sameName(name, "CreateDate")) header.created = value;
    if (sameName(name, "NumPoints")) header.points = countField(value, name);
    if (sameName(name, "NumProfiles")) header.profiles = countField(value, name);
    if (sameName(name, "Xscale")) header.xScale = numberField(value, name);
    if (sameName(name, "Yscale")) header.yScale = numberField(value, name);
    if (sameName(name, "Zscale")) header.zScale = numberField(value, name);
    if (sameName(name, "Compression")) header.compression = countField(value, name);
    if (sameName(name, "DataType")) header.dataType = countField(value, name);
    if (sameName(name, "CheckType")) header.checkType = countField(value, name);
  }
  for (std::size_t i = 0; i < std::size(kNames); ++i) {
    if (!seen[i]) throw FormatError("the header has no " + std::string(kNames[i]));
  }
  at = std::min(at + 1, text.size());
  return header;
}

Header binaryHeader(ByteReader& in, bool wideCounts) {
  Header header;
  in.skip(8, "version");
  header.manufacturer = in.text(10, "ManufacID");
  header.created = in.text(12, "CreateDate");
  in.skip(12, "ModDate");
  header.points =
      wideCounts ? in.little<std::uint32_t>("NumPoints") : in.little<std::uint16_t>("NumPoints");
  header.profiles = wideCounts ? in.little<std::uint32_t>("NumProfiles")
                               : in.little<std::uint16_t>("NumProfiles");
  header.xScale = in.little<double>("Xscale");
  header.yScale = in.little<double>("Yscale");
  header.zScale = in.little<double>("Zscale");
  in.skip(8, "Zresolution");
  header.compression = in.little<std::uint8_t>("Compression");
  header.dataType = in.little<std::uint8_t>("DataType");
  header.checkType = in.little<std::uint8_t>("CheckType");
  return header;
}

// The grid the header describes, its heights not yet read; refuses what cannot be read.
InstrumentGrid gridOf(const Header& header, std::uint64_t limit) {
  if (header.compression != 0) {
    throw FormatError("the heights are compressed (Compression " +
                      std::to_string(header.compression) + "), which Corvane does not read");
  }
  if (header.checkType != 0) {
    throw FormatError("the heights carry a checksum (CheckType " +
                      std::to_string(header.checkType) + "), which Corvane does not read");
  }
  if (!dataTypeOf(header.dataType)) {
    throw FormatError("the header's DataType " + std::to_string(header.dataType) +
                      " is none of the types 0 to 7");
  }
  checkGridSize(header.points, header.profiles, limit);
  checkSpacing(header.xScale, "x spacing (Xscale)");
  // A profile's Yscale means nothing and is often 0.
  if (header.profiles > 1) checkSpacing(header.yScale, "y spacing (Yscale)");
  if (!std::isfinite(header.zScale) || !(header.zScale > 0)) {
    throw FormatError("the file's height scale (Zscale) is not a positive number");
  }
  InstrumentGrid grid;
  grid.columns = header.points;
  grid.rows = header.profiles;
  grid.dx = header.xScale;
  grid.dy = header.profiles > 1 ? header.yScale : 0.0;
  grid.unitInFile = std::string("m");
  grid.date = dateText(header.created);
  grid.instrument = std::string(trimmed(header.manufacturer));
  return grid;
}

// The height of a stored value: the value times Zscale, NaN where it marks a point not measured.
inline double height(double value, const DataType& type, double zScale) {
  if (std::isnan(value) || (type.notMeasured && value == *type.notMeasured)) {
    return std::numeric_limits<double>::quiet_NaN();
  }
  return value * zScale;
}

template <class T>
void decode(const char* at, std::size_t count, const DataType& type, double zScale, double* out) {
  for (std::size_t i = 0; i < count; ++i, at += sizeof(T)) {
    out[i] =
        height(static_cast<double>(ByteReader::load<T>(at, std::endian::little)), type, zScale);
  }
}

void readBinaryHeights(ByteReader& in, const Header& header, InstrumentGrid& grid) {
  const DataType& type = *dataTypeOf(header.dataType);
  const std::uint64_t count = header.points * header.profiles;
  if (count > in.remaining() / type.size) {
    throw FormatError("the header says " + std::to_string(header.points) + " x " +
                      std::to_string(header.profiles) + " heights of " + std::to_string(type.size) +
                      " bytes but " + std::to_string(in.remaining()) + " bytes follow it");
  }
  const char* at = in.take(count * type.size, "heights").data();
  grid.z.resize(count);
  double* out = grid.z.data();
  switch (header.dataType) {
    case 0:
      decode<std::uint8_t>(at, count, type, header.zScale, out);
      break;
    case 1:
      decode<std::uint16_t>(at, count, type, header.zScale, out);
      break;
    case 2:
      decode<std::uint32_t>(at, count, type, header.zScale, out);
      break;
    case 3:
      decode<float>(at, count, type, header.zScale, out);
      break;
    case 4:
      decode<std::int8_t>(at, count, type, header.zScale, out);
      break;
    case 5:
      decode<std::int16_t>(at, count, type, header.zScale, out);
      break;
    case 6:
      decode<std::int32_t>(at, count, type, header.zScale, out);
      break;
    default:
      decode<double>(at, count, type, header.zScale, out);
      break;
  }
}

// The heights from `at` up to the "*" that ends them; `at` is left after that "*".
void readAsciiHeights(std::string_view text, std::size_t& at, const Header& header,
                      InstrumentGrid& grid) {
  const DataType& type = *dataTypeOf(header.dataType);
  const std::uint64_t count = header.points * header.profiles;
  // Every height takes a character and a separator: refuse before making room for them all.
  if (count > (text.size() - at) / 2 + 1) {
    throw FormatError("the header says " + std::to_string(header.points) + " x " +
                      std::to_string(header.profiles) + " heights but the file holds " +
                      std::to_string(text.size() - at) + " bytes after it");
  }
  grid.z.resize(count);
  const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
  std::uint64_t read = 0;
  while (true) {
    while (at < text.size() && blank(text[at])) ++at;
    std::size_t end = at;
    while (end < text.size() && !blank(text[end])) ++end;
    std::string_view token = text.substr(at, end - at);
    if (token.empty() || token == "*") {
      if (read < count) {
        throw FormatError("the file holds " + std::to_string(read) + " of the " +
                          std::to_string(header.points) + " x " + std::to_string(header.profiles) +
                          " heights its header announces");
      }
      at = end;
      return;
    }
    if (read == count) {
      throw FormatError("the file holds more than the " + std::to_string(header.points) + " x " +
                        std::to_string(header.profiles) + " heights its header announces");
    }
    at = end;
    if (sameName(token, "BAD")) {
      grid.z[read++] = std::numeric_limits<double>::quiet_NaN();
      continue;
    }
    if (token.front() == '+') token.remove_prefix(1);
    double value = 0;
    const auto [stop, error] = std::from_chars(token.data(), token.data() + token.size(), value);
    if (error != std::errc{} || stop != token.data() + token.size()) {
      throw FormatError("height " + std::to_string(read + 1) + ", " + quoted(token) +
                        ", is not a number");
    }
    grid.z[read++] = height(value, type, header.zScale);
  }
}

}  // namespace

bool hasSdfSignature(std::string_view head) {
  return std::any_of(std::begin(kVariants), std::end(kVariants),
                     [&](std::string_view variant) { return head.starts_with(variant); });
}

InstrumentGrid readSdf(const std::filesystem::path&, std::string_view bytes, std::uint64_t limit) {
  if (!hasSdfSignature(bytes)) {
    throw FormatError("the file does not begin with an SDF version such as 'aISO-1.0'");
  }
  if (bytes.front() == 'b') {
    ByteReader in(bytes);
    const Header header = binaryHeader(in, bytes.substr(1, 7) == "ISO-2.0");
    InstrumentGrid grid = gridOf(header, limit);
    readBinaryHeights(in, header, grid);
    grid.comment = trailerText(bytes.substr(in.offset()));
    return grid;
  }
  std::size_t at = 0;
  const Header header = asciiHeader(bytes, at);
  InstrumentGrid grid = gridOf(header, limit);
  readAsciiHeights(bytes, at, header, grid);
  grid.comment = trailerText(bytes.substr(at));
  return grid;
}

}  // namespace corvane
