#include <fcntl.h>
#include <libxml/parser.h>
#include <libxml/tree.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zip.h>

#include <algorithm>
#include <bit>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstring>
#include <functional>
#include <future>
#include <limits>
#include <memory>
#include <mutex>
#include <optional>
#include <system_error>
#include <type_traits>
#include <vector>

#include "formats/md5.h"
#include "formats/x3p.h"

namespace corvane {
namespace {

// The largest main.xml read (64 MiB): a DataList of a million points or two fits; more would
// cost its parse tree several times that, and is refused.
constexpr std::uint64_t kMostDocumentBytes = std::uint64_t{64} << 20;

struct ZipCloser {
  void operator()(zip_t* archive) const { zip_discard(archive); }
};
using Archive = std::unique_ptr<zip_t, ZipCloser>;

struct DocumentFreer {
  void operator()(xmlDoc* document) const { xmlFreeDoc(document); }
};
using Document = std::unique_ptr<xmlDoc, DocumentFreer>;

// A failure of the read, with its diagnosis.
struct Refusal {
  std::string reason;
};

// The entry of that name, or -1.
zip_int64_t entryIndex(zip_t* archive, const std::string& name) {
  return zip_name_locate(archive, name.c_str(), ZIP_FL_ENC_RAW);
}

// The whole entry, inflated, when it holds exactly `expected` bytes (or at most `most` when
// expected is not known): inflating stops one byte past, so an entry that claims little and
// inflates to much (a zip bomb) never takes more than that.
std::string readEntry(zip_t* archive, zip_int64_t index, const std::string& name,
                      std::optional<std::uint64_t> expected, std::uint64_t most,
                      const std::function<void(double)>& progress = {}) {
  zip_stat_t stat;
  zip_stat_init(&stat);
  if (zip_stat_index(archive, static_cast<zip_uint64_t>(index), 0, &stat) != 0) {
    throw Refusal{"the entry " + name + " cannot be read: " + zip_strerror(archive)};
  }
  const std::uint64_t cap = expected ? *expected : most;
  if ((stat.valid & ZIP_STAT_SIZE) != 0 && stat.size > cap) {
    throw Refusal{"the entry " + name + " holds " + std::to_string(stat.size) + " bytes, " +
                  (expected ? "the matrix needs " + std::to_string(*expected)
                            : "more than the " + std::to_string(most) + " read")};
  }
  zip_file_t* file = zip_fopen_index(archive, static_cast<zip_uint64_t>(index), 0);
  if (file == nullptr) {
    throw Refusal{"the entry " + name + " cannot be opened: " + zip_strerror(archive)};
  }
  // Room for what the entry says it holds, grown while it inflates, never beyond cap + 1.
  std::string bytes;
  const std::uint64_t claimed = (stat.valid & ZIP_STAT_SIZE) != 0 ? stat.size : 0;
  bytes.resize(static_cast<std::size_t>(std::min(cap, std::max<std::uint64_t>(claimed, 4096))) + 1);
  std::size_t got = 0;
  for (;;) {
    if (got == bytes.size()) {
      if (got > cap) break;  // one byte more than may be there
      bytes.resize(
          static_cast<std::size_t>(std::min<std::uint64_t>(cap + 1, 2 * std::uint64_t{got})));
    }
    // In pieces, so that the progress of a large entry can be told.
    constexpr std::size_t kPiece = std::size_t{4} << 20;
    const zip_int64_t n = zip_fread(file, bytes.data() + got, std::min(bytes.size() - got, kPiece));
    if (n < 0) {
      const std::string why = zip_error_strerror(zip_file_get_error(file));
      zip_fclose(file);
      throw Refusal{"the entry " + name + " is corrupt: " + why};
    }
    if (n == 0) break;
    got += static_cast<std::size_t>(n);
    if (progress && cap > 0) {
      progress(std::min(1.0, static_cast<double>(got) / static_cast<double>(cap)));
    }
  }
  zip_fclose(file);
  if (got > cap) {
    throw Refusal{"the entry " + name + " inflates beyond the " + std::to_string(cap) + " bytes " +
                  (expected ? "the matrix needs" : "read")};
  }
  if (expected && got != *expected) {
    throw Refusal{"the entry " + name + " holds " + std::to_string(got) +
                  " bytes, the matrix needs " + std::to_string(*expected)};
  }
  bytes.resize(got);
  return bytes;
}

std::string lowerTrimmed(std::string text) {
  const auto blank = [](unsigned char c) { return std::isspace(c) != 0; };
  text.erase(text.begin(), std::find_if_not(text.begin(), text.end(), blank));
  text.erase(std::find_if_not(text.rbegin(), text.rend(), blank).base(), text.end());
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

// The first child element of that local name (any namespace), or null.
xmlNode* child(xmlNode* parent, std::string_view name) {
  if (parent == nullptr) return nullptr;
  for (xmlNode* node = parent->children; node != nullptr; node = node->next) {
    if (node->type == XML_ELEMENT_NODE && name == reinterpret_cast<const char*>(node->name)) {
      return node;
    }
  }
  return nullptr;
}

// The text of an element, trimmed; empty for none.
std::string text(xmlNode* node) {
  if (node == nullptr) return {};
  xmlChar* content = xmlNodeGetContent(node);
  std::string value = content != nullptr ? reinterpret_cast<const char*>(content) : "";
  xmlFree(content);
  const auto blank = [](unsigned char c) { return std::isspace(c) != 0; };
  value.erase(value.begin(), std::find_if_not(value.begin(), value.end(), blank));
  value.erase(std::find_if_not(value.rbegin(), value.rend(), blank).base(), value.end());
  return value;
}

double number(const std::string& value, const std::string& what, double absent) {
  if (value.empty()) return absent;
  double result = 0;
  const char* begin = value.data();
  if (*begin == '+') ++begin;
  const auto [end, ec] = std::from_chars(begin, value.data() + value.size(), result);
  if (ec != std::errc{} || end != value.data() + value.size() || !std::isfinite(result)) {
    throw Refusal{what + " is not a number: \"" + value.substr(0, 40) + "\""};
  }
  return result;
}

std::uint64_t count(const std::string& value, const std::string& what) {
  std::uint64_t result = 0;
  const auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), result);
  if (value.empty() || ec != std::errc{} || end != value.data() + value.size() || result == 0) {
    throw Refusal{what + " is not a whole number above 0: \"" + value.substr(0, 40) + "\""};
  }
  return result;
}

struct Axis {
  bool incremental = false;
  char type = 'D';  // I, L, F or D
  double increment = 1;
  double offset = 0;
};

Axis axisOf(xmlNode* axes, std::string_view name) {
  xmlNode* node = child(axes, name);
  const std::string label(name);
  if (node == nullptr) throw Refusal{"the axis " + label + " is missing"};
  Axis axis;
  const std::string kind = text(child(node, "AxisType"));
  if (kind == "I") {
    axis.incremental = true;
  } else if (kind != "A") {
    throw Refusal{"the axis " + label + " has an unknown axis type \"" + kind.substr(0, 20) + "\""};
  }
  const std::string type = text(child(node, "DataType"));
  if (!axis.incremental || !type.empty()) {
    if (type.size() != 1 || std::string_view("ILFD").find(type[0]) == std::string_view::npos) {
      throw Refusal{"the axis " + label + " has an unknown data type \"" + type.substr(0, 20) +
                    "\""};
    }
    axis.type = type[0];
  }
  axis.increment = number(text(child(node, "Increment")), label + " Increment", 1);
  axis.offset = number(text(child(node, "Offset")), label + " Offset", 0);
  if (axis.incremental && !(axis.increment != 0)) {
    throw Refusal{"the axis " + label + " is incremental with an increment of 0"};
  }
  return axis;
}

std::size_t bytesOf(char type) {
  switch (type) {
    case 'I':
      return 2;
    case 'L':
    case 'F':
      return 4;
    default:
      return 8;
  }
}

// A little-endian value of the axis's data type, in metres (integers scaled by the increment);
// NaN for an invalid float.
double valueAt(const Axis& axis, const unsigned char* at) {
  switch (axis.type) {
    case 'I': {
      std::uint16_t raw = static_cast<std::uint16_t>(at[0] | (at[1] << 8));
      return axis.offset + static_cast<double>(static_cast<std::int16_t>(raw)) * axis.increment;
    }
    case 'L': {
      std::uint32_t raw = 0;
      for (int b = 3; b >= 0; --b) raw = (raw << 8) | at[b];
      return axis.offset + static_cast<double>(static_cast<std::int32_t>(raw)) * axis.increment;
    }
    case 'F': {
      std::uint32_t raw = 0;
      for (int b = 3; b >= 0; --b) raw = (raw << 8) | at[b];
      return axis.offset + static_cast<double>(std::bit_cast<float>(raw));
    }
    default: {
      std::uint64_t raw = 0;
      for (int b = 7; b >= 0; --b) raw = (raw << 8) | at[b];
      return axis.offset + std::bit_cast<double>(raw);
    }
  }
}

// A name inside the container, below `folder`: no absolute path, no step up.
std::string entryName(const std::string& folder, const std::string& link) {
  std::string name = link;
  std::replace(name.begin(), name.end(), '\\', '/');
  if (name.empty() || name[0] == '/' || name.find(':') != std::string::npos) {
    throw Refusal{"the data link \"" + link.substr(0, 60) + "\" leaves the container"};
  }
  std::size_t from = 0;
  while (from <= name.size()) {
    const std::size_t to = std::min(name.find('/', from), name.size());
    if (name.compare(from, to - from, "..") == 0) {
      throw Refusal{"the data link \"" + link.substr(0, 60) + "\" leaves the container"};
    }
    from = to + 1;
  }
  return folder + name;
}

// Where main.xml is: "" at the top, "folder/" in one top-level folder; nothing when absent.
std::optional<std::string> documentFolder(zip_t* archive) {
  if (entryIndex(archive, "main.xml") >= 0) return std::string();
  const zip_int64_t entries = zip_get_num_entries(archive, 0);
  for (zip_int64_t i = 0; i < entries; ++i) {
    const char* raw = zip_get_name(archive, static_cast<zip_uint64_t>(i), ZIP_FL_ENC_RAW);
    if (raw == nullptr) continue;
    const std::string name = raw;
    const std::size_t slash = name.find('/');
    if (slash != std::string::npos && slash > 0 && name.substr(slash + 1) == "main.xml") {
      return name.substr(0, slash + 1);
    }
  }
  return std::nullopt;
}

X3pRead readArchive(zip_t* archive, PointList& list, LengthUnit unit, int limit,
                    const std::function<void(double)>& progress) {
  // The XML parser sets up its globals once, before any thread parses.
  static std::once_flag parserReady;
  std::call_once(parserReady, [] { xmlInitParser(); });
  X3pRead result;
  X3pInfo& info = result.info;
  const std::optional<std::string> folder = documentFolder(archive);
  if (!folder) throw Refusal{"the container holds no main.xml"};
  const std::string document = readEntry(archive, entryIndex(archive, *folder + "main.xml"),
                                         "main.xml", std::nullopt, kMostDocumentBytes);

  // The document: no DTD (so no entities to expand and nothing to fetch), no network.
  const Document xml(
      xmlReadMemory(document.data(), static_cast<int>(document.size()), "main.xml", nullptr,
                    XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING | XML_PARSE_NOCDATA));
  if (!xml) throw Refusal{"main.xml is not well-formed XML"};
  if (xml->intSubset != nullptr || xml->extSubset != nullptr) {
    throw Refusal{"main.xml declares a DTD, which is not read"};
  }
  // Some instruments name the root ISO5436 rather than ISO5436_2; the records are the same.
  xmlNode* root = xmlDocGetRootElement(xml.get());
  const std::string_view rootName =
      root != nullptr ? reinterpret_cast<const char*>(root->name) : "";
  if (rootName != "ISO5436_2" && rootName != "ISO5436") {
    throw Refusal{"main.xml is not an ISO5436_2 document"};
  }
  xmlNode* record1 = child(root, "Record1");
  xmlNode* record3 = child(root, "Record3");
  if (record1 == nullptr || record3 == nullptr) throw Refusal{"main.xml lacks Record1 or Record3"};
  info.featureType = text(child(record1, "FeatureType"));
  if (info.featureType != "SUR" && info.featureType != "PRF" && info.featureType != "PCL") {
    throw Refusal{"unknown feature type \"" + info.featureType.substr(0, 20) + "\""};
  }
  xmlNode* axes = child(record1, "Axes");
  const std::array<Axis, 3> axis = {axisOf(axes, "CX"), axisOf(axes, "CY"), axisOf(axes, "CZ")};
  if (axis[2].incremental) throw Refusal{"the axis CZ is incremental"};

  xmlNode* record2 = child(root, "Record2");
  info.date = text(child(record2, "Date"));
  info.creator = text(child(record2, "Creator"));
  xmlNode* instrument = child(record2, "Instrument");
  for (const char* part : {"Manufacturer", "Model", "Serial", "Version"}) {
    const std::string value = text(child(instrument, part));
    if (value.empty()) continue;
    info.instrument += (info.instrument.empty() ? "" : " ") + value;
  }
  info.comment = text(child(record2, "Comment"));

  // The matrix: its point count must fit the limit before anything is allocated.
  xmlNode* matrix = child(record3, "MatrixDimension");
  const char* const sizeNames[] = {"SizeX", "SizeY", "SizeZ"};
  std::uint64_t points = 1;
  for (int k = 0; k < 3; ++k) {
    info.size[static_cast<std::size_t>(k)] = count(text(child(matrix, sizeNames[k])), sizeNames[k]);
    if (info.size[static_cast<std::size_t>(k)] > static_cast<std::uint64_t>(limit) ||
        points * info.size[static_cast<std::size_t>(k)] > static_cast<std::uint64_t>(limit)) {
      throw Refusal{"the matrix holds more than " + std::to_string(limit) + " points"};
    }
    points *= info.size[static_cast<std::size_t>(k)];
  }
  const std::uint64_t nx = info.size[0], ny = info.size[1];

  // The values stored per point: those of the absolute axes, in the order x, y, z.
  std::size_t stride = 0;
  std::array<std::size_t, 3> place{};
  for (std::size_t k = 0; k < 3; ++k) {
    if (axis[k].incremental) continue;
    place[k] = stride;
    stride += bytesOf(axis[k].type);
  }

  std::string data, dataSum;
  std::vector<std::string> datums;
  bool mismatch = false, checked = false;
  if (xmlNode* link = child(record3, "DataLink")) {
    const std::string name = entryName(*folder, text(child(link, "PointDataLink")));
    const zip_int64_t index = entryIndex(archive, name);
    if (index < 0) throw Refusal{"the data link names no entry: \"" + name.substr(0, 60) + "\""};
    // Inflating is most of the reading: it tells the first 90 %.
    data = readEntry(archive, index, name, points * stride, 0, [&progress](double share) {
      if (progress) progress(0.9 * share);
    });
    dataSum = lowerTrimmed(text(child(link, "MD5ChecksumPointData")));
  } else if (xmlNode* list = child(record3, "DataList")) {
    for (xmlNode* node = list->children; node != nullptr; node = node->next) {
      if (node->type == XML_ELEMENT_NODE &&
          std::string_view(reinterpret_cast<const char*>(node->name)) == "Datum") {
        datums.push_back(text(node));
      }
    }
    if (datums.size() != points) {
      throw Refusal{"the data list holds " + std::to_string(datums.size()) +
                    " points, the matrix " + std::to_string(points)};
    }
  } else {
    throw Refusal{"Record3 holds neither DataLink nor DataList"};
  }

  // The valid-points array: its link and checksum belong in the DataLink; some files put the
  // link straight in Record3.
  std::string valid, validSum;
  xmlNode* validHolder = child(record3, "DataLink");
  xmlNode* validLink = child(validHolder, "ValidPointsLink");
  if (validLink == nullptr) {
    validHolder = record3;
    validLink = child(record3, "ValidPointsLink");
  }
  if (validLink != nullptr) {
    const std::string link = text(child(validLink, "PointDataLink")).empty()
                                 ? text(validLink)
                                 : text(child(validLink, "PointDataLink"));
    const std::string name = entryName(*folder, link);
    const zip_int64_t index = entryIndex(archive, name);
    if (index < 0)
      throw Refusal{"the valid points link names no entry: \"" + name.substr(0, 60) + "\""};
    valid = readEntry(archive, index, name, (points + 7) / 8, 0);
    validSum = lowerTrimmed(text(child(validHolder, "MD5ChecksumValidPoints")));
  }

  // main.xml's own checksum, in the file Record4 names (usually md5checksum.hex).
  std::string checksumFile = text(child(child(root, "Record4"), "ChecksumFile"));
  if (checksumFile.empty()) checksumFile = "md5checksum.hex";
  if (const zip_int64_t index = entryIndex(archive, entryName(*folder, checksumFile)); index >= 0) {
    const std::string line = readEntry(archive, index, checksumFile, std::nullopt, 4096);
    const std::string sum = lowerTrimmed(
        line.substr(0, std::min<std::size_t>(line.find_first_of(" *\t\r\n"), line.size())));
    checked = true;
    mismatch = mismatch || sum != md5Hex(document);
  }
  if (!validSum.empty()) {
    checked = true;
    mismatch = mismatch || md5Hex(valid) != validSum;
  }
  // The data's digest is worked out on a second thread while the points are converted.
  std::future<std::string> dataDigest;
  if (!dataSum.empty()) {
    checked = true;
    try {
      dataDigest = std::async(std::launch::async, [&data] { return md5Hex(data); });
    } catch (const std::system_error&) {
      dataDigest = std::async(std::launch::deferred, [&data] { return md5Hex(data); });
    }
  }

  // The points, converted from metres. A grid or a profile keeps its non-measured points in
  // place with a NaN height; a cloud leaves them out.
  const double scale = unitsPerMetre(unit);
  constexpr double kHole = std::numeric_limits<double>::quiet_NaN();
  Point* rows = list.resize(static_cast<int>(points));
  int stored = 0, measured = 0;
  const bool grid = info.featureType == "SUR";
  const bool keepPlaces = info.featureType != "PCL";
  const auto validBit = [&valid](std::uint64_t k) {
    return ((static_cast<unsigned char>(valid[k / 8]) >> (k % 8)) & 1) != 0;
  };
  const auto inRange = [](double v) { return std::fabs(v) < 3.4e38; };
  const auto beyond = [](std::uint64_t k) {
    return Refusal{"point " + std::to_string(k + 1) + " lies beyond the single-precision range"};
  };
  std::vector<std::string_view> fields;
  // The common grid: x and y incremental, z doubles in a binary entry. Its own loop, without
  // the general one's choices per point; one copy without a valid-points array, one with.
  const bool plainGrid = grid && axis[0].incremental && axis[1].incremental &&
                         axis[2].type == 'D' && datums.empty() && info.size[2] == 1 &&
                         std::endian::native == std::endian::little;
  const auto readPlainGrid = [&](auto masked) {
    const bool falling = axis[0].increment < 0;
    for (std::uint64_t j = 0; j < ny; ++j) {
      const double y = (axis[1].offset + static_cast<double>(j) * axis[1].increment) * scale;
      for (std::uint64_t p = 0; p < nx; ++p) {
        const std::uint64_t i = falling ? nx - 1 - p : p;
        const std::uint64_t k = j * nx + i;
        double raw;
        std::memcpy(&raw, data.data() + k * 8, 8);
        const double x = (axis[0].offset + static_cast<double>(i) * axis[0].increment) * scale;
        bool hole = std::isnan(raw);
        if constexpr (decltype(masked)::value) hole = hole || !validBit(k);
        if (hole) {
          ++info.invalidPoints;
          if (inRange(x) && inRange(y)) rows[++stored] = Point{x, y, kHole};
          continue;
        }
        const double z = (axis[2].offset + raw) * scale;
        if (!inRange(x) || !inRange(y) || !inRange(z)) throw beyond(k);
        rows[++stored] = Point{x, y, z};
        ++measured;
      }
    }
  };
  if (plainGrid && valid.empty()) readPlainGrid(std::false_type{});
  if (plainGrid && !valid.empty()) readPlainGrid(std::true_type{});
  for (std::uint64_t p = 0; p < (plainGrid ? 0 : points); ++p) {
    // A grid's rows run with x rising whatever the sign of its increment.
    std::uint64_t k = p;
    const std::uint64_t i0 = p % nx;
    if (grid && axis[0].incremental && axis[0].increment < 0) k = p - i0 + (nx - 1 - i0);
    const std::uint64_t i = k % nx, j = (k / nx) % ny;
    const bool marked = !valid.empty() && !validBit(k);
    if (marked && !keepPlaces) {
      ++info.invalidPoints;
      continue;
    }
    std::array<double, 3> value{};
    fields.clear();
    if (!datums.empty()) {
      std::string_view line = datums[k];
      while (!line.empty()) {
        const std::size_t semicolon = line.find(';');
        fields.push_back(line.substr(0, semicolon));
        line =
            semicolon == std::string_view::npos ? std::string_view() : line.substr(semicolon + 1);
      }
    }
    std::size_t field = 0;
    for (std::size_t a = 0; a < 3; ++a) {
      const Axis& ax = axis[a];
      if (ax.incremental) {
        value[a] = ax.offset + static_cast<double>(a == 0   ? i
                                                   : a == 1 ? j
                                                            : k / (nx * ny)) *
                                   ax.increment;
      } else if (a == 2 && marked) {
        value[a] = kHole;  // whatever the data hold there, it is no height
      } else if (!datums.empty()) {
        if (field >= fields.size()) {
          value[a] = kHole;  // an empty datum, or one that stops short, marks a hole
          continue;
        }
        std::string_view f = fields[field++];
        while (!f.empty() && std::isspace(static_cast<unsigned char>(f.front())))
          f.remove_prefix(1);
        while (!f.empty() && std::isspace(static_cast<unsigned char>(f.back()))) f.remove_suffix(1);
        double raw = 0;
        const auto [end, ec] = std::from_chars(f.data(), f.data() + f.size(), raw);
        if (f.empty() || ec != std::errc{} || end != f.data() + f.size()) {
          if (marked) {
            value[a] = kHole;  // a marked point's place is given up rather than the file
            continue;
          }
          throw Refusal{"datum " + std::to_string(k + 1) + " holds \"" +
                        std::string(f.substr(0, 30)) + "\", not a number"};
        }
        value[a] =
            ax.type == 'I' || ax.type == 'L' ? ax.offset + raw * ax.increment : ax.offset + raw;
      } else {
        value[a] = valueAt(
            ax, reinterpret_cast<const unsigned char*>(data.data()) + k * stride + place[a]);
      }
    }
    for (double& v : value) v *= scale;
    const bool located = !std::isnan(value[0]) && !std::isnan(value[1]);
    if (!marked && !std::isnan(value[2]) && located) {
      for (const double v : value) {
        if (!inRange(v)) throw beyond(k);
      }
      rows[++stored] = Point{value[0], value[1], value[2]};
      ++measured;
      continue;
    }
    // Non-measured, or with no x or y to place it by: kept as a hole where it has a place.
    ++info.invalidPoints;
    if (keepPlaces && inRange(value[0]) && inRange(value[1])) {
      rows[++stored] = Point{value[0], value[1], kHole};
    }
  }
  if (dataDigest.valid()) mismatch = mismatch || dataDigest.get() != dataSum;
  info.checksums = !checked ? "absent" : mismatch ? "mismatch" : "ok";
  if (!keepPlaces && stored == 0) throw Refusal{"the file holds no valid point"};
  if (keepPlaces && measured < 3) {
    throw Refusal{std::string(grid ? "the grid" : "the profile") + " holds " +
                  (measured == 0   ? std::string("no measured point")
                   : measured == 1 ? std::string("only 1 measured point")
                                   : "only " + std::to_string(measured) + " measured points") +
                  "; at least 3 are needed"};
  }
  list.setCount(stored);
  list.trim();
  result.ok = true;
  return result;
}

X3pRead refused(std::string reason) {
  X3pRead result;
  result.error = std::move(reason);
  return result;
}

X3pRead readOpen(zip_t* archive, PointList& list, LengthUnit unit, int limit,
                 const std::function<void(double)>& progress = {}) {
  try {
    return readArchive(archive, list, unit, limit, progress);
  } catch (const Refusal& refusal) {
    list.setCount(0);
    return refused(refusal.reason);
  } catch (const std::bad_alloc&) {
    list.setCount(0);
    return refused("not enough memory for its points");
  }
}

}  // namespace

