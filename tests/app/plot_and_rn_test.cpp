// The plan-view Draw and the Rn3d panel's Calculate, as the user sees them.
#include <QListWidget>
#include <QPushButton>
#include <fstream>

#include "main_window_fixture.h"
#include "plot/picture_box.h"

namespace corvane::testing {
namespace {

using PlanViewDraw = MainWindowTest;
using RnCalculate = MainWindowTest;

// Three scan lines of x = 0..10: one rough spot in the first, a flat second, an alternating
// third.
std::string threeScanLines() {
  std::string text;
  for (int line = 0; line < 3; ++line) {
    for (int x = 0; x <= 10; ++x) {
      const int z = line == 0 ? (x == 2) : line == 1 ? 4 : x % 2;
      text += std::to_string(x) + "," + std::to_string(line) + "," + std::to_string(z) + "\n";
    }
  }
  return text;
}

int litPixels(const QImage& image) {
  int lit = 0;
  for (int y = 0; y < image.height(); ++y) {
    const auto* row = reinterpret_cast<const QRgb*>(image.constScanLine(y));
    for (int x = 0; x < image.width(); ++x) lit += qGray(row[x]) > 0;
  }
  return lit;
}

QStringList lines(const QListWidget* list) {
  QStringList result;
  for (int i = 0; i < list->count(); ++i) result << list->item(i)->text();
  return result;
}

TEST_F(PlanViewDraw, RereadsTheFileSoAnEditOnDiskShows) {
  const QString path = openPoints("0,0,0\n10,10,5\n");
  find<QPushButton>("Command1")->click();
  const QImage before = find<PictureBox>("Picture1")->image();
  EXPECT_GT(litPixels(before), 0);

  std::ofstream(path.toStdString()) << "0,0,0\n20,10,8\n5,5,2\n";
  find<QPushButton>("Command1")->click();
  EXPECT_EQ(text("Label3"), "20");
  EXPECT_EQ(text("Label11"), "8");
  EXPECT_EQ(form->pointTable().count(), 3);
  EXPECT_NE(find<PictureBox>("Picture1")->image(), before);
}

TEST_F(PlanViewDraw, DrawsHighPointsWhiteAtTheTopAndTheLowestBlack) {
  openPoints("0,0,0\n10,10,5\n10,0,5\n");
  find<QPushButton>("Command1")->click();
  const QImage image = find<PictureBox>("Picture1")->image();
  EXPECT_EQ(image.pixel(510, 0), qRgb(255, 255, 255))  // column floor(10 * 516 / 10.1)
      << "largest x and y: top right";
  EXPECT_EQ(litPixels(image), 2 * 4) << "two white 2x2 dots; the lowest point is black";
}

TEST_F(PlanViewDraw, DefaultButtonsOnlyMoveTheirScrollBars) {
  openPoints("0,0,0\n10,10,5\n");
  find<QPushButton>("Command1")->click();
  const QImage drawn = find<PictureBox>("Picture1")->image();
  scrollBar("HScroll1")->setValue(40);
  scrollBar("HScroll2")->setValue(5);
  find<QPushButton>("Command3")->click();
  find<QPushButton>("Command2")->click();
  EXPECT_EQ(scrollBar("HScroll1")->value(), 255);
  EXPECT_EQ(scrollBar("HScroll2")->value(), 2);
  EXPECT_EQ(find<PictureBox>("Picture1")->image(), drawn) << "nothing is redrawn";
}

TEST_F(PlanViewDraw, AFailedReloadLeavesThePictureClearWithOnlyTheLoadersMessage) {
  const QString path = openPoints("0,0,0\n10,10,5\n");
  find<QPushButton>("Command1")->click();
  std::ofstream(path.toStdString()) << "0,0,zero\n";
  find<QPushButton>("Command1")->click();
  EXPECT_EQ(messages.texts(), QStringList{"An error occured loading file"});
  EXPECT_EQ(litPixels(find<PictureBox>("Picture1")->image()), 0);
  EXPECT_FALSE(find<QPushButton>("Command1")->isEnabled());
  EXPECT_EQ(form->fileOpen(), 0);
}

TEST_F(PlanViewDraw, DegenerateExtentsStillDraw) {
  for (const char* content : {"3,3,3\n", "1,0,2\n1,5,2\n", "0,4,1\n9,4,7\n"}) {
    SCOPED_TRACE(content);
    choose("menu6");
    openPoints(content);
    find<QPushButton>("Command1")->click();
    EXPECT_TRUE(messages.shown.empty());
    EXPECT_GT(litPixels(find<PictureBox>("Picture1")->image()), 0);
  }
}

TEST_F(RnCalculate, FillsTheThreeListsFromTheScanLines) {
  openPoints(threeScanLines());
  find<QPushButton>("Command10")->click();
  EXPECT_EQ(lines(find<QListWidget>("List1")), QStringList{"scan.txt   R =  .6666667"});
  EXPECT_EQ(lines(find<QListWidget>("List3")),
            QStringList({" 1 -  .3333333", " 2 -  0", " 3 -  1"}));
  EXPECT_EQ(lines(find<QListWidget>("List4")), QStringList{"scan.txt     0"});
  EXPECT_EQ(form->meanRn(), (1.0f / 3 + 1.0f) / 2);
  EXPECT_GT(litPixels(find<PictureBox>("Picture1")->image()), 0) << "the plan view is redrawn";

  const QImage strip = find<PictureBox>("Picture2")->image();
  // Profile 2 (Rn 0) stands at height n - 2 = 1 of n + 0.1: row floor(477 / 3.1).
  EXPECT_EQ(strip.pixel(0, 153), qRgb(255, 255, 0));
}

TEST_F(RnCalculate, AppendsOnEveryCalculationAndCClearsTheLists) {
  openPoints(threeScanLines());
  find<QPushButton>("Command10")->click();
  find<QPushButton>("Command10")->click();
  EXPECT_EQ(find<QListWidget>("List1")->count(), 2);
  EXPECT_EQ(find<QListWidget>("List4")->count(), 2);
  EXPECT_EQ(find<QListWidget>("List3")->count(), 3) << "the per-profile list is refilled";

  find<QPushButton>("Command7")->click();
  for (const char* list : {"List1", "List3", "List4"}) {
    EXPECT_EQ(find<QListWidget>(list)->count(), 0) << list;
  }
  EXPECT_NE(litPixels(find<PictureBox>("Picture2")->image()), 0) << "c leaves the picture";
}

TEST_F(RnCalculate, UsesTheSamplingLengthOnTheScrollBar) {
  openPoints(threeScanLines());
  scrollBar("HScroll4")->setValue(12);
  EXPECT_EQ(text("Label22"), "12");
  find<QPushButton>("Command10")->click();
  EXPECT_EQ(lines(find<QListWidget>("List3")), QStringList({" 1 -  0", " 2 -  0", " 3 -  0"}))
      << "no scan line reaches a sampling length of 12";
  EXPECT_EQ(lines(find<QListWidget>("List1")), QStringList{"scan.txt   R =  0"});
}

TEST_F(RnCalculate, TheThreeProfileLineFollowsTheDecimalSeparator) {
  std::string text;
  for (int line = 1; line <= 150; ++line) {
    for (int x = 0; x <= 3; ++x) text += std::to_string(x) + ",0," + (x == 3 ? "1.5\n" : "0\n");
  }
  openPoints(text);
  QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
  find<QPushButton>("Command10")->click();
  QLocale::setDefault(QLocale::c());
  EXPECT_EQ(lines(find<QListWidget>("List4")), QStringList{"scan.txt     1,5"});
}

TEST_F(RnCalculate, AFileThatDropsAtEveryOtherPointGivesFiftyThousandProfiles) {
  std::string text;
  for (int i = 0; i < 50000; ++i) text += "0,0,0\n5,0,1\n";
  openPoints(text);
  find<QPushButton>("Command10")->click();
  const auto* list = find<QListWidget>("List3");
  ASSERT_EQ(list->count(), 50000);
  EXPECT_EQ(list->item(49999)->text(), " 50000 -  1");
}

}  // namespace
}  // namespace corvane::testing
