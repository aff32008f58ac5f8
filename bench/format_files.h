#pragma once

// Instrument files for bench/bench_formats.cpp: one 2048 x 2048 measurement written in each
// binary format Corvane reads, made once per run in the temporary folder. The surface is a slow
// undulation (0.8 µm) with a slight tilt and a fine random texture (±15 nm); 3 % of its points,
// drawn at random, are not measured, marked as each format marks them (GWY has no such mark: its
// heights there are 0). The layouts are those the readers in src/formats/*_reader.cpp take.

#include <hdf5.h>
#include <zlib.h>

#include <algorithm>
#include <bit>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <limits>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "scan_generator.h"

namespace corvane::bench {

inline constexpr std::size_t kFormatSide = 2048;
inline constexpr double kFormatStep = 0.5e-6;  // metres between neighbours along x and y

// The heights in metres, row after row, x along a row; NaN where not measured.
inline const std::vector<double>& formatHeights() {
  static const std::vector<double> z = [] {
    std::vector<double> heights(kFormatSide * kFormatSide);
    ScanRandom random(2048);
    constexpr double kTwoPi = 6.283185307179586;
    for (std::size_t r = 0; r < kFormatSide; ++r) {
      for (std::size_t c = 0; c < kFormatSide; ++c) {
        const double x = static_cast<double>(c), y = static_cast<double>(r);
        heights[r * kFormatSide + c] =
            0.8e-6 * std::sin(kTwoPi * x / 700) * std::cos(kTwoPi * y / 900) + 1e-10 * (x - y) +
            30e-9 * random.centred();
        if (random.centred() < -0.47) heights[r * kFormatSide + c] = std::nan("");
      }
    }
    return heights;
  }();
  return z;
}

namespace detail {

// `value` appended to (or stored at `at` in) `bytes`, little- or big-endian.
template <class T>
void put(std::string& bytes, T value, std::endian order = std::endian::little) {
  using Bits = std::conditional_t<
      sizeof(T) == 1, std::uint8_t,
      std::conditional_t<sizeof(T) == 2, std::uint16_t,
                         std::conditional_t<sizeof(T) == 4, std::uint32_t, std::uint64_t>>>;
  const auto bits = std::bit_cast<Bits>(value);
  for (std::size_t k = 0; k < sizeof(T); ++k) {
    const std::size_t shift = 8 * (order == std::endian::little ? k : sizeof(T) - 1 - k);
    bytes += static_cast<char>((bits >> shift) & 0xFF);
  }
}
template <class T>
void putAt(std::string& bytes, std::size_t at, T value, std::endian order = std::endian::little) {
  std::string part;
  put(part, value, order);
  bytes.replace(at, part.size(), part);
}

// A height as a count of `unit`; `hole` where it is not measured.
inline std::int64_t count(double z, double unit, std::int64_t hole) {
  return std::isnan(z) ? hole : std::llround(z / unit);
}

// SDF, binary ISO-1.0: the 81-byte header, int32 counts of 0.1 nm (the least int32 where not
// measured), an empty trailer.
inline std::string sdf() {
  std::string b = "bISO-1.0";
  b += "Bench     010120241200010120241200";
  put<std::uint16_t>(b, kFormatSide);  // NumPoints
  put<std::uint16_t>(b, kFormatSide);  // NumProfiles
  for (const double scale : {kFormatStep, kFormatStep, 1e-10, 1e-10}) put(b, scale);
  b += std::string{'\0', '\6', '\0'};  // Compression 0, DataType 6 (int32), CheckType 0
  for (const double z : formatHeights()) {
    put(b, static_cast<std::int32_t>(count(z, 1e-10, std::numeric_limits<std::int32_t>::min())));
  }
  return b + "*\r\n*\r\n";
}

// Digital Surf, one surface object of int32 counts of 1e-4 µm; zmin − 2 where not measured.
// Compressed: the points as one zlib stream after its directory (count, inflated and zipped
// size).
inline std::string sur(bool compressed) {
  std::vector<std::int32_t> raw;
  raw.reserve(formatHeights().size());
  std::int32_t zmin = std::numeric_limits<std::int32_t>::max();
  for (const double z : formatHeights()) {
    raw.push_back(static_cast<std::int32_t>(count(z, 1e-10, 0)));
    if (!std::isnan(z)) zmin = std::min(zmin, raw.back());
  }
  std::string data;
  for (std::size_t k = 0; k < raw.size(); ++k) {
    put(data, std::isnan(formatHeights()[k]) ? zmin - 2 : raw[k]);
  }
  std::string h(512, '\0');
  h.replace(0, 12, compressed ? "DSCOMPRESSED" : "DIGITAL SURF");
  putAt<std::int16_t>(h, 14, 1);   // objects
  putAt<std::int16_t>(h, 16, 1);   // version
  putAt<std::int16_t>(h, 18, 2);   // a surface
  putAt<std::int16_t>(h, 82, 9);   // an interferometer
  putAt<std::int16_t>(h, 86, 1);   // non-measured points present
  putAt<std::int16_t>(h, 98, 32);  // bits a point
  putAt(h, 100, zmin);
  putAt(h, 108, static_cast<std::int32_t>(kFormatSide));
  putAt(h, 112, static_cast<std::int32_t>(kFormatSide));
  putAt(h, 116, static_cast<std::int32_t>(raw.size()));
  putAt(h, 120, static_cast<float>(kFormatStep * 1e6));
  putAt(h, 124, static_cast<float>(kFormatStep * 1e6));
  putAt(h, 128, 1e-4f);
  for (const std::size_t at : {180, 196, 212}) h.replace(at, 2, "\xB5m");
  if (!compressed) return h + data;
  uLongf size = compressBound(data.size());
  std::string zipped(size, '\0');
  compress(reinterpret_cast<Bytef*>(zipped.data()), &size,
           reinterpret_cast<const Bytef*>(data.data()), data.size());
  zipped.resize(size);
  put<std::uint32_t>(h, 1);
  put(h, static_cast<std::uint32_t>(data.size()));
  put(h, static_cast<std::uint32_t>(zipped.size()));
  return h + zipped;
}

// MetroPro, header format 1 (834 bytes, big-endian), no intensity frames, the phase as int32
// counts (32768 a wave of 632.8 nm, scale factor 0.5); 2147483647 where not measured.
inline std::string metroPro() {
  std::string b(834, '\0');
  const auto big = [&b](std::size_t at, auto value) { putAt(b, at, value, std::endian::big); };
  big(0, std::uint32_t{0x881B036F});
  big(4, std::uint16_t{1});
  big(6, std::uint32_t{834});
  big(10, std::int16_t{1});
  big(68, static_cast<std::uint16_t>(kFormatSide));
  big(70, static_cast<std::uint16_t>(kFormatSide));
  big(76, std::int32_t{1704110400});
  big(164, 0.5f);
  big(168, 632.8e-9f);
  big(176, 1.0f);
  big(184, static_cast<float>(kFormatStep));
  big(218, std::int16_t{1});
  const double unit = 0.5 * static_cast<double>(632.8e-9f) / 32768;
  for (const double z : formatHeights()) {
    put(b, static_cast<std::int32_t>(count(z, unit, 2147483647)), std::endian::big);
  }
  return b;
}

// PLU: the 500-byte header (date, comment, calibration, a topography), the layer's size and its
// float heights in µm; 1000001 where not measured.
inline std::string plu() {
  std::string b(508, '\0');
  b.replace(0, 24, "Mon Jan  1 12:00:00 2024");
  b.replace(132, 6, "(None)");
  const auto side = static_cast<std::uint32_t>(kFormatSide);
  putAt(b, 388, side);
  putAt(b, 392, side);
  putAt(b, 404, static_cast<float>(kFormatStep * 1e6));
  putAt(b, 408, static_cast<float>(kFormatStep * 1e6));
  putAt(b, 428, std::uint32_t{3});
  putAt(b, 500, side);
  putAt(b, 504, side);
  for (const double z : formatHeights()) put(b, std::isnan(z) ? 1000001.0f : float(z * 1e6));
  return b;
}

// OPD: two bytes, the block directory, then the blocks: the heights column after column, each
// from the last row, as floats in waves of 632.8 nm (1e38 where not measured) or as RAW_DATA
// int16 counts of 632.8 nm / Mult 1000 (32767 where not measured).
inline std::string opd(bool int16) {
  struct Block {
    std::string name;
    std::uint16_t type;
    std::string data;
  };
  const auto number = [](auto value) {
    std::string bytes;
    put(bytes, value);
    return bytes;
  };
  const double wave = 632.8e-9, unit = int16 ? wave / 1000 : wave;
  std::string array;
  put(array, static_cast<std::uint16_t>(kFormatSide));
  put(array, static_cast<std::uint16_t>(kFormatSide));
  put(array, static_cast<std::uint16_t>(int16 ? 2 : 4));
  for (std::size_t c = 0; c < kFormatSide; ++c) {
    for (std::size_t r = kFormatSide; r-- > 0;) {
      const double z = formatHeights()[r * kFormatSide + c];
      if (int16) {
        put(array, static_cast<std::int16_t>(count(z, unit, 32767)));
      } else {
        put(array, std::isnan(z) ? 1e38f : static_cast<float>(z / unit));
      }
    }
  }
  std::vector<Block> blocks{{int16 ? "RAW_DATA" : "OPD", 3, std::move(array)},
                            {"Wavelength", 7, number(632.8f)},
                            {"Pixel_size", 7, number(static_cast<float>(kFormatStep * 1e3))},
                            {"Aspect", 7, number(1.0f)},
                            {"Date", 5, "01/01/2024"},
                            {"Time", 5, "12:00:00"}};
  if (int16) blocks.push_back({"Mult", 6, number(std::int16_t{1000})});
  std::string b{'\1', '\0'};
  const auto entry = [&b](const std::string& name, std::uint16_t type, std::size_t length) {
    b += name + std::string(16 - name.size(), '\0');
    put(b, type);
    put(b, static_cast<std::uint32_t>(length));
    put(b, std::uint16_t{0});
  };
  entry("Directory", 1, 24 * (blocks.size() + 1));
  for (const Block& block : blocks) entry(block.name, block.type, block.data.size());
  for (const Block& block : blocks) b += block.data;
  return b;
}

// GWY: a GwyContainer holding channel 0, a GwyDataField of the heights in metres.
inline std::string gwy() {
  const auto component = [](const std::string& name, char type, const std::string& value) {
    return name + '\0' + type + value;
  };
  const auto object = [](const std::string& type, const std::string& components) {
    std::string bytes = type + '\0';
    put(bytes, static_cast<std::uint32_t>(components.size()));
    return bytes + components;
  };
  const auto number = [](auto value) {
    std::string bytes;
    put(bytes, value);
    return bytes;
  };
  const std::string metres = object("GwySIUnit", component("unitstr", 's', std::string("m", 2)));
  std::string data = number(static_cast<std::uint32_t>(formatHeights().size()));
  for (const double z : formatHeights()) put(data, std::isnan(z) ? 0.0 : z);
  const double size = kFormatStep * kFormatSide;
  const std::string field =
      object("GwyDataField",
             component("xres", 'i', number(static_cast<std::int32_t>(kFormatSide))) +
                 component("yres", 'i', number(static_cast<std::int32_t>(kFormatSide))) +
                 component("xreal", 'd', number(size)) + component("yreal", 'd', number(size)) +
                 component("xoff", 'd', number(0.0)) + component("yoff", 'd', number(0.0)) +
                 component("si_unit_xy", 'o', metres) + component("si_unit_z", 'o', metres) +
                 component("data", 'D', data));
  return "GWYP" +
         object("GwyContainer", component("/0/data", 'o', field) +
                                    component("/0/data/title", 's', std::string("Height", 7)));
}

// DATX, written by HDF5's library: the MetaData table leading to /Data/Surface/{S}, a float64
// dataset in µm with its No Data value (the greatest double, where not measured) and its X, Y
// and Z converters. False when the library fails.
inline bool datx(const std::filesystem::path& path) {
  std::vector<hid_t> ids;  // closed in reverse when done
  bool ok = true;
  const auto keep = [&](hid_t id) {
    ok = ok && id >= 0;
    ids.push_back(id);
    return id;
  };
  const auto done = [&] {
    for (auto it = ids.rbegin(); it != ids.rend(); ++it) {
      if (*it >= 0) H5Idec_ref(*it);
    }
    return ok;
  };
  const hid_t file = keep(H5Fcreate(path.c_str(), H5F_ACC_TRUNC, H5P_DEFAULT, H5P_DEFAULT));
  if (!ok) return done();
  keep(H5Gcreate2(file, "Data", H5P_DEFAULT, H5P_DEFAULT, H5P_DEFAULT));
  keep(H5Gcreate2(file, "Data/Surface", H5P_DEFAULT, H5P_DEFAULT, H5P_DEFAULT));
  const hid_t text = keep(H5Tcopy(H5T_C_S1));
  H5Tset_size(text, H5T_VARIABLE);
  const hsize_t one = 1, dims[2] = {kFormatSide, kFormatSide};
  const hid_t scalar = keep(H5Screate_simple(1, &one, nullptr));
  const auto attribute = [&](hid_t on, const char* name, hid_t type, const void* value) {
    const hid_t a = keep(H5Acreate2(on, name, type, scalar, H5P_DEFAULT, H5P_DEFAULT));
    ok = ok && H5Awrite(a, type, value) >= 0;
  };

  const hid_t set = keep(H5Dcreate2(file, "/Data/Surface/{S}", H5T_IEEE_F64LE,
                                    keep(H5Screate_simple(2, dims, nullptr)), H5P_DEFAULT,
                                    H5P_DEFAULT, H5P_DEFAULT));
  std::vector<double> values(formatHeights());
  for (double& z : values) z = std::isnan(z) ? DBL_MAX : z * 1e6;
  ok = ok && H5Dwrite(set, H5T_NATIVE_DOUBLE, H5S_ALL, H5S_ALL, H5P_DEFAULT, values.data()) >= 0;
  const char* micrometres = "MicroMeters";
  attribute(set, "Unit", text, &micrometres);
  const double noData = DBL_MAX;
  attribute(set, "No Data", H5T_NATIVE_DOUBLE, &noData);
  struct Converter {
    const char* category;
    const char* baseUnit;
    hvl_t parameters;
  };
  const hid_t converter = keep(H5Tcreate(H5T_COMPOUND, sizeof(Converter)));
  H5Tinsert(converter, "Category", HOFFSET(Converter, category), text);
  H5Tinsert(converter, "BaseUnit", HOFFSET(Converter, baseUnit), text);
  H5Tinsert(converter, "Parameters", HOFFSET(Converter, parameters),
            keep(H5Tvlen_create(H5T_NATIVE_DOUBLE)));
  double lateral[4] = {0, kFormatStep, 0, 0}, height[4] = {0, 632.8e-9, 0.5, 1};
  const Converter x{"LateralCat", "Pixels", {4, lateral}}, z{"HeightCat", micrometres, {4, height}};
  attribute(set, "X Converter", converter, &x);
  attribute(set, "Y Converter", converter, &x);
  attribute(set, "Z Converter", converter, &z);

  struct Link {
    const char *source, *link, *destination;
  };
  const hid_t link = keep(H5Tcreate(H5T_COMPOUND, sizeof(Link)));
  H5Tinsert(link, "Source", HOFFSET(Link, source), text);
  H5Tinsert(link, "Link", HOFFSET(Link, link), text);
  H5Tinsert(link, "Destination", HOFFSET(Link, destination), text);
  const Link links[] = {{"Root", "Measurement", "{M}"},
                        {"{M}", "Surface", "{S}"},
                        {"{S}", "Path", "/Data/Surface/{S}"}};
  const hsize_t rows = std::size(links);
  const hid_t table =
      keep(H5Dcreate2(file, "MetaData", link, keep(H5Screate_simple(1, &rows, nullptr)),
                      H5P_DEFAULT, H5P_DEFAULT, H5P_DEFAULT));
  ok = ok && H5Dwrite(table, link, H5S_ALL, H5S_ALL, H5P_DEFAULT, links) >= 0;
  return done();
}

inline bool writeBytes(const std::filesystem::path& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  return static_cast<bool>(out.write(bytes.data(), static_cast<std::streamsize>(bytes.size())));
}

}  // namespace detail

// The files made, by their label: "sdf", "sur", "sur_compressed", "metropro", "datx", "plu",
// "opd_float", "opd_int16", "gwy".
struct FormatFile {
  std::string_view label;
  std::string_view format;  // the name of its format in instrumentFormats()
  std::string_view extension;
};

inline constexpr FormatFile kFormatFiles[] = {{"sdf", "sdf", ".sdf"},
                                              {"sur", "sur", ".sur"},
                                              {"sur_compressed", "sur", ".sur"},
                                              {"metropro", "metropro", ".dat"},
                                              {"datx", "datx", ".datx"},
                                              {"plu", "plu", ".plu"},
                                              {"opd_float", "opd", ".opd"},
                                              {"opd_int16", "opd", ".opd"},
                                              {"gwy", "gwy", ".gwy"}};

inline std::filesystem::path formatFilePath(const FormatFile& file) {
  return std::filesystem::temp_directory_path() /
         ("corvane-bench-2048-" + std::string(file.label) + std::string(file.extension));
}

// Writes every file of kFormatFiles once per run; false when one could not be written.
inline bool makeFormatFiles() {
  static const bool made = [] {
    bool ok = true;
    for (const FormatFile& file : kFormatFiles) {
      const std::filesystem::path path = formatFilePath(file);
      const std::string_view l = file.label;
      if (l == "datx") {
        ok = detail::datx(path) && ok;
        continue;
      }
      const std::string bytes = l == "sdf"              ? detail::sdf()
                                : l == "sur"            ? detail::sur(false)
                                : l == "sur_compressed" ? detail::sur(true)
                                : l == "metropro"       ? detail::metroPro()
                                : l == "plu"            ? detail::plu()
                                : l == "opd_float"      ? detail::opd(false)
                                : l == "opd_int16"      ? detail::opd(true)
                                                        : detail::gwy();
      ok = detail::writeBytes(path, bytes) && ok;
    }
    return ok;
  }();
  return made;
}

}  // namespace corvane::bench
