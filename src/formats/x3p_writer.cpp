#include <libxml/tree.h>
#include <zip.h>

#include <bit>
#include <charconv>
#include <chrono>
#include <cmath>
#include <ctime>
#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "analysis/areal_grid.h"
#include "formats/md5.h"
#include "formats/x3p.h"

namespace corvane {
namespace {

struct DocumentFreer {
  void operator()(xmlDoc* document) const { xmlFreeDoc(document); }
};

const xmlChar* chars(const char* text) { return reinterpret_cast<const xmlChar*>(text); }

// A child element without a namespace (the records' elements are unqualified), its text
// escaped as it is written.
xmlNode* element(xmlNode* parent, const char* name, const std::string& content = {}) {
  xmlNode* node = xmlNewDocNode(parent->doc, nullptr, chars(name), nullptr);
  if (!content.empty()) xmlNodeAddContent(node, chars(content.c_str()));
  return xmlAddChild(parent, node);
}

// Shortest text that reads back to the same double.
std::string exact(double value) {
  char text[32];
  const auto written = std::to_chars(text, text + sizeof text, value);
  return std::string(text, written.ptr);
}

void axis(xmlNode* axes, const char* name, bool incremental, double increment, double offset) {
  xmlNode* node = element(axes, name);
  element(node, "AxisType", incremental ? "I" : "A");
  if (!incremental) element(node, "DataType", "D");
  element(node, "Increment", exact(increment));
  element(node, "Offset", exact(offset));
}

void appendDouble(std::string& bytes, double value) {
  auto bits = std::bit_cast<std::uint64_t>(value);
  for (int b = 0; b < 8; ++b, bits >>= 8) bytes += static_cast<char>(bits & 0xFF);
}

std::string now() {
  const std::time_t t = std::time(nullptr);
  std::tm local{};
  localtime_r(&t, &local);
  char text[40];
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S%z", &local);
  std::string date = text;
  if (date.size() > 2) date.insert(date.size() - 2, ":");  // +0100 -> +01:00
  return date;
}

// Adds an entry from bytes the archive copies; false when it cannot.
bool addEntry(zip_t* archive, const char* name, const std::string& bytes) {
  zip_source_t* source = zip_source_buffer(archive, bytes.data(), bytes.size(), 0);
  if (source == nullptr) return false;
  const zip_int64_t index =
      zip_file_add(archive, name, source, ZIP_FL_OVERWRITE | ZIP_FL_ENC_UTF_8);
  if (index < 0) {
    zip_source_free(source);
    return false;
  }
  return zip_set_file_compression(archive, static_cast<zip_uint64_t>(index), ZIP_CM_DEFLATE, 6) ==
         0;
}

}  // namespace

X3pWrite writeX3p(const std::filesystem::path& target, std::span<const Point> points,
                  LengthUnit unit, const std::string& comment, const std::string& version,
                  bool replace) {
  X3pWrite result;
  if (points.empty()) {
    result.error = "no point to write";
    return result;
  }
  const double toMetres = 1 / unitsPerMetre(unit);
  // The kind: a grid, one scan line, or a cloud (the scan lines are where x drops).
  const std::optional<Grid> grid = regularGrid(points);
  bool oneLine = true;
  for (std::size_t i = 1; i < points.size() && oneLine; ++i)
    oneLine = points[i - 1].x <= points[i].x;
  result.featureType = grid ? "SUR" : oneLine ? "PRF" : "PCL";

  // The data: z of every grid point, else x, y and z of every point, in metres; a NaN z (a
  // point not measured) as a quiet NaN, and its bit in the valid-points array 0.
  std::string data, valid((points.size() + 7) / 8, '\0');
  bool holes = false;
  data.reserve(points.size() * (grid ? 8 : 24));
  for (std::size_t k = 0; k < points.size(); ++k) {
    const Point& p = points[k];
    if (!grid) {
      appendDouble(data, p.x * toMetres);
      appendDouble(data, p.y * toMetres);
    }
    if (std::isnan(p.z)) {
      appendDouble(data, std::numeric_limits<double>::quiet_NaN());
      holes = true;
    } else {
      appendDouble(data, p.z * toMetres);
      valid[k / 8] = static_cast<char>(valid[k / 8] | (1 << (k % 8)));
    }
  }

  const std::unique_ptr<xmlDoc, DocumentFreer> document(xmlNewDoc(chars("1.0")));
  xmlNode* root = xmlNewNode(nullptr, chars("ISO5436_2"));
  xmlDocSetRootElement(document.get(), root);
  xmlNs* ns = xmlNewNs(root, chars("http://www.opengps.eu/2008/ISO5436_2"), chars("p"));
  xmlSetNs(root, ns);
  xmlNode* record1 = element(root, "Record1");
  element(record1, "Revision", "ISO5436 - 2000");
  element(record1, "FeatureType", result.featureType);
  xmlNode* axes = element(record1, "Axes");
  if (grid) {
    // Rows in the order of the file: y steps by dy one way or the other.
    const double step = points[grid->nx].y >= points[0].y ? grid->dy : -grid->dy;
    axis(axes, "CX", true, grid->dx * toMetres, points[0].x * toMetres);
    axis(axes, "CY", true, step * toMetres, points[0].y * toMetres);
  } else {
    axis(axes, "CX", false, 1, 0);
    axis(axes, "CY", false, 1, 0);
  }
  axis(axes, "CZ", false, 1, 0);

  const std::string date = now();
  xmlNode* record2 = element(root, "Record2");
  element(record2, "Date", date);
  element(record2, "Creator", "Corvane " + version);
  xmlNode* instrument = element(record2, "Instrument");
  element(instrument, "Manufacturer", "unknown");
  element(instrument, "Model", "point file");
  element(instrument, "Serial", "unknown");
  element(instrument, "Version", "unknown");
  element(record2, "CalibrationDate", date);
  xmlNode* probing = element(record2, "ProbingSystem");
  element(probing, "Type", "Software");
  element(probing, "Identification", "Corvane " + version);
  element(record2, "Comment", comment);

  xmlNode* record3 = element(root, "Record3");
  xmlNode* matrix = element(record3, "MatrixDimension");
  element(matrix, "SizeX", std::to_string(grid ? grid->nx : points.size()));
  element(matrix, "SizeY", std::to_string(grid ? grid->ny : 1));
  element(matrix, "SizeZ", "1");
  xmlNode* link = element(record3, "DataLink");
  element(link, "PointDataLink", "bindata/data.bin");
  element(link, "MD5ChecksumPointData", md5Hex(data));
  if (holes) {
    element(link, "ValidPointsLink", "bindata/valid.bin");
    element(link, "MD5ChecksumValidPoints", md5Hex(valid));
  }
  xmlNode* record4 = element(root, "Record4");
  element(record4, "ChecksumFile", "md5checksum.hex");

  xmlChar* text = nullptr;
  int size = 0;
  xmlDocDumpFormatMemoryEnc(document.get(), &text, &size, "UTF-8", 1);
  const std::string xml(reinterpret_cast<const char*>(text), static_cast<std::size_t>(size));
  xmlFree(text);
  const std::string checksum = md5Hex(xml) + " *main.xml\n";

  int error = 0;
  zip_t* archive =
      zip_open(target.c_str(), ZIP_CREATE | (replace ? ZIP_TRUNCATE : ZIP_EXCL), &error);
  if (archive == nullptr) {
    zip_error_t why;
    zip_error_init_with_code(&why, error);
    result.error = error == ZIP_ER_EXISTS
                       ? target.string() + " exists (--force replaces it)"
                       : "cannot write " + target.string() + ": " + zip_error_strerror(&why);
    zip_error_fini(&why);
    return result;
  }
  const bool added = addEntry(archive, "main.xml", xml) &&
                     addEntry(archive, "bindata/data.bin", data) &&
                     (!holes || addEntry(archive, "bindata/valid.bin", valid)) &&
                     addEntry(archive, "md5checksum.hex", checksum);
  if (!added) {
    result.error = "cannot write " + target.string() + ": " + zip_strerror(archive);
    zip_discard(archive);
    return result;
  }
  if (zip_close(archive) != 0) {
    result.error = "cannot write " + target.string() + ": " + zip_strerror(archive);
    zip_discard(archive);
    return result;
  }
  result.ok = true;
  return result;
}

}  // namespace corvane
