// Speech as the user hears it: the real main window and the real speaker with each Qt engine,
// on a private PulseAudio whose only output is a null sink, recorded from its monitor. Every
// sentence a user can make the program say must sound, for about as long as its words take,
// soon after the click, and no click may hold up the window.
//
// Slow and needs the packages of `scripts/setup --speech`: runs only when CORVANE_SPEECH_AUDIO
// is 1, as `scripts/test --speech` sets it.
#include <gtest/gtest.h>

#include <QAction>
#include <QCheckBox>
#include <QLabel>
#include <QtTest/QTest>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>
#include <vector>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include "app/form1.h"
#include "speech/qt_speaker.h"
#include "speech/sound_rig.h"
#include "support/fakes.h"
#include "support/temp_dir.h"

namespace corvane::testing {
namespace {

constexpr int kSoundLevel = 328;         // -40 dBFS: the null sink's silence is exact zeros
constexpr double kSentenceOverMs = 800;  // this much silence ends a sentence
constexpr double kHandlerBudgetMs = 50;  // every click handler returns within this
constexpr double kFirstSoundMs = 8000;   // the first sentence waits for the engine to start
constexpr double kSoundMs = 500;         // later ones start within this of the click,
constexpr double kRefusalMs = 250;       // and this much later for each attempt flite refused

// Values chosen so that the value labels' sentences include ones whose flite wave is an exact
// number of chunks long ("The maximum z is6.008", "The minimum z is-5.1091", "The maximum x
// is39.9"), which Qt 6.4's flite engine refuses.
constexpr std::string_view kPoints = "0,0,6.008\n39.9,11,-5.1091\n";

struct Heard {
  QString sentence;
  double handlerMs = 0;
  double latencyMs = -1;  // click to first sound; -1 when nothing sounded
  double lengthMs = 0;    // first to last sound
  double peakDb = -100;
  int refusals = 0;  // attempts flite refused before this sentence played
};

// Spoken words: runs of letters and runs of digits ("is12.5" is "is twelve point five").
int wordsIn(const QString& sentence) {
  int words = 0;
  QChar::Category previous = QChar::Separator_Space;
  for (const QChar c : sentence) {
    const bool letter = c.isLetter();
    const bool digit = c.isDigit();
    if ((letter && previous != QChar::Letter_Lowercase) ||
        (digit && previous != QChar::Number_DecimalDigit)) {
      ++words;
    }
    previous = letter  ? QChar::Letter_Lowercase
               : digit ? QChar::Number_DecimalDigit
                       : QChar::Separator_Space;
  }
  return words;
}

// What the program logs, kept for the checks and still printed.
QStringList logged;
QtMessageHandler printLog = nullptr;
void keepLog(QtMsgType type, const QMessageLogContext& context, const QString& message) {
  logged << message;
  if (printLog != nullptr) printLog(type, context, message);
}

class AudibleSpeech : public ::testing::Test {
 protected:
  void SetUp() override {
    if (qEnvironmentVariable("CORVANE_SPEECH_AUDIO") != QLatin1String("1"))
      GTEST_SKIP() << "needs a sound server and speech-dispatcher: run scripts/test --speech";
    logged.clear();
    previousHandler_ = qInstallMessageHandler(keepLog);
    printLog = previousHandler_;
  }
  void TearDown() override {
    if (previousHandler_ != nullptr) qInstallMessageHandler(previousHandler_);
  }

  // Waits for what a click started to sound and end; measures it on the recording.
  Heard listen(const SoundRig& rig, double clickedAt, double soundBudgetMs) {
    Heard heard;
    double lastSound = -1;
    auto scan = [&] {
      const auto& samples = rig.samples();
      int peak = 0;
      for (std::size_t i = rig.sampleAt(clickedAt); i < samples.size(); ++i) {
        const int level = std::abs(static_cast<int>(samples[i]));
        if (level < kSoundLevel) continue;
        if (heard.latencyMs < 0) heard.latencyMs = rig.timeOfSample(i) - clickedAt;
        lastSound = rig.timeOfSample(i);
        peak = std::max(peak, level);
      }
      if (peak > 0) heard.peakDb = 20 * std::log10(peak / 32768.0);
      const double recordedTo = rig.timeOfSample(samples.size());
      // Waits past the budget, so that a late sound is measured rather than missed.
      if (heard.latencyMs < 0) return recordedTo > clickedAt + soundBudgetMs + 3000;
      return recordedTo > lastSound + kSentenceOverMs;
    };
    (void)QTest::qWaitFor(scan, static_cast<int>(soundBudgetMs + 20000));  // measured below
    if (heard.latencyMs >= 0) heard.lengthMs = lastSound - (clickedAt + heard.latencyMs);
    return heard;
  }

