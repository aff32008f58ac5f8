// The corvane-batch program itself, started as a user starts it: the regional settings it takes
// the decimal separator from, its exit statuses and streams, and the progress line that only a
// terminal gets.

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>
#include <csignal>

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "batch/batch_options.h"
#include "batch/json_reader.h"
#include "support/temp_dir.h"

namespace corvane {
namespace {

using testing::JsonReader;
using testing::JsonValue;

struct Outcome {
  int status = -1;
  double seconds = 0;  // from start to exit
  std::string out;
  std::string err;
};

std::string readAll(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

class BatchProgram : public ::testing::Test {
 protected:
  // Starts corvane-batch with exactly this environment. Its standard output and error go to
  // files, or its error to the terminal `terminal` when that is an open descriptor.
  Outcome start(const std::vector<std::string>& arguments,
                const std::vector<std::string>& environment, int terminal = -1) {
    const auto outPath = files_.path() / "stdout";
    const auto errPath = files_.path() / "stderr";
    std::vector<std::string> argv = {CORVANE_BATCH_PROGRAM};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    std::vector<char*> args;
    for (auto& a : argv) args.push_back(a.data());
    args.push_back(nullptr);
    std::vector<std::string> envCopy = environment;
    // A sanitizer build of the program runs with the test's sanitizer settings.
    for (const char* name : {"ASAN_OPTIONS", "UBSAN_OPTIONS", "LSAN_OPTIONS"}) {
      if (const char* value = std::getenv(name)) envCopy.push_back(std::string(name) + "=" + value);
    }
    std::vector<char*> envp;
    for (auto& e : envCopy) envp.push_back(e.data());
    envp.push_back(nullptr);

    const pid_t child = fork();
    if (child == 0) {
      const int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
      const int err =
          terminal >= 0 ? terminal : open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
      const int in = open("/dev/null", O_RDONLY);
      if (out < 0 || err < 0 || in < 0) _exit(126);
      dup2(in, 0);
      dup2(out, 1);
      dup2(err, 2);
      execve(args[0], args.data(), envp.data());
      _exit(127);
    }
    Outcome outcome;
    if (child < 0) return outcome;
    // A program that hangs is killed after ten seconds and gives status -1.
    const auto started = std::chrono::steady_clock::now();
    int status = 0;
    while (waitpid(child, &status, WNOHANG) == 0) {
      if (std::chrono::steady_clock::now() - started > std::chrono::seconds(10)) {
        kill(child, SIGKILL);
        waitpid(child, &status, 0);
        break;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    outcome.seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    outcome.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    outcome.out = readAll(outPath);
    if (terminal < 0) outcome.err = readAll(errPath);
    return outcome;
  }

  std::string write(std::string_view name, std::string_view content) {
    return files_.write(name, content).string();
  }

  testing::TempDir files_;
};

TEST_F(BatchProgram, NumbersFollowTheUsersRegionalSettingsEvenWithoutGeneratedLocales) {
  // 150 scan lines of heights 0, 0, 0, 2.5: 2.5 is the largest height and every scan line's Rn,
  // 0.625 the mean. Labels and the Rn2D line follow the settings; the Ra line always writes a
  // period.
  std::string content;
  for (int line = 1; line <= 150; ++line) {
    for (int x = 0; x <= 3; ++x) content += std::to_string(x) + ",0," + (x == 3 ? "2.5\n" : "0\n");
  }
  const std::string file = write("scan.txt", content);
  const struct {
    std::vector<std::string> environment;
    std::string separator;
  } cases[] = {
      {{}, "."},
      {{"LC_ALL=C"}, "."},
      {{"LC_ALL=de_DE.UTF-8"}, ","},
      {{"LC_NUMERIC=de_DE.UTF-8"}, ","},
      {{"LANG=fr_FR.UTF-8"}, ","},
      {{"LANG=de_DE.UTF-8", "LC_NUMERIC=en_GB.UTF-8"}, "."},    // LC_NUMERIC before LANG
      {{"LC_ALL=en_US.UTF-8", "LC_NUMERIC=de_DE.UTF-8"}, "."},  // LC_ALL before both
      {{"LC_ALL=de_DE.UTF-8", "LANG=en_US.UTF-8"}, ","},
  };
  for (const auto& c : cases) {
    std::string trace;
    for (const auto& e : c.environment) trace += e + " ";
    SCOPED_TRACE(trace);
    const Outcome outcome = start({"--json", file}, c.environment);
    ASSERT_EQ(outcome.status, 0) << outcome.err;
    const auto report = JsonReader::read(outcome.out);
    ASSERT_TRUE(report.has_value()) << outcome.out;
    EXPECT_EQ(report->find("labels")->find("Label11")->text, "2" + c.separator + "5");
    EXPECT_EQ(report->find("labels")->find("Label18")->text, "0" + c.separator + "625");
    EXPECT_EQ(report->find("label21")->text, "0" + c.separator + "62");
    EXPECT_EQ(report->find("rn2dLine")->text, "scan.txt     2" + c.separator + "5");
    EXPECT_EQ(report->find("raLine")->text, "scan.txt   Ra =  .346296297179328");
  }
}

TEST_F(BatchProgram, ExitStatusesAndStreams) {
  const std::string good = write("good.txt", "0,0,1\n1,0,2\n");
  const std::string bad = write("bad.txt", "0,0,1\n1,0\n");

  const Outcome help = start({"--help"}, {});
  EXPECT_EQ(help.status, 0);
  EXPECT_EQ(help.out, usageText());
  EXPECT_TRUE(help.err.empty());

  const Outcome usage = start({"--sampling-length", "0", good}, {});
  EXPECT_EQ(usage.status, 2);
  EXPECT_TRUE(usage.out.empty());
  EXPECT_EQ(usage.err,
            "corvane-batch: --sampling-length must be a whole number from 1 to 30, not \"0\"\n"
            "Try 'corvane-batch --help'.\n");

  const Outcome mixed = start({good, bad, good}, {});
  EXPECT_EQ(mixed.status, 1);
  EXPECT_EQ(mixed.err,
            "corvane-batch: " + bad + ": line 2: the file ends inside point 2 (after its y)\n");
  EXPECT_EQ(mixed.out.find(good), 0u);
  EXPECT_NE(mixed.out.rfind(good), 0u) << "the good file after the bad one is reported too";

  EXPECT_EQ(start({good, good}, {}).status, 0);
}

TEST_F(BatchProgram, RefusesANamedPipeAtOnceAndKeepsEveryNameOnOneLine) {
  const std::string fifo = files_.fifo("scan.txt").string();
  const std::string good = write("two\nlines.txt", "0,0,1\n1,0,2\n");
  const Outcome plain = start({fifo, good}, {});
  EXPECT_EQ(plain.status, 1);
  EXPECT_LT(plain.seconds, 1.0);
  EXPECT_EQ(plain.err, "corvane-batch: " + fifo + " is a named pipe, not a regular file " +
                           "(only a regular file can be read again on every load)\n");
  const std::string quoted = "\"" + files_.path().string() + "/two\\nlines.txt\"";
  EXPECT_NE(plain.out.find("\n" + quoted + "\n  points           2\n"), std::string::npos)
      << plain.out;
  EXPECT_EQ(plain.out.find("two\nlines"), std::string::npos) << "no name split over two lines";

  const Outcome json = start({"--json", fifo}, {});
  EXPECT_EQ(json.status, 1);
  EXPECT_LT(json.seconds, 1.0);
  const auto report = JsonReader::read(json.out);
  ASSERT_TRUE(report.has_value()) << json.out;
  EXPECT_FALSE(report->find("ok")->boolean);
}

TEST_F(BatchProgram, ShowsProgressOnATerminalOnly) {
  std::vector<std::string> arguments = {"--json"};
  for (int i = 0; i < 3; ++i)
    arguments.push_back(write(std::string("f").append(std::to_string(i)), "0,0,1\n1,0,2\n"));

  const Outcome toFile = start(arguments, {});
  EXPECT_EQ(toFile.status, 0);
  EXPECT_TRUE(toFile.err.empty()) << "no progress into a file or pipe";

  const int master = posix_openpt(O_RDWR | O_NOCTTY);
  if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) GTEST_SKIP() << "no terminals";
  const int terminal = open(ptsname(master), O_RDWR | O_NOCTTY);
  ASSERT_GE(terminal, 0);
  const Outcome onTerminal = start(arguments, {}, terminal);
  close(terminal);
  std::string shown;
  char buffer[4096];
  for (ssize_t n; (n = read(master, buffer, sizeof buffer)) > 0;)
    shown.append(buffer, static_cast<std::size_t>(n));
  close(master);

  EXPECT_EQ(onTerminal.status, 0);
  EXPECT_EQ(onTerminal.out, toFile.out);
  EXPECT_NE(shown.find("3/3 files"), std::string::npos) << shown;
}

}  // namespace
}  // namespace corvane
