// Zygo Mx .datx files: an HDF5 container. Its MetaData table (rows of Source, Link, Destination)
// leads from Root to the measurement, from there to its Surface and to the Path of that dataset,
// a 2-D array of rows × columns (x along a row) with its unit, its No Data value and the X, Y
// and Z Converters beside it; the measurement's Attributes group holds the file's words about
// itself. HDF5's library is not hardened against corrupt files, so it reads in a child process
// that hands the grid over a pipe; a crash, a hang or a runaway allocation there becomes a
// refusal here.

#include <hdf5.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstring>
#include <ctime>
#include <limits>
#include <mutex>
#include <new>
#include <string>
#include <vector>

#include "formats/child_process.h"
#include "formats/instrument_file.h"

namespace corvane {

namespace {

constexpr std::string_view kSignature("\x89HDF\r\n\x1a\n", 8);

// HDF5 looks for its superblock at 0 and at every power of two from 512 on.
bool signatureAt(std::string_view bytes, std::size_t offset) {
  return bytes.size() >= offset + kSignature.size() &&
         bytes.substr(offset, kSignature.size()) == kSignature;
}

bool hasSignatureWithin(std::string_view bytes) {
  if (signatureAt(bytes, 0)) return true;
  for (std::size_t offset = 512; offset < bytes.size(); offset *= 2) {
    if (signatureAt(bytes, offset)) return true;
  }
  return false;
}

// ---- In the child process: the HDF5 library ----

// An HDF5 identifier, closed with its own function when it goes.
class Handle {
 public:
  Handle(hid_t id, herr_t (*close)(hid_t)) noexcept : id_(id), close_(close) {}
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  ~Handle() {
    if (id_ >= 0) close_(id_);
  }
  operator hid_t() const noexcept { return id_; }
  bool valid() const noexcept { return id_ >= 0; }

 private:
  hid_t id_;
  herr_t (*close_)(hid_t);
};

// An attribute or a dataset, whichever is read.
struct Source {
  hid_t id;
  bool attribute;

