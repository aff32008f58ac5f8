// X3P files in and out: containers made here with libzip in every way the format allows and
// real files bend it, read back point for point; what corvane-batch writes, read back; and
// the bad containers, each refused with its reason.

#include <gtest/gtest.h>
#include <zip.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <functional>
#include <iterator>
#include <limits>
#include <list>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "analysis/standard_parameters.h"
#include "formats/md5.h"
#include "formats/x3p.h"
#include "support/temp_dir.h"

namespace corvane {
namespace {

struct Axis {
  std::string type = "I";  // axis type
  std::string data;        // data type, "" for none
  std::string increment = "1e-6";
  std::string offset = "0";
};

struct Container {
  std::string featureType = "SUR";
  Axis x, y, z = {"A", "D", "", ""};
  std::string sizes = "<SizeX>3</SizeX><SizeY>2</SizeY><SizeZ>1</SizeZ>";
  std::string record3Extra;        // after MatrixDimension: a DataLink or DataList
  std::string prefix = "p:";       // of the root element
  std::string root = "ISO5436_2";  // its local name
  std::string doctype;             // before the root element
  std::string folder;              // a top-level folder holding everything
  std::vector<std::pair<std::string, std::string>> entries;
  bool checksum = true;  // md5checksum.hex for main.xml
};

std::string axisXml(const char* name, const Axis& a) {
  std::string xml = std::string("<") + name + "><AxisType>" + a.type + "</AxisType>";
  if (!a.data.empty()) xml += "<DataType>" + a.data + "</DataType>";
  xml +=
      "<Increment>" + a.increment + "</Increment><Offset>" + a.offset + "</Offset></" + name + ">";
  return xml;
}

std::string mainXml(const Container& c) {
  const std::string root = c.prefix + c.root;
  const std::string ns =
      c.prefix.empty() ? "" : " xmlns:p=\"http://www.opengps.eu/2008/ISO5436_2\"";
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n" + c.doctype + "<" + root + ns +
         "><Record1><Revision>ISO5436 - 2000</Revision><FeatureType>" + c.featureType +
         "</FeatureType><Axes>" + axisXml("CX", c.x) + axisXml("CY", c.y) + axisXml("CZ", c.z) +
         "</Axes></Record1><Record2><Date>2026-01-02T03:04:05+01:00</Date><Creator>a &amp; b"
         "</Creator><Instrument><Manufacturer>M</Manufacturer><Model>X</Model></Instrument>"
         "<Comment>made here</Comment></Record2><Record3><MatrixDimension>" +
         c.sizes + "</MatrixDimension>" + c.record3Extra +
         "</Record3><Record4><ChecksumFile>"
         "md5checksum.hex</ChecksumFile></Record4></" +
         root + ">";
}

std::string little(double value) {
  std::string bytes;
  auto bits = std::bit_cast<std::uint64_t>(value);
  for (int b = 0; b < 8; ++b, bits >>= 8) bytes += static_cast<char>(bits & 0xFF);
  return bytes;
}

std::string littleOf(std::uint64_t bits, int size) {
  std::string bytes;
  for (int b = 0; b < size; ++b, bits >>= 8) bytes += static_cast<char>(bits & 0xFF);
  return bytes;
}

std::string dataLink(const std::string& data, const std::string& link = "bindata/data.bin") {
  return "<DataLink><PointDataLink>" + link + "</PointDataLink><MD5ChecksumPointData>" +
         md5Hex(data) + "</MD5ChecksumPointData></DataLink>";
}

class X3p : public ::testing::Test {
 protected:
  std::filesystem::path write(const Container& c, const std::string& name = "f.x3p") {
    const std::filesystem::path path = files_.path() / name;
    int error = 0;
    zip_t* archive = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
    EXPECT_NE(archive, nullptr);
    std::vector<std::pair<std::string, std::string>> all = c.entries;
    const std::string xml = mainXml(c);
    all.emplace_back("main.xml", xml);
    if (c.checksum) all.emplace_back("md5checksum.hex", md5Hex(xml) + " *main.xml\n");
    kept_.clear();
    for (auto& [entry, bytes] : all) {
      kept_.push_back(bytes);
      zip_source_t* source =
          zip_source_buffer(archive, kept_.back().data(), kept_.back().size(), 0);
      zip_file_add(archive, (c.folder + entry).c_str(), source, ZIP_FL_OVERWRITE);
    }
    EXPECT_EQ(zip_close(archive), 0);
    return path;
  }

