#include "batch/file_report.h"

#include <algorithm>
#include <cmath>
#include <filesystem>

#include "analysis/mean_deviation.h"
#include "analysis/profile_roughness.h"
#include "analysis/reference_plane.h"
#include "data/point_reader.h"
#include "formats/instrument_file.h"
#include "formats/surface_file.h"
#include "formats/x3p.h"
#include "text/number_text.h"
#include "text/result_lines.h"

namespace corvane {

namespace {

// What the window shows after Open and the two Calculate buttons, from the points in the table.
void windowFigures(FileReport& report, const BatchOptions& options,
                   std::string_view decimalSeparator, Workspace& workspace) {
  const PointTable& table = workspace.table;
  // The loader: the seven value labels of the extents and mean height.
  const Extents& e = report.extents;
  const float labelValues[] = {e.maxX, e.minX, e.maxY, e.minY, e.maxZ, e.minZ, e.meanZ};
  for (std::size_t i = 0; i < report.labels.size(); ++i) {
    report.labels[i] = localeNumberText(labelValues[i], decimalSeparator);
  }

  // Open's reference plane: the scroll bar spans the heights and stands at the mean. The bar
  // holds its position within its range, so the position the window reads back is the mean's
  // position kept between those of the lowest and highest point.
  if (options.planeHeight) {
    report.planePosition = scrollPositionOf(*options.planeHeight);
  } else {
    report.planePosition =
        std::clamp(scrollPositionOf(e.meanZ), scrollPositionOf(e.minZ), scrollPositionOf(e.maxZ));
  }
  report.label21 = heightText(report.planePosition, decimalSeparator);
  report.planeHeight = planeHeightOf(report.planePosition);

  // The Rn3d panel's Calculate.
  const int profiles = evaluateProfiles(table, options.samplingLength, workspace.profileRn);
  const std::span<const float> profileRn = workspace.profileRn;
  report.profileRn.assign(profileRn.begin() + 1, profileRn.begin() + 1 + profiles);
  report.meanRn = surfaceRn(profileRn, profiles);
  report.rnLine = surfaceRnLine(report.title, report.meanRn);
  report.list3.reserve(static_cast<std::size_t>(profiles));
  for (int k = 1; k <= profiles; ++k) {
    report.list3.push_back(profileRnLine(k, profileRn[static_cast<std::size_t>(k)]));
  }
  report.rn2d = threeProfileRn(profileRn);
  report.rn2dLine = threeProfileRnLine(report.title, report.rn2d, decimalSeparator);

  // The Ra panel's Calculate about the plane.
  report.meanDeviation = meanDeviationOf(table, report.planeHeight);
  report.raFigure = raFigure(report.meanDeviation);
  report.raLine = raLine(report.title, report.raFigure);
}

}  // namespace

FileReport analyseFile(const std::string& file, const BatchOptions& options,
                       std::string_view decimalSeparator, Workspace& workspace) {
  FileReport report;
  report.file = file;
  report.title = std::filesystem::path(file).filename().string();
  report.samplingLength = options.samplingLength;
  report.standardAsked = options.standard;

  report.unit = options.unit;
  report.unitKnown = options.unitGiven;
  PointTable& table = workspace.table;
  std::span<const Point> points;
  const std::filesystem::path path(file);
  // Files from instruments are read by the surface readers whatever is asked.
  const bool instrument = isX3pFile(path) || instrumentFormatOf(path) != nullptr;
  if (instrument || readsAnySize(options)) {
    // The figures beyond the window's take files of any size (without them an X3P file keeps
    // the window's limit); the window's table takes its own share of them below.
    PointList& list = workspace.list;
    const SurfaceRead read =
        readSurface(path, list, options.unit, readsAnySize(options) ? kMaxListPoints : kMaxPoints);
    report.x3p = read.x3p;
    report.format = read.format;
    if (!read.ok) {
      report.error = read.error;
      return report;
    }
    report.x3pInfo = read.x3pInfo;
    report.measurement = read.measurement;
    report.unitKnown = report.unitKnown || read.measurement.has_value();
    points = list.points();
    // A grid's non-measured points (z NaN) keep their places for the standard figures; the
    // window's figures are those of the measured points, as its table holds.
    const std::size_t measured = static_cast<std::size_t>(std::count_if(
        points.begin(), points.end(), [](const Point& p) { return isMeasured(p.z); }));
    if (measured <= static_cast<std::size_t>(kMaxPoints)) {
      std::copy_if(points.begin(), points.end(), &table.row(1),
                   [](const Point& p) { return isMeasured(p.z); });
      table.setCount(static_cast<int>(measured));
    } else {
      // The window's own words: the line where its table would be full, or for an X3P file the
      // point.
      ReadResult window;
      window.error = ReadError::TooManyPoints;
      window.line = read.pastWindowLine;
      window.point = kMaxPoints + 1;
      report.windowError = report.measurement
                               ? "more than " + std::to_string(kMaxPoints) + " points"
                               : describe(window);
    }
  } else {
    const ReadResult read = readPointFile(path, table);
    if (!read.ok()) {
      report.error = describe(read);
      return report;
    }
    points = {&table.row(1), static_cast<std::size_t>(table.count())};
  }
  report.ok = true;
  analyseSurface(points, options.settings(), options.standard, wantsCurves(options),
                 workspace.standard, report);
  if (report.windowError.empty()) windowFigures(report, options, decimalSeparator, workspace);

  if (options.x3pFolder) {
    // DIR/<name without its extension>.x3p
    const std::filesystem::path target =
        std::filesystem::path(*options.x3pFolder) / (path.filename().stem().string() + ".x3p");
    const X3pWrite written =
        writeX3p(target, points, options.unit, "written by corvane-batch from " + report.title,
                 CORVANE_VERSION, options.force);
    if (written.ok) {
      report.x3pWritten = target.string();
    } else {
      report.x3pError = written.error;
    }
  }
  return report;
}

}  // namespace corvane
