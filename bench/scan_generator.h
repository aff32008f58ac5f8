#pragma once

// Point files like the export of a 3D scanner, for the benchmarks: a raster of scan lines, x
// rising along each line and dropping back at the next, y stepping once per line, and z a rough
// surface. The text is "x,y,z\n" per point, x and y with 4 decimals, z with 6. The same seed
// gives the same bytes on every system: the surface comes from a small generator of our own
// and from additions and multiplications only.

#include <charconv>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>

namespace corvane::bench {

// SplitMix64: small, fast and fully determined by its seed.
class ScanRandom {
 public:
  explicit ScanRandom(std::uint64_t seed) : state_(seed) {}

  std::uint64_t next() {
    std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }

  // Uniform in [-0.5, 0.5).
  double centred() { return static_cast<double>(next() >> 11) * 0x1p-53 - 0.5; }

 private:
  std::uint64_t state_;
};

struct ScanShape {
  int pointsPerLine = 1000;
  double xStart = 12.0;   // mm
  double xStep = 0.0125;  // mm between points of a scan line
  double yStart = -3.5;   // mm
  double yStep = 0.05;    // mm between scan lines
  double height = 4.2;    // mm, the mean height of the surface
  double tiltX = 0.0021;  // slope of the part on the scanner table
  double tiltY = -0.0008;
  double waviness = 0.004;    // mm, amplitude of the slow undulation along a line
  double roughness = 0.0015;  // mm, amplitude of the fine texture
};

namespace detail {

inline void appendFixed(std::string& text, double value, int decimals) {
  char digits[64];
  const auto written =
      std::to_chars(digits, digits + sizeof digits, value, std::chars_format::fixed, decimals);
  text.append(digits, written.ptr);
}

}  // namespace detail

// The text of a scan of pointCount points.
inline std::string scanText(int pointCount, std::uint64_t seed = 20240611,
                            const ScanShape& shape = {}) {
  ScanRandom random(seed);
  std::string text;
  text.reserve(static_cast<std::size_t>(pointCount) * 28);
  double wave = 0;   // a slowly drifting undulation, restarted near its old value on each line
  double slope = 0;  // its rate of change
  for (int i = 0; i < pointCount; ++i) {
    const int column = i % shape.pointsPerLine;
    const int scanLine = i / shape.pointsPerLine;
    const double x = shape.xStart + column * shape.xStep;
    const double y = shape.yStart + scanLine * shape.yStep;
    if (column == 0) {
      wave *= 0.5;
      slope = 0;
    }
    slope = 0.98 * slope + 0.02 * random.centred();
    wave = 0.995 * wave + slope;
    double z = shape.height + shape.tiltX * x + shape.tiltY * y + shape.waviness * wave +
               shape.roughness * random.centred();
    if ((random.next() & 0x3FF) == 0) z -= 8 * shape.roughness;  // now and then a pit
    detail::appendFixed(text, x, 4);
    text += ',';
    detail::appendFixed(text, y, 4);
    text += ',';
    detail::appendFixed(text, z, 6);
    text += '\n';
  }
  return text;
}

// Writes a scan of pointCount points to the file; false when it cannot be written.
inline bool writeScan(const std::filesystem::path& path, int pointCount,
                      std::uint64_t seed = 20240611, const ScanShape& shape = {}) {
  const std::string text = scanText(pointCount, seed, shape);
  std::FILE* file = std::fopen(path.string().c_str(), "wb");
  if (file == nullptr) return false;
  const bool written = std::fwrite(text.data(), 1, text.size(), file) == text.size();
  return std::fclose(file) == 0 && written;
}

}  // namespace corvane::bench
