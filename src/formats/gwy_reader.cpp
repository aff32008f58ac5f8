#include "formats/instrument_file.h"

namespace corvane {

bool hasGwySignature(std::string_view) { return false; }

InstrumentGrid readGwy(const std::filesystem::path&, std::string_view, std::uint64_t) {
  throw FormatError("not read yet");
}

}  // namespace corvane
