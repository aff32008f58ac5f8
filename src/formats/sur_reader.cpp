// Digital Surf SUR/PRO: one or more objects, each a 512-byte little-endian header, its comment
// and private zones, then its points as 16- or 32-bit integers, stored as they stand
// ("DIGITAL SURF") or as zlib streams ("DSCOMPRESSED"). The first object that is a profile or a
// surface of heights is read; any other (an RGB or intensity layer, a spectrum) is passed over.

#include <zlib.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "formats/byte_reader.h"
#include "formats/instrument_file.h"

namespace corvane {

namespace {

constexpr std::size_t kHeaderSize = 512;
constexpr std::string_view kPlain = "DIGITAL SURF";
constexpr std::string_view kCompressed = "DSCOMPRESSED";

// Studiable types: a profile, a surface, and the series of either, whose every object holds one.
bool holdsHeights(int type) { return type == 1 || type == 2 || type == 4 || type == 5; }

struct Header {
  bool compressed = false;
  int type = 0;
  int acquisition = 0;
  bool specialPoints = false;  // whether points equal to zmin - 2 are non-measured
  int pointBits = 0;
  std::int32_t zmin = 0, columns = 0, rows = 0, total = 0, wSize = 0;
  float dx = 0, dy = 0, dz = 0;
  std::string xUnit, yUnit, zUnit;  // the units of the steps, as written (Latin-1)
  std::array<int, 6> when{};        // second, minute, hour, day, month, year
  std::uint16_t commentSize = 0, privateSize = 0;
  float x0 = 0, y0 = 0, z0 = 0;
};

// The object header at the start of `rest`; nullopt when no signature stands there.
std::optional<Header> readHeader(std::string_view rest) {
  const std::string_view signature = rest.substr(0, 12);
  if (signature != kPlain && signature != kCompressed) return std::nullopt;
  if (rest.size() < kHeaderSize) {
    throw FormatError("the file ends inside a 512-byte object header (" +
                      std::to_string(rest.size()) + " bytes are left)");
  }
  ByteReader in(rest.substr(0, kHeaderSize));
  const auto i16 = [&](std::size_t at) {
    in.seek(at, "object header");
    return static_cast<int>(in.little<std::int16_t>("object header"));
  };
  const auto i32 = [&](std::size_t at) {
    in.seek(at, "object header");
    return in.little<std::int32_t>("object header");
  };
  const auto f32 = [&](std::size_t at) {
    in.seek(at, "object header");
    return in.little<float>("object header");
  };
  const auto text = [&](std::size_t at) {
    in.seek(at, "object header");
    return in.text(16, "object header");
  };
  Header h;
  h.compressed = signature == kCompressed;
  h.type = i16(18);
  h.acquisition = i16(82);
  h.specialPoints = i16(86) != 0;
  h.wSize = i32(94);
  h.pointBits = i16(98);
  h.zmin = i32(100);
  h.columns = i32(108);
  h.rows = i32(112);
  h.total = i32(116);
  h.dx = f32(120);
  h.dy = f32(124);
  h.dz = f32(128);
  h.xUnit = text(180);
  h.yUnit = text(196);
  h.zUnit = text(212);
  for (std::size_t k = 0; k < h.when.size(); ++k) h.when[k] = i16(306 + 2 * k);
  h.commentSize = static_cast<std::uint16_t>(i16(334));
  h.privateSize = static_cast<std::uint16_t>(i16(336));
  h.x0 = f32(466);
  h.y0 = f32(470);
  h.z0 = f32(474);
  return h;
}

// Metres per unit of a length unit written in the file; nullopt for a unit that is no length.
std::optional<double> metresPer(std::string_view unit) {
  if (unit == "m") return 1.0;
  if (unit == "cm") return 1e-2;
  if (unit == "mm") return 1e-3;
  if (unit == "um" || unit == "\xB5m" || unit == "\xC2\xB5m") return 1e-6;
  if (unit == "nm") return 1e-9;
  if (unit == "pm") return 1e-12;
  return std::nullopt;
}

// A unit in plain ASCII: "um" for the micro sign, '?' for any other byte beyond ASCII.
std::string asciiUnit(std::string_view unit) {
  std::string out;
  for (std::size_t k = 0; k < unit.size(); ++k) {
    const auto c = static_cast<unsigned char>(unit[k]);
    if (c == 0xC2 && k + 1 < unit.size() && static_cast<unsigned char>(unit[k + 1]) == 0xB5) {
      continue;  // the lead byte of a micro sign written in UTF-8
    }
    out += c == 0xB5 ? 'u' : c < 0x80 ? static_cast<char>(c) : '?';
  }
  return out;
}

// Latin-1 text as UTF-8, up to its first NUL, without trailing blanks.
std::string latin1Text(std::string_view text) {
  text = text.substr(0, text.find('\0'));
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back()))) {
    text.remove_suffix(1);
  }
  return utf8FromLatin1(text);
}

