#include "analysis/surface_analysis.h"

#include <algorithm>
#include <charconv>
#include <cmath>

namespace corvane {

bool analyseSurface(std::span<const Point> points, const StandardSettings& settings, bool standard,
                    bool curves, StandardWorkspace& workspace, SurfaceAnalysis& surface,
                    const std::atomic<bool>* cancel) {
  surface.points = static_cast<int>(
      std::count_if(points.begin(), points.end(), [](const Point& p) { return isMeasured(p.z); }));
  surface.extents = computeExtents(points);
  surface.curves.reset();
  if (!standard) return true;
  surface.standard = standardAnalysis(points, settings, workspace, cancel);
  if (surface.standard.cancelled) return false;
  if (curves) surface.curves = surfaceCurves(points, surface.standard, workspace);
  return true;
}

std::string nonMeasuredText(const StandardResult& result) {
  const double all = static_cast<double>(result.measured + result.nonMeasured);
  char share[32];
  const auto written = std::to_chars(share, share + sizeof share,
                                     100 * static_cast<double>(result.nonMeasured) / all,
                                     std::chars_format::general, 3);
  return std::to_string(result.nonMeasured) + " non-measured points (" +
         std::string(share, written.ptr) + " %)";
}

}  // namespace corvane
