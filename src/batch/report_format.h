#pragma once

#include <string>
#include <string_view>

#include "batch/file_report.h"

namespace corvane {

// The two outputs of corvane-batch for one file.

// A short block for people: the file, the point count, the extents and mean height as the value
// labels show them, the reference plane, the Ra, R and Rn2D lines as the window's lists show
// them, then the per-profile lines indented, and with --standard the block of standard parameters.
// A file that did not load gives its diagnosis. Every text that holds a file name is written
// through plainText. Ends in a line end.
std::string plainReport(const FileReport& report);

// One JSON object on one line, ending in a line end, with the fields
//   file, title, ok, error, points, minX, maxX, minY, maxY, minZ, maxZ, meanZ, labels,
//   planePosition, label21, planeHeight, meanDeviation, raFigure, raLine, samplingLength,
//   profileRn, meanRn, rnLine, list3, rn2d, rn2dLine
// in this order, and with --standard a last field "standard" (see standard_format.h). A file that
// did not load has ok false, its diagnosis in error and null for every figure (samplingLength, an
// option, stays).
std::string jsonReport(const FileReport& report);

// A JSON string of the bytes: quotes, backslashes and control characters escaped, valid UTF-8
// kept as it is, and every byte that is not part of valid UTF-8 written as \ufffd.
std::string jsonString(std::string_view bytes);

// A text for the plain report and the error stream, kept on one line: as it is when it holds no
// control character, otherwise written as jsonString writes it (quoted and escaped), so that a
// file name holding a line end cannot split a line.
std::string plainText(std::string_view bytes);

// JSON numbers that read back exactly: the shortest text that converts back to the same single
// or double precision value. A value that is not finite has no JSON number and gives null.
std::string jsonNumber(float value);
std::string jsonNumber(double value);

}  // namespace corvane
