#include "data/surface_source.h"

namespace corvane {

std::string_view unitName(LengthUnit unit) {
  switch (unit) {
    case LengthUnit::Micrometre:
      return "um";
    case LengthUnit::Metre:
      return "m";
    default:
      return "mm";
  }
}

double unitsPerMetre(LengthUnit unit) {
  switch (unit) {
    case LengthUnit::Micrometre:
      return 1e6;
    case LengthUnit::Metre:
      return 1;
    default:
      return 1e3;
  }
}

bool unitOfName(std::string_view name, LengthUnit& unit) {
  for (const LengthUnit candidate :
       {LengthUnit::Micrometre, LengthUnit::Millimetre, LengthUnit::Metre}) {
    if (name == unitName(candidate)) {
      unit = candidate;
      return true;
    }
  }
  return false;
}

}  // namespace corvane
