// The command line of corvane-batch: which arguments it takes and which it refuses.

#include <gtest/gtest.h>

#include <cfloat>
#include <string>
#include <utility>
#include <vector>

#include "batch/batch_options.h"
#include "support/temp_dir.h"

namespace corvane {
namespace {

CommandLine parse(std::vector<std::string> arguments) { return parseCommandLine(arguments); }

TEST(BatchOptions, DefaultsAreTheWindowsStateAfterOpen) {
  const CommandLine line = parse({"a.txt"});
  ASSERT_EQ(line.action, CommandLine::Action::Run) << line.error;
  EXPECT_EQ(line.options.samplingLength, 3);
  EXPECT_FALSE(line.options.planeHeight.has_value()) << "the plane stands at the mean";
  EXPECT_FALSE(line.options.json);
  EXPECT_EQ(line.options.files, std::vector<std::string>{"a.txt"});
}

TEST(BatchOptions, AcceptsEveryWayOfWritingTheOptions) {
  const struct {
    std::vector<std::string> arguments;
    int samplingLength;
    std::optional<float> plane;
    bool json;
    std::vector<std::string> files;
  } cases[] = {
      {{"--sampling-length", "7", "a"}, 7, {}, false, {"a"}},
      {{"--sampling-length=30", "a"}, 30, {}, false, {"a"}},
      {{"a", "--sampling-length", "1", "b"}, 1, {}, false, {"a", "b"}},
      {{"--plane", "12.34", "a"}, 3, 12.34f, false, {"a"}},
      {{"--plane=-0.05", "a"}, 3, -0.05f, false, {"a"}},
      {{"--plane", "-5", "a"}, 3, -5.0f, false, {"a"}},
      {{"--plane", "+2.5e1", "a"}, 3, 25.0f, false, {"a"}},
      {{"--plane", "3.4028234e38", "a"}, 3, FLT_MAX, false, {"a"}},
      {{"--json", "b", "a", "b"}, 3, {}, true, {"b", "a", "b"}},
      {{"--sampling-length", "4", "--sampling-length", "9", "a"}, 9, {}, false, {"a"}},
      // After "--" every argument is a file, and a lone "-" is a file too.
      {{"--", "--json", "-x"}, 3, {}, false, {"--json", "-x"}},
      {{"-", "--json"}, 3, {}, true, {"-"}},
      {{"with space.txt", "\xff\xfe.txt"}, 3, {}, false, {"with space.txt", "\xff\xfe.txt"}},
  };
  for (const auto& c : cases) {
    std::string trace;
    for (const auto& argument : c.arguments) trace += argument + " ";
    SCOPED_TRACE(trace);
    const CommandLine line = parseCommandLine(c.arguments);
    ASSERT_EQ(line.action, CommandLine::Action::Run) << line.error;
    EXPECT_EQ(line.options.samplingLength, c.samplingLength);
    EXPECT_EQ(line.options.planeHeight, c.plane);
    EXPECT_EQ(line.options.json, c.json);
    EXPECT_EQ(line.options.files, c.files);
  }
}

TEST(BatchOptions, HelpWinsWhereverItStands) {
  for (const auto& arguments : std::vector<std::vector<std::string>>{
           {"--help"}, {"-h"}, {"a.txt", "--help"}, {"--json", "-h", "a.txt"}}) {
    EXPECT_EQ(parseCommandLine(arguments).action, CommandLine::Action::Help) << arguments[0];
  }
}

TEST(BatchOptions, RefusesWrongArgumentsWithTheirReason) {
  const struct {
    std::vector<std::string> arguments;
    std::string error;
  } cases[] = {
      {{}, "no point file given"},
      {{"--json"}, "no point file given"},
      {{
           "--",
       },
       "no point file given"},
      {{"--sampling-length", "0", "a"},
       "--sampling-length must be a whole number from 1 to 30, not \"0\""},
      {{"--sampling-length", "31", "a"},
       "--sampling-length must be a whole number from 1 to 30, not \"31\""},
      {{"--sampling-length", "3.0", "a"},
       "--sampling-length must be a whole number from 1 to 30, not \"3.0\""},
      {{"--sampling-length=", "a"},
       "--sampling-length must be a whole number from 1 to 30, not \"\""},
      {{"--sampling-length", "99999999999999999999", "a"},
       "--sampling-length must be a whole number from 1 to 30, not \"99999999999999999999\""},
      {{"a", "--sampling-length"}, "--sampling-length needs a value"},
      {{"a", "--plane"}, "--plane needs a value"},
      {{"--plane", "nan", "a"},
       "--plane must be a decimal number within single precision, not \"nan\""},
      {{"--plane", "inf", "a"},
       "--plane must be a decimal number within single precision, not \"inf\""},
      {{"--plane", "1e39", "a"},
       "--plane must be a decimal number within single precision, not \"1e39\""},
      {{"--plane", "0x10", "a"},
       "--plane must be a decimal number within single precision, not \"0x10\""},
      {{"--plane", "1,5", "a"},
       "--plane must be a decimal number within single precision, not \"1,5\""},
      {{"--plane", "+-1", "a"},
       "--plane must be a decimal number within single precision, not \"+-1\""},
      {{"--verbose", "a"}, "unknown option --verbose"},
      {{"--cutof", "2", "a"}, "unknown option --cutof; did you mean --cutoff?"},
      {{"a", "--stnadard"}, "unknown option --stnadard; did you mean --standard?"},
      {{"--unit", "inch", "a"}, "--unit must be um, mm or m, not \"inch\""},
      {{"--json=yes", "a"}, "--json takes no value"},
      {{"-j", "a"}, "unknown option -j"},
      {{"--form", "7", "a"}, "--form must be a whole number from 0 to 6, not \"7\""},
      {{"--form", "x", "a"}, "--form must be a whole number from 0 to 6, not \"x\""},
      {{"--lambda-s", "0", "a"},
       "--lambda-s must be a decimal number greater than 0 and below the cut-off, not \"0\""},
      {{"--cutoff", "0.25", "--lambda-s", "0.25", "a"},
       "--lambda-s must be a decimal number greater than 0 and below the cut-off, not \"0.25\""},
      {{"--areal-cutoff", "0", "a"},
       "--areal-cutoff must be a decimal number greater than 0, not \"0\""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.error);
    const CommandLine line = parseCommandLine(c.arguments);
    EXPECT_EQ(line.action, CommandLine::Action::UsageError);
    EXPECT_EQ(line.error, c.error);
  }
}

TEST(BatchOptions, UsageTextNamesEveryOptionAndTheExitStatuses) {
  const std::string usage = usageText();
  EXPECT_EQ(
      usage.rfind(
          "Usage: corvane-batch [--sampling-length L] [--plane H] [--standard] "
          "[--cutoff LC]\n                     [--form D] [--lambda-s LS] "
          "[--areal-cutoff LA] [--robust]\n                     [--report PDF] [--figures DIR] "
          "[--unit U] [--settings FILE]\n                     [--to-x3p DIR] [--force] [--json] "
          "FILE...\n",
          0),
      0u);
  for (const char* option :
       {"--sampling-length L", "--plane H", "--standard", "--cutoff LC", "--report PDF",
        "--figures DIR", "--form D", "--lambda-s LS", "--areal-cutoff LA", "--robust", "--unit U",
        "--to-x3p DIR", "--force", "--json", "--help", "--settings FILE"}) {
    EXPECT_NE(usage.find(option), std::string::npos) << option;
  }
  EXPECT_NE(usage.find("0 when every file loaded, 1 when any did not"), std::string::npos);
  EXPECT_EQ(usage.back(), '\n');
}

TEST(BatchOptions, SettingsFileGivesWhatTheCommandLineDoesNot) {
  testing::TempDir files;
  const std::string settings =
      files
          .write("s.json",
                 R"({"cutoff": 2.5, "form": 2, "lambdaS": 0.025, "arealCutoff": null,
                     "robust": true, "unit": "mm"})")
          .string();
  // The file's settings, the standard figures implied.
  CommandLine line = parse({"--settings", settings, "a.txt"});
  ASSERT_EQ(line.action, CommandLine::Action::Run) << line.error;
  EXPECT_TRUE(line.options.standard);
  EXPECT_EQ(line.options.cutoff, 2.5);
  EXPECT_EQ(line.options.form, 2);
  EXPECT_EQ(line.options.lambdaS, 0.025);
  EXPECT_TRUE(line.options.robust);
  // The command line wins wherever it stands; another unit converts the file's lengths.
  line = parse({"--form", "3", "a.txt", "--settings", settings, "--unit", "um"});
  ASSERT_EQ(line.action, CommandLine::Action::Run) << line.error;
  EXPECT_EQ(line.options.form, 3);
  EXPECT_DOUBLE_EQ(line.options.cutoff, 2500);
  EXPECT_DOUBLE_EQ(*line.options.lambdaS, 25);
  // A cut-off from the command line below the file's S-filter, and files that are no settings.
  EXPECT_EQ(parse({"--cutoff", "0.01", "--settings", settings, "a.txt"}).error,
            "the S-filter's cut-off must be below the cut-off");
  for (const auto& [text, error] : std::vector<std::pair<std::string, std::string>>{
           {R"({"cutoff": 0.8, "speed": 1})", "unknown key \"speed\""},
           {R"({"form": 2.5})", "\"form\" must be a whole number from 0 to 6"},
           {R"({"unit": "inch"})", "\"unit\" must be \"um\", \"mm\" or \"m\""},
           {R"({"cutoff": -1})", "\"cutoff\" must be a number greater than 0"},
           {R"({"robust": "yes"})", "\"robust\" must be true or false"},
           {"[1, 2]", "not a JSON object of settings"},
           {"{\"cutoff\":\n 0.8,}", "not JSON: a syntax error at line 2, column 6"}}) {
    const std::string bad = files.write("bad.json", text).string();
    EXPECT_EQ(parse({"--settings", bad, "a.txt"}).error, "--settings " + bad + ": " + error);
  }
  EXPECT_EQ(parse({"--settings", files.path().string(), "a.txt"}).error,
            "--settings " + files.path().string() + ": a folder, not a file");
}

TEST(BatchOptions, DefaultCutoffIsPointEightMillimetresInTheUnit) {
  EXPECT_EQ(parse({"a.txt"}).options.cutoff, 0.8);
  EXPECT_DOUBLE_EQ(parse({"--unit", "um", "a.txt"}).options.cutoff, 800);
  EXPECT_DOUBLE_EQ(parse({"--unit", "m", "a.txt"}).options.cutoff, 0.0008);
  EXPECT_EQ(parse({"--unit", "um", "--cutoff", "2.5", "a.txt"}).options.cutoff, 2.5);
}

}  // namespace
}  // namespace corvane
