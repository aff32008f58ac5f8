#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <string_view>

#include "data/point_list.h"

namespace corvane {

// The length unit corvane-batch gives its figures in. X3P files hold metres and are converted;
// point files carry no unit and are taken to be in it already.
enum class LengthUnit { Micrometre, Millimetre, Metre };

std::string_view unitName(LengthUnit unit);  // "um", "mm", "m"
double unitsPerMetre(LengthUnit unit);       // 1e6, 1e3, 1

// What an X3P file says of itself beside its points.
struct X3pInfo {
  std::string featureType;                         // "SUR", "PRF" or "PCL"
  std::array<std::uint64_t, 3> size{};             // SizeX, SizeY, SizeZ of its matrix
  std::uint64_t invalidPoints = 0;                 // left out: NaN, or marked invalid
  std::string checksums = "absent";                // "ok", "mismatch" or "absent"
  std::string creator, date, instrument, comment;  // Record2, empty where it has none
};

// Whether the file is an X3P container, by its content: a zip archive whose document is
// main.xml, at its top or in one top-level folder. False for anything else, a missing file too.
bool isX3pFile(const std::filesystem::path& path);

struct X3pRead {
  bool ok = false;
  std::string error;  // a one-line diagnosis when not ok
  X3pInfo info;
};

// Reads an X3P file's points into the list, converted to `unit`, at most `limit` of them
// (refused before anything is allocated when the matrix is larger). A grid (SUR) becomes one
// scan line per row with x rising; a profile (PRF) one line; a point cloud (PCL) keeps its
// order. Invalid points are left out. The container, its XML and its data are checked as they
// are read: an entry that inflates beyond what the matrix needs, a document with a DTD, sizes
// that overflow, data of the wrong length, unknown types, links that leave the container and
// corrupt archives are refused with their reason; MD5 checksums that do not match are noted
// in info.checksums and the data still read.
X3pRead readX3p(const std::filesystem::path& path, PointList& list, LengthUnit unit, int limit);

// The same over an archive held in memory (for the fuzzer and the tests).
X3pRead readX3pBytes(std::string_view bytes, PointList& list, LengthUnit unit, int limit);

struct X3pWrite {
  bool ok = false;
  std::string error;        // a one-line diagnosis when not ok
  std::string featureType;  // what was written: "SUR", "PRF" or "PCL"
};

// Writes the points (in `unit`) as an X3P file: a grid (the rule of the areal slope and spatial
// figures) as SUR with incremental x and y, one scan line as PRF, anything else as PCL; double
// data in metres in bindata/data.bin; both MD5 checksums; Record2 with today's date, Corvane and
// its version as creator, and `comment`. An existing file is replaced only when `replace`; the
// archive appears whole or not at all. Read back, the points of a PRF or PCL are the same (to
// the last bit in metres; a decimal in mm or um and its metres need not both be exact in
// double, so there to within a unit in the last place), those of a SUR the grid's.
X3pWrite writeX3p(const std::filesystem::path& target, std::span<const Point> points,
                  LengthUnit unit, const std::string& comment, const std::string& version,
                  bool replace);

}  // namespace corvane
