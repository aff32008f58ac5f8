// corvane-batch --standard: the cut-off option, the JSON fields, that the outputs without
// --standard stay as they were and that the figures it gave from the start keep their values.

#include <gtest/gtest.h>

#include <cmath>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "batch/batch_options.h"
#include "batch/file_report.h"
#include "batch/json_reader.h"
#include "batch/report_format.h"
#include "batch/standard_format.h"
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
  EXPECT_EQ(s->names(), (std::vector<std::string>{"cutoff", "settings", "areal", "grid",
                                                  "arealReasons", "mean", "profiles"}));
  EXPECT_EQ(s->find("cutoff")->text, "0.8");
  const JsonValue* settings = s->find("settings");
  EXPECT_EQ(namesOf(settings), (std::vector<std::string>{"form", "lambdaS", "arealCutoff", "robust",
                                                         "surface", "robustPasses"}));
  EXPECT_EQ(settings->find("form")->text, "1");
  EXPECT_TRUE(settings->find("lambdaS")->isNull() && settings->find("robustPasses")->isNull());
  EXPECT_EQ(settings->find("surface")->text, "S-F");
  {
    // Off a grid the L-filter is named but not applied; the passes come per evaluated profile.
    BatchOptions chain = standard;
    chain.form = 2, chain.lambdaS = 0.25, chain.arealCutoff = 2.5, chain.robust = true;
    const auto filtered = JsonReader::read(jsonReport(analyseFile(file, chain, ".", *workspace)));
    const JsonValue* named = filtered->find("standard")->find("settings");
    EXPECT_EQ(named->find("form")->text, "2");
    EXPECT_EQ(named->find("lambdaS")->text, "0.25");
    EXPECT_EQ(named->find("surface")->text, "S-F");
    EXPECT_EQ(named->find("robustPasses")->items.size(), 2u);
  }
  EXPECT_EQ(namesOf(s->find("areal")),
            (std::vector<std::string>{"Sa",   "Sq",   "Ssk", "Sku", "Sp",  "Sv",  "Sz",
                                      "Sdq",  "Sdr",  "Sal", "Str", "Sk",  "Spk", "Svk",
                                      "Smr1", "Smr2", "Sxp", "Vmp", "Vmc", "Vvc", "Vvv"}));
  // Two lines of 30 and one of 2 are no grid.
  EXPECT_TRUE(s->find("grid")->isNull());
  ASSERT_EQ(s->find("arealReasons")->items.size(), 1u);
  EXPECT_EQ(s->find("arealReasons")->items[0].text, "not a regular grid");
  EXPECT_TRUE(s->find("areal")->find("Sdr")->isNull());
  EXPECT_FALSE(s->find("areal")->find("Sk")->isNull());
  EXPECT_NE(block.find("areal figures undefined: not a regular grid"), std::string::npos);
  const std::vector<std::string> figures = {"Pa",  "Pq", "Pt",  "Ra",  "Rq",  "Rsk",
                                            "Rku", "Rp", "Rv",  "Rz",  "Rt",  "Rdq",
                                            "RSm", "Rk", "Rpk", "Rvk", "Mr1", "Mr2"};
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

TEST(StandardOutput, AmplitudeFiguresOfTheSampleStayAsTheyWere) {
  // The figures corvane-batch --standard gave for the 100000-point sample before the slope,
  // spacing, material ratio and texture figures came: areal Sa .. Sz, the surface mean and
  // profile 1 of Pa .. Rt.
  const double areal[] = {0.17103598269853418, 0.20642889151353797, -0.2359239230007158,
                          2.7231376135823067,  0.5361692599740345,  0.9446318164586727,
                          1.4808010764327073};
  const double mean[] = {0.15983014282693905, 0.18626871880766868, 0.8432842608950554,
                         0.0344642633698009,  0.04289905672206876, -0.21605991132246638,
                         2.8473281708593032,  0.06121835148398233, 0.06749361134009121,
                         0.1287119628240735,  0.24259430823731565};
  const double first[] = {0.15154454698390304, 0.17551192257863607,  0.7307047991393698,
                          0.03289750284519796, 0.041114037592640824, -0.25218480925229936,
                          2.7008024925737986,  0.05741695958229386,  0.06345308865892547,
                          0.12087004824121934, 0.22146185770954813};
  auto workspace = std::make_unique<Workspace>();
  BatchOptions options;
  options.standard = true;
  const FileReport report =
      analyseFile(CORVANE_SAMPLES_DIR "/rough_surface_100k.txt", options, ".", *workspace);
  ASSERT_TRUE(report.ok) << report.error;
  const StandardResult& s = report.standard;
  ASSERT_EQ(s.evaluated, 250);
  const auto same = [](double now, double before) {
    EXPECT_NEAR(now, before, 1e-12 * std::fabs(before));
  };
  for (std::size_t f = 0; f < std::size(areal); ++f) same(s.areal[f], areal[f]);
  for (std::size_t f = 0; f < std::size(mean); ++f) same(s.mean[f], mean[f]);
  for (std::size_t f = 0; f < std::size(first); ++f) same(s.profiles[0].figures[f], first[f]);
}

