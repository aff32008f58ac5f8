// File > Open and File > Close, and the loader behind them as the window shows it.
#include <QGroupBox>
#include <QListWidget>
#include <QPushButton>

#include "main_window_fixture.h"

namespace corvane::testing {
namespace {

using Open = MainWindowTest;
using Close = MainWindowTest;
using Icon = MessageBoxes::Icon;

constexpr std::string_view kThreePoints =
    "1,2,12.5\n"
    "-3,7.25,-1\n"
    "4.5,-0.5,0.125\n";

TEST_F(Open, ShowsTheExtentsMeanAndFileNameAndEnablesThePanels) {
  const QString path = openPoints(kThreePoints);
  EXPECT_TRUE(messages.shown.empty()) << messages.texts().join('|').toStdString();
  EXPECT_EQ(form->windowTitle(), "Corvane  " + path);
  EXPECT_EQ(dialog.filter(), "*.txt");
  EXPECT_TRUE(dialog.initialFolder().endsWith("/samples"));
  EXPECT_EQ(form->fileOpen(), 1);
  EXPECT_EQ(form->pointTable().count(), 3);

  EXPECT_EQ(text("Label3"), "4.5");
  EXPECT_EQ(text("Label4"), "-3");
  EXPECT_EQ(text("Label7"), "7.25");
  EXPECT_EQ(text("Label8"), "-0.5");
  EXPECT_EQ(text("Label11"), "12.5");
  EXPECT_EQ(text("Label12"), "-1");
  EXPECT_EQ(text("Label18"), "3.875");  // (12.5 - 1 + 0.125) / 3

  EXPECT_TRUE(find<QPushButton>("Command1")->isEnabled());
  EXPECT_TRUE(find<QGroupBox>("Frame1")->isEnabled());
  EXPECT_TRUE(find<QGroupBox>("Frame2")->isEnabled());

  // The reference plane spans the heights and stands at the mean; the sampling length is 3.
  EXPECT_EQ(scrollBar("HScroll3")->minimum(), -100);
  EXPECT_EQ(scrollBar("HScroll3")->maximum(), 1250);
  EXPECT_EQ(scrollBar("HScroll3")->value(), 388);  // 387.5 rounds to the even 388
  EXPECT_EQ(text("Label21"), "3.88");
  EXPECT_EQ(scrollBar("HScroll4")->value(), 3);
  EXPECT_EQ(text("Label22"), "3");
}

TEST_F(Open, LabelsFollowTheUsersDecimalSeparator) {
  QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
  openPoints("0,0,12.5\n1,1,10\n");
  QLocale::setDefault(QLocale::c());
  EXPECT_EQ(text("Label11"), "12,5");
  EXPECT_EQ(text("Label18"), "11,25");
  EXPECT_EQ(text("Label21"), "11,25");
}

TEST_F(Open, LabelsShowSevenSignificantDigitsWhileTheTableKeepsTheValueAsRead) {
  openPoints("1.23456789012,0,0\n");
  EXPECT_EQ(text("Label3"), "1.234568");
  EXPECT_EQ(form->pointTable().row(1).x, 1.23456789012);
}

TEST_F(Open, IsRefusedWhileAFileIsLoadedAndSpeaksFirstWhenSpeechIsOn) {
  const QString first = openPoints(kThreePoints);
  switchSpeechOn();
  log.clear();
  dialog.choices << QString::fromStdString(files.write("other.txt", "9,9,9\n").string());
  choose("menu2");

  EXPECT_EQ(dialog.timesShown, 1) << "the dialog is not shown again";
  ASSERT_EQ(messages.shown.size(), 1u);
  EXPECT_EQ(messages.shown[0].icon, Icon::Information);
  EXPECT_EQ(messages.shown[0].title, "Corvane");
  EXPECT_EQ(log, QStringList({"speak: A file is already open. please close the file first.",
                              "box: Please close the file first."}));
  EXPECT_EQ(form->windowTitle(), "Corvane  " + first);
  EXPECT_EQ(text("Label11"), "12.5") << "the first file stays loaded";
}

TEST_F(Open, RefusalIsSilentWithSpeechOff) {
  openPoints(kThreePoints);
  choose("menu2");
  EXPECT_TRUE(speaker.spoken.isEmpty());
  EXPECT_EQ(messages.texts(), QStringList{"Please close the file first."});
}

TEST_F(Open, CancelledDialogAsksForAFileAndLoadsNothing) {
  choose("menu2");
  ASSERT_EQ(messages.shown.size(), 1u);
  EXPECT_EQ(messages.shown[0].text, "Please select a point cloud data.");
  EXPECT_EQ(messages.shown[0].title, "Error");
  EXPECT_EQ(messages.shown[0].icon, Icon::Critical);
  EXPECT_EQ(form->windowTitle(), "Corvane  ");
  EXPECT_EQ(form->fileOpen(), 0);
  EXPECT_TRUE(text("Label22").isEmpty()) << "nothing is set up without a file";
}

struct BadFile {
  const char* name;
  std::string_view content;
};

TEST_F(Open, FailedLoadReportsClosesAndStillNamesTheFile) {
  const BadFile cases[] = {
      {"header.txt", "x,y,z\n1,2,3\n"},
      {"empty.txt", ""},
      {"truncated.txt", "1,2,3\n4,5\n"},
      {"overflow.txt", "1,2,1e39\n"},
      {"nan.txt", "1,2,nan\n"},
      {"binary.txt", std::string_view("\x7f\x45\x4c\x46\x00\x01", 6)},
  };
  for (const BadFile& bad : cases) {
    SCOPED_TRACE(bad.name);
    messages.shown.clear();
    const QString path = openPoints(bad.content, bad.name);
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].text, "An error occured loading file");
    EXPECT_EQ(messages.shown[0].title, "Corvane");
    EXPECT_EQ(messages.shown[0].icon, Icon::Critical);
    EXPECT_FALSE(messages.shown[0].details.isEmpty()) << "the reader's diagnosis is offered";
    EXPECT_EQ(form->windowTitle(), "Corvane  " + path);
    EXPECT_EQ(form->fileOpen(), 0);
    EXPECT_EQ(form->pointTable().count(), 0);
    EXPECT_FALSE(find<QPushButton>("Command1")->isEnabled());
    EXPECT_FALSE(find<QGroupBox>("Frame1")->isEnabled());
    EXPECT_TRUE(text("Label11").isEmpty());
    // The reference plane and sampling length were set up after the loader closed the file.
    EXPECT_EQ(text("Label21"), "0");
    EXPECT_EQ(scrollBar("HScroll4")->value(), 3);
    EXPECT_EQ(text("Label22"), "3");
  }
  EXPECT_TRUE(speaker.spoken.isEmpty());
}

