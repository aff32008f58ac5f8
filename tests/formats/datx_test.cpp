// Zygo Mx .datx files: the shared real file against what h5dump shows of it, containers made
// here with HDF5's own C library, files that are no DATX, and copies of the real file with
// bytes of its metadata flipped, which the library may crash or hang on: each must end in the
// grid or in a one-line refusal. And the child process the reading runs in, on its own.

#include <gtest/gtest.h>
#include <hdf5.h>
#include <signal.h>

#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "data/point_list.h"
#include "formats/child_process.h"
#include "formats/instrument_file.h"

namespace corvane {
namespace {

const InstrumentFormat& datx() {
  for (const InstrumentFormat& format : instrumentFormats()) {
    if (format.name == "datx") return format;
  }
  throw std::logic_error("no datx format");
}

InstrumentRead readBytes(const std::string& bytes, PointList& list) {
  return readInstrumentBytes(bytes, datx(), list, LengthUnit::Micrometre, kMaxListPoints);
}

const std::filesystem::path& sharedFile() {
  static const auto path = std::filesystem::path(CORVANE_FORMATS_DIR) / "datx_surface.datx";
  return path;
}

std::string fileBytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

// HDF5 identifiers made by a test, closed in reverse order when it ends.
class Ids {
 public:
  ~Ids() {
    for (auto it = ids_.rbegin(); it != ids_.rend(); ++it) it->second(it->first);
  }
  hid_t operator()(hid_t id, herr_t (*close)(hid_t)) {
    if (id < 0) throw std::runtime_error("an HDF5 call failed");
    ids_.emplace_back(id, close);
    return id;
  }

