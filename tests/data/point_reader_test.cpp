// The rules of the point file reader. Every case runs twice, once through readPointText and once
// through a real file read by readPointFile, since both must apply the same parser.

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "data/point_reader.h"
#include "data/point_table.h"
#include "support/temp_dir.h"

namespace corvane {
namespace {

using namespace std::string_literals;

enum class Source { Text, File };

struct Failure {
  ReadError error;
  std::int64_t line;
  int field;
  std::string found;
};

class PointReaderTest : public ::testing::TestWithParam<Source> {
 protected:
  ReadResult read(std::string_view bytes) {
    if (GetParam() == Source::Text) return readPointText(bytes, *table_);
    return readPointFile(folder_.write("points.txt", bytes), *table_);
  }

  // Reads the bytes and expects them to give exactly these points.
  void expectPoints(std::string_view bytes, const std::vector<Point>& points) {
    const ReadResult result = read(bytes);
    ASSERT_TRUE(result.ok()) << describe(result);
    ASSERT_EQ(result.pointCount, static_cast<int>(points.size()));
    ASSERT_EQ(table_->count(), static_cast<int>(points.size()));
    for (std::size_t i = 0; i < points.size(); ++i) {
      SCOPED_TRACE("point " + std::to_string(i + 1));
      const Point& row = table_->row(static_cast<int>(i) + 1);
      EXPECT_EQ(row.x, points[i].x);
      EXPECT_EQ(row.y, points[i].y);
      EXPECT_EQ(row.z, points[i].z);
    }
  }

  // Reads the bytes and expects this failure, with the table emptied.
  ReadResult expectFailure(std::string_view bytes, const Failure& failure) {
    const ReadResult result = read(bytes);
    EXPECT_EQ(result.error, failure.error) << describe(result);
    EXPECT_EQ(result.line, failure.line);
    EXPECT_EQ(result.field, failure.field);
    EXPECT_EQ(result.found, failure.found);
    EXPECT_EQ(result.pointCount, 0);
    EXPECT_EQ(table_->count(), 0);
    return result;
  }

