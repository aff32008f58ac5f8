// Gwyddion GWY files written here with a small serialiser: the channel the reader picks among
// several, its units, holes and place, and the bad files, each refused with its reason.

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

const InstrumentFormat& gwyFormat() {
  for (const InstrumentFormat& format : instrumentFormats()) {
    if (format.name == "gwy") return format;
  }
  throw std::logic_error("no gwy format");
}

InstrumentRead readBytes(const std::string& bytes, PointList& list) {
  return readInstrumentBytes(bytes, gwyFormat(), list, LengthUnit::Micrometre, 1 << 20);
}

// The serialiser: little-endian values, objects and their components as Gwyddion writes them.
std::string little(std::uint64_t bits, int size) {
  std::string bytes;
  for (int b = 0; b < size; ++b, bits >>= 8) bytes += static_cast<char>(bits & 0xFF);
  return bytes;
}
std::string int32(std::int32_t v) { return little(static_cast<std::uint32_t>(v), 4); }
std::string real(double v) { return little(std::bit_cast<std::uint64_t>(v), 8); }
std::string text(const std::string& s) { return s + '\0'; }

std::string component(const std::string& name, char type, const std::string& value) {
  return name + '\0' + type + value;
}
std::string object(const std::string& type, const std::string& components) {
  return type + '\0' + little(components.size(), 4) + components;
}
std::string unit(const std::string& unitstr) {
  return object("GwySIUnit", component("unitstr", 's', text(unitstr)));
}
std::string reals(const std::vector<double>& values) {
  std::string bytes = little(values.size(), 4);
  for (const double v : values) bytes += real(v);
  return bytes;
}

struct Field {
  int xres = 3, yres = 2;
  double xreal = 3e-6, yreal = 4e-6, xoff = 0, yoff = 0;
  std::string xyUnit = "m", zUnit = "m";
  std::vector<double> data = {1e-9, 2e-9, 3e-9, 4e-9, 5e-9, 6e-9};
};

std::string dataField(const Field& f) {
  return object(
      "GwyDataField",
      component("xres", 'i', int32(f.xres)) + component("yres", 'i', int32(f.yres)) +
          component("xreal", 'd', real(f.xreal)) + component("yreal", 'd', real(f.yreal)) +
          component("xoff", 'd', real(f.xoff)) + component("yoff", 'd', real(f.yoff)) +
          component("si_unit_xy", 'o', unit(f.xyUnit)) +
          component("si_unit_z", 'o', unit(f.zUnit)) + component("data", 'D', reals(f.data)));
}

std::string gwyFile(const std::string& components) {
  return "GWYP" + object("GwyContainer", components);
}

std::string channel(int number, const Field& f, const std::string& title) {
  const std::string key = "/" + std::to_string(number) + "/data";
  return component(key, 'o', dataField(f)) + component(key + "/title", 's', text(title));
}

// `levels` objects each holding the next, the innermost empty.
std::string nested(int levels) {
  std::string inner = object("GwyContainer", "");
  for (int i = 1; i < levels; ++i) inner = object("GwyContainer", component("in", 'o', inner));
  return inner;
}

TEST(Gwy, PicksTheFirstChannelOfHeights) {
  // /0 is a voltage; /10 and /1 are heights in metres (/10 written first): /1 is the one.
  // Its 3 x 2 values are 1..6 nm with a hole, 1 um apart along x (3 um / 3) and 2 um along y
  // (4 um / 2), the first at xoff 1 um, yoff 2 um. Its mask of ones marks no hole.
  Field volts;
  volts.zUnit = "V";
  Field other;
  other.data = {9e-9, 9e-9, 9e-9, 9e-9, 9e-9, 9e-9};
  Field heights;
  heights.xoff = 1e-6;
  heights.yoff = 2e-6;
  heights.data[4] = std::numeric_limits<double>::quiet_NaN();
  Field mask = heights;
  mask.zUnit = "";
  mask.data = {1, 1, 1, 1, 1, 1};
  // Everything else a file holds, of every type, to be stepped over.
  const std::string meta =
      object("GwyContainer", component("flag", 'b', "\x01") + component("letter", 'c', "x") +
                                 component("big", 'q', little(1, 8)) +
                                 component("ints", 'I', little(2, 4) + int32(1) + int32(2)) +
                                 component("longs", 'Q', little(1, 4) + little(7, 8)) +
                                 component("chars", 'C', little(3, 4) + "abc") +
                                 component("names", 'S', little(2, 4) + text("a") + text("bc")) +
                                 component("units", 'O', little(2, 4) + unit("m") + unit("s")));
  const std::string file = gwyFile(channel(10, other, "Other") + channel(0, volts, "Bias") +
                                   component("/1/meta", 'o', meta) + channel(1, heights, "Height") +
                                   component("/1/mask", 'o', dataField(mask)) +
                                   component("/0/base/palette", 's', text("Gray")));
  PointList list;
  const InstrumentRead read = readBytes(file, list);
  ASSERT_TRUE(read.ok) << read.error;
  EXPECT_EQ(read.measurement.size[0], 3u);
  EXPECT_EQ(read.measurement.size[1], 2u);
  EXPECT_EQ(read.measurement.nonMeasured, 1u);
  EXPECT_EQ(read.measurement.comment, "channel 1: Height");
  EXPECT_EQ(read.measurement.unitInFile, "m");
  const auto points = list.points();
  ASSERT_EQ(points.size(), 6u);
  EXPECT_NEAR(points[0].x, 1.0, 1e-12);
  EXPECT_NEAR(points[0].y, 2.0, 1e-12);
  EXPECT_NEAR(points[0].z, 0.001, 1e-15);  // 1 nm
  EXPECT_NEAR(points[5].x, 3.0, 1e-12);    // 1 um + 2 x 1 um
  EXPECT_NEAR(points[5].y, 4.0, 1e-12);    // 2 um + 1 x 2 um
  EXPECT_NEAR(points[5].z, 0.006, 1e-15);
  EXPECT_TRUE(std::isnan(points[4].z));
}

