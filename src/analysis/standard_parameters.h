#pragma once

#include <array>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "analysis/gaussian_filter.h"
#include "data/point_table.h"

namespace corvane {

// Surface-texture parameters of a point file, in the file's units, all in double precision.
// A figure that is undefined is NaN.
//
// Profiles are the scan lines (a strict drop in x starts the next). A profile is evaluated when
// it has at least 3 points, evenly spaced (every x step within 1 % of dx, the median step), and
// holds at least one whole sampling length. Its form is removed by the least-squares line; the
// remainder is the primary profile P. The roughness profile R is P less its Gaussian mean line
// for the cut-off lc. The evaluation length leaves out lc/2 at either end; from its first x it
// is cut into sampling lengths of lc, of which the whole ones (nr) count.
//
//   Pa, Pq, Pt      mean |P|, root mean square of P, max P - min P, over the whole profile
//   Ra, Rq, Rt      the same of R over the evaluation length
//   Rsk, Rku        mean R^3 / Rq^3 and mean R^4 / Rq^4 (NaN when Rq is 0)
//   Rp, Rv, Rz      the mean over the sampling lengths of the highest R, of the deepest -R and
//                   of their sum
//
// Areal: S is z less the least-squares plane over all points; Sa, Sq, Ssk, Sku as above, Sp the
// highest S, Sv the deepest -S, Sz = Sp + Sv.

inline constexpr double kDefaultCutoff = 0.8;

inline constexpr std::array<std::string_view, 11> kProfileFigureNames = {
    "Pa", "Pq", "Pt", "Ra", "Rq", "Rsk", "Rku", "Rp", "Rv", "Rz", "Rt"};
inline constexpr std::array<std::string_view, 7> kArealFigureNames = {"Sa", "Sq", "Ssk", "Sku",
                                                                      "Sp", "Sv", "Sz"};

using ProfileFigures = std::array<double, kProfileFigureNames.size()>;
using ArealFigures = std::array<double, kArealFigureNames.size()>;

// Why a profile was not evaluated.
inline constexpr std::string_view kTooFewPoints = "too few points";
inline constexpr std::string_view kUnevenSpacing = "uneven spacing";
inline constexpr std::string_view kShorterThanCutoff = "shorter than the cut-off";
// A sampling length between two points: the cut-off is below the spacing.
inline constexpr std::string_view kCutoffBelowSpacing = "cut-off below the spacing";

struct ProfileResult {
  int profile = 0;  // 1, 2, ... in the order of the file
  bool ok = false;
  std::string reason;        // empty when ok
  double spacing = 0;        // dx; NaN for too few points
  std::optional<int> nr;     // the whole sampling lengths, once the spacing is even
  ProfileFigures figures{};  // NaN where undefined; P figures also for a short profile
};

struct StandardResult {
  double cutoff = kDefaultCutoff;
  ArealFigures areal{};
  int evaluated = 0;      // profiles that went into the mean
  ProfileFigures mean{};  // each figure's mean over those where it is defined
  std::vector<ProfileResult> profiles;
};

// Buffers for one analysis after another; one per thread.
struct StandardWorkspace {
  GaussianFilter filter;
  std::vector<double> x, z, primary, meanLine;
};

// The profile of these points (x and z as read; y is not used).
ProfileResult evaluateProfile(std::span<const Point> points, double cutoff,
                              StandardWorkspace& workspace);

// The areal figures over all points.
ArealFigures arealFigures(std::span<const Point> points);

// Every profile of rows 1..count(), their means and the areal figures.
StandardResult standardAnalysis(const PointTable& table, double cutoff,
                                StandardWorkspace& workspace);

}  // namespace corvane