  // Every sentence, with the engine named, from the first click on (before the engine is up).
  void speakEverything(const QStringList& engines, bool withSpeechDispatcher) {
    SoundRig rig;
    ASSERT_EQ(rig.startPulse(), "");
    if (withSpeechDispatcher) {
      ASSERT_EQ(rig.startSpeechDispatcher(), "");
    }
    ASSERT_EQ(rig.startRecording(), "");

    TempDir files;
    EventLog log;
    FakeFileDialog dialog{log};
    FakeMessageBoxes messages{log};
    QtSpeaker speaker(engines);
    Form1 form(dialog, messages, speaker);
    form.show();
    form.findChild<QCheckBox*>(QStringLiteral("Check1"))->click();
    ASSERT_EQ(form.speechOn(), 1);

    std::vector<Heard> all;
    auto measure = [&](const QString& sentence, double clickedAt, double handlerMs, double budget) {
      const qsizetype loggedBefore = logged.size();
      Heard heard = listen(rig, clickedAt, budget);
      heard.sentence = sentence;
      heard.handlerMs = handlerMs;
      for (qsizetype line = loggedBefore; line < logged.size(); ++line)
        heard.refusals += logged[line].contains(QLatin1String("refused")) ? 1 : 0;
      all.push_back(heard);
    };
    auto speakByClick = [&](const QString& labelName, const QString& sentence, double budget) {
      const double at = static_cast<double>(rig.now());
      QTest::mouseClick(form.findChild<QLabel*>(labelName), Qt::LeftButton);
      measure(sentence, at, static_cast<double>(rig.now()) - at, budget);
    };
    auto speakByCommand = [&](const char* menuItem, const QString& sentence) {
      const double at = static_cast<double>(rig.now());
      form.findChild<QAction*>(QString::fromLatin1(menuItem))->trigger();
      measure(sentence, at, static_cast<double>(rig.now()) - at, kSoundMs);
    };

    // Before the engine is ready.
    ASSERT_TRUE(speaker.engineName().isEmpty());
    speakByClick(QStringLiteral("Label9"), QStringLiteral("The maximum z coordinate of the data."),
                 kFirstSoundMs);
    EXPECT_EQ(speaker.engineName(), engines.front());

    dialog.choices << QString::fromStdString(files.write("scan.txt", kPoints).string());
    form.findChild<QAction*>(QStringLiteral("menu2"))->trigger();
    ASSERT_EQ(form.fileOpen(), 1);
    const std::pair<const char*, const char*> labels[] = {
        {"Label1", "The maximum x coordinate of the data."},
        {"Label2", "The minimum x coordinate of the data."},
        {"Label3", "The maximum x is39.9"},
        {"Label4", "The minimum x is0"},
        {"Label5", "The maximum y coordinate of the data."},
        {"Label6", "The minimum y coordinate of the data."},
        {"Label7", "The maximum y is11"},
        {"Label8", "The minimum y is0"},
        {"Label9", "The maximum z coordinate of the data."},
        {"Label10", "The minimum z coordinate of the data."},
        {"Label11", "The maximum z is6.008"},
        {"Label12", "The minimum z is-5.1091"},
        {"Label15", "Returns to default brightness settings."},
        {"Label16", "Returns to default point width."},
    };
    for (const auto& [label, sentence] : labels) {
      speakByClick(QString::fromLatin1(label), QString::fromLatin1(sentence), kSoundMs);
    }
    // The two error paths: Open while a file is loaded, and a file that cannot be read.
    speakByCommand("menu2", QStringLiteral("A file is already open. please close the file first."));
    form.findChild<QAction*>(QStringLiteral("menu6"))->trigger();
    dialog.choices << QString::fromStdString(files.write("bad.txt", "1,2\n").string());
    speakByCommand("menu2", QStringLiteral("An error occured loading file."));
    EXPECT_EQ(messages.texts(),
              QStringList({"Please close the file first.", "An error occured loading file"}));

    // A second sentence while one is spoken cuts it off and is heard in full.
    const Heard alone = all[14];  // Label16 on its own
    const double firstAt = static_cast<double>(rig.now());
    QTest::mouseClick(form.findChild<QLabel*>(QStringLiteral("Label1")), Qt::LeftButton);
    QTest::qWait(600);
    const double secondAt = static_cast<double>(rig.now());
    QTest::mouseClick(form.findChild<QLabel*>(QStringLiteral("Label16")), Qt::LeftButton);
    const Heard both = listen(rig, firstAt, kSoundMs);
    const double afterSecond = firstAt + both.latencyMs + both.lengthMs - secondAt;

    std::printf("engine %s\n", qPrintable(speaker.engineName()));
    std::printf("  %-55s %8s %8s %8s %8s %s\n", "sentence", "handler", "latency", "length", "peak",
                "refused");
    double longestHandler = 0;
    for (const Heard& heard : all) {
      std::printf("  %-55s %6.1fms %6.0fms %6.0fms %5.1fdB %d\n",
                  qPrintable(QLatin1Char('"') + heard.sentence + QLatin1Char('"')), heard.handlerMs,
                  heard.latencyMs, heard.lengthMs, heard.peakDb, heard.refusals);
      longestHandler = std::max(longestHandler, heard.handlerMs);
    }
    std::printf("  longest handler %.1f ms; cut off after 600 ms, then %.0f ms (alone: %.0f ms)\n",
                longestHandler, afterSecond, alone.latencyMs + alone.lengthMs);
    for (const QString& line : std::as_const(logged)) {
      if (line.contains(QLatin1String("speaking it again")))
        std::printf("  %s\n", qPrintable(line));
    }
    std::fflush(stdout);

    for (std::size_t i = 0; i < all.size(); ++i) {
      const Heard& heard = all[i];
      SCOPED_TRACE(heard.sentence.toStdString());
      const int words = wordsIn(heard.sentence);
      EXPECT_LE(heard.handlerMs, kHandlerBudgetMs);
      ASSERT_GE(heard.latencyMs, 0) << "not heard";
      EXPECT_LE(heard.latencyMs, (i == 0 ? kFirstSoundMs : kSoundMs) + kRefusalMs * heard.refusals);
      EXPECT_GE(heard.peakDb, -30.0);
      EXPECT_GE(heard.lengthMs, 150.0 * words);
      EXPECT_LE(heard.lengthMs, 900.0 * words + 500);
    }
    EXPECT_NEAR(afterSecond, alone.latencyMs + alone.lengthMs, 0.25 * alone.lengthMs);
    for (const QString& line : std::as_const(logged)) {
      EXPECT_FALSE(line.startsWith(QLatin1String("Speech not heard"))) << line.toStdString();
    }
  }

