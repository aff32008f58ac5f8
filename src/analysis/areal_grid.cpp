#include "analysis/areal_grid.h"

#include <algorithm>
#include <cmath>

namespace corvane {

double medianStep(std::span<const double> values, std::vector<double>& scratch) {
  scratch.resize(values.size() - 1);
  for (std::size_t i = 0; i + 1 < values.size(); ++i) scratch[i] = values[i + 1] - values[i];
  const std::size_t half = scratch.size() / 2;
  const auto middle = scratch.begin() + static_cast<std::ptrdiff_t>(half);
  std::nth_element(scratch.begin(), middle, scratch.end());
  const double upper = *middle;
  if (scratch.size() % 2 == 1) return upper;
  const double lower = *std::max_element(scratch.begin(), middle);
  return lower + (upper - lower) / 2;
}

namespace {

// Every step between consecutive values within 1 % of the median step, which is not 0.
std::optional<double> evenStep(std::span<const double> values, std::vector<double>& scratch) {
  const double step = medianStep(values, scratch);
  if (!(std::fabs(step) > 0) || !std::isfinite(step)) return std::nullopt;
  for (std::size_t i = 0; i + 1 < values.size(); ++i) {
    if (!(std::fabs((values[i + 1] - values[i]) - step) <= 0.01 * std::fabs(step))) {
      return std::nullopt;
    }
  }
  return step;
}

}  // namespace

std::optional<Grid> regularGrid(std::span<const Point> points) {
  const std::size_t n = points.size();
  std::size_t nx = 1;
  while (nx < n && points[nx - 1].x <= points[nx].x) ++nx;
  if (nx < 3 || n % nx != 0 || n / nx < 3) return std::nullopt;
  const std::size_t ny = n / nx;

  std::vector<double> values(std::max(nx, ny)), scratch;
  for (std::size_t i = 0; i < nx; ++i) values[i] = points[i].x;
  const auto dx = evenStep(std::span(values.data(), nx), scratch);
  if (!dx) return std::nullopt;
  const double tolerance = 0.01 * *dx;
  for (std::size_t j = 0; j < ny; ++j) {
    const Point* line = points.data() + j * nx;
    // The line ends where the next starts: x drops there (and nowhere inside it).
    if (j + 1 < ny && !(line[nx - 1].x > line[nx].x)) return std::nullopt;
    for (std::size_t i = 0; i < nx; ++i) {
      if (line[i].y != line[0].y || !(std::fabs(line[i].x - points[i].x) <= tolerance)) {
        return std::nullopt;
      }
      if (i > 0 && line[i - 1].x > line[i].x) return std::nullopt;
    }
    values[j] = line[0].y;
  }
  const auto dy = evenStep(std::span(values.data(), ny), scratch);
  if (!dy) return std::nullopt;
  return Grid{nx, ny, *dx, std::fabs(*dy)};
}

namespace {

// Sdq over a grid with non-measured points: a neighbour that is not measured is one beyond the
// edge.
double maskedRootMeanSquareGradient(std::span<const double> s, const Grid& g) {
  const std::size_t nx = g.nx, ny = g.ny;
  const auto at = [&](std::size_t i, std::size_t j) { return s[j * nx + i]; };
  // The difference at `here` from its neighbours `before` and `after` (NaN beyond the edge or
  // not measured), `step` apart.
  const auto difference = [](double before, double here, double after, double step) {
    const bool low = isMeasured(before), high = isMeasured(after);
    if (low && high) return (after - before) / (2 * step);
    if (high) return (after - here) / step;
    if (low) return (here - before) / step;
    return kNonMeasured;
  };
  double sum = 0;
  std::size_t count = 0;
  for (std::size_t j = 0; j < ny; ++j) {
    for (std::size_t i = 0; i < nx; ++i) {
      const double here = at(i, j);
      if (!isMeasured(here)) continue;
      const double gx = difference(i > 0 ? at(i - 1, j) : kNonMeasured, here,
                                   i + 1 < nx ? at(i + 1, j) : kNonMeasured, g.dx);
      const double gy = difference(j > 0 ? at(i, j - 1) : kNonMeasured, here,
                                   j + 1 < ny ? at(i, j + 1) : kNonMeasured, g.dy);
      if (!isMeasured(gx) || !isMeasured(gy)) continue;
      sum += gx * gx + gy * gy;
      ++count;
    }
  }
  return count == 0 ? kNonMeasured : std::sqrt(sum / static_cast<double>(count));
}

}  // namespace

double rootMeanSquareGradient(std::span<const double> s, const Grid& g) {
  if (hasNonMeasured(s)) return maskedRootMeanSquareGradient(s, g);
  const std::size_t nx = g.nx, ny = g.ny;
  // The differences of numpy.gradient: (f(+1) - f(-1)) / 2h inside, first-order at the edges.
  double sum = 0;
  for (std::size_t j = 0; j < ny; ++j) {
    const double* row = s.data() + j * nx;
    const double* before = j == 0 ? row : row - nx;
    const double* after = j + 1 == ny ? row : row + nx;
    const double yStep = (j == 0 || j + 1 == ny ? 1 : 2) * g.dy;
    const auto add = [&](std::size_t i, double gx) {
      const double gy = (after[i] - before[i]) / yStep;
      sum += gx * gx + gy * gy;
    };
    add(0, (row[1] - row[0]) / g.dx);
    for (std::size_t i = 1; i + 1 < nx; ++i) add(i, (row[i + 1] - row[i - 1]) / (2 * g.dx));
    add(nx - 1, (row[nx - 1] - row[nx - 2]) / g.dx);
  }
  return std::sqrt(sum / static_cast<double>(nx * ny));
}

double developedAreaRatio(std::span<const double> s, const Grid& g) {
  const std::size_t nx = g.nx, ny = g.ny;
  // Each row of cells is worked out into a buffer first: a loop of square roots and divisions
  // with no sum running through it, which the compiler turns into vector instructions.
  std::vector<double> excess(nx - 1);
  double sum = 0;
  // A cell with a non-measured corner has a NaN excess and is left out.
  const bool holes = hasNonMeasured(s);
  std::size_t cells = 0;
  for (std::size_t j = 0; j + 1 < ny; ++j) {
    const double* row = s.data() + j * nx;
    const double* next = row + nx;
    for (std::size_t i = 0; i + 1 < nx; ++i) {
      const double gx = ((row[i + 1] - row[i]) + (next[i + 1] - next[i])) / (2 * g.dx);
      const double gy = ((next[i] - row[i]) + (next[i + 1] - row[i + 1])) / (2 * g.dy);
      // sqrt(1 + g^2) - 1, without the cancellation on a nearly flat cell.
      const double g2 = gx * gx + gy * gy;
      excess[i] = g2 / (std::sqrt(1 + g2) + 1);
    }
    if (!holes) {
      for (const double e : excess) sum += e;
      continue;
    }
    for (const double e : excess) {
      if (!isMeasured(e)) continue;
      sum += e;
      ++cells;
    }
  }
  if (!holes) cells = (nx - 1) * (ny - 1);
  return cells == 0 ? kNonMeasured : 100 * sum / static_cast<double>(cells);
}

}  // namespace corvane
