#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "data/point_list.h"
#include "data/surface_source.h"

namespace corvane {

// The heights of a grid, row by row, with the few members of a vector that the readers use.
// While a HeightsRoom is in force on the thread, they are kept at the start of that point list's
// room, so that the points are made from them in place, without a second buffer the size of the
// grid; else in a buffer of their own.
class Heights {
 public:
  Heights();
  // A copy keeps its heights in a buffer of its own; a move takes them where they are.
  Heights(const Heights& other);
  Heights(Heights&& other) noexcept;
  Heights& operator=(Heights other) noexcept;
  ~Heights() = default;
  void resize(std::size_t count);
  std::size_t size() const noexcept { return size_; }
  bool empty() const noexcept { return size_ == 0; }
  double* data() noexcept { return data_; }
  const double* data() const noexcept { return data_; }
  double& operator[](std::size_t i) noexcept { return data_[i]; }
  double operator[](std::size_t i) const noexcept { return data_[i]; }
  double* begin() noexcept { return data_; }
  double* end() noexcept { return data_ + size_; }
  const double* begin() const noexcept { return data_; }
  const double* end() const noexcept { return data_ + size_; }
  // The list whose room holds them; nullptr when they are in a buffer of their own.
  const PointList* room() const noexcept { return room_; }

 private:
  PointList* room_ = nullptr;
  std::vector<double> own_;
  double* data_ = nullptr;
  std::size_t size_ = 0;
};

// While it lives, the heights that readers on this thread make are kept in `list`'s room (none:
// in buffers of their own, as in a reader's child process).
class HeightsRoom {
 public:
  explicit HeightsRoom(PointList* list) noexcept;
  ~HeightsRoom();
  HeightsRoom(const HeightsRoom&) = delete;
  HeightsRoom& operator=(const HeightsRoom&) = delete;
  static PointList* current() noexcept;

 private:
  PointList* previous_;
};

// What an instrument's file holds, as its reader gives it: a grid of heights with x along a row
// (one row for a profile), in metres, with the file's own words about itself.
struct InstrumentGrid {
  std::size_t columns = 0;  // points along x, in a row
  std::size_t rows = 0;     // rows along y; 1 for a profile
  double dx = 0, dy = 0;    // metres between neighbours along x and along y (dy unused for 1 row)
  double x0 = 0, y0 = 0;    // metres, the place of the first point of the first row
  // rows × columns heights, row r (at y0 + r·dy) from z[r·columns]; NaN where not measured.
  Heights z;
  // Heights in metres; false when the file's heights are no length (an intensity, arbitrary
  // units): they are then kept as they stand, in unitInFile.
  bool zIsLength = true;
  std::string unitInFile;  // the file's own unit of its heights ("um", "nm", "m", ...); "" unsaid
  std::string date, instrument, comment;  // "" where the file does not say
};

// A reader's refusal of a file, with its one-line reason ("the header says 512 x 512 points but
// the file holds 1000 bytes of data").
struct FormatError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// Refuses (FormatError) a grid of columns × rows points that is empty, whose product overflows,
// or that holds more than `limit` points; called before anything of that size is allocated.
void checkGridSize(std::uint64_t columns, std::uint64_t rows, std::uint64_t limit);

// "the file ends before its <what> (<size> bytes)": a read past the end of a file of `size`
// bytes.
FormatError endsBefore(std::string_view what, std::size_t size);

// Text an instrument wrote in Latin-1 (ISO 8859-1), as UTF-8.
std::string utf8FromLatin1(std::string_view text);

// Refuses (FormatError) a spacing that is zero, negative or not finite; `what` names it ("x
// spacing").
void checkSpacing(double step, std::string_view what);

// One instrument format Corvane reads.
struct InstrumentFormat {
  std::string_view name;                     // as the JSON names it: "sdf", "sur", ...
  std::string_view description;              // "SDF (ISO 25178-71)"
  std::vector<std::string_view> extensions;  // lower case, with the dot: ".sdf"
  // Whether the file's first bytes carry the format's signature; nullptr for a format told by
  // its extension alone (its reader then checks its header).
  bool (*signature)(std::string_view head) = nullptr;
  // Reads the whole file (its bytes, and its path for a reader that needs one), refusing with
  // FormatError; at most `limit` points.
  InstrumentGrid (*read)(const std::filesystem::path& path, std::string_view bytes,
                         std::uint64_t limit) = nullptr;
  // Whether the extension alone makes a file this format's (its reader then says what is wrong
  // with one that is not); false where the extension names other files too (".dat").
  bool byExtension = true;
};

// Every instrument format, in the order they are tried.
const std::vector<InstrumentFormat>& instrumentFormats();

// The format of a file: the first whose signature its first bytes carry, else the first whose
// extension it has; nullptr for a file of none of them (an X3P or a point file).
const InstrumentFormat* instrumentFormatOf(const std::filesystem::path& path);

struct InstrumentRead {
  bool ok = false;
  std::string error;  // the one-line diagnosis when not ok
  MeasurementInfo measurement;
};

// Reads an instrument file of `format` into the list as points in `unit` (heights that are no
// length as they stand), a grid row by row with x rising: every point of the grid in its place,
// z NaN where not measured. At most `limit` points; fewer than 3 measured are refused.
InstrumentRead readInstrumentFile(const std::filesystem::path& path, const InstrumentFormat& format,
                                  PointList& list, LengthUnit unit, int limit);

// The same over bytes held in memory (for the fuzzer and the tests).
InstrumentRead readInstrumentBytes(std::string_view bytes, const InstrumentFormat& format,
                                   PointList& list, LengthUnit unit, int limit);

}  // namespace corvane
