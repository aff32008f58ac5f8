// Zygo MetroPro .dat files: the shared real file against its header read by hand, files made
// here in header formats 1, 2 and 3 with each phase resolution, and broken files refused with
// their reason.

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "data/point_list.h"
#include "formats/instrument_file.h"

namespace corvane {
namespace {

const InstrumentFormat& metroPro() {
  for (const InstrumentFormat& format : instrumentFormats()) {
    if (format.name == "metropro") return format;
  }
  throw std::logic_error("no metropro format");
}

// Stores `value` big-endian at `offset`.
template <class T>
void putBig(std::string& bytes, std::size_t offset, T value) {
  using Bits = std::conditional_t<sizeof(T) == 2, std::uint16_t, std::uint32_t>;
  auto bits = std::bit_cast<Bits>(value);
  for (std::size_t i = sizeof(T); i-- > 0; bits = static_cast<Bits>(bits >> 8)) {
    bytes[offset + i] = static_cast<char>(bits & 0xFF);
  }
}

// A MetroPro file as the format lays it out: header, intensity frames, phase.
struct Dat {
  int format = 1;
  std::uint32_t headerSize = 0;  // 0: the format's own
  int headerFormat = 0;          // 0: the format's own
  std::uint16_t columns = 3, rows = 2;
  std::int16_t originX = 5, originY = 7;
  std::uint16_t buckets = 0, acWidth = 0, acHeight = 0;
  std::int16_t phaseRes = 0, sign = 0;
  float scale = 0.5f, wavelength = 632.8e-9f, obliquity = 1.0f, lateral = 2e-6f;
  std::int32_t timeStamp = 0;
  std::vector<std::int32_t> phase = {0, 1000, -2000, 2147483640, 2147483647, 77};
};

std::string bytesOf(const Dat& d) {
  const std::uint32_t size = d.format == 3 ? 4096 : 834;
  std::string bytes(size, '\0');
  putBig<std::uint32_t>(bytes, 0, 0x881B036E + static_cast<std::uint32_t>(d.format));
  putBig<std::uint16_t>(bytes, 4,
                        static_cast<std::uint16_t>(d.headerFormat ? d.headerFormat : d.format));
  putBig<std::uint32_t>(bytes, 6, d.headerSize ? d.headerSize : size);
  putBig<std::int16_t>(bytes, 10, 1);  // MetroPro
  putBig<std::int16_t>(bytes, 42, 9);
  putBig<std::int16_t>(bytes, 44, 1);
  putBig<std::int16_t>(bytes, 46, 4);
  putBig<std::uint16_t>(bytes, 52, d.acWidth);
  putBig<std::uint16_t>(bytes, 54, d.acHeight);
  putBig<std::uint16_t>(bytes, 56, d.buckets);
  putBig<std::int16_t>(bytes, 64, d.originX);
  putBig<std::int16_t>(bytes, 66, d.originY);
  putBig<std::uint16_t>(bytes, 68, d.columns);
  putBig<std::uint16_t>(bytes, 70, d.rows);
  putBig<std::int32_t>(bytes, 76, d.timeStamp);
  bytes.replace(80, 10, "made here ");
  putBig<float>(bytes, 164, d.scale);
  putBig<float>(bytes, 168, d.wavelength);
  putBig<float>(bytes, 176, d.obliquity);
  putBig<float>(bytes, 184, d.lateral);
  putBig<std::int16_t>(bytes, 218, d.phaseRes);
  putBig<std::int16_t>(bytes, 232, d.sign);
  putBig<std::uint16_t>(bytes, 242, 4321);
  bytes.append(std::size_t{2} * d.buckets * d.acWidth * d.acHeight, '\x11');
  for (const std::int32_t value : d.phase) {
    bytes.append(4, '\0');
    putBig<std::int32_t>(bytes, bytes.size() - 4, value);
  }
  return bytes;
}

InstrumentRead readBytes(const std::string& bytes, PointList& list, int limit = kMaxListPoints) {
  return readInstrumentBytes(bytes, metroPro(), list, LengthUnit::Micrometre, limit);
}

TEST(MetroPro, SharedFileAsItsHeaderSays) {
  // Read by hand with python struct: magic '>I' at 0 = 0x881B036F, header format 1 of 834
  // bytes; intensity 1 frame of 640 x 480 ('>H' at 56, 52, 54); phase '>H' at 68, 70 = 425 x
  // 432 from origin '>h' at 64, 66 = (139, 38); lateral_res '>f' at 184 = 1.1792420264100656e-4
  // m; intf_scale_factor 0.5, obliquity 1 and wavelength_in 6.327999813038332e-07 ('>f' at 164,
  // 176, 168); phase_res '>h' at 218 = 1 (32768 counts a wave); sign 0; time_stamp '>i' at 76 =
  // 1429905292; software 8.3.5 ('>h' at 42..46), sys_serial '>H' at 242 = 62398. The phase
  // ('>i', from 834 + 614400) holds 47241 values of 2147483640; row 0's first measured one is
  // column 194 (-4105), row 100's is column 50 (-19030).
  const auto path = std::filesystem::path(CORVANE_FORMATS_DIR) / "metropro_phase.dat";
  const InstrumentFormat* format = instrumentFormatOf(path);
  ASSERT_NE(format, nullptr);
  EXPECT_EQ(format->name, "metropro");
  PointList list;
  const InstrumentRead read =
      readInstrumentFile(path, *format, list, LengthUnit::Micrometre, kMaxListPoints);
  ASSERT_TRUE(read.ok) << read.error;
  const MeasurementInfo& m = read.measurement;
  EXPECT_EQ(m.size, (std::array<std::uint64_t, 2>{425, 432}));
  EXPECT_EQ(m.nonMeasured, 47241u);
  EXPECT_EQ(m.date, "2015-04-24T19:54:52Z");
  EXPECT_EQ(m.instrument, "MetroPro 8.3.5, serial number 62398");
  EXPECT_EQ(m.comment, "");
  EXPECT_EQ(m.unitInFile, "m");

  const auto points = list.points();
  ASSERT_EQ(points.size(), 425u * 432u);
  const double lateral = 1.1792420264100656e-4 * 1e6;                    // µm
  const double count = 0.5 * 1.0 * 6.327999813038332e-07 / 32768 * 1e6;  // µm per phase count
  EXPECT_DOUBLE_EQ(points[0].x, 139 * lateral);
  EXPECT_DOUBLE_EQ(points[0].y, 38 * lateral);
  EXPECT_DOUBLE_EQ(points[1].x - points[0].x, lateral);
  EXPECT_DOUBLE_EQ(points[425].y - points[0].y, lateral);
  EXPECT_TRUE(std::isnan(points[193].z));
  EXPECT_DOUBLE_EQ(points[194].z, -4105 * count);
  EXPECT_DOUBLE_EQ(points[100 * 425 + 50].z, -19030 * count);
  EXPECT_DOUBLE_EQ(points[100 * 425 + 50].y, (38 + 100) * lateral);
}

TEST(MetroPro, HeaderFormatsPhaseResolutionsAndIntensity) {
  const double wavelength = 632.8e-9f;
  for (int format = 1; format <= 3; ++format) {
    for (std::int16_t phaseRes = 0; phaseRes <= 2; ++phaseRes) {
      SCOPED_TRACE("format " + std::to_string(format) + ", phase_res " + std::to_string(phaseRes));
      Dat dat;
      dat.format = format;
      dat.phaseRes = phaseRes;
      dat.sign = format == 2 ? 1 : 0;  // inverted data
      if (phaseRes != 1) dat.buckets = 2, dat.acWidth = 4, dat.acHeight = 3;
      dat.timeStamp = 86400 + 3661;
      PointList list;
      const InstrumentRead read = readBytes(bytesOf(dat), list);
      ASSERT_TRUE(read.ok) << read.error;
      EXPECT_EQ(read.measurement.size, (std::array<std::uint64_t, 2>{3, 2}));
      EXPECT_EQ(read.measurement.nonMeasured, 2u);
      EXPECT_EQ(read.measurement.date, "1970-01-02T01:01:01Z");
      EXPECT_EQ(read.measurement.instrument, "MetroPro 9.1.4, serial number 4321");
      EXPECT_EQ(read.measurement.comment, "made here");
      const double counts = phaseRes == 0 ? 4096 : phaseRes == 1 ? 32768 : 131072;
      const double um = (format == 2 ? -1 : 1) * 0.5 * wavelength / counts * 1e6;
      const auto p = list.points();
      const double dx = double{2e-6f} * 1e6;
      // Row 0: 0, 1000, -2000; row 1: invalid, invalid, 77; x along a row, rows down in y.
      EXPECT_DOUBLE_EQ(p[0].x, 5 * dx);
      EXPECT_DOUBLE_EQ(p[0].y, 7 * dx);
      EXPECT_DOUBLE_EQ(p[1].x, 6 * dx);
      EXPECT_DOUBLE_EQ(p[1].y, 7 * dx);
      EXPECT_DOUBLE_EQ(p[3].y, 8 * dx);
      EXPECT_DOUBLE_EQ(p[1].z, 1000 * um);
      EXPECT_DOUBLE_EQ(p[2].z, -2000 * um);
      EXPECT_TRUE(std::isnan(p[3].z));
      EXPECT_TRUE(std::isnan(p[4].z));
      EXPECT_DOUBLE_EQ(p[5].z, 77 * um);
    }
  }
}

TEST(MetroPro, BrokenFilesRefusedWithTheirReason) {
  struct Case {
    const char* name;
    std::string bytes;
    std::string diagnosis;
    int limit = kMaxListPoints;
  };
  const auto with = [](auto change) {
    Dat dat;
    change(dat);
    return bytesOf(dat);
  };
  const std::string whole = bytesOf(Dat{});
  std::vector<Case> cases = {
      {"a phase cut short", whole.substr(0, whole.size() - 1),
       "the header says 0 bytes of intensity and 24 bytes of phase follow it, but the file holds "
       "23"},
      {"intensity frames missing",
       with([](Dat& d) { d.buckets = 1, d.acWidth = 640, d.acHeight = 480; }).substr(0, 834 + 10),
       "the header says 614400 bytes of intensity"},
      {"a header cut short", whole.substr(0, 500), "the file ends inside its 834-byte header"},
      {"a header size not the format's", with([](Dat& d) { d.headerSize = 900; }),
       "the header says it is 900 bytes long; a format-1 header is 834"},
      {"a header format not the magic number's", with([](Dat& d) { d.headerFormat = 2; }),
       "the header format 2 is not the format 1 its magic number announces"},
      {"a grid beyond the limit, with no data",
       with([](Dat& d) { d.columns = d.rows = 65535, d.phase.clear(); }),
       "holds more than the 268435456 points"},
      {"a grid beyond a small limit", whole, "holds more than the 5 points", 5},
      {"zero lateral resolution", with([](Dat& d) { d.lateral = 0; }),
       "the file's x spacing is not a positive number"},
      {"an unknown phase resolution", with([](Dat& d) { d.phaseRes = 3; }),
       "the phase resolution code 3 is none of 0, 1 and 2"},
      {"no phase", with([](Dat& d) { d.columns = 0, d.phase.clear(); }),
       "the file holds no phase data (its phase grid is 0 x 2 points)"},
      {"zero wavelength", with([](Dat& d) { d.wavelength = 0; }), "give no height scale"},
      {"no magic number", std::string(900, 'x'),
       "the file does not start with a MetroPro magic number"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    PointList list;
    const InstrumentRead read = readBytes(c.bytes, list, c.limit);
    EXPECT_FALSE(read.ok);
    EXPECT_NE(read.error.find(c.diagnosis), std::string::npos) << read.error;
  }
  EXPECT_TRUE(metroPro().signature(whole.substr(0, 4)));
  EXPECT_FALSE(metroPro().signature(std::string("\x88\x1b\x03\x72", 4)));
}

}  // namespace
}  // namespace corvane