  hid_t type() const { return attribute ? H5Aget_type(id) : H5Dget_type(id); }
  hid_t space() const { return attribute ? H5Aget_space(id) : H5Dget_space(id); }
  bool read(hid_t memoryType, void* into) const {
    return (attribute ? H5Aread(id, memoryType, into)
                      : H5Dread(id, memoryType, H5S_ALL, H5S_ALL, H5P_DEFAULT, into)) >= 0;
  }
};

herr_t reclaim(hid_t type, hid_t space, void* buffer) {
#if H5_VERSION_GE(1, 12, 0)
  return H5Treclaim(type, space, H5P_DEFAULT, buffer);
#else
  return H5Dvlen_reclaim(type, space, H5P_DEFAULT, buffer);
#endif
}

// The number of elements of a source, 0 when there are more than `most`.
std::size_t elements(const Handle& space, std::size_t most) {
  const hssize_t count = H5Sget_simple_extent_npoints(space);
  return count > 0 && static_cast<std::uint64_t>(count) <= most ? static_cast<std::size_t>(count)
                                                                : 0;
}

// The file type of the source, or of its compound member of that name; invalid when it has none.
hid_t memberType(const Handle& fileType, const char* member) {
  if (!member) return H5Tcopy(fileType);
  if (H5Tget_class(fileType) != H5T_COMPOUND) return -1;
  const int index = H5Tget_member_index(fileType, member);
  return index < 0 ? -1 : H5Tget_member_type(fileType, static_cast<unsigned>(index));
}

// The memory type for `type`, wrapped in a compound of that one member when it is one: HDF5
// matches compound members by name, so the rest of the file's compound is left aside.
hid_t wrapped(hid_t type, const char* member, std::size_t size) {
  if (!member) return H5Tcopy(type);
  const hid_t compound = H5Tcreate(H5T_COMPOUND, size);
  if (compound >= 0 && H5Tinsert(compound, member, 0, type) < 0) {
    H5Tclose(compound);
    return -1;
  }
  return compound;
}

// The strings of a source (or of its compound member), variable or fixed in length; none when it
// holds no strings or they cannot be read.
std::vector<std::string> readStrings(const Source& source, const char* member,
                                     std::size_t most = 64) {
  const Handle fileType(source.type(), H5Tclose);
  if (!fileType.valid()) return {};
  const Handle type(memberType(fileType, member), H5Tclose);
  if (!type.valid() || H5Tget_class(type) != H5T_STRING) return {};
  const Handle space(source.space(), H5Sclose);
  const std::size_t count = space.valid() ? elements(space, most) : 0;
  if (count == 0) return {};
  const bool variable = H5Tis_variable_str(type) > 0;
  const std::size_t fixed = variable ? 0 : H5Tget_size(type) + 1;
  if (!variable && (fixed < 2 || fixed > (std::size_t{1} << 16))) return {};
  const Handle text(H5Tcopy(H5T_C_S1), H5Tclose);
  if (!text.valid() || H5Tset_size(text, variable ? H5T_VARIABLE : fixed) < 0) return {};
  const std::size_t size = variable ? sizeof(char*) : fixed;
  const Handle memory(wrapped(text, member, size), H5Tclose);
  if (!memory.valid()) return {};
  std::vector<char> buffer(count * size, '\0');
  if (!source.read(memory, buffer.data())) return {};
  std::vector<std::string> strings;
  for (std::size_t i = 0; i < count; ++i) {
    const char* at = buffer.data() + i * size;
    if (variable) {
      const char* pointer;
      std::memcpy(&pointer, at, sizeof pointer);
      strings.emplace_back(pointer ? pointer : "");
    } else {
      strings.emplace_back(at, strnlen(at, size));
    }
  }
  if (variable) reclaim(memory, space, buffer.data());
  return strings;
}

// The numbers of a source (or of its compound member) as doubles; none when it holds no numbers.
std::vector<double> readNumbers(const Source& source, const char* member, std::size_t most = 64) {
  const Handle fileType(source.type(), H5Tclose);
  if (!fileType.valid()) return {};
  const Handle type(memberType(fileType, member), H5Tclose);
  if (!type.valid()) return {};
  const H5T_class_t kind = H5Tget_class(type);
  if (kind != H5T_INTEGER && kind != H5T_FLOAT) return {};
  const Handle space(source.space(), H5Sclose);
  const std::size_t count = space.valid() ? elements(space, most) : 0;
  if (count == 0) return {};
  const Handle memory(wrapped(H5T_NATIVE_DOUBLE, member, sizeof(double)), H5Tclose);
  std::vector<double> numbers(count);
  if (!memory.valid() || !source.read(memory, numbers.data())) return {};
  return numbers;
}

// The Parameters of a converter attribute (a compound of Category, BaseUnit and a variable-length
// list of doubles): those of its first element.
std::vector<double> readParameters(const Source& source) {
  const Handle fileType(source.type(), H5Tclose);
  if (!fileType.valid()) return {};
  const Handle type(memberType(fileType, "Parameters"), H5Tclose);
  if (!type.valid() || H5Tget_class(type) != H5T_VLEN) return {};
  const Handle space(source.space(), H5Sclose);
  const std::size_t count = space.valid() ? elements(space, 64) : 0;
  if (count == 0) return {};
  const Handle list(H5Tvlen_create(H5T_NATIVE_DOUBLE), H5Tclose);
  if (!list.valid()) return {};
  const Handle memory(wrapped(list, "Parameters", sizeof(hvl_t)), H5Tclose);
  std::vector<hvl_t> buffer(count);
  if (!memory.valid() || !source.read(memory, buffer.data())) return {};
  std::vector<double> parameters;
  if (buffer[0].p && buffer[0].len <= 1024) {
    const auto* values = static_cast<const double*>(buffer[0].p);
    parameters.assign(values, values + buffer[0].len);
  }
  reclaim(memory, space, buffer.data());
  return parameters;
}

// An attribute of an object by name; invalid when it has none.
hid_t openAttribute(hid_t object, const char* name) {
  return H5Aexists(object, name) > 0 ? H5Aopen(object, name, H5P_DEFAULT) : -1;
}

std::string stringAttribute(hid_t object, const char* name, const char* member = nullptr) {
  const Handle attribute(openAttribute(object, name), H5Aclose);
  if (!attribute.valid()) return "";
  const auto strings = readStrings({attribute, true}, member);
  return strings.empty() ? "" : strings[0];
}

// The first number of an attribute (or of its compound member); NaN when it has none.
double numberAttribute(hid_t object, const char* name, const char* member = nullptr) {
  const Handle attribute(openAttribute(object, name), H5Aclose);
  if (!attribute.valid()) return std::numeric_limits<double>::quiet_NaN();
  const auto numbers = readNumbers({attribute, true}, member);
  return numbers.empty() ? std::numeric_limits<double>::quiet_NaN() : numbers[0];
}

std::vector<double> converterParameters(hid_t object, const char* name) {
  const Handle attribute(openAttribute(object, name), H5Aclose);
  return attribute.valid() ? readParameters({attribute, true}) : std::vector<double>{};
}

// Where the MetaData table leads: the surface dataset's path and the measurement's attributes.
struct Places {
  std::string surface, attributes;
};

Places placesFromMetaData(hid_t file) {
  if (H5Lexists(file, "MetaData", H5P_DEFAULT) <= 0) return {};
  const Handle table(H5Dopen2(file, "MetaData", H5P_DEFAULT), H5Dclose);
  if (!table.valid()) return {};
  constexpr std::size_t kMostRows = 1 << 20;
  const auto sources = readStrings({table, false}, "Source", kMostRows);
  const auto links = readStrings({table, false}, "Link", kMostRows);
  const auto destinations = readStrings({table, false}, "Destination", kMostRows);
  if (sources.size() != links.size() || links.size() != destinations.size()) return {};
  const auto follow = [&](const std::string& source, std::string_view link) -> std::string {
    if (source.empty()) return "";
    for (std::size_t i = 0; i < sources.size(); ++i) {
      if (sources[i] == source && links[i] == link) return destinations[i];
    }
    return "";
  };
  const std::string measurement = follow("Root", "Measurement");
  return {follow(follow(measurement, "Surface"), "Path"), follow(measurement, "Attributes")};
}

// Without a MetaData table: the first dataset in /Data/Surface.
std::string firstSurfaceDataset(hid_t file) {
  if (H5Lexists(file, "Data", H5P_DEFAULT) <= 0 ||
      H5Lexists(file, "Data/Surface", H5P_DEFAULT) <= 0) {
    return "";
  }
  const Handle group(H5Gopen2(file, "Data/Surface", H5P_DEFAULT), H5Gclose);
  H5G_info_t info;
  if (!group.valid() || H5Gget_info(group, &info) < 0) return "";
  for (hsize_t i = 0; i < std::min<hsize_t>(info.nlinks, 1000); ++i) {
    char name[1024];
    const ssize_t length = H5Lget_name_by_idx(group, ".", H5_INDEX_NAME, H5_ITER_INC, i, name,
                                              sizeof name, H5P_DEFAULT);
    if (length <= 0 || static_cast<std::size_t>(length) >= sizeof name) continue;
    const Handle object(H5Oopen(group, name, H5P_DEFAULT), H5Oclose);
    if (object.valid() && H5Iget_type(object) == H5I_DATASET) {
      return "/Data/Surface/" + std::string(name);
    }
  }
  return "";
}

// Metres of one unit of the surface's heights; 0 for a unit that is no length Corvane knows.
double metresPer(std::string_view unit, std::string& name) {
  struct Known {
    std::string_view file, name;
    double metres;
  };
  static constexpr Known known[] = {{"Meters", "m", 1},
                                    {"MilliMeters", "mm", 1e-3},
                                    {"MicroMeters", "um", 1e-6},
                                    {"NanoMeters", "nm", 1e-9}};
  for (const Known& k : known) {
    if (unit == k.file) {
      name = k.name;
      return k.metres;
    }
  }
  return 0;
}

// Seconds since 1970 as an ISO 8601 UTC date; "" for none. Times before 1990 are placeholders
// (719529, the count of days from year 0 to 1970, is one seen in files made from MetroPro data).
std::string isoDate(double seconds) {
  if (!(seconds >= 631152000.0 && seconds < 253402300800.0)) return "";
  const std::time_t time = static_cast<std::time_t>(seconds);
  std::tm parts{};
  char text[32];
  if (!gmtime_r(&time, &parts) || !std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &parts)) {
    return "";
  }
  return text;
}

// The file's words about itself from the measurement's attributes group.
void readWords(hid_t file, const std::string& path, InstrumentGrid& grid) {
  if (path.empty() || path[0] != '/' || H5Lexists(file, path.c_str(), H5P_DEFAULT) <= 0) return;
  const Handle group(H5Oopen(file, path.c_str(), H5P_DEFAULT), H5Oclose);
  if (!group.valid()) return;
  const std::string prefix = "Data Context.Data Attributes.";
  const auto text = [&](const char* name) {
    return stringAttribute(group, (prefix + name).c_str());
  };
  grid.comment = text("Comment");
  // "MetroPro 8.3.3, GPI, serial number 651365"
  std::string instrument;
  const auto add = [&](const std::string& part, const char* separator) {
    if (part.empty()) return;
    if (!instrument.empty()) instrument += separator;
    instrument += part;
  };
  add(text("Software Info Name"), " ");
  add(text("Software Info Version"), " ");
  add(text("System Type"), ", ");
  const std::string serial = text("System Serial Number");
  if (!serial.empty()) add("serial number " + serial, ", ");
  grid.instrument = instrument;
  grid.date = isoDate(numberAttribute(group, (prefix + "Time Stamp").c_str(), "time"));
}

// The file opened by the library: from its path where there is one (the library reads what it
// needs of it), else from its bytes in memory.
hid_t openContainer(const std::filesystem::path& path, std::string_view bytes) {
  if (!path.empty()) return H5Fopen(path.c_str(), H5F_ACC_RDONLY, H5P_DEFAULT);
  const Handle access(H5Pcreate(H5P_FILE_ACCESS), H5Pclose);
  if (!access.valid() || H5Pset_fapl_core(access, 1 << 16, false) < 0 ||
      H5Pset_file_image(access, const_cast<char*>(bytes.data()), bytes.size()) < 0) {
    throw FormatError("the HDF5 library could not take the file into memory");
  }
  return H5Fopen("datx", H5F_ACC_RDONLY, access);
}

InstrumentGrid readSurface(const std::filesystem::path& source, std::string_view bytes,
                           std::uint64_t limit) {
  H5Eset_auto2(H5E_DEFAULT, nullptr, nullptr);
  const Handle file(openContainer(source, bytes), H5Fclose);
  if (!file.valid()) throw FormatError("the HDF5 library could not open the file as a container");

  Places places = placesFromMetaData(file);
  if (places.surface.empty()) places.surface = firstSurfaceDataset(file);
  if (places.surface.empty()) {
    throw FormatError(
        "the file holds no surface (no Measurement/Surface in its MetaData and no "
        "dataset in /Data/Surface)");
  }
  const std::string& path = places.surface;
  if (path[0] != '/' || H5Lexists(file, path.c_str(), H5P_DEFAULT) <= 0) {
    throw FormatError("the surface " + path + " the file's MetaData names is not in the file");
  }
  const Handle surface(H5Dopen2(file, path.c_str(), H5P_DEFAULT), H5Dclose);
  if (!surface.valid()) throw FormatError("the surface " + path + " is no dataset");
  const Handle type(H5Dget_type(surface), H5Tclose);
  const H5T_class_t kind = type.valid() ? H5Tget_class(type) : H5T_NO_CLASS;
  if (kind != H5T_FLOAT && kind != H5T_INTEGER) {
    throw FormatError("the surface's values are not numbers");
  }
  const Handle space(H5Dget_space(surface), H5Sclose);
  hsize_t dims[2] = {0, 0};
  if (!space.valid() || H5Sget_simple_extent_ndims(space) != 2 ||
      H5Sget_simple_extent_dims(space, dims, nullptr) != 2) {
    throw FormatError("the surface is not a grid of rows and columns");
  }

  InstrumentGrid grid;
  checkGridSize(dims[1], dims[0], limit);
  grid.rows = static_cast<std::size_t>(dims[0]);
  grid.columns = static_cast<std::size_t>(dims[1]);

  // Lateral resolution, metres per pixel: the second of each converter's Parameters.
  const auto xParameters = converterParameters(surface, "X Converter");
  auto yParameters = converterParameters(surface, "Y Converter");
  if (yParameters.size() < 2) yParameters = xParameters;
  grid.dx = xParameters.size() >= 2 ? xParameters[1] : std::nan("");
  grid.dy = yParameters.size() >= 2 ? yParameters[1] : std::nan("");
  checkSpacing(grid.dx, "x spacing");
  checkSpacing(grid.dy, "y spacing");
  const double firstColumn = numberAttribute(surface, "Coordinates", "ColumnStart");
  const double firstRow = numberAttribute(surface, "Coordinates", "RowStart");
  grid.x0 = std::isfinite(firstColumn) ? firstColumn * grid.dx : 0;
  grid.y0 = std::isfinite(firstRow) ? firstRow * grid.dy : 0;

  std::string unit = stringAttribute(surface, "Unit");
  if (unit.empty()) unit = stringAttribute(surface, "Z Converter", "BaseUnit");
  double scale = metresPer(unit, grid.unitInFile);
  if (scale == 0 && unit == "Fringes") {
    // A fringe is the wavelength times the interferometer's scale factor and obliquity factor.
    const auto z = converterParameters(surface, "Z Converter");
    const auto pick = [&](const char* name, std::size_t index) {
      const double value = numberAttribute(surface, name);
      return std::isfinite(value) || z.size() <= index ? value : z[index];
    };
    scale = pick("Wavelength", 1) * pick("Interferometric Scale Factor", 2) *
            pick("Obliquity Factor", 3);
    if (!std::isfinite(scale) || scale <= 0) {
      throw FormatError(
          "the surface is in fringes, but the file gives no wavelength, scale "
          "factor and obliquity factor for them");
    }
    grid.unitInFile = unit;
  } else if (scale == 0) {
    // Heights in a unit that is no known length are kept as they stand.
    grid.zIsLength = false;
    grid.unitInFile = unit;
    scale = 1;
  }

  grid.z.resize(grid.columns * grid.rows);
  if (H5Dread(surface, H5T_NATIVE_DOUBLE, H5S_ALL, H5S_ALL, H5P_DEFAULT, grid.z.data()) < 0) {
    throw FormatError("the HDF5 library could not read the surface's values");
  }
  const double noData = numberAttribute(surface, "No Data");
  for (double& z : grid.z) {
    z = z == noData ? std::numeric_limits<double>::quiet_NaN() : z * scale;
  }
  readWords(file, places.attributes, grid);
  return grid;
}

// ---- The answer over the pipe ----

constexpr std::uint32_t kAnswerMark = 0x44415458;  // "DATX"
constexpr std::size_t kMostText = 1 << 16;

// The fixed part of the child's answer; then the texts (unit, date, instrument, comment,
// refusal). The columns × rows heights go into a memory file the parent made before the child
// started, which costs one copy each way instead of a pipe's many small ones.
struct AnswerHead {
  std::uint32_t mark = kAnswerMark;
  std::uint32_t refused = 0;
  std::uint64_t columns = 0, rows = 0;
  double dx = 0, dy = 0, x0 = 0, y0 = 0;
  std::uint32_t zIsLength = 1;
  std::uint32_t lengths[5] = {};
};

// Writes all of `size` bytes at `offset` of a file; false when it cannot.
bool writeAllAt(int fd, const void* from, std::size_t size) noexcept {
  const auto* at = static_cast<const char*>(from);
  off_t offset = 0;
  while (size > 0) {
    const ssize_t put = ::pwrite(fd, at, size, offset);
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) return false;
    at += put;
    offset += put;
    size -= static_cast<std::size_t>(put);
  }
  return true;
}

