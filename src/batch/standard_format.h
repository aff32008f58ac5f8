#pragma once

#include <string>

#include "analysis/standard_parameters.h"
#include "analysis/surface_analysis.h"

namespace corvane {

// The surface-texture parameters in corvane-batch's two outputs.

// The block for people, indented by two: a "Standard parameters (cut-off lc)" line, four lines
// of areal figures (amplitude; Rk family; volumes; slope, area and texture, with the grid), the
// reasons for undefined areal figures, how many profiles were evaluated, then two tables of the
// surface mean and of every profile (or the reason it was not evaluated): the amplitude figures,
// then the slope, spacing and Rk family figures, columns aligned. Figures have 6 significant
// digits; an undefined one is "-". Ends in a line end.
// With a unit the first line names it: "Standard parameters (cut-off 0.8 mm)". A grid with
// non-measured points says how many after the grid's line.
std::string standardBlock(const StandardResult& result, const std::string& unit = {});

// The JSON object
//   {"cutoff", "areal": {Sa, ...}, "grid": {"nx", "ny", "dx", "dy", "measured"} or null,
//    "arealReasons": [...], "mean": {"profiles", Pa, ...},
//    "profiles": [{"profile", "ok", "reason", "spacing", "nr", Pa, ...}, ...]}
// with numbers that read back exactly and null where a figure is undefined.
std::string standardJson(const StandardResult& result);

}  // namespace corvane
