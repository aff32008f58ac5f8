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

}  // namespace

std::string standardBlock(const StandardResult& result) {
  std::string out = "  Standard parameters (cut-off " + figureText(result.cutoff) + ")\n";
  out += "    areal  ";
  for (std::size_t f = 0; f < kArealFigureNames.size(); ++f) {
    out += "  ";
    out += kArealFigureNames[f];
    out += ' ';
    out += figureText(result.areal[f]);
  }
  out += "\n    " + std::to_string(result.evaluated) + " of " +
         std::to_string(result.profiles.size()) + " profiles evaluated\n";

  const auto rowStart = [&out](std::string_view label, std::string_view nr) {
    out += "    ";
    appendLeft(out, label, 8);
    appendRight(out, nr, 4);
  };
  rowStart("profile", "nr");
  for (const std::string_view name : kProfileFigureNames) appendRight(out, name, kColumn);
  out += '\n';
  rowStart("mean", "");
  for (const double figure : result.mean) appendRight(out, figureText(figure), kColumn);
  out += '\n';
  for (const ProfileResult& profile : result.profiles) {
    rowStart(std::to_string(profile.profile), profile.nr ? std::to_string(*profile.nr) : "-");
    if (profile.ok) {
      for (const double figure : profile.figures) appendRight(out, figureText(figure), kColumn);
    } else {
      out += "  not evaluated: ";
      out += profile.reason;
    }
    out += '\n';
  }
  return out;
}

std::string standardJson(const StandardResult& result) {
  std::string out = "{\"cutoff\":" + jsonNumber(result.cutoff) + ",\"areal\":{";
  out += jsonFigures(kArealFigureNames, result.areal).substr(1);
  out += "},\"mean\":{\"profiles\":" + std::to_string(result.evaluated);
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