  X3pRead read(const std::filesystem::path& path, LengthUnit unit = LengthUnit::Micrometre) {
    return readX3p(path, list_, unit, 1 << 20);
  }

  corvane::testing::TempDir files_;
  std::list<std::string> kept_;  // the bytes libzip reads when the archive closes (stay put)
  PointList list_;
};

TEST_F(X3p, EveryDataTypeAndAxisTypeReadsAsItShould) {
  // A 3 x 2 grid, x and y by increments of 1 um from offsets; z of each type, integers scaled.
  const std::vector<double> heights = {1, -2, 3, 40, 5, -6};
  const struct {
    const char* type;
    int bytes;
    std::string increment;
  } types[] = {{"I", 2, "1e-7"}, {"L", 4, "1e-7"}, {"F", 4, ""}, {"D", 8, ""}};
  for (const auto& t : types) {
    SCOPED_TRACE(t.type);
    Container c;
    c.x.offset = "2e-6";
    c.y.offset = "";  // an empty offset is 0
    c.z = {"A", t.type, t.increment, "1e-6"};
    std::string data;
    for (const double h : heights) {
      if (t.bytes == 8) data += little(h);
      if (t.bytes == 4 && std::string(t.type) == "F")
        data += littleOf(std::bit_cast<std::uint32_t>(static_cast<float>(h)), 4);
      if (t.bytes == 4 && std::string(t.type) == "L")
        data += littleOf(static_cast<std::uint32_t>(static_cast<std::int32_t>(h * 10)), 4);
      if (t.bytes == 2)
        data += littleOf(static_cast<std::uint16_t>(static_cast<std::int16_t>(h * 10)), 2);
    }
    c.entries = {{"bindata/data.bin", data}};
    c.record3Extra = dataLink(data);
    const X3pRead r = read(write(c));
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(r.info.featureType, "SUR");
    EXPECT_EQ(r.info.checksums, "ok");
    EXPECT_EQ(r.info.creator, "a & b");
    ASSERT_EQ(list_.count(), 6);
    for (int k = 0; k < 6; ++k) {
      const Point& p = list_.points()[static_cast<std::size_t>(k)];
      EXPECT_NEAR(p.x, 2 + k % 3, 1e-9);
      EXPECT_NEAR(p.y, k / 3, 1e-9);
      // In um: the offset 1 um plus the height, which the integers hold in tenths of a um and
      // the floats in metres.
      const double expected = t.bytes == 2 || std::string(t.type) == "L"
                                  ? 1 + heights[static_cast<std::size_t>(k)]
                                  : 1 + heights[static_cast<std::size_t>(k)] * 1e6;
      EXPECT_NEAR(p.z, expected, 1e-6 * std::fabs(expected)) << k;
    }
  }
}

TEST_F(X3p, CloudsListsInvalidPointsAndBentContainers) {
  // A point cloud of absolute axes in D; the second point NaN.
  Container cloud;
  cloud.featureType = "PCL";
  cloud.x = cloud.y = {"A", "D", "", ""};
  cloud.sizes = "<SizeX>3</SizeX><SizeY>1</SizeY><SizeZ>1</SizeZ>";
  std::string data;
  for (const double v : {5e-6, 1e-6, 2e-6, 1e-6, 2e-6, std::nan(""), 0.0, -1e-6, 3e-6})
    data += little(v);
  cloud.entries = {{"bindata/data.bin", data}};
  cloud.record3Extra = dataLink(data);
  X3pRead r = read(write(cloud));
  ASSERT_TRUE(r.ok) << r.error;
  EXPECT_EQ(r.info.invalidPoints, 1u);
  ASSERT_EQ(list_.count(), 2);
  EXPECT_NEAR(list_.points()[1].x, 0, 1e-12);  // the cloud keeps its order
  EXPECT_NEAR(list_.points()[1].z, 3, 1e-9);

  // The same grid as data inline, with no namespace prefix, inside a top-level folder, without
  // a checksum file; the third point marked invalid by the bit array.
  Container inline_;
  inline_.prefix = "";
  inline_.folder = "measurement/";
  inline_.checksum = false;
  inline_.record3Extra =
      "<DataList><Datum>1e-6</Datum><Datum>2e-6</Datum><Datum>3e-6</Datum><Datum>4e-6</Datum>"
      "<Datum>5e-6</Datum><Datum>6e-6</Datum></DataList>";
  r = read(write(inline_));
  ASSERT_TRUE(r.ok) << r.error;
  EXPECT_EQ(r.info.checksums, "absent");
  EXPECT_EQ(list_.count(), 6);
  EXPECT_NEAR(list_.points()[5].z, 6, 1e-9);

  Container masked;
  std::string z;
  for (int k = 0; k < 6; ++k) z += little((k + 1) * 1e-6);
  masked.entries = {{"bindata/data.bin", z}, {"bindata/valid.bin", std::string(1, '\x3B')}};
  masked.record3Extra = dataLink(z) + "<ValidPointsLink>bindata/valid.bin</ValidPointsLink>";
  r = read(write(masked));
  ASSERT_TRUE(r.ok) << r.error;
  EXPECT_EQ(r.info.invalidPoints, 1u);  // bit 2 of 0b00111011: a hole in its place
  ASSERT_EQ(list_.count(), 6);
  EXPECT_TRUE(std::isnan(list_.points()[2].z));
  EXPECT_NEAR(list_.points()[2].x, 2, 1e-9);
  EXPECT_NEAR(list_.points()[3].z, 4, 1e-9);

  // The root ISO5436 that some instruments write, with a namespace and without.
  for (const std::string prefix : {"p:", ""}) {
    Container old = masked;
    old.root = "ISO5436";
    old.prefix = prefix;
    r = read(write(old));
    ASSERT_TRUE(r.ok) << prefix << r.error;
    EXPECT_EQ(list_.count(), 6);
  }

  // A checksum that does not match, of the data or of the valid-points array, is noted; the
  // data are still read.
  const std::string zeros = "00000000000000000000000000000000";
  for (const std::string& link :
       {"<DataLink><PointDataLink>bindata/data.bin</PointDataLink><MD5ChecksumPointData>" + zeros +
            "</MD5ChecksumPointData></DataLink>",
        "<DataLink><PointDataLink>bindata/data.bin</PointDataLink><MD5ChecksumPointData>" +
            md5Hex(z) +
            "</MD5ChecksumPointData><ValidPointsLink>bindata/valid.bin</ValidPointsLink>"
            "<MD5ChecksumValidPoints>" +
            zeros + "</MD5ChecksumValidPoints></DataLink>"}) {
    masked.record3Extra = link;
    r = read(write(masked));
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(r.info.checksums, "mismatch");
    EXPECT_EQ(list_.count(), 6);
  }
}

TEST_F(X3p, HolesKeepTheirPlacesHoweverMarked) {
  // A 4 x 3 grid, x and y 1 um apart, the height of point k (k + 1) um; 12 points, so the
  // valid-points array's second byte uses 4 bits (the other 4, set in one, are ignored). Each way
  // of marking a hole; each hole read as NaN in its place, one without an x or y left out.
  constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
  const auto height = [](int k) { return (k + 1) * 1e-6; };
  const std::string sizes = "<SizeX>4</SizeX><SizeY>3</SizeY><SizeZ>1</SizeZ>";
  const auto binary = [&](Container c, const std::function<std::string(int)>& point,
                          const std::string& valid = {}) {
    std::string data;
    for (int k = 0; k < 12; ++k) data += point(k);
    c.sizes = sizes;
    c.entries = {{"bindata/data.bin", data}};
    c.record3Extra =
        "<DataLink><PointDataLink>bindata/data.bin</PointDataLink>"
        "<MD5ChecksumPointData>" +
        md5Hex(data) + "</MD5ChecksumPointData>";
    if (!valid.empty()) {
      c.entries.emplace_back("bindata/valid.bin", valid);
      c.record3Extra +=
          "<ValidPointsLink>bindata/valid.bin</ValidPointsLink>"
          "<MD5ChecksumValidPoints>" +
          md5Hex(valid) + "</MD5ChecksumValidPoints>";
    }
    c.record3Extra += "</DataLink>";
    return c;
  };
  const auto listed = [&](Container c, const std::function<std::string(int)>& datum) {
    c.sizes = sizes;
    c.record3Extra = "<DataList>";
    for (int k = 0; k < 12; ++k) c.record3Extra += "<Datum>" + datum(k) + "</Datum>";
    c.record3Extra += "</DataList>";
    return c;
  };
  const auto micrometres = [](int n) { return std::to_string(n) + "e-6"; };
  const auto xy = [&](int k) { return micrometres(k % 4) + ";" + micrometres(k / 4); };
  // Bits of the points but 4, 9 and 11 (6 is NaN).
  const std::string junkBits = {'\xEF', '\xF5'};
  const auto junk = [&](int k) {
    return little(k == 4 ? 1e300 : k == 6 ? kNaN : k == 9 ? 5.0 : k == 11 ? -2e-6 : height(k));
  };
  Container floats, falling, absolute, listedMarked;
  floats.z = {"A", "F", "", ""};
  falling.x = {"I", "", "-1e-6", "3e-6"};  // stored from x = 3 um down, read rising
  absolute.x = absolute.y = {"A", "D", "", ""};
  listedMarked.x = falling.x;
  listedMarked.entries = {{"bindata/valid.bin", std::string{'\xDF', '\x0F'}}};  // but point 5
  listedMarked.record3Extra = "<ValidPointsLink>bindata/valid.bin</ValidPointsLink>";
  const struct {
    const char* what;
    Container container;
    std::set<int> holes;    // kept as NaN
    std::set<int> leftOut;  // no place to keep
    bool falling = false;
  } cases[] = {
      {"NaN in F data",
       binary(floats,
              [&](int k) {
                const float z = k == 1 || k == 10 ? std::nanf("") : static_cast<float>(height(k));
                return littleOf(std::bit_cast<std::uint32_t>(z), 4);
              }),
       {1, 10},
       {}},
      {"NaN in D data",
       binary(Container{}, [&](int k) { return little(k == 0 || k == 11 ? kNaN : height(k)); }),
       {0, 11},
       {}},
      {"cleared bits over junk, and NaN", binary(Container{}, junk, junkBits), {4, 6, 9, 11}, {}},
      {"the same with x falling", binary(falling, junk, junkBits), {4, 6, 9, 11}, {}, true},
      {"empty Datums, and a cleared bit over text, x falling",
       [&] {
         Container c = listed(listedMarked, [&](int k) {
           return k == 2 || k == 7 ? std::string() : k == 5 ? "junk" : micrometres(k + 1);
         });
         c.record3Extra += listedMarked.record3Extra;
         return c;
       }(),
       {2, 5, 7},
       {},
       true},
      {"absolute x and y in a list: no z, NaN z, nothing",
       listed(absolute,
              [&](int k) {
                if (k == 3) return xy(k);
                if (k == 8) return std::string();
                return xy(k) + ";" + (k == 10 ? "nan" : micrometres(k + 1));
              }),
       {3, 10},
       {8}},
      {"absolute x and y in binary: NaN x, NaN z, a cleared bit over junk",
       binary(
           absolute,
           [&](int k) {
             return little(k == 0 ? kNaN : (k % 4) * 1e-6) + little((k / 4) * 1e-6) +
                    little(k == 5   ? kNaN
                           : k == 7 ? 1e300
                                    : height(k));
           },
           std::string{'\x7F', '\x0F'}),
       {5, 7},
       {0}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const X3pRead r = read(write(c.container));
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(r.info.checksums, "ok");
    EXPECT_EQ(r.info.invalidPoints, c.holes.size() + c.leftOut.size());
    std::size_t n = 0;
    for (int j = 0; j < 3; ++j) {
      for (int p = 0; p < 4; ++p) {
        const int k = j * 4 + (c.falling ? 3 - p : p);
        if (c.leftOut.count(k) != 0) continue;
        ASSERT_LT(n, static_cast<std::size_t>(list_.count()));
        const Point& got = list_.points()[n++];
        EXPECT_NEAR(got.x, p, 1e-9) << k;
        EXPECT_NEAR(got.y, j, 1e-9) << k;
        if (c.holes.count(k) != 0) {
          EXPECT_TRUE(std::isnan(got.z)) << k << ": " << got.z;
        } else {
          EXPECT_NEAR(got.z, k + 1, 1e-6 * (k + 1)) << k;
        }
      }
    }
    EXPECT_EQ(n, static_cast<std::size_t>(list_.count()));
  }

  // A profile keeps its places too, its ends included.
  std::string five;
  for (int k = 0; k < 5; ++k) five += little(k == 0 || k == 4 ? kNaN : height(k));
  Container profile;
  profile.featureType = "PRF";
  profile.sizes = "<SizeX>5</SizeX><SizeY>1</SizeY><SizeZ>1</SizeZ>";
  profile.entries = {{"bindata/data.bin", five}};
  profile.record3Extra = dataLink(five);
  X3pRead r = read(write(profile));
  ASSERT_TRUE(r.ok) << r.error;
  EXPECT_EQ(r.info.invalidPoints, 2u);
  ASSERT_EQ(list_.count(), 5);
  for (int k = 0; k < 5; ++k) {
    EXPECT_NEAR(list_.points()[static_cast<std::size_t>(k)].x, k, 1e-9);
    EXPECT_EQ(std::isnan(list_.points()[static_cast<std::size_t>(k)].z), k == 0 || k == 4);
  }
}

TEST_F(X3p, FiguresOfAGridWithHolesDoNotDependOnWhatTheHolesHold) {
  // A 9 x 8 grid with 6 holes, marked by NaN in the data, or by bits over 1e300 or over a
  // plausible height: the standard figures come out the same to the last bit.
  constexpr int nx = 9, ny = 8, n = nx * ny;
  const std::set<int> holes = {0, 5, 17, 40, 41, 71};
  const auto height = [](int k) { return 1e-6 * std::sin(0.7 * k) + 2e-7 * (k % 5); };
  std::string bits((n + 7) / 8, '\0');
  for (int k = 0; k < n; ++k) {
    if (holes.count(k) == 0)
      bits[static_cast<std::size_t>(k / 8)] |= static_cast<char>(1 << (k % 8));
  }
  std::vector<StandardResult> results;
  for (const double under : {std::numeric_limits<double>::quiet_NaN(), 1e300, 3e-6}) {
    Container c;
    c.sizes = "<SizeX>9</SizeX><SizeY>8</SizeY><SizeZ>1</SizeZ>";
    std::string data;
    for (int k = 0; k < n; ++k) data += little(holes.count(k) != 0 ? under : height(k));
    c.entries = {{"bindata/data.bin", data}};
    c.record3Extra = dataLink(data);
    if (!std::isnan(under)) {
      c.entries.emplace_back("bindata/valid.bin", bits);
      c.record3Extra =
          "<DataLink><PointDataLink>bindata/data.bin</PointDataLink>"
          "<ValidPointsLink>bindata/valid.bin</ValidPointsLink></DataLink>";
    }
    const X3pRead r = read(write(c));
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(r.info.invalidPoints, holes.size());
    StandardWorkspace workspace;
    results.push_back(standardAnalysis(list_.points(), 2.0, workspace));
  }
  for (const StandardResult& result : results) {
    EXPECT_EQ(result.measured, static_cast<std::size_t>(n) - holes.size());
    for (std::size_t f = 0; f < kArealFigureNames.size(); ++f) {
      EXPECT_EQ(std::memcmp(&result.areal[f], &results[0].areal[f], sizeof(double)), 0)
          << kArealFigureNames[f];
    }
    for (std::size_t f = 0; f < kProfileFigureNames.size(); ++f) {
      EXPECT_EQ(std::memcmp(&result.mean[f], &results[0].mean[f], sizeof(double)), 0)
          << kProfileFigureNames[f];
    }
  }
  EXPECT_FALSE(std::isnan(results[0].areal[figure::Sa]));
  EXPECT_FALSE(std::isnan(results[0].areal[figure::Sdq]));
}

TEST_F(X3p, WhatIsWrittenReadsBack) {
  // A scan line, a cloud and a grid, in mm.
  std::vector<Point> line, cloud, grid;
  for (int i = 0; i < 50; ++i) line.push_back({0.1 * i + 0.003, 2.5, std::sin(i * 0.7)});
  for (int i = 0; i < 50; ++i) cloud.push_back({std::cos(i * 1.3), std::sin(i * 2.1), i * 0.01});
  for (int j = 0; j < 4; ++j) {
    for (int i = 0; i < 6; ++i) grid.push_back({1 + 0.25 * i, 7 - 0.5 * j, 0.1 * i * j});
  }
  const struct {
    std::vector<Point>* points;
    const char* kind;
    double tolerance;  // relative
  } cases[] = {{&line, "PRF", 1e-15}, {&cloud, "PCL", 1e-15}, {&grid, "SUR", 1e-12}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.kind);
    const auto path = files_.path() / (std::string(c.kind) + ".x3p");
    const X3pWrite written =
        writeX3p(path, *c.points, LengthUnit::Millimetre, "from <test> & co", "1.0", false);
    ASSERT_TRUE(written.ok) << written.error;
    EXPECT_EQ(written.featureType, c.kind);
    const X3pRead r = read(path, LengthUnit::Millimetre);
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(r.info.checksums, "ok");
    EXPECT_EQ(r.info.comment, "from <test> & co");
    ASSERT_EQ(list_.count(), static_cast<int>(c.points->size()));
    for (std::size_t k = 0; k < c.points->size(); ++k) {
      const Point& a = (*c.points)[k];
      const Point& b = list_.points()[k];
      for (const auto& [u, v] : {std::pair{a.x, b.x}, std::pair{a.y, b.y}, std::pair{a.z, b.z}}) {
        ASSERT_NEAR(u, v, c.tolerance * std::max(1.0, std::fabs(u))) << k;
      }
    }
    // In metres nothing is converted: the points come back to the last bit.
    if (std::string(c.kind) != "SUR") {
      const auto metres = files_.path() / (std::string(c.kind) + "-m.x3p");
      ASSERT_TRUE(writeX3p(metres, *c.points, LengthUnit::Metre, "", "1.0", false).ok);
      ASSERT_TRUE(read(metres, LengthUnit::Metre).ok);
      for (std::size_t k = 0; k < c.points->size(); ++k) {
        EXPECT_EQ((*c.points)[k].z, list_.points()[k].z);
      }
    }
    // An existing file is not replaced without being told to.
    EXPECT_FALSE(writeX3p(path, *c.points, LengthUnit::Millimetre, "", "1.0", false).ok);
    EXPECT_TRUE(writeX3p(path, *c.points, LengthUnit::Millimetre, "", "1.0", true).ok);
  }
}

TEST_F(X3p, WrittenHolesReadBackMarkedBothWays) {
  // A 6 x 4 grid and a scan line of 50 points, in mm, with holes (NaN heights); the line's last
  // point is one, its bit in the last byte of the array, of which it uses 2 bits.
  constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
  std::vector<Point> grid, line;
  for (int j = 0; j < 4; ++j) {
    for (int i = 0; i < 6; ++i) {
      grid.push_back({1 + 0.25 * i, 7 - 0.5 * j, (i + j) % 5 == 0 ? kNaN : 0.1 * i * j + 0.01});
    }
  }
  for (int i = 0; i < 50; ++i) {
    line.push_back({0.1 * i, 2.5, i % 7 == 3 || i == 49 ? kNaN : std::sin(i * 0.7)});
  }
  const auto entry = [](const std::filesystem::path& path, const char* name) -> std::string {
    int error = 0;
    zip_t* archive = zip_open(path.c_str(), ZIP_RDONLY, &error);
    if (archive == nullptr) return "(no archive)";
    zip_stat_t stat;
    std::string bytes = "(no entry)";
    zip_file_t* file = zip_fopen(archive, name, 0);
    if (file != nullptr && zip_stat(archive, name, 0, &stat) == 0) {
      bytes.assign(stat.size, '\0');
      bytes.resize(static_cast<std::size_t>(
          std::max<zip_int64_t>(0, zip_fread(file, bytes.data(), bytes.size()))));
    }
    if (file != nullptr) zip_fclose(file);
    zip_discard(archive);
    return bytes;
  };
  const struct {
    std::vector<Point>* points;
    const char* kind;
    std::size_t stride;  // bytes per point in data.bin, z the last 8
  } cases[] = {{&grid, "SUR", 8}, {&line, "PRF", 24}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.kind);
    const std::vector<Point>& points = *c.points;
    const auto path = files_.path() / (std::string(c.kind) + "-holes.x3p");
    const X3pWrite written = writeX3p(path, points, LengthUnit::Millimetre, "", "1.0", false);
    ASSERT_TRUE(written.ok) << written.error;
    EXPECT_EQ(written.featureType, c.kind);
    const X3pRead r = read(path, LengthUnit::Millimetre);
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(r.info.checksums, "ok");
    ASSERT_EQ(list_.count(), static_cast<int>(points.size()));
    std::uint64_t holes = 0;
    const std::string data = entry(path, "bindata/data.bin");
    const std::string valid = entry(path, "bindata/valid.bin");
    ASSERT_EQ(data.size(), points.size() * c.stride);
    ASSERT_EQ(valid.size(), (points.size() + 7) / 8);
    for (std::size_t k = 0; k < points.size(); ++k) {
      const Point& got = list_.points()[k];
      const bool hole = std::isnan(points[k].z);
      holes += hole ? 1 : 0;
      EXPECT_NEAR(got.x, points[k].x, 1e-12 * std::fabs(points[k].x)) << k;
      EXPECT_NEAR(got.y, points[k].y, 1e-12 * std::fabs(points[k].y)) << k;
      EXPECT_EQ(std::isnan(got.z), hole) << k;
      if (!hole) {
        EXPECT_NEAR(got.z, points[k].z, 1e-12 * std::max(1.0, std::fabs(points[k].z))) << k;
      }
      double stored = 0;
      std::memcpy(&stored, data.data() + k * c.stride + c.stride - 8, 8);
      EXPECT_EQ(std::isnan(stored), hole) << k;
      EXPECT_EQ((static_cast<unsigned char>(valid[k / 8]) >> (k % 8)) & 1, hole ? 0 : 1) << k;
    }
    EXPECT_EQ(r.info.invalidPoints, holes);
    EXPECT_EQ(static_cast<unsigned char>(valid.back()) >> (points.size() - 1) % 8 >> 1, 0)
        << "bits beyond the points";
    // The array is linked from the DataLink, after the data's checksum, with its own.
    std::string xml = entry(path, "main.xml");
    std::erase_if(xml, [](char ch) { return ch == '\n' || ch == ' '; });
    EXPECT_NE(xml.find("</MD5ChecksumPointData><ValidPointsLink>bindata/valid.bin"
                       "</ValidPointsLink><MD5ChecksumValidPoints>" +
                       md5Hex(valid) + "</MD5ChecksumValidPoints></DataLink>"),
              std::string::npos)
        << xml;
  }
  // Without a hole there is no array.
  std::vector<Point> whole = grid;
  for (Point& p : whole) p.z = std::isnan(p.z) ? 0 : p.z;
  const auto path = files_.path() / "whole.x3p";
  ASSERT_TRUE(writeX3p(path, whole, LengthUnit::Millimetre, "", "1.0", false).ok);
  EXPECT_EQ(entry(path, "bindata/valid.bin"), "(no entry)");
  EXPECT_EQ(entry(path, "main.xml").find("ValidPoints"), std::string::npos);
}

TEST_F(X3p, BadContainersAreRefusedWithTheirReason) {
  const std::string six = [] {
    std::string z;
    for (int k = 0; k < 6; ++k) z += little(k * 1e-6);
    return z;
  }();
  std::string nan6;
  for (int k = 0; k < 6; ++k) nan6 += little(std::nan(""));
  const auto grid = [&](const std::function<void(Container&)>& change) {
    Container c;
    c.entries = {{"bindata/data.bin", six}};
    c.record3Extra = dataLink(six);
    change(c);
    return c;
  };
  const struct {
    const char* what;
    Container container;
    std::string reason;
  } cases[] = {
      {"an entry larger than the matrix needs", grid([&](Container& c) {
         c.entries = {{"bindata/data.bin", six + std::string(1 << 20, '\0')}};
       }),
       "the matrix needs 48"},
      {"an entry shorter than the matrix needs", grid([&](Container& c) {
         c.entries = {{"bindata/data.bin", six.substr(0, 40)}};
       }),
       "holds 40 bytes, the matrix needs 48"},
      {"a DTD with an entity",
       grid([](Container& c) { c.doctype = "<!DOCTYPE x [<!ENTITY e \"eeeeeeee\">]>\n"; }), "DTD"},
      {"sizes whose product overflows", grid([](Container& c) {
         c.sizes = "<SizeX>4294967296</SizeX><SizeY>4294967296</SizeY><SizeZ>4294967296</SizeZ>";
       }),
       "more than"},
      {"an unknown data type", grid([](Container& c) { c.z.data = "Q"; }), "unknown data type"},
      {"an unknown feature type", grid([](Container& c) { c.featureType = "XYZ"; }),
       "unknown feature type"},
      {"a link to no entry",
       grid([&](Container& c) { c.record3Extra = dataLink(six, "bindata/other.bin"); }),
       "names no entry"},
      {"a link out of the container",
       grid([&](Container& c) { c.record3Extra = dataLink(six, "../../etc/passwd"); }),
       "leaves the container"},
      {"a grid of 2 measured points", grid([&](Container& c) {
         c.entries.emplace_back("bindata/valid.bin", std::string(1, '\x21'));
         c.record3Extra += "<ValidPointsLink>bindata/valid.bin</ValidPointsLink>";
       }),
       "the grid holds only 2 measured points; at least 3 are needed"},
      {"a profile of none measured", grid([&](Container& c) {
         c.featureType = "PRF";
         c.sizes = "<SizeX>6</SizeX><SizeY>1</SizeY><SizeZ>1</SizeZ>";
         c.entries = {{"bindata/data.bin", nan6}};
         c.record3Extra = dataLink(nan6);
       }),
       "the profile holds no measured point; at least 3 are needed"},
      {"a cloud of none measured", grid([&](Container& c) {
         c.featureType = "PCL";
         c.x = c.y = {"A", "D", "", ""};
         c.sizes = "<SizeX>2</SizeX><SizeY>1</SizeY><SizeZ>1</SizeZ>";
         c.entries = {{"bindata/data.bin", nan6}};
         c.record3Extra = dataLink(nan6);
       }),
       "the file holds no valid point"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const X3pRead r = read(write(c.container));
    EXPECT_FALSE(r.ok);
    EXPECT_NE(r.error.find(c.reason), std::string::npos) << r.error;
  }
  // Not a zip at all, and a zip whose central directory is cut off.
  const std::string good = [&] {
    std::ifstream in(write(grid([](Container&) {})), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }();
  for (const std::string& bytes :
       {std::string("PK\x03\x04 and then nothing"), good.substr(0, good.size() - 30)}) {
    // A failure after a good read leaves no point of it behind.
    ASSERT_TRUE(readX3pBytes(good, list_, LengthUnit::Millimetre, 1 << 20).ok);
    const X3pRead r = readX3pBytes(bytes, list_, LengthUnit::Millimetre, 1 << 20);
    EXPECT_FALSE(r.ok);
    EXPECT_FALSE(r.error.empty());
    EXPECT_EQ(list_.count(), 0);
  }
}

}  // namespace
}  // namespace corvane