namespace {

// The file opened for reading without waiting, when it is a regular file (a named pipe put in
// its place would otherwise block the open); -1 otherwise.
int openRegular(const std::filesystem::path& path) {
  int fd = -1;
  do {
    fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return -1;
  struct stat status {};
  if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
    ::close(fd);
    return -1;
  }
  return fd;
}

// The archive of an open file; it owns the descriptor from then on.
Archive archiveOf(int fd, std::string& error) {
  int code = 0;
  zip_t* archive = zip_fdopen(fd, ZIP_RDONLY, &code);
  if (archive == nullptr) {
    ::close(fd);
    zip_error_t why;
    zip_error_init_with_code(&why, code);
    error = zip_error_strerror(&why);
    zip_error_fini(&why);
  }
  return Archive(archive);
}

}  // namespace

bool isX3pFile(const std::filesystem::path& path) {
  const int fd = openRegular(path);
  if (fd < 0) return false;
  char magic[4] = {};
  if (::pread(fd, magic, sizeof magic, 0) != static_cast<ssize_t>(sizeof magic) ||
      std::memcmp(magic, "PK\x03\x04", 4) != 0) {
    ::close(fd);
    return false;
  }
  std::string error;
  const Archive archive = archiveOf(fd, error);
  return archive && documentFolder(archive.get()).has_value();
}

