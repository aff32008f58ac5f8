#pragma once

#include <atomic>
#include <optional>
#include <span>
#include <string>

#include "analysis/standard_parameters.h"
#include "analysis/surface_curves.h"
#include "data/extents.h"
#include "data/surface_source.h"

namespace corvane {

// One surface as its figures see it: where it came from, the extents of its measured points,
// its standard figures for one set of settings and the curves behind them. corvane-batch
// prints it beside the window's figures, the report draws it, the analysis window shows it.
struct SurfaceAnalysis {
  std::string file;   // as given
  std::string title;  // the file's name without its folder
  bool ok = false;
  std::string error;  // the reader's diagnosis when the file did not load

  // The rest is meaningful only when ok.
  int points = 0;  // the measured points
  Extents extents;
  bool x3p = false;
  X3pInfo x3pInfo;               // for an X3P file
  std::string format = "ascii";  // "ascii", "x3p" or an instrument format's name ("sdf", ...)
  std::optional<MeasurementInfo> measurement;  // for a file from an instrument, X3P included
  LengthUnit unit = LengthUnit::Millimetre;
  bool unitKnown = false;  // given by the user, or the own of a file from an instrument
  StandardResult standard;
  std::optional<SurfaceCurves> curves;
};

// The count and extents of the measured points into `surface` and, when `standard`, their
// standard figures for the settings (and with `curves` the curves behind them). Returns false
// when `cancel` was raised before the figures were done: they are then incomplete.
bool analyseSurface(std::span<const Point> points, const StandardSettings& settings, bool standard,
                    bool curves, StandardWorkspace& workspace, SurfaceAnalysis& surface,
                    const std::atomic<bool>* cancel = nullptr);

// "1234 non-measured points (2.94 %)": how many points of the surface are not measured and
// their share of all its points, 3 significant digits.
std::string nonMeasuredText(const StandardResult& result);

}  // namespace corvane
