#include "analysis/radix_sort.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstddef>
#include <utility>

namespace corvane {
namespace {

constexpr std::uint64_t kSign = std::uint64_t{1} << 63;

std::uint64_t keyOf(double value) {
  const auto bits = std::bit_cast<std::uint64_t>(value);
  return (bits & kSign) != 0 ? ~bits : bits | kSign;
}

double valueOf(std::uint64_t key) {
  return std::bit_cast<double>((key & kSign) != 0 ? key & ~kSign : ~key);
}

// Below this a comparison sort is the quicker.
constexpr std::size_t kSmall = 64;

// The key's upper half (sign, exponent and the first 20 bits of the fraction) orders all but
// values that agree that far; the radix passes sort by it alone, and an insertion sort then puts
// such near neighbours in order, which costs one pass when they are as rare as in measured
// heights.
constexpr unsigned kFirstDigit = 4;

}  // namespace

void radixSort(std::span<double> values, std::vector<std::uint64_t>& scratch) {
  const std::size_t n = values.size();
  if (n < kSmall) {
    std::sort(values.begin(), values.end());
    return;
  }
  scratch.resize(2 * n);
  std::uint64_t* from = scratch.data();
  std::uint64_t* to = from + n;
  std::array<std::array<std::uint32_t, 256>, 8> counts{};
  for (std::size_t i = 0; i < n; ++i) {
    const std::uint64_t key = keyOf(values[i]);
    from[i] = key;
    for (unsigned d = kFirstDigit; d < 8; ++d) ++counts[d][(key >> (8 * d)) & 0xFF];
  }
  for (unsigned d = kFirstDigit; d < 8; ++d) {
    std::array<std::uint32_t, 256>& count = counts[d];
    if (std::find(count.begin(), count.end(), n) != count.end()) continue;  // one value
    std::uint32_t start = 0;
    for (std::uint32_t& c : count) start += std::exchange(c, start);
    const unsigned shift = 8 * d;
    for (std::size_t i = 0; i < n; ++i) to[count[(from[i] >> shift) & 0xFF]++] = from[i];
    std::swap(from, to);
  }
  // Values alike to 20 bits in numbers (heights far above their spread) would make the
  // insertion sort quadratic: past a budget of moves a comparison sort finishes the job.
  std::size_t budget = 8 * n;
  for (std::size_t i = 0; i < n; ++i) {
    const std::uint64_t key = from[i];
    std::size_t j = i;
    for (; j > 0 && from[j - 1] > key && budget > 0; --j, --budget) from[j] = from[j - 1];
    from[j] = key;
    if (budget == 0) {
      std::sort(from, from + n);
      break;
    }
  }
  for (std::size_t i = 0; i < n; ++i) values[i] = valueOf(from[i]);
}

}  // namespace corvane