TEST(Gwy, ConvertsPrefixedUnitsAndKeepsValuesThatAreNoLength) {
  Field nm;  // heights in nm, lateral in um: values 1..6 nm, 3 x 4 um (dx 1 um, dy 2 um)
  nm.zUnit = "nm";
  nm.xyUnit = "um";
  nm.xreal = 3;
  nm.yreal = 4;
  nm.data = {1, 2, 3, 4, 5, 6};
  Field volts;
  volts.zUnit = "V";
  volts.data = {0.5, 1.5, 2.5, 3.5, 4.5, 5.5};
  Field bare;
  bare.zUnit = "";
  bare.data = volts.data;
  const struct {
    const char* name;
    Field field;
    bool length;
    double last;  // the last point's z as the list holds it
  } cases[] = {{"nm", nm, true, 0.006}, {"V", volts, false, 5.5}, {"", bare, false, 5.5}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    PointList list;
    const InstrumentRead read = readBytes(gwyFile(channel(0, c.field, "")), list);
    ASSERT_TRUE(read.ok) << read.error;
    EXPECT_EQ(read.measurement.unitInFile, c.name);
    EXPECT_EQ(read.measurement.comment, "channel 0");
    const auto points = list.points();
    ASSERT_EQ(points.size(), 6u);
    EXPECT_NEAR(points[5].z, c.last, 1e-12);
    EXPECT_NEAR(points[5].x, 2.0, 1e-12);
    EXPECT_NEAR(points[5].y, 2.0, 1e-12);
  }
}

TEST(Gwy, ObjectsMayNest64LevelsDeep) {
  // The container is the first level; 63 more inside it are the most a file may hold.
  PointList list;
  const InstrumentRead deep =
      readBytes(gwyFile(component("/9/deep", 'o', nested(63)) + channel(0, Field{}, "")), list);
  EXPECT_TRUE(deep.ok) << deep.error;
  const InstrumentRead deeper =
      readBytes(gwyFile(component("/9/deep", 'o', nested(64)) + channel(0, Field{}, "")), list);
  EXPECT_FALSE(deeper.ok);
  EXPECT_NE(deeper.error.find("nest more than 64 levels"), std::string::npos) << deeper.error;
}

TEST(Gwy, RefusesBadFiles) {
  Field shortData, zeroX, negativeY, infiniteX, lateralVolts, empty, huge;
  shortData.data.pop_back();
  zeroX.xreal = 0;
  negativeY.yreal = -1e-6;
  infiniteX.xreal = std::numeric_limits<double>::infinity();
  lateralVolts.xyUnit = "V";
  empty.xres = 0;
  huge.xres = huge.yres = 100000;
  const std::string good = gwyFile(channel(0, Field{}, "Height"));
  std::string pastEnd = good;  // the container says it holds 1000 bytes more than the file
  pastEnd.replace(4 + 13, 4, little(good.size() + 1000, 4));
  std::string countOverflow = good;  // the data array says it holds 2^32 - 1 values
  const std::size_t dataAt = countOverflow.find(std::string("data\0D", 6)) + 6;
  countOverflow.replace(dataAt, 4, little(0xFFFFFFFFu, 4));
  std::string unknownType = good;
  unknownType[unknownType.find(std::string("xres\0i", 6)) + 5] = 'z';
  const struct {
    const char* name;
    std::string bytes;
    std::string diagnosis;
  } cases[] = {
      {"size past the end", pastEnd, "runs past the end"},
      {"array count overflowing", countOverflow, "component data runs past the end"},
      {"data shorter than xres x yres", gwyFile(channel(0, shortData, "")),
       "holds 5 values for its 3 x 2 points"},
      {"xres 0", gwyFile(channel(0, empty, "")), "grid is 0 x 2 points"},
      {"beyond the limit", gwyFile(channel(0, huge, "")), "more than the 1048576 points"},
      {"xreal 0", gwyFile(channel(0, zeroX, "")), "width (xreal) is not a positive number"},
      {"yreal negative", gwyFile(channel(0, negativeY, "")),
       "height (yreal) is not a positive number"},
      {"xreal infinite", gwyFile(channel(0, infiniteX, "")),
       "width (xreal) is not a positive number"},
      {"lateral unit no length", gwyFile(channel(0, lateralVolts, "")),
       "lateral unit 'V' is not a length"},
      {"unknown type", unknownType, "xres has the unknown type 122"},
      {"no channel", gwyFile(component("/0/base/palette", 's', text("Gray"))),
       "holds no channel of data"},
      {"not a container", "GWYP" + dataField(Field{}), "holds a GwyDataField, not a GwyContainer"},
      {"old kind", "GWYO" + good.substr(4), "old kind (GWYO)"},
      {"cut in a name", good.substr(0, 10), "type name runs past the end"},
      {"magic alone", "GWYP", "type name runs past the end"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    PointList list;
    const InstrumentRead read = readBytes(c.bytes, list);
    EXPECT_FALSE(read.ok);
    EXPECT_NE(read.error.find(c.diagnosis), std::string::npos) << read.error;
  }
}

}  // namespace
}  // namespace corvane