TEST_F(Open, FailedLoadSpeaksBeforeItsMessageWhenSpeechIsOn) {
  switchSpeechOn();
  openPoints("not a number\n");
  EXPECT_EQ(log.filter(QStringLiteral(": ")), QStringList({"speak: An error occured loading file.",
                                                           "box: An error occured loading file"}));
}

TEST_F(Open, MissingFileAndFolderFailTheLoad) {
  for (const QString& path : {QString::fromStdString((files.path() / "gone.txt").string()),
                              QString::fromStdString(files.path().string())}) {
    SCOPED_TRACE(path.toStdString());
    messages.shown.clear();
    dialog.choices << path;
    choose("menu2");
    EXPECT_EQ(messages.texts(), QStringList{"An error occured loading file"});
    EXPECT_EQ(form->fileOpen(), 0);
  }
}

TEST_F(Open, HeightsFarBeyondTheOldSixteenBitRangeWork) {
  openPoints("0,0,-5000.25\n1,1,90000.5\n");
  EXPECT_EQ(scrollBar("HScroll3")->minimum(), -500025);
  EXPECT_EQ(scrollBar("HScroll3")->maximum(), 9000050);
  EXPECT_EQ(text("Label21"), "42500.12");  // mean 42500.125 -> position 4250012 (half to even)
}

