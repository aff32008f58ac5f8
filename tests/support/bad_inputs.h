#pragma once

// The catalogue of bad and awkward point files that the window and corvane-batch are both tested
// with (standard C++ only). Small files are held in memory; the large ones are written to disk
// once per test program, the 2 GB one as a sparse file that takes no room.

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "support/temp_dir.h"

namespace corvane::testing {

// A file the reader refuses, with a part of the diagnosis it must give.
struct RefusedInput {
  const char* name;
  std::string bytes;
  std::string diagnosis;
};

// A file the reader takes although it is odd, with the number of points it holds.
struct AwkwardInput {
  const char* name;
  std::string bytes;
  int points;
};

// Bytes from a fixed generator: the same junk on every run.
inline std::string binaryJunk(std::size_t size) {
  std::string bytes(size, '\0');
  std::uint64_t state = 0x5EED;
  for (char& byte : bytes) {
    state = state * 6364136223846793005ull + 1442695040888963407ull;
    byte = static_cast<char>(state >> 56);
  }
  return bytes;
}

inline std::string pointLines(int count) {
  std::string text;
  for (int i = 0; i < count; ++i) text += "1.5,2.5,3.5\n";
  return text;
}

inline std::vector<RefusedInput> refusedInputs() {
  using namespace std::string_literals;
  return {
      {"binary junk", binaryJunk(64 * 1024), "is not a number"},
      {"truncated inside a point", "1,2,3\n4,5",
       "line 2: the file ends inside point 2 (after its y)"},
      {"truncated after a comma", "1,2,3\n4,5,", "line 2, field 3: the field is empty"},
      {"NUL bytes", "1,2,3\n4\0,5,6\n"s, R"(line 2, field 1: "4\x00" is not a number)"},
      {"UTF-16 LE with its byte-order mark",
       "\xFF\xFE"
       "1\0,\0"
       "2\0,\0"
       "3\0\n\0"s,
       R"(line 1, field 1: "\xFF\xFE1\x00" is not a number)"},
      {"UTF-16 BE with its byte-order mark",
       "\xFE\xFF"
       "\0"
       "1\0,\0"
       "2\0,\0"
       "3\0\n"s,
       R"(line 1, field 1: "\xFE\xFF\x001\x00" is not a number)"},
      {"a value beyond single precision", "0,0,1\n1,0,-3.5e38\n",
       "line 2, field 3: -3.5e38 is beyond the single-precision range"},
      {"more than 100000 points", pointLines(100001), "more than 100000 points (line 100001)"},
      {"an empty file", "", "the file holds no point"},
  };
}

inline std::vector<AwkwardInput> awkwardInputs() {
  return {
      {"all x equal", "2,0,1\n2,1,5\n2,2,3\n2,3,4\n", 4},
      {"all y equal", "0,7,1\n1,7,5\n2,7,3\n3,7,4\n4,7,2\n", 5},
      {"all z equal", "0,0,4.25\n1,0,4.25\n0,1,4.25\n1,1,4.25\n", 4},
      {"one point", "3.5,-2,7.75\n", 1},
      {"heights of plus and minus 5000", "0,0,5000\n4,0,-5000\n0,1,-4999.99\n4,1,4999.5\n", 4},
      {"heights of plus and minus 1e30", "0,0,1e30\n4,0,-1e30\n0,1,3\n4,1,-2e29\n", 4},
      {"UTF-8 byte-order mark and CR LF",
       "\xEF\xBB\xBF"
       "0,0,1\r\n4,0,2\r\n0,1,3\r\n",
       3},
  };
}

// The large files, written once per test program into a folder that lives as long as it.
class LargeInputs {
 public:
  static constexpr std::uintmax_t kFiftyMegabytes = std::uintmax_t{50} << 20;
  static constexpr std::uintmax_t kTwoGigabytes = std::uintmax_t{2} << 30;

  // One line of 50 MB: a point, 50 MB of blanks and tabs, a second point, no line end.
  static const std::filesystem::path& singleLine() {
    static const std::filesystem::path path = write("single line.txt", "1,2,3", ' ', "\t4,5,6");
    return path;
  }
  // 50 MB of empty lines, then one point.
  static const std::filesystem::path& blankLines() {
    static const std::filesystem::path path = write("blank lines.txt", "", '\n', "7,8,9\n");
    return path;
  }
  // 2 GB of NUL bytes, sparse: it takes no room on the disk. Empty when the file system
  // cannot hold such a file.
  static const std::filesystem::path& sparseNulBytes() {
    static const std::filesystem::path path = [] {
      auto file = folder().write("sparse.txt", "");
      std::error_code ec;
      std::filesystem::resize_file(file, kTwoGigabytes, ec);
      return ec ? std::filesystem::path() : file;
    }();
    return path;
  }

 private:
  static const TempDir& folder() {
    static const TempDir dir;
    return dir;
  }

  // head, then kFiftyMegabytes of `fill`, then tail, written a megabyte at a time.
  static std::filesystem::path write(std::string_view name, std::string_view head, char fill,
                                     std::string_view tail) {
    const auto path = folder().path() / std::filesystem::path(name);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << head;
    const std::string block(std::size_t{1} << 20, fill);
    for (std::uintmax_t written = 0; written < kFiftyMegabytes; written += block.size()) {
      out.write(block.data(), static_cast<std::streamsize>(block.size()));
    }
    out << tail;
    if (!out) throw std::runtime_error("cannot write " + path.string());
    return path;
  }
};

}  // namespace corvane::testing
