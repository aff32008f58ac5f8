// The catalogue of bad and awkward point files through corvane-batch: a refused file is reported
// with the reader's diagnosis and the batch goes on with the next file; an awkward one gives
// finite figures; nothing stops the program, and the largest files are read in bounded memory.

#include <gtest/gtest.h>

#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "batch/batch_run.h"
#include "batch/json_reader.h"
#include "data/point_reader.h"
#include "support/bad_inputs.h"

namespace corvane {
namespace {

using testing::JsonReader;
using testing::JsonValue;
using testing::LargeInputs;

class BadInputBatch : public ::testing::Test {
 protected:
  // Runs corvane-batch --json over the files followed by a good one and returns the reports;
  // the good file must always come out whole.
  std::vector<JsonValue> runWithGoodFileAfter(std::vector<std::string> files, int expectedStatus) {
    files.insert(files.begin(), "--json");
    files.push_back(good_);
    std::ostringstream out;
    std::ostringstream err;
    BatchEnvironment environment;
    environment.workers = 2;
    EXPECT_EQ(runBatch(files, environment, out, err), expectedStatus) << err.str();
    std::vector<JsonValue> reports;
    std::istringstream lines(out.str());
    for (std::string line; std::getline(lines, line);) {
      auto report = JsonReader::read(line);
      EXPECT_TRUE(report.has_value()) << line.substr(0, 200);
      if (report) reports.push_back(std::move(*report));
    }
    EXPECT_EQ(reports.size(), files.size() - 1);
    if (!reports.empty()) {
      const JsonValue& last = reports.back();
      EXPECT_TRUE(last.find("ok")->boolean) << "the good file after the bad ones";
      EXPECT_EQ(last.find("rnLine")->text, "good.txt   R =  1");
      EXPECT_EQ(last.find("points")->text, "15");
    }
    return reports;
  }

  // A refused file's report: ok false, the reader's own diagnosis, and no figures.
  static void expectRefused(const JsonValue& report, const std::string& path,
                            const std::string& diagnosis) {
    EXPECT_FALSE(report.find("ok")->boolean);
    PointTable table;
    const std::string expected = describe(readPointFile(path, table));
    EXPECT_EQ(report.find("error")->text, expected);
    EXPECT_NE(expected.find(diagnosis), std::string::npos) << expected;
    EXPECT_TRUE(report.find("points")->isNull());
    EXPECT_TRUE(report.find("raLine")->isNull());
  }

