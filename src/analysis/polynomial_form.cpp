#include "analysis/polynomial_form.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <utility>

#include "analysis/non_measured.h"

namespace corvane {
namespace {

// Centre and half range of values: the map onto -1 .. 1.
std::pair<double, double> scaling(double low, double high) {
  const double centre = low + (high - low) / 2;
  const double half = (high - low) / 2;
  return {centre, half > 0 ? half : 1};
}

// P0(t) .. Pd(t), the Legendre polynomials.
void legendre(double t, int degree, double* p) {
  p[0] = 1;
  if (degree >= 1) p[1] = t;
  for (int k = 1; k < degree; ++k) p[k + 1] = ((2 * k + 1) * t * p[k] - k * p[k - 1]) / (k + 1);
}

// Solves G c = rhs for the symmetric positive semidefinite G (size n, row-major) by a Cholesky
// factorisation that drops the terms whose pivot vanishes (the points cannot tell them from the
// others, as on a single line): their coefficients are 0.
std::vector<double> solve(std::vector<double> g, std::vector<double> rhs, std::size_t n) {
  double largest = 0;
  for (std::size_t i = 0; i < n; ++i) largest = std::max(largest, g[i * n + i]);
  std::vector<bool> dropped(n, false);
  for (std::size_t k = 0; k < n; ++k) {
    double pivot = g[k * n + k];
    for (std::size_t m = 0; m < k; ++m) pivot -= g[k * n + m] * g[k * n + m];
    if (!(pivot > 1e-13 * largest)) {
      dropped[k] = true;
      for (std::size_t i = k; i < n; ++i) g[i * n + k] = 0;
      continue;
    }
    const double root = std::sqrt(pivot);
    g[k * n + k] = root;
    for (std::size_t i = k + 1; i < n; ++i) {
      double sum = g[i * n + k];
      for (std::size_t m = 0; m < k; ++m) sum -= g[i * n + m] * g[k * n + m];
      g[i * n + k] = sum / root;
    }
  }
  // L y = rhs, then L' c = y; the dropped terms stay 0.
  std::vector<double> c(n, 0.0);
  for (std::size_t i = 0; i < n; ++i) {
    if (dropped[i]) continue;
    double sum = rhs[i];
    for (std::size_t m = 0; m < i; ++m) sum -= g[i * n + m] * c[m];
    c[i] = sum / g[i * n + i];
  }
  for (std::size_t i = n; i-- > 0;) {
    if (dropped[i]) continue;
    double sum = c[i];
    for (std::size_t m = i + 1; m < n; ++m) sum -= g[m * n + i] * c[m];
    c[i] = sum / g[i * n + i];
  }
  return c;
}

// The polynomials of degree 1 .. `degree` orthonormal over x (and to the constant), by
// Forsythe's three-term recurrence in x centred and scaled to -1 .. 1:
// p(k+1) = (t - alpha) p(k) - beta p(k-1), alpha = <t p(k), p(k)> / <p(k), p(k)>,
// beta = <p(k), p(k)> / <p(k-1), p(k-1)>, each stored divided by its norm.
void makeBasis(std::span<const double> x, int degree, ProfileBasis& basis) {
  const std::size_t n = x.size();
  basis.x.assign(x.begin(), x.end());
  basis.degree = degree;
  basis.terms = 0;
  basis.values.resize(static_cast<std::size_t>(degree) * n);
  const auto [low, high] = std::minmax_element(x.begin(), x.end());
  const auto [centre, half] = scaling(*low, *high);
  std::vector<double> t(n), previous(n, 1.0), current(n);
  double alpha = 0;
  for (std::size_t i = 0; i < n; ++i) {
    t[i] = (x[i] - centre) / half;
    alpha += t[i];
  }
  alpha /= static_cast<double>(n);
  for (std::size_t i = 0; i < n; ++i) current[i] = t[i] - alpha;
  double previousNorm = static_cast<double>(n);
  for (int k = 1; k <= degree; ++k) {
    double norm = 0;
    for (const double v : current) norm += v * v;
    if (!(norm > 0)) return;  // fewer distinct x than terms: nothing more to take off
    const double root = std::sqrt(norm);
    double* q = basis.values.data() + basis.terms * n;
    for (std::size_t i = 0; i < n; ++i) q[i] = current[i] / root;
    ++basis.terms;
    if (k == degree) return;
    double weighted = 0;
    for (std::size_t i = 0; i < n; ++i) weighted += t[i] * current[i] * current[i];
    alpha = weighted / norm;
    const double beta = norm / previousNorm;
    for (std::size_t i = 0; i < n; ++i) {
      const double next = (t[i] - alpha) * current[i] - beta * previous[i];
      previous[i] = current[i];
      current[i] = next;
    }
    previousNorm = norm;
  }
}

}  // namespace

void removePolynomial(std::span<const double> x, std::span<const double> z, int degree,
                      std::span<double> residual, ProfileBasis& basis) {
  const std::size_t n = x.size();
  std::copy(z.begin(), z.end(), residual.begin());
  if (n == 0) return;
  // The constant: the mean.
  double mean = 0;
  for (const double v : residual) mean += v;
  mean /= static_cast<double>(n);
  for (double& v : residual) v -= mean;
  if (degree <= 0) return;
  if (basis.degree != degree || !std::equal(x.begin(), x.end(), basis.x.begin(), basis.x.end())) {
    makeBasis(x, degree, basis);
  }
  // The projections on every polynomial of the basis, then all of them taken off at once: the
  // basis is orthonormal, so they do not depend on one another.
  const std::size_t terms = basis.terms;
  const double* q = basis.values.data();
  std::array<double, kMostFormDegree> projection{};
  for (std::size_t k = 0; k < terms; ++k) {
    for (std::size_t i = 0; i < n; ++i) projection[k] += residual[i] * q[k * n + i];
  }
  for (std::size_t k = 0; k < terms; ++k) {
    for (std::size_t i = 0; i < n; ++i) residual[i] -= projection[k] * q[k * n + i];
  }
}

void removeSurfacePolynomial(std::span<const Point> points, int degree,
                             const std::optional<Grid>& grid, std::span<const double> heights,
                             std::vector<double>& residual) {
  const std::size_t n = points.size();
  residual.resize(n);
  if (n == 0) return;
  degree = std::clamp(degree, 0, kMostFormDegree);
  const auto zOf = [&](std::size_t k) { return heights.empty() ? points[k].z : heights[k]; };
  double lowX = points[0].x, highX = lowX, lowY = points[0].y, highY = lowY, meanZ = 0;
  std::size_t measured = 0;
  for (std::size_t k = 0; k < n; ++k) {
    lowX = std::min(lowX, points[k].x);
    highX = std::max(highX, points[k].x);
    lowY = std::min(lowY, points[k].y);
    highY = std::max(highY, points[k].y);
    if (!isMeasured(zOf(k))) continue;
    meanZ += zOf(k);
    ++measured;
  }
  if (measured == 0) {
    std::fill(residual.begin(), residual.end(), kNonMeasured);
    return;
  }
  meanZ /= static_cast<double>(measured);
  for (std::size_t k = 0; k < n; ++k) residual[k] = zOf(k) - meanZ;
  if (degree == 0) return;
  // Plain names, not structured bindings: the lambda below uses them, which clang 14 refuses.
  const std::pair<double, double> alongX = scaling(lowX, highX), alongY = scaling(lowY, highY);
  const double cx = alongX.first, hx = alongX.second, cy = alongY.first, hy = alongY.second;

  // The terms (a, b), a + b <= degree.
  std::vector<std::pair<int, int>> terms;
  for (int total = 0; total <= degree; ++total) {
    for (int a = total; a >= 0; --a) terms.emplace_back(a, total - a);
  }
  const std::size_t count = terms.size();
  const std::size_t d = static_cast<std::size_t>(degree) + 1;

  // A true grid (every line at the same x positions, one y per line) with every point measured
  // separates its sums.
  bool separable = grid.has_value() && measured == n;
  for (std::size_t k = 0; separable && k < n; ++k) {
    const std::size_t i = k % grid->nx, j = k / grid->nx;
    separable = points[k].x == points[i].x && points[k].y == points[j * grid->nx].y;
  }

  std::vector<double> g(count * count, 0.0), basis(count), lx(d), ly(d);
  if (separable) {
    // Legendre values by term along the line (px, a-major) and per line (py, line-major).
    const std::size_t nx = grid->nx, ny = grid->ny;
    std::vector<double> px(d * nx), py(ny * d), values(d), gx(d * d, 0.0), gy(d * d, 0.0);
    for (std::size_t i = 0; i < nx; ++i) {
      legendre((points[i].x - cx) / hx, degree, values.data());
      for (std::size_t a = 0; a < d; ++a) px[a * nx + i] = values[a];
    }
    for (std::size_t j = 0; j < ny; ++j) {
      legendre((points[j * nx].y - cy) / hy, degree, &py[j * d]);
    }
    for (std::size_t a = 0; a < d; ++a) {
      for (std::size_t c = 0; c < d; ++c) {
        for (std::size_t i = 0; i < nx; ++i) gx[a * d + c] += px[a * nx + i] * px[c * nx + i];
      }
    }
    for (std::size_t j = 0; j < ny; ++j) {
      for (std::size_t b = 0; b < d; ++b) {
        for (std::size_t e = 0; e < d; ++e) gy[b * d + e] += py[j * d + b] * py[j * d + e];
      }
    }
    for (std::size_t s = 0; s < count; ++s) {
      for (std::size_t t = 0; t < count; ++t) {
        const auto [a, b] = terms[s];
        const auto [c, e] = terms[t];
        g[s * count + t] = gx[static_cast<std::size_t>(a) * d + static_cast<std::size_t>(c)] *
                           gy[static_cast<std::size_t>(b) * d + static_cast<std::size_t>(e)];
      }
    }
    // The Gram matrix is that of the grid's x times that of its y, both of Legendre values on
    // evenly spaced points, well conditioned: one fit is exact to rounding.
    std::vector<double> columns(d * nx), row(d);
    {
      // The sums over the lines of P_b(v) r at every x, then over x with P_a(u).
      std::fill(columns.begin(), columns.end(), 0.0);
      for (std::size_t j = 0; j < ny; ++j) {
        const double* r = &residual[j * nx];
        for (std::size_t b = 0; b < d; ++b) {
          const double w = py[j * d + b];
          double* column = &columns[b * nx];
          for (std::size_t i = 0; i < nx; ++i) column[i] += w * r[i];
        }
      }
      std::vector<double> rhs(count, 0.0);
      for (std::size_t s = 0; s < count; ++s) {
        const double* u = &px[static_cast<std::size_t>(terms[s].first) * nx];
        const double* column = &columns[static_cast<std::size_t>(terms[s].second) * nx];
        for (std::size_t i = 0; i < nx; ++i) rhs[s] += u[i] * column[i];
      }
      const std::vector<double> c = solve(g, rhs, count);
      for (std::size_t j = 0; j < ny; ++j) {
        std::fill(row.begin(), row.end(), 0.0);  // the line's polynomial in u
        for (std::size_t s = 0; s < count; ++s) {
          const auto [a, b] = terms[s];
          row[static_cast<std::size_t>(a)] += c[s] * py[j * d + static_cast<std::size_t>(b)];
        }
        double* r = &residual[j * nx];
        for (std::size_t a = 0; a < d; ++a) {
          const double* u = &px[a * nx];
          for (std::size_t i = 0; i < nx; ++i) r[i] -= row[a] * u[i];
        }
      }
    }
    return;
  }

  const auto basisAt = [&](const Point& p) {
    legendre((p.x - cx) / hx, degree, lx.data());
    legendre((p.y - cy) / hy, degree, ly.data());
    for (std::size_t s = 0; s < count; ++s) {
      basis[s] = lx[static_cast<std::size_t>(terms[s].first)] *
                 ly[static_cast<std::size_t>(terms[s].second)];
    }
  };
  for (std::size_t k = 0; k < n; ++k) {
    if (!isMeasured(residual[k])) continue;  // the fit is of the measured points
    basisAt(points[k]);
    for (std::size_t s = 0; s < count; ++s) {
      for (std::size_t t = s; t < count; ++t) g[s * count + t] += basis[s] * basis[t];
    }
  }
  for (std::size_t s = 0; s < count; ++s) {
    for (std::size_t t = 0; t < s; ++t) g[s * count + t] = g[t * count + s];
  }
  for (int round = 0; round < 2; ++round) {  // the fit, then once more on its residual
    std::vector<double> rhs(count, 0.0);
    for (std::size_t k = 0; k < n; ++k) {
      if (!isMeasured(residual[k])) continue;
      basisAt(points[k]);
      for (std::size_t s = 0; s < count; ++s) rhs[s] += basis[s] * residual[k];
    }
    const std::vector<double> c = solve(g, rhs, count);
    for (std::size_t k = 0; k < n; ++k) {
      if (!isMeasured(residual[k])) continue;
      basisAt(points[k]);
      double fit = 0;
      for (std::size_t s = 0; s < count; ++s) fit += c[s] * basis[s];
      residual[k] -= fit;
    }
  }
}

}  // namespace corvane
