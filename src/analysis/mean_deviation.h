#pragma once

#include "data/point_table.h"

namespace corvane {

// Mean deviation Ra about a horizontal reference plane z = h.
//
// Every point's distance |z - h| from the plane is summed in double precision (a point on the
// plane adds 0) and divided by the number of points; the mean is held in single precision.
// The figure shown is that mean divided by 2.7. Being a mean of distances, it never depends on
// where the surface sits in space and is never negative.

// The mean distance of rows 1..count() from the plane; 0 for an empty table.
float meanDeviationOf(const PointTable& table, float planeHeight) noexcept;

// The figure shown for a mean deviation: mean / 2.7 in double precision.
double raFigure(float meanDeviation) noexcept;

}  // namespace corvane