  testing::TempDir files_;
  // Three scan lines x = 0..4 of heights 0, 1, 0, 1, 0: every one has Rn 1.
  std::string good_ = files_
                          .write("good.txt",
                                 "0,0,0\n1,0,1\n2,0,0\n3,0,1\n4,0,0\n"
                                 "0,1,0\n1,1,1\n2,1,0\n3,1,1\n4,1,0\n"
                                 "0,2,0\n1,2,1\n2,2,0\n3,2,1\n4,2,0\n")
                          .string();
};

TEST_F(BadInputBatch, RefusedFilesAreReportedAndTheBatchGoesOn) {
  std::vector<std::string> paths;
  const auto refused = testing::refusedInputs();
  for (const auto& input : refused) {
    paths.push_back(files_.write(std::string(input.name) + ".txt", input.bytes).string());
  }
  const auto reports = runWithGoodFileAfter(paths, kExitSomeFailed);
  ASSERT_EQ(reports.size(), refused.size() + 1);
  for (std::size_t i = 0; i < refused.size(); ++i) {
    SCOPED_TRACE(refused[i].name);
    expectRefused(reports[i], paths[i], refused[i].diagnosis);
  }
}

TEST_F(BadInputBatch, AMissingFileAndAFolderAreReportedAndTheBatchGoesOn) {
  const std::string missing = (files_.path() / "deleted.txt").string();
  const std::string folder = (files_.path() / "now a folder.txt").string();
  std::filesystem::create_directory(folder);
  const auto reports = runWithGoodFileAfter({missing, folder}, kExitSomeFailed);
  ASSERT_EQ(reports.size(), 3u);
  expectRefused(reports[0], missing, "cannot open " + missing + ": No such file or directory");
  expectRefused(reports[1], folder, "cannot open " + folder + ": Is a directory");
}

TEST_F(BadInputBatch, AwkwardFilesGiveFiniteFigures) {
  std::vector<std::string> paths;
  const auto awkward = testing::awkwardInputs();
  for (const auto& input : awkward) {
    paths.push_back(files_.write(std::string(input.name) + ".txt", input.bytes).string());
  }
  const auto reports = runWithGoodFileAfter(paths, kExitAllLoaded);
  ASSERT_EQ(reports.size(), awkward.size() + 1);
  for (std::size_t i = 0; i < awkward.size(); ++i) {
    SCOPED_TRACE(awkward[i].name);
    const JsonValue& report = reports[i];
    ASSERT_TRUE(report.find("ok")->boolean) << report.find("error")->text;
    EXPECT_EQ(report.find("points")->text, std::to_string(awkward[i].points));
    // A figure that is not finite would be written as null.
    for (const char* figure :
         {"minX", "maxX", "minY", "maxY", "minZ", "maxZ", "meanZ", "planePosition", "planeHeight",
          "meanDeviation", "raFigure", "meanRn", "rn2d"}) {
      EXPECT_EQ(report.find(figure)->kind, JsonValue::Kind::Number) << figure;
    }
    for (const JsonValue& rn : report.find("profileRn")->items) {
      EXPECT_EQ(rn.kind, JsonValue::Kind::Number);
    }
    for (const char* line : {"raLine", "rnLine", "rn2dLine", "label21"}) {
      const std::string& text = report.find(line)->text;
      EXPECT_EQ(text.find("nan"), std::string::npos) << text;
      EXPECT_EQ(text.find("inf"), std::string::npos) << text;
    }
  }
  // Heights far beyond the 16-bit range of the old scroll bar keep their own plane positions.
  EXPECT_EQ(reports[4].find("planePosition")->text, "-12");  // mean -0.1225
  EXPECT_EQ(reports[4].find("labels")->find("Label11")->text, "5000");
  EXPECT_EQ(reports[5].find("labels")->find("Label11")->text, "1E+30");
  EXPECT_EQ(reports[5].find("planePosition")->text, "-2147483648") << "clamped, not wrapped";
}

TEST_F(BadInputBatch, FiftyMegabytesOnOneLineOrInBlankLinesAreReadToTheEnd) {
  const auto reports = runWithGoodFileAfter(
      {LargeInputs::singleLine().string(), LargeInputs::blankLines().string()}, kExitAllLoaded);
  ASSERT_EQ(reports.size(), 3u);
  EXPECT_EQ(reports[0].find("points")->text, "2");
  EXPECT_EQ(reports[0].find("labels")->find("Label3")->text, "4");
  EXPECT_EQ(reports[1].find("points")->text, "1");
  EXPECT_EQ(reports[1].find("labels")->find("Label18")->text, "9");
}

TEST_F(BadInputBatch, ATwoGigabyteFileOfNulBytesIsRefusedInItsFirstBlock) {
  const std::filesystem::path& huge = LargeInputs::sparseNulBytes();
  if (huge.empty()) GTEST_SKIP() << "no sparse files here";
  const auto reports = runWithGoodFileAfter({huge.string()}, kExitSomeFailed);
  ASSERT_EQ(reports.size(), 2u);
  std::string nulBytes;
  for (int i = 0; i < 32; ++i) nulBytes += "\\x00";
  expectRefused(reports[0], huge.string(),
                "line 1, field 1: \"" + nulBytes + "...\" is not a number");
}

}  // namespace
}  // namespace corvane
