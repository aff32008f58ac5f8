#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <span>
#include <string>
#include <string_view>

#include "data/point_list.h"
#include "data/surface_source.h"

namespace corvane {

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
// order. The root element may be ISO5436_2 or ISO5436, with or without a namespace.
//
// Non-measured points (the holes optical instruments leave): a point is non-measured when its z
// is NaN (F or D data), when its bit in the valid-points array is 0 (bit i % 8 of byte i / 8,
// least significant first; bits beyond the last point are not looked at), or when its Datum is
// empty or stops before the z value. A non-measured z is never read as a height.
//  - A grid or a profile keeps every point of its matrix in its place, x and y from the axes
//    and z a quiet NaN where it was not measured, so its rows stay whole. With absolute x or y
//    axes a non-measured point keeps its place when its stored x and y are finite and within
//    single precision, and is left out otherwise; a point whose x or y is NaN is left out too.
//    Fewer than 3 measured points are refused.
//  - A point cloud leaves its non-measured points out; one with none measured is refused.
// info.invalidPoints counts every non-measured point, kept or left out. Every x and y read is
// finite, and so is every z but the NaN of a hole.
//
// The container, its XML and its data are checked as they are read: an entry that inflates
// beyond what the matrix needs, a document with a DTD, sizes that overflow, data of the wrong
// length, unknown types, links that leave the container and corrupt archives are refused with
// their reason; MD5 checksums (of main.xml, the data and the valid-points array) that do not
// match are noted in info.checksums and the data still read.
// `progress`, when given, is told how much is read (0 to 1) as the data inflate.
X3pRead readX3p(const std::filesystem::path& path, PointList& list, LengthUnit unit, int limit,
                const std::function<void(double)>& progress = {});

// The same over an archive held in memory (for the fuzzer and the tests).
X3pRead readX3pBytes(std::string_view bytes, PointList& list, LengthUnit unit, int limit);

struct X3pWrite {
  bool ok = false;
  std::string error;        // a one-line diagnosis when not ok
  std::string featureType;  // what was written: "SUR", "PRF" or "PCL"
};

// Writes the points (in `unit`) as an X3P file: a grid (the rule of the areal slope and spatial
// figures, which looks at x and y only) as SUR with incremental x and y, one scan line as PRF,
// anything else as PCL; double data in metres in bindata/data.bin; both MD5 checksums; Record2
// with today's date, Corvane and its version as creator, and `comment`. A point whose z is NaN
// is non-measured: its z is written as NaN, and when there is one, bindata/valid.bin holds a bit
// per point (1 measured, 0 not; the last byte's bits beyond the points 0), linked from the
// DataLink with its MD5 checksum, so that readers that look at either find the holes. An
// existing file is replaced only when `replace`; the archive appears whole or not at all. Read
// back, the points of a PRF or PCL are the same (to the last bit in metres; a decimal in mm or
// um and its metres need not both be exact in double, so there to within a unit in the last
// place), those of a SUR the grid's, NaN where they were; a PCL's non-measured points are left
// out, as of any cloud read.
X3pWrite writeX3p(const std::filesystem::path& target, std::span<const Point> points,
                  LengthUnit unit, const std::string& comment, const std::string& version,
                  bool replace);

}  // namespace corvane
