#include "formats/instrument_file.h"

namespace corvane {

bool hasSurSignature(std::string_view) { return false; }

InstrumentGrid readSur(const std::filesystem::path&, std::string_view, std::uint64_t) {
  throw FormatError("not read yet");
}

}  // namespace corvane
