// Digital Surf SUR/PRO files: the two real files, read as their bytes say; files made here in
// each variant (16- and 32-bit points, a zlib stream, several objects, heights that are no
// length); and the bad files, each refused with its reason.

#include <gtest/gtest.h>
#include <zlib.h>

#include <array>
#include <bit>
#include <cmath>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <type_traits>
#include <vector>

#include "data/point_list.h"
#include "formats/instrument_file.h"

namespace corvane {
namespace {

const InstrumentFormat& surFormat() {
  for (const InstrumentFormat& format : instrumentFormats()) {
    if (format.name == "sur") return format;
  }
  throw std::logic_error("no sur format");
}

InstrumentRead readBytes(const std::string& bytes, PointList& list, int limit = 1 << 20) {
  return readInstrumentBytes(bytes, surFormat(), list, LengthUnit::Micrometre, limit);
}

template <class T>
void put(std::string& bytes, std::size_t at, T value) {
  using Bits = std::conditional_t<sizeof(T) == 2, std::uint16_t, std::uint32_t>;
  auto bits = std::bit_cast<Bits>(value);
  for (std::size_t k = 0; k < sizeof(T); ++k, bits >>= 8) bytes[at + k] = char(bits & 0xFF);
}

// One object as the format lays it out: the 512-byte header, the comment, the points.
struct Object {
  bool compressed = false;
  std::int16_t type = 2, bits = 32, special = 0;
  std::int32_t zmin = 0, columns = 3, rows = 2, total = 6;
  float dx = 0.5f, dy = 0.25f, dz = 0.01f, z0 = 0.5f;
  std::string xUnit = "mm", yUnit = "mm", zUnit = "\xB5m";  // Latin-1 micro sign
  std::array<std::int16_t, 6> when{5, 4, 3, 2, 1, 2024};    // s, min, h, day, month, year
  std::string comment;
  std::vector<std::int32_t> raw{1, 2, 3, -4, 5, 6};
};

std::string bytesOf(const Object& o) {
  std::string h(512, '\0');
  h.replace(0, 12, o.compressed ? "DSCOMPRESSED" : "DIGITAL SURF");
  put<std::int16_t>(h, 14, 1);  // objects
  put<std::int16_t>(h, 16, 1);  // version
  put(h, 18, o.type);
  put(h, 86, o.special);
  put(h, 98, o.bits);
  put(h, 100, o.zmin);
  put(h, 108, o.columns);
  put(h, 112, o.rows);
  put(h, 116, o.total);
  put(h, 120, o.dx);
  put(h, 124, o.dy);
  put(h, 128, o.dz);
  h.replace(180, o.xUnit.size(), o.xUnit);
  h.replace(196, o.yUnit.size(), o.yUnit);
  h.replace(212, o.zUnit.size(), o.zUnit);
  for (std::size_t k = 0; k < 6; ++k) put(h, 306 + 2 * k, o.when[k]);
  put(h, 334, static_cast<std::int16_t>(o.comment.size()));
  put(h, 474, o.z0);
  std::string data;
  for (const std::int32_t v : o.raw) {
    data += std::string(o.bits == 16 ? 2 : 4, '\0');
    if (o.bits == 16) {
      put(data, data.size() - 2, static_cast<std::int16_t>(v));
    } else {
      put(data, data.size() - 4, v);
    }
  }
  if (o.compressed) {
    uLongf size = compressBound(data.size());
    std::string zipped(size, '\0');
    compress(reinterpret_cast<Bytef*>(zipped.data()), &size,
             reinterpret_cast<const Bytef*>(data.data()), data.size());
    zipped.resize(size);
    std::string directory(12, '\0');
    put<std::uint32_t>(directory, 0, 1);
    put(directory, 4, static_cast<std::uint32_t>(data.size()));
    put(directory, 8, static_cast<std::uint32_t>(zipped.size()));
    data = directory + zipped;
  }
  return h + o.comment + data;
}

std::vector<double> heights(const PointList& list) {
  std::vector<double> z;
  for (const Point& p : list.points()) z.push_back(p.z);
  return z;
}

void expectHeights(const std::vector<double>& got, const std::vector<double>& want) {
  ASSERT_EQ(got.size(), want.size());
  for (std::size_t k = 0; k < want.size(); ++k) {
    if (std::isnan(want[k])) {
      EXPECT_TRUE(std::isnan(got[k])) << "point " << k;
    } else {
      EXPECT_NEAR(got[k], want[k], 1e-6 * std::max(1.0, std::fabs(want[k]))) << "point " << k;
    }
  }
}

// Values read with python's struct from the files' bytes: the header fields at their offsets
// (points per line at 108, lines at 112, x spacing at 120, z spacing at 128, units at 180..,
// z offset at 474), the points after the 512-byte header (inflated with zlib for the profile:
// one stream, 512 bytes from 510), height = raw · z spacing + z offset.
TEST(SurFile, RealFilesReadAsTheirBytesSay) {
  PointList list;
  InstrumentRead read =
      readInstrumentFile(CORVANE_FORMATS_DIR "/sur_surface_nonmeasured.sur", surFormat(), list,
                         LengthUnit::Micrometre, kMaxListPoints);
  ASSERT_TRUE(read.ok) << read.error;
  EXPECT_EQ(read.measurement.size, (std::array<std::uint64_t, 2>{563, 484}));
  EXPECT_EQ(read.measurement.nonMeasured, 117u);  // raw 89118 = zmin 89120 − 2, counted by hand
  EXPECT_EQ(read.measurement.unitInFile, "mm");
  EXPECT_EQ(read.measurement.date, "");  // the date fields are all 0
  const auto p = list.points();
  const double dx = 3.4840002190321684, dz = 1.0000000116860974e-4;  // µm
  EXPECT_NEAR(p[0].z, 101477 * dz, 1e-9);
  EXPECT_NEAR(p[100 * 563 + 200].z, 101663 * dz, 1e-9);
  EXPECT_NEAR(p[100 * 563 + 200].x - p[100 * 563].x, 200 * dx, 1e-6);
  EXPECT_NEAR(p[100 * 563].y - p[0].y, 100 * dx, 1e-6);  // y spacing equals x spacing
  EXPECT_TRUE(std::isnan(p[301].z));                     // the first raw 89118
  EXPECT_TRUE(std::isnan(p[563 * 484 - 1].z));

  read = readInstrumentFile(CORVANE_FORMATS_DIR "/sur_profile_compressed.pro", surFormat(), list,
                            LengthUnit::Micrometre, kMaxListPoints);
  ASSERT_TRUE(read.ok) << read.error;
  EXPECT_EQ(read.measurement.size, (std::array<std::uint64_t, 2>{128, 1}));
  EXPECT_EQ(read.measurement.unitInFile, "a.u.");  // CL intensity: kept as it stands
  EXPECT_NEAR(list.points()[1].x - list.points()[0].x, 8.252197585534304e-2, 1e-9);
  EXPECT_EQ(list.points()[0].x, 0.0);
  // Raw 4671094, 1453711 · 9.999999747e-6 + 229.931640625.
  EXPECT_NEAR(list.points()[0].z, 276.6425794449824, 1e-6);
  EXPECT_NEAR(list.points()[1].z, 244.4687502577617, 1e-6);
}

TEST(SurFile, EveryVariantMadeHere) {
  struct Case {
    const char* name;
    std::vector<Object> objects;
    std::vector<double> z;  // µm, or as they stand for heights that are no length
    std::string unit, comment;
  };
  Object plain;
  plain.comment = "made here \xB5";
  Object short16 = plain;  // 16-bit points, nm, zmin − 2 = −5 marks the hole
  short16.bits = 16;
  short16.special = 1;
  short16.zmin = -3;
  short16.zUnit = "nm";
  short16.dz = 2;
  short16.z0 = 0;
  short16.raw = {1, -5, 3, -3, 5, 6};
  Object zipped = plain;
  zipped.compressed = true;
  Object rgb;  // an RGB layer first, passed over; the surface after it says no comment
  rgb.type = 12;
  rgb.bits = 16;
  rgb.columns = rgb.rows = 2;
  rgb.total = 4;
  rgb.raw = {255, 0, 7, 9};
  rgb.comment = "first";
  Object profile = plain;  // heights that are no length, and a profile's y unit unsaid
  profile.type = 1;
  profile.rows = 1;
  profile.total = profile.columns = 4;
  profile.raw = {10, 20, 30, 40};
  profile.zUnit = "a.u.";
  profile.yUnit = "";
  Object second = plain;
  second.comment = "";
  const std::vector<Case> cases{
      {"32-bit", {plain}, {0.51, 0.52, 0.53, 0.46, 0.55, 0.56}, "um", "made here \xC2\xB5"},
      {"16-bit with a hole",
       {short16},
       {0.002, NAN, 0.006, -0.006, 0.010, 0.012},
       "nm",
       "made here \xC2\xB5"},
      {"compressed", {zipped}, {0.51, 0.52, 0.53, 0.46, 0.55, 0.56}, "um", "made here \xC2\xB5"},
      {"RGB layer first", {rgb, second}, {0.51, 0.52, 0.53, 0.46, 0.55, 0.56}, "um", "first"},
      {"intensity profile", {profile}, {0.6, 0.7, 0.8, 0.9}, "a.u.", "made here \xC2\xB5"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::string bytes;
    for (const Object& o : c.objects) bytes += bytesOf(o);
    PointList list;
    const InstrumentRead read = readBytes(bytes, list);
    ASSERT_TRUE(read.ok) << read.error;
    expectHeights(heights(list), c.z);
    EXPECT_EQ(read.measurement.unitInFile, c.unit);
    EXPECT_EQ(read.measurement.comment, c.comment);
    EXPECT_EQ(read.measurement.date, "2024-01-02 03:04:05");
    EXPECT_DOUBLE_EQ(list.points()[1].x - list.points()[0].x, 500.0);  // 0.5 mm
    if (c.z.size() == 6) {
      EXPECT_DOUBLE_EQ(list.points()[3].y - list.points()[0].y, 250.0);
    }
  }
}

TEST(SurFile, BadFilesRefusedWithTheirReason) {
  struct Case {
    const char* name;
    std::string bytes;
    std::string diagnosis;
    int limit = 1 << 20;
  };
  const auto with = [](auto change) {
    Object o;
    change(o);
    return bytesOf(o);
  };
  const std::string plain = bytesOf(Object{});
  // A stream of 7 points where the header's grid needs 6, and its directory saying 6.
  std::string beyond = with([](Object& o) {
    o.compressed = true;
    o.raw.push_back(7);
  });
  put<std::uint32_t>(beyond, 512 + 4, 24);
  std::string shorter = with([](Object& o) {
    o.compressed = true;
    o.raw.pop_back();
  });
  put<std::uint32_t>(shorter, 512 + 4, 24);
  const std::string zipped = with([](Object& o) { o.compressed = true; });
  std::string damaged = zipped;
  damaged.replace(512 + 12 + 2, 4, "\xFF\xFF\xFF\xFF");  // past the stream's 2-byte zlib header
  const std::vector<Case> cases{
      {"file shorter than its points", plain.substr(0, plain.size() - 1), "ends before"},
      {"file shorter than its header", plain.substr(0, 300), "ends inside a 512-byte"},
      {"sizes whose product overflows", with([](Object& o) {
         o.columns = o.rows = 0x7FFFFFFF;
         o.total = 1;
       }),
       "holds more than"},
      {"more points than the limit", plain, "more than the 5 points", 5},
      {"negative size", with([](Object& o) { o.rows = -2; }), "-2 lines"},
      {"total that is not the grid's", with([](Object& o) { o.total = 7; }), "7 points in all"},
      {"stream inflating beyond its size", beyond, "inflates beyond the 24 bytes"},
      {"stream inflating to less", shorter, "inflates to 20 bytes but declares 24"},
      {"stream cut short", zipped.substr(0, zipped.size() - 3), "ends before"},
      {"damaged stream", damaged, "damaged or ends early"},
      {"zero x spacing", with([](Object& o) { o.dx = 0; }), "x spacing is not a positive"},
      {"negative y spacing", with([](Object& o) { o.dy = -1; }), "y spacing is not a positive"},
      {"NaN x spacing", with([](Object& o) { o.dx = NAN; }), "x spacing is not a positive"},
      {"x unit no length", with([](Object& o) { o.xUnit = "s"; }), "x unit 's' is no length"},
      {"8-bit points", with([](Object& o) { o.bits = 8; }), "8 bits; 16 or 32"},
      {"only an RGB layer", with([](Object& o) { o.type = 12; }), "no surface or profile"},
      {"no signature", std::string(600, 'x'), "Digital Surf signature"},
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