void answer(int fd, int heights, const InstrumentGrid& grid, std::string refusal) {
  std::string texts[5] = {grid.unitInFile, grid.date, grid.instrument, grid.comment,
                          std::move(refusal)};
  AnswerHead head;
  if (texts[4].empty() && !writeAllAt(heights, grid.z.data(), grid.z.size() * sizeof(double))) {
    texts[4] = "the heights could not be handed over (no memory for them)";
  }
  head.refused = texts[4].empty() ? 0 : 1;
  head.columns = grid.columns;
  head.rows = grid.rows;
  head.dx = grid.dx;
  head.dy = grid.dy;
  head.x0 = grid.x0;
  head.y0 = grid.y0;
  head.zIsLength = grid.zIsLength ? 1 : 0;
  for (int i = 0; i < 5; ++i) {
    if (texts[i].size() > kMostText) texts[i].resize(kMostText);
    head.lengths[i] = static_cast<std::uint32_t>(texts[i].size());
  }
  if (!writeAll(fd, &head, sizeof head)) return;
  for (const std::string& text : texts) {
    if (!writeAll(fd, text.data(), text.size())) return;
  }
}

// The child's work: the grid, or why not, down the pipe.
void readInChild(const std::filesystem::path& source, std::string_view bytes, std::uint64_t limit,
                 int fd, int heights) {
  // The heights go down the pipe from a buffer of the child's own, not the parent's point list.
  const HeightsRoom own(nullptr);
  InstrumentGrid grid;
  std::string refusal;
  try {
    grid = readSurface(source, bytes, limit);
  } catch (const FormatError& refused) {
    refusal = refused.what();
  } catch (const std::bad_alloc&) {
    refusal = "not enough memory to read the file";
  }
  if (!refusal.empty()) grid = InstrumentGrid{};
  answer(fd, heights, grid, refusal);
}