  std::unique_ptr<PointTable> table_ = std::make_unique<PointTable>();
  testing::TempDir folder_;
};

INSTANTIATE_TEST_SUITE_P(Sources, PointReaderTest, ::testing::Values(Source::Text, Source::File),
                         [](const auto& info) {
                           return info.param == Source::Text ? "Text" : "File";
                         });

// --- Fields ------------------------------------------------------------------------------------

TEST_P(PointReaderTest, AcceptsDecimalNumbersInEveryCoordinate) {
  const struct {
    std::string field;
    double value;
  } cases[] = {
      {"1e-3", 1e-3},
      {".5", 0.5},
      {"5.", 5.0},
      {"+1", 1.0},
      {"-.5", -0.5},
      {"+.5", 0.5},
      {"-5.", -5.0},
      {"2.5E+02", 250.0},
      {"2.5e2", 250.0},
      {"1E5", 1e5},
      {"7e-0", 7.0},
      {"007", 7.0},
      {"0", 0.0},
      {"12.345678", 12.345678},
      {"-0.000123456", -0.000123456},
      {"0.1e1", 1.0},
      {"123456789012345678901234567890", 123456789012345678901234567890.0},
      {"3.4028234e38", 3.4028234e38},
      {"-3.4028234e38", -3.4028234e38},
      {"1e-310", 1e-310},                                  // a subnormal double
      {std::string(kMaxFieldLength - 1, '0') + "7", 7.0},  // the longest field
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.field.substr(0, 40));
    // Each coordinate has its own path through the parser, and so has a field that ends the
    // input without a line end.
    expectPoints(c.field + "," + c.field + "," + c.field + "\n", {{c.value, c.value, c.value}});
    expectPoints(c.field + " " + c.field + " " + c.field, {{c.value, c.value, c.value}});
  }
}

TEST_P(PointReaderTest, ReadsValuesTooSmallForDoubleAsZeroOfTheirSign) {
  const struct {
    std::string field;
    bool negative;
  } cases[] = {
      {"1e-400", false},
      {"-1e-400", true},
      {"+1e-400", false},
      {"2.4e-324", false},  // below half the smallest subnormal
      {"-0.0000001e-320", true},
      {"123456e-99999999999999999999", false},
      {"-0", true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.field);
    ASSERT_TRUE(read("1 2 " + c.field + "\n" + c.field + " 5 6").ok());
    EXPECT_EQ(table_->row(1).z, 0.0);
    EXPECT_EQ(std::signbit(table_->row(1).z), c.negative);
    EXPECT_EQ(std::signbit(table_->row(2).x), c.negative);
  }
}

TEST_P(PointReaderTest, RejectsAnythingElseAsNotANumber) {
  const struct {
    std::string field;
    std::string found;
  } cases[] = {
      {"nan", "nan"},
      {"NaN", "NaN"},
      {"-nan", "-nan"},
      {"inf", "inf"},
      {"-inf", "-inf"},
      {"+inf", "+inf"},
      {"infinity", "infinity"},
      {"0x10", "0x10"},
      {"0X1p3", "0X1p3"},
      {"1e", "1e"},
      {"1e+", "1e+"},
      {"1E-", "1E-"},
      {"e5", "e5"},
      {".e1", ".e1"},
      {"1.2.3", "1.2.3"},
      {"1..2", "1..2"},
      {"1e5.5", "1e5.5"},
      {"+-1", "+-1"},
      {"-+1", "-+1"},
      {"--1", "--1"},
      {"++1", "++1"},
      {".", "."},
      {"-", "-"},
      {"+", "+"},
      {"-.", "-."},
      {"12abc", "12abc"},
      {"1-2", "1-2"},
      {"1_000", "1_000"},
      {"1d5", "1d5"},
      {"X", "X"},
      {"height", "height"},
      {"\"1\"", "\"1\""},
      {"1;2", "1;2"},
      {"\\1", "\\x5C1"},
      {"\0"s, "\\x00"},
      {"1\0"s, "1\\x00"},
      {"\x0B", "\\x0B"},  // vertical tab and form feed are not separators
      {"\f1", "\\x0C1"},
      {"\xC2\xA0", "\\xC2\\xA0"},  // a no-break space
      {"\xD9\xA1", "\\xD9\\xA1"},  // an Arabic-Indic digit one
      {"\x7F", "\\x7F"},
      {"abcdefghijklmnopqrstuvwxyz0123456789", "abcdefghijklmnopqrstuvwxyz012345..."},
  };
  for (const auto& c : cases) {
    for (int field = 1; field <= 3; ++field) {
      SCOPED_TRACE(c.found + " as field " + std::to_string(field));
      std::string line[] = {"4", "5", "6"};
      line[field - 1] = c.field;
      const ReadResult result =
          expectFailure("1 2 3\n" + line[0] + " " + line[1] + " " + line[2] + "\n7 8 9\n",
                        {ReadError::NotANumber, 2, field, c.found});
      EXPECT_EQ(result.point, 2);
      EXPECT_EQ(result.axis, field - 1);
    }
  }
}

TEST_P(PointReaderTest, RejectsValuesBeyondSinglePrecision) {
  const std::string cases[] = {
      "3.5e38",
      "-3.5e38",
      "1e39",
      "1e300",
      "1.7976931348623157e308",  // the largest double
      "1e400",                   // beyond double as well
      "-1e400",
      "00000000001e400",
      "0.0000001e315",
      "3.4028235678e38",  // just above the point where single precision rounds to infinity
      "340282356779733661637539395458142568448",  // exactly there: rounds to infinity
      // Just below it, but the nearest double is the rounding point itself.
      "340282356779733661637539395458142568447",
      "1e99999999999999999999",
  };
  for (const std::string& field : cases) {
    SCOPED_TRACE(field);
    const std::string found =
        field.size() > kFoundLength ? field.substr(0, kFoundLength) + "..." : field;
    expectFailure("0 0 0\n1 " + field + " 2\n", {ReadError::OutOfRange, 2, 2, found});
  }
  // Just below the rounding point the single-precision value is the largest finite float.
  for (const std::string field : {"3.4028235677e38", "3402823567797336e23"}) {
    SCOPED_TRACE(field);
    ASSERT_TRUE(read("1 2 " + field).ok());
    EXPECT_EQ(static_cast<float>(table_->row(1).z), std::numeric_limits<float>::max());
  }
}

TEST_P(PointReaderTest, RejectsAFieldLongerThanTheLimit) {
  const std::string longField = std::string(kMaxFieldLength, '0') + "7";
  expectFailure("1 2 " + longField + "\n",
                {ReadError::NotANumber, 1, 3, std::string(kFoundLength, '0') + "..."});
  // Digits without end, as in a file that is not a point file at all.
  expectFailure(std::string(3 << 20, '1'),
                {ReadError::NotANumber, 1, 1, std::string(kFoundLength, '1') + "..."});
}

// --- Separators, lines and points --------------------------------------------------------------

TEST_P(PointReaderTest, ReadsTheSamePointsWhateverTheLayout) {
  const std::string cases[] = {
      // Commas and white space
      "1,2,3\n4,5,6\n",
      "1 2 3\n4 5 6\n",
      "1\t2\t3\n4\t5\t6\n",
      "1 , 2 ,3\n4 ,\t5,\t6\n",
      "1, 2\t3\n4  5 ,6",
      "   1 2 3   \n\t4 5 6\t\n",
      // Line ends
      "1 2 3\r\n4 5 6\r\n",
      "1 2 3\r4 5 6\r",
      "1 2 3\r4 5 6\n",
      // Fields taken three at a time, whatever the lines
      "1 2 3 4\n5 6\n",
      "1\n2\n3\n4\n5\n6\n",
      "1\r\n2\r\n3\r\n4 5\r6",
      "1 2 3 4 5 6",
      // Blank lines at the start, in the middle and at the end
      "\n\n1 2 3\n\n\n4 5 6\n\n\n",
      "  \n\t\n1 2 3\r\n \r\n\t\r4 5 6\n  \n",
      "\r\n\r\n1,2,3\r\n\r\n4,5,6",
  };
  for (const std::string& text : cases) {
    SCOPED_TRACE(text);
    expectPoints(text, {{1, 2, 3}, {4, 5, 6}});
  }
}

TEST_P(PointReaderTest, RejectsEmptyFieldsAroundCommas) {
  const struct {
    std::string text;
    std::int64_t line;
    int field;
  } cases[] = {
      {"1,,2,3\n", 1, 2},
      {"1, ,2,3\n", 1, 2},
      {"1,\t,2,3\n", 1, 2},
      {",1,2,3\n", 1, 1},
      {"  ,1,2,3\n", 1, 1},
      {"1,2,3,\n4,5,6\n", 1, 4},
      {"1,2,3 , \r\n4,5,6\n", 1, 4},
      {"1,2,3,\r4,5,6\n", 1, 4},
      {"1,2,3,", 1, 4},
      {"1,2,3\n4,5,6\n7,", 3, 2},
      {"1,2\n,3\n", 2, 1},
      {"1 2 3\n\n\t,4 5 6\n", 3, 1},
      {"1 2 3 4,,5 6", 1, 5},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    const ReadResult result = expectFailure(c.text, {ReadError::NotANumber, c.line, c.field, ""});
    EXPECT_EQ(describe(result), "line " + std::to_string(c.line) + ", field " +
                                    std::to_string(c.field) + ": the field is empty");
  }
}

TEST_P(PointReaderTest, CountsLinesEndedByLfCrLfAndCr) {
  // Where a bad field after these bytes is reported.
  const struct {
    std::string before;
    std::int64_t line;
  } cases[] = {
      {"", 1},
      {"\n", 2},
      {"\r\n", 2},
      {"\r", 2},
      {"\n\r", 3},    // LF then CR: two line ends
      {"\r\r\n", 3},  // CR, then CR LF
      {"\r\n\r\n", 3},
      {"\n\n\n", 4},
      {" \t\r\n\t \n", 3},
      {"1 2 3\r\n4 5 6\r7 8 9\n", 4},
      {"1 2 3\r4 5 6\r\n\r\n7 8 9\n\r", 6},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.before);
    expectFailure(c.before + "0 x", {ReadError::NotANumber, c.line, 2, "x"});
  }
}

