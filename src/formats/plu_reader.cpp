#include "formats/instrument_file.h"

namespace corvane {

InstrumentGrid readPlu(const std::filesystem::path&, std::string_view, std::uint64_t) {
  throw FormatError("not read yet");
}

}  // namespace corvane