// One line of printable text.
std::string oneLine(std::string text) {
  for (char& c : text) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = ' ';
  }
  return text;
}

// The parent's side: the child's answer, checked before anything of its size is allocated.
bool receive(ChildOutput& out, int heights, std::uint64_t limit, InstrumentGrid& grid,
             std::string& refusal) {
  AnswerHead head;
  if (!out.read(&head, sizeof head)) return false;
  const auto malformed = [] {
    return FormatError("the process reading the file with the HDF5 library answered out of form");
  };
  if (head.mark != kAnswerMark || head.refused > 1 || head.zIsLength > 1) throw malformed();
  std::string texts[5];
  for (int i = 0; i < 5; ++i) {
    if (head.lengths[i] > kMostText) throw malformed();
    texts[i].resize(head.lengths[i]);
    if (!out.read(texts[i].data(), texts[i].size())) return false;
  }
  if (head.refused) {
    refusal = texts[4].empty() ? "the HDF5 library refused the file" : oneLine(texts[4]);
    return true;
  }
  checkGridSize(head.columns, head.rows, limit);
  checkSpacing(head.dx, "x spacing");
  checkSpacing(head.dy, "y spacing");
  if (!std::isfinite(head.x0) || !std::isfinite(head.y0)) throw malformed();
  grid.columns = static_cast<std::size_t>(head.columns);
  grid.rows = static_cast<std::size_t>(head.rows);
  grid.dx = head.dx;
  grid.dy = head.dy;
  grid.x0 = head.x0;
  grid.y0 = head.y0;
  grid.zIsLength = head.zIsLength == 1;
  grid.unitInFile = oneLine(texts[0]);
  grid.date = oneLine(texts[1]);
  grid.instrument = oneLine(texts[2]);
  grid.comment = texts[3];
  // The heights from the memory file, which must hold them all.
  const std::size_t size = grid.columns * grid.rows * sizeof(double);
  struct stat held {};
  if (::fstat(heights, &held) != 0 || held.st_size < 0 ||
      static_cast<std::uint64_t>(held.st_size) < size) {
    throw malformed();
  }
  grid.z.resize(grid.columns * grid.rows);
  auto* at = reinterpret_cast<char*>(grid.z.data());
  for (std::size_t done = 0; done < size;) {
    const ssize_t got = ::pread(heights, at + done, size - done, static_cast<off_t>(done));
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) throw malformed();
    done += static_cast<std::size_t>(got);
  }
  return true;
}

}  // namespace

