// corvane-batch's two outputs: JSON Lines whose numbers read back exactly and whose strings stay
// valid whatever bytes a file name holds, and the short block for people.

#include <gtest/gtest.h>

#include <cfloat>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "batch/file_report.h"
#include "batch/json_reader.h"
#include "batch/report_format.h"
#include "support/temp_dir.h"

namespace corvane {
namespace {

using testing::JsonReader;
using testing::JsonValue;

template <class Value>
Value readBack(const std::string& text) {
  Value value{};
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  EXPECT_EQ(ec, std::errc{}) << text;
  EXPECT_EQ(end, text.data() + text.size()) << text;
  return value;
}

template <class Value>
bool sameBits(Value a, Value b) {
  return std::memcmp(&a, &b, sizeof a) == 0;
}

TEST(JsonNumber, ReadsBackToTheSameValueAtItsOwnPrecision) {
  const float floats[] = {0.1f,    -0.0f,        0.0f,        FLT_MAX,   -FLT_MAX,
                          FLT_MIN, FLT_TRUE_MIN, 16777216.0f, 1.0e-7f,   123456.79f,
                          2.5f,    -3.875706f,   1.00000012f, 4.999265f, 1e38f};
  for (const float value : floats) {
    const std::string text = jsonNumber(value);
    SCOPED_TRACE(text);
    const auto parsed = JsonReader::read(text);
    ASSERT_TRUE(parsed.has_value()) << "not a JSON number";
    EXPECT_EQ(parsed->kind, JsonValue::Kind::Number);
    EXPECT_TRUE(sameBits(readBack<float>(text), value));
  }
  const double doubles[] = {0.1,        1.0 / 3,
                            DBL_MAX,    DBL_TRUE_MIN,
                            -0.0,       0.37037037037037035,
                            1e300,      0.30000000000000004,
                            21474836.47};
  for (const double value : doubles) {
    const std::string text = jsonNumber(value);
    SCOPED_TRACE(text);
    ASSERT_TRUE(JsonReader::read(text).has_value()) << "not a JSON number";
    EXPECT_TRUE(sameBits(readBack<double>(text), value));
  }
}

TEST(JsonNumber, WritesSinglePrecisionValuesWithTheirOwnShortestDigits) {
  // Widened to double first, 0.1f would need 17 digits.
  EXPECT_EQ(jsonNumber(0.1f), "0.1");
  EXPECT_EQ(jsonNumber(4.999265f), "4.999265");
  EXPECT_EQ(jsonNumber(0.1), "0.1");
}

TEST(JsonNumber, AValueThatIsNotFiniteIsNull) {
  EXPECT_EQ(jsonNumber(std::numeric_limits<float>::infinity()), "null");
  EXPECT_EQ(jsonNumber(-std::numeric_limits<double>::infinity()), "null");
  EXPECT_EQ(jsonNumber(std::numeric_limits<float>::quiet_NaN()), "null");
}

TEST(JsonString, EscapesWhatJsonRequiresAndReplacesBytesThatAreNotUtf8) {
  const struct {
    std::string bytes;
    std::string json;
  } cases[] = {
      {"scan.txt", R"("scan.txt")"},
      {"a\"b\\c/d", R"("a\"b\\c/d")"},
      {"\n\t\r\b\f", R"("\n\t\r\b\f")"},
      {"\x01\x1f\x7f", R"("\u0001\u001f\u007f")"},
      {std::string("a\0b", 3), R"("a\u0000b")"},
      {"M\xC3\xBCnchen \xE2\x82\xAC \xF0\x9F\x98\x80",
       "\"M\xC3\xBCnchen \xE2\x82\xAC \xF0\x9F\x98\x80\""},
      {"\xFF.txt", R"("\ufffd.txt")"},
      {"\xFE\xFF", R"("\ufffd\ufffd")"},
      {"a\xC3", R"("a\ufffd")"},                    // cut off at the end
      {"\xC3(", R"("\ufffd(")"},                    // a lead byte without its follower
      {"\xE2\x82", R"("\ufffd")"},                  // one replacement for the broken-off start
      {"\xC0\xAF", R"("\ufffd\ufffd")"},            // overlong
      {"\xED\xA0\x80", R"("\ufffd\ufffd\ufffd")"},  // a surrogate
      {"\xF4\x90\x80\x80", R"("\ufffd\ufffd\ufffd\ufffd")"},  // beyond U+10FFFF
      {"\x80", R"("\ufffd")"},                                // a follower alone
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.json);
    const std::string json = jsonString(c.bytes);
    EXPECT_EQ(json, c.json);
    const auto parsed = JsonReader::read(json);
    ASSERT_TRUE(parsed.has_value()) << "not a JSON string";
    EXPECT_EQ(parsed->kind, JsonValue::Kind::String);
  }
}

// --- Reports of real files ----------------------------------------------------------------------

class ReportFormat : public ::testing::Test {
 protected:
  FileReport analyse(std::string_view name, std::string_view content, BatchOptions options = {}) {
    return analyseFile(files_.write(name, content).string(), options, ".", *workspace_);
  }