 private:
  std::vector<std::pair<hid_t, herr_t (*)(hid_t)>> ids_;
};

// A DATX container as Mx writes it (the parts Corvane reads), made in memory.
struct Surface {
  hsize_t rows = 2, columns = 3;
  std::vector<double> values = {1, 2, 3, 4, -1, 6};
  bool single = false;  // 32-bit floats
  std::string unit = "NanoMeters";
  double noData = -1;
  double dx = 2e-6, dy = 3e-6;
  bool metaData = true, surface = true, converters = true;
  std::int64_t time = 1647433367;
  std::string comment = "made here";
};

struct Converter {
  const char* category;
  const char* baseUnit;
  hvl_t parameters;
};

struct Link {
  const char* source;
  const char* link;
  const char* destination;
};

struct TimeStamp {
  std::int64_t time;
  std::uint16_t millitm;
  std::int16_t timezone, dstflag;
};

struct Coordinates {
  std::int32_t rowStart, columnStart, width, height;
};

hid_t textType(Ids& ids) {
  const hid_t type = ids(H5Tcopy(H5T_C_S1), H5Tclose);
  H5Tset_size(type, H5T_VARIABLE);
  return type;
}

void attribute(Ids& ids, hid_t object, const char* name, hid_t type, const void* value) {
  const hsize_t one = 1;
  const hid_t space = ids(H5Screate_simple(1, &one, nullptr), H5Sclose);
  const hid_t a = ids(H5Acreate2(object, name, type, space, H5P_DEFAULT, H5P_DEFAULT), H5Aclose);
  H5Awrite(a, type, value);
}

void textAttribute(Ids& ids, hid_t object, const char* name, const std::string& value) {
  const char* text = value.c_str();
  attribute(ids, object, name, textType(ids), &text);
}

std::string datxBytes(const Surface& s) {
  Ids ids;
  const hid_t access = ids(H5Pcreate(H5P_FILE_ACCESS), H5Pclose);
  H5Pset_fapl_core(access, 1 << 16, false);
  const hid_t file = ids(H5Fcreate("made.datx", H5F_ACC_TRUNC, H5P_DEFAULT, access), H5Fclose);
  const hid_t data = ids(H5Gcreate2(file, "Data", H5P_DEFAULT, H5P_DEFAULT, H5P_DEFAULT), H5Gclose);
  ids(H5Gcreate2(data, "Surface", H5P_DEFAULT, H5P_DEFAULT, H5P_DEFAULT), H5Gclose);
  const hid_t attributes =
      ids(H5Gcreate2(file, "Attributes", H5P_DEFAULT, H5P_DEFAULT, H5P_DEFAULT), H5Gclose);
  const hid_t words =
      ids(H5Gcreate2(attributes, "{A}", H5P_DEFAULT, H5P_DEFAULT, H5P_DEFAULT), H5Gclose);
  const hid_t text = textType(ids);
  if (s.surface) {
    const hsize_t dims[2] = {s.rows, s.columns};
    const hid_t space = ids(H5Screate_simple(2, dims, nullptr), H5Sclose);
    const hid_t set =
        ids(H5Dcreate2(file, "/Data/Surface/{S}", s.single ? H5T_IEEE_F32LE : H5T_IEEE_F64LE, space,
                       H5P_DEFAULT, H5P_DEFAULT, H5P_DEFAULT),
            H5Dclose);
    H5Dwrite(set, H5T_NATIVE_DOUBLE, H5S_ALL, H5S_ALL, H5P_DEFAULT, s.values.data());
    textAttribute(ids, set, "Unit", s.unit);
    attribute(ids, set, "No Data", H5T_NATIVE_DOUBLE, &s.noData);
    if (s.converters) {
      const hid_t converter = ids(H5Tcreate(H5T_COMPOUND, sizeof(Converter)), H5Tclose);
      H5Tinsert(converter, "Category", HOFFSET(Converter, category), text);
      H5Tinsert(converter, "BaseUnit", HOFFSET(Converter, baseUnit), text);
      H5Tinsert(converter, "Parameters", HOFFSET(Converter, parameters),
                ids(H5Tvlen_create(H5T_NATIVE_DOUBLE), H5Tclose));
      double x[4] = {0, s.dx, 0, 0}, y[4] = {0, s.dy, 0, 0}, z[4] = {0, 632.8e-9, 0.5, 1};
      const Converter xc{"LateralCat", "Pixels", {4, x}}, yc{"LateralCat", "Pixels", {4, y}};
      const Converter zc{"HeightCat", s.unit.c_str(), {4, z}};
      attribute(ids, set, "X Converter", converter, &xc);
      attribute(ids, set, "Y Converter", converter, &yc);
      attribute(ids, set, "Z Converter", converter, &zc);
    }
    const hid_t place = ids(H5Tcreate(H5T_COMPOUND, sizeof(Coordinates)), H5Tclose);
    H5Tinsert(place, "RowStart", HOFFSET(Coordinates, rowStart), H5T_NATIVE_INT32);
    H5Tinsert(place, "ColumnStart", HOFFSET(Coordinates, columnStart), H5T_NATIVE_INT32);
    H5Tinsert(place, "Width", HOFFSET(Coordinates, width), H5T_NATIVE_INT32);
    H5Tinsert(place, "Height", HOFFSET(Coordinates, height), H5T_NATIVE_INT32);
    const Coordinates coordinates{4, 10, static_cast<std::int32_t>(s.columns),
                                  static_cast<std::int32_t>(s.rows)};
    attribute(ids, set, "Coordinates", place, &coordinates);
  }
  if (s.metaData) {
    const hid_t link = ids(H5Tcreate(H5T_COMPOUND, sizeof(Link)), H5Tclose);
    H5Tinsert(link, "Source", HOFFSET(Link, source), text);
    H5Tinsert(link, "Link", HOFFSET(Link, link), text);
    H5Tinsert(link, "Destination", HOFFSET(Link, destination), text);
    const Link links[] = {{"Root", "Measurement", "{M}"},
                          {"{M}", "Attributes", "/Attributes/{A}"},
                          {"{M}", "Surface", "{S}"},
                          {"{S}", "Path", "/Data/Surface/{S}"}};
    const hsize_t count = std::size(links);
    const hid_t space = ids(H5Screate_simple(1, &count, nullptr), H5Sclose);
    const hid_t table = ids(
        H5Dcreate2(file, "MetaData", link, space, H5P_DEFAULT, H5P_DEFAULT, H5P_DEFAULT), H5Dclose);
    H5Dwrite(table, link, H5S_ALL, H5S_ALL, H5P_DEFAULT, links);
  }
  const std::string prefix = "Data Context.Data Attributes.";
  textAttribute(ids, words, (prefix + "Comment").c_str(), s.comment);
  textAttribute(ids, words, (prefix + "Software Info Name").c_str(), "Mx");
  textAttribute(ids, words, (prefix + "Software Info Version").c_str(), "7.1.0.14");
  textAttribute(ids, words, (prefix + "System Serial Number").c_str(), "42");
  const hid_t stamp = ids(H5Tcreate(H5T_COMPOUND, sizeof(TimeStamp)), H5Tclose);
  H5Tinsert(stamp, "time", HOFFSET(TimeStamp, time), H5T_NATIVE_INT64);
  H5Tinsert(stamp, "millitm", HOFFSET(TimeStamp, millitm), H5T_NATIVE_UINT16);
  H5Tinsert(stamp, "timezone", HOFFSET(TimeStamp, timezone), H5T_NATIVE_INT16);
  H5Tinsert(stamp, "dstflag", HOFFSET(TimeStamp, dstflag), H5T_NATIVE_INT16);
  const TimeStamp time{s.time, 0, 60, 0};
  attribute(ids, words, (prefix + "Time Stamp").c_str(), stamp, &time);

  H5Fflush(file, H5F_SCOPE_GLOBAL);
  const ssize_t size = H5Fget_file_image(file, nullptr, 0);
  std::string bytes(static_cast<std::size_t>(size), '\0');
  H5Fget_file_image(file, bytes.data(), bytes.size());
  return bytes;
}

TEST(Datx, SharedFileAsH5dumpShowsIt) {
  // Read by hand with h5dump (hdf5-tools): /MetaData leads Root → Measurement {0924…} → Surface
  // {1CE2…} → Path /Data/Surface/{1CE20D93-8A91-4847-9CEF-B83B2F42271E}, an H5T_IEEE_F64LE
  // dataset of 259 x 33 (rows, columns); with h5dump -m %.17g: its Unit is "Fringes", No Data
  // 1.7976931348623157e+308 (776 such values), Wavelength 6.3279998130383319e-07,
  // Interferometric Scale Factor 0.5, Obliquity Factor 1, X and Y Converter Parameters (0,
  // 0.0010000000474974513, 0, 0) (single-precision values kept as doubles), Coordinates RowStart
  // 22, ColumnStart 15. Value [0][0] is 0.39611426970205621, [100][10]
  // 0.44758447796813389, [0][32] No Data. The measurement's attributes say MetroPro 8.3.3, GPI,
  // serial number 651365, an empty comment and a Time Stamp of 719529 s (1970-01-09, a
  // placeholder, so no date).
  const InstrumentFormat* format = instrumentFormatOf(sharedFile());
  ASSERT_NE(format, nullptr);
  EXPECT_EQ(format->name, "datx");
  PointList list;
  const InstrumentRead read =
      readInstrumentFile(sharedFile(), *format, list, LengthUnit::Micrometre, kMaxListPoints);
  ASSERT_TRUE(read.ok) << read.error;
  const MeasurementInfo& m = read.measurement;
  EXPECT_EQ(m.size, (std::array<std::uint64_t, 2>{33, 259}));
  EXPECT_EQ(m.nonMeasured, 776u);
  EXPECT_EQ(m.unitInFile, "Fringes");
  EXPECT_EQ(m.instrument, "MetroPro 8.3.3, GPI, serial number 651365");
  EXPECT_EQ(m.date, "");
  EXPECT_EQ(m.comment, "");
  const auto p = list.points();
  const double fringe = 6.3279998130383319e-07 * 0.5 * 1.0 * 1e6;  // µm
  const double pixel = 0.0010000000474974513 * 1e6;                // µm
  EXPECT_DOUBLE_EQ(p[0].x, 15 * pixel);
  EXPECT_DOUBLE_EQ(p[0].y, 22 * pixel);
  EXPECT_DOUBLE_EQ(p[1].x - p[0].x, pixel);
  EXPECT_DOUBLE_EQ(p[33].y - p[0].y, pixel);
  EXPECT_DOUBLE_EQ(p[0].z, 0.39611426970205621 * fringe);
  EXPECT_DOUBLE_EQ(p[100 * 33 + 10].z, 0.44758447796813389 * fringe);
  EXPECT_TRUE(std::isnan(p[32].z));
}

TEST(Datx, MadeSurfacesInTheirUnits) {
  struct Case {
    const char* name;
    Surface surface;
    double metres;  // per unit of the file; 0 for heights kept as they stand
    const char* unitInFile;
  };
  Surface single;
  single.single = true;
  single.unit = "MicroMeters";
  single.values = {0.5, 2.25, 3, 4, -1, 6};
  Surface withoutMetaData;
  withoutMetaData.metaData = false;
  withoutMetaData.unit = "Meters";
  Surface waves;
  waves.unit = "Waves";
  const Case cases[] = {{"nanometres, 64-bit", Surface{}, 1e-9, "nm"},
                        {"micrometres, 32-bit", single, 1e-6, "um"},
                        {"no MetaData table", withoutMetaData, 1, "m"},
                        {"a unit that is no length", waves, 0, "Waves"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    PointList list;
    const InstrumentRead read = readBytes(datxBytes(c.surface), list);
    ASSERT_TRUE(read.ok) << read.error;
    EXPECT_EQ(read.measurement.size, (std::array<std::uint64_t, 2>{3, 2}));
    EXPECT_EQ(read.measurement.nonMeasured, 1u);
    EXPECT_EQ(read.measurement.unitInFile, c.unitInFile);
    EXPECT_EQ(read.measurement.comment, c.surface.metaData ? "made here" : "");
    EXPECT_EQ(read.measurement.date, c.surface.metaData ? "2022-03-16T12:22:47Z" : "");
    EXPECT_EQ(read.measurement.instrument,
              c.surface.metaData ? "Mx 7.1.0.14, serial number 42" : "");
    // Rows of 3 along x (2 µm apart), 2 rows 3 µm apart, from column 10 and row 4.
    const auto p = list.points();
    const double scale = c.metres == 0 ? 1 : c.metres * 1e6;
    for (int i = 0; i < 6; ++i) {
      EXPECT_DOUBLE_EQ(p[i].x, (10 + i % 3) * 2.0);
      EXPECT_DOUBLE_EQ(p[i].y, (4 + i / 3) * 3.0);
      if (i == 4) {
        EXPECT_TRUE(std::isnan(p[i].z));
      } else {
        EXPECT_DOUBLE_EQ(p[i].z, c.surface.values[i] * scale);
      }
    }
  }
}

TEST(Datx, FilesThatAreNoSurfaceRefused) {
  Surface noSurface;
  noSurface.surface = noSurface.metaData = false;
  Surface noConverters;
  noConverters.converters = false;
  std::string junkAfterSignature = "\x89HDF\r\n\x1a\n" + std::string(2000, '\x07');
  const std::pair<std::string, std::string> cases[] = {
      {datxBytes(noSurface), "the file holds no surface"},
      {datxBytes(noConverters), "the file's x spacing is not a positive number"},
      {"not an HDF5 file at all, though called .datx",
       "the file is not an HDF5 container (it carries no HDF5 signature)"},
      {junkAfterSignature, "the HDF5 library could not open the file as a container"},
  };
  for (const auto& [bytes, diagnosis] : cases) {
    SCOPED_TRACE(diagnosis);
    PointList list;
    const InstrumentRead read = readBytes(bytes, list);
    EXPECT_FALSE(read.ok);
    EXPECT_NE(read.error.find(diagnosis), std::string::npos) << read.error;
  }
}

// Where the surface's values lie in the shared file: flips there only change heights.
std::pair<std::size_t, std::size_t> surfaceValues() {
  const hid_t file = H5Fopen(sharedFile().c_str(), H5F_ACC_RDONLY, H5P_DEFAULT);
  const hid_t set =
      H5Dopen2(file, "/Data/Surface/{1CE20D93-8A91-4847-9CEF-B83B2F42271E}", H5P_DEFAULT);
  const std::pair<std::size_t, std::size_t> place{H5Dget_offset(set), H5Dget_storage_size(set)};
  H5Dclose(set);
  H5Fclose(file);
  return place;
}

TEST(Datx, CorruptedCopiesEndInTheGridOrAOneLineRefusal) {
  const std::string original = fileBytes(sharedFile());
  const auto [valuesAt, valuesSize] = surfaceValues();
  ASSERT_GT(valuesSize, 259u * 33u * 8u - 1);
  std::vector<std::size_t> metadata;
  for (std::size_t at = 0; at < original.size(); ++at) {
    if (at < valuesAt || at >= valuesAt + valuesSize) metadata.push_back(at);
  }
  int refused = 0;
  const auto start = std::chrono::steady_clock::now();
  for (int flip = 0; flip < 200; ++flip) {
    std::string bytes = original;
    const std::size_t at = metadata[static_cast<std::size_t>(flip) * metadata.size() / 200];
    bytes[at] = static_cast<char>(bytes[at] ^ (flip % 2 ? 0xFF : 0x10));
    PointList list;
    const InstrumentRead read = readBytes(bytes, list);
    if (read.ok) continue;
    ++refused;
    EXPECT_FALSE(read.error.empty()) << "byte " << at;
    EXPECT_EQ(read.error.find('\n'), std::string::npos) << "byte " << at << ": " << read.error;
  }
  EXPECT_GT(refused, 0);
  RecordProperty("refused", refused);
  RecordProperty("seconds", static_cast<int>(std::chrono::duration_cast<std::chrono::seconds>(
                                                 std::chrono::steady_clock::now() - start)
                                                 .count()));
}

TEST(ChildProcess, CrashHangAndSilenceReachTheParent) {
  using namespace std::chrono_literals;
  const auto nothing = [](ChildOutput& out) {
    char byte;
    return out.read(&byte, 1);
  };
  const ChildEnd crashed = runInChildProcess([](int) { std::abort(); }, nothing, 10s, 1 << 30);
  EXPECT_FALSE(crashed.answered);
  EXPECT_EQ(crashed.signal, SIGABRT);

  const auto before = std::chrono::steady_clock::now();
  const ChildEnd hung =
      runInChildProcess([](int) { std::this_thread::sleep_for(60s); }, nothing, 300ms, 1 << 30);
  EXPECT_TRUE(hung.timedOut);
  EXPECT_LT(std::chrono::steady_clock::now() - before, 10s);

  const ChildEnd threw =
      runInChildProcess([](int) { throw std::runtime_error("no"); }, nothing, 10s, 1 << 30);
  EXPECT_FALSE(threw.answered);
  EXPECT_EQ(threw.exitCode, 1);

  const ChildEnd answered =
      runInChildProcess([](int fd) { writeAll(fd, "x", 1); }, nothing, 10s, 1 << 30);
  EXPECT_TRUE(answered.answered);
  EXPECT_EQ(answered.exitCode, 0);

  // The parent's refusal of an answer stops the child and comes through.
  EXPECT_THROW(
      runInChildProcess([](int) { std::this_thread::sleep_for(60s); },
                        [](ChildOutput&) -> bool { throw FormatError("refused"); }, 10s, 1 << 30),
      FormatError);
}

}  // namespace
}  // namespace corvane
