#include "data/point_reader.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstring>
#include <memory>
#include <utility>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace corvane {
namespace {

// What a byte means between fields. Every byte that is not a separator belongs to a field.
enum class ByteKind : unsigned char { Field, Blank, Comma, Lf, Cr };

constexpr std::array<ByteKind, 256> makeByteKinds() {
  std::array<ByteKind, 256> kinds{};
  kinds[static_cast<unsigned char>(' ')] = ByteKind::Blank;
  kinds[static_cast<unsigned char>('\t')] = ByteKind::Blank;
  kinds[static_cast<unsigned char>(',')] = ByteKind::Comma;
  kinds[static_cast<unsigned char>('\n')] = ByteKind::Lf;
  kinds[static_cast<unsigned char>('\r')] = ByteKind::Cr;
  return kinds;
}

constexpr std::array<ByteKind, 256> kByteKinds = makeByteKinds();

inline ByteKind kindOf(char c) noexcept { return kByteKinds[static_cast<unsigned char>(c)]; }
inline bool isSeparator(char c) noexcept { return kindOf(c) != ByteKind::Field; }
inline bool isDigit(char c) noexcept { return c >= '0' && c <= '9'; }

// The smallest magnitude whose single-precision conversion is infinite: halfway between the
// largest float and 2^128, where rounding to nearest-even goes up.
constexpr double kSinglePrecisionLimit = 0x1.ffffffp127;

constexpr char kUtf8ByteOrderMark[] = "\xEF\xBB\xBF";

// The first kFoundLength bytes of a field, with every byte outside printable ASCII (and the
// backslash, so that the text stays unambiguous) written as \xNN, and "..." when shortened.
std::string printable(const char* begin, const char* end) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  const auto size = static_cast<std::size_t>(end - begin);
  std::string text;
  for (const char* p = begin; p != begin + std::min(size, kFoundLength); ++p) {
    const auto byte = static_cast<unsigned char>(*p);
    if (byte >= 0x20 && byte < 0x7F && byte != '\\') {
      text += static_cast<char>(byte);
    } else {
      text += "\\x";
      text += kHex[byte >> 4];
      text += kHex[byte & 0xF];
    }
  }
  if (size > kFoundLength) text += "...";
  return text;
}

