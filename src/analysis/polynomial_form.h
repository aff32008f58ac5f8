#pragma once

#include <optional>
#include <span>
#include <vector>

#include "analysis/areal_grid.h"
#include "data/point_table.h"

namespace corvane {

// The form a polynomial of degree 0 .. 6 describes, taken off by least squares.
inline constexpr int kMostFormDegree = 6;

// The polynomials orthonormal over a profile's x positions, degree 1 up: made for one profile
// and kept for the next, which on a grid lies at the same positions.
struct ProfileBasis {
  std::vector<double> x;  // the positions it was made for
  int degree = 0;
  std::size_t terms = 0;       // polynomials made: fewer than the degree where x has too few values
  std::vector<double> values;  // each polynomial at every position, one after the other
};

// z less its least-squares polynomial of degree `degree` in x, into `residual` (the same size).
// The fit runs on polynomials orthogonal over the points (Forsythe's three-term recurrence in x
// centred and scaled to -1 .. 1), each taken off the residual in turn, so that degree 6 on x in
// the thousands keeps the heights to the last few digits. `basis` is reused when x is the one
// it was made for.
void removePolynomial(std::span<const double> x, std::span<const double> z, int degree,
                      std::span<double> residual, ProfileBasis& basis);

// The points' z less their least-squares polynomial in x and y of total degree `degree` (the
// terms x^a y^b with a + b <= degree), into `residual`. The basis is the products of Legendre
// polynomials of x and y centred and scaled to -1 .. 1, nearly orthogonal over points that
// spread evenly, and the fit is refined once on its own residual. On a regular grid the sums
// separate into sums along the rows and then the columns, so the cost grows with the points
// times the degree; elsewhere with the points times the square of the number of terms.
// `heights`, when not empty, stand for the points' z (one each). Non-measured points (z NaN)
// take no part in the fit, and their residual is NaN.
void removeSurfacePolynomial(std::span<const Point> points, int degree,
                             const std::optional<Grid>& grid, std::span<const double> heights,
                             std::vector<double>& residual);

}  // namespace corvane
