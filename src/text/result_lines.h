#pragma once

#include <string>
#include <string_view>

namespace corvane {

// The result lines of the window's lists. Each begins with the file title (the file's name
// without its folder) where the list names the file.

// The Ra line: title, "   Ra = ", the figure in plain number text (up to 15 digits).
std::string raLine(std::string_view title, double figure);

// The surface Rn line: title, "   R = ", the figure in plain number text.
std::string surfaceRnLine(std::string_view title, float meanRn);

// One profile's line: the profile number and its Rn in plain number text, joined by " - ".
// Profile 1 with Rn 0.25 gives " 1 -  .25".
std::string profileRnLine(int profile, float rn);

// The mean Rn of profiles 50, 100 and 150: title, five spaces, the value in locale number text.
std::string threeProfileRnLine(std::string_view title, float rn, std::string_view decimalSeparator);

}  // namespace corvane