bool hasHdf5Signature(std::string_view head) { return hasSignatureWithin(head); }

InstrumentGrid readDatx(const std::filesystem::path& path, std::string_view bytes,
                        std::uint64_t limit) {
  if (!hasSignatureWithin(bytes)) {
    throw FormatError("the file is not an HDF5 container (it carries no HDF5 signature)");
  }
  // 30 s and one more for every 2 MiB; room for the file's image eight times over, the grid and
  // a gigabyte for the library, at most 64 GiB.
  const auto seconds = std::chrono::seconds(30 + bytes.size() / (std::size_t{2} << 20));
  const std::uint64_t memory =
      std::min<std::uint64_t>((std::uint64_t{1} << 30) + 8 * std::uint64_t{bytes.size()} +
                                  8 * std::min<std::uint64_t>(limit, std::uint64_t{1} << 33),
                              std::uint64_t{64} << 30);
  // The library started once here (it reads no file to start), so that each child does not
  // start it again; once, since the library is not made for threads.
  static std::once_flag started;
  std::call_once(started, [] {
    H5open();
    H5Eset_auto2(H5E_DEFAULT, nullptr, nullptr);
  });
  const int heights = ::memfd_create("corvane-datx-heights", MFD_CLOEXEC);
  if (heights < 0) {
    throw FormatError(std::string("no memory file could be made for the heights (") +
                      std::strerror(errno) + ")");
  }
  struct Closed {
    int fd;
    ~Closed() { ::close(fd); }
  } closed{heights};
  InstrumentGrid grid;
  std::string refusal;
  const ChildEnd end = runInChildProcess(
      [&](int fd) { readInChild(path, bytes, limit, fd, heights); },
      [&](ChildOutput& out) { return receive(out, heights, limit, grid, refusal); }, seconds,
      memory);
  if (end.timedOut) {
    throw FormatError("reading the DATX file took longer than " + std::to_string(seconds.count()) +
                      " s; the HDF5 library was stopped");
  }
  if (!end.answered) {
    if (end.signal != 0) {
      throw FormatError("the HDF5 library stopped on a signal " + std::to_string(end.signal) +
                        " reading the file");
    }
    throw FormatError("the HDF5 library ended without an answer reading the file (exit code " +
                      std::to_string(end.exitCode) + ")");
  }
  if (!refusal.empty()) throw FormatError(refusal);
  return grid;
}

}  // namespace corvane