  JsonValue json(const FileReport& report) {
    const std::string line = jsonReport(report);
    EXPECT_EQ(line.back(), '\n');
    EXPECT_EQ(line.find('\n'), line.size() - 1) << "one line per file";
    auto value = JsonReader::read(line);
    EXPECT_TRUE(value.has_value()) << line;
    return value.value_or(JsonValue{});
  }

  testing::TempDir files_;
  std::unique_ptr<Workspace> workspace_ = std::make_unique<Workspace>();
};

const std::vector<std::string> kFields = {
    "file",   "title",          "ok",        "error",       "points",        "minX",
    "maxX",   "minY",           "maxY",      "minZ",        "maxZ",          "meanZ",
    "labels", "planePosition",  "label21",   "planeHeight", "meanDeviation", "raFigure",
    "raLine", "samplingLength", "profileRn", "meanRn",      "rnLine",        "list3",
    "rn2d",   "rn2dLine",       "format",    "unit"};

// Two scan lines of x = 0..6 with a rough spot, heights with long fractions.
constexpr std::string_view kTwoLines =
    "0,0,0.1\n1,0,0.7\n2,0,0.3\n3,0,0.1\n4,0,0.2\n5,0,0.9\n6,0,0.1\n"
    "0,1,1.1\n1,1,1.3\n2,1,1.2\n3,1,1.1\n4,1,1.7\n5,1,1.1\n6,1,1.3333333\n";

TEST_F(ReportFormat, JsonHasExactlyTheFieldsInOrderAndNumbersThatReadBackExactly) {
  const FileReport report = analyse("two lines.txt", kTwoLines);
  ASSERT_TRUE(report.ok) << report.error;
  const JsonValue line = json(report);
  EXPECT_EQ(line.names(), kFields);

  EXPECT_EQ(line.find("file")->text, report.file);
  EXPECT_EQ(line.find("title")->text, "two lines.txt");
  EXPECT_TRUE(line.find("ok")->boolean);
  EXPECT_TRUE(line.find("error")->isNull());
  EXPECT_EQ(line.find("points")->text, "14");
  EXPECT_EQ(line.find("planePosition")->text, std::to_string(report.planePosition));
  EXPECT_EQ(line.find("samplingLength")->text, "3");

  const Extents& e = report.extents;
  const std::pair<const char*, float> floats[] = {{"minX", e.minX},
                                                  {"maxX", e.maxX},
                                                  {"minY", e.minY},
                                                  {"maxY", e.maxY},
                                                  {"minZ", e.minZ},
                                                  {"maxZ", e.maxZ},
                                                  {"meanZ", e.meanZ},
                                                  {"planeHeight", report.planeHeight},
                                                  {"meanDeviation", report.meanDeviation},
                                                  {"meanRn", report.meanRn},
                                                  {"rn2d", report.rn2d}};
  for (const auto& [name, value] : floats) {
    SCOPED_TRACE(name);
    ASSERT_EQ(line.find(name)->kind, JsonValue::Kind::Number);
    EXPECT_TRUE(sameBits(readBack<float>(line.find(name)->text), value));
  }
  EXPECT_TRUE(sameBits(readBack<double>(line.find("raFigure")->text), report.raFigure));

  const JsonValue& profileRn = *line.find("profileRn");
  ASSERT_EQ(profileRn.items.size(), report.profileRn.size());
  ASSERT_EQ(profileRn.items.size(), 2u);
  for (std::size_t k = 0; k < report.profileRn.size(); ++k) {
    EXPECT_TRUE(sameBits(readBack<float>(profileRn.items[k].text), report.profileRn[k]));
  }

  const JsonValue& labels = *line.find("labels");
  EXPECT_EQ(labels.names(), std::vector<std::string>({"Label3", "Label4", "Label7", "Label8",
                                                      "Label11", "Label12", "Label18"}));
  EXPECT_EQ(labels.find("Label3")->text, "6");
  EXPECT_EQ(labels.find("Label11")->text, "1.7");
  EXPECT_EQ(line.find("label21")->text, report.label21);
  EXPECT_EQ(line.find("raLine")->text, report.raLine);
  EXPECT_EQ(line.find("rnLine")->text, report.rnLine);
  EXPECT_EQ(line.find("rn2dLine")->text, report.rn2dLine);
  ASSERT_EQ(line.find("list3")->items.size(), 2u);
  EXPECT_EQ(line.find("list3")->items[1].text, report.list3[1]);
}

TEST_F(ReportFormat, AFileThatDidNotLoadHasItsDiagnosisAndNoFigures) {
  const FileReport report = analyse("bad.txt", "1,2,3\n4,five,6\n");
  ASSERT_FALSE(report.ok);
  const JsonValue line = json(report);
  EXPECT_EQ(line.names(), kFields);
  EXPECT_FALSE(line.find("ok")->boolean);
  EXPECT_EQ(line.find("error")->text, "line 2, field 2: \"five\" is not a number");
  EXPECT_EQ(line.find("title")->text, "bad.txt");
  EXPECT_EQ(line.find("samplingLength")->text, "3");
  for (const std::string& name : kFields) {
    if (name == "file" || name == "title" || name == "ok" || name == "error" ||
        name == "samplingLength" || name == "format" || name == "unit") {
      continue;
    }
    EXPECT_TRUE(line.find(name)->isNull()) << name;
  }
}

TEST_F(ReportFormat, AFileNameOfAnyBytesStaysValidJson) {
  const std::string name = std::string("odd\x01\"\\\xff name\t.txt");
  const FileReport report = analyse(name, "1,2,3\n");
  ASSERT_TRUE(report.ok) << report.error;
  const JsonValue line = json(report);
  EXPECT_EQ(line.find("title")->text, "odd\x01\"\\\xEF\xBF\xBD name\t.txt");
}

TEST_F(ReportFormat, PlainBlockShowsTheLabelsThePlaneAndTheListLinesThenEveryProfileIndented) {
  BatchOptions options;
  options.samplingLength = 2;
  const FileReport report = analyse("scan.txt", kTwoLines, options);
  ASSERT_TRUE(report.ok);
  const std::string path = report.file;
  EXPECT_EQ(plainReport(report), path + "\n" +
                                     "  points           14\n"
                                     "  x                0 .. 6\n"
                                     "  y                0 .. 1\n"
                                     "  z                0.1 .. 1.7\n"
                                     "  mean z           0.802381\n"
                                     "  reference plane  0.8 (position 80)\n"
                                     "  Ra               " +
                                     report.raLine + "\n" +
                                     "  Rn3d             scan.txt   R =  .5\n"
                                     "  Rn2D             scan.txt     0\n"
                                     "  Rn               2 scan lines, sampling length 2\n"
                                     "     1 -  .5333334\n"
                                     "     2 -  .4666667\n"
                                     "\n");
}

TEST_F(ReportFormat, PlainBlockOfAFileThatDidNotLoadGivesTheDiagnosis) {
  const FileReport report = analyse("bad.txt", "1,2\n");
  EXPECT_EQ(
      plainReport(report),
      report.file + "\n  error            line 1: the file ends inside point 1 (after its y)\n\n");
}

}  // namespace
}  // namespace corvane