 private:
  QtMessageHandler previousHandler_ = nullptr;
};

TEST_F(AudibleSpeech, EverySentenceIsHeardWithSpeechDispatcher) {
  speakEverything({QStringLiteral("speechd")}, true);
}

TEST_F(AudibleSpeech, EverySentenceIsHeardWithFlite) {
  speakEverything({QStringLiteral("flite")}, false);
}

// A speech daemon that takes the connection and never answers, and no sound server: the
// window goes on at once, every lost sentence is logged, and the program can still end.
TEST_F(AudibleSpeech, AStuckDaemonNeverHoldsUpTheWindow) {
  SoundRig rig;  // its environment, and no sound server started
  TempDir files;
  const std::string socketPath = (files.path() / "stuck.sock").string();
  const int listener = ::socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  ASSERT_LT(socketPath.size(), sizeof(address.sun_path));
  std::copy(socketPath.begin(), socketPath.end(), address.sun_path);
  ASSERT_EQ(::bind(listener, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
  ASSERT_EQ(::listen(listener, 8), 0);
  qputenv("SPEECHD_ADDRESS", QByteArray("unix_socket:") + QByteArray::fromStdString(socketPath));

  double stopping = 0;
  {
    EventLog log;
    FakeFileDialog dialog{log};
    FakeMessageBoxes messages{log};
    auto speaker = std::make_unique<QtSpeaker>();
    auto form = std::make_unique<Form1>(dialog, messages, *speaker);
    form->show();
    form->findChild<QCheckBox*>(QStringLiteral("Check1"))->click();
    double longest = 0;
    for (const char* label : {"Label9", "Label11", "Label16"}) {
      const double at = static_cast<double>(rig.now());
      QTest::mouseClick(form->findChild<QLabel*>(QString::fromLatin1(label)), Qt::LeftButton);
      longest = std::max(longest, static_cast<double>(rig.now()) - at);
    }
    EXPECT_LE(longest, kHandlerBudgetMs);
    EXPECT_TRUE(QTest::qWaitFor(
        [] {
          return std::any_of(logged.begin(), logged.end(), [](const QString& line) {
            return line.startsWith(QLatin1String("Speech not heard"));
          });
        },
        30000))
        << "the lost sentence was not logged";
    form.reset();
    const double at = static_cast<double>(rig.now());
    speaker.reset();
    stopping = static_cast<double>(rig.now()) - at;
    std::printf("stuck daemon: longest click handler %.1f ms, speaker stopped in %.0f ms\n",
                longest, stopping);
  }
  // The listener stays open: the engine left behind waits on it until the process ends.
  EXPECT_LT(stopping, 3000);
}

}  // namespace
}  // namespace corvane::testing
