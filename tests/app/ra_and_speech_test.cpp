// The "Ra" panel (Ra figure and reference-plane picture) and spoken feedback.
#include <QElapsedTimer>
#include <QListWidget>
#include <QPushButton>
#include <QtTest/QTest>
#include <fstream>

#include "main_window_fixture.h"
#include "plot/picture_box.h"
#include "speech/qt_speaker.h"

namespace corvane::testing {
namespace {

using RaPanel = MainWindowTest;
using Speech = MainWindowTest;

QStringList lines(const QListWidget* list) {
  QStringList result;
  for (int i = 0; i < list->count(); ++i) result << list->item(i)->text();
  return result;
}

// Heights 1, 2, 3, 4 on a 2 x 2 raster; the mean puts the plane at 2.5.
constexpr std::string_view kFourHeights = "0,0,1\n1,0,2\n0,1,3\n1,1,4\n";

TEST_F(RaPanel, CalculateAppendsTheMeanDistanceFromThePlane) {
  openPoints(kFourHeights);
  ASSERT_EQ(scrollBar("HScroll3")->value(), 250);
  find<QPushButton>("Command6")->click();
  EXPECT_EQ(lines(find<QListWidget>("List2")), QStringList{"scan.txt   Ra =  .37037037037037"});
  EXPECT_EQ(form->planeHeight(), 2.5f);
  EXPECT_EQ(form->meanDeviation(), 1.0f);
}

TEST_F(RaPanel, TheFigureIsNeverNegativeWhereverThePlaneStands) {
  openPoints("0,0,10\n1,0,10.5\n2,0,12\n");
  scrollBar("HScroll3")->setRange(0, 2000);
  for (int position : {1100, 0, 2000}) {
    scrollBar("HScroll3")->setValue(position);
    find<QPushButton>("Command6")->click();
  }
  EXPECT_EQ(lines(find<QListWidget>("List2")),
            QStringList({"scan.txt   Ra =  .308641967950044",     // 2.5 / 3 about 11
                         "scan.txt   Ra =  4.01234556127478",     // 32.5 / 3 about 0
                         "scan.txt   Ra =  3.39506184613263"}));  // 27.5 / 3 about 20
}

TEST_F(RaPanel, LinesAccumulateAcrossCloseAndOpenUntilCClearsThem) {
  openPoints(kFourHeights);
  find<QPushButton>("Command6")->click();
  find<QPushButton>("Command6")->click();
  choose("menu6");
  openPoints("0,0,0\n1,1,2\n", "second.txt");
  find<QPushButton>("Command6")->click();
  EXPECT_EQ(lines(find<QListWidget>("List2")),
            QStringList({"scan.txt   Ra =  .37037037037037", "scan.txt   Ra =  .37037037037037",
                         "second.txt   Ra =  .37037037037037"}));
  find<QPushButton>("Command9")->click();
  EXPECT_EQ(find<QListWidget>("List2")->count(), 0);
}

TEST_F(RaPanel, AFailedReloadAppendsNothing) {
  const QString path = openPoints(kFourHeights);
  std::ofstream(path.toStdString()) << "";
  find<QPushButton>("Command6")->click();
  EXPECT_EQ(messages.texts(), QStringList{"An error occured loading file"});
  EXPECT_EQ(find<QListWidget>("List2")->count(), 0);
}

// A raster with heights rising along x, so the plane cuts it in half.
std::string ramp() {
  std::string text;
  for (int y = 0; y < 20; ++y) {
    for (int x = 0; x < 20; ++x) {
      text += std::to_string(x) + "," + std::to_string(y) + "," + std::to_string(x) + "\n";
    }
  }
  return text;
}

TEST_F(RaPanel, ThePlanePictureIsThePlanViewWithoutThePointsAtOrBelowThePlane) {
  openPoints(ramp());
  auto* picture = find<PictureBox>("Picture1");
  scrollBar("HScroll3")->setValue(1000);  // heights 0..19, plane at 10: x = 10 lies on it

  find<QPushButton>("Command5")->click();
  const QImage first = picture->image();
  find<QPushButton>("Command1")->click();
  const QImage planView = picture->image();
  find<QPushButton>("Command5")->click();
  const QImage afterPlanView = picture->image();

  EXPECT_EQ(first, afterPlanView) << "the picture must not depend on what was drawn before";
  int lit = 0;
  for (int y = 0; y < first.height(); ++y) {
    for (int x = 0; x < first.width(); ++x) {
      const QRgb pixel = first.pixel(x, y);
      if (qGray(pixel) == 0) continue;
      ++lit;
      ASSERT_EQ(pixel, planView.pixel(x, y)) << "at " << x << "," << y;
      // Column of x = 10 is floor(10 * 516 / 19.1) = 270; every lit pixel lies to its right.
      ASSERT_GT(x, 271) << "a point at or below the plane was drawn";
    }
  }
  EXPECT_GT(lit, 0);
  EXPECT_EQ(form->planeHeight(), 10.0f);
}

TEST_F(Speech, EveryLabelSpeaksItsSentenceOnlyWhileTheSwitchIsOn) {
  openPoints("1,2,12.5\n-3,7.25,-1\n");
  const std::pair<const char*, QString> sentences[] = {
      {"Label1", "The maximum x coordinate of the data."},
      {"Label2", "The minimum x coordinate of the data."},
      {"Label3", "The maximum x is1"},
      {"Label4", "The minimum x is-3"},
      {"Label5", "The maximum y coordinate of the data."},
      {"Label6", "The minimum y coordinate of the data."},
      {"Label7", "The maximum y is7.25"},
      {"Label8", "The minimum y is2"},
      {"Label9", "The maximum z coordinate of the data."},
      {"Label10", "The minimum z coordinate of the data."},
      {"Label11", "The maximum z is12.5"},
      {"Label12", "The minimum z is-1"},
      {"Label15", "Returns to default brightness settings."},
      {"Label16", "Returns to default point width."},
  };
  for (const auto& [label, sentence] : sentences) {
    QTest::mouseClick(find<QLabel>(label), Qt::LeftButton);
  }
  EXPECT_TRUE(speaker.spoken.isEmpty()) << "the switch is off";

  switchSpeechOn();
  for (const auto& [label, sentence] : sentences) {
    SCOPED_TRACE(label);
    speaker.spoken.clear();
    QTest::mouseClick(find<QLabel>(label), Qt::LeftButton);
    EXPECT_EQ(speaker.spoken, QStringList{sentence});
  }
  speaker.spoken.clear();
  for (const char* silent : {"Label18", "Label19", "Label13", "Label21", "Label22", "Label17"}) {
    QTest::mouseClick(find<QLabel>(silent), Qt::LeftButton);
  }
  EXPECT_TRUE(speaker.spoken.isEmpty()) << "no other label speaks";

  find<QCheckBox>("Check1")->click();
  EXPECT_EQ(form->speechOn(), 0);
  QTest::mouseClick(find<QLabel>("Label9"), Qt::LeftButton);
  EXPECT_TRUE(speaker.spoken.isEmpty());
}

TEST_F(Speech, AValueLabelWithNothingLoadedSpeaksThePhraseAlone) {
  switchSpeechOn();
  QTest::mouseClick(find<QLabel>("Label11"), Qt::LeftButton);
  EXPECT_EQ(speaker.spoken, QStringList{"The maximum z is"});
}

TEST_F(Speech, ValueSentencesCarryTheUsersDecimalSeparator) {
  QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
  openPoints("0,0,12.5\n");
  QLocale::setDefault(QLocale::c());
  switchSpeechOn();
  QTest::mouseClick(find<QLabel>("Label11"), Qt::LeftButton);
  EXPECT_EQ(speaker.spoken, QStringList{"The maximum z is12,5"});
}

TEST_F(Speech, EveryControlHasAnAccessibleNameAndValueLabelsDescribeTheirValue) {
  openPoints("0,0,12.5\n");
  for (QWidget* widget : form->centralWidget()->findChildren<QWidget*>()) {
    if (widget->objectName().isEmpty() || widget->objectName().startsWith("qt_")) continue;
    EXPECT_FALSE(widget->accessibleName().isEmpty()) << widget->objectName().toStdString();
  }
  EXPECT_EQ(find<QLabel>("Label11")->accessibleName(), "Maximum Z value");
  EXPECT_EQ(find<QLabel>("Label11")->accessibleDescription(), "12.5");
}

// Whatever the machine has (a speech daemon that answers, one that hangs, no sound server, no
// engine at all), speaking returns at once and the speaker stops within a bounded time.
TEST(RealSpeaker, NeverHoldsUpTheWindowWhateverTheEngineDoes) {
  QElapsedTimer clock;
  clock.start();
  {
    QtSpeaker speaker;
    EXPECT_EQ(speaker.objectName(), "DirectSS1");
    speaker.speak(QStringLiteral("The maximum z is12.5"));
    speaker.speak(QStringLiteral("Returns to default point width."));
    EXPECT_LT(clock.elapsed(), 50) << "speak() waited for the engine";
    QTest::qWait(50);
  }
  EXPECT_LT(clock.elapsed(), 3000) << "stopping the speaker waited too long";
}

QStringList warnings;
void keepWarnings(QtMsgType type, const QMessageLogContext&, const QString& message) {
  if (type == QtWarningMsg) warnings << message;
}

TEST(RealSpeaker, LogsEverySentenceThatIsNotHeardWithoutFloodingTheLog) {
  warnings.clear();
  const QtMessageHandler previous = qInstallMessageHandler(keepWarnings);
  {
    QtSpeaker speaker({QStringLiteral("no-such-engine")});
    speaker.speak(QStringLiteral("The maximum z coordinate of the data."));
    EXPECT_TRUE(QTest::qWaitFor([] { return warnings.size() == 1; }, 5000));
    for (int i = 0; i < 3; ++i) speaker.speak(QStringLiteral("Returns to default point width."));
    EXPECT_EQ(warnings.size(), 1) << "held back until the interval is over";
    EXPECT_TRUE(QTest::qWaitFor([] { return warnings.size() == 2; }, 5000));
  }
  qInstallMessageHandler(previous);
  ASSERT_EQ(warnings.size(), 2) << warnings.join('\n').toStdString();
  EXPECT_EQ(warnings[0],
            "Speech not heard: no speech engine could be started (\"The maximum z coordinate of "
            "the data.\")");
  EXPECT_TRUE(warnings[1].startsWith("Speech not heard: 3 more since the last warning"))
      << warnings[1].toStdString();
}

}  // namespace
}  // namespace corvane::testing
