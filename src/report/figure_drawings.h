#pragma once

#include <QImage>
#include <QPainter>
#include <QRectF>

#include "analysis/surface_curves.h"

namespace corvane::report {

// How lengths and heights are named on the figures: "file units" until the unit is known, then
// its symbol (mm, µm, m).
struct UnitNames {
  QString many = QStringLiteral("file units");
  QString one = QStringLiteral("file unit");
};

// The figures of a surface's page, each drawn to fill `rect` of the painter (a PDF page or an
// SVG file).

// The height map as an image: one pixel per grid point or raster cell, viridis by S, rows from
// the highest y at the top; cells without a point are transparent, and non-measured points
// `nonMeasured` (a grey outside the colour map on a page; transparent in a PNG of its own).
inline const QColor kNonMeasuredGrey(150, 150, 150);
QImage heightMapImage(const HeightMap& map, const QColor& nonMeasured = kNonMeasuredGrey);

// What the areal heights S are after the filtering chain, for the height map's title: "S, height
// above the plane" with the defaults.
QString surfaceCaption(const StandardResult& result);

// The height map with x and y axes at equal scale and a colour bar with its scale; `surface`
// names what the heights are.
void drawHeightMap(QPainter& painter, const QRectF& rect, const HeightMap& map,
                   const UnitNames& units, const QString& surface);

// P with its mean line above, R below with the evaluation length, the sampling lengths and the
// profile's Rp and Rv marked; `robust` when the mean line is the robust one.
void drawProfile(QPainter& painter, const QRectF& rect, const ProfileCurves& profile, double cutoff,
                 int profiles, const UnitNames& units, bool robust);

// c(p) of S with the Rk construction, and Sk, Spk, Svk, Smr1, Smr2 beside it.
void drawMaterialRatio(QPainter& painter, const QRectF& rect, const SurfaceCurves& curves,
                       const ArealFigures& areal, const UnitNames& units);

// The histogram of S as densities with the normal density of its mean and Sq.
void drawHistogram(QPainter& painter, const QRectF& rect, const Histogram& histogram,
                   const UnitNames& units);

// The averaged PSD of the primary profiles, log-log, with 1 / lc marked.
void drawSpectrum(QPainter& painter, const QRectF& rect, const Spectrum& spectrum, double cutoff,
                  const UnitNames& units);

// Where there is nothing to draw: a framed note.
void drawNothing(QPainter& painter, const QRectF& rect, const QString& why);

}  // namespace corvane::report
