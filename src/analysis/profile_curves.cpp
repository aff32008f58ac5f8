#include "analysis/profile_curves.h"

namespace corvane {

std::optional<ProfileCurves> profileCurves(std::span<const Point> points,
                                           const StandardResult& result, int profile,
                                           StandardWorkspace& workspace) {
  if (profile < 1 || profile > static_cast<int>(result.profiles.size())) return std::nullopt;
  const ProfileResult& evaluated = result.profiles[static_cast<std::size_t>(profile - 1)];
  if (!evaluated.ok) return std::nullopt;
  // The profile's points: the scan lines are where x drops.
  std::size_t first = 0;
  int number = 1;
  for (std::size_t i = 0; i < points.size(); ++i) {
    if (i + 1 < points.size() && !(points[i].x > points[i + 1].x)) continue;
    if (number == profile) {
      const std::span<const Point> line = points.subspan(first, i + 1 - first);
      evaluateProfile(line, result.settings, workspace);  // leaves x, P and R in the workspace
      ProfileCurves curves;
      curves.profile = profile;
      curves.y = line.front().y;
      curves.x = workspace.x;
      curves.primary = workspace.primary;
      curves.roughness = workspace.meanLine;
      curves.meanLine.resize(curves.x.size());
      for (std::size_t k = 0; k < curves.x.size(); ++k) {
        curves.meanLine[k] = curves.primary[k] - curves.roughness[k];
      }
      curves.first = evaluated.first;
      curves.last = evaluated.last;
      for (int j = 0; j <= evaluated.samplingLengths; ++j) {
        curves.boundaries.push_back(curves.x[curves.first] + j * result.cutoff);
      }
      curves.rp = evaluated.figures[figure::Rp];
      curves.rv = evaluated.figures[figure::Rv];
      return curves;
    }
    first = i + 1;
    ++number;
  }
  return std::nullopt;
}

}  // namespace corvane
