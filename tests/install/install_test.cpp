// The installed programs: `cmake --install` of this build into a staging folder (DESTDIR), then
// the desktop's own validators on what a desktop reads, the X3P type as a file manager sees it,
// the icons at their sizes, the installed corvane-batch on the installed samples, and the folder
// the installed program opens its dialog in.
#include <gtest/gtest.h>

#include <QString>
#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "app/samples_folder.h"
#include "support/temp_dir.h"

namespace corvane {
namespace {

namespace fs = std::filesystem;

const std::string kId = CORVANE_DESKTOP_ID;
const std::string kAnalysisId = kId + ".Analysis";
const std::string kX3pType = "application/x-iso5436-2+zip";

struct Outcome {
  int status = -1;
  std::string output;  // standard output and standard error together
};

Outcome run(const std::string& command) {
  Outcome outcome;
  FILE* pipe = popen((command + " 2>&1").c_str(), "r");
  if (pipe == nullptr) return outcome;
  std::array<char, 4096> buffer{};
  std::size_t n = 0;
  while ((n = std::fread(buffer.data(), 1, buffer.size(), pipe)) > 0)
    outcome.output.append(buffer.data(), n);
  const int status = pclose(pipe);
  outcome.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return outcome;
}

std::string quoted(const fs::path& path) { return "'" + path.string() + "'"; }

std::string contents(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The width and height in a PNG file's header chunk.
std::pair<int, int> pngSize(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::array<unsigned char, 24> head{};
  in.read(reinterpret_cast<char*>(head.data()), head.size());
  if (!in || head[1] != 'P' || head[2] != 'N' || head[3] != 'G') return {0, 0};
  auto be32 = [&](std::size_t at) {
    return (head[at] << 24) | (head[at + 1] << 16) | (head[at + 2] << 8) | head[at + 3];
  };
  return {be32(16), be32(20)};
}

class Installed : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    stage_ = new testing::TempDir;
    const Outcome install =
        run("DESTDIR=" + quoted(stage_->path()) +
            " '" CORVANE_CMAKE "' --install '" CORVANE_BUILD_DIR "' --prefix /usr");
    installed_ = install.status == 0;
    if (!installed_) std::fprintf(stderr, "%s\n", install.output.c_str());
  }
  static void TearDownTestSuite() {
    delete stage_;
    stage_ = nullptr;
  }
  void SetUp() override { ASSERT_TRUE(installed_) << "cmake --install failed"; }

  static fs::path usr() { return stage_->path() / "usr"; }

