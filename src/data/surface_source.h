#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace corvane {

// The length unit figures are given in. X3P files hold metres and are converted; point files
// carry no unit and are taken to be in it already.
enum class LengthUnit { Micrometre, Millimetre, Metre };

std::string_view unitName(LengthUnit unit);  // "um", "mm", "m"
double unitsPerMetre(LengthUnit unit);       // 1e6, 1e3, 1

// The unit of a name as unitName() gives it; false for any other text.
bool unitOfName(std::string_view name, LengthUnit& unit);

// What an X3P file says of itself beside its points.
struct X3pInfo {
  std::string featureType;                         // "SUR", "PRF" or "PCL"
  std::array<std::uint64_t, 3> size{};             // SizeX, SizeY, SizeZ of its matrix
  std::uint64_t invalidPoints = 0;                 // non-measured, kept in place or left out
  std::string checksums = "absent";                // "ok", "mismatch" or "absent"
  std::string creator, date, instrument, comment;  // Record2, empty where it has none
};

// What a file from an instrument (X3P or an instrument's own format) says of its measurement.
// Empty texts are what the file does not say.
struct MeasurementInfo {
  std::string format;                   // "x3p", "sdf", "sur", "metropro", "datx", "plu", ...
  std::array<std::uint64_t, 2> size{};  // points along x and along y (1 for a profile)
  std::uint64_t nonMeasured = 0;        // points of the grid without a measured height
  std::string date, instrument, comment;
  std::string unitInFile;  // the file's own unit of its heights
};

}  // namespace corvane
