#pragma once

// The baseline the loader is measured against: the whole file read into memory, then
// std::from_chars over it with no checks at all, the values pushed into a vector.

#include <charconv>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

namespace corvane::bench {

class BareParse {
 public:
  explicit BareParse(std::filesystem::path path)
      : path_(std::move(path)), bytes_(static_cast<std::size_t>(file_size(path_)), '\0') {
    values_.reserve(bytes_.size() / 4);
  }

  // Reads and scans the file once; returns the number of values found.
  std::size_t run() {
    std::FILE* file = std::fopen(path_.c_str(), "rb");
    const std::size_t size = file ? std::fread(bytes_.data(), 1, bytes_.size(), file) : 0;
    if (file) std::fclose(file);
    values_.clear();
    const char* p = bytes_.data();
    const char* const end = p + size;
    while (p != end) {
      if (static_cast<unsigned char>(*p) <= ' ' || *p == ',') {
        ++p;
        continue;
      }
      double value;
      const char* const next = std::from_chars(p, end, value).ptr;
      values_.push_back(value);
      p = next == p ? p + 1 : next;  // only so that a stray byte cannot stall the scan
    }
    return values_.size();
  }

  const std::vector<double>& values() const noexcept { return values_; }

 private:
  std::filesystem::path path_;
  std::string bytes_;
  std::vector<double> values_;
};

}  // namespace corvane::bench
