#include "formats/instrument_file.h"

namespace corvane {

InstrumentGrid readOpd(const std::filesystem::path&, std::string_view, std::uint64_t) {
  throw FormatError("not read yet");
}

}  // namespace corvane