// For a decimal number that from_chars found beyond the double range: whether it is too large
// rather than too small, i.e. whether its leading significant digit stands at 10^0 or above.
// Works on the digits alone, so that no locale-dependent conversion is involved.
bool isTooLarge(const char* p, const char* end) noexcept {
  if (p != end && (*p == '+' || *p == '-')) ++p;
  bool significant = false;
  std::int64_t leadPower = 0;  // the power of ten of the leading significant digit
  std::int64_t integerDigits = 0;
  for (; p != end && isDigit(*p); ++p, ++integerDigits) {
    if (!significant && *p != '0') {
      significant = true;
      leadPower = -integerDigits;  // completed below once the number of digits is known
    }
  }
  if (significant) leadPower += integerDigits - 1;
  if (p != end && *p == '.') {
    ++p;
    for (std::int64_t position = 1; p != end && isDigit(*p); ++p, ++position) {
      if (!significant && *p != '0') {
        significant = true;
        leadPower = -position;
      }
    }
  }
  if (!significant) return false;
  std::int64_t exponent = 0;
  bool negativeExponent = false;
  if (p != end && (*p == 'e' || *p == 'E')) {
    ++p;
    if (p != end && (*p == '+' || *p == '-')) negativeExponent = *p++ == '-';
    for (; p != end && isDigit(*p); ++p) {
      exponent = std::min<std::int64_t>(exponent * 10 + (*p - '0'), 1'000'000'000);
    }
  }
  return leadPower + (negativeExponent ? -exponent : exponent) >= 0;
}

// The failure for a value outside the single-precision range: a value that is not finite came
// from inf or nan, which are not numbers here.
inline ReadError outOfRangeError(double value) noexcept {
  return std::isfinite(value) ? ReadError::OutOfRange : ReadError::NotANumber;
}

// The one parser behind readPointText and readPointFile. It is fed the input in pieces; each
// call parses as far as it can and returns the first byte it left for the next call.
// Where the parser puts its points: the window's table, which holds kMaxPoints, or a list that
// grows up to its limit.
struct PointStore {
  PointTable* table = nullptr;
  PointList* list = nullptr;
  int limit = kMaxPoints;

  Point* rows() const { return table != nullptr ? &table->row(0) : list->rows(); }
  // A list may hold room from an earlier, larger file: the limit still holds.
  int capacity() const { return table != nullptr ? kMaxPoints : std::min(list->capacity(), limit); }
  bool grow() const { return list != nullptr && list->grow(limit); }
  void setCount(int count) const {
    if (table != nullptr) {
      table->setCount(count);
    } else {
      list->setCount(count);
    }
  }
};

class PointParser {
 public:
  // The first stop is at the window's kMaxPoints whatever room the store has, so that the line
  // where the window would refuse the file is known.
  explicit PointParser(PointStore store) noexcept
      : store_(store), rows_(store.rows()), capacity_(std::min(store.capacity(), kMaxPoints)) {
    store_.setCount(0);
  }

  // Parses [begin, end). When more input follows (last is false), a field that runs up to end
  // and a CR that may be the first half of a CR LF pair are left unparsed: the caller passes them
  // again in front of the following bytes. What is left is never longer than kMaxFieldLength.
  // The first piece must hold at least three bytes unless it is the last, so that a byte-order
  // mark is seen whole. Parsing stops at the first failure.
  const char* parse(const char* begin, const char* end, bool last);

  bool failed() const noexcept { return result_.error != ReadError::None; }

  // Ends the input (after a parse with last set) and gives the result.
  ReadResult finish();

  // Fails the read for a reason outside the text, such as an I/O error.
  ReadResult failWith(ReadError error) {
    result_.error = error;
    return finish();
  }

 private:
  enum class LineState : unsigned char { Start, AfterField, AfterComma };

  // Where the parse stands between two pieces.
  struct Position {
    std::int64_t line = 1;
    std::int64_t lastFieldLine = 0;  // the line of the last x or y read
    int lineStart = 0;               // the number of fields read before this line
    LineState lineState = LineState::Start;
    int points = 0;  // complete points, stored in rows 1..points
    int axis = 0;    // the coordinate the next field gives: 0 x, 1 y, 2 z
  };

  const char* parseFrom(const char* p, const char* end, bool last);
  const char* slowField(const char* begin, const char* end, bool last,
                        std::from_chars_result parsed, double& value);
  void fail(ReadError error, const Position& at, const char* begin, const char* end);

  PointStore store_;
  Point* rows_;
  int capacity_;
  ReadResult result_;
  Position at_;
  Point pending_;         // the x and y of the point being read
  bool started_ = false;  // whether the byte-order mark has been looked for
};

const char* PointParser::parse(const char* p, const char* end, bool last) {
  if (!started_) {
    // The first piece is a whole block or the whole input: it holds the mark if there is one.
    started_ = true;
    if (end - p >= 3 && std::memcmp(p, kUtf8ByteOrderMark, 3) == 0) p += 3;
  }
  return parseFrom(p, end, last);
}

// The loop runs once per point and reads its x, y and z in turn; a piece that ends inside a
// point is resumed at the coordinate where it stopped. The position is held in local variables
// here, which the compiler can keep in registers, and stored back when the piece is done.
const char* PointParser::parseFrom(const char* p, const char* const end, const bool last) {
  std::int64_t line = at_.line;
  std::int64_t lastFieldLine = at_.lastFieldLine;
  int lineStart = at_.lineStart;
  LineState lineState = at_.lineState;
  int points = at_.points;
  const auto here = [&](int axis) {
    return Position{line, lastFieldLine, lineStart, lineState, points, axis};
  };
  // from_chars reads no more than the longest field, so that a long run of digits is not
  // scanned to its end: from a field that starts before this byte, it stops at its end.
  const char* const roomy =
      static_cast<std::size_t>(end - p) > kMaxFieldLength ? end - kMaxFieldLength : p;

  // Moves p to the start of the next field, through blanks, commas and line ends. False when
  // the piece ends first, or a CR ends it that may be followed by an LF, or the read fails.
  const auto toField = [&](int axis) {
    for (;;) {
      if (p == end) return false;
      const ByteKind kind = kindOf(*p);
      if (kind == ByteKind::Field) [[likely]] {
        return true;
      } else if (kind == ByteKind::Blank) {
        ++p;
      } else if (kind == ByteKind::Comma) {
        if (lineState != LineState::AfterField) {
          fail(ReadError::NotANumber, here(axis), p, p);
          return false;
        }
        lineState = LineState::AfterComma;
        ++p;
      } else {
        if (lineState == LineState::AfterComma) {
          fail(ReadError::NotANumber, here(axis), p, p);
          return false;
        }
        if (*p == '\n') {
          ++p;
        } else if (p + 1 != end) {
          p += p[1] == '\n' ? 2 : 1;
        } else if (last) {
          ++p;
        } else {
          return false;
        }
        ++line;
        lineStart = points * 3 + axis;
        lineState = LineState::Start;
      }
    }
  };

  // Reads the field at p into value and moves p past it. False when the field goes on in the
  // next piece, or the read fails.
  const auto readField = [&](int axis, double& value) {
    const char* const begin = p;
    // from_chars reads a leading '-' but no '+' (slowField takes that one). It also reads inf
    // and nan, the only texts it turns into values that are not finite: the range check rejects
    // those, so that a field of digits needs no check of its own. A field that from_chars read
    // up to its limit and that goes on is longer than kMaxFieldLength.
    const std::from_chars_result parsed =
        std::from_chars(begin, begin < roomy ? begin + kMaxFieldLength : end, value);
    if (parsed.ec == std::errc{} && parsed.ptr != end && isSeparator(*parsed.ptr)) [[likely]] {
      if (!(std::fabs(value) < kSinglePrecisionLimit)) [[unlikely]] {
        fail(outOfRangeError(value), here(axis), begin, parsed.ptr);
        return false;
      }
      // A comma right after a number is always in place: taking it here saves a turn in
      // toField for most fields.
      p = parsed.ptr;
      if (*p == ',') {
        lineState = LineState::AfterComma;
        ++p;
      } else {
        lineState = LineState::AfterField;
      }
      return true;
    }
    const char* const fieldEnd = slowField(begin, end, last, parsed, value);
    if (fieldEnd == nullptr) {
      if (failed()) fail(result_.error, here(axis), begin, end);
      return false;
    }
    if (!(std::fabs(value) < kSinglePrecisionLimit)) {
      fail(outOfRangeError(value), here(axis), begin, fieldEnd);
      return false;
    }
    p = fieldEnd;
    lineState = LineState::AfterField;
    return true;
  };

  int axis = at_.axis;
  for (;;) {
    switch (axis) {
      case 0:
        if (!toField(0) || !readField(0, pending_.x)) {
          axis = 0;
          break;
        }
        lastFieldLine = line;
        [[fallthrough]];
      case 1:
        if (!toField(1) || !readField(1, pending_.y)) {
          axis = 1;
          break;
        }
        lastFieldLine = line;
        [[fallthrough]];
      default: {
        double z;
        if (!toField(2) || !readField(2, z)) {
          axis = 2;
          break;
        }
        if (points == capacity_) [[unlikely]] {
          if (points == kMaxPoints) result_.pastWindowLine = line;
          if (points >= store_.capacity() && !store_.grow()) {
            result_.error = ReadError::TooManyPoints;
            result_.line = line;
            result_.field = points * 3 + 3 - lineStart;
            result_.point = store_.limit + 1;
            result_.axis = 2;
            break;
          }
          rows_ = store_.rows();
          capacity_ = store_.capacity();
        }
        rows_[++points] = Point{pending_.x, pending_.y, z};
        axis = 0;
        continue;
      }
    }
    at_ = here(axis);
    return p;
  }
}

// The rare cases of a field: one that may go on in the next piece, one that is not a number, one
// beyond the double range. Returns the byte after the field, or nullptr when the field goes on
// in the next piece or when it fails (then result_.error is set and the caller records where).
const char* PointParser::slowField(const char* begin, const char* end, bool last,
                                   std::from_chars_result parsed, double& value) {
  // Look no further than one byte beyond the longest field.
  const char* const limit =
      static_cast<std::size_t>(end - begin) > kMaxFieldLength ? begin + kMaxFieldLength + 1 : end;
  const char* fieldEnd = std::find_if(begin, limit, isSeparator);
  if (static_cast<std::size_t>(fieldEnd - begin) > kMaxFieldLength) {
    result_.error = ReadError::NotANumber;
    return nullptr;
  }
  if (fieldEnd == end && !last) return nullptr;
  // A '+' must be followed by what could start a number, as a '-' must.
  if (*begin == '+' && fieldEnd - begin >= 2 && (isDigit(begin[1]) || begin[1] == '.')) {
    parsed = std::from_chars(begin + 1, fieldEnd, value);
  }
  if (parsed.ptr != fieldEnd || parsed.ec == std::errc::invalid_argument) {
    result_.error = ReadError::NotANumber;
    return nullptr;
  }
  if (parsed.ec == std::errc::result_out_of_range) {
    if (isTooLarge(begin, fieldEnd)) {
      result_.error = ReadError::OutOfRange;
      return nullptr;
    }
    value = *begin == '-' ? -0.0 : 0.0;  // finite, only too small for double precision
  }
  return fieldEnd;
}

// Records a failure at the field that starts at begin; begin == end marks an empty field.
void PointParser::fail(ReadError error, const Position& at, const char* begin, const char* end) {
  result_.error = error;
  result_.line = at.line;
  result_.field = at.points * 3 + at.axis - at.lineStart + 1;
  result_.point = at.points + 1;
  result_.axis = at.axis;
  if (begin != end) {
    const char* fieldEnd =
        std::find_if(begin, std::min(end, begin + kFoundLength + 1), isSeparator);
    result_.found = printable(begin, fieldEnd);
  }
}

ReadResult PointParser::finish() {
  if (!failed()) {
    if (at_.lineState == LineState::AfterComma) {
      fail(ReadError::NotANumber, at_, nullptr, nullptr);
    } else if (at_.axis != 0) {
      result_.error = ReadError::EndsInsidePoint;
      result_.line = at_.lastFieldLine;
      result_.point = at_.points + 1;
      result_.axis = at_.axis;
    } else if (at_.points == 0) {
      result_.error = ReadError::NoPoints;
    }
  }
  if (failed()) {
    store_.setCount(0);
  } else {
    store_.setCount(at_.points);
    result_.pointCount = at_.points;
  }
  return std::move(result_);
}

// Closes a file descriptor when it goes out of scope.
class FileDescriptor {
 public:
  explicit FileDescriptor(int fd) noexcept : fd_(fd) {}
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  ~FileDescriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  int get() const noexcept { return fd_; }

 private:
  int fd_;
};

// What a file that is not a regular one is, in words; empty for a regular file or a folder.
std::string kindOfFile(mode_t mode) {
  if (S_ISREG(mode) || S_ISDIR(mode)) return {};
  if (S_ISFIFO(mode)) return "a named pipe";
  if (S_ISSOCK(mode)) return "a socket";
  if (S_ISCHR(mode)) return "a character device";
  if (S_ISBLK(mode)) return "a block device";
  return "not a file";
}

ReadResult systemFailure(ReadError error, const std::filesystem::path& path, int systemError) {
  ReadResult result;
  result.error = error;
  result.path = path.string();
  result.systemError = systemError;
  return result;
}

ReadResult notRegular(const std::filesystem::path& path, std::string kind) {
  ReadResult result = systemFailure(ReadError::NotRegularFile, path, 0);
  result.fileKind = std::move(kind);
  return result;
}

// Reads up to `size` bytes, fewer only at the end of the file (files under /proc give short
// reads before their end). Returns the count, or -1 with errno set.
ssize_t readFully(int fd, char* buffer, std::size_t size) noexcept {
  std::size_t done = 0;
  while (done < size) {
    const ssize_t count = ::read(fd, buffer + done, size - done);
    if (count < 0) {
      if (errno == EINTR) continue;
      return -1;
    }
    if (count == 0) break;
    done += static_cast<std::size_t>(count);
  }
  return static_cast<ssize_t>(done);
}

}  // namespace

