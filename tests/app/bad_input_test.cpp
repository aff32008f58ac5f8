// The catalogue of bad and awkward point files through the window: a refused file gives the one
// defined message with the reader's diagnosis as its details, a file that changes or goes away
// between two commands is refused the same way at the next reload, an awkward file goes through
// every button with sound results, and after each case a good file opens and calculates.

#include <fcntl.h>
#include <unistd.h>
#include <QCoreApplication>
#include <QGroupBox>
#include <QListWidget>
#include <QPushButton>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <thread>

#include "analysis/reference_plane.h"
#include "data/point_reader.h"
#include "main_window_fixture.h"
#include "support/bad_inputs.h"

namespace corvane::testing {
namespace {

namespace fs = std::filesystem;
using Icon = MessageBoxes::Icon;

// Three scan lines x = 0..4 of heights 0, 1, 0, 1, 0: every one has Rn 1 (the first sampling
// length closes at x = 3).
constexpr std::string_view kGood =
    "0,0,0\n1,0,1\n2,0,0\n3,0,1\n4,0,0\n"
    "0,1,0\n1,1,1\n2,1,0\n3,1,1\n4,1,0\n"
    "0,2,0\n1,2,1\n2,2,0\n3,2,1\n4,2,0\n";

QStringList lines(const QListWidget* list) {
  QStringList result;
  for (int i = 0; i < list->count(); ++i) result << list->item(i)->text();
  return result;
}

bool soundText(const QString& text) {
  return !text.contains(QLatin1String("nan")) && !text.contains(QLatin1String("inf"));
}

class BadInputWindow : public MainWindowTest {
 protected:
  void open(const fs::path& path) {
    dialog.choices << QString::fromStdString(path.string());
    choose("menu2");
  }

  void click(const char* button) { find<QPushButton>(button)->click(); }

  // The last command met a file it could not load: the one message, the reader's own diagnosis
  // as its details, and the window closed.
  void expectRefused(const fs::path& path, const std::string& diagnosis) {
    ASSERT_FALSE(messages.shown.empty()) << "no message";
    const auto& box = messages.shown.back();
    EXPECT_EQ(box.text, "An error occured loading file");
    EXPECT_EQ(box.icon, Icon::Critical);
    PointTable table;
    const std::string expected = describe(readPointFile(path, table));
    EXPECT_EQ(box.details.toStdString(), expected);
    EXPECT_NE(expected.find(diagnosis), std::string::npos) << expected;
    EXPECT_EQ(form->fileOpen(), 0);
    EXPECT_EQ(form->pointTable().count(), 0);
    EXPECT_FALSE(find<QPushButton>("Command1")->isEnabled());
    EXPECT_FALSE(find<QGroupBox>("Frame1")->isEnabled());
    EXPECT_FALSE(find<QGroupBox>("Frame2")->isEnabled());
    EXPECT_TRUE(text("Label11").isEmpty());
  }

