#include "batch/report_format.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <system_error>

#include "batch/standard_format.h"

namespace corvane {
namespace {

template <class Value>
std::string shortestText(Value value) {
  if (!std::isfinite(value)) return "null";
  char text[64];
  const auto [end, ec] = std::to_chars(text, text + sizeof text, value);
  if (ec != std::errc{}) return "null";  // cannot happen: 64 bytes hold every such text
  return std::string(text, end);
}

// The length of the valid UTF-8 sequence at the start of bytes, or 0 when there is none; then
// `prefix` is the number of bytes that start a valid sequence but do not complete it (at least
// one byte is then replaced). The ranges are those of well-formed UTF-8: no overlong forms, no
// surrogates, nothing above U+10FFFF.
std::size_t validSequence(std::string_view bytes, std::size_t& prefix) {
  const auto at = [&bytes](std::size_t i) { return static_cast<unsigned char>(bytes[i]); };
  const unsigned char lead = at(0);
  prefix = 0;
  if (lead < 0x80) return 1;
  std::size_t length = 0;
  unsigned char low = 0x80;  // the range of the second byte
  unsigned char high = 0xBF;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
  } else {
    return 0;
  }
  prefix = 1;
  for (std::size_t i = 1; i < length; ++i) {
    if (i >= bytes.size()) return 0;
    const unsigned char byte = at(i);
    if (i == 1 ? (byte < low || byte > high) : (byte < 0x80 || byte > 0xBF)) return 0;
    ++prefix;
  }
  return length;
}

void appendField(std::string& out, std::string_view name, std::string_view value) {
  out += ',';
  out += '"';
  out += name;
  out += "\":";
  out += value;
}

template <class Items, class Format>
std::string jsonArray(const Items& items, Format format) {
  std::string out = "[";
  for (const auto& item : items) {
    if (out.size() > 1) out += ',';
    out += format(item);
  }
  out += ']';
  return out;
}

// The unit the plain output names: only when known, so that the output of point files without
// --unit stays as it always was.
std::string unitText(const FileReport& report) {
  return report.unitKnown ? std::string(unitName(report.unit)) : std::string();
}

}  // namespace

std::string jsonNumber(float value) { return shortestText(value); }
std::string jsonNumber(double value) { return shortestText(value); }

std::string jsonString(std::string_view bytes) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::string out;
  out.reserve(bytes.size() + 2);
  out += '"';
  while (!bytes.empty()) {
    const auto byte = static_cast<unsigned char>(bytes[0]);
    if (byte == '"' || byte == '\\') {
      out += '\\';
      out += static_cast<char>(byte);
      bytes.remove_prefix(1);
      continue;
    }
    if (byte < 0x20 || byte == 0x7F) {
      switch (byte) {
        case '\b':
          out += "\\b";
          break;
        case '\f':
          out += "\\f";
          break;
        case '\n':
          out += "\\n";
          break;
        case '\r':
          out += "\\r";
          break;
        case '\t':
          out += "\\t";
          break;
        default:
          out += "\\u00";
          out += kHex[byte >> 4];
          out += kHex[byte & 0xF];
      }
      bytes.remove_prefix(1);
      continue;
    }
    std::size_t prefix = 0;
    const std::size_t length = validSequence(bytes, prefix);
    if (length == 0) {
      // One replacement for the longest start of a sequence that breaks off, as decoders do.
      out += "\\ufffd";
      bytes.remove_prefix(prefix == 0 ? 1 : prefix);
    } else {
      out += bytes.substr(0, length);
      bytes.remove_prefix(length);
    }
  }
  out += '"';
  return out;
}

std::string plainText(std::string_view bytes) {
  const bool control = std::any_of(bytes.begin(), bytes.end(), [](char c) {
    const auto byte = static_cast<unsigned char>(c);
    return byte < 0x20 || byte == 0x7F;
  });
  return control ? jsonString(bytes) : std::string(bytes);
}