X3pRead readX3p(const std::filesystem::path& path, PointList& list, LengthUnit unit, int limit,
                const std::function<void(double)>& progress) {
  list.setCount(0);  // nothing of an earlier file stays, whatever fails below
  const int fd = openRegular(path);
  if (fd < 0) return refused("cannot open " + path.string() + " as a regular file");
  std::string error;
  const Archive archive = archiveOf(fd, error);
  if (!archive) return refused("not a readable zip container: " + error);
  return readOpen(archive.get(), list, unit, limit, progress);
}

X3pRead readX3pBytes(std::string_view bytes, PointList& list, LengthUnit unit, int limit) {
  list.setCount(0);
  zip_error_t error;
  zip_error_init(&error);
  zip_source_t* source = zip_source_buffer_create(bytes.data(), bytes.size(), 0, &error);
  if (source == nullptr) {
    zip_error_fini(&error);
    return refused("not a readable zip container");
  }
  const Archive archive(zip_open_from_source(source, ZIP_RDONLY, &error));
  if (!archive) {
    zip_source_free(source);
    const std::string why = zip_error_strerror(&error);
    zip_error_fini(&error);
    return refused("not a readable zip container: " + why);
  }
  zip_error_fini(&error);
  return readOpen(archive.get(), list, unit, limit);
}

}  // namespace corvane