  // The program is still usable: a good file opens and both panels calculate.
  void expectUsable() {
    QCoreApplication::processEvents();
    EXPECT_TRUE(form->isVisible());
    if (form->fileOpen() == 1) choose("menu6");
    messages.shown.clear();
    for (const char* list : {"List1", "List2", "List3", "List4"}) find<QListWidget>(list)->clear();
    open(files.write("good.txt", kGood));
    click("Command10");
    click("Command6");
    EXPECT_TRUE(messages.shown.empty()) << messages.texts().join('|').toStdString();
    EXPECT_EQ(lines(find<QListWidget>("List1")), QStringList{"good.txt   R =  1"});
    // Nine heights 0 and six heights 1 about the plane at the mean 0.4: 7.2 / 15 = 0.48.
    EXPECT_EQ(lines(find<QListWidget>("List2")), QStringList{"good.txt   Ra =  .177777773804135"});
    choose("menu6");
    messages.shown.clear();
  }
};

TEST_F(BadInputWindow, RefusedFilesGiveTheMessageWithTheReadersDiagnosis) {
  for (const RefusedInput& input : refusedInputs()) {
    SCOPED_TRACE(input.name);
    const fs::path path = files.write(std::string(input.name) + ".txt", input.bytes);
    open(path);
    ASSERT_EQ(messages.shown.size(), 1u);
    expectRefused(path, input.diagnosis);
    expectUsable();
  }
}

TEST_F(BadInputWindow, ATwoGigabyteFileOfNulBytesIsRefusedAtOnce) {
  const fs::path& huge = LargeInputs::sparseNulBytes();
  if (huge.empty()) GTEST_SKIP() << "no sparse files here";
  std::string nulBytes;
  for (int i = 0; i < 32; ++i) nulBytes += "\\x00";
  open(huge);
  expectRefused(huge, "line 1, field 1: \"" + nulBytes + "...\" is not a number");
  expectUsable();
}

TEST_F(BadInputWindow, FiftyMegabytesOnOneLineOpenAndCalculate) {
  open(LargeInputs::singleLine());
  EXPECT_TRUE(messages.shown.empty());
  EXPECT_EQ(form->pointTable().count(), 2);
  EXPECT_EQ(text("Label3"), "4");
  click("Command6");
  EXPECT_EQ(find<QListWidget>("List2")->count(), 1);
  EXPECT_TRUE(messages.shown.empty());
  expectUsable();
}

TEST_F(BadInputWindow, FiftyMegabytesOfBlankLinesBeforeOnePointOpenAndCalculate) {
  open(LargeInputs::blankLines());
  EXPECT_TRUE(messages.shown.empty());
  EXPECT_EQ(form->pointTable().count(), 1);
  EXPECT_EQ(text("Label18"), "9");
  click("Command10");
  EXPECT_EQ(lines(find<QListWidget>("List3")), QStringList{" 1 -  0"});
  EXPECT_TRUE(messages.shown.empty());
  expectUsable();
}

// The commands that reload the file: plan-view Draw, Rn Calculate, reference-plane Draw, Ra
// Calculate.
constexpr const char* kReloadingButtons[] = {"Command1", "Command10", "Command5", "Command6"};

TEST_F(BadInputWindow, AFileDeletedAfterOpenIsRefusedByTheNextCommand) {
  for (const char* button : kReloadingButtons) {
    SCOPED_TRACE(button);
    const fs::path path = files.write("deleted.txt", kGood);
    open(path);
    ASSERT_EQ(form->fileOpen(), 1);
    fs::remove(path);
    click(button);
    expectRefused(path, "cannot open " + path.string() + ": No such file or directory");
    expectUsable();
  }
}

TEST_F(BadInputWindow, AFileReplacedByAFolderAfterOpenIsRefusedByTheNextCommand) {
  for (const char* button : kReloadingButtons) {
    SCOPED_TRACE(button);
    const fs::path path = files.write("replaced.txt", kGood);
    open(path);
    fs::remove(path);
    fs::create_directory(path);
    click(button);
    expectRefused(path, "cannot open " + path.string() + ": Is a directory");
    fs::remove(path);
    expectUsable();
  }
}

// Runs a command that meets a named pipe with no writer and measures how long it took. Should
// the command wait on the pipe, a writer opens it after a second and goes away, so that the wait
// ends and the test fails instead of hanging.
class PipeWatch {
 public:
  explicit PipeWatch(fs::path pipe)
      : pipe_(std::move(pipe)), guard_([this] {
          std::unique_lock lock(mutex_);
          if (!done_.wait_for(lock, std::chrono::seconds(1), [this] { return finished_; })) {
            const int writer = ::open(pipe_.c_str(), O_WRONLY | O_NONBLOCK);
            if (writer >= 0) ::close(writer);
          }
        }) {}

  template <class Command>
  std::chrono::milliseconds time(Command command) {
    const auto start = std::chrono::steady_clock::now();
    command();
    const auto took = std::chrono::steady_clock::now() - start;
    {
      std::lock_guard lock(mutex_);
      finished_ = true;
    }
    done_.notify_one();
    guard_.join();
    return std::chrono::duration_cast<std::chrono::milliseconds>(took);
  }

