#pragma once

#include <QImage>
#include <QPainter>
#include <QRectF>

#include "analysis/surface_curves.h"

namespace corvane::report {

// The figures of a surface's page, each drawn to fill `rect` of the painter (a PDF page or an
// SVG file). Lengths and heights are in the file's units.

// The height map as an image: one pixel per grid point or raster cell, viridis by S, rows from
// the highest y at the top; cells without a point are transparent.
QImage heightMapImage(const HeightMap& map);

// The height map with x and y axes at equal scale and a colour bar with its scale.
void drawHeightMap(QPainter& painter, const QRectF& rect, const HeightMap& map);

// P with its mean line above, R below with the evaluation length, the sampling lengths and the
// profile's Rp and Rv marked.
void drawProfile(QPainter& painter, const QRectF& rect, const ProfileCurves& profile, double cutoff,
                 int profiles);

// c(p) of S with the Rk construction, and Sk, Spk, Svk, Smr1, Smr2 beside it.
void drawMaterialRatio(QPainter& painter, const QRectF& rect, const SurfaceCurves& curves,
                       const ArealFigures& areal);

// The histogram of S as densities with the normal density of its mean and Sq.
void drawHistogram(QPainter& painter, const QRectF& rect, const Histogram& histogram);

// The averaged PSD of the primary profiles, log-log, with 1 / lc marked.
void drawSpectrum(QPainter& painter, const QRectF& rect, const Spectrum& spectrum, double cutoff);

// Where there is nothing to draw: a framed note.
void drawNothing(QPainter& painter, const QRectF& rect, const QString& why);

}  // namespace corvane::report
