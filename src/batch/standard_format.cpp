#include "batch/standard_format.h"

#include <charconv>
#include <cmath>

#include "batch/report_format.h"

namespace corvane {
namespace {

constexpr std::size_t kColumn = 12;

// 6 significant digits, or "-" when undefined.
std::string figureText(double value) {
  if (!std::isfinite(value)) return "-";
  char text[32];
  const auto written =
      std::to_chars(text, text + sizeof text, value, std::chars_format::general, 6);
  return std::string(text, written.ptr);
}

void appendRight(std::string& out, std::string_view text, std::size_t width) {
  if (text.size() < width) out.append(width - text.size(), ' ');
  out += text;
}

void appendLeft(std::string& out, std::string_view text, std::size_t width) {
  out += text;
  if (text.size() < width) out.append(width - text.size(), ' ');
}

template <std::size_t N>
std::string jsonFigures(const std::array<std::string_view, N>& names,
                        const std::array<double, N>& figures) {
  std::string out;
  for (std::size_t f = 0; f < N; ++f) {
    out += ",\"";
    out += names[f];
    out += "\":";
    out += jsonNumber(figures[f]);
  }
  return out;
}

// "  name value" for the figures from .. to - 1.
template <std::size_t N>
void appendFigureLine(std::string& out, const std::array<std::string_view, N>& names,
                      const std::array<double, N>& figures, std::size_t from, std::size_t to) {
  for (std::size_t f = from; f < to; ++f) {
    out += "  ";
    out += names[f];
    out += ' ';
    out += figureText(figures[f]);
  }
}

// The table of the profile figures from .. to - 1: a header, the surface mean and every profile.
void appendProfileTable(std::string& out, const StandardResult& result, std::size_t from,
                        std::size_t to) {
  const auto rowStart = [&out](std::string_view label, std::string_view nr) {
    out += "    ";
    appendLeft(out, label, 8);
    appendRight(out, nr, 4);
  };
  rowStart("profile", "nr");
  for (std::size_t f = from; f < to; ++f) appendRight(out, kProfileFigureNames[f], kColumn);
  out += '\n';
  rowStart("mean", "");
  for (std::size_t f = from; f < to; ++f) appendRight(out, figureText(result.mean[f]), kColumn);
  out += '\n';
  for (const ProfileResult& profile : result.profiles) {
    rowStart(std::to_string(profile.profile), profile.nr ? std::to_string(*profile.nr) : "-");
    if (profile.ok) {
      for (std::size_t f = from; f < to; ++f) {
        appendRight(out, figureText(profile.figures[f]), kColumn);
      }
    } else {
      out += "  not evaluated: ";
      out += profile.reason;
    }
    out += '\n';
  }
}

// The filtering chain beyond the defaults, for the heading: ", form 2, S-filter 0.0025,
// L-filter 2.5 (S-L surface), robust"; empty with the defaults, so that the heading stays as
// it always was.
std::string settingsText(const StandardResult& result) {
  const StandardSettings& s = result.settings;
  std::string text;
  if (s.form != 1) text += ", form degree " + std::to_string(s.form);
  if (s.lambdaS) text += ", S-filter " + figureText(*s.lambdaS);
  if (s.arealCutoff) {
    text += ", L-filter " + figureText(*s.arealCutoff) +
            (result.scaleLimited ? " (S-L surface)" : " (not applied: not a regular grid)");
  }
  if (s.robust) text += ", robust mean line";
  return text;
}

}  // namespace

std::string standardBlock(const StandardResult& result, const std::string& unit) {
  using namespace figure;
  const auto& names = kArealFigureNames;
  std::string out = "  Standard parameters (cut-off " + figureText(result.cutoff) +
                    (unit.empty() ? "" : " " + unit) + settingsText(result) + ")\n";
  out += "    areal  ";
  appendFigureLine(out, names, result.areal, 0, kAmplitudeArealFigures);
  out += "\n    areal  ";
  appendFigureLine(out, names, result.areal, Sk, Vmp);
  out += "\n    areal  ";
  appendFigureLine(out, names, result.areal, Vmp, names.size());
  out += "\n    areal  ";
  appendFigureLine(out, names, result.areal, Sdq, Sk);
  if (result.grid) {
    out += "  (grid " + std::to_string(result.grid->nx) + " x " + std::to_string(result.grid->ny) +
           ", dx " + figureText(result.grid->dx) + ", dy " + figureText(result.grid->dy) + ")";
  }
  out += '\n';
  if (result.nonMeasured > 0) out += "    " + nonMeasuredText(result) + "\n";
  for (const std::string& reason : result.arealReasons) {
    out += "    areal figures undefined: " + reason + "\n";
  }
  out += "    " + std::to_string(result.evaluated) + " of " +
         std::to_string(result.profiles.size()) + " profiles evaluated\n";
  appendProfileTable(out, result, 0, kAmplitudeProfileFigures);
  appendProfileTable(out, result, kAmplitudeProfileFigures, kProfileFigureNames.size());
  return out;
}

std::string standardJson(const StandardResult& result) {
  const StandardSettings& settings = result.settings;
  std::string out = "{\"cutoff\":" + jsonNumber(result.cutoff);
  out += ",\"settings\":{\"form\":" + std::to_string(settings.form);
  out += ",\"lambdaS\":" + (settings.lambdaS ? jsonNumber(*settings.lambdaS) : "null");
  out += ",\"arealCutoff\":" + (settings.arealCutoff ? jsonNumber(*settings.arealCutoff) : "null");
  out += std::string(",\"robust\":") + (settings.robust ? "true" : "false");
  out += std::string(",\"surface\":") + (result.scaleLimited ? "\"S-L\"" : "\"S-F\"");
  out += ",\"robustPasses\":";
  if (settings.robust) {
    out += '[';
    bool first = true;
    for (const ProfileResult& profile : result.profiles) {
      if (!profile.ok) continue;
      out += (first ? "" : ",") + std::to_string(profile.robustPasses);
      first = false;
    }
    out += ']';
  } else {
    out += "null";
  }
  out += "},\"areal\":{";
  out += jsonFigures(kArealFigureNames, result.areal).substr(1);
  out += "},\"grid\":";
  if (result.grid) {
    const Grid& grid = *result.grid;
    out += "{\"nx\":" + std::to_string(grid.nx) + ",\"ny\":" + std::to_string(grid.ny) +
           ",\"dx\":" + jsonNumber(grid.dx) + ",\"dy\":" + jsonNumber(grid.dy) +
           ",\"measured\":" + std::to_string(result.measured) + "}";
  } else {
    out += "null";
  }
  out += ",\"arealReasons\":[";
  for (std::size_t i = 0; i < result.arealReasons.size(); ++i) {
    if (i > 0) out += ',';
    out += jsonString(result.arealReasons[i]);
  }
  out += "],\"mean\":{\"profiles\":" + std::to_string(result.evaluated);
  out += jsonFigures(kProfileFigureNames, result.mean);
  out += "},\"profiles\":[";
  for (std::size_t i = 0; i < result.profiles.size(); ++i) {
    const ProfileResult& profile = result.profiles[i];
    if (i > 0) out += ',';
    out += "{\"profile\":" + std::to_string(profile.profile);
    out += profile.ok ? ",\"ok\":true,\"reason\":null"
                      : ",\"ok\":false,\"reason\":" + jsonString(profile.reason);
    out += ",\"spacing\":" + jsonNumber(profile.spacing);
    out += ",\"nr\":" + (profile.nr ? std::to_string(*profile.nr) : std::string("null"));
    out += jsonFigures(kProfileFigureNames, profile.figures);
    out += '}';
  }
  out += "]}";
  return out;
}

}  // namespace corvane
