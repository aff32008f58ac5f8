#pragma once

#include <string>

#include "analysis/standard_parameters.h"

namespace corvane {

// The surface-texture parameters in corvane-batch's two outputs.

// The block for people, indented by two: a "Standard parameters (cut-off lc)" line, the areal
// figures, how many profiles were evaluated, then a table of the surface mean and of every
// profile (or the reason it was not evaluated), columns aligned. Figures have 6 significant
// digits; an undefined one is "-". Ends in a line end.
std::string standardBlock(const StandardResult& result);

// The JSON object
//   {"cutoff", "areal": {Sa, ...}, "mean": {"profiles", Pa, ...},
//    "profiles": [{"profile", "ok", "reason", "spacing", "nr", Pa, ...}, ...]}
// with numbers that read back exactly and null where a figure is undefined.
std::string standardJson(const StandardResult& result);

}  // namespace corvane
