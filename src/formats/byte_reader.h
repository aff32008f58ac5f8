#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <type_traits>

#include "formats/instrument_file.h"

namespace corvane {

// Reads fixed-size values from a file's bytes, never past their end: every read that would is
// refused with a FormatError naming what was being read.
class ByteReader {
 public:
  explicit ByteReader(std::string_view bytes) noexcept : bytes_(bytes) {}

  std::size_t offset() const noexcept { return offset_; }
  std::size_t size() const noexcept { return bytes_.size(); }
  std::size_t remaining() const noexcept { return bytes_.size() - offset_; }
  std::string_view bytes() const noexcept { return bytes_; }

  void seek(std::uint64_t offset, std::string_view what) {
    if (offset > bytes_.size()) throw short_(what);
    offset_ = static_cast<std::size_t>(offset);
  }
  void skip(std::uint64_t count, std::string_view what) {
    if (count > remaining()) throw short_(what);
    offset_ += static_cast<std::size_t>(count);
  }
  // The next `count` bytes, as they stand.
  std::string_view take(std::uint64_t count, std::string_view what) {
    if (count > remaining()) throw short_(what);
    const std::string_view part = bytes_.substr(offset_, static_cast<std::size_t>(count));
    offset_ += static_cast<std::size_t>(count);
    return part;
  }
  // A fixed-length text field without the NULs and spaces that pad it.
  std::string text(std::uint64_t count, std::string_view what) {
    std::string_view field = take(count, what);
    field = field.substr(0, field.find('\0'));
    while (!field.empty() && (field.back() == ' ' || field.back() == '\t')) field.remove_suffix(1);
    while (!field.empty() && field.front() == ' ') field.remove_prefix(1);
    return std::string(field);
  }
  // An arithmetic value stored little-endian or big-endian.
  template <class T>
  T little(std::string_view what) {
    return value<T>(std::endian::little, what);
  }
  template <class T>
  T big(std::string_view what) {
    return value<T>(std::endian::big, what);
  }

  // A value of `T` stored at `at` in `order`, for loops that have checked their bounds.
  template <class T>
  static T load(const char* at, std::endian order) noexcept {
    static_assert(std::is_arithmetic_v<T>);
    using Bits = std::conditional_t<
        sizeof(T) == 1, std::uint8_t,
        std::conditional_t<sizeof(T) == 2, std::uint16_t,
                           std::conditional_t<sizeof(T) == 4, std::uint32_t, std::uint64_t>>>;
    Bits bits;
    std::memcpy(&bits, at, sizeof bits);
    if (order != std::endian::native) bits = swapped(bits);
    T value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
  }

 private:
  template <class Bits>
  static Bits swapped(Bits bits) noexcept {
    if constexpr (sizeof(Bits) == 1) {
      return bits;
    } else if constexpr (sizeof(Bits) == 2) {
      return static_cast<Bits>(__builtin_bswap16(bits));
    } else if constexpr (sizeof(Bits) == 4) {
      return __builtin_bswap32(bits);
    } else {
      return __builtin_bswap64(bits);
    }
  }
  template <class T>
  T value(std::endian order, std::string_view what) {
    const std::string_view part = take(sizeof(T), what);
    return load<T>(part.data(), order);
  }
  FormatError short_(std::string_view what) const { return endsBefore(what, bytes_.size()); }

  std::string_view bytes_;
  std::size_t offset_ = 0;
};

}  // namespace corvane
