#pragma once

#include <QColor>
#include <QImage>
#include <QLinearGradient>

namespace corvane::report {

// The viridis colour map: 256 colours from dark blue through green to yellow, evenly spaced in
// perceived lightness, readable in grey and by most colour-blind readers. Level 0 is the lowest.
QColor viridis(int level);

// The colour table of an 8-bit indexed image: level k in viridis' colour k.
QList<QRgb> viridisTable();

// The map as a gradient from stop 0 to stop 1, for a colour bar.
QLinearGradient viridisGradient();

}  // namespace corvane::report
