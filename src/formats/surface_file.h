#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>

#include "data/point_list.h"
#include "data/surface_source.h"

namespace corvane {

// A surface file read whole, whatever its kind.
struct SurfaceRead {
  bool ok = false;
  std::string error;  // the reader's one-line diagnosis when not ok
  bool x3p = false;
  X3pInfo x3pInfo;               // for an X3P file
  std::string format = "ascii";  // "ascii", "x3p" or an instrument format's name ("sdf", ...)
  // For a file from an instrument (X3P or an instrument's format), what it says of itself.
  std::optional<MeasurementInfo> measurement;
  // For a point file: the line where the window's table of 100000 points would be full (0 when
  // it holds no more).
  std::int64_t pastWindowLine = 0;
};

// Reads a surface file into the list, told apart by its content: an X3P container (converted
// to `unit`), an instrument's file (instrumentFormatOf(), converted to `unit`), else a point
// file (taken to be in `unit` already), at most `limit` points. The
// list is trimmed to what it holds; a failure leaves it empty.
// `progress`, when given, is told how much is read (0 to 1) as it goes.
SurfaceRead readSurface(const std::filesystem::path& path, PointList& list, LengthUnit unit,
                        int limit, const std::function<void(double)>& progress = {});

}  // namespace corvane
