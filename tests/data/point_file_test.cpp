// What only a file brings: failures to open or read it, the blocks it is read in (fields, line
// ends and commas cut by a block boundary) and sizes far beyond what a load may hold in memory.

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <future>
#include <memory>
#include <string>
#include <string_view>
#include <system_error>

#include <fcntl.h>
#include <unistd.h>

#include "data/point_reader.h"
#include "data/point_table.h"
#include "support/temp_dir.h"

namespace corvane {
namespace {

namespace fs = std::filesystem;

class PointFileTest : public ::testing::Test {
 protected:
  ReadResult readBytes(std::string_view bytes) {
    return readPointFile(folder_.write("points.txt", bytes), *table_);
  }

  // Expects the failure to open the file, with the table emptied.
  void expectCannotOpen(const fs::path& path, int systemError) {
    ASSERT_TRUE(readPointText("1 2 3", *table_).ok());
    const ReadResult result = readPointFile(path, *table_);
    EXPECT_EQ(result.error, ReadError::CannotOpen);
    EXPECT_EQ(result.systemError, systemError);
    EXPECT_EQ(result.path, path.string());
    EXPECT_EQ(table_->count(), 0);
    EXPECT_EQ(describe(result), "cannot open " + path.string() + ": " + std::strerror(systemError));
  }