TEST_P(PointReaderTest, SkipsAUtf8ByteOrderMarkOnlyAtTheVeryStart) {
  const std::string bom = "\xEF\xBB\xBF";
  const std::string shown = "\\xEF\\xBB\\xBF";
  expectPoints(bom + "1 2 3\n", {{1, 2, 3}});
  expectPoints(bom + "\n1,2,3", {{1, 2, 3}});
  expectFailure(bom + bom + "1 2 3", {ReadError::NotANumber, 1, 1, shown + "1"});
  expectFailure(" " + bom + "1 2 3", {ReadError::NotANumber, 1, 1, shown + "1"});
  expectFailure("1 2 3\n" + bom + "4 5 6", {ReadError::NotANumber, 2, 1, shown + "4"});
  expectFailure(bom.substr(0, 2), {ReadError::NotANumber, 1, 1, "\\xEF\\xBB"});
  // UTF-16 text, with either byte-order mark, is just bytes that are not numbers.
  const std::string utf16le = "\xFF\xFE"s + '1' + '\0' + ' ' + '\0' + '2' + '\0';
  expectFailure(utf16le, {ReadError::NotANumber, 1, 1, "\\xFF\\xFE1\\x00"});
  const std::string utf16be = "\xFE\xFF"s + '\0' + '1' + '\0' + ' ';
  expectFailure(utf16be, {ReadError::NotANumber, 1, 1, "\\xFE\\xFF\\x001\\x00"});
}