std::string describe(const ReadResult& result) {
  const auto at = [&result] {
    return "line " + std::to_string(result.line) + ", field " + std::to_string(result.field) + ": ";
  };
  switch (result.error) {
    case ReadError::None:
      return std::to_string(result.pointCount) +
             (result.pointCount == 1 ? " point read" : " points read");
    case ReadError::CannotOpen:
      return "cannot open " + result.path + ": " + std::strerror(result.systemError);
    case ReadError::NotRegularFile:
      return result.path + " is " + result.fileKind +
             ", not a regular file (only a regular file can be read again on every load)";
    case ReadError::CannotRead:
      return "cannot read " + result.path + ": " + std::strerror(result.systemError);
    case ReadError::NotANumber:
      if (result.found.empty()) return at() + "the field is empty";
      return at() + "\"" + result.found + "\" is not a number";
    case ReadError::OutOfRange:
      return at() + result.found + " is beyond the single-precision range";
    case ReadError::EndsInsidePoint:
      return "line " + std::to_string(result.line) + ": the file ends inside point " +
             std::to_string(result.point) +
             (result.axis == 1 ? " (after its x)" : " (after its y)");
    case ReadError::TooManyPoints:
      return "more than " + std::to_string(result.point - 1) + " points (line " +
             std::to_string(result.line) + ")";
    case ReadError::NoPoints:
      return "the file holds no point";
  }
  return "unknown failure";
}

