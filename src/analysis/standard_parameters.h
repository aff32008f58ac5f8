#pragma once

#include <algorithm>
#include <array>
#include <atomic>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "analysis/areal_grid.h"
#include "analysis/autocorrelation.h"
#include "analysis/gaussian_filter.h"
#include "analysis/material_ratio.h"
#include "analysis/polynomial_form.h"
#include "analysis/robust_filter.h"
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
//   Rdq             the root mean square slope of R (profile_slope_spacing.h)
//   RSm             the mean width of R's profile elements, height discrimination 10 % of Rz
//   Rk, Rpk, Rvk,   the Rk construction on the material ratio curve of R over the evaluation
//   Mr1, Mr2        length (material_ratio.h)
//
// Areal: S is z less the least-squares plane over all points; Sa, Sq, Ssk, Sku as above, Sp the
// highest S, Sv the deepest -S, Sz = Sp + Sv; Sk, Spk, Svk, Smr1, Smr2 the Rk construction on
// the material ratio curve c(p) of S; Sxp = c(2.5) - c(50); the volumes Vmp = Vm(10),
// Vmc = Vm(80) - Vm(10), Vvc = Vv(10) - Vv(80), Vvv = Vv(80). When the points form a regular
// grid (areal_grid.h): Sdq, Sdr, and from the autocorrelation Sal and Str (autocorrelation.h).
//
// Non-measured points (z NaN, non_measured.h) keep their place and are treated as points beyond
// the grid: the form is fitted over the measured points, every figure is over them (N their
// number), the filters weigh them not at all. A profile with holes has its evaluation length
// from lc/2 after its first measured point to lc/2 before its last; a sampling length without a
// measured point is left out, and nr counts the others; Rdq takes the points whose six
// neighbours are measured; RSm walks the measured points in order.

inline constexpr double kDefaultCutoff = 0.8;

inline constexpr std::array<std::string_view, 18> kProfileFigureNames = {
    "Pa", "Pq", "Pt",  "Ra",  "Rq", "Rsk", "Rku", "Rp",  "Rv",
    "Rz", "Rt", "Rdq", "RSm", "Rk", "Rpk", "Rvk", "Mr1", "Mr2"};
inline constexpr std::array<std::string_view, 21> kArealFigureNames = {
    "Sa", "Sq",  "Ssk", "Sku",  "Sp",   "Sv",  "Sz",  "Sdq", "Sdr", "Sal", "Str",
    "Sk", "Spk", "Svk", "Smr1", "Smr2", "Sxp", "Vmp", "Vmc", "Vvc", "Vvv"};

// Indices into the figure arrays, in the order of the names.
namespace figure {
// clang-format off
enum Profile : std::size_t {
  Pa, Pq, Pt, Ra, Rq, Rsk, Rku, Rp, Rv, Rz, Rt,
  Rdq, RSm, Rk, Rpk, Rvk, Mr1, Mr2
};
enum Areal : std::size_t {
  Sa, Sq, Ssk, Sku, Sp, Sv, Sz,
  Sdq, Sdr, Sal, Str, Sk, Spk, Svk, Smr1, Smr2, Sxp, Vmp, Vmc, Vvc, Vvv
};
// clang-format on
}  // namespace figure

// The first figures of each kind, those of the amplitude (the rest came later and are shown
// in tables and lines of their own).
inline constexpr std::size_t kAmplitudeProfileFigures = figure::Rdq;
inline constexpr std::size_t kAmplitudeArealFigures = figure::Sdq;

using ProfileFigures = std::array<double, kProfileFigureNames.size()>;
using ArealFigures = std::array<double, kArealFigureNames.size()>;

// Why a profile was not evaluated.
inline constexpr std::string_view kTooFewPoints = "too few points";
inline constexpr std::string_view kUnevenSpacing = "uneven spacing";
inline constexpr std::string_view kShorterThanCutoff = "shorter than the cut-off";
// A sampling length between two points: the cut-off is below the spacing.
inline constexpr std::string_view kCutoffBelowSpacing = "cut-off below the spacing";

// Why areal figures are undefined.
inline constexpr std::string_view kNotARegularGrid = "not a regular grid";
inline constexpr std::string_view kNoDecay = "autocorrelation does not decay to 0.2";
inline constexpr std::string_view kTooFewMeasured = "too few measured points";
inline constexpr std::string_view kUnpairedLag = "autocorrelation has a lag without measured pairs";
inline constexpr std::string_view kAllHeightsEqual = "all heights equal";

struct ProfileResult {
  int profile = 0;  // 1, 2, ... in the order of the file
  bool ok = false;
  std::string reason;       // empty when ok
  double spacing = 0;       // dx; NaN for too few points
  std::optional<int> nr;    // the whole sampling lengths, once the spacing is even (those that
                            // hold a measured point)
  int samplingLengths = 0;  // all whole sampling lengths of the evaluation length
  std::size_t first = 0;    // the evaluation length: points first .. last - 1, once nr is known
  std::size_t last = 0;
  ProfileFigures figures{};  // NaN where undefined; P figures also for a short profile
  int robustPasses = 0;      // the robust filter's passes, for an evaluated profile
};