  std::unique_ptr<PointTable> table_ = std::make_unique<PointTable>();
  testing::TempDir folder_;
};

// A first point, then blanks up to `offset`, where `tail` starts.
std::string placedAt(std::size_t offset, std::string_view tail) {
  std::string text = "1,2,3\n";
  text.append(offset - text.size(), ' ');
  text += tail;
  return text;
}

// --- Opening and reading -----------------------------------------------------------------------

TEST_F(PointFileTest, CannotOpenAMissingFile) {
  expectCannotOpen(folder_.path() / "missing.txt", ENOENT);
  expectCannotOpen(folder_.path() / "no folder" / "points.txt", ENOENT);
}

TEST_F(PointFileTest, CannotOpenAFolder) { expectCannotOpen(folder_.path(), EISDIR); }

TEST_F(PointFileTest, CannotOpenAFileWithoutReadPermission) {
  const fs::path path = folder_.write("locked.txt", "1 2 3\n");
  fs::permissions(path, fs::perms::none);
  if (std::FILE* probe = std::fopen(path.c_str(), "rb")) {
    std::fclose(probe);
    GTEST_SKIP() << "this user reads files without permission (root)";
  }
  expectCannotOpen(path, EACCES);
}

TEST_F(PointFileTest, ReportsAnErrorWhileReading) {
  // Reading this process's memory from address 0 fails with an I/O error on Linux.
  const fs::path path = "/proc/self/mem";
  std::error_code ec;
  if (!fs::exists(path, ec)) GTEST_SKIP() << "no " << path;
  ASSERT_TRUE(readPointText("1 2 3", *table_).ok());
  const ReadResult result = readPointFile(path, *table_);
  EXPECT_EQ(result.error, ReadError::CannotRead);
  EXPECT_EQ(result.systemError, EIO);
  EXPECT_EQ(table_->count(), 0);
  EXPECT_EQ(describe(result), "cannot read /proc/self/mem: " + std::string(std::strerror(EIO)));
}

// Reads the file on another thread and gives up after a second; a named pipe that made the read
// wait is then opened for writing and closed, which ends the read, so the test never hangs.
ReadResult readWithinASecond(const fs::path& path, PointTable& table, bool& inTime) {
  auto read = std::async(std::launch::async, [&] { return readPointFile(path, table); });
  inTime = read.wait_for(std::chrono::seconds(1)) == std::future_status::ready;
  if (!inTime) {
    const int writer = ::open(path.c_str(), O_WRONLY | O_NONBLOCK);
    if (writer >= 0) ::close(writer);
  }
  return read.get();
}

TEST_F(PointFileTest, RefusesAtOnceWhatIsNotARegularFile) {
  const fs::path fifo = folder_.fifo("scan.txt");
  const fs::path linkToFifo = folder_.path() / "link.txt";
  fs::create_symlink(fifo, linkToFifo);
  const fs::path linkToDevice = folder_.path() / "device.txt";
  fs::create_symlink("/dev/null", linkToDevice);
  const struct {
    fs::path path;
    const char* kind;
  } cases[] = {
      {fifo, "a named pipe"},
      {linkToFifo, "a named pipe"},
      {linkToDevice, "a character device"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path.string());
    ASSERT_TRUE(readPointText("1 2 3", *table_).ok());
    bool inTime = false;
    const ReadResult result = readWithinASecond(c.path, *table_, inTime);
    EXPECT_TRUE(inTime);
    EXPECT_EQ(result.error, ReadError::NotRegularFile);
    EXPECT_EQ(table_->count(), 0);
    EXPECT_EQ(describe(result), c.path.string() + " is " + c.kind +
                                    ", not a regular file (only a regular file can be read again "
                                    "on every load)");
  }
}

TEST_F(PointFileTest, RefusesANamedPipeWhoseWriterServesPoints) {
  const fs::path fifo = folder_.fifo("served.txt");
  // Held open for reading and writing, the pipe has a writer and points waiting in it.
  const int both = ::open(fifo.c_str(), O_RDWR | O_NONBLOCK);
  ASSERT_GE(both, 0);
  constexpr std::string_view points = "1 2 3\n4 5 6\n";
  ASSERT_EQ(::write(both, points.data(), points.size()), static_cast<ssize_t>(points.size()));
  bool inTime = false;
  const ReadResult result = readWithinASecond(fifo, *table_, inTime);
  ::close(both);
  EXPECT_TRUE(inTime);
  EXPECT_EQ(result.error, ReadError::NotRegularFile);
  EXPECT_EQ(result.fileKind, "a named pipe");
}

TEST_F(PointFileTest, ReadsFilesThatReportASizeOfZero) {
  // /proc/loadavg is a regular file of size 0 holding "0.52 0.58 0.59 1/123 4567": three numbers,
  // then a field that is not one. Its content is read, not taken as empty.
  const fs::path path = "/proc/loadavg";
  std::error_code ec;
  if (!fs::is_regular_file(path, ec)) GTEST_SKIP() << "no " << path;
  EXPECT_EQ(fs::file_size(path, ec), 0u);
  const ReadResult result = readPointFile(path, *table_);
  EXPECT_EQ(result.error, ReadError::NotANumber);
  EXPECT_EQ(result.line, 1);
  EXPECT_EQ(result.field, 4);
}

// --- Block boundaries --------------------------------------------------------------------------

TEST_F(PointFileTest, ReadsAFieldCutByABlockBoundary) {
  const struct {
    std::string field;
    double value;
  } cases[] = {
      {"-12.5e-3", -12.5e-3},
      {"123456.789012", 123456.789012},
      {"+.5E+1", 5.0},
      {"1e-400", 0.0},
      {std::string(kMaxFieldLength - 1, '0') + "7", 7.0},  // the longest field
  };
  const char* const before[] = {"", "8,", "8 \t8 , "};  // the field as x, y and z
  for (const auto& c : cases) {
    for (int axis = 0; axis < 3; ++axis) {
      // The bytes of the field left in the first block: none, some or all of them.
      for (std::size_t cut = 0; cut <= c.field.size(); ++cut) {
        if (cut > 3 && cut + 3 < c.field.size() && cut != c.field.size() / 2) continue;
        SCOPED_TRACE(c.field.substr(0, 16) + " as coordinate " + std::to_string(axis) +
                     ", cut after " + std::to_string(cut));
        const std::string head = std::string(before[axis]);
        std::string tail = head + c.field;
        for (int rest = axis + 1; rest < 3; ++rest) tail += ",8";
        const ReadResult result =
            readBytes(placedAt(kReadBlockSize - cut - head.size(), tail + "\n"));
        ASSERT_TRUE(result.ok()) << describe(result);
        ASSERT_EQ(table_->count(), 2);
        const Point& point = table_->row(2);
        EXPECT_EQ(axis == 0 ? point.x : axis == 1 ? point.y : point.z, c.value);
      }
    }
  }
  // One file, two boundaries, a field cut by each: -45.678 and 12.
  std::string text = placedAt(kReadBlockSize - 3, "-45.678,9,10\n");
  text.append(2 * kReadBlockSize - 4 - text.size(), '\n');
  text += "11,12,9876.5\n";
  ASSERT_TRUE(readBytes(text).ok());
  ASSERT_EQ(table_->count(), 3);
  EXPECT_EQ(table_->row(2).x, -45.678);
  EXPECT_EQ(table_->row(3).x, 11.0);
  EXPECT_EQ(table_->row(3).y, 12.0);
  EXPECT_EQ(table_->row(3).z, 9876.5);
}

TEST_F(PointFileTest, KeepsLineEndsAndCommasWholeAcrossABlockBoundary) {
  const std::size_t end = kReadBlockSize;  // the first byte of the second block
  // A CR LF pair is one line end, also when cut; a lone CR at the end of a block is one too.
  // (Line 1 holds the first point, line 2 the blanks up to the boundary.)
  const ReadResult crlf = readBytes(placedAt(end - 1, "\r\n4 5 6\n0 x"));
  EXPECT_EQ(crlf.error, ReadError::NotANumber);
  EXPECT_EQ(crlf.line, 4);
  EXPECT_EQ(readBytes(placedAt(end - 1, "\r4 5 6\n0 x")).line, 4);
  EXPECT_EQ(readBytes(placedAt(end - 1, "\r\r\n0 x")).line, 4);
  EXPECT_EQ(readBytes(placedAt(end - 3, "\r\n\r\n0 x")).line, 4);
  // A file that ends with the CR closing its first block.
  EXPECT_EQ(readBytes(placedAt(end - 4, "4 5\r")).error, ReadError::EndsInsidePoint);
  EXPECT_TRUE(readBytes(placedAt(end - 6, "4 5 6\r")).ok());
  EXPECT_TRUE(readBytes(placedAt(end - 5, "4 5 6")).ok());  // ends with a digit at the boundary

  // Commas on either side of the boundary.
  EXPECT_TRUE(readBytes(placedAt(end - 1, "4,5,6\n")).ok());
  EXPECT_TRUE(readBytes(placedAt(end - 2, "4 , 5,6\n")).ok());
  const ReadResult twoCommas = readBytes(placedAt(end - 2, "4,,5,6\n"));
  EXPECT_EQ(twoCommas.error, ReadError::NotANumber);
  EXPECT_EQ(twoCommas.line, 2);
  EXPECT_EQ(twoCommas.field, 2);
  const ReadResult commaAtLineEnd = readBytes(placedAt(end - 6, "4,5,6,\r\n7,8,9\n"));
  EXPECT_EQ(commaAtLineEnd.error, ReadError::NotANumber);
  EXPECT_EQ(commaAtLineEnd.field, 4);
}

// --- Sizes -------------------------------------------------------------------------------------

TEST_F(PointFileTest, StreamsThroughLongRunsOfBlankLinesAndBlanks) {
  const std::size_t size = 3 * kReadBlockSize + 17;
  const struct {
    std::string run;
    std::int64_t lines;  // line ends in the run
  } cases[] = {
      {std::string(size, '\n'), static_cast<std::int64_t>(size)},
      {std::string(size, '\r'), static_cast<std::int64_t>(size)},
      {std::string(size, ' '), 0},
      {std::string(size, '\t') + "\n", 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.run[0]));
    ASSERT_TRUE(readBytes(c.run + "1 2 3").ok());
    EXPECT_EQ(table_->count(), 1);
    EXPECT_EQ(table_->row(1).z, 3.0);
    EXPECT_EQ(readBytes(c.run + "1 2 3\n0 x").line, c.lines + 2);
  }
  // CR LF pairs starting at odd offsets, so that a pair straddles every block boundary.
  std::string pairs = " ";
  for (std::size_t i = 0; i < size / 2; ++i) pairs += "\r\n";
  EXPECT_EQ(readBytes(pairs + "0 x").line, static_cast<std::int64_t>(size / 2) + 1);
}

// A file of gigabytes that takes no room on the disk: the rest of it reads as NUL bytes.
bool growSparse(const fs::path& path, std::uintmax_t size) {
  std::error_code ec;
  fs::resize_file(path, size, ec);
  return !ec;
}

TEST_F(PointFileTest, StopsEarlyInAHugeFile) {
  constexpr std::uintmax_t kHuge = std::uintmax_t{3} << 30;
  // One line of gigabytes without a separator fails in its first kMaxFieldLength bytes.
  const fs::path noSeparators = folder_.write("zeros.txt", "1 2 3\n");
  if (!growSparse(noSeparators, kHuge)) GTEST_SKIP() << "no sparse files here";
  const ReadResult zeros = readPointFile(noSeparators, *table_);
  EXPECT_EQ(zeros.error, ReadError::NotANumber);
  EXPECT_EQ(zeros.line, 2);
  std::string found;
  for (std::size_t i = 0; i < kFoundLength; ++i) found += "\\x00";
  EXPECT_EQ(zeros.found, found + "...");

  // Gigabytes after point kMaxPoints + 1 are never read.
  std::string points;
  for (int i = 0; i <= kMaxPoints; ++i) points += "1.5 2.5 3.5\n";
  const fs::path tooMany = folder_.write("many.txt", points);
  ASSERT_TRUE(growSparse(tooMany, kHuge));
  const ReadResult many = readPointFile(tooMany, *table_);
  EXPECT_EQ(many.error, ReadError::TooManyPoints);
  EXPECT_EQ(many.line, kMaxPoints + 1);
  EXPECT_EQ(table_->count(), 0);
}

}  // namespace
}  // namespace corvane