// The header's date fields as "2024-01-02 03:04:05"; "" when they are unset (all 0) or no date.
std::string dateText(const std::array<int, 6>& w) {
  const int second = w[0], minute = w[1], hour = w[2], day = w[3], month = w[4], year = w[5];
  if (year < 1900 || year > 2200 || month < 1 || month > 12 || day < 1 || day > 31 || hour < 0 ||
      hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 59) {
    return "";
  }
  char text[32];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", year, month, day, hour, minute,
                second);
  return text;
}

// The kind of instrument the header's acquisition code names; "" for an unknown one.
std::string acquisitionText(int code) {
  // clang-format off
  static constexpr std::array<std::string_view, 11> kinds{
      "", "contact stylus", "scanning optical gauge", "thermocouple", "",
      "contact stylus with skid", "AFM", "STM", "video", "interferometer",
      "structured light projection"};
  // clang-format on
  return code >= 0 && code < static_cast<int>(kinds.size()) ? std::string(kinds[code]) : "";
}

// Frees a zlib stream however its use ends.
struct Inflater {
  z_stream stream{};
  Inflater() {
    if (inflateInit(&stream) != Z_OK) throw FormatError("zlib could not be started");
  }
  ~Inflater() { inflateEnd(&stream); }
  Inflater(const Inflater&) = delete;
  Inflater& operator=(const Inflater&) = delete;
};

struct Stream {
  std::uint32_t raw = 0, zipped = 0;
};

// The directory of an object's compressed streams: their count, then each one's inflated and
// compressed size.
std::vector<Stream> streamDirectory(ByteReader& in) {
  const auto count = in.little<std::uint32_t>("count of compressed streams");
  if (count == 0 || count > in.remaining() / 8) {
    throw FormatError("the file says its data is " + std::to_string(count) +
                      " compressed streams, which its size cannot hold");
  }
  std::vector<Stream> streams(count);
  for (Stream& s : streams) {
    s.raw = in.little<std::uint32_t>("compressed stream sizes");
    s.zipped = in.little<std::uint32_t>("compressed stream sizes");
  }
  return streams;
}

// Inflates the object's streams into exactly `size` bytes, never writing more than each stream
// declares (one byte over, to tell a stream that holds more, and it is refused).
std::string inflateData(ByteReader& in, std::uint64_t size) {
  const std::vector<Stream> streams = streamDirectory(in);
  std::uint64_t declared = 0;
  for (const Stream& s : streams) declared += s.raw;
  if (declared != size) {
    throw FormatError("the compressed streams declare " + std::to_string(declared) +
                      " bytes but the header's points need " + std::to_string(size));
  }
  std::string out(static_cast<std::size_t>(size) + 1, '\0');
  std::uint64_t produced = 0;
  for (const Stream& s : streams) {
    const std::string_view zipped = in.take(s.zipped, "compressed data");
    Inflater z;
    z.stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(zipped.data()));
    z.stream.avail_in = static_cast<uInt>(zipped.size());
    std::uint64_t room = std::uint64_t{s.raw} + 1;
    std::uint64_t got = 0;
    while (true) {
      const auto chunk =
          static_cast<uInt>(std::min<std::uint64_t>(room, std::numeric_limits<uInt>::max()));
      z.stream.next_out = reinterpret_cast<Bytef*>(out.data() + produced + got);
      z.stream.avail_out = chunk;
      const int result = inflate(&z.stream, Z_NO_FLUSH);
      const uInt used = chunk - z.stream.avail_out;
      got += used;
      room -= used;
      if (got > s.raw) {
        throw FormatError("a compressed stream inflates beyond the " + std::to_string(s.raw) +
                          " bytes it declares");
      }
      if (result == Z_STREAM_END) break;
      if ((result != Z_OK && result != Z_BUF_ERROR) || used == 0) {
        throw FormatError("a compressed stream is damaged or ends early");
      }
    }
    if (got < s.raw) {
      throw FormatError("a compressed stream inflates to " + std::to_string(got) +
                        " bytes but declares " + std::to_string(s.raw));
    }
    produced += got;
  }
  out.resize(static_cast<std::size_t>(size));
  return out;
}

// The bytes an object's data takes in the file, to pass over it.
void skipData(ByteReader& in, const Header& h) {
  if (h.compressed) {
    for (const Stream& s : streamDirectory(in)) in.skip(s.zipped, "compressed data");
    return;
  }
  const std::uint64_t points = static_cast<std::uint64_t>(std::max(h.total, 0));
  const std::uint64_t layers = static_cast<std::uint64_t>(std::max(h.wSize, 1));
  const std::uint64_t bytes = static_cast<std::uint64_t>(h.pointBits / 8);
  if (layers > in.remaining() || points > in.remaining() / layers ||
      points * layers > in.remaining() / bytes) {
    throw FormatError("the file ends before the data of one of its objects");
  }
  in.skip(points * layers * bytes, "object data");
}

