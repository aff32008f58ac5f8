#include "formats/instrument_file.h"

namespace corvane {

bool hasMetroProSignature(std::string_view) { return false; }

InstrumentGrid readMetroPro(const std::filesystem::path&, std::string_view, std::uint64_t) {
  throw FormatError("not read yet");
}

}  // namespace corvane
