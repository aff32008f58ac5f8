#include "batch/batch_options.h"

#include <CLI/CLI.hpp>

#include "analysis/settings_file.h"

#include <algorithm>
#include <cfloat>
#include <charconv>
#include <cmath>
#include <map>
#include <system_error>

namespace corvane {
namespace {

// A whole number that fills the text, or nothing.
std::optional<int> wholeNumber(std::string_view text) {
  int value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc{} || end != text.data() + text.size()) return std::nullopt;
  return value;
}

// A decimal number that fills the text and that single precision can hold, or nothing. A
// leading "+" is allowed, as in the point file.
std::optional<float> singlePrecisionNumber(std::string_view text) {
  if (text.size() >= 2 && text[0] == '+' && text[1] != '-' && text[1] != '+') text.remove_prefix(1);
  double value = 0;
  const auto [end, ec] =
      std::from_chars(text.data(), text.data() + text.size(), value, std::chars_format::general);
  if (ec != std::errc{} || end != text.data() + text.size() || text.empty()) return std::nullopt;
  // Converting a double beyond the float range is undefined, and nan or inf is no height.
  if (!std::isfinite(value) || std::fabs(value) > static_cast<double>(FLT_MAX)) return std::nullopt;
  return static_cast<float>(value);
}

// A finite decimal number above 0 that fills the text, or nothing.
std::optional<double> positiveNumber(std::string_view text) {
  if (text.size() >= 2 && text[0] == '+' && text[1] != '-' && text[1] != '+') text.remove_prefix(1);
  double value = 0;
  const auto [end, ec] =
      std::from_chars(text.data(), text.data() + text.size(), value, std::chars_format::general);
  if (ec != std::errc{} || end != text.data() + text.size() || text.empty()) return std::nullopt;
  if (!std::isfinite(value) || !(value > 0)) return std::nullopt;
  return value;
}

}  // namespace

namespace {

// The edit distance between two names: the fewest letters changed, added or taken away.
std::size_t distance(std::string_view a, std::string_view b) {
  std::vector<std::size_t> row(b.size() + 1);
  for (std::size_t j = 0; j <= b.size(); ++j) row[j] = j;
  for (std::size_t i = 1; i <= a.size(); ++i) {
    std::size_t diagonal = row[0];
    row[0] = i;
    for (std::size_t j = 1; j <= b.size(); ++j) {
      const std::size_t above = row[j];
      row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
      diagonal = above;
    }
  }
  return row[b.size()];
}

constexpr std::string_view kFlags[] = {"--json", "--standard", "--force", "--robust"};
constexpr std::string_view kValued[] = {
    "--sampling-length", "--plane",        "--cutoff",  "--report",
    "--figures",         "--to-x3p",       "--unit",    "--form",
    "--lambda-s",        "--areal-cutoff", "--settings"};

// "unknown option --cutof; did you mean --cutoff?" when a long option is a letter or two off.
std::string unknownOption(std::string_view name) {
  std::string message = "unknown option " + std::string(name);
  std::string_view nearest;
  std::size_t best = 3;
  if (name.starts_with("--")) {
    for (const auto& list :
         {std::span<const std::string_view>(kFlags), std::span<const std::string_view>(kValued)}) {
      for (const std::string_view known : list) {
        const std::size_t d = distance(name, known);
        if (d < best) best = d, nearest = known;
      }
    }
    if (std::string_view("--help").size() > 0 && distance(name, "--help") < best)
      nearest = "--help";
  }
  if (!nearest.empty()) message += "; did you mean " + std::string(nearest) + "?";
  return message;
}

}  // namespace

