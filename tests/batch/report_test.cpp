// corvane-batch --report and --figures, read back as a person reads them: the PDF's pages and
// text through pdfinfo and pdftotext, its pixels through pdftoppm, and the figure files.

#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <numbers>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "batch/json_reader.h"
#include "support/temp_dir.h"

namespace corvane {
namespace {

namespace fs = std::filesystem;
using testing::JsonReader;
using testing::JsonValue;

// What a command prints on standard output.
std::string output(const std::string& command) {
  std::string text;
  if (FILE* pipe = popen(command.c_str(), "r")) {
    char buffer[4096];
    for (std::size_t n; (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;) text.append(buffer, n);
    pclose(pipe);
  }
  return text;
}

std::string quoted(const fs::path& path) { return "'" + path.string() + "'"; }

// A number as the report prints it: six significant digits.
std::string printed(double value) {
  char text[32];
  const auto end = std::to_chars(text, text + sizeof text, value, std::chars_format::general, 6);
  return std::string(text, end.ptr);
}
std::string printed(const std::string& json) { return printed(std::stod(json)); }

constexpr int kColumns = 60, kRows = 40;
constexpr double kStep = 0.1;

// Three files, one of them missing, in one run of --json --report --figures.
class Report : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    files_ = new corvane::testing::TempDir;
    // Heights rising as x^2 on a grid: S varies along x only.
    std::string grid;
    for (int j = 0; j < kRows; ++j) {
      for (int i = 0; i < kColumns; ++i) {
        const double x = i * kStep;
        grid += std::to_string(x) + "," + std::to_string(j * kStep) + "," + std::to_string(x * x) +
                "\n";
      }
    }
    files_->write("grid.txt", grid);
    const fs::path folder = files_->path();
    const std::string command = std::string(CORVANE_BATCH_PROGRAM) + " --json --report " +
                                quoted(folder / "report.pdf") + " --figures " +
                                quoted(folder / "figures") + " " + quoted(folder / "grid.txt") +
                                " " + CORVANE_SAMPLES_DIR "/rough_surface_100k.txt " +
                                quoted(folder / "missing.txt") + " 2>/dev/null";
    std::istringstream lines(output(command));
    for (std::string line; std::getline(lines, line);) {
      if (auto value = JsonReader::read(line)) json_->push_back(*value);
    }
  }
  static void TearDownTestSuite() {
    delete files_;
    files_ = nullptr;
  }

  static fs::path pdf() { return files_->path() / "report.pdf"; }
  static std::string pageText(int page) {
    return output("pdftotext -layout -f " + std::to_string(page) + " -l " + std::to_string(page) +
                  " " + quoted(pdf()) + " -");
  }

