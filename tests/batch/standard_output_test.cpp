// corvane-batch --standard: the cut-off option, the JSON fields and that the outputs without
// --standard stay as they were.

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "batch/batch_options.h"
#include "batch/file_report.h"
#include "batch/json_reader.h"
#include "batch/report_format.h"
#include "support/temp_dir.h"

namespace corvane {
namespace {

using testing::JsonReader;
using testing::JsonValue;

TEST(StandardOutput, CutoffMustBeANumberAboveZero) {
  for (const std::string bad : {"0", "-1", "abc", "", "inf", "nan", "1e999", "0.8mm"}) {
    SCOPED_TRACE(bad);
    const std::vector<std::string> arguments = {"--standard", "--cutoff", bad, "a.txt"};
    EXPECT_EQ(parseCommandLine(arguments).action, CommandLine::Action::UsageError);
  }
  const std::vector<std::string> good = {"--cutoff=2.5", "--standard", "a.txt"};
  const CommandLine line = parseCommandLine(good);
  ASSERT_EQ(line.action, CommandLine::Action::Run) << line.error;
  EXPECT_TRUE(line.options.standard);
  EXPECT_EQ(line.options.cutoff, 2.5);
  EXPECT_EQ(parseCommandLine(std::vector<std::string>{"a.txt"}).options.cutoff, 0.8);
}

std::vector<std::string> namesOf(const JsonValue* value) {
  return value == nullptr ? std::vector<std::string>{} : value->names();
}

TEST(StandardOutput, JsonFieldsAndUnchangedOutputWithoutTheOption) {
  testing::TempDir files;
  // Two scan lines of 30 points at 0.1 and one of two points.
  std::string text;
  for (int row = 0; row < 2; ++row) {
    for (int i = 0; i < 30; ++i) {
      text += std::to_string(i * 0.1) + "," + std::to_string(row) + "," +
              std::to_string(1 + (i % 3) * 0.01) + "\n";
    }
  }
  text += "0,5,1\n1,5,1\n";
  const std::string file = files.write("scan.txt", text).string();
  const std::string missing = (files.path() / "missing.txt").string();
  auto workspace = std::make_unique<Workspace>();
  BatchOptions plain;
  BatchOptions standard;
  standard.standard = true;

  const FileReport without = analyseFile(file, plain, ".", *workspace);
  const FileReport with = analyseFile(file, standard, ".", *workspace);
  // The outputs with --standard are those without plus the standard parts at the end.
  const std::string json = jsonReport(with);
  const std::string jsonWithout = jsonReport(without);
  EXPECT_EQ(json.substr(0, jsonWithout.size() - 2), jsonWithout.substr(0, jsonWithout.size() - 2));
  const std::string block = plainReport(with);
  const std::string blockWithout = plainReport(without);
  EXPECT_EQ(block.substr(0, blockWithout.size() - 1),
            blockWithout.substr(0, blockWithout.size() - 1));
  EXPECT_NE(block.find("Standard parameters (cut-off 0.8)"), std::string::npos);

  const auto value = JsonReader::read(json);
  ASSERT_TRUE(value.has_value()) << json;
  const JsonValue* s = value->find("standard");
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(s->names(), (std::vector<std::string>{"cutoff", "areal", "mean", "profiles"}));
  EXPECT_EQ(s->find("cutoff")->text, "0.8");
  EXPECT_EQ(namesOf(s->find("areal")),
            (std::vector<std::string>{"Sa", "Sq", "Ssk", "Sku", "Sp", "Sv", "Sz"}));
  const std::vector<std::string> figures = {"Pa",  "Pq", "Pt", "Ra", "Rq", "Rsk",
                                            "Rku", "Rp", "Rv", "Rz", "Rt"};
  std::vector<std::string> mean = {"profiles"};
  mean.insert(mean.end(), figures.begin(), figures.end());
  EXPECT_EQ(namesOf(s->find("mean")), mean);
  EXPECT_EQ(s->find("mean")->find("profiles")->text, "2");
  const auto& profiles = s->find("profiles")->items;
  ASSERT_EQ(profiles.size(), 3u);
  std::vector<std::string> profile = {"profile", "ok", "reason", "spacing", "nr"};
  profile.insert(profile.end(), figures.begin(), figures.end());
  EXPECT_EQ(profiles[0].names(), profile);
  EXPECT_TRUE(profiles[0].find("ok")->boolean);
  EXPECT_TRUE(profiles[0].find("reason")->isNull());
  EXPECT_EQ(profiles[0].find("nr")->text, "2");
  EXPECT_FALSE(profiles[2].find("ok")->boolean);
  EXPECT_EQ(profiles[2].find("reason")->text, "too few points");
  EXPECT_TRUE(profiles[2].find("Ra")->isNull());

  // A file that does not load: "standard" is null.
  const auto failed = JsonReader::read(jsonReport(analyseFile(missing, standard, ".", *workspace)));
  ASSERT_TRUE(failed.has_value());
  ASSERT_NE(failed->find("standard"), nullptr);
  EXPECT_TRUE(failed->find("standard")->isNull());
}

}  // namespace
}  // namespace corvane
