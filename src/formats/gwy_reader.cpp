// Gwyddion's own files: "GWYP", then one serialised object, a GwyContainer whose components
// hold the channels ("/0/data", "/1/data", ... GwyDataField objects, "/N/data/title" their
// names) beside everything else the program keeps.
//
// An object is its type name (NUL-terminated), the uint32 size of its components, then the
// components: a NUL-terminated name, a type character and the value. 'b' and 'c' take a byte,
// 'i' an int32, 'q' an int64, 'd' a double, 's' a NUL-terminated string, 'o' an object; the
// capitals are arrays of them, a uint32 count and the items. Everything is little-endian.
//
// The reader takes the first channel whose heights are a length; failing that, the first
// channel, its values kept as they stand. A mask ("/N/mask") marks what the user selected, not
// missing data, and is left aside.

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "formats/byte_reader.h"
#include "formats/instrument_file.h"

namespace corvane {

namespace {

// How deep objects may nest in one another; Gwyddion's own files go a few levels deep.
constexpr int kMaxDepth = 64;

// A piece of the file: the bytes [begin, end).
struct Span {
  std::size_t begin = 0, end = 0;
};

struct Object {
  std::string_view type;
  Span components;
};

// One component of an object: its name, type character and the bytes of its value.
struct Component {
  std::string_view name;
  char type = 0;
  Span value;
};

class Walker {
 public:
  explicit Walker(std::string_view bytes) : bytes_(bytes) {}

  // The object at `at` (which is left after it), within `end`, every object within it checked
  // as far as `depth` levels down.
  Object object(std::size_t& at, std::size_t end, int depth) const {
    if (depth > kMaxDepth) {
      throw FormatError("its objects nest more than " + std::to_string(kMaxDepth) + " levels deep");
    }
    Object object;
    object.type = cString(at, end, "object's type name");
    const std::uint32_t size = uint32(at, end, "size of the object " + std::string(object.type));
    if (size > end - at) {
      throw FormatError("the object " + std::string(object.type) + " of " + std::to_string(size) +
                        " bytes runs past the end of what holds it");
    }
    object.components = {at, at + size};
    at += size;
    forEach(object, depth, [](const Component&) {});
    return object;
  }

  // Calls `visit` with each component of the object, which lies `depth` levels down.
  template <class Visit>
  void forEach(const Object& object, int depth, Visit visit) const {
    std::size_t at = object.components.begin;
    const std::size_t end = object.components.end;
    while (at < end) {
      Component c;
      c.name = cString(at, end, "component's name");
      if (at == end) throw short_(c.name);
      c.type = bytes_[at++];
      c.value.begin = at;
      skipValue(at, end, c, depth);
      c.value.end = at;
      visit(c);
    }
  }

  std::size_t size() const { return bytes_.size(); }
  std::string_view bytes(Span span) const {
    return bytes_.substr(span.begin, span.end - span.begin);
  }

 private:
  std::string_view cString(std::size_t& at, std::size_t end, std::string_view what) const {
    const std::size_t nul = bytes_.substr(0, end).find('\0', at);
    if (nul == std::string_view::npos) {
      throw FormatError("the " + std::string(what) + " runs past the end of what holds it");
    }
    const std::string_view text = bytes_.substr(at, nul - at);
    at = nul + 1;
    return text;
  }
  std::uint32_t uint32(std::size_t& at, std::size_t end, const std::string& what) const {
    if (end - at < 4) throw FormatError("the " + what + " runs past the end of what holds it");
    const auto value = ByteReader::load<std::uint32_t>(bytes_.data() + at, std::endian::little);
    at += 4;
    return value;
  }
  FormatError short_(std::string_view name) const {
    return FormatError("the component " + std::string(name) +
                       " runs past the end of the object that holds it");
  }
  void skip(std::size_t& at, std::size_t end, std::uint64_t count, std::string_view name) const {
    if (count > end - at) throw short_(name);
    at += static_cast<std::size_t>(count);
  }

  void skipValue(std::size_t& at, std::size_t end, const Component& c, int depth) const {
    switch (c.type) {
      case 'b':
      case 'c':
        return skip(at, end, 1, c.name);
      case 'i':
        return skip(at, end, 4, c.name);
      case 'q':
      case 'd':
        return skip(at, end, 8, c.name);
      case 's':
        cString(at, end, "string " + std::string(c.name));
        return;
      case 'o':
        object(at, end, depth + 1);
        return;
      case 'C':
      case 'I':
      case 'Q':
      case 'D':
      case 'S':
      case 'O':
        break;
      default:
        throw FormatError("the component " + std::string(c.name) + " has the unknown type " +
                          std::to_string(static_cast<unsigned char>(c.type)));
    }
    const std::uint32_t count = uint32(at, end, "length of the array " + std::string(c.name));
    const std::uint64_t itemSize = c.type == 'C' ? 1 : c.type == 'I' ? 4 : 8;
    if (c.type == 'S') {
      for (std::uint32_t i = 0; i < count; ++i) cString(at, end, "array " + std::string(c.name));
    } else if (c.type == 'O') {
      for (std::uint32_t i = 0; i < count; ++i) object(at, end, depth + 1);
    } else {
      skip(at, end, count * itemSize, c.name);  // at most 8 × (2³² − 1): no overflow
    }
  }

