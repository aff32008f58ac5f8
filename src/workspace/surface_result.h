#pragma once

#include <memory>

#include "analysis/settings_file.h"
#include "analysis/surface_analysis.h"
#include "data/point_list.h"

namespace corvane::workspace {

// One analysis of one open surface with one set of settings: what every view of the analysis
// window shows. Made on a worker thread, then only read, by any thread.
struct SurfaceResult {
  std::shared_ptr<const PointList> points;  // as read: a grid's non-measured points have z NaN
  AnalysisSettings settings;
  SurfaceAnalysis analysis;  // the figures, and the curves behind them
};
using SurfaceResultPtr = std::shared_ptr<const SurfaceResult>;

}  // namespace corvane::workspace