// --- Whole files -------------------------------------------------------------------------------

TEST_P(PointReaderTest, FailsWhenTheFileEndsInsideAPoint) {
  const struct {
    std::string text;
    std::int64_t line;
    int point;
    std::string message;
  } cases[] = {
      {"1 2 3\n4", 2, 2, "line 2: the file ends inside point 2 (after its x)"},
      {"1 2 3\n4 5\n\n", 2, 2, "line 2: the file ends inside point 2 (after its y)"},
      {"1 2 3 4\n\n\n", 1, 2, "line 1: the file ends inside point 2 (after its x)"},
      {"1\r\n2\r\n", 2, 1, "line 2: the file ends inside point 1 (after its y)"},
      {"1", 1, 1, "line 1: the file ends inside point 1 (after its x)"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    const ReadResult result = expectFailure(c.text, {ReadError::EndsInsidePoint, c.line, 0, ""});
    EXPECT_EQ(result.point, c.point);
    EXPECT_EQ(describe(result), c.message);
  }
}

TEST_P(PointReaderTest, FailsWhenThereIsNoPoint) {
  for (const std::string text :
       {"", "\n", "\r\n\r\n  \t\n\r", "\xEF\xBB\xBF", "\xEF\xBB\xBF\n\n"}) {
    SCOPED_TRACE(text);
    const ReadResult result = expectFailure(text, {ReadError::NoPoints, 0, 0, ""});
    EXPECT_EQ(describe(result), "the file holds no point");
  }
}

// The points i = 1..count as "i,-i,i/4" per line.
std::string numberedPoints(int count) {
  std::string text;
  for (int i = 1; i <= count; ++i) {
    text += std::to_string(i) + ",-" + std::to_string(i) + "," + std::to_string(i) + "e-2\n";
  }
  return text;
}

TEST_P(PointReaderTest, HoldsAtMostMaxPointsPoints) {
  const std::string full = numberedPoints(kMaxPoints);
  ASSERT_TRUE(read(full + "\n\n").ok());
  EXPECT_EQ(table_->count(), kMaxPoints);
  EXPECT_EQ(table_->row(kMaxPoints).x, kMaxPoints);
  EXPECT_EQ(table_->row(kMaxPoints).y, -kMaxPoints);
  EXPECT_EQ(table_->row(kMaxPoints).z, 1000.0);

  // The read stops as soon as point kMaxPoints + 1 is complete: what follows is never looked at.
  for (const std::string& rest : {"1 2 3"s, "1 2 3\n"s, "1 2 3 4 5 6\n"s, "1 2 3\nnot read\0"s}) {
    SCOPED_TRACE(rest);
    const ReadResult result = expectFailure(full + rest, {ReadError::TooManyPoints, 100001, 3, ""});
    EXPECT_EQ(describe(result), "more than 100000 points (line 100001)");
  }
  // An unfinished or bad extra point fails for what it is.
  expectFailure(full + "1 2", {ReadError::EndsInsidePoint, 100001, 0, ""});
  expectFailure(full + "1 x 3", {ReadError::NotANumber, 100001, 2, "x"});
}

TEST_P(PointReaderTest, WritesOnlyTheRowsItReads) {
  for (int r = 0; r <= 6; ++r) table_->row(r) = {100.0 + r, 200.0 + r, 300.0 + r};
  expectPoints("1 2 3\n4 5 6\n7 8 9\n", {{1, 2, 3}, {4, 5, 6}, {7, 8, 9}});
  EXPECT_EQ(table_->row(0).x, 100.0);
  EXPECT_EQ(table_->row(4).z, 304.0);
  expectPoints("-1 -2 -3", {{-1, -2, -3}});
  EXPECT_EQ(table_->row(2).x, 4.0);  // beyond the new count: as the last read left it

  // A failed read leaves the rows it completed and nothing of the unfinished point.
  expectFailure("10 20 30\n40 50 x\n", {ReadError::NotANumber, 2, 3, "x"});
  EXPECT_EQ(table_->row(1).x, 10.0);
  EXPECT_EQ(table_->row(2).x, 4.0);
  EXPECT_EQ(table_->row(2).y, 5.0);
}

TEST_P(PointReaderTest, DescribesEachFailureInOneLine) {
  const struct {
    std::string text;
    std::string message;
  } cases[] = {
      {"1 2 3\n4 5 6\n7 abc 9", "line 3, field 2: \"abc\" is not a number"},
      {"1 2 3\n1e400 0 0", "line 2, field 1: 1e400 is beyond the single-precision range"},
      {"1 2 3 \0 4 5"s, "line 1, field 4: \"\\x00\" is not a number"},
      {"1 2 3 4 5 6\n7", "line 2: the file ends inside point 3 (after its x)"},
      {"1,2,3\n4,5,6\n", "2 points read"},
      {"1,2,3", "1 point read"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(describe(read(c.text)), c.message);
  }
}

}  // namespace
}  // namespace corvane

