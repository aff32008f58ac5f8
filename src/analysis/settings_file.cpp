#include "analysis/settings_file.h"

#include <cerrno>
#include <cmath>
#include <cstring>
#include <fstream>
#include <iterator>
#include <nlohmann/json.hpp>

namespace corvane {
namespace {

using Json = nlohmann::ordered_json;

constexpr std::size_t kMostSettingsBytes = 64 * 1024;

// Where byte `at` of the text lies: "line L, column C".
std::string placeOf(std::string_view text, std::size_t at) {
  at = std::min(at, text.size());
  std::size_t line = 1, column = 1;
  for (std::size_t i = 0; i + 1 < at; ++i) {
    if (text[i] == '\n') {
      ++line;
      column = 1;
    } else {
      ++column;
    }
  }
  return "line " + std::to_string(line) + ", column " + std::to_string(column);
}

SettingsRead refused(std::string why) {
  SettingsRead read;
  read.error = std::move(why);
  return read;
}

// A finite number above 0, or nothing.
std::optional<double> positive(const Json& value) {
  if (!value.is_number()) return std::nullopt;
  const double number = value.get<double>();
  if (!std::isfinite(number) || !(number > 0)) return std::nullopt;
  return number;
}

}  // namespace

double defaultCutoff(LengthUnit unit) {
  return kDefaultCutoff * unitsPerMetre(unit) / unitsPerMetre(LengthUnit::Millimetre);
}

std::string settingsText(const AnalysisSettings& settings) {
  const StandardSettings& s = settings.standard;
  Json json;
  json["cutoff"] = s.cutoff;
  json["form"] = s.form;
  json["lambdaS"] = s.lambdaS ? Json(*s.lambdaS) : Json(nullptr);
  json["arealCutoff"] = s.arealCutoff ? Json(*s.arealCutoff) : Json(nullptr);
  json["robust"] = s.robust;
  json["unit"] = std::string(unitName(settings.unit));
  return json.dump(2) + "\n";
}

SettingsRead parseSettings(std::string_view text) {
  Json json;
  try {
    json = Json::parse(text.begin(), text.end());
  } catch (const Json::parse_error& error) {
    return refused("not JSON: a syntax error at " + placeOf(text, error.byte));
  }
  if (!json.is_object()) return refused("not a JSON object of settings");
  constexpr std::string_view kKeys[] = {"cutoff",      "form",   "lambdaS",
                                        "arealCutoff", "robust", "unit"};
  for (const auto& [key, value] : json.items()) {
    if (std::find(std::begin(kKeys), std::end(kKeys), key) == std::end(kKeys)) {
      return refused("unknown key \"" + key.substr(0, 40) + "\"");
    }
  }
  SettingsRead read;
  AnalysisSettings& settings = read.settings;
  if (json.contains("unit")) {
    const Json& unit = json["unit"];
    if (!unit.is_string() || !unitOfName(unit.get<std::string>(), settings.unit)) {
      return refused("\"unit\" must be \"um\", \"mm\" or \"m\"");
    }
  }
  StandardSettings& s = settings.standard;
  s.cutoff = defaultCutoff(settings.unit);
  if (json.contains("cutoff")) {
    const std::optional<double> cutoff = positive(json["cutoff"]);
    if (!cutoff) return refused("\"cutoff\" must be a number greater than 0");
    s.cutoff = *cutoff;
  }
  if (json.contains("form")) {
    const Json& form = json["form"];
    const double degree = form.is_number() ? form.get<double>() : -1;
    if (!(degree >= 0 && degree <= kMostFormDegree && degree == std::floor(degree))) {
      return refused("\"form\" must be a whole number from 0 to 6");
    }
    s.form = static_cast<int>(degree);
  }
  if (json.contains("lambdaS") && !json["lambdaS"].is_null()) {
    const std::optional<double> lambdaS = positive(json["lambdaS"]);
    if (!lambdaS || !(*lambdaS < s.cutoff)) {
      return refused("\"lambdaS\" must be null or a number greater than 0 and below the cut-off");
    }
    s.lambdaS = lambdaS;
  }
  if (json.contains("arealCutoff") && !json["arealCutoff"].is_null()) {
    const std::optional<double> arealCutoff = positive(json["arealCutoff"]);
    if (!arealCutoff) return refused("\"arealCutoff\" must be null or a number greater than 0");
    s.arealCutoff = arealCutoff;
  }
  if (json.contains("robust")) {
    if (!json["robust"].is_boolean()) return refused("\"robust\" must be true or false");
    s.robust = json["robust"].get<bool>();
  }
  read.ok = true;
  return read;
}

SettingsRead readSettingsFile(const std::filesystem::path& path) {
  std::error_code code;
  const std::filesystem::file_status status = std::filesystem::status(path, code);
  if (!std::filesystem::exists(status)) return refused("no such file");
  if (std::filesystem::is_directory(status)) return refused("a folder, not a file");
  if (!std::filesystem::is_regular_file(status)) return refused("not a regular file");
  std::ifstream in(path, std::ios::binary);
  if (!in) return refused(std::string("cannot be read: ") + std::strerror(errno));
  std::string text;
  text.resize(kMostSettingsBytes + 1);
  in.read(text.data(), static_cast<std::streamsize>(text.size()));
  text.resize(static_cast<std::size_t>(in.gcount()));
  if (text.size() > kMostSettingsBytes) {
    return refused("larger than a settings file can be (64 KiB)");
  }
  return parseSettings(text);
}

}  // namespace corvane
