#pragma once

#include <limits>

#include "analysis/plan_view.h"
#include "data/extents.h"
#include "data/point_table.h"

namespace corvane {

class PictureBox;

// Plots rows 1..count() of the table into the box as seen from above, in table order (a later
// dot covers an earlier one), with the box's current scale and draw width: each point a round
// grey dot at its plan-view position. Only points strictly above `onlyAbove` are drawn (all of
// them by default). The box is not cleared first.
void plotPoints(PictureBox& box, const PointTable& table, const Extents& extents,
                const PlanView& view, double onlyAbove = -std::numeric_limits<double>::infinity());

}  // namespace corvane