 private:
  fs::path pipe_;
  std::mutex mutex_;
  std::condition_variable done_;
  bool finished_ = false;
  std::thread guard_;
};

std::string namedPipeDiagnosis(const fs::path& path) {
  return path.string() +
         " is a named pipe, not a regular file (only a regular file can be read again on every "
         "load)";
}

TEST_F(BadInputWindow, ANamedPipeChosenInTheOpenDialogIsRefusedAtOnce) {
  const fs::path pipe = files.fifo("pipe.txt");
  const auto took = PipeWatch(pipe).time([&] { open(pipe); });
  EXPECT_LT(took, std::chrono::seconds(1));
  expectRefused(pipe, namedPipeDiagnosis(pipe));
  expectUsable();
}

TEST_F(BadInputWindow, AFileReplacedByANamedPipeAfterOpenIsRefusedByTheNextCommand) {
  for (const char* button : kReloadingButtons) {
    SCOPED_TRACE(button);
    const fs::path path = files.write("swapped.txt", kGood);
    open(path);
    ASSERT_EQ(form->fileOpen(), 1);
    fs::remove(path);
    files.fifo("swapped.txt");
    const auto took = PipeWatch(path).time([&] { click(button); });
    EXPECT_LT(took, std::chrono::seconds(1));
    expectRefused(path, namedPipeDiagnosis(path));
    fs::remove(path);
    expectUsable();
  }
}

TEST_F(BadInputWindow, AFileThatGrowsPastTheLimitBetweenTwoDrawsIsRefusedWhole) {
  const fs::path path = files.write("growing.txt", kGood);
  open(path);
  click("Command1");
  ASSERT_TRUE(messages.shown.empty());
  EXPECT_EQ(form->pointTable().count(), 15);
  {
    std::ofstream more(path, std::ios::binary | std::ios::app);
    more << pointLines(kMaxPoints - 15 + 1);
  }
  click("Command1");
  expectRefused(path, "more than 100000 points (line 100001)");
  expectUsable();
}

TEST_F(BadInputWindow, AFileCutInsideAPointAfterOpenIsRefusedByTheNextCommand) {
  const fs::path path = files.write("cut.txt", kGood);
  open(path);
  fs::resize_file(path, kGood.size() - 3);  // "4,2,0\n" loses ",0\n"
  click("Command6");
  expectRefused(path, "line 15: the file ends inside point 15 (after its y)");
  EXPECT_EQ(find<QListWidget>("List2")->count(), 0);
  expectUsable();
}

TEST_F(BadInputWindow, AwkwardFilesGoThroughEveryButtonWithSoundResults) {
  for (const AwkwardInput& input : awkwardInputs()) {
    SCOPED_TRACE(input.name);
    for (const char* list : {"List1", "List2", "List3", "List4"}) find<QListWidget>(list)->clear();
    open(files.write(std::string(input.name) + ".txt", input.bytes));
    ASSERT_EQ(form->pointTable().count(), input.points);
    const int planePosition = scrollBar("HScroll3")->value();
    EXPECT_EQ(planePosition, std::clamp(scrollPositionOf(form->extents().meanZ),
                                        scrollPositionOf(form->extents().minZ),
                                        scrollPositionOf(form->extents().maxZ)));
    EXPECT_EQ(text("Label21").toStdString(), heightText(planePosition, "."));

    click("Command1");
    scrollBar("HScroll1")->setValue(10);
    scrollBar("HScroll2")->setValue(7);
    click("Command3");
    click("Command2");
    EXPECT_EQ(scrollBar("HScroll1")->value(), 255);
    EXPECT_EQ(scrollBar("HScroll2")->value(), 2);

    click("Command10");
    ASSERT_EQ(find<QListWidget>("List1")->count(), 1);
    EXPECT_TRUE(soundText(find<QListWidget>("List1")->item(0)->text()));
    EXPECT_TRUE(soundText(find<QListWidget>("List4")->item(0)->text()));
    EXPECT_GE(find<QListWidget>("List3")->count(), 1);
    for (const QString& line : lines(find<QListWidget>("List3"))) EXPECT_TRUE(soundText(line));
    click("Command7");
    EXPECT_EQ(find<QListWidget>("List1")->count(), 0);

    scrollBar("HScroll3")->setValue(scrollBar("HScroll3")->minimum());
    click("Command8");
    EXPECT_EQ(scrollBar("HScroll3")->value(), planePosition);
    click("Command5");
    click("Command6");
    ASSERT_EQ(find<QListWidget>("List2")->count(), 1);
    EXPECT_TRUE(soundText(find<QListWidget>("List2")->item(0)->text()));
    click("Command9");
    EXPECT_EQ(find<QListWidget>("List2")->count(), 0);

    for (const char* label :
         {"Label3", "Label4", "Label7", "Label8", "Label11", "Label12", "Label18", "Label21"}) {
      EXPECT_TRUE(soundText(text(label))) << label << " " << text(label).toStdString();
    }
    EXPECT_TRUE(messages.shown.empty()) << messages.texts().join('|').toStdString();
    choose("menu6");
    EXPECT_EQ(form->fileOpen(), 0);
    EXPECT_TRUE(text("Label3").isEmpty());
    expectUsable();
  }
}

}  // namespace
}  // namespace corvane::testing
