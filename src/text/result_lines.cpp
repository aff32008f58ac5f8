#include "text/result_lines.h"

#include "text/number_text.h"

namespace corvane {

std::string raLine(std::string_view title, double figure) {
  std::string line(title);
  line += "   Ra = ";
  line += plainNumberText(figure);
  return line;
}

std::string surfaceRnLine(std::string_view title, float meanRn) {
  std::string line(title);
  line += "   R = ";
  line += plainNumberText(meanRn);
  return line;
}

std::string profileRnLine(int profile, float rn) {
  std::string line = plainNumberText(static_cast<float>(profile));
  line += " - ";
  line += plainNumberText(rn);
  return line;
}

std::string threeProfileRnLine(std::string_view title, float rn,
                               std::string_view decimalSeparator) {
  std::string line(title);
  line += "     ";
  line += localeNumberText(rn, decimalSeparator);
  return line;
}

}  // namespace corvane
