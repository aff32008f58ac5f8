#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "analysis/standard_parameters.h"
#include "data/surface_source.h"

namespace corvane {

// The command line of corvane-batch:
//
//   corvane-batch [--sampling-length L] [--plane H] [--standard] [--cutoff LC]
//                 [--report PDF] [--figures DIR] [--json] FILE...
//
// Options may stand anywhere among the files and may be written "--name value" or
// "--name=value"; "--" ends the options, so that a file whose name starts with "-" can follow.
// A repeated option takes its last value.

inline constexpr int kDefaultSamplingLength = 3;
inline constexpr int kMinSamplingLength = 1;
inline constexpr int kMaxSamplingLength = 30;

struct BatchOptions {
  int samplingLength = kDefaultSamplingLength;  // the window's "D50 (mm)" scroll bar, 1..30
  // The reference-plane height; without it the plane stands at the mean height as after Open.
  std::optional<float> planeHeight;
  bool json = false;      // JSON Lines instead of the blocks for people
  bool standard = false;  // add the surface-texture parameters
  double cutoff = 0.8;    // their Gaussian filter's cut-off, > 0, in file units
  // The filtering chain beyond the line and the Gaussian mean line (see StandardSettings).
  int form = 1;
  std::optional<double> lambdaS;      // > 0 and below the cut-off
  std::optional<double> arealCutoff;  // > 0
  bool robust = false;
  // Where the PDF report goes and where the figures' own files go; either implies standard.
  std::optional<std::string> reportFile;
  std::optional<std::string> figuresFolder;
  // Where each file that loads is written as X3P, and whether existing files there are replaced.
  std::optional<std::string> x3pFolder;
  bool force = false;
  // The unit of the figures: X3P data are converted into it, point files are taken to be in it.
  LengthUnit unit = LengthUnit::Millimetre;
  bool unitGiven = false;          // named on the command line (then the plain output names it too)
  std::vector<std::string> files;  // in the order given, as given (any bytes)

  // The settings of the standard figures these options give.
  StandardSettings settings() const {
    StandardSettings s;
    s.cutoff = cutoff;
    s.form = form;
    s.lambdaS = lambdaS;
    s.arealCutoff = arealCutoff;
    s.robust = robust;
    return s;
  }
};

// Whether files of any size are read: for the figures beyond the window's and the X3P copies.
inline bool readsAnySize(const BatchOptions& options) {
  return options.standard || options.x3pFolder.has_value();
}

// Whether the files' curves are wanted: for the report or the figure files.
inline bool wantsCurves(const BatchOptions& options) {
  return options.reportFile.has_value() || options.figuresFolder.has_value();
}

struct CommandLine {
  enum class Action { Run, Help, UsageError };
  Action action = Action::Run;
  BatchOptions options;
  std::string error;  // for UsageError: what is wrong, in one line
};

// Parses the arguments after the program name. Nothing throws; a wrong argument gives
// UsageError with its reason. "--help" (or "-h") gives Help as soon as it is met.
CommandLine parseCommandLine(std::span<const std::string> arguments);

// The usage text, ending in a line end.
std::string usageText();

}  // namespace corvane