  std::string_view bytes_;
};

// The power of ten a unit's prefix stands for and whether the unit is a length ("m", "nm",
// "µm", "um", ...); Gwyddion itself writes "m" and keeps the values in metres.
bool lengthUnit(std::string_view unit, double& metres) {
  struct Prefix {
    std::string_view text;
    double factor;
  };
  static constexpr Prefix prefixes[] = {
      {"", 1},      {"k", 1e3},         {"c", 1e-2},        {"m", 1e-3},
      {"u", 1e-6},  {"\xC2\xB5", 1e-6}, {"\xCE\xBC", 1e-6}, {"n", 1e-9},
      {"p", 1e-12}, {"f", 1e-15}};
  if (unit == "\xC3\x85" || unit == "\xE2\x84\xAB") {  // the ångström
    metres = 1e-10;
    return true;
  }
  if (!unit.ends_with('m')) return false;
  unit.remove_suffix(1);
  for (const Prefix& prefix : prefixes) {
    if (unit == prefix.text) {
      metres = prefix.factor;
      return true;
    }
  }
  return false;
}

// What a channel's GwyDataField holds, its data not yet read.
struct Field {
  std::int64_t xres = 0, yres = 0;
  double xreal = 0, yreal = 0, xoff = 0, yoff = 0;
  std::string xyUnit, zUnit;
  bool hasXres = false, hasYres = false, hasXreal = false, hasYreal = false;
  Span data;
  std::uint32_t dataCount = 0;
  bool hasData = false;
};

class Reader {
 public:
  explicit Reader(std::string_view bytes) : walk_(bytes) {}

  InstrumentGrid read(std::uint64_t limit) {
    std::size_t at = 4;
    const Object top = walk_.object(at, walk_.size(), 1);
    if (top.type != "GwyContainer") {
      throw FormatError("the file holds a " + std::string(top.type) + ", not a GwyContainer");
    }
    struct Channel {
      std::uint64_t number;
      Field field;
      std::string title;
    };
    std::vector<Channel> channels;
    std::vector<std::pair<std::uint64_t, std::string>> titles;
    walk_.forEach(top, 1, [&](const Component& c) {
      std::uint64_t number = 0;
      std::string_view rest;
      if (!channelKey(c.name, number, rest)) return;
      if (rest == "/data" && c.type == 'o') {
        std::size_t from = c.value.begin;
        const Object object = walk_.object(from, c.value.end, 2);
        if (object.type == "GwyDataField") channels.push_back({number, field(object), ""});
      } else if (rest == "/data/title" && c.type == 's') {
        const std::string_view text = walk_.bytes(c.value);
        titles.emplace_back(number, std::string(text.substr(0, text.size() - 1)));
      }
    });
    if (channels.empty()) throw FormatError("the file holds no channel of data (/N/data)");
    std::stable_sort(channels.begin(), channels.end(),
                     [](const Channel& a, const Channel& b) { return a.number < b.number; });
    double zMetres = 1;
    auto chosen = std::find_if(channels.begin(), channels.end(), [&](const Channel& c) {
      return lengthUnit(c.field.zUnit, zMetres);
    });
    const bool zIsLength = chosen != channels.end();
    if (!zIsLength) chosen = channels.begin();
    for (const auto& [number, title] : titles) {
      if (number == chosen->number) chosen->title = title;
    }
    InstrumentGrid grid = gridOf(chosen->field, limit);
    grid.zIsLength = zIsLength;
    grid.unitInFile = chosen->field.zUnit;
    grid.comment = "channel " + std::to_string(chosen->number) +
                   (chosen->title.empty() ? "" : ": " + chosen->title);
    const double scale = zIsLength ? zMetres : 1.0;
    const char* data = walk_.bytes(chosen->field.data).data();
    for (std::size_t i = 0; i < grid.z.size(); ++i) {
      grid.z[i] = ByteReader::load<double>(data + 8 * i, std::endian::little) * scale;
    }
    return grid;
  }

 private:
  // Whether `name` is "/N..." with N a channel number; `rest` is what follows N.
  static bool channelKey(std::string_view name, std::uint64_t& number, std::string_view& rest) {
    if (name.size() < 2 || name[0] != '/') return false;
    std::size_t i = 1;
    number = 0;
    while (i < name.size() && i < 10 && name[i] >= '0' && name[i] <= '9') {
      number = number * 10 + static_cast<std::uint64_t>(name[i++] - '0');
    }
    if (i == 1) return false;
    rest = name.substr(i);
    return true;
  }