CommandLine parseCommandLine(std::span<const std::string> arguments) {
  CommandLine line;
  const auto usageError = [&line](std::string error) {
    line.action = CommandLine::Action::UsageError;
    line.error = std::move(error);
    return line;
  };

  // Help wins wherever it stands among the options; "--" ends them.
  for (const std::string& argument : arguments) {
    if (argument == "--") break;
    if (argument == "--help" || argument == "-h") {
      line.action = CommandLine::Action::Help;
      return line;
    }
  }
  // What the option parser would read otherwise: a flag given a value ("--json=yes" would be
  // taken for true) and an empty value after "=" (it would take the next argument instead).
  for (const std::string& argument : arguments) {
    if (argument == "--") break;
    const std::size_t equals = argument.find('=');
    if (!argument.starts_with("--") || equals == std::string::npos) continue;
    const std::string_view name = std::string_view(argument).substr(0, equals);
    if (std::find(std::begin(kFlags), std::end(kFlags), name) != std::end(kFlags)) {
      return usageError(std::string(name) + " takes no value");
    }
  }

  CLI::App app{"corvane-batch"};
  app.set_help_flag();
  app.allow_extras(true);  // unknown options are named below, with the nearest known one
  app.option_defaults()->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
  std::vector<std::string> files;
  app.add_option("files", files);
  std::map<std::string_view, std::string> values;
  std::map<std::string_view, CLI::Option*> given;
  for (const std::string_view name : kValued)
    given[name] = app.add_option(std::string(name), values[name]);
  for (const std::string_view name : kFlags) given[name] = app.add_flag(std::string(name));

  // The parser takes its arguments last first.
  std::vector<std::string> reversed(arguments.rbegin(), arguments.rend());
  // "--name=" with nothing after it is the empty value, not a call for the next argument: it is
  // given a stand-in the checks below see as empty.
  constexpr std::string_view kEmpty = "\x1F";
  for (std::string& argument : reversed) {
    if (argument.starts_with("--") && argument.ends_with("=")) argument += kEmpty;
  }
  try {
    app.parse(reversed);
  } catch (const CLI::ArgumentMismatch& error) {
    const std::string what = error.what();
    return usageError(what.substr(0, what.find(':')) + " needs a value");
  } catch (const CLI::Error& error) {
    return usageError(error.what());
  }
  for (const std::string& extra : app.remaining()) {
    if (extra == "--") continue;
    return usageError(unknownOption(std::string_view(extra).substr(0, extra.find('='))));
  }

  BatchOptions& options = line.options;
  options.files = files;
  options.json = given["--json"]->count() > 0;
  options.standard = given["--standard"]->count() > 0;
  options.force = given["--force"]->count() > 0;
  options.robust = given["--robust"]->count() > 0;
  const auto valueOf = [&](std::string_view name) -> std::optional<std::string> {
    if (given[name]->count() == 0) return std::nullopt;
    return values[name] == kEmpty ? std::string() : values[name];
  };
  if (const auto value = valueOf("--sampling-length")) {
    const std::optional<int> length = wholeNumber(*value);
    if (!length || *length < kMinSamplingLength || *length > kMaxSamplingLength) {
      return usageError("--sampling-length must be a whole number from " +
                        std::to_string(kMinSamplingLength) + " to " +
                        std::to_string(kMaxSamplingLength) + ", not \"" + *value + "\"");
    }
    options.samplingLength = *length;
  }
  if (const auto value = valueOf("--plane")) {
    const std::optional<float> height = singlePrecisionNumber(*value);
    if (!height) {
      return usageError("--plane must be a decimal number within single precision, not \"" +
                        *value + "\"");
    }
    options.planeHeight = height;
  }
  // The unit first: the default cut-off, 0.8 mm, is given in it, and a settings file's lengths
  // are converted into it.
  if (const auto value = valueOf("--unit")) {
    if (!unitOfName(*value, options.unit)) {
      return usageError("--unit must be um, mm or m, not \"" + *value + "\"");
    }
    options.unitGiven = true;
  }
  // A settings file gives what the command line does not.
  if (const auto value = valueOf("--settings")) {
    if (value->empty()) return usageError("--settings needs a file name");
    const SettingsRead read = readSettingsFile(*value);
    if (!read.ok) return usageError("--settings " + *value + ": " + read.error);
    const StandardSettings& file = read.settings.standard;
    if (!options.unitGiven) options.unit = read.settings.unit;
    options.unitGiven = true;
    // The file's lengths, in its unit, converted to the one in force.
    const double scale = unitsPerMetre(options.unit) / unitsPerMetre(read.settings.unit);
    const auto length = [scale](std::optional<double> v) {
      return v ? std::optional<double>(*v * scale) : std::nullopt;
    };
    options.cutoff = file.cutoff * scale;
    options.form = file.form;
    options.lambdaS = length(file.lambdaS);
    options.arealCutoff = length(file.arealCutoff);
    options.robust = options.robust || file.robust;
    options.standard = true;  // the figures the settings are for
  } else {
    options.cutoff = defaultCutoff(options.unit);
  }
  if (const auto value = valueOf("--cutoff")) {
    const std::optional<double> cutoff = positiveNumber(*value);
    if (!cutoff) {
      return usageError("--cutoff must be a decimal number greater than 0, not \"" + *value + "\"");
    }
    options.cutoff = *cutoff;
  }
  if (const auto value = valueOf("--form")) {
    const std::optional<int> degree = wholeNumber(*value);
    if (!degree || *degree < 0 || *degree > 6) {
      return usageError("--form must be a whole number from 0 to 6, not \"" + *value + "\"");
    }
    options.form = *degree;
  }
  if (const auto value = valueOf("--lambda-s")) {
    const std::optional<double> cutoff = positiveNumber(*value);
    if (!cutoff || !(*cutoff < options.cutoff)) {
      return usageError(
          "--lambda-s must be a decimal number greater than 0 and below the "
          "cut-off, not \"" +
          *value + "\"");
    }
    options.lambdaS = cutoff;
  }
  if (const auto value = valueOf("--areal-cutoff")) {
    const std::optional<double> cutoff = positiveNumber(*value);
    if (!cutoff) {
      return usageError("--areal-cutoff must be a decimal number greater than 0, not \"" + *value +
                        "\"");
    }
    options.arealCutoff = cutoff;
  }
  if (given["--form"]->count() > 0 || options.lambdaS || options.arealCutoff || options.robust) {
    options.standard = true;  // they shape the standard figures
  }
  for (const std::string_view name : {"--report", "--figures", "--to-x3p"}) {
    const auto value = valueOf(name);
    if (!value) continue;
    if (value->empty()) return usageError(std::string(name) + " needs a file or folder name");
    (name == "--report"    ? options.reportFile
     : name == "--figures" ? options.figuresFolder
                           : options.x3pFolder) = *value;
    if (name != "--to-x3p") options.standard = true;
  }
  if (options.lambdaS && !(*options.lambdaS < options.cutoff)) {
    // A settings file's S-filter against a cut-off from the command line.
    return usageError("the S-filter's cut-off must be below the cut-off");
  }
  if (options.files.empty()) return usageError("no point file given");
  return line;
}