namespace {

ReadResult readText(std::string_view text, PointStore store) {
  PointParser parser(store);
  parser.parse(text.data(), text.data() + text.size(), true);
  return parser.finish();
}

ReadResult readFile(const std::filesystem::path& path, PointStore store,
                    const ReadProgress& progress = {}) {
  store.setCount(0);
  // A device or pipe is refused before it is opened: opening one may itself wait or act.
  struct stat status {};
  if (::stat(path.c_str(), &status) == 0) {
    if (S_ISDIR(status.st_mode)) return systemFailure(ReadError::CannotOpen, path, EISDIR);
    std::string kind = kindOfFile(status.st_mode);
    if (!kind.empty()) return notRegular(path, std::move(kind));
  }
  // Without O_NONBLOCK a named pipe put in the file's place since would wait for a writer.
  int fd = -1;
  do {
    fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return systemFailure(ReadError::CannotOpen, path, errno);
  const FileDescriptor file(fd);
  if (::fstat(fd, &status) != 0) return systemFailure(ReadError::CannotOpen, path, errno);
  if (S_ISDIR(status.st_mode)) return systemFailure(ReadError::CannotOpen, path, EISDIR);
  if (std::string kind = kindOfFile(status.st_mode); !kind.empty()) {
    return notRegular(path, std::move(kind));
  }
  // A regular file: reads then block as usual (for a network file system, until data come).
  const int flags = ::fcntl(fd, F_GETFL);
  if (flags >= 0) ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);

  // One block plus what a piece may leave unparsed: at most one field.
  const auto buffer = std::make_unique_for_overwrite<char[]>(kReadBlockSize + kMaxFieldLength);
  PointParser parser(store);
  std::size_t kept = 0;
  std::uint64_t done = 0;  // bytes read
  for (;;) {
    const ssize_t read = readFully(fd, buffer.get() + kept, kReadBlockSize);
    if (read < 0) {
      const int systemError = errno;
      ReadResult result = parser.failWith(ReadError::CannotRead);
      result.path = path.string();
      result.systemError = systemError;
      return result;
    }
    const auto count = static_cast<std::size_t>(read);
    const bool last = count < kReadBlockSize;
    done += count;
    if (progress && status.st_size > 0) {
      progress(std::min(1.0, static_cast<double>(done) / static_cast<double>(status.st_size)));
    }
    const char* end = buffer.get() + kept + count;
    const char* rest = parser.parse(buffer.get(), end, last);
    if (last || parser.failed()) break;
    kept = static_cast<std::size_t>(end - rest);
    std::memmove(buffer.get(), rest, kept);
  }
  return parser.finish();
}

}  // namespace

ReadResult readPointText(std::string_view text, PointTable& table) {
  return readText(text, {&table, nullptr, kMaxPoints});
}

ReadResult readPointFile(const std::filesystem::path& path, PointTable& table) {
  return readFile(path, {&table, nullptr, kMaxPoints});
}

ReadResult readPointText(std::string_view text, PointList& list, int limit) {
  return readText(text, {nullptr, &list, limit});
}

ReadResult readPointFile(const std::filesystem::path& path, PointList& list, int limit,
                         const ReadProgress& progress) {
  return readFile(path, {nullptr, &list, limit}, progress);
}

}  // namespace corvane