TEST_F(Open, AFileAtTheLimitOfSingleprecisionClampsThePlaneInsteadOfOverflowing) {
  openPoints("0,0,-3e38\n1,1,3e38\n");
  EXPECT_TRUE(messages.shown.empty());
  EXPECT_EQ(scrollBar("HScroll3")->minimum(), std::numeric_limits<int>::min());
  EXPECT_EQ(scrollBar("HScroll3")->maximum(), std::numeric_limits<int>::max());
  EXPECT_EQ(scrollBar("HScroll3")->value(), 0);
}

TEST_F(Close, ResetsEverythingButTheSpeechSwitchResultListsAndReferencePlane) {
  openPoints(kThreePoints);
  switchSpeechOn();
  scrollBar("HScroll1")->setValue(100);
  scrollBar("HScroll2")->setValue(5);
  scrollBar("HScroll3")->setValue(500);
  for (const char* list : {"List1", "List2", "List3", "List4"}) {
    find<QListWidget>(list)->addItem(QStringLiteral("earlier result"));
  }

  choose("menu6");

  EXPECT_EQ(form->windowTitle(), "Corvane");
  EXPECT_EQ(form->fileOpen(), 0);
  EXPECT_EQ(form->pointTable().count(), 0);
  EXPECT_EQ(form->pointTable().row(1).z, 0.0) << "the table is cleared";
  EXPECT_EQ(form->extents().maxZ, 0.0f);
  EXPECT_EQ(form->extents().meanZ, 0.0f);
  EXPECT_FALSE(find<QPushButton>("Command1")->isEnabled());
  EXPECT_FALSE(find<QGroupBox>("Frame1")->isEnabled());
  EXPECT_FALSE(find<QGroupBox>("Frame2")->isEnabled());
  for (const char* label : {"Label3", "Label4", "Label7", "Label8", "Label11", "Label12", "Label18",
                            "Label21", "Label22"}) {
    EXPECT_TRUE(text(label).isEmpty()) << label;
  }
  EXPECT_EQ(scrollBar("HScroll4")->value(), 1);
  EXPECT_EQ(scrollBar("HScroll1")->value(), 255);
  EXPECT_EQ(scrollBar("HScroll2")->value(), 2);
  EXPECT_EQ(find<QListWidget>("List3")->count(), 0);
  for (const char* list : {"List1", "List2", "List4"}) {
    EXPECT_EQ(find<QListWidget>(list)->count(), 1) << list << " keeps its results";
  }
  EXPECT_EQ(form->speechOn(), 1);
  EXPECT_TRUE(find<QCheckBox>("Check1")->isChecked());
  EXPECT_EQ(scrollBar("HScroll3")->value(), 500) << "the plane keeps its range and position";
  EXPECT_TRUE(messages.shown.empty());
}

TEST_F(Close, ThenOpenLoadsTheSecondFile) {
  openPoints(kThreePoints);
  choose("menu6");
  const QString second = openPoints("10,20,30\n", "second.txt");
  EXPECT_EQ(form->windowTitle(), "Corvane  " + second);
  EXPECT_EQ(text("Label3"), "10");
  EXPECT_EQ(text("Label4"), "10");
  EXPECT_EQ(text("Label18"), "30");
  EXPECT_EQ(form->pointTable().count(), 1);
}

TEST_F(Close, WithNoFileLoadedResetsQuietly) {
  choose("menu6");
  EXPECT_TRUE(messages.shown.empty());
  EXPECT_EQ(form->windowTitle(), "Corvane");
  EXPECT_EQ(scrollBar("HScroll4")->value(), 1);
  EXPECT_TRUE(text("Label22").isEmpty());
}

}  // namespace
}  // namespace corvane::testing