std::string usageText() {
  return "Usage: corvane-batch [--sampling-length L] [--plane H] [--standard] [--cutoff LC]\n"
         "                     [--form D] [--lambda-s LS] [--areal-cutoff LA] [--robust]\n"
         "                     [--report PDF] [--figures DIR] [--unit U] [--settings FILE]\n"
         "                     [--to-x3p DIR] [--force] [--json] FILE...\n"
         "\n"
         "Reads each point file in turn and prints the figures the Corvane window shows for it\n"
         "after File > Open, Calculate in the Rn3d panel and Calculate in the Ra panel: the\n"
         "extents and mean height, the reference plane, the Ra, R and Rn2D lines and the Rn of\n"
         "every scan line. A file may also be an X3P file (ISO 25178-72), taken as such by its\n"
         "content.\n"
         "\n"
         "  --sampling-length L  sampling length for Rn, a whole number from 1 to 30 (default 3)\n"
         "  --plane H            reference-plane height (default: each file's mean height)\n"
         "  --standard           add the standard surface-texture parameters (see below)\n"
         "  --cutoff LC          their cut-off, a number above 0 in the unit of the figures\n"
         "                       (default 0.8 mm: 0.8 in mm, 800 in um, 0.0008 in m)\n"
         "  --report PDF         also write a PDF report: a page per file with its height map,\n"
         "                       a profile, the material ratio curve, the height distribution,\n"
         "                       the spectrum and every standard parameter (implies --standard)\n"
         "  --figures DIR        also write each of those figures as SVG, its data as CSV and\n"
         "                       the height map as PNG into DIR (implies --standard)\n"
         "  --form D             take off the least-squares polynomial of degree D (0 to 6)\n"
         "                       instead of the line and the plane (default 1)\n"
         "  --lambda-s LS        smooth the heights first by the Gaussian S-filter of cut-off LS\n"
         "                       (profiles; areal on a grid), LS below the cut-off\n"
         "  --areal-cutoff LA    on a grid, take off the areal Gaussian mean surface of cut-off "
         "LA\n"
         "                       (the S-L surface) before the areal figures\n"
         "  --robust             the robust Gaussian regression mean line for the profiles, which\n"
         "                       deep valleys do not pull down\n"
         "  --unit U             um, mm or m: the unit of the figures, of --cutoff and of the\n"
         "                       X3P data converted into it (default mm; point files are\n"
         "                       taken to be in it already)\n"
         "  --settings FILE      the settings the analysis window saves (cut-off, form degree,\n"
         "                       S-filter, L-filter, robust mean line, unit; implies\n"
         "                       --standard); options on the command line override them\n"
         "  --to-x3p DIR         also write each file that loads as DIR/NAME.x3p\n"
         "  --force              let --to-x3p replace files that exist\n"
         "  --json               one JSON object per line and file (JSON Lines)\n"
         "  -h, --help           show this help and exit\n"
         "\n"
         "Numbers in the value labels and the Rn2D line follow the regional settings\n"
         "(LC_ALL, LC_NUMERIC, LANG). Exit status: 0 when every file loaded, 1 when any did not,\n"
         "2 for a wrong command line.\n"
         "\n"
         "Standard parameters, all in the file's units. Each scan line is a profile; it needs at\n"
         "least 3 points with even x steps (each within 1 % of the median step). Its "
         "least-squares\n"
         "line is taken off, leaving the primary profile P. A Gaussian filter with cut-off LC\n"
         "(weights out to LC either side, renormalised at the ends) gives the mean line; R is P\n"
         "less the mean line. R is evaluated from LC/2 after the first point to LC/2 before the\n"
         "last, in whole sampling lengths of LC (nr of them). Pa and Ra are the mean |P| and\n"
         "|R|, Pq and Rq their root mean square, Pt and Rt their highest less their lowest value,\n"
         "Rsk and Rku the skewness and kurtosis of R, Rp and Rv the mean highest R and deepest\n"
         "-R of the sampling lengths, Rz the mean of their sum. The surface mean averages each\n"
         "figure over the evaluated profiles. The areal figures take the least-squares plane off\n"
         "all points: Sa, Sq, Ssk and Sku as above, Sp the highest point above the plane, Sv the\n"
         "deepest below it, Sz = Sp + Sv.\n"
         "\n"
         "Slope and spacing: Rdq is the root mean square slope of R (seven-point differences);\n"
         "RSm the mean width of R's profile elements, counted from upward mean-line crossings\n"
         "that rise and fall by 10 % of Rz. Material ratio: c(p) is the height with p % of R\n"
         "(or S) above it. The 40 % secant of least slope of that curve gives the core depth Rk\n"
         "(Sk), the levels above and below it, the share of material above each (Mr1, Mr2 /\n"
         "Smr1, Smr2, in %), and the reduced peak height Rpk (Spk) and valley depth Rvk (Svk).\n"
         "Sxp = c(2.5) - c(50), the peak extreme height. Volumes per unit area with p = 10 %\n"
         "and q = 80 %: Vmp, the material above c(10); Vmc, the material between c(10) and\n"
         "c(80); Vvc, the voids between them; Vvv, the voids below c(80). When the points form\n"
         "a regular grid (every scan line the same x positions, lines evenly apart): Sdq, the\n"
         "root mean square gradient; Sdr, how much the surface's area exceeds its projection,\n"
         "in %; Sal, the shortest distance at which the autocorrelation falls to 0.2; Str, that\n"
         "over the longest (near 1 for texture without a direction, small for one with lay).\n"
         "\n"
         "Filtering, in this order, each off unless asked for: --lambda-s smooths each profile\n"
         "(and, on a grid, the surface) with a Gaussian filter of cut-off LS, which removes\n"
         "the shortest wavelengths (a wave of length LS keeps half its height). --form takes\n"
         "off a polynomial of degree D in x (profiles) or in x and y (areal) instead of the\n"
         "line and the plane: 2 for a cylinder's or a ball's arc, more for a bent sheet.\n"
         "--areal-cutoff takes the waviness off the surface: on a grid, its Gaussian mean\n"
         "surface of cut-off LA (along x and along y) is subtracted, and the areal figures are\n"
         "those of what is left, the S-L surface. --robust finds the profiles' mean line by\n"
         "fitting weighted parabolas again and again, each time giving less weight to points\n"
         "far from the line, so that the deep valleys of a plateau-honed surface do not pull\n"
         "it down; the passes stop when the line settles (at most 50).\n";
}

}  // namespace corvane
