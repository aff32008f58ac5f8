#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace corvane {

// Sorts finite doubles ascending: a least-significant-digit radix sort, one byte at a time, of
// keys that order as the doubles do (the sign bit flipped for positives, every bit for
// negatives). The material ratio curve of every profile sorts its heights; at a few hundred
// random heights this takes well under a comparison sort's time, which mispredicts half its
// branches. Bytes that are the same in every key are skipped. `scratch` holds the keys between
// calls.
void radixSort(std::span<double> values, std::vector<std::uint64_t>& scratch);

}  // namespace corvane
