#include "speech/qt_speaker.h"

#include <QDeadlineTimer>
#include <QThread>
#include <QtDebug>
#include <chrono>
#include <utility>

#include "speech/failure_log.h"
#include "speech/speech_worker.h"

namespace corvane {

namespace {

using namespace std::chrono_literals;

constexpr auto kWarningInterval = 3s;
// How long a sentence may take from the request to the end of its sound before it counts as
// not heard: time for the engine to start (speech-dispatcher takes a few seconds on a cold
// start) plus a generous speaking time per character.
constexpr auto kStartBudget = 8s;
constexpr auto kBudgetPerCharacter = 150ms;
// How long the program waits at exit for an engine that is stuck in a call to its daemon.
constexpr auto kStopBudget = 2s;

}  // namespace

QStringList QtSpeaker::defaultEngines() {
  return {QStringLiteral("speechd"), QStringLiteral("flite")};
}

QtSpeaker::QtSpeaker(QStringList engines, QObject* parent)
    : QObject(parent),
      mailbox_(std::make_shared<SentenceMailbox>()),
      thread_(new QThread),
      worker_(new SpeechWorker(std::move(engines), mailbox_)),
      failures_(new FailureLog(kWarningInterval, this)) {
  setObjectName(QStringLiteral("DirectSS1"));
  thread_->setObjectName(QStringLiteral("speech"));
  worker_->moveToThread(thread_);
  connect(thread_, &QThread::started, worker_, &SpeechWorker::start);
  connect(thread_, &QThread::finished, worker_, &QObject::deleteLater);
  connect(worker_, &SpeechWorker::engineReady, this, &QtSpeaker::ready);
  connect(worker_, &SpeechWorker::engineUnavailable, this, &QtSpeaker::unavailable);
  connect(worker_, &SpeechWorker::finished, this, &QtSpeaker::finished);
  connect(worker_, &SpeechWorker::failed, this, &QtSpeaker::failed);
  answerTimer_.setSingleShot(true);
  connect(&answerTimer_, &QTimer::timeout, this, &QtSpeaker::noAnswer);
  thread_->start();
}

QtSpeaker::~QtSpeaker() {
  mailbox_->close();
  thread_->quit();
  if (thread_->wait(QDeadlineTimer(kStopBudget))) {
    delete thread_;
  } else {
    // The engine is blocked in a call that does not return (a daemon that accepts connections
    // but never answers). Destroying a running thread would abort the program, so the thread
    // and its engine are left to end with the process.
    qWarning("Speech engine does not stop; leaving it behind");
  }
}

void QtSpeaker::speak(const QString& sentence) {
  if (unavailable_) {
    failures_->report(unavailableProblem_, sentence);
    return;
  }
  // The previous sentence, if still unfinished, is cut off by this one, which is not a loss.
  awaitedId_ = ++lastId_;
  awaitedSentence_ = sentence;
  answerTimer_.start(kStartBudget + kBudgetPerCharacter * sentence.size());
  mailbox_->put({awaitedId_, sentence});
  QMetaObject::invokeMethod(worker_, &SpeechWorker::speakWaiting, Qt::QueuedConnection);
}

void QtSpeaker::ready(const QString& engine) {
  engineName_ = engine;
  qInfo().noquote() << "Speech engine" << engine << "is ready";
  emit engineReady(engine);
}

void QtSpeaker::unavailable(const QString& problem) {
  unavailable_ = true;
  unavailableProblem_ = problem;
  if (awaitedId_ != 0) failed(awaitedId_, problem);
}

void QtSpeaker::finished(quint64 id) {
  if (id != awaitedId_) return;
  awaitedId_ = 0;
  answerTimer_.stop();
}

void QtSpeaker::failed(quint64 id, const QString& problem) {
  if (id != awaitedId_) return;
  awaitedId_ = 0;
  answerTimer_.stop();
  failures_->report(problem, awaitedSentence_);
}

void QtSpeaker::noAnswer() {
  if (awaitedId_ == 0) return;
  failed(awaitedId_, engineName_.isEmpty()
                         ? QStringLiteral("the speech engine did not start in time")
                         : QStringLiteral("speech engine %1 did not finish the sentence in time")
                               .arg(engineName_));
}

}  // namespace corvane
