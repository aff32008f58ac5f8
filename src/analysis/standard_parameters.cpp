#include "analysis/standard_parameters.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <system_error>
#include <thread>

#include "analysis/areal_filter.h"
#include "analysis/polynomial_form.h"
#include "analysis/profile_slope_spacing.h"

namespace corvane {
namespace {

constexpr double kUndefined = std::numeric_limits<double>::quiet_NaN();

using namespace figure;

// Mean |v|, root mean square, skewness, kurtosis, max, min of the values.
struct Moments {
  double meanAbs = 0, rms = 0, skewness = kUndefined, kurtosis = kUndefined;
  double max = 0, min = 0;
};

// The moments of every value, or with `measuredOnly` of the measured ones alone (NaN left out,
// N their number).
template <bool measuredOnly>
Moments moments(std::span<const double> v) {
  Moments m;
  double sumAbs = 0, sum2 = 0, sum3 = 0, sum4 = 0;
  if constexpr (measuredOnly) {
    m.max = -std::numeric_limits<double>::infinity();
    m.min = std::numeric_limits<double>::infinity();
  } else {
    m.max = m.min = v.empty() ? 0 : v[0];
  }
  std::size_t count = 0;
  for (const double value : v) {
    if constexpr (measuredOnly) {
      if (!isMeasured(value)) continue;
    }
    const double square = value * value;
    sumAbs += std::fabs(value);
    sum2 += square;
    sum3 += square * value;
    sum4 += square * square;
    m.max = std::max(m.max, value);
    m.min = std::min(m.min, value);
    ++count;
  }
  const double n = static_cast<double>(count);
  m.meanAbs = sumAbs / n;
  m.rms = std::sqrt(sum2 / n);
  if (m.rms != 0) {
    m.skewness = sum3 / n / (m.rms * m.rms * m.rms);
    m.kurtosis = sum4 / n / (sum2 / n * (sum2 / n));
  }
  return m;
}

Moments momentsOf(std::span<const double> v, bool holes = false) {
  return holes ? moments<true>(v) : moments<false>(v);
}

// The measured values of `v` gathered into `into`; the span of them.
std::span<const double> gatherMeasured(std::span<const double> v, std::vector<double>& into) {
  into.clear();
  for (const double value : v) {
    if (isMeasured(value)) into.push_back(value);
  }
  return into;
}

// From this many points on, the areal figures have a thread of their own.
constexpr std::size_t kArealThreadFrom = 20000;

// The share of Rz that a profile element must rise above and fall below the mean line.
constexpr double kHeightDiscrimination = 0.1;

// The material ratios of the areal height and volume figures.
constexpr double kSxpUpper = 2.5, kSxpLower = 50;
constexpr double kPeakRatio = 10, kValleyRatio = 80;

// Rk, Rpk, Rvk, Mr1, Mr2 (or Sk, Spk, Svk, Smr1, Smr2), which follow one another.
static_assert(Mr2 == Rk + 4 && Smr2 == Sk + 4);
void writeRkFamily(const RkConstruction& rk, double* family) {
  family[0] = rk.core;
  family[1] = rk.peaks;
  family[2] = rk.valleys;
  family[3] = rk.mr1;
  family[4] = rk.mr2;
}

void addReason(std::vector<std::string>& reasons, std::string_view reason) {
  if (std::find(reasons.begin(), reasons.end(), reason) == reasons.end()) {
    reasons.emplace_back(reason);
  }
}

}  // namespace

namespace {

// x and z of the points into the workspace.
void loadProfile(std::span<const Point> points, StandardWorkspace& workspace) {
  const std::size_t n = points.size();
  workspace.x.resize(n);
  workspace.z.resize(n);
  for (std::size_t i = 0; i < n; ++i) {
    workspace.x[i] = points[i].x;
    workspace.z[i] = points[i].z;
  }
}

// z less its least-squares line in x, into p (all the same size).
void removeLine(std::span<const double> x, std::span<const double> z, std::span<double> p) {
  const std::size_t n = x.size();
  // The least-squares line, about the means for accuracy.
  double meanX = 0, meanZ = 0;
  for (std::size_t i = 0; i < n; ++i) {
    meanX += x[i];
    meanZ += z[i];
  }
  meanX /= static_cast<double>(n);
  meanZ /= static_cast<double>(n);
  double sxx = 0, sxz = 0;
  for (std::size_t i = 0; i < n; ++i) {
    sxx += (x[i] - meanX) * (x[i] - meanX);
    sxz += (x[i] - meanX) * (z[i] - meanZ);
  }
  const double slope = sxx > 0 ? sxz / sxx : 0;  // 0: every x the same, no line to fit
  for (std::size_t i = 0; i < n; ++i) p[i] = (z[i] - meanZ) - slope * (x[i] - meanX);
}

// The S-filter and the form, from workspace.x and z to workspace.primary. The form is fitted to
// the measured points alone; P is NaN at the others.
void removeProfileForm(StandardWorkspace& workspace, const StandardSettings& settings,
                       double spacing, bool holes) {
  const std::vector<double>& x = workspace.x;
  std::vector<double>& z = workspace.z;
  const std::size_t n = x.size();
  if (settings.lambdaS && spacing > 0) {
    workspace.smoothing.meanLine(z, spacing, *settings.lambdaS, z);  // z smoothed in place
  }
  std::vector<double>& p = workspace.primary;
  p.resize(n);
  const auto fit = [&](std::span<const double> fx, std::span<const double> fz,
                       std::span<double> residual) {
    if (settings.form != 1) {
      removePolynomial(fx, fz, settings.form, residual, workspace.profileBasis);
    } else {
      removeLine(fx, fz, residual);
    }
  };
  if (!holes) {
    fit(x, z, p);
    return;
  }
  workspace.compactX.clear();
  workspace.compactZ.clear();
  for (std::size_t i = 0; i < n; ++i) {
    if (!isMeasured(z[i])) continue;
    workspace.compactX.push_back(x[i]);
    workspace.compactZ.push_back(z[i]);
  }
  workspace.compact.resize(workspace.compactX.size());
  fit(workspace.compactX, workspace.compactZ, workspace.compact);
  for (std::size_t i = 0, k = 0; i < n; ++i) {
    p[i] = isMeasured(z[i]) ? workspace.compact[k++] : kNonMeasured;
  }
}

}  // namespace

void primaryProfile(std::span<const Point> points, StandardWorkspace& workspace,
                    const StandardSettings& settings, double spacing) {
  loadProfile(points, workspace);
  removeProfileForm(workspace, settings, spacing, hasNonMeasured(workspace.z));
}

ProfileResult evaluateProfile(std::span<const Point> points, const StandardSettings& settings,
                              StandardWorkspace& workspace) {
  const double cutoff = settings.cutoff;
  ProfileResult result;
  result.figures.fill(kUndefined);
  result.spacing = kUndefined;
  const std::size_t n = points.size();
  if (n < 3) {
    result.reason = kTooFewPoints;
    return result;
  }
  loadProfile(points, workspace);
  const std::vector<double>& x = workspace.x;
  const std::vector<double>& p = workspace.primary;
  // Where points are not measured, their places stay and the figures are of the others.
  const bool holes = hasNonMeasured(workspace.z);
  std::size_t firstMeasured = 0, lastMeasured = n - 1;
  if (holes) {
    std::size_t measured = 0;
    for (const double v : workspace.z) measured += isMeasured(v) ? 1 : 0;
    if (measured < 3) {
      result.reason = kTooFewPoints;
      return result;
    }
    while (!isMeasured(workspace.z[firstMeasured])) ++firstMeasured;
    while (!isMeasured(workspace.z[lastMeasured])) --lastMeasured;
  }

  // Even spacing: every step within 1 % of the median step.
  const double dx = medianStep(x, workspace.meanLine);
  result.spacing = dx;
  bool even = dx > 0 && std::isfinite(dx);
  for (std::size_t i = 0; even && i + 1 < n; ++i) {
    even = std::fabs((x[i + 1] - x[i]) - dx) <= 0.01 * dx;
  }
  if (!even) {
    result.reason = kUnevenSpacing;
    return result;
  }
  removeProfileForm(workspace, settings, dx, holes);
  const Moments primary = momentsOf(p, holes);
  result.figures[Pa] = primary.meanAbs;
  result.figures[Pq] = primary.rms;
  result.figures[Pt] = primary.max - primary.min;

  // The evaluation length, lc/2 in from either end (its first and last measured points), and
  // its whole sampling lengths.
  const double half = cutoff / 2;
  std::size_t first = firstMeasured;
  while (first < n && x[first] - x[firstMeasured] < half) ++first;
  std::size_t last = lastMeasured + 1;  // one past
  while (last > first && x[lastMeasured] - x[last - 1] < half) --last;
  // nr is the largest whole number with x[first] + nr * lc <= x[last - 1]: estimated by a
  // division and settled by that comparison, never counted up one by one (a profile a million
  // cut-offs long would take a million steps, and more than an int holds would overflow).
  int nr = 0;
  if (last > first) {
    const double x0 = x[first];
    const double xEnd = x[last - 1];
    const double estimate = std::floor((xEnd - x0) / cutoff);
    if (!(estimate < static_cast<double>(std::numeric_limits<int>::max() - 1))) {
      // Far more sampling lengths than points: most of them hold none.
      result.figures.fill(kUndefined);
      result.reason = kCutoffBelowSpacing;
      return result;
    }
    nr = std::max(0, static_cast<int>(estimate));
    while (nr > 0 && x0 + static_cast<double>(nr) * cutoff > xEnd) --nr;
    while (x0 + static_cast<double>(nr + 1) * cutoff <= xEnd) ++nr;
  }
  result.nr = nr;
  result.first = first;
  result.last = last;
  if (static_cast<std::size_t>(nr) > last - first) {
    // More sampling lengths than points: one of them holds none.
    result.figures.fill(kUndefined);
    result.reason = kCutoffBelowSpacing;
    return result;
  }
  if (nr == 0) {
    result.reason = kShorterThanCutoff;
    return result;
  }

  std::vector<double>& r = workspace.meanLine;
  r.resize(n);
  if (settings.robust) {
    result.robustPasses = workspace.robust.meanLine(p, dx, cutoff, r);
  } else {
    workspace.filter.meanLine(p, dx, cutoff, r);
  }
  for (std::size_t i = 0; i < n; ++i) r[i] = p[i] - r[i];

  const std::span<const double> evaluation(r.data() + first, last - first);
  const Moments rough = momentsOf(evaluation, holes);
  result.figures[Ra] = rough.meanAbs;
  result.figures[Rq] = rough.rms;
  result.figures[Rsk] = rough.skewness;
  result.figures[Rku] = rough.kurtosis;
  result.figures[Rt] = rough.max - rough.min;

  double peaks = 0, valleys = 0;
  std::size_t i = first;
  const double x0 = x[first];
  int counted = 0;  // the sampling lengths that hold a measured point
  for (int j = 0; j < nr; ++j) {
    const double end = x0 + static_cast<double>(j + 1) * cutoff;
    if (i >= last || x[i] >= end) {
      // No point in this sampling length.
      result.figures.fill(kUndefined);
      result.reason = kCutoffBelowSpacing;
      return result;
    }
    // std::max and std::min keep their first argument when the second is NaN, so
    // non-measured points are passed over; with none measured hi stays below lo.
    double hi = -std::numeric_limits<double>::infinity();
    double lo = std::numeric_limits<double>::infinity();
    for (; i < last && x[i] < end; ++i) {
      hi = std::max(hi, r[i]);
      lo = std::min(lo, r[i]);
    }
    if (hi < lo) continue;  // wholly in a hole: left out
    peaks += hi;
    valleys -= lo;
    ++counted;
  }
  result.samplingLengths = nr;
  result.nr = counted;
  if (counted == 0) {
    // Every sampling length lies in a hole: no whole one counts, as for a short profile.
    std::fill(result.figures.begin() + Ra, result.figures.end(), kUndefined);
    result.reason = kShorterThanCutoff;
    return result;
  }
  result.figures[Rp] = peaks / counted;
  result.figures[Rv] = valleys / counted;
  result.figures[Rz] = (peaks + valleys) / counted;

  result.figures[Rdq] = rootMeanSquareSlope(r, first, last, dx);
  result.figures[RSm] =
      meanElementWidth(x, r, first, last, kHeightDiscrimination * result.figures[Rz]);
  workspace.profileCurve.assign(holes ? gatherMeasured(evaluation, workspace.compact) : evaluation);
  const RkConstruction rk = rkConstruction(workspace.profileCurve);
  writeRkFamily(rk, result.figures.data() + Rk);
  result.ok = true;
  return result;
}

namespace {

// S, the points' z less the least-squares plane of the measured points, into `s`; z taken from
// `heights` where given. S is NaN at the non-measured points.
void planeResidual(std::span<const Point> points, std::span<const double> heights,
                   std::vector<double>& s) {
  const std::size_t n = points.size();
  const auto zOf = [&](std::size_t i) { return heights.empty() ? points[i].z : heights[i]; };
  double mx = 0, my = 0, mz = 0;
  std::size_t measured = 0;
  for (std::size_t i = 0; i < n; ++i) {
    if (!isMeasured(zOf(i))) continue;
    mx += points[i].x;
    my += points[i].y;
    mz += zOf(i);
    ++measured;
  }
  const double count = static_cast<double>(measured);
  mx /= count;
  my /= count;
  mz /= count;
  double sxx = 0, sxy = 0, syy = 0, sxz = 0, syz = 0;
  for (std::size_t i = 0; i < n; ++i) {
    if (!isMeasured(zOf(i))) continue;
    const double dx = points[i].x - mx, dy = points[i].y - my, dz = zOf(i) - mz;
    sxx += dx * dx;
    sxy += dx * dy;
    syy += dy * dy;
    sxz += dx * dz;
    syz += dy * dz;
  }
  // The plane through the means; when the points lie on one line in x and y (a single scan
  // line), the line's direction alone fixes the fit and the other slope is taken as 0.
  double b = 0, c = 0;
  const double det = sxx * syy - sxy * sxy;
  if (det > 1e-12 * sxx * syy && det > 0) {
    b = (sxz * syy - syz * sxy) / det;
    c = (syz * sxx - sxz * sxy) / det;
  } else if (sxx > 0) {
    b = sxz / sxx;
  } else if (syy > 0) {
    c = syz / syy;
  }
  s.resize(n);
  for (std::size_t i = 0; i < n; ++i) {
    s[i] = (zOf(i) - mz) - b * (points[i].x - mx) - c * (points[i].y - my);
  }
}

}  // namespace

void arealAnalysis(std::span<const Point> points, StandardResult& result,
                   StandardWorkspace& workspace, const std::atomic<bool>* cancel) {
  const auto cancelled = [cancel] {
    return cancel != nullptr && cancel->load(std::memory_order_relaxed);
  };
  const StandardSettings& settings = result.settings;
  ArealFigures& figures = result.areal;
  figures.fill(kUndefined);
  result.grid.reset();
  result.arealReasons.clear();
  result.scaleLimited = false;
  const std::size_t n = points.size();
  std::size_t measured = 0;
  for (const Point& p : points) measured += isMeasured(p.z) ? 1 : 0;
  result.measured = measured;
  result.nonMeasured = n - measured;
  workspace.measuredS = {};
  if (measured == 0) return;
  result.grid = regularGrid(points);
  const bool filters = settings.lambdaS || settings.arealCutoff;
  if (filters && !result.grid) addReason(result.arealReasons, kNotARegularGrid);

  // The S-filter: on a grid, z smoothed by the areal Gaussian of cut-off lambdaS.
  std::span<const double> heights;
  if (settings.lambdaS && result.grid) {
    workspace.arealZ.resize(n);
    workspace.arealHeights.resize(n);
    for (std::size_t i = 0; i < n; ++i) workspace.arealZ[i] = points[i].z;
    arealMeanSurface(workspace.arealZ, *result.grid, *settings.lambdaS, workspace.arealFilter,
                     workspace.column, workspace.arealHeights);
    heights = workspace.arealHeights;
  }
  // The F-operator: the plane, or the polynomial of the settings' degree.
  std::vector<double>& s = workspace.residual;
  if (settings.form == 1) {
    planeResidual(points, heights, s);
  } else {
    removeSurfacePolynomial(points, settings.form, result.grid, heights, s);
  }
  if (cancelled()) return;
  // The L-filter: on a grid, S less its areal Gaussian mean surface of cut-off arealCutoff.
  if (settings.arealCutoff && result.grid) {
    workspace.arealHeights.resize(n);
    arealMeanSurface(s, *result.grid, *settings.arealCutoff, workspace.arealFilter,
                     workspace.column, workspace.arealHeights);
    for (std::size_t i = 0; i < n; ++i) s[i] -= workspace.arealHeights[i];
    result.scaleLimited = true;
  }
  // The figures of the heights are those of the measured points.
  const std::span<const double> heightsS =
      measured == n ? std::span<const double>(s) : gatherMeasured(s, workspace.measuredResidual);
  workspace.measuredS = heightsS;
  const Moments m = momentsOf(heightsS);
  figures[Sa] = m.meanAbs;
  figures[Sq] = m.rms;
  figures[Ssk] = m.skewness;
  figures[Sku] = m.kurtosis;
  figures[Sp] = m.max;
  figures[Sv] = -m.min;
  figures[Sz] = m.max - m.min;
  if (m.rms == 0) addReason(result.arealReasons, kAllHeightsEqual);

  MaterialRatioCurve& curve = workspace.arealCurve;
  curve.assign(heightsS);
  const RkConstruction rk = rkConstruction(curve);
  writeRkFamily(rk, figures.data() + Sk);
  figures[Sxp] = curve.heightAt(kSxpUpper) - curve.heightAt(kSxpLower);
  const Volumes v = volumes(curve, kPeakRatio, kValleyRatio);
  figures[Vmp] = v.peakMaterial;
  figures[Vmc] = v.coreMaterial;
  figures[Vvc] = v.coreVoid;
  figures[Vvv] = v.valleyVoid;

  if (!result.grid) {
    addReason(result.arealReasons, kNotARegularGrid);
    return;
  }
  if (cancelled()) return;
  figures[Sdq] = rootMeanSquareGradient(s, *result.grid);
  figures[Sdr] = developedAreaRatio(s, *result.grid);
  if (std::isnan(figures[Sdq]) || std::isnan(figures[Sdr])) {
    addReason(result.arealReasons, kTooFewMeasured);
  }
  workspace.autocorrelation.compute(s, *result.grid);
  const TextureDirection texture = textureDirection(workspace.autocorrelation, *result.grid);
  figures[Sal] = texture.sal;
  figures[Str] = texture.str;
  if (texture.unpaired) {
    addReason(result.arealReasons, kUnpairedLag);
  } else if (!texture.decays) {
    addReason(result.arealReasons, kNoDecay);
  }
}

StandardResult standardAnalysis(std::span<const Point> all, const StandardSettings& settings,
                                StandardWorkspace& workspace, const std::atomic<bool>* cancel) {
  const auto cancelled = [cancel] {
    return cancel != nullptr && cancel->load(std::memory_order_relaxed);
  };
  StandardResult result;
  result.cutoff = settings.cutoff;
  result.settings = settings;
  // The areal figures and the profiles share no buffer and no result member, so a large file
  // has its areal half worked out on a thread of its own while this one does the profiles.
  // Small files are not worth a thread; nor does a thread that cannot be made stop anything.
  std::thread areal;
  if (all.size() >= kArealThreadFrom) {
    try {
      areal = std::thread([&] { arealAnalysis(all, result, workspace, cancel); });
    } catch (const std::system_error&) {
    }
  }
  if (!areal.joinable()) arealAnalysis(all, result, workspace, cancel);

  std::size_t first = 0;
  for (std::size_t i = 0; i < all.size(); ++i) {
    if (i + 1 == all.size() || all[i].x > all[i + 1].x) {
      if (cancelled()) break;
      ProfileResult profile =
          evaluateProfile(all.subspan(first, i + 1 - first), settings, workspace);
      profile.profile = static_cast<int>(result.profiles.size()) + 1;
      result.profiles.push_back(std::move(profile));
      first = i + 1;
    }
  }

  if (areal.joinable()) areal.join();
  if (cancelled()) {
    result.cancelled = true;
    return result;
  }

  ProfileFigures sums{};
  std::array<int, kProfileFigureNames.size()> defined{};
  for (const ProfileResult& profile : result.profiles) {
    if (!profile.ok) continue;
    ++result.evaluated;
    for (std::size_t f = 0; f < sums.size(); ++f) {
      if (std::isnan(profile.figures[f])) continue;
      sums[f] += profile.figures[f];
      ++defined[f];
    }
  }
  for (std::size_t f = 0; f < sums.size(); ++f) {
    result.mean[f] = defined[f] == 0 ? kUndefined : sums[f] / defined[f];
  }
  return result;
}

}  // namespace corvane
