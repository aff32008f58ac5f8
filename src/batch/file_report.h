#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "analysis/surface_analysis.h"
#include "batch/batch_options.h"
#include "data/extents.h"
#include "data/point_list.h"
#include "data/point_table.h"
#include "formats/x3p.h"

namespace corvane {

// The window's value labels, in the order the report lists them.
inline constexpr std::array<std::string_view, 7> kValueLabels = {
    "Label3", "Label4", "Label7", "Label8", "Label11", "Label12", "Label18"};

// One file's surface analysis (its title heads the result lines) and, beside it, everything
// the window shows for it after File > Open, Calculate in the Rn3d panel and Calculate in the
// Ra panel, with the numbers behind the texts. Every figure comes from the same core functions
// the window calls.
struct FileReport : SurfaceAnalysis {
  // When the file loaded for the standard figures but holds more points than the window takes:
  // the window's diagnosis. The window's figures (labels, plane, Rn and Ra) are then not made.
  std::string windowError;

  // The rest is meaningful only when ok.
  // The value labels' texts in the order of kValueLabels: maxX, minX, maxY, minY, maxZ, minZ
  // and the mean height.
  std::array<std::string, 7> labels;

  // The reference plane: its scroll position, the text of Label21 and the height the Ra panel
  // reads from the position.
  int planePosition = 0;
  std::string label21;
  float planeHeight = 0;

  float meanDeviation = 0;
  double raFigure = 0;
  std::string raLine;  // the line List2 gains

  int samplingLength = kDefaultSamplingLength;
  std::vector<float> profileRn;  // the Rn of profiles 1..n, profile k at index k - 1
  float meanRn = 0;
  std::string rnLine;              // the line List1 gains
  std::vector<std::string> list3;  // the per-profile lines
  float rn2d = 0;                  // the mean Rn of profiles 50, 100 and 150
  std::string rn2dLine;            // the line List4 gains

  // Whether --standard asked for the surface-texture parameters (the curves, for the report and
  // the figure files, are there when either asked for them).
  bool standardAsked = false;

  // The X3P copy asked for by --to-x3p: where it went, or why it did not.
  std::string x3pWritten;
  std::string x3pError;
};

// What one analysis needs beside the file: the point table (2.4 MB) and the table of profile
// figures, allocated once and used for one file after another.
struct Workspace {
  PointTable table;
  PointList list;  // the points of a file read for the standard figures, of any count
  std::vector<float> profileRn = std::vector<float>(static_cast<std::size_t>(kMaxPoints) + 1);
  StandardWorkspace standard;
};

// Reads the file and works out its report: the extents and the labels as the loader shows them,
// the reference plane at the mean height (or at options.planeHeight) as Open sets it up, the Rn
// lines with options.samplingLength and the Ra line about that plane, and with options.standard
// the surface-texture parameters at options.cutoff. A file that does not load
// gives ok false and the reader's diagnosis. Nothing throws for bad input.
FileReport analyseFile(const std::string& file, const BatchOptions& options,
                       std::string_view decimalSeparator, Workspace& workspace);

}  // namespace corvane
