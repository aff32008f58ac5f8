#include "analysis/standard_parameters.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace corvane {
namespace {

constexpr double kUndefined = std::numeric_limits<double>::quiet_NaN();

enum Figure { Pa, Pq, Pt, Ra, Rq, Rsk, Rku, Rp, Rv, Rz, Rt };

// Mean |v|, root mean square, skewness, kurtosis, max, min of the values.
struct Moments {
  double meanAbs = 0, rms = 0, skewness = kUndefined, kurtosis = kUndefined;
  double max = 0, min = 0;
};

Moments momentsOf(std::span<const double> v) {
  Moments m;
  double sumAbs = 0, sum2 = 0, sum3 = 0, sum4 = 0;
  m.max = m.min = v.empty() ? 0 : v[0];
  for (const double value : v) {
    const double square = value * value;
    sumAbs += std::fabs(value);
    sum2 += square;
    sum3 += square * value;
    sum4 += square * square;
    m.max = std::max(m.max, value);
    m.min = std::min(m.min, value);
  }
  const double n = static_cast<double>(v.size());
  m.meanAbs = sumAbs / n;
  m.rms = std::sqrt(sum2 / n);
  if (m.rms != 0) {
    m.skewness = sum3 / n / (m.rms * m.rms * m.rms);
    m.kurtosis = sum4 / n / (sum2 / n * (sum2 / n));
  }
  return m;
}

// The median of the steps between consecutive x; for an even count the mean of the middle two.
double medianStep(std::span<const double> x, std::vector<double>& steps) {
  steps.resize(x.size() - 1);
  for (std::size_t i = 0; i + 1 < x.size(); ++i) steps[i] = x[i + 1] - x[i];
  const std::size_t half = steps.size() / 2;
  std::nth_element(steps.begin(), steps.begin() + static_cast<std::ptrdiff_t>(half), steps.end());
  const double upper = steps[half];
  if (steps.size() % 2 == 1) return upper;
  const double lower =
      *std::max_element(steps.begin(), steps.begin() + static_cast<std::ptrdiff_t>(half));
  return lower + (upper - lower) / 2;
}

}  // namespace

ProfileResult evaluateProfile(std::span<const Point> points, double cutoff,
                              StandardWorkspace& workspace) {
  ProfileResult result;
  result.figures.fill(kUndefined);
  result.spacing = kUndefined;
  const std::size_t n = points.size();
  if (n < 3) {
    result.reason = kTooFewPoints;
    return result;
  }
  std::vector<double>& x = workspace.x;
  std::vector<double>& z = workspace.z;
  x.resize(n);
  z.resize(n);
  for (std::size_t i = 0; i < n; ++i) {
    x[i] = points[i].x;
    z[i] = points[i].z;
  }

  // Even spacing: every step within 1 % of the median step.
  const double dx = medianStep(x, workspace.primary);
  result.spacing = dx;
  bool even = dx > 0 && std::isfinite(dx);
  for (std::size_t i = 0; even && i + 1 < n; ++i) {
    even = std::fabs((x[i + 1] - x[i]) - dx) <= 0.01 * dx;
  }
  if (!even) {
    result.reason = kUnevenSpacing;
    return result;
  }

  // Form removal: the least-squares line, about the means for accuracy.
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
  const double slope = sxz / sxx;  // sxx > 0: the x rise
  std::vector<double>& p = workspace.primary;
  p.resize(n);
  for (std::size_t i = 0; i < n; ++i) p[i] = (z[i] - meanZ) - slope * (x[i] - meanX);
  const Moments primary = momentsOf(p);
  result.figures[Pa] = primary.meanAbs;
  result.figures[Pq] = primary.rms;
  result.figures[Pt] = primary.max - primary.min;

  // The evaluation length, lc/2 in from either end, and its whole sampling lengths.
  const double half = cutoff / 2;
  std::size_t first = 0;
  while (first < n && x[first] - x[0] < half) ++first;
  std::size_t last = n;  // one past
  while (last > first && x[n - 1] - x[last - 1] < half) --last;
  int nr = 0;
  if (last > first) {
    const double x0 = x[first];
    const double xEnd = x[last - 1];
    while (x0 + static_cast<double>(nr + 1) * cutoff <= xEnd) ++nr;
  }
  result.nr = nr;
  if (nr == 0) {
    result.reason = kShorterThanCutoff;
    return result;
  }

  std::vector<double>& r = workspace.meanLine;
  r.resize(n);
  workspace.filter.meanLine(p, dx, cutoff, r);
  for (std::size_t i = 0; i < n; ++i) r[i] = p[i] - r[i];

  const std::span<const double> evaluation(r.data() + first, last - first);
  const Moments rough = momentsOf(evaluation);
  result.figures[Ra] = rough.meanAbs;
  result.figures[Rq] = rough.rms;
  result.figures[Rsk] = rough.skewness;
  result.figures[Rku] = rough.kurtosis;
  result.figures[Rt] = rough.max - rough.min;

  double peaks = 0, valleys = 0;
  std::size_t i = first;
  const double x0 = x[first];
  for (int j = 0; j < nr; ++j) {
    const double end = x0 + static_cast<double>(j + 1) * cutoff;
    if (i >= last || x[i] >= end) {
      // No point in this sampling length.
      result.figures.fill(kUndefined);
      result.reason = kCutoffBelowSpacing;
      return result;
    }
    double hi = r[i], lo = r[i];
    for (; i < last && x[i] < end; ++i) {
      hi = std::max(hi, r[i]);
      lo = std::min(lo, r[i]);
    }
    peaks += hi;
    valleys -= lo;
  }
  result.figures[Rp] = peaks / nr;
  result.figures[Rv] = valleys / nr;
  result.figures[Rz] = (peaks + valleys) / nr;
  result.ok = true;
  return result;
}

ArealFigures arealFigures(std::span<const Point> points) {
  ArealFigures figures;
  figures.fill(kUndefined);
  const std::size_t n = points.size();
  if (n == 0) return figures;
  double mx = 0, my = 0, mz = 0;
  for (const Point& p : points) {
    mx += p.x;
    my += p.y;
    mz += p.z;
  }
  const double count = static_cast<double>(n);
  mx /= count;
  my /= count;
  mz /= count;
  double sxx = 0, sxy = 0, syy = 0, sxz = 0, syz = 0;
  for (const Point& p : points) {
    const double dx = p.x - mx, dy = p.y - my, dz = p.z - mz;
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
  std::vector<double> s(n);
  for (std::size_t i = 0; i < n; ++i) {
    const Point& p = points[i];
    s[i] = (p.z - mz) - b * (p.x - mx) - c * (p.y - my);
  }
  const Moments m = momentsOf(s);
  figures = {m.meanAbs, m.rms, m.skewness, m.kurtosis, m.max, -m.min, m.max - m.min};
  return figures;
}

StandardResult standardAnalysis(const PointTable& table, double cutoff,
                                StandardWorkspace& workspace) {
  StandardResult result;
  result.cutoff = cutoff;
  const int count = table.count();
  const std::span<const Point> all(&table.row(1), static_cast<std::size_t>(std::max(count, 0)));
  result.areal = arealFigures(all);

  std::size_t first = 0;
  for (std::size_t i = 0; i < all.size(); ++i) {
    if (i + 1 == all.size() || all[i].x > all[i + 1].x) {
      ProfileResult profile = evaluateProfile(all.subspan(first, i + 1 - first), cutoff, workspace);
      profile.profile = static_cast<int>(result.profiles.size()) + 1;
      result.profiles.push_back(std::move(profile));
      first = i + 1;
    }
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
