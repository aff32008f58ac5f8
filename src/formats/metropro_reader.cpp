// Zygo MetroPro .dat files: a big-endian header (834 bytes in header formats 1 and 2, 4096 in
// format 3; the fields read here sit at the same offsets in all three), then the intensity frames
// (ac_n_buckets × ac_width × ac_height int16, skipped), then the phase (cn_width × cn_height
// int32, row by row, the first row at the top of the camera image).

#include <cmath>
#include <cstdint>
#include <ctime>
#include <limits>
#include <string>

#include "formats/byte_reader.h"
#include "formats/instrument_file.h"

namespace corvane {

namespace {

// Phase values from this one up mark points without a measured phase.
constexpr std::int32_t kInvalidPhase = 2147483640;

// The header format a magic number announces; 0 for none.
int headerFormatOf(std::uint32_t magic) {
  switch (magic) {
    case 0x881B036F:
      return 1;
    case 0x881B0370:
      return 2;
    case 0x881B0371:
      return 3;
    default:
      return 0;
  }
}

// Phase counts per wave of the phase_res code (12, 15 and 17 bits); 0 for an unknown code.
double countsPerWave(int phaseRes) {
  switch (phaseRes) {
    case 0:
      return 4096;
    case 1:
      return 32768;
    case 2:
      return 131072;
    default:
      return 0;
  }
}

template <class T>
T field(std::string_view header, std::size_t offset) {
  return ByteReader::load<T>(header.data() + offset, std::endian::big);
}

std::string textField(std::string_view header, std::size_t offset, std::size_t size) {
  ByteReader reader(header);
  reader.seek(offset, "header");
  return reader.text(size, "header");
}

// Seconds since 1970 as an ISO 8601 UTC date; "" for 0 (not set).
std::string isoDate(std::int64_t seconds) {
  if (seconds <= 0) return "";
  const std::time_t time = static_cast<std::time_t>(seconds);
  std::tm parts{};
  char text[32];
  if (!gmtime_r(&time, &parts) || !std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &parts)) {
    return "";
  }
  return text;
}

// "MetroPro 8.3.5, serial number 62398" from the software type, its version and the
// instrument's serial number.
std::string instrumentOf(std::string_view header) {
  const auto type = field<std::int16_t>(header, 10);
  std::string text = type == 2 ? "MetroBasic" : type == 3 ? "dbug" : "MetroPro";
  const auto major = field<std::int16_t>(header, 42);
  const auto minor = field<std::int16_t>(header, 44);
  const auto bug = field<std::int16_t>(header, 46);
  if (major != 0 || minor != 0 || bug != 0) {
    text.append(" ").append(std::to_string(major)).append(".").append(std::to_string(minor));
    text.append(".").append(std::to_string(bug));
  }
  const auto serial = field<std::uint16_t>(header, 242);
  if (serial != 0) text.append(", serial number ").append(std::to_string(serial));
  return text;
}

}  // namespace

bool hasMetroProSignature(std::string_view head) {
  return head.size() >= 4 &&
         headerFormatOf(ByteReader::load<std::uint32_t>(head.data(), std::endian::big)) != 0;
}

InstrumentGrid readMetroPro(const std::filesystem::path&, std::string_view bytes,
                            std::uint64_t limit) {
  ByteReader reader(bytes);
  const int format = headerFormatOf(reader.big<std::uint32_t>("magic number"));
  if (format == 0) throw FormatError("the file does not start with a MetroPro magic number");
  const auto headerFormat = reader.big<std::uint16_t>("header format");
  if (headerFormat != format) {
    throw FormatError("the header format " + std::to_string(headerFormat) + " is not the format " +
                      std::to_string(format) + " its magic number announces");
  }
  const std::uint32_t headerSize = reader.big<std::uint32_t>("header size");
  const std::uint32_t formatSize = format == 3 ? 4096 : 834;
  if (headerSize != formatSize) {
    throw FormatError("the header says it is " + std::to_string(headerSize) +
                      " bytes long; a format-" + std::to_string(format) + " header is " +
                      std::to_string(formatSize));
  }
  if (bytes.size() < headerSize) {
    throw FormatError("the file ends inside its " + std::to_string(headerSize) + "-byte header (" +
                      std::to_string(bytes.size()) + " bytes)");
  }
  const std::string_view header = bytes.substr(0, headerSize);

  const std::uint64_t columns = field<std::uint16_t>(header, 68);
  const std::uint64_t rows = field<std::uint16_t>(header, 70);
  if (columns == 0 || rows == 0) {
    throw FormatError("the file holds no phase data (its phase grid is " + std::to_string(columns) +
                      " x " + std::to_string(rows) + " points)");
  }
  checkGridSize(columns, rows, limit);

  const auto phaseRes = field<std::int16_t>(header, 218);
  const double counts = countsPerWave(phaseRes);
  if (counts == 0) {
    throw FormatError("the phase resolution code " + std::to_string(phaseRes) +
                      " is none of 0, 1 and 2");
  }
  const double lateral = field<float>(header, 184);
  checkSpacing(lateral, "x spacing");
  // Metres of height per phase count: the wavelength (in metres) times the interferometer's scale
  // factor and the obliquity factor, over the counts of one wave; negative for inverted data.
  double scale = static_cast<double>(field<float>(header, 164)) * field<float>(header, 176) *
                 field<float>(header, 168) / counts;
  if (field<std::int16_t>(header, 232) != 0) scale = -scale;
  if (!std::isfinite(scale) || scale == 0) {
    throw FormatError("the wavelength, scale factor and obliquity factor give no height scale");
  }

  // The intensity frames come first; their size cannot overflow (three 16-bit factors).
  const std::uint64_t intensityBytes = std::uint64_t{2} * field<std::uint16_t>(header, 56) *
                                       field<std::uint16_t>(header, 52) *
                                       field<std::uint16_t>(header, 54);
  const std::uint64_t phaseBytes = 4 * columns * rows;
  const std::uint64_t after = bytes.size() - headerSize;
  if (after < intensityBytes || after - intensityBytes < phaseBytes) {
    throw FormatError("the header says " + std::to_string(intensityBytes) +
                      " bytes of intensity and " + std::to_string(phaseBytes) +
                      " bytes of phase follow it, but the file holds " + std::to_string(after));
  }

  InstrumentGrid grid;
  grid.columns = static_cast<std::size_t>(columns);
  grid.rows = static_cast<std::size_t>(rows);
  grid.dx = grid.dy = lateral;
  // The phase grid's place on the camera (its origin in pixels).
  grid.x0 = field<std::int16_t>(header, 64) * lateral;
  grid.y0 = field<std::int16_t>(header, 66) * lateral;
  grid.unitInFile = std::string("m");
  grid.date = isoDate(field<std::int32_t>(header, 76));
  grid.instrument = instrumentOf(header);
  grid.comment = textField(header, 80, 82);

  const std::size_t count = grid.columns * grid.rows;
  grid.z.resize(count);
  const char* phase = bytes.data() + headerSize + intensityBytes;
  for (std::size_t i = 0; i < count; ++i) {
    const auto value = ByteReader::load<std::int32_t>(phase + 4 * i, std::endian::big);
    grid.z[i] = value >= kInvalidPhase ? std::numeric_limits<double>::quiet_NaN() : value * scale;
  }
  return grid;
}

}  // namespace corvane
