// SDF files: the worked example shared by other projects, files written here in each variant
// and data type (ASCII and binary, heights with and without holes, a profile), and the bad
// files, each refused with its reason.

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "data/point_list.h"
#include "formats/instrument_file.h"

namespace corvane {
namespace {

const InstrumentFormat& sdfFormat() {
  for (const InstrumentFormat& format : instrumentFormats()) {
    if (format.name == "sdf") return format;
  }
  throw std::logic_error("no sdf format");
}

InstrumentRead readBytes(const std::string& bytes, PointList& list, int limit = 1 << 20) {
  return readInstrumentBytes(bytes, sdfFormat(), list, LengthUnit::Micrometre, limit);
}

std::string little(std::uint64_t bits, int size) {
  std::string bytes;
  for (int b = 0; b < size; ++b, bits >>= 8) bytes += static_cast<char>(bits & 0xFF);
  return bytes;
}

// One raw value of DataType `type` as the binary data stores it.
std::string stored(int type, double value) {
  switch (type) {
    case 0:
    case 4:
      return little(static_cast<std::uint64_t>(static_cast<std::int64_t>(value)), 1);
    case 1:
    case 5:
      return little(static_cast<std::uint64_t>(static_cast<std::int64_t>(value)), 2);
    case 2:
    case 6:
      return little(static_cast<std::uint64_t>(static_cast<std::int64_t>(value)), 4);
    case 3:
      return little(std::bit_cast<std::uint32_t>(static_cast<float>(value)), 4);
    default:
      return little(std::bit_cast<std::uint64_t>(value), 8);
  }
}

struct Sdf {
  std::string version = "aISO-1.0";
  int points = 3, profiles = 2, dataType = 5;
  std::string xScale = "1e-6", yScale = "2e-6", zScale = "1e-9";
  std::vector<std::string> values = {"1", "-2", "3", "40", "5", "-6"};  // ASCII tokens
  std::vector<double> raw = {1, -2, 3, 40, 5, -6};                      // binary values
  std::string trailer = "*\r\n<Operator> A. Person </Operator>\r\n*\r\n";
};

std::string ascii(const Sdf& f) {
  std::string text = f.version + "\r\nManufacID = Maker X\r\nCreateDate = 200120091430\r\n" +
                     "ModDate = 200120091430\r\nNumPoints = " + std::to_string(f.points) +
                     "\r\nNumProfiles = " + std::to_string(f.profiles) +
                     "\r\nXscale = " + f.xScale + "\r\nYscale = " + f.yScale +
                     "\r\nZscale = " + f.zScale + "\r\nZresolution = -1\r\nCompression = 0\r\n" +
                     "DataType = " + std::to_string(f.dataType) + "\r\nCheckType = 0\r\n*\r\n";
  for (std::size_t i = 0; i < f.values.size(); ++i) {
    text += f.values[i] + ((i + 1) % static_cast<std::size_t>(f.points) ? " " : "\r\n");
  }
  return text + f.trailer;
}

// The same file in binary ("bISO-1.0" unless the file names another binary variant).
std::string binary(Sdf f) {
  if (f.version[0] != 'b') f.version = "bISO-1.0";
  const bool wide = f.version == "bISO-2.0";
  std::string bytes = f.version + "Maker X   " + "200120091430" + "200120091430" +
                      little(static_cast<std::uint64_t>(f.points), wide ? 4 : 2) +
                      little(static_cast<std::uint64_t>(f.profiles), wide ? 4 : 2) +
                      little(std::bit_cast<std::uint64_t>(std::stod(f.xScale)), 8) +
                      little(std::bit_cast<std::uint64_t>(std::stod(f.yScale)), 8) +
                      little(std::bit_cast<std::uint64_t>(std::stod(f.zScale)), 8) +
                      little(std::bit_cast<std::uint64_t>(-1.0), 8) + '\0' +
                      static_cast<char>(f.dataType) + '\0';
  for (const double v : f.raw) bytes += stored(f.dataType, v);
  return bytes + f.trailer;
}

TEST(Sdf, ReadsTheWorkedExample) {
  // The ASCII file read by eye: NumPoints 7, NumProfiles 4, X/Y/Zscale 1.0E-6, DataType 7, the
  // heights in the four lines after the first '*'. Its source's "7.0 x 4.0 um" is
  // NumPoints x Xscale (a pixel's width each); the points themselves span 6 x 3 um.
  PointList list;
  const InstrumentRead read =
      readInstrumentFile(CORVANE_FORMATS_DIR "/sdf_iso_example.sdf", sdfFormat(), list,
                         LengthUnit::Micrometre, kMaxListPoints);
  ASSERT_TRUE(read.ok) << read.error;
  EXPECT_EQ(read.measurement.size[0], 7u);
  EXPECT_EQ(read.measurement.size[1], 4u);
  EXPECT_EQ(read.measurement.nonMeasured, 0u);
  EXPECT_EQ(read.measurement.date, "2010-01-04 08:53");  // CreateDate = 040120100853
  EXPECT_EQ(read.measurement.instrument, "ISOTC213");
  EXPECT_EQ(read.measurement.comment, "OperatorName: Tom Jones; PartName: S2 Softgauges Example");
  EXPECT_EQ(read.measurement.unitInFile, "m");
  const auto points = list.points();
  ASSERT_EQ(points.size(), 28u);
  const auto at = [&](int column, int row) {
    return points[static_cast<std::size_t>(row * 7 + column)];
  };
  EXPECT_NEAR(at(0, 0).z, 1.0, 1e-12);      // line 1, first value 1.00000
  EXPECT_NEAR(at(2, 1).z, 0.99369, 1e-12);  // line 2, third value
  EXPECT_NEAR(at(5, 3).z, 0.94907, 1e-12);  // line 4, sixth value
  EXPECT_NEAR(at(6, 3).x, 6.0, 1e-12);
  EXPECT_NEAR(at(6, 3).y, 3.0, 1e-12);
  EXPECT_NEAR(at(2, 1).x, 2.0, 1e-12);
  EXPECT_NEAR(at(2, 1).y, 1.0, 1e-12);
}

TEST(Sdf, ReadsEveryVariantAndDataType) {
  // 3 x 2 points, 1 um apart along x, 2 um along y, Zscale 1 nm: each value v is v nm, i.e.
  // v/1000 um. The last value is the type's mark of a point not measured (BAD in ASCII, NaN in
  // float binary data); unsigned char has no such mark, so its 6th value stands.
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const struct {
    int type;
    double hole;  // the raw value of the 6th point
  } types[] = {{0, 6},    {1, 65535},  {2, 4294967295.0},  {3, nan},
               {4, -128}, {5, -32768}, {6, -2147483648.0}, {7, nan}};
  for (const std::string version :
       {"aISO-1.0", "bISO-1.0", "aBCR-1.0", "bBCR-1.0", "aISO-2.0", "bISO-2.0"}) {
    for (const auto& t : types) {
      SCOPED_TRACE(version + " DataType " + std::to_string(t.type));
      Sdf f;
      f.version = version;
      f.dataType = t.type;
      const bool isSigned = t.type >= 3;
      f.raw = {1, isSigned ? -2.0 : 2.0, 3, 40, 5, t.hole};
      f.values = {"1", isSigned ? "-2" : "2", "3", "4.0E+01", "5", t.type == 0 ? "6" : "BAD"};
      if (t.type == 3 || t.type == 7) f.values[1] = "-2.0";
      PointList list;
      const InstrumentRead read = readBytes(version[0] == 'a' ? ascii(f) : binary(f), list);
      ASSERT_TRUE(read.ok) << read.error;
      const auto points = list.points();
      ASSERT_EQ(points.size(), 6u);
      EXPECT_DOUBLE_EQ(points[1].z, (isSigned ? -2 : 2) * 1e-3);
      EXPECT_DOUBLE_EQ(points[3].z, 40e-3);
      EXPECT_DOUBLE_EQ(points[3].y, 2.0);
      EXPECT_DOUBLE_EQ(points[5].x, 2.0);
      if (t.type == 0) {
        EXPECT_DOUBLE_EQ(points[5].z, 6e-3);
      } else {
        EXPECT_TRUE(std::isnan(points[5].z));
        EXPECT_EQ(read.measurement.nonMeasured, 1u);
      }
      EXPECT_EQ(read.measurement.instrument, "Maker X");
      EXPECT_EQ(read.measurement.date, "2009-01-20 14:30");
      EXPECT_EQ(read.measurement.comment, "Operator: A. Person");
    }
  }
}

TEST(Sdf, ReadsAProfile) {
  // One profile of 5 points 0.5 um apart; its Yscale of 0 means nothing.
  for (const std::string version : {"aISO-1.0", "bISO-1.0"}) {
    SCOPED_TRACE(version);
    Sdf f;
    f.version = version;
    f.points = 5;
    f.profiles = 1;
    f.xScale = "0.5e-6";
    f.yScale = "0";
    f.values = {"10", "20", "-30", "40", "50"};
    f.raw = {10, 20, -30, 40, 50};
    f.trailer = "";
    PointList list;
    const InstrumentRead read = readBytes(version[0] == 'a' ? ascii(f) : binary(f), list);
    ASSERT_TRUE(read.ok) << read.error;
    ASSERT_EQ(list.points().size(), 5u);
    EXPECT_EQ(read.measurement.size[1], 1u);
    EXPECT_DOUBLE_EQ(list.points()[4].x, 2.0);
    EXPECT_DOUBLE_EQ(list.points()[2].z, -0.03);
    EXPECT_EQ(read.measurement.comment, "");
  }
}

TEST(Sdf, RefusesBadFiles) {
  Sdf shortData;  // five of six heights
  shortData.values.pop_back();
  shortData.raw.pop_back();
  Sdf longData;
  longData.values.push_back("7");
  Sdf huge;  // 65535 x 65535 points, more than the limit, in a file of a few bytes
  huge.points = huge.profiles = 65535;
  Sdf zeroX, negativeX, infiniteX, nanX, zeroZ, unknownType, zeroY;
  zeroX.xScale = "0";
  negativeX.xScale = "-1e-6";
  infiniteX.xScale = "inf";
  nanX.xScale = "nan";
  zeroZ.zScale = "0";
  unknownType.dataType = 8;
  zeroY.yScale = "0";
  Sdf word;
  word.values[2] = "3x";
  std::string noStar = ascii(Sdf{});
  noStar.erase(noStar.find("*\r\n"), 3);
  std::string overflow = ascii(Sdf{});
  overflow.replace(overflow.find("NumPoints = 3"), 13, "NumPoints = 4294967296");
  overflow.replace(overflow.find("NumProfiles = 2"), 15, "NumProfiles = 4294967296");
  std::string noPoints = ascii(Sdf{});
  noPoints.erase(noPoints.find("NumPoints"), 15);
  std::string compressed = ascii(Sdf{});
  compressed.replace(compressed.find("Compression = 0"), 15, "Compression = 1");
  const struct {
    const char* name;
    std::string bytes;
    std::string diagnosis;
  } cases[] = {
      {"ascii data short", ascii(shortData), "holds 5 of the 3 x 2 heights"},
      {"binary data short", binary([&] {
         Sdf f = shortData;
         f.trailer = "";
         return f;
       }()),
       "heights of 2 bytes but 10 bytes follow"},
      {"ascii data long", ascii(longData), "more than the 3 x 2 heights"},
      {"ascii beyond the limit", ascii(huge), "more than the 1048576 points"},
      {"binary beyond the limit", binary(huge), "more than the 1048576 points"},
      {"counts whose product overflows", overflow, "more than the 1048576 points"},
      {"binary 2.0 counts beyond the limit", binary([&] {
         Sdf f = huge;
         f.version = "bISO-2.0";
         f.points = f.profiles = 2000000000;
         return f;
       }()),
       "more than the 1048576 points"},
      {"zero Xscale", ascii(zeroX), "x spacing (Xscale) is not a positive number"},
      {"negative Xscale", ascii(negativeX), "x spacing (Xscale) is not a positive number"},
      {"infinite Xscale", ascii(infiniteX), "x spacing (Xscale) is not a positive number"},
      {"NaN Xscale", ascii(nanX), "x spacing (Xscale) is not a positive number"},
      {"zero Yscale of a grid", ascii(zeroY), "y spacing (Yscale) is not a positive number"},
      {"zero Zscale", ascii(zeroZ), "Zscale) is not a positive number"},
      {"unknown DataType", ascii(unknownType), "DataType 8 is none of the types 0 to 7"},
      {"binary unknown DataType", binary(unknownType), "DataType 8 is none of the types"},
      {"no star after the header", noStar, "is neither 'Name = value' nor the '*'"},
      {"header alone", "aISO-1.0\r\nNumPoints = 3\r\n", "does not end with a line '*'"},
      {"no NumPoints", noPoints, "the header has no NumPoints"},
      {"compressed", compressed, "compressed (Compression 1)"},
      {"word among the heights", ascii(word), "height 3, '3x', is not a number"},
      {"binary header cut", binary(Sdf{}).substr(0, 45), "ends before its NumProfiles"},
      {"not SDF", "aISO-9.9\r\n", "does not begin with an SDF version"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    PointList list;
    const InstrumentRead read = readBytes(c.bytes, list);
    EXPECT_FALSE(read.ok);
    EXPECT_NE(read.error.find(c.diagnosis), std::string::npos) << read.error;
  }
}

TEST(Sdf, SignatureNamesTheVariants) {
  EXPECT_TRUE(sdfFormat().signature("aISO-1.0\r\nManufacID"));
  EXPECT_TRUE(sdfFormat().signature("bBCR-1.0Maker"));
  EXPECT_FALSE(sdfFormat().signature("aISO-1."));
  EXPECT_FALSE(sdfFormat().signature("GWYP"));
}

}  // namespace
}  // namespace corvane
