// Wyko / Vision OPD files: the real file, read as its bytes say; files made here with heights
// as floats and as 16-bit integers; and the bad files, each refused with its reason.

#include <gtest/gtest.h>

#include <array>
#include <bit>
#include <cmath>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "data/point_list.h"
#include "formats/instrument_file.h"

namespace corvane {
namespace {

const InstrumentFormat& opdFormat() {
  for (const InstrumentFormat& format : instrumentFormats()) {
    if (format.name == "opd") return format;
  }
  throw std::logic_error("no opd format");
}

std::string little(std::uint64_t bits, int size) {
  std::string bytes;
  for (int k = 0; k < size; ++k, bits >>= 8) bytes += char(bits & 0xFF);
  return bytes;
}

struct Block {
  std::string name;
  int type;
  std::string data;
};

Block floatBlock(const char* name, float value) {
  return {name, 7, little(std::bit_cast<std::uint32_t>(value), 4)};
}

// An array block: columns, rows, element size, then the values as the file keeps them.
Block arrayBlock(const char* name, int columns, int rows, int size, const std::string& values) {
  return {name, 3, little(columns, 2) + little(rows, 2) + little(size, 2) + values};
}

// Two bytes, the directory (its own entry first), then the blocks in its order.
std::string bytesOf(const std::vector<Block>& blocks) {
  const auto entry = [](const std::string& name, int type, std::size_t length, int flags) {
    return name + std::string(16 - name.size(), '\0') + little(type, 2) + little(length, 4) +
           little(flags, 2);
  };
  std::string bytes = "\x01";
  bytes += '\0';
  bytes += entry("Directory", 1, 24 * (blocks.size() + 1), 0xFFFF);
  for (const Block& b : blocks) bytes += entry(b.name, b.type, b.data.size(), 0);
  for (const Block& b : blocks) bytes += b.data;
  return bytes;
}

InstrumentRead readBytes(const std::string& bytes, PointList& list, int limit = 1 << 20) {
  return readInstrumentBytes(bytes, opdFormat(), list, LengthUnit::Micrometre, limit);
}

// 3 columns of 2 rows, each column kept from the last row to the first.
std::string shorts(std::array<int, 6> values) {
  std::string bytes;
  for (const int v : values) bytes += little(static_cast<std::uint16_t>(v), 2);
  return bytes;
}

std::vector<Block> int16File() {
  return {{"Mult", 6, little(4, 2)},
          arrayBlock("RAW_DATA", 3, 2, 2, shorts({10, 20, 32767, -8, -32768, 40})),
          floatBlock("Wavelength", 600),
          floatBlock("Pixel_size", 0.002f),
          floatBlock("Aspect", 1.5f),
          {"Date", 5, std::string("01/02/2024") + '\0'},
          {"Time", 5, "03:04:05"},
          {"Title", 5, std::string("made here") + std::string(5, '\0')},
          {"MachineID", 5, "M1"}};
}

// Values read with python's struct: the directory (24-byte entries from offset 2: Mult short
// 236, RAW_DATA array 736 x 480 of 2-byte integers whose values start at 6010, Wavelength float
// 80 nm, Pixel_size float 0.0016342411981895566 mm, Aspect 1.1666666269302368), the array kept
// column after column from the last row; 809 values are 32767. Height = raw · 80 / 236 nm.
TEST(OpdFile, RealFileReadAsItsBytesSay) {
  PointList list;
  const InstrumentRead read =
      readInstrumentFile(CORVANE_FORMATS_DIR "/opd_raw_int16.opd", opdFormat(), list,
                         LengthUnit::Micrometre, kMaxListPoints);
  ASSERT_TRUE(read.ok) << read.error;
  EXPECT_EQ(read.measurement.size, (std::array<std::uint64_t, 2>{736, 480}));
  EXPECT_EQ(read.measurement.nonMeasured, 809u);
  EXPECT_EQ(read.measurement.unitInFile, "nm");
  EXPECT_EQ(read.measurement.date, "2009-10-26 11:16:55");  // "10/26/2009" and "11:16:55"
  EXPECT_EQ(read.measurement.instrument, "NT1100");         // MachineID
  const auto p = list.points();
  const auto at = [&](int row, int column) { return p[row * 736 + column]; };
  EXPECT_NEAR(at(479, 0).z, -7293 * 0.08 / 236, 1e-9);   // the file's first value
  EXPECT_NEAR(at(478, 0).z, -7271 * 0.08 / 236, 1e-9);   // its second
  EXPECT_NEAR(at(379, 300).z, 5953 * 0.08 / 236, 1e-9);  // value 300·480 + 100
  EXPECT_TRUE(std::isnan(at(413, 1).z));                 // value 546, the first 32767
  EXPECT_NEAR(at(0, 300).x - at(0, 0).x, 300 * 1.6342411981895566, 1e-6);
  EXPECT_NEAR(at(100, 0).y - at(0, 0).y, 100 * 1.9066146662822385, 1e-6);
}

TEST(OpdFile, FloatsAndIntegersMadeHere) {
  // Integers: 600 nm / Mult 4 = 150 nm = 0.15 µm a count; columns (10, 20), (32767, -8),
  // (-32768, 40) from the last row.
  PointList list;
  InstrumentRead read = readBytes(bytesOf(int16File()), list);
  ASSERT_TRUE(read.ok) << read.error;
  auto p = list.points();
  ASSERT_EQ(p.size(), 6u);
  const std::array<double, 6> intsByRow{20 * 0.15, -8 * 0.15, 40 * 0.15, 10 * 0.15, NAN, NAN};
  for (std::size_t k = 0; k < 6; ++k) {
    if (std::isnan(intsByRow[k])) {
      EXPECT_TRUE(std::isnan(p[k].z)) << k;
    } else {
      EXPECT_NEAR(p[k].z, intsByRow[k], 1e-9) << k;
    }
  }
  EXPECT_NEAR(p[1].x - p[0].x, 2.0, 1e-6);  // 0.002 mm
  EXPECT_NEAR(p[3].y - p[0].y, 3.0, 1e-6);  // aspect 1.5
  EXPECT_EQ(read.measurement.nonMeasured, 2u);
  EXPECT_EQ(read.measurement.date, "2024-01-02 03:04:05");
  EXPECT_EQ(read.measurement.comment, "made here");
  EXPECT_EQ(read.measurement.instrument, "M1");

  // Floats, no Mult or Aspect: 500 nm a unit; 1e38 marks a hole.
  std::string floats;
  for (const float v : {1.0f, 2.0f, -0.5f, 1e38f, 4.0f, 0.25f}) {
    floats += little(std::bit_cast<std::uint32_t>(v), 4);
  }
  read = readBytes(bytesOf({arrayBlock("OPD", 3, 2, 4, floats), floatBlock("Wavelength", 500),
                            floatBlock("Pixel_size", 0.001f)}),
                   list);
  ASSERT_TRUE(read.ok) << read.error;
  p = list.points();
  const std::array<double, 6> floatsByRow{1.0, NAN, 0.125, 0.5, -0.25, 2.0};
  for (std::size_t k = 0; k < 6; ++k) {
    if (std::isnan(floatsByRow[k])) {
      EXPECT_TRUE(std::isnan(p[k].z)) << k;
    } else {
      EXPECT_NEAR(p[k].z, floatsByRow[k], 1e-9) << k;
    }
  }
  EXPECT_NEAR(p[3].y - p[0].y, 1.0, 1e-6);  // aspect 1
}

TEST(OpdFile, BadFilesRefusedWithTheirReason) {
  struct Case {
    const char* name;
    std::string bytes;
    std::string diagnosis;
    int limit = 1 << 20;
  };
  const auto with = [](auto change) {
    std::vector<Block> blocks = int16File();
    change(blocks);
    return bytesOf(blocks);
  };
  const std::string plain = bytesOf(int16File());
  std::string longDirectory = plain;
  longDirectory[2 + 20] = char(0xF0);  // the directory's length, far beyond the file
  std::string oddDirectory = plain;
  oddDirectory[2 + 18] += 1;
  const std::vector<Case> cases{
      {"block past the end", plain.substr(0, plain.size() - 1), "'MachineID' lies past the end"},
      {"directory past the end", longDirectory, "does not fit the file"},
      {"directory no multiple of 24", oddDirectory, "does not fit the file"},
      {"array shorter than its sizes", with([](auto& b) { b[1].data.pop_back(); }),
       "says 3 x 2 points of 2 bytes but holds 11 bytes"},
      {"sizes beyond the limit", plain, "more than the 5 points", 5},
      {"zero columns", with([](auto& b) { b[1].data[0] = 0; }), "0 x 2 points"},
      {"8-byte elements", with([](auto& b) { b[1].data[4] = 8; }), "elements are 8 bytes"},
      {"zero pixel size", with([](auto& b) { b[3] = floatBlock("Pixel_size", 0); }),
       "Pixel_size is not a positive number"},
      {"NaN aspect", with([](auto& b) { b[4] = floatBlock("Aspect", NAN); }),
       "Aspect is not a positive number"},
      {"pixel size no number", with([](auto& b) { b[3].type = 5; }), "'Pixel_size' holds no"},
      {"no pixel size", with([](auto& b) { b[3].name = "Other"; }), "no Pixel_size"},
      {"no height array", with([](auto& b) { b[1].name = "Image"; }), "no array of heights"},
      {"binary junk", std::string(600, '\x01'), "no OPD block directory"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    PointList list;
    const InstrumentRead read = readBytes(c.bytes, list, c.limit);
    EXPECT_FALSE(read.ok);
    EXPECT_NE(read.error.find(c.diagnosis), std::string::npos) << read.error;
  }
}

}  // namespace
}  // namespace corvane
