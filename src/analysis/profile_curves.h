#pragma once

#include <optional>
#include <span>

#include "analysis/surface_curves.h"

namespace corvane {

// The curves of one profile (1, 2, ... in the file's order) as the figures of `result` saw it:
// P, its mean line, R, the evaluation and sampling lengths, Rp and Rv. None when there is no such
// profile or it was not evaluated.
std::optional<ProfileCurves> profileCurves(std::span<const Point> points,
                                           const StandardResult& result, int profile,
                                           StandardWorkspace& workspace);

}  // namespace corvane