  // The "unitstr" of a GwySIUnit object held in `value`.
  std::string unitOf(const Component& c) const {
    if (c.type != 'o') throw FormatError("the channel's " + std::string(c.name) + " is no unit");
    std::size_t at = c.value.begin;
    const Object unit = walk_.object(at, c.value.end, 3);
    std::string text;
    walk_.forEach(unit, 3, [&](const Component& item) {
      if (item.name == "unitstr" && item.type == 's') {
        const std::string_view value = walk_.bytes(item.value);
        text = value.substr(0, value.size() - 1);
      }
    });
    return text;
  }

  Field field(const Object& object) const {
    Field f;
    walk_.forEach(object, 2, [&](const Component& c) {
      const std::string_view value = walk_.bytes(c.value);
      const auto number = [&](char type, bool& has) {
        if (c.type != type) {
          throw FormatError("the channel's " + std::string(c.name) + " is not stored as " +
                            (type == 'i' ? "an integer" : "a number"));
        }
        has = true;
        return type == 'i' ? ByteReader::load<std::int32_t>(value.data(), std::endian::little)
                           : ByteReader::load<double>(value.data(), std::endian::little);
      };
      bool unused = false;
      if (c.name == "xres") f.xres = static_cast<std::int64_t>(number('i', f.hasXres));
      if (c.name == "yres") f.yres = static_cast<std::int64_t>(number('i', f.hasYres));
      if (c.name == "xreal") f.xreal = number('d', f.hasXreal);
      if (c.name == "yreal") f.yreal = number('d', f.hasYreal);
      if (c.name == "xoff") f.xoff = number('d', unused);
      if (c.name == "yoff") f.yoff = number('d', unused);
      if (c.name == "si_unit_xy") f.xyUnit = unitOf(c);
      if (c.name == "si_unit_z") f.zUnit = unitOf(c);
      if (c.name == "data") {
        if (c.type != 'D') throw FormatError("the channel's data is not an array of numbers");
        f.dataCount = ByteReader::load<std::uint32_t>(value.data(), std::endian::little);
        f.data = {c.value.begin + 4, c.value.end};
        f.hasData = true;
      }
    });
    return f;
  }

  static InstrumentGrid gridOf(const Field& f, std::uint64_t limit) {
    if (!f.hasXres || !f.hasYres || !f.hasXreal || !f.hasYreal || !f.hasData) {
      throw FormatError("the channel lacks one of xres, yres, xreal, yreal and data");
    }
    if (f.xres < 1 || f.yres < 1) {
      throw FormatError("the channel says its grid is " + std::to_string(f.xres) + " x " +
                        std::to_string(f.yres) + " points");
    }
    const auto columns = static_cast<std::uint64_t>(f.xres);
    const auto rows = static_cast<std::uint64_t>(f.yres);
    checkGridSize(columns, rows, limit);
    if (f.dataCount != columns * rows) {
      throw FormatError("the channel holds " + std::to_string(f.dataCount) + " values for its " +
                        std::to_string(columns) + " x " + std::to_string(rows) + " points");
    }
    // The lateral unit is normally "m"; a file that leaves it out is taken to be in metres.
    double xyMetres = 1;
    if (!f.xyUnit.empty() && !lengthUnit(f.xyUnit, xyMetres)) {
      throw FormatError("the channel's lateral unit '" + f.xyUnit + "' is not a length");
    }
    checkSpacing(f.xreal, "width (xreal)");
    checkSpacing(f.yreal, "height (yreal)");
    if (!std::isfinite(f.xoff) || !std::isfinite(f.yoff)) {
      throw FormatError("the channel's offset (xoff, yoff) is not a number");
    }
    InstrumentGrid grid;
    grid.columns = static_cast<std::size_t>(columns);
    grid.rows = static_cast<std::size_t>(rows);
    grid.dx = f.xreal / static_cast<double>(columns) * xyMetres;
    grid.dy = f.yreal / static_cast<double>(rows) * xyMetres;
    checkSpacing(grid.dx, "x spacing");
    checkSpacing(grid.dy, "y spacing");
    // Row 0 is the top row of Gwyddion's image, with y growing downwards from yoff: row r is
    // kept at yoff + r·dy as the file stores it.
    grid.x0 = f.xoff * xyMetres;
    grid.y0 = f.yoff * xyMetres;
    grid.z.resize(grid.columns * grid.rows);
    return grid;
  }

  Walker walk_;
};

}  // namespace

bool hasGwySignature(std::string_view head) {
  return head.starts_with("GWYP") || head.starts_with("GWYO");
}

InstrumentGrid readGwy(const std::filesystem::path&, std::string_view bytes, std::uint64_t limit) {
  if (bytes.starts_with("GWYO")) {
    throw FormatError(
        "it is a Gwyddion file of the old kind (GWYO), which Corvane does not read; "
        "saving it again in Gwyddion gives the current kind (GWYP)");
  }
  if (!bytes.starts_with("GWYP")) {
    throw FormatError("the file does not begin with Gwyddion's mark GWYP");
  }
  return Reader(bytes).read(limit);
}

}  // namespace corvane
