#pragma once

#include <filesystem>
#include <string>
#include <string_view>

#include "analysis/standard_parameters.h"
#include "data/surface_source.h"

namespace corvane {

// The settings a person tunes for the standard figures: the filtering chain and the unit its
// lengths (and the figures) are in. One set applies to every surface, so that their figures
// compare.
struct AnalysisSettings {
  StandardSettings standard;
  LengthUnit unit = LengthUnit::Millimetre;
};

// The default cut-off, 0.8 mm, in the unit.
double defaultCutoff(LengthUnit unit);

// The settings as the analysis window saves them and corvane-batch --settings reads them, a
// JSON object:
//   {"cutoff": 0.8, "form": 1, "lambdaS": null, "arealCutoff": null, "robust": false,
//    "unit": "mm"}
// the lengths in the unit ("um", "mm" or "m"). Ends in a line end.
std::string settingsText(const AnalysisSettings& settings);

struct SettingsRead {
  bool ok = false;
  std::string error;  // what is wrong, in one line, when not ok
  AnalysisSettings settings;
};

// Reads that object. A missing key takes its default (the cut-off 0.8 mm in the file's unit); an
// unknown key, a value of the wrong kind or out of range (a cut-off that is not a number above
// 0, a form degree that is not a whole number from 0 to 6, an S-filter that is not null or a
// number above 0 and below the cut-off, an L-filter that is not null or a number above 0, a
// robust that is not true or false, a unit other than um, mm or m) or text that is not one
// JSON object is refused with its reason. Nothing throws.
SettingsRead parseSettings(std::string_view text);

// The same from a file (at most 64 KiB); a file that cannot be read is refused with the reason.
SettingsRead readSettingsFile(const std::filesystem::path& path);

}  // namespace corvane