// How the figures are made: the profiles' cut-off and the filtering chain, in the order of
// ISO 16610: the S-filter (lambdaS, profiles and areal), the F-operator (the form: a
// least-squares polynomial of degree `form`, 1 the line and the plane), the L-filter (the
// profiles' Gaussian mean line, or the robust Gaussian regression one; on a grid the areal
// Gaussian mean surface for arealCutoff). Unset, the chain is a line or plane and the
// Gaussian mean line, as always.
struct StandardSettings {
  double cutoff = kDefaultCutoff;
  int form = 1;
  std::optional<double> lambdaS;
  std::optional<double> arealCutoff;
  bool robust = false;
};

struct StandardResult {
  double cutoff = kDefaultCutoff;
  StandardSettings settings;
  bool scaleLimited = false;  // the areal figures are of the S-L surface (else the S-F surface)
  ArealFigures areal{};
  std::optional<Grid> grid;               // the regular grid the points form, if they do
  std::size_t measured = 0;               // the points that are measured (not NaN)
  std::size_t nonMeasured = 0;            // and those that are not
  std::vector<std::string> arealReasons;  // why areal figures are undefined, each reason once
  int evaluated = 0;                      // profiles that went into the mean
  ProfileFigures mean{};                  // each figure's mean over those where it is defined
  std::vector<ProfileResult> profiles;
  bool cancelled = false;  // stopped when asked to, before every figure was done
};

// Buffers for one analysis after another; one per thread.
struct StandardWorkspace {
  GaussianFilter filter;
  GaussianFilter smoothing;  // the S-filter's (another cut-off)
  RobustFilter robust;
  ProfileBasis profileBasis;  // the polynomial form's, kept for profiles at the same x
  std::vector<double> x, z, primary, meanLine, scratch;
  // A profile's measured points alone, where some are not: x, z and what is fitted to them.
  std::vector<double> compactX, compactZ, compact;
  MaterialRatioCurve profileCurve;
  // The areal residual S of the last analysis, its material ratio curve and, on a grid, its
  // autocorrelation.
  std::vector<double> residual;
  // S at the measured points alone: `residual` itself when every point is measured, else the
  // measured values gathered in `measuredResidual` (the material ratio curve reads them).
  std::span<const double> measuredS;
  std::vector<double> measuredResidual;
  // The areal filters' own, as the areal figures run beside the profiles.
  GaussianFilter arealFilter;
  std::vector<double> arealZ, arealHeights, column;
  MaterialRatioCurve arealCurve;
  AutocorrelationFft autocorrelation;
};

// The primary profile P of these points (at least 2, x not all equal): z, through the S-filter
// when the settings have one (for evenly spaced points `spacing` apart), less its form, into
// workspace.primary, with x into workspace.x.
void primaryProfile(std::span<const Point> points, StandardWorkspace& workspace,
                    const StandardSettings& settings = {}, double spacing = 0);

// The profile of these points (x and z as read; y is not used). Afterwards workspace.x holds x,
// workspace.primary P and, for an evaluated profile, workspace.meanLine R.
ProfileResult evaluateProfile(std::span<const Point> points, const StandardSettings& settings,
                              StandardWorkspace& workspace);
inline ProfileResult evaluateProfile(std::span<const Point> points, double cutoff,
                                     StandardWorkspace& workspace) {
  StandardSettings settings;
  settings.cutoff = cutoff;
  return evaluateProfile(points, settings, workspace);
}

// The areal figures over all points, the grid they form and the reasons for undefined figures,
// for result.settings.
void arealAnalysis(std::span<const Point> points, StandardResult& result,
                   StandardWorkspace& workspace, const std::atomic<bool>* cancel = nullptr);

// Every profile of rows 1..count(), their means and the areal figures. For a large file the
// areal figures are worked out on a second thread meanwhile. When `cancel` is raised the work
// stops at the next profile (and the areal figures at their next step), and the result says it
// was cancelled.
StandardResult standardAnalysis(std::span<const Point> points, const StandardSettings& settings,
                                StandardWorkspace& workspace,
                                const std::atomic<bool>* cancel = nullptr);
inline StandardResult standardAnalysis(std::span<const Point> points, double cutoff,
                                       StandardWorkspace& workspace) {
  StandardSettings settings;
  settings.cutoff = cutoff;
  return standardAnalysis(points, settings, workspace);
}
inline StandardResult standardAnalysis(const PointTable& table, double cutoff,
                                       StandardWorkspace& workspace) {
  return standardAnalysis({&table.row(1), static_cast<std::size_t>(std::max(table.count(), 0))},
                          cutoff, workspace);
}

}  // namespace corvane