  static testing::TempDir* stage_;
  static bool installed_;
};

testing::TempDir* Installed::stage_ = nullptr;
bool Installed::installed_ = false;

TEST_F(Installed, DesktopEntriesAndAppStreamMetadataValidate) {
  for (const std::string& id : {kId, kAnalysisId}) {
    SCOPED_TRACE(id);
    const fs::path entry = usr() / "share/applications" / (id + ".desktop");
    ASSERT_TRUE(fs::is_regular_file(entry));
    const Outcome desktop = run("desktop-file-validate " + quoted(entry));
    EXPECT_EQ(desktop.status, 0) << desktop.output;
    EXPECT_EQ(desktop.output, "") << "no warnings either";

    const fs::path metainfo = usr() / "share/metainfo" / (id + ".metainfo.xml");
    ASSERT_TRUE(fs::is_regular_file(metainfo));
    const Outcome appstream = run("appstreamcli validate --no-net " + quoted(metainfo));
    EXPECT_EQ(appstream.status, 0) << appstream.output;
    EXPECT_EQ(appstream.output.find("E: "), std::string::npos) << appstream.output;
  }
}

TEST_F(Installed, FileManagerOpensX3pFilesInCorvaneAnalysis) {
  // The databases a desktop builds from the installed files, made in a folder of the test's own:
  // update-mime-database skips a malformed file or one in the wrong namespace with a message and
  // exit status 0, so only what it wrote shows that the type is known.
  const testing::TempDir data;
  fs::create_directories(data.path() / "mime/packages");
  fs::copy(usr() / "share/mime/packages" / (kId + ".xml"), data.path() / "mime/packages");
  fs::copy(usr() / "share/applications", data.path() / "applications");
  const Outcome mime = run("update-mime-database " + quoted(data.path() / "mime"));
  ASSERT_EQ(mime.status, 0) << mime.output;
  EXPECT_NE(contents(data.path() / "mime/globs2").find(":" + kX3pType + ":*.x3p\n"),
            std::string::npos)
      << mime.output;
  EXPECT_NE(contents(data.path() / "mime/subclasses").find(kX3pType + " application/zip\n"),
            std::string::npos)
      << mime.output;

  // Which programs a file manager offers for the type.
  const Outcome desktop = run("update-desktop-database " + quoted(data.path() / "applications"));
  ASSERT_EQ(desktop.status, 0) << desktop.output;
  const std::string handlers = contents(data.path() / "applications/mimeinfo.cache");
  EXPECT_NE(handlers.find(kX3pType + "=" + kAnalysisId + ".desktop;"), std::string::npos)
      << handlers;
}

TEST_F(Installed, IconsAtEveryThemeSizeAndManPages) {
  for (int size : {16, 32, 48, 64, 128, 256}) {
    SCOPED_TRACE(size);
    const std::string folder = std::to_string(size) + "x" + std::to_string(size);
    const fs::path icon = usr() / "share/icons/hicolor" / folder / "apps" / (kId + ".png");
    EXPECT_EQ(pngSize(icon), std::make_pair(size, size)) << icon;
  }
  for (const char* page : {"corvane.1", "corvane-batch.1", "corvane-analysis.1"}) {
    const fs::path file = usr() / "share/man/man1" / page;
    ASSERT_TRUE(fs::is_regular_file(file)) << file;
    // groff's own warnings (-ww) on the page, formatted and thrown away (-z).
    const Outcome groff = run("groff -man -ww -z " + quoted(file));
    EXPECT_EQ(groff.status, 0) << groff.output;
    EXPECT_EQ(groff.output, "") << page;
  }
}

TEST_F(Installed, BatchProgramReportsTheInstalledSamples) {
  const fs::path samples = usr() / "share/corvane/samples";
  int count = 0;
  std::string files;
  for (const auto& entry : fs::directory_iterator(samples)) {
    files += " " + quoted(entry.path());
    ++count;
  }
  // Three point files, the X3P of the largest and a confocal field with non-measured points.
  ASSERT_EQ(count, 5);
  const Outcome batch = run(quoted(usr() / "bin/corvane-batch") + " --json" + files);
  EXPECT_EQ(batch.status, 0) << batch.output;
  std::size_t reported = 0;
  for (std::size_t at = 0; (at = batch.output.find("\"ok\":true", at)) != std::string::npos; ++at) {
    ++reported;
  }
  EXPECT_EQ(reported, 5u) << batch.output;
  EXPECT_TRUE(fs::is_regular_file(usr() / "bin/corvane"));
  EXPECT_TRUE(fs::is_regular_file(usr() / "bin/corvane-analysis"));
}

TEST_F(Installed, TheOpenDialogStartsInTheInstalledSamples) {
  // Where the program looks is worked out from its own folder, as QCoreApplication reports it.
  const fs::path bin = usr() / "bin";
  const QString folder = samplesFolder(QString::fromStdString(bin.string()));
  EXPECT_EQ(fs::path(folder.toStdString()), usr() / "share/corvane/samples");
  EXPECT_TRUE(fs::is_directory(folder.toStdString()));

  // In the build tree the samples beside the program still win.
  const QString buildTree = samplesFolder(QStringLiteral(CORVANE_PROGRAM_DIR));
  EXPECT_EQ(buildTree, QStringLiteral(CORVANE_PROGRAM_DIR "/samples"));
}

}  // namespace
}  // namespace corvane