std::string jsonReport(const FileReport& report) {
  // The window's figures: absent when the file did not load or the window would refuse it.
  const bool ok = report.ok && report.windowError.empty();
  const auto number = [ok](auto value) { return ok ? jsonNumber(value) : std::string("null"); };
  const auto integer = [ok](int value) { return ok ? std::to_string(value) : std::string("null"); };
  const auto string = [ok](std::string_view text) {
    return ok ? jsonString(text) : std::string("null");
  };
  const Extents& e = report.extents;

  std::string out = "{\"file\":";
  out += jsonString(report.file);
  appendField(out, "title", jsonString(report.title));
  appendField(out, "ok", report.ok ? "true" : "false");
  const std::string& error = report.ok ? report.windowError : report.error;
  appendField(out, "error", error.empty() ? std::string("null") : jsonString(error));
  appendField(out, "points", report.ok ? std::to_string(report.points) : std::string("null"));
  appendField(out, "minX", number(e.minX));
  appendField(out, "maxX", number(e.maxX));
  appendField(out, "minY", number(e.minY));
  appendField(out, "maxY", number(e.maxY));
  appendField(out, "minZ", number(e.minZ));
  appendField(out, "maxZ", number(e.maxZ));
  appendField(out, "meanZ", number(e.meanZ));
  std::string labels = "null";
  if (ok) {
    labels = "{";
    for (std::size_t i = 0; i < kValueLabels.size(); ++i) {
      if (i > 0) labels += ',';
      labels += jsonString(kValueLabels[i]);
      labels += ':';
      labels += jsonString(report.labels[i]);
    }
    labels += '}';
  }
  appendField(out, "labels", labels);
  appendField(out, "planePosition", integer(report.planePosition));
  appendField(out, "label21", string(report.label21));
  appendField(out, "planeHeight", number(report.planeHeight));
  appendField(out, "meanDeviation", number(report.meanDeviation));
  appendField(out, "raFigure", number(report.raFigure));
  appendField(out, "raLine", string(report.raLine));
  appendField(out, "samplingLength", std::to_string(report.samplingLength));
  appendField(out, "profileRn",
              ok ? jsonArray(report.profileRn, [](float rn) { return jsonNumber(rn); }) : "null");
  appendField(out, "meanRn", number(report.meanRn));
  appendField(out, "rnLine", string(report.rnLine));
  appendField(
      out, "list3",
      ok ? jsonArray(report.list3, [](const std::string& s) { return jsonString(s); }) : "null");
  appendField(out, "rn2d", number(report.rn2d));
  appendField(out, "rn2dLine", string(report.rn2dLine));
  appendField(out, "format", jsonString(report.format));
  appendField(out, "unit", jsonString(unitName(report.unit)));
  if (report.x3p && report.ok) {
    const X3pInfo& x = report.x3pInfo;
    std::string object = "{\"featureType\":" + jsonString(x.featureType) + ",\"size\":[" +
                         std::to_string(x.size[0]) + "," + std::to_string(x.size[1]) + "," +
                         std::to_string(x.size[2]) + "]";
    appendField(object, "invalidPoints", std::to_string(x.invalidPoints));
    appendField(object, "checksums", jsonString(x.checksums));
    appendField(object, "creator", jsonString(x.creator));
    appendField(object, "date", jsonString(x.date));
    appendField(object, "instrument", jsonString(x.instrument));
    appendField(object, "comment", jsonString(x.comment));
    appendField(out, "x3p", object + "}");
  }
  if (report.measurement && report.ok) {
    const MeasurementInfo& m = *report.measurement;
    const auto text = [](const std::string& value) {
      return value.empty() ? std::string("null") : jsonString(value);
    };
    std::string object = "{\"format\":" + jsonString(m.format) + ",\"size\":[" +
                         std::to_string(m.size[0]) + "," + std::to_string(m.size[1]) + "]";
    appendField(object, "nonMeasured", std::to_string(m.nonMeasured));
    appendField(object, "date", text(m.date));
    appendField(object, "instrument", text(m.instrument));
    appendField(object, "comment", text(m.comment));
    appendField(object, "unitInFile", text(m.unitInFile));
    appendField(out, "measurement", object + "}");
  }
  if (report.standardAsked)
    appendField(out, "standard", report.ok ? standardJson(report.standard) : "null");
  out += "}\n";
  return out;
}

std::string plainReport(const FileReport& report) {
  std::string out = plainText(report.file);
  out += '\n';
  const auto row = [&out](std::string_view name, std::string_view value) {
    out += "  ";
    out += name;
    out.append(name.size() < 17 ? 17 - name.size() : 1, ' ');
    out += plainText(value);
    out += '\n';
  };
  if (!report.ok) {
    row("error", report.error);
    out += '\n';
    return out;
  }
  row("points", std::to_string(report.points));
  if (!report.windowError.empty()) {
    // Too many points for the window: its figures are not made, the standard ones follow.
    row("window", report.windowError);
    if (report.standardAsked) out += standardBlock(report.standard, unitText(report));
    out += '\n';
    return out;
  }
  const auto& l = report.labels;  // maxX, minX, maxY, minY, maxZ, minZ, mean
  row("x", l[1] + " .. " + l[0]);
  row("y", l[3] + " .. " + l[2]);
  row("z", l[5] + " .. " + l[4]);
  row("mean z", l[6]);
  row("reference plane",
      report.label21 + " (position " + std::to_string(report.planePosition) + ")");
  // The list lines under the captions of the window's lists.
  row("Ra", report.raLine);
  row("Rn3d", report.rnLine);
  row("Rn2D", report.rn2dLine);
  row("Rn", std::to_string(report.list3.size()) +
                (report.list3.size() == 1 ? " scan line" : " scan lines") + ", sampling length " +
                std::to_string(report.samplingLength));
  for (const std::string& line : report.list3) {
    out += "    ";
    out += plainText(line);
    out += '\n';
  }
  if (report.standardAsked) out += standardBlock(report.standard, unitText(report));
  out += '\n';
  return out;
}

}  // namespace corvane