  static corvane::testing::TempDir* files_;
  static inline std::vector<JsonValue>* json_ = new std::vector<JsonValue>;
};

corvane::testing::TempDir* Report::files_ = nullptr;

TEST_F(Report, PagesTablesAndTheFileThatDidNotLoad) {
  ASSERT_EQ(json_->size(), 3u);
  // A summary page, then a page per file, the missing one included.
  EXPECT_NE(output("pdfinfo " + quoted(pdf())).find("Pages:           4"), std::string::npos);
  EXPECT_NE(pageText(1).find("Summary of 3 files"), std::string::npos);

  // The sample's table: every areal figure and each profile figure's mean, lowest and highest
  // as the JSON of the same run has them, to the digits printed.
  const std::string page = pageText(3);
  const std::string table = page.substr(page.find("Areal figures (S)"));
  const JsonValue& standard = *(*json_)[1].find("standard");
  for (const auto& [name, value] : standard.find("areal")->members) {
    const std::string expected = value.isNull() ? "-" : printed(value.text);
    std::smatch found;
    ASSERT_TRUE(std::regex_search(table, found, std::regex("\\b" + name + " +(\\S+)"))) << name;
    EXPECT_EQ(found[1].str(), expected) << name;
  }
  for (const auto& [name, value] : standard.find("mean")->members) {
    if (name == "profiles") continue;
    double lowest = INFINITY, highest = -INFINITY;
    for (const JsonValue& profile : standard.find("profiles")->items) {
      const JsonValue* figure = profile.find(name);
      if (!profile.find("ok")->boolean || figure->isNull()) continue;
      lowest = std::min(lowest, std::stod(figure->text));
      highest = std::max(highest, std::stod(figure->text));
    }
    std::smatch found;
    ASSERT_TRUE(
        std::regex_search(table, found, std::regex("\\b" + name + " +(\\S+) +(\\S+) +(\\S+)")))
        << name;
    EXPECT_EQ(found[1].str(), printed(value.text)) << name;
    EXPECT_EQ(found[2].str(), printed(lowest)) << name;
    EXPECT_EQ(found[3].str(), printed(highest)) << name;
  }
  EXPECT_NE(table.find("250 of 250 profiles evaluated"), std::string::npos);
  EXPECT_NE(table.find("autocorrelation does not decay to 0.2"), std::string::npos);

  // The missing file's page carries the batch's own diagnosis.
  const std::string error = (*json_)[2].find("error")->text;
  ASSERT_FALSE(error.empty());
  EXPECT_NE(pageText(4).find(error.substr(0, 40)), std::string::npos) << pageText(4);
}

TEST_F(Report, HeightMapOfAGridIsDrawnWhereItBelongs) {
  // The grid's page at 72 pixels per inch, as a portable pixmap: "P6 width height 255" and RGB.
  std::istringstream ppm(
      output("pdftoppm -f 2 -l 2 -r 72 " + quoted(pdf()) + " | head -c 4000000"));
  std::string magic;
  int width = 0, height = 0, depth = 0;
  ppm >> magic >> width >> height >> depth;
  ppm.get();
  ASSERT_EQ(magic, "P6");
  std::vector<unsigned char> rgb(static_cast<std::size_t>(width * height * 3));
  ppm.read(reinterpret_cast<char*>(rgb.data()), static_cast<std::streamsize>(rgb.size()));
  const auto pixel = [&](int x, int y) {
    return &rgb[static_cast<std::size_t>((y * width + x) * 3)];
  };
  // Coloured, not grey: the map's and the colour bar's pixels.
  const auto coloured = [&](int x, int y) {
    const unsigned char* p = pixel(x, y);
    return std::max({p[0], p[1], p[2]}) - std::min({p[0], p[1], p[2]}) > 40;
  };
  // The widest run of coloured pixels in the upper left quarter is the map.
  int bestLeft = 0, bestRight = -1, row = -1;
  for (int y = 0; y < height / 2; ++y) {
    for (int x = 0, start = -1; x <= width / 2; ++x) {
      const bool in = x < width / 2 && coloured(x, y);
      if (in && start < 0) start = x;
      if (!in && start >= 0) {
        if (x - 1 - start > bestRight - bestLeft) bestLeft = start, bestRight = x - 1, row = y;
        start = -1;
      }
    }
  }
  ASSERT_GT(bestRight - bestLeft, 100) << "no map in the upper left quarter";
  const int middle = (bestLeft + bestRight) / 2;
  int top = row, bottom = row;
  while (top > 0 && coloured(middle, top - 1)) --top;
  while (bottom + 1 < height && coloured(middle, bottom + 1)) ++bottom;
  // x spans 6 units and y 4 at equal scale.
  EXPECT_NEAR(static_cast<double>(bestRight - bestLeft + 1) / (bottom - top + 1), 1.5, 0.1);
  // Down every column the colour stays; across, it is lightest at the ends (S highest) and
  // darkest in the middle.
  for (int x = bestLeft + 2; x <= bestRight - 2; ++x) {
    for (int y = top + 2; y <= bottom - 2; ++y) {
      for (int c = 0; c < 3; ++c) {
        ASSERT_NEAR(pixel(x, y)[c], pixel(x, top + 2)[c], 12) << x << ", " << y;
      }
    }
  }
  const auto lightness = [&](int x) {
    const unsigned char* p = pixel(x, (top + bottom) / 2);
    return p[0] + p[1] + p[2];
  };
  EXPECT_GT(lightness(bestLeft + 1), lightness(middle) + 300);
  EXPECT_GT(lightness(bestRight - 1), lightness(middle) + 300);
}

TEST_F(Report, FigureFilesAndTheSpectrumsPower) {
  const fs::path folder = files_->path() / "figures";
  for (const std::string title : {"grid.txt", "rough_surface_100k.txt"}) {
    for (const std::string name :
         {"heightmap.svg", "heightmap.png", "profile.svg", "profile.csv", "material-ratio.svg",
          "material-ratio.csv", "histogram.svg", "histogram.csv", "spectrum.svg", "spectrum.csv"}) {
      EXPECT_TRUE(fs::is_regular_file(folder / (title + "-" + name))) << title << "-" << name;
    }
  }
  EXPECT_FALSE(fs::exists(folder / "missing.txt-profile.csv"));

  // The densities times the frequency step add up to mean((w P)^2) / mean(w^2) of the grid's
  // profiles (all alike here), w the Hann window and P the heights less their line.
  std::ifstream csv(folder / "grid.txt-spectrum.csv");
  std::string line;
  std::getline(csv, line);
  std::vector<double> frequency, density;
  while (std::getline(csv, line)) {
    frequency.push_back(std::stod(line.substr(0, line.find(','))));
    density.push_back(std::stod(line.substr(line.find(',') + 1)));
  }
  ASSERT_EQ(density.size(), static_cast<std::size_t>(kColumns / 2 + 1));
  const double n = kColumns;
  double mx = 0, mz = 0, sxx = 0, sxz = 0, wp = 0, ww = 0;
  std::vector<double> x(kColumns), z(kColumns);
  for (int i = 0; i < kColumns; ++i) {
    // As the file has them.
    x[i] = std::stod(std::to_string(i * kStep));
    z[i] = std::stod(std::to_string((i * kStep) * (i * kStep)));
    mx += x[i] / n, mz += z[i] / n;
  }
  for (int i = 0; i < kColumns; ++i)
    sxx += (x[i] - mx) * (x[i] - mx), sxz += (x[i] - mx) * (z[i] - mz);
  for (int i = 0; i < kColumns; ++i) {
    const double p = z[i] - mz - sxz / sxx * (x[i] - mx);
    const double w = 0.5 - 0.5 * std::cos(2 * std::numbers::pi * i / (n - 1));
    wp += w * p * w * p, ww += w * w;
  }
  double sum = 0;
  for (const double d : density) sum += d;
  EXPECT_NEAR(sum * (frequency[1] - frequency[0]), wp / ww, 1e-9 * wp / ww);
}

TEST_F(Report, AxisLabelsAtZeroReadZero) {
  // The S-L surface's heights lie about 0 and its histogram's axis starts at -0.3 in steps of
  // 0.1: a label reached by adding the step up would read the rounding (-2.77556e-17).
  const fs::path chain = files_->path() / "chain.pdf";
  output(std::string(CORVANE_BATCH_PROGRAM) + " --report " + quoted(chain) +
         " --form 2 --lambda-s 0.25 --areal-cutoff 2.5 " CORVANE_SAMPLES_DIR
         "/rough_surface_100k.txt >/dev/null 2>&1");
  const std::string text = output("pdftotext " + quoted(chain) + " -");
  ASSERT_NE(text.find("S-L surface"), std::string::npos);
  // Qt cuts the long label short: "-2.77556e...".
  EXPECT_FALSE(std::regex_search(text, std::regex("[0-9]e(-1[0-9]|\\.\\.\\.)"))) << text;
}

}  // namespace
}  // namespace corvane
