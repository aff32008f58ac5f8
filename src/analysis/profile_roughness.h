#pragma once

#include <span>

#include "data/point_table.h"

namespace corvane {

// Profile roughness Rn.
//
// The points are read as a raster of scan lines (profiles): a profile ends where x drops
// (strictly) to the next row, and the last profile ends at the last row. Each profile is cut
// into sampling lengths along x: d, the running sum of the x steps between consecutive rows,
// closes a sampling length at the first row where d reaches L (d >= L). That row belongs to the
// peak-to-valley height of the sampling length it closes and is also the first point of the
// next one. A profile's Rn is the mean peak-to-valley height of its complete sampling lengths;
// the points after the last complete one do not count, and a profile without a complete
// sampling length has Rn 0. All arithmetic on point values is in double precision; each Rn is
// stored in single precision.

// Evaluates every profile of rows 1..count() with sampling length L and writes the Rn of
// profile k into profileRn[k] (k = 1..n). Entries above n are set to 0, so nothing of an
// earlier calculation stays behind; entry 0 is left alone. Returns n, the number of profiles.
// profileRn must hold at least count() + 1 entries.
int evaluateProfiles(const PointTable& table, int samplingLength, std::span<float> profileRn);

// The surface figure: the mean of the positive entries 1..n, summed in single precision; 0 when
// no entry is positive.
float surfaceRn(std::span<const float> profileRn, int profileCount);

// The mean Rn of profiles 50, 100 and 150, formed in double precision, in single precision.
// profileRn must hold at least 151 entries; a profile the file does not have counts 0.
float threeProfileRn(std::span<const float> profileRn);

}  // namespace corvane
