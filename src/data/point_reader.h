#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>

#include "data/point_list.h"
#include "data/point_table.h"

namespace corvane {

// Reads a point file into a PointTable.
//
// Accepted input: fields separated by a comma and/or white space (spaces, tabs); lines ending in
// LF, CR LF or CR; blank lines anywhere. A comma stands between two fields of the same line, so
// "1,,2", a line that starts with a comma and a line that ends with one hold an empty field,
// which is not a number. A field is a decimal number with an optional sign, an optional fraction
// and an optional exponent (1e-3, .5, 5., +1, -2.25E+02). Fields are taken three at a time as x,
// y, z regardless of line structure, so a line of four numbers makes the fourth the next point's
// x. A UTF-8 byte-order mark at the very start is skipped.
//
// A value too small for double precision (1e-400) is read as a zero of its sign. Every value
// must convert to a finite single-precision number (|v| below about 3.4e38), because the
// extents and everything drawn from them are held in single precision.
//
// Rejected input (the read stops at the first failure): a field that is not such a number
// (text, an empty field as in "1,,2", hex, nan, inf, a field longer than kMaxFieldLength
// bytes), a value too large for single precision, a file that ends inside a point, more than
// kMaxPoints points (the read stops as soon as point kMaxPoints + 1 is complete), no point at
// all, a file that cannot be opened or read, and anything that is not a regular file once links
// are followed (a named pipe, a socket, a character or block device such as /dev/stdin's
// target). Such a thing could block the caller until someone writes to it, and cannot be read
// again with the same content on every load. The file is opened without waiting, so a named pipe
// with no writer is refused at once. Files under /proc and /sys are regular files with a size of
// 0 and are read to their end like any other.
//
// The file is read sequentially in blocks of kReadBlockSize bytes into one buffer, so memory
// stays bounded whatever the size of the file, and a read that fails stops at once. Nothing
// throws for bad input. readPointText applies the same parser to text held in memory.

// The size of one read from the file. A field, a CR LF pair or a comma may straddle two blocks.
inline constexpr std::size_t kReadBlockSize = std::size_t{1} << 20;

// The longest field accepted, in bytes; a longer run of bytes between separators is not a number.
inline constexpr std::size_t kMaxFieldLength = 4096;

// The most bytes of a faulty field that ReadResult::found quotes.
inline constexpr std::size_t kFoundLength = 32;

enum class ReadError {
  None,
  CannotOpen,       // missing, a folder, no permission
  NotRegularFile,   // a named pipe, socket or device (after following links)
  CannotRead,       // an I/O error while reading
  NotANumber,       // a field that is not a decimal number, or an empty field
  OutOfRange,       // beyond the single-precision range
  EndsInsidePoint,  // the input ends after the first or second field of a point
  TooManyPoints,    // more than kMaxPoints points
  NoPoints,         // not a single point
};

struct ReadResult {
  ReadError error = ReadError::None;
  int pointCount = 0;     // points stored in rows 1..pointCount (0 after a failure)
  std::int64_t line = 0;  // 1-based line of the failure; 0 when the failure has no line
  int field = 0;          // 1-based field within that line; 0 when the failure has no field
  // What was found there: at most kFoundLength bytes of the field, "..." when it is longer,
  // every byte outside printable ASCII (and the backslash) written as \xNN. Empty for an empty
  // field and for failures that concern no field.
  std::string found;

  // The 1-based point being read at the failure (kMaxPoints + 1 for TooManyPoints), and the
  // coordinate concerned: 0 x, 1 y, 2 z. For EndsInsidePoint it is the first missing coordinate.
  // 0 and 0 when the failure concerns no point.
  int point = 0;
  int axis = 0;

  // For CannotOpen, NotRegularFile and CannotRead: the file and the system's error number.
  std::string path;
  int systemError = 0;

  // For NotRegularFile: what the file is, in words ("a named pipe", "a socket", ...).
  std::string fileKind;

  // Read into a PointList: the line where point kMaxPoints + 1 ended, 0 when there is none (the
  // window would refuse the file there).
  std::int64_t pastWindowLine = 0;

  bool ok() const noexcept { return error == ReadError::None; }
};

// A one-line diagnosis in plain words, e.g. `line 3, field 2: "abc" is not a number`,
// `line 7: the file ends inside point 5 (after its x)`, `more than 100000 points (line 100001)`,
// `cannot open /path: No such file or directory`, `/path is a named pipe, not a regular file`. The
// line given for EndsInsidePoint and TooManyPoints is the line of the last field read.
std::string describe(const ReadResult& result);

// Reads the file into rows 1..n of the table and sets its count to n. After a failure the count
// is 0 and rows that were already read stay overwritten. Rows beyond n are never written.
ReadResult readPointFile(const std::filesystem::path& path, PointTable& table);

// The same rules over text held in memory.
ReadResult readPointText(std::string_view text, PointTable& table);

// Told how much of a file has been read, from 0 to 1, after each block.
using ReadProgress = std::function<void(double share)>;

// The same rules into a list that grows, up to `limit` points instead of kMaxPoints.
ReadResult readPointFile(const std::filesystem::path& path, PointList& list,
                         int limit = kMaxListPoints, const ReadProgress& progress = {});
ReadResult readPointText(std::string_view text, PointList& list, int limit = kMaxListPoints);

}  // namespace corvane