TEST(StandardOutput, AFileBeyondTheWindowGivesTheStandardFiguresAndTheWindowsDiagnosis) {
  testing::TempDir files;
  std::string text;
  for (int i = 0; i <= kMaxPoints; ++i) {
    text += std::to_string(i * 0.001) + " 0 " + std::to_string((i % 7) * 0.01) + "\n";
  }
  const std::string file = files.write("long.txt", text).string();
  auto workspace = std::make_unique<Workspace>();
  BatchOptions standard;
  standard.standard = true;
  const auto value = JsonReader::read(jsonReport(analyseFile(file, standard, ".", *workspace)));
  ASSERT_TRUE(value.has_value());
  EXPECT_TRUE(value->find("ok")->boolean);
  EXPECT_EQ(value->find("error")->text, "more than 100000 points (line 100001)");
  EXPECT_EQ(value->find("points")->text, "100001");
  for (const char* window : {"labels", "raLine", "rnLine", "list3", "maxZ"}) {
    EXPECT_TRUE(value->find(window)->isNull()) << window;
  }
  EXPECT_EQ(value->find("standard")->find("mean")->find("profiles")->text, "1");
  // Without the standard figures the file is refused as the window refuses it.
  const FileReport plain = analyseFile(file, BatchOptions{}, ".", *workspace);
  EXPECT_FALSE(plain.ok);
  EXPECT_EQ(plain.error, "more than 100000 points (line 100001)");
}

TEST(StandardOutput, AFieldWithHolesCountsTheMeasuredPointsAndWritesItsHolesBack) {
  // The confocal sample: 351 x 283 points, 5270 of them not measured.
  testing::TempDir files;
  auto workspace = std::make_unique<Workspace>();
  BatchOptions options;
  options.standard = true;
  options.cutoff = 0.08;
  options.x3pFolder = files.path().string();
  const FileReport report =
      analyseFile(CORVANE_SAMPLES_DIR "/confocal_holes.x3p", options, ".", *workspace);
  ASSERT_TRUE(report.ok) << report.error;
  EXPECT_EQ(report.points, 94063);
  EXPECT_TRUE(report.windowError.empty());  // the measured points fit the window's table
  const auto value = JsonReader::read(jsonReport(report));
  ASSERT_TRUE(value.has_value());
  EXPECT_EQ(value->find("points")->text, "94063");
  EXPECT_EQ(value->find("x3p")->find("invalidPoints")->text, "5270");
  EXPECT_EQ(value->find("standard")->find("grid")->find("measured")->text, "94063");
  for (const JsonValue* figure : {value->find("standard")->find("areal")->find("Sdr"),
                                  value->find("standard")->find("areal")->find("Str")}) {
    EXPECT_FALSE(figure->isNull());
  }
  EXPECT_NE(standardBlock(report.standard).find("\n    5270 non-measured points (5.31 %)\n"),
            std::string::npos);
  // Written back and read again: the same holes, so the same figures.
  ASSERT_TRUE(report.x3pError.empty()) << report.x3pError;
  options.x3pFolder.reset();
  const FileReport again = analyseFile(report.x3pWritten, options, ".", *workspace);
  ASSERT_TRUE(again.ok) << again.error;
  EXPECT_EQ(again.x3pInfo.invalidPoints, 5270u);
  for (std::size_t f = 0; f < kArealFigureNames.size(); ++f) {
    EXPECT_NEAR(again.standard.areal[f], report.standard.areal[f],
                1e-12 * std::fabs(report.standard.areal[f]))
        << kArealFigureNames[f];
  }
}

TEST(StandardOutput, AnInstrumentsFileSaysWhatItMeasuredAndConvertsToX3p) {
  // The shared OPD file: 736 x 480 points, 809 of them invalid, heights in nm in the file (its
  // Date, Time and MachineID blocks as read with python's struct).
  testing::TempDir files;
  auto workspace = std::make_unique<Workspace>();
  BatchOptions options;
  options.standard = true;
  options.unit = LengthUnit::Micrometre;
  options.x3pFolder = files.path().string();
  const FileReport report =
      analyseFile(CORVANE_FORMATS_DIR "/opd_raw_int16.opd", options, ".", *workspace);
  ASSERT_TRUE(report.ok) << report.error;
  const auto value = JsonReader::read(jsonReport(report));
  ASSERT_TRUE(value.has_value());
  EXPECT_EQ(value->find("format")->text, "opd");
  const JsonValue* measurement = value->find("measurement");
  ASSERT_NE(measurement, nullptr);
  EXPECT_EQ(measurement->find("format")->text, "opd");
  EXPECT_EQ(measurement->find("nonMeasured")->text, "809");
  EXPECT_EQ(measurement->find("unitInFile")->text, "nm");
  EXPECT_EQ(measurement->find("instrument")->text, "NT1100");
  EXPECT_TRUE(measurement->find("comment")->isNull());
  EXPECT_EQ(value->find("points")->text, std::to_string(736 * 480 - 809));
  // An X3P file's measurement beside its x3p object.
  const FileReport x3p =
      analyseFile(CORVANE_SAMPLES_DIR "/confocal_holes.x3p", BatchOptions{}, ".", *workspace);
  const auto x3pValue = JsonReader::read(jsonReport(x3p));
  ASSERT_TRUE(x3pValue.has_value());
  EXPECT_EQ(x3pValue->find("measurement")->find("nonMeasured")->text, "5270");
  EXPECT_EQ(x3pValue->find("measurement")->find("unitInFile")->text, "m");
  // Converted to X3P and read again: the same grid, holes and figures.
  ASSERT_TRUE(report.x3pError.empty()) << report.x3pError;
  options.x3pFolder.reset();
  const FileReport again = analyseFile(report.x3pWritten, options, ".", *workspace);
  ASSERT_TRUE(again.ok) << again.error;
  EXPECT_EQ(again.x3pInfo.invalidPoints, 809u);
  for (std::size_t f = 0; f < kArealFigureNames.size(); ++f) {
    EXPECT_NEAR(again.standard.areal[f], report.standard.areal[f],
                1e-9 * std::fabs(report.standard.areal[f]))
        << kArealFigureNames[f];
  }
}

}  // namespace
}  // namespace corvane
