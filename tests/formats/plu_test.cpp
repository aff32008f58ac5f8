// Sensofar PLU files: the real file, read as its bytes say; a topography and a profile made
// here; and the bad files, each refused with its reason.

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

const InstrumentFormat& pluFormat() {
  for (const InstrumentFormat& format : instrumentFormats()) {
    if (format.name == "plu") return format;
  }
  throw std::logic_error("no plu format");
}

void put(std::string& bytes, std::size_t at, std::uint32_t bits) {
  for (std::size_t k = 0; k < 4; ++k, bits >>= 8) bytes[at + k] = char(bits & 0xFF);
}

struct Plu {
  std::string date = "Tue Jan  2 03:04:05 2024";
  std::string comment = "made here";
  std::uint32_t type = 3, columns = 3, rows = 2;
  float umPerPixelX = 0.5f, umPerPixelY = 0.25f;
  std::vector<float> z{1.5f, -2, 1000001, 4, 5, 6.25f};  // µm; 1000001 is not measured
};

// The 500-byte header (date, time, comment, calibration at 388, measurement type at 428), the
// layer's rows and columns, its heights.
std::string bytesOf(const Plu& p) {
  std::string b(508, '\0');
  b.replace(0, p.date.size(), p.date);
  b.replace(132, p.comment.size(), p.comment);
  put(b, 388, p.rows);
  put(b, 392, p.columns);
  put(b, 404, std::bit_cast<std::uint32_t>(p.umPerPixelX));
  put(b, 408, std::bit_cast<std::uint32_t>(p.umPerPixelY));
  put(b, 428, p.type);
  put(b, 500, p.rows);
  put(b, 504, p.columns);
  for (const float v : p.z) {
    b += std::string(4, '\0');
    put(b, b.size() - 4, std::bit_cast<std::uint32_t>(v));
  }
  return b;
}

InstrumentRead readBytes(const std::string& bytes, PointList& list, int limit = 1 << 20) {
  return readInstrumentBytes(bytes, pluFormat(), list, LengthUnit::Micrometre, limit);
}

// Values read with python's struct: the date text at 0, the calibration at 388 (rows 576,
// columns 768, 0.3320000171661377 µm per pixel along x and y), the measurement type 3 at 428,
// the layer's 576 x 768 at 500 and its float heights in µm from 508, row after row (none is
// 1000001).
TEST(PluFile, RealFileReadAsItsBytesSay) {
  PointList list;
  const InstrumentRead read =
      readInstrumentFile(CORVANE_FORMATS_DIR "/plu_confocal.plu", pluFormat(), list,
                         LengthUnit::Micrometre, kMaxListPoints);
  ASSERT_TRUE(read.ok) << read.error;
  EXPECT_EQ(read.measurement.size, (std::array<std::uint64_t, 2>{768, 576}));
  EXPECT_EQ(read.measurement.nonMeasured, 0u);
  EXPECT_EQ(read.measurement.unitInFile, "um");
  EXPECT_EQ(read.measurement.date, "2021-04-19 11:40:13");  // "Mon Apr 19 11:40:13 2021"
  EXPECT_EQ(read.measurement.comment, "");                  // "(None)"
  const auto p = list.points();
  EXPECT_NEAR(p[0].z, 5.62913703918457, 1e-9);
  EXPECT_NEAR(p[1].z, 5.613176345825195, 1e-9);
  EXPECT_NEAR(p[300 * 768 + 400].z, 3.1173954010009766, 1e-9);
  EXPECT_NEAR(p[576 * 768 - 1].z, 3.794015884399414, 1e-9);
  EXPECT_NEAR(p[300 * 768 + 400].x - p[300 * 768].x, 400 * 0.3320000171661377, 1e-6);
  EXPECT_NEAR(p[300 * 768].y - p[0].y, 300 * 0.3320000171661377, 1e-6);
}

TEST(PluFile, TopographyAndProfileMadeHere) {
  PointList list;
  InstrumentRead read = readBytes(bytesOf(Plu{}), list);
  ASSERT_TRUE(read.ok) << read.error;
  const auto p = list.points();
  ASSERT_EQ(p.size(), 6u);
  const std::array<double, 6> z{1.5, -2, NAN, 4, 5, 6.25};
  for (std::size_t k = 0; k < z.size(); ++k) {
    if (std::isnan(z[k])) {
      EXPECT_TRUE(std::isnan(p[k].z));
    } else {
      EXPECT_DOUBLE_EQ(p[k].z, z[k]);
    }
  }
  EXPECT_DOUBLE_EQ(p[1].x - p[0].x, 0.5);
  EXPECT_DOUBLE_EQ(p[3].y - p[0].y, 0.25);
  EXPECT_EQ(read.measurement.nonMeasured, 1u);
  EXPECT_EQ(read.measurement.date, "2024-01-02 03:04:05");
  EXPECT_EQ(read.measurement.comment, "made here");

  Plu profile;
  profile.type = 1;
  profile.rows = 1;
  profile.columns = 4;
  profile.umPerPixelY = 0;  // unused by a profile
  profile.z = {1, 2, 3, 4};
  read = readBytes(bytesOf(profile), list);
  ASSERT_TRUE(read.ok) << read.error;
  EXPECT_EQ(read.measurement.size, (std::array<std::uint64_t, 2>{4, 1}));
  EXPECT_DOUBLE_EQ(list.points()[3].z, 4.0);
}

TEST(PluFile, BadFilesRefusedWithTheirReason) {
  struct Case {
    const char* name;
    std::string bytes;
    std::string diagnosis;
    int limit = 1 << 20;
  };
  const auto with = [](auto change) {
    Plu p;
    change(p);
    return bytesOf(p);
  };
  const std::string plain = bytesOf(Plu{});
  const std::vector<Case> cases{
      {"heights shorter than the sizes", plain.substr(0, plain.size() - 1),
       "says 3 x 2 points but the file holds 23 bytes"},
      {"file shorter than its header", plain.substr(0, 450), "ends before"},
      {"sizes whose product overflows", with([](Plu& p) { p.rows = p.columns = 0xFFFFFFFF; }),
       "holds more than"},
      {"more points than the limit", plain, "more than the 5 points", 5},
      {"zero size", with([](Plu& p) { p.rows = 0; }), "3 x 0 points"},
      {"zero x spacing", with([](Plu& p) { p.umPerPixelX = 0; }), "x spacing is not a positive"},
      {"negative y spacing", with([](Plu& p) { p.umPerPixelY = -1; }), "y spacing is not"},
      {"infinite x spacing", with([](Plu& p) { p.umPerPixelX = INFINITY; }), "x spacing"},
      {"an intensity image", with([](Plu& p) { p.type = 0; }), "measurement of type 0"},
      {"no date", with([](Plu& p) { p.date = ""; }), "PLU header's date"},
      {"binary junk", std::string(600, '\x01'), "PLU header's date"},
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