namespace corvane {
namespace {

TEST(PointList, GrowsPastTheWindowsTableUpToItsLimit) {
  // 100002 points, one a line: the list holds them all and knows where the window would stop.
  std::string text;
  for (int i = 0; i < kMaxPoints + 2; ++i) text += std::to_string(i) + " 0 1\n";
  PointList list;
  const ReadResult all = readPointText(text, list);
  ASSERT_TRUE(all.ok()) << describe(all);
  EXPECT_EQ(list.count(), kMaxPoints + 2);
  EXPECT_EQ(list.points().back().x, kMaxPoints + 1);
  EXPECT_EQ(all.pastWindowLine, kMaxPoints + 1);
  // A list that kept its room from a larger file still knows where the window would stop.
  ASSERT_TRUE(readPointText(text, list).ok());
  EXPECT_EQ(readPointText(text, list).pastWindowLine, kMaxPoints + 1);
  // Past its own limit the list refuses the file as the table does past its own.
  const ReadResult limited = readPointText("1 2 3 4 5 6 7 8 9 10 11 12", list, 3);
  EXPECT_EQ(limited.error, ReadError::TooManyPoints);
  EXPECT_EQ(describe(limited), "more than 3 points (line 1)");
  EXPECT_EQ(list.count(), 0);
}

}  // namespace
}  // namespace corvane
