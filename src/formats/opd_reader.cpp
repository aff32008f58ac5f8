// Wyko / Vision OPD: two bytes, then a directory of 24-byte entries (a 16-character name, a type,
// a length, an attribute), the first naming the directory itself; the blocks follow it, one after
// another in the directory's order. The heights are an array block ("RAW_DATA", "OPD", ...): its
// columns, rows and element size, then the values column after column, each column from the
// last row to the first, in wavelengths / Mult ("Wavelength" in nm); "Pixel_size" is the x step
// in mm, "Aspect" the y step's ratio to it. The file has no signature: its directory is checked.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "formats/byte_reader.h"
#include "formats/instrument_file.h"

namespace corvane {

namespace {

constexpr std::uint32_t kEntrySize = 24;
enum BlockType { kArray = 3, kText = 5, kShort = 6, kFloat = 7, kDouble = 8, kLong = 12 };

struct Block {
  std::string name;
  int type = 0;
  std::string_view data;
};

std::vector<Block> directory(std::string_view bytes) {
  ByteReader in(bytes);
  in.seek(2, "block directory");
  const auto entry = [&in](std::uint32_t& size) {
    Block b;
    b.name = in.text(16, "block directory");
    b.type = in.little<std::uint16_t>("block directory");
    size = in.little<std::uint32_t>("block directory");
    in.skip(2, "block directory");
    return b;
  };
  std::uint32_t size = 0;
  if (entry(size).name != "Directory") throw FormatError("the file has no OPD block directory");
  if (size < kEntrySize || size % kEntrySize != 0 || size > in.size() - 2) {
    throw FormatError("the OPD block directory's length of " + std::to_string(size) +
                      " bytes does not fit the file");
  }
  std::vector<Block> blocks;
  std::uint64_t at = 2 + std::uint64_t{size};
  for (std::uint32_t k = 1; k < size / kEntrySize; ++k) {
    std::uint32_t length = 0;
    Block b = entry(length);
    if (length > bytes.size() - at) {
      throw FormatError("the block '" + b.name + "' lies past the end of the file");
    }
    b.data = bytes.substr(static_cast<std::size_t>(at), length);
    at += length;
    if (length > 0) blocks.push_back(std::move(b));
  }
  return blocks;
}

const Block* find(const std::vector<Block>& blocks, std::string_view name) {
  for (const Block& b : blocks) {
    if (b.name == name) return &b;
  }
  return nullptr;
}

// A number block's value; nullopt when the file has no such block.
std::optional<double> number(const std::vector<Block>& blocks, std::string_view name) {
  const Block* b = find(blocks, name);
  if (!b) return std::nullopt;
  const char* at = b->data.data();
  const std::size_t size = b->data.size();
  double value = 0;
  if (b->type == kShort && size == 2) {
    value = ByteReader::load<std::int16_t>(at, std::endian::little);
  } else if (b->type == kLong && size == 4) {
    value = ByteReader::load<std::int32_t>(at, std::endian::little);
  } else if (b->type == kFloat && size == 4) {
    value = ByteReader::load<float>(at, std::endian::little);
  } else if (b->type == kDouble && size == 8) {
    value = ByteReader::load<double>(at, std::endian::little);
  } else {
    throw FormatError("the block '" + std::string(name) + "' holds no number");
  }
  if (!std::isfinite(value) || !(value > 0)) {
    throw FormatError("the file's " + std::string(name) + " is not a positive number");
  }
  return value;
}

// A text block as UTF-8 (the file writes Latin-1); "" when the file has none.
std::string text(const std::vector<Block>& blocks, std::string_view name) {
  const Block* b = find(blocks, name);
  if (!b || b->type != kText) return "";
  ByteReader in(b->data);
  return utf8FromLatin1(in.text(b->data.size(), name));
}

// "10/26/2009" and "11:16:55" as "2009-10-26 11:16:55"; the day alone without a time; "" when
// the date is no date.
std::string dateText(const std::string& date, const std::string& time) {
  int month = 0, day = 0, year = 0, hour = 0, minute = 0, second = 0;
  if (std::sscanf(date.c_str(), "%d/%d/%d", &month, &day, &year) != 3 || month < 1 || month > 12 ||
      day < 1 || day > 31 || year < 1900 || year > 2200) {
    return "";
  }
  char out[32];
  if (std::sscanf(time.c_str(), "%d:%d:%d", &hour, &minute, &second) == 3 && hour >= 0 &&
      hour < 24 && minute >= 0 && minute < 60 && second >= 0 && second <= 60) {
    std::snprintf(out, sizeof out, "%04d-%02d-%02d %02d:%02d:%02d", year, month, day, hour, minute,
                  second);
  } else {
    std::snprintf(out, sizeof out, "%04d-%02d-%02d", year, month, day);
  }
  return out;
}

}  // namespace

InstrumentGrid readOpd(const std::filesystem::path&, std::string_view bytes, std::uint64_t limit) {
  const std::vector<Block> blocks = directory(bytes);
  const Block* array = nullptr;
  for (const char* name : {"RAW_DATA", "RAW DATA", "OPD", "SAMPLE_DATA", "Raw"}) {
    const Block* b = find(blocks, name);
    if (b && b->type == kArray) {
      array = b;
      break;
    }
  }
  if (!array) throw FormatError("the file holds no array of heights (RAW_DATA or OPD)");

  ByteReader in(array->data);
  const auto columns = in.little<std::uint16_t>("height array's size");
  const auto rows = in.little<std::uint16_t>("height array's size");
  const auto elementSize = in.little<std::uint16_t>("height array's size");
  checkGridSize(columns, rows, limit);
  if (elementSize != 2 && elementSize != 4) {
    throw FormatError("the height array's elements are " + std::to_string(elementSize) +
                      " bytes; 2 (integers) or 4 (floats) are read");
  }
  const std::uint64_t count = std::uint64_t{columns} * rows;
  if (count * elementSize > in.remaining()) {
    throw FormatError("the height array says " + std::to_string(columns) + " x " +
                      std::to_string(rows) + " points of " + std::to_string(elementSize) +
                      " bytes but holds " + std::to_string(in.remaining()) + " bytes");
  }

  const std::optional<double> pixel = number(blocks, "Pixel_size");
  const std::optional<double> wavelength = number(blocks, "Wavelength");
  if (!pixel) throw FormatError("the file has no Pixel_size");
  if (!wavelength) throw FormatError("the file has no Wavelength");
  const double mult = number(blocks, "Mult").value_or(1.0);
  const double aspect = number(blocks, "Aspect").value_or(1.0);

  InstrumentGrid grid;
  grid.columns = columns;
  grid.rows = rows;
  grid.dx = *pixel * 1e-3;
  checkSpacing(grid.dx, "x spacing");
  if (rows > 1) {
    grid.dy = grid.dx * aspect;
    checkSpacing(grid.dy, "y spacing");
  }
  grid.unitInFile = "nm";
  grid.date = dateText(text(blocks, "Date"), text(blocks, "Time"));
  grid.instrument = text(blocks, "MachineID");
  const std::string title = text(blocks, "Title"), note = text(blocks, "Note");
  grid.comment = title.empty() || note.empty() ? title + note : title + "\n" + note;

  // Each value counts wavelength / Mult nanometres; the extremes of the integers and huge
  // floats mark points not measured.
  const double scale = *wavelength / mult * 1e-9;
  const double notMeasured = std::numeric_limits<double>::quiet_NaN();
  grid.z.resize(static_cast<std::size_t>(count));
  const char* data = in.take(count * elementSize, "heights").data();
  const auto height = [&](const char* at) {
    if (elementSize == 2) {
      const auto raw = ByteReader::load<std::int16_t>(at, std::endian::little);
      return raw < 32766 && raw != -32768 ? raw * scale : notMeasured;
    }
    const float raw = ByteReader::load<float>(at, std::endian::little);
    return std::isfinite(raw) && std::fabs(raw) < 1e32f ? raw * scale : notMeasured;
  };
  // Stored column by column, each from the last row: turned into rows a band of columns at a
  // time, so that each row's part of the band is written whole and each column read in order.
  constexpr std::size_t kBand = 16;
  for (std::size_t c0 = 0; c0 < columns; c0 += kBand) {
    const std::size_t c1 = std::min<std::size_t>(columns, c0 + kBand);
    for (std::size_t k = 0; k < rows; ++k) {
      double* row = grid.z.data() + (rows - 1 - k) * columns;
      for (std::size_t c = c0; c < c1; ++c) row[c] = height(data + (c * rows + k) * elementSize);
    }
  }
  return grid;
}

}  // namespace corvane
