#include "formats/instrument_file.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <fstream>
#include <limits>
#include <system_error>

#include "analysis/non_measured.h"

namespace corvane {

// The readers, one file each (src/formats/<format>_reader.cpp).
bool hasSdfSignature(std::string_view head);
InstrumentGrid readSdf(const std::filesystem::path&, std::string_view bytes, std::uint64_t limit);
bool hasSurSignature(std::string_view head);
InstrumentGrid readSur(const std::filesystem::path&, std::string_view bytes, std::uint64_t limit);
bool hasMetroProSignature(std::string_view head);
InstrumentGrid readMetroPro(const std::filesystem::path&, std::string_view bytes,
                            std::uint64_t limit);
bool hasHdf5Signature(std::string_view head);
InstrumentGrid readDatx(const std::filesystem::path&, std::string_view bytes, std::uint64_t limit);
bool hasGwySignature(std::string_view head);
InstrumentGrid readGwy(const std::filesystem::path&, std::string_view bytes, std::uint64_t limit);
InstrumentGrid readPlu(const std::filesystem::path&, std::string_view bytes, std::uint64_t limit);
InstrumentGrid readOpd(const std::filesystem::path&, std::string_view bytes, std::uint64_t limit);

const std::vector<InstrumentFormat>& instrumentFormats() {
  static const std::vector<InstrumentFormat> formats{
      {"sdf", "SDF (ISO 25178-71)", {".sdf"}, hasSdfSignature, readSdf},
      {"sur", "Digital Surf SUR/PRO", {".sur", ".pro"}, hasSurSignature, readSur},
      {"metropro", "Zygo MetroPro DAT", {".dat"}, hasMetroProSignature, readMetroPro, false},
      {"datx", "Zygo Mx DATX (HDF5)", {".datx"}, hasHdf5Signature, readDatx},
      {"gwy", "Gwyddion GWY", {".gwy"}, hasGwySignature, readGwy},
      {"plu", "Sensofar PLU", {".plu"}, nullptr, readPlu},
      {"opd", "Wyko / Vision OPD", {".opd"}, nullptr, readOpd},
  };
  return formats;
}

namespace {
thread_local PointList* heightsRoom = nullptr;
}  // namespace

HeightsRoom::HeightsRoom(PointList* list) noexcept : previous_(heightsRoom) { heightsRoom = list; }
HeightsRoom::~HeightsRoom() { heightsRoom = previous_; }
PointList* HeightsRoom::current() noexcept { return heightsRoom; }

Heights::Heights() : room_(heightsRoom) {}

Heights::Heights(const Heights& other) : own_(other.begin(), other.end()) {
  data_ = own_.data();
  size_ = own_.size();
}

Heights::Heights(Heights&& other) noexcept
    : room_(other.room_), own_(std::move(other.own_)), data_(other.data_), size_(other.size_) {
  other.data_ = nullptr;
  other.size_ = 0;
}

Heights& Heights::operator=(Heights other) noexcept {
  room_ = other.room_;
  own_ = std::move(other.own_);
  data_ = other.data_;
  size_ = other.size_;
  other.data_ = nullptr;
  other.size_ = 0;
  return *this;
}

void Heights::resize(std::size_t count) {
  if (room_ == nullptr) {
    own_.resize(count);
    data_ = own_.data();
  } else {
    // A point is three doubles: the heights fit in the room of the points with room to spare.
    static_assert(sizeof(Point) == 3 * sizeof(double));
    if (count > static_cast<std::size_t>(kMaxListPoints)) {
      throw FormatError("the grid holds more points than Corvane reads from one file");
    }
    data_ = reinterpret_cast<double*>(room_->resize(static_cast<int>(count)));
  }
  size_ = count;
}

void checkGridSize(std::uint64_t columns, std::uint64_t rows, std::uint64_t limit) {
  if (columns == 0 || rows == 0) {
    throw FormatError("the file says its grid is " + std::to_string(columns) + " x " +
                      std::to_string(rows) + " points");
  }
  if (columns > limit / rows) {
    throw FormatError("the grid of " + std::to_string(columns) + " x " + std::to_string(rows) +
                      " points holds more than the " + std::to_string(limit) +
                      " points Corvane reads from one file");
  }
}

FormatError endsBefore(std::string_view what, std::size_t size) {
  std::string text = "the file ends before its ";
  text.append(what);
  text.append(" (").append(std::to_string(size)).append(" bytes)");
  return FormatError(text);
}

std::string utf8FromLatin1(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (const char ch : text) {
    const auto c = static_cast<unsigned char>(ch);
    if (c < 0x80) {
      out += ch;
    } else {
      out += static_cast<char>(0xC0 | (c >> 6));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out;
}

void checkSpacing(double step, std::string_view what) {
  if (!std::isfinite(step) || !(step > 0)) {
    throw FormatError("the file's " + std::string(what) + " is not a positive number");
  }
}

namespace {

std::string lowerExtension(const std::filesystem::path& path) {
  std::string extension = path.extension().string();
  std::transform(extension.begin(), extension.end(), extension.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return extension;
}

// The file's bytes, whole; a FormatError when it cannot be read.
// Files of this size or less keep the room they were read into for the thread's next file.
constexpr std::size_t kKeptBytes = std::size_t{256} << 20;

// The file's bytes, whole, in the thread's own buffer: a batch or a window reading one file
// after another reads each into the room of the last, without the page faults of a new buffer.
std::string& fileBytes(const std::filesystem::path& path) {
  thread_local std::string bytes;
  std::error_code error;
  if (std::filesystem::is_directory(path, error)) throw FormatError("it is a folder, not a file");
  std::ifstream in(path, std::ios::binary);
  if (!in) throw FormatError("the file could not be opened");
  in.seekg(0, std::ios::end);
  const std::streamoff size = in.tellg();
  if (size < 0) throw FormatError("the file could not be read");
  in.seekg(0);
  if (bytes.capacity() > kKeptBytes) std::string().swap(bytes);
  bytes.resize(static_cast<std::size_t>(size));
  if (!in.read(bytes.data(), size)) throw FormatError("the file could not be read");
  return bytes;
}

// The grid as points in `unit`: rows from the first, x rising along each.
InstrumentRead toPoints(const InstrumentGrid& grid, const InstrumentFormat& format, PointList& list,
                        LengthUnit unit, int limit) {
  InstrumentRead read;
  const std::uint64_t count = std::uint64_t{grid.columns} * grid.rows;
  if (grid.z.size() != count || count == 0) {
    throw FormatError("the reader gave " + std::to_string(grid.z.size()) + " heights for " +
                      std::to_string(grid.columns) + " x " + std::to_string(grid.rows) + " points");
  }
  checkGridSize(grid.columns, grid.rows, static_cast<std::uint64_t>(limit));
  const double scale = unitsPerMetre(unit);
  const double zScale = grid.zIsLength ? scale : 1.0;
  const bool falling = grid.dx < 0;
  const double x0 = grid.x0 * scale, dx = grid.dx * scale;
  const double y0 = grid.y0 * scale, dy = (grid.rows > 1 ? grid.dy : 0.0) * scale;
  const auto inRange = [](double v) { return std::fabs(v) < 3.4e38; };
  if (!inRange(x0) || !inRange(x0 + dx * static_cast<double>(grid.columns - 1)) || !inRange(y0) ||
      !inRange(y0 + dy * static_cast<double>(grid.rows - 1))) {
    throw FormatError("the grid's x or y lies beyond the single-precision range");
  }
  // Heights kept in the list's own room are turned into points where they lie, from the last:
  // point k takes the bytes from 24 (k + 1) on, beyond the heights 0..k still to be read. Rows
  // that run with x falling take their heights from a copy.
  const bool inPlace = grid.z.room() == &list;
  std::vector<double> copied;
  const double* z = grid.z.data();
  if (inPlace && falling) {
    copied.assign(grid.z.begin(), grid.z.end());
    z = copied.data();
  }
  Point* rows = list.resize(static_cast<int>(count));  // the same room when the heights are in it
  std::uint64_t holes = 0;
  const auto point = [&](std::size_t r, std::size_t p) {
    const std::size_t c = falling ? grid.columns - 1 - p : p;
    const double h = z[r * grid.columns + c] * zScale;
    const double x = x0 + static_cast<double>(c) * dx, y = y0 + static_cast<double>(r) * dy;
    if (!isMeasured(h)) {
      ++holes;
      rows[1 + r * grid.columns + p] = Point{x, y, kNonMeasured};
      return;
    }
    if (!inRange(h)) {
      throw FormatError("the height of point " + std::to_string(r * grid.columns + c + 1) +
                        " lies beyond the single-precision range");
    }
    rows[1 + r * grid.columns + p] = Point{x, y, h};
  };
  if (inPlace && !falling) {
    for (std::size_t r = grid.rows; r-- > 0;) {
      for (std::size_t p = grid.columns; p-- > 0;) point(r, p);
    }
  } else {
    for (std::size_t r = 0; r < grid.rows; ++r) {
      for (std::size_t p = 0; p < grid.columns; ++p) point(r, p);
    }
  }
  list.setCount(static_cast<int>(count));
  if (count - holes < 3) {
    throw FormatError(std::string(grid.rows > 1 ? "the grid" : "the profile") + " holds only " +
                      std::to_string(count - holes) + " measured points; at least 3 are needed");
  }
  read.ok = true;
  MeasurementInfo& m = read.measurement;
  m.format = std::string(format.name);
  m.size = {grid.columns, grid.rows};
  m.nonMeasured = holes;
  m.date = grid.date;
  m.instrument = grid.instrument;
  m.comment = grid.comment;
  m.unitInFile = grid.unitInFile;
  return read;
}

}  // namespace

const InstrumentFormat* instrumentFormatOf(const std::filesystem::path& path) {
  std::error_code error;
  if (!std::filesystem::is_regular_file(path, error)) return nullptr;
  std::ifstream in(path, std::ios::binary);
  std::string head(4096, '\0');
  in.read(head.data(), static_cast<std::streamsize>(head.size()));
  head.resize(static_cast<std::size_t>(std::max<std::streamsize>(in.gcount(), 0)));
  for (const InstrumentFormat& format : instrumentFormats()) {
    if (format.signature && format.signature(head)) return &format;
  }
  const std::string extension = lowerExtension(path);
  for (const InstrumentFormat& format : instrumentFormats()) {
    if (std::find(format.extensions.begin(), format.extensions.end(), extension) !=
        format.extensions.end()) {
      // Its reader then says what is wrong with it; ".dat" names point files too.
      if (format.byExtension) return &format;
    }
  }
  return nullptr;
}

namespace {

InstrumentRead readWith(const std::filesystem::path& path, std::string_view bytes,
                        const InstrumentFormat& format, PointList& list, LengthUnit unit,
                        int limit) {
  const HeightsRoom room(&list);
  try {
    const InstrumentGrid grid = format.read(path, bytes, static_cast<std::uint64_t>(limit));
    return toPoints(grid, format, list, unit, limit);
  } catch (const FormatError& refused) {
    list.setCount(0);
    InstrumentRead read;
    read.error = refused.what();
    return read;
  } catch (const std::bad_alloc&) {
    list.release();
    InstrumentRead read;
    read.error = "not enough memory to read the file";
    return read;
  }
}

}  // namespace

InstrumentRead readInstrumentFile(const std::filesystem::path& path, const InstrumentFormat& format,
                                  PointList& list, LengthUnit unit, int limit) {
  std::string_view bytes;
  try {
    bytes = fileBytes(path);
  } catch (const FormatError& refused) {
    InstrumentRead read;
    read.error = refused.what();
    return read;
  } catch (const std::bad_alloc&) {
    InstrumentRead read;
    read.error = "not enough memory to read the file";
    return read;
  }
  return readWith(path, bytes, format, list, unit, limit);
}

InstrumentRead readInstrumentBytes(std::string_view bytes, const InstrumentFormat& format,
                                   PointList& list, LengthUnit unit, int limit) {
  return readWith({}, bytes, format, list, unit, limit);
}

}  // namespace corvane
