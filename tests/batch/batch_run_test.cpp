// corvane-batch as a whole: exit statuses, the order of the reports whatever the number of
// threads, files that fail among good ones, and the progress line.

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "batch/batch_run.h"
#include "batch/json_reader.h"
#include "batch/report_format.h"
#include "support/temp_dir.h"

namespace corvane {
namespace {

using testing::JsonReader;
using testing::JsonValue;

struct Outcome {
  int status = -1;
  std::string out;
  std::string err;
};

Outcome run(const std::vector<std::string>& arguments, BatchEnvironment environment = {}) {
  std::ostringstream out;
  std::ostringstream err;
  Outcome result;
  result.status = runBatch(arguments, environment, out, err);
  result.out = out.str();
  result.err = err.str();
  return result;
}

std::vector<JsonValue> jsonLines(const std::string& out) {
  std::vector<JsonValue> lines;
  std::istringstream in(out);
  for (std::string line; std::getline(in, line);) {
    auto value = JsonReader::read(line);
    EXPECT_TRUE(value.has_value()) << line;
    if (value) lines.push_back(std::move(*value));
  }
  return lines;
}

// A raster of scan lines x = 0..9 with heights from a simple pattern of the seed.
std::string raster(int lines, int seed) {
  std::string text;
  for (int y = 0; y < lines; ++y) {
    for (int x = 0; x < 10; ++x) {
      text += std::to_string(x) + "," + std::to_string(y) + "," +
              std::to_string((x * 7 + y * 3 + seed) % 11) + ".25\n";
    }
  }
  return text;
}

class BatchRun : public ::testing::Test {
 protected:
  std::string write(std::string_view name, std::string_view content) {
    return files_.write(name, content).string();
  }
  testing::TempDir files_;
};

TEST_F(BatchRun, ExitStatusSaysWhetherEveryFileLoaded) {
  const std::string good = write("good.txt", raster(3, 1));
  const std::string bad = write("bad.txt", "1,2,3\n4,5,x\n");
  const std::string missing = (files_.path() / "missing.txt").string();
  const struct {
    const char* what;
    std::vector<std::string> arguments;
    int status;
  } cases[] = {
      {"one good file", {good}, kExitAllLoaded},
      {"good files as JSON", {"--json", good, good}, kExitAllLoaded},
      {"a file that does not parse", {good, bad}, kExitSomeFailed},
      {"a missing file", {missing, good}, kExitSomeFailed},
      {"a folder", {files_.path().string()}, kExitSomeFailed},
      {"no file", {"--json"}, kExitUsage},
      {"a wrong option", {"--fast", good}, kExitUsage},
      {"a sampling length out of range", {"--sampling-length", "31", good}, kExitUsage},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const Outcome result = run(c.arguments);
    EXPECT_EQ(result.status, c.status) << result.err;
    if (c.status == kExitUsage) {
      EXPECT_TRUE(result.out.empty());
      EXPECT_EQ(result.err.rfind("corvane-batch: ", 0), 0u);
      EXPECT_NE(result.err.find("\nTry 'corvane-batch --help'.\n"), std::string::npos)
          << "one line and where to look on stderr";
      EXPECT_EQ(result.err.find(usageText()), std::string::npos) << "not the whole help";
    } else {
      EXPECT_FALSE(result.out.empty());
    }
  }
}

TEST_F(BatchRun, HelpGoesToStandardOutputAndSucceeds) {
  const Outcome result = run({"--help"});
  EXPECT_EQ(result.status, kExitAllLoaded);
  EXPECT_EQ(result.out, usageText());
  EXPECT_TRUE(result.err.empty());
}

TEST_F(BatchRun, ReportsComeInTheOrderOfTheFilesWhateverTheNumberOfThreads) {
  // Large and small files alternate, so that with several threads later files finish first.
  std::vector<std::string> arguments = {"--json"};
  for (int i = 0; i < 16; ++i) {
    const int lines = i % 2 == 0 ? 5000 : 1 + i;
    arguments.push_back(write("file" + std::to_string(i) + ".txt", raster(lines, i)));
  }
  arguments.push_back(arguments[3]);  // a file named twice is reported twice

  BatchEnvironment one;
  one.workers = 1;
  const Outcome sequential = run(arguments, one);
  ASSERT_EQ(sequential.status, kExitAllLoaded) << sequential.err;
  const std::vector<JsonValue> lines = jsonLines(sequential.out);
  ASSERT_EQ(lines.size(), arguments.size() - 1);
  for (std::size_t i = 0; i < lines.size(); ++i) {
    EXPECT_EQ(lines[i].find("file")->text, arguments[i + 1]);
  }

  for (const unsigned workers : {2u, 3u, 8u, 64u}) {
    SCOPED_TRACE(std::to_string(workers) + " threads");
    BatchEnvironment several;
    several.workers = workers;
    const Outcome parallel = run(arguments, several);
    EXPECT_EQ(parallel.status, kExitAllLoaded);
    EXPECT_EQ(parallel.out, sequential.out) << "same reports in the same order";
  }
}

TEST_F(BatchRun, DeliversEveryReportOnceInOrderAsTheyComplete) {
  BatchOptions options;
  for (int i = 0; i < 40; ++i) {
    // append, not "f" + std::to_string(i): GCC 12 at -O3 warns falsely of overlapping copies
    // (-Wrestrict) inside libstdc++'s operator+ for a literal and a temporary string.
    options.files.push_back(
        write(std::string("f").append(std::to_string(i)), raster(i % 5 == 0 ? 3000 : 2, i)));
  }
  std::vector<std::size_t> indexes;
  std::vector<std::string> names;
  analyseInOrder(options, ".", 4, [&](std::size_t index, FileReport&& report) {
    indexes.push_back(index);
    names.push_back(report.file);
  });
  ASSERT_EQ(indexes.size(), options.files.size());
  for (std::size_t i = 0; i < indexes.size(); ++i) EXPECT_EQ(indexes[i], i);
  EXPECT_EQ(names, options.files);
}

TEST_F(BatchRun, AFailedFileAmongGoodOnesIsNamedWithItsLineAndFieldAndTheOthersStillReport) {
  const std::string first = write("first.txt", raster(4, 2));
  const std::string bad = write("bad.txt", "0,0,1\n1,0,2,\n");
  const std::string last = write("last.txt", raster(6, 5));
  const std::string missing = (files_.path() / "gone.txt").string();
  BatchEnvironment environment;
  environment.workers = 3;
  const Outcome result = run({"--json", first, bad, last, missing}, environment);
  EXPECT_EQ(result.status, kExitSomeFailed);

  const std::vector<JsonValue> lines = jsonLines(result.out);
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_TRUE(lines[0].find("ok")->boolean);
  EXPECT_FALSE(lines[1].find("ok")->boolean);
  EXPECT_EQ(lines[1].find("error")->text, "line 2, field 4: the field is empty");
  EXPECT_TRUE(lines[2].find("ok")->boolean);
  EXPECT_FALSE(lines[3].find("ok")->boolean);
  EXPECT_EQ(lines[3].find("error")->text, "cannot open " + missing + ": No such file or directory");

  EXPECT_EQ(result.err, "corvane-batch: " + bad + ": line 2, field 4: the field is empty\n" +
                            "corvane-batch: cannot open " + missing +
                            ": No such file or directory\n");

  // The good files' reports are those they give on their own.
  EXPECT_EQ(jsonLines(run({"--json", last}).out)[0].find("raLine")->text,
            lines[2].find("raLine")->text);
  EXPECT_EQ(jsonLines(run({"--json", last}).out)[0].find("list3")->items.size(),
            lines[2].find("list3")->items.size());
}

TEST_F(BatchRun, PlainOutputIsOneBlockPerFileInOrder) {
  const std::string a = write("a.txt", raster(2, 1));
  const std::string b = write("b.txt", "nothing\n");
  BatchEnvironment environment;
  environment.workers = 2;
  const Outcome result = run({a, b, a}, environment);
  std::istringstream in(result.out);
  std::vector<std::string> heads;
  bool blockStart = true;
  for (std::string line; std::getline(in, line);) {
    if (blockStart) heads.push_back(line);
    blockStart = line.empty();
  }
  EXPECT_EQ(heads, std::vector<std::string>({a, b, a}));
  EXPECT_NE(result.out.find("  error            line 1, field 1: \"nothing\" is not a number\n"),
            std::string::npos);
}

TEST_F(BatchRun, ProgressLineOnlyWhenAskedForAndNeverInTheReports) {
  std::vector<std::string> arguments = {"--json"};
  for (int i = 0; i < 3; ++i)
    arguments.push_back(write(std::string("p").append(std::to_string(i)), raster(2, i)));

  BatchEnvironment quiet;
  quiet.workers = 2;
  const Outcome withoutTerminal = run(arguments, quiet);
  EXPECT_TRUE(withoutTerminal.err.empty());

  BatchEnvironment terminal = quiet;
  terminal.progressLine = true;
  const Outcome withTerminal = run(arguments, terminal);
  EXPECT_EQ(withTerminal.out, withoutTerminal.out);
  for (const char* step : {"\r1/3 files", "\r2/3 files", "\r3/3 files"}) {
    EXPECT_NE(withTerminal.err.find(step), std::string::npos) << step;
  }
  EXPECT_EQ(withTerminal.err.substr(withTerminal.err.size() - 11),
            "\r" + std::string(9, ' ') + "\r")
      << "the line is wiped at the end";

  // One file is no batch to follow.
  EXPECT_TRUE(run({"--json", arguments[1]}, terminal).err.empty());
}

}  // namespace
}  // namespace corvane