InstrumentGrid readHeights(ByteReader& in, const Header& h, std::uint64_t limit) {
  if (h.columns < 1 || h.rows < 1) {
    throw FormatError("the header says " + std::to_string(h.columns) + " points per line and " +
                      std::to_string(h.rows) + " lines");
  }
  checkGridSize(static_cast<std::uint64_t>(h.columns), static_cast<std::uint64_t>(h.rows), limit);
  const std::uint64_t count = std::uint64_t(h.columns) * std::uint64_t(h.rows);
  if (h.total != static_cast<std::int64_t>(count)) {
    throw FormatError("the header says " + std::to_string(h.total) + " points in all for " +
                      std::to_string(h.columns) + " x " + std::to_string(h.rows));
  }
  InstrumentGrid grid;
  grid.columns = static_cast<std::size_t>(h.columns);
  grid.rows = static_cast<std::size_t>(h.rows);
  const std::optional<double> xScale = metresPer(h.xUnit);
  if (!xScale) throw FormatError("the x unit '" + asciiUnit(h.xUnit) + "' is no length");
  grid.dx = h.dx * *xScale;
  grid.x0 = h.x0 * *xScale;
  checkSpacing(grid.dx, "x spacing");
  if (grid.rows > 1) {
    const std::optional<double> yScale = metresPer(h.yUnit);
    if (!yScale) throw FormatError("the y unit '" + asciiUnit(h.yUnit) + "' is no length");
    grid.dy = h.dy * *yScale;
    grid.y0 = h.y0 * *yScale;
    checkSpacing(grid.dy, "y spacing");
  }
  const std::optional<double> zScale = metresPer(h.zUnit);
  grid.zIsLength = zScale.has_value();
  grid.unitInFile = asciiUnit(h.zUnit);
  if (!std::isfinite(h.dz) || !std::isfinite(h.z0)) {
    throw FormatError("the file's z spacing or z offset is not a number");
  }

  const std::size_t size = h.pointBits / 8;
  const std::uint64_t dataBytes = count * size;
  std::string inflated;
  std::string_view data;
  if (h.compressed) {
    inflated = inflateData(in, dataBytes);
    data = inflated;
  } else {
    data = in.take(dataBytes, "heights");
  }
  // A height is raw · z spacing + z offset, in the z unit; special points flag the value
  // zmin − 2 as non-measured.
  const double scale = zScale.value_or(1.0);
  const double dz = h.dz, z0 = h.z0;
  const double notMeasured = std::numeric_limits<double>::quiet_NaN();
  const std::int64_t hole =
      h.specialPoints ? std::int64_t{h.zmin} - 2 : std::numeric_limits<std::int64_t>::min();
  grid.z.resize(static_cast<std::size_t>(count));
  const char* at = data.data();
  for (double& z : grid.z) {
    const std::int64_t raw = size == 2 ? ByteReader::load<std::int16_t>(at, std::endian::little)
                                       : ByteReader::load<std::int32_t>(at, std::endian::little);
    at += size;
    z = raw == hole ? notMeasured : (static_cast<double>(raw) * dz + z0) * scale;
  }
  return grid;
}

}  // namespace

bool hasSurSignature(std::string_view head) {
  return head.substr(0, 12) == kPlain || head.substr(0, 12) == kCompressed;
}

InstrumentGrid readSur(const std::filesystem::path&, std::string_view bytes, std::uint64_t limit) {
  ByteReader in(bytes);
  std::string firstComment, firstDate;
  for (std::size_t index = 0; in.remaining() > 0; ++index) {
    const std::size_t at = in.offset();
    const std::optional<Header> h = readHeader(bytes.substr(at));
    if (!h) {
      if (index == 0) throw FormatError("the file does not start with a Digital Surf signature");
      break;  // what follows the last object is no object
    }
    if (h->pointBits != 16 && h->pointBits != 32) {
      throw FormatError("the file's points are " + std::to_string(h->pointBits) +
                        " bits; 16 or 32 are read");
    }
    in.seek(at + kHeaderSize, "object header");
    const std::string comment = latin1Text(in.take(h->commentSize, "comment"));
    in.skip(h->privateSize, "private zone");
    if (index == 0) {
      firstComment = comment;
      firstDate = dateText(h->when);
    }
    if (holdsHeights(h->type) && h->wSize <= 1) {
      InstrumentGrid grid = readHeights(in, *h, limit);
      // Later objects of a file often leave their words to the first one.
      grid.comment = comment.empty() ? firstComment : comment;
      grid.date = dateText(h->when);
      if (grid.date.empty()) grid.date = firstDate;
      grid.instrument = acquisitionText(h->acquisition);
      return grid;
    }
    skipData(in, *h);
  }
  throw FormatError("the file holds no surface or profile of heights");
}

}  // namespace corvane
