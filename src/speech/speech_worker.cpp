#include "speech/speech_worker.h"

#include <QMutexLocker>
#include <QTextToSpeech>
#include <QtDebug>
#include <array>
#include <chrono>
#include <utility>

namespace corvane {

namespace {

// Qt's flite engine hands flite's wave to the sound server in chunks of 320 samples, and a
// flite wave is a whole number of 80-sample frames long. When it is a whole number of chunks
// long, flite ends with a chunk of no samples, which the engine takes for a refused write: it
// reports "Audio streaming error." and discards the whole sentence, already synthesised and
// waiting in the sound server's buffer. The length depends on the text and the rate alone, so
// about one sentence in four fails, every time it is spoken. Speaking it again a little faster
// or slower gives a wave of another length; the next rate of the list is tried until one plays
// (for the program's sentences, at most the fourth), and the rate that played is remembered.
// The change is at most a few percent of the speaking speed.
constexpr std::array<double, 8> kFliteRates = {0.0, 0.01, -0.01, 0.02, -0.02, 0.03, 0.04, -0.03};

// After a refusal the flite engine deletes its audio output while the sound server may still
// call back into it; a sentence started in the next few milliseconds makes that call land on
// the deleted object and crashes the program. Nothing is said until this long after an error.
constexpr std::chrono::milliseconds kFliteSettle{150};

}  // namespace

void SentenceMailbox::put(Request request) {
  QMutexLocker lock(&mutex_);
  waiting_ = std::move(request);
}

SentenceMailbox::Request SentenceMailbox::take() {
  QMutexLocker lock(&mutex_);
  return std::exchange(waiting_, Request{});
}

SpeechWorker::SpeechWorker(QStringList engines, std::shared_ptr<SentenceMailbox> mailbox)
    : engines_(std::move(engines)), mailbox_(std::move(mailbox)) {
  settle_.setSingleShot(true);
  connect(&settle_, &QTimer::timeout, this, &SpeechWorker::say);
}

SpeechWorker::~SpeechWorker() = default;

QTextToSpeech* SpeechWorker::open(const QString& name) {
  if (!QTextToSpeech::availableEngines().contains(name)) return nullptr;
  auto* tts = new QTextToSpeech(name, this);
  if (tts->state() != QTextToSpeech::Error) return tts;
  qInfo().noquote() << "Speech engine" << name << "is not available:" << tts->errorString();
  delete tts;
  return nullptr;
}

void SpeechWorker::start() {
  for (const QString& name : std::as_const(engines_)) {
    engine_ = open(name);
    // An engine that took longer to start than the speaker lived is not used.
    if (mailbox_->closed()) return;
    if (engine_ != nullptr) break;
  }
  started_ = true;
  if (engine_ == nullptr) {
    emit engineUnavailable(QStringLiteral("no speech engine could be started"));
    return;
  }
  connect(engine_, &QTextToSpeech::stateChanged, this,
          [this](QTextToSpeech::State state) { stateChanged(state); });
  connect(engine_, &QTextToSpeech::errorOccurred, this,
          [this](QTextToSpeech::ErrorReason, const QString& problem) { errorOccurred(problem); });
  emit engineReady(engine_->engine());
  // A sentence asked for while the engine was starting is spoken now.
  speakWaiting();
}

void SpeechWorker::speakWaiting() {
  if (!started_ || engine_ == nullptr) return;
  SentenceMailbox::Request request = mailbox_->take();
  if (request.id == 0) return;
  current_ = std::move(request);
  attempt_ = 0;
  rateIndex_ = goodRates_.value(current_.sentence, 0);
  say();
}

void SpeechWorker::say() {
  if (current_.id == 0) return;
  const std::chrono::milliseconds sinceError(sinceError_.isValid() ? sinceError_.elapsed()
                                                                   : kFliteSettle.count());
  if (sinceError < kFliteSettle) {
    settle_.start(kFliteSettle - sinceError);
    return;
  }
  sounding_ = false;
  if (engine_->engine() == QLatin1String("flite")) engine_->setRate(kFliteRates.at(rateIndex_));
  engine_->say(current_.sentence);
}

void SpeechWorker::stateChanged(int state) {
  if (current_.id == 0) return;
  if (state == QTextToSpeech::Speaking) {
    sounding_ = true;
  } else if (state == QTextToSpeech::Ready && sounding_) {
    // Played to its end. A Ready before the sentence started is what is left of the one it
    // cut off or of a refused attempt.
    if (rateIndex_ != 0) goodRates_.insert(current_.sentence, rateIndex_);
    emit finished(std::exchange(current_, {}).id);
  }
}

void SpeechWorker::errorOccurred(const QString& problem) {
  if (engine_->engine() == QLatin1String("flite")) sinceError_.start();
  if (current_.id == 0) return;
  // flite refuses a sentence once it has started to play it (see kFliteRates); a failure
  // before any sound (no sound server, no output device) does not change with the rate.
  if (engine_->engine() == QLatin1String("flite") && sounding_ &&
      attempt_ + 1 < static_cast<int>(kFliteRates.size())) {
    ++attempt_;
    sounding_ = false;  // the Ready that follows the refusal does not end the sentence
    rateIndex_ = (rateIndex_ + 1) % static_cast<int>(kFliteRates.size());
    qInfo().noquote() << QStringLiteral(
                             "Speech engine flite refused \"%1\" (%2); speaking it again at rate "
                             "%3")
                             .arg(current_.sentence, problem)
                             .arg(kFliteRates.at(rateIndex_));
    say();
    return;
  }
  emit failed(std::exchange(current_, {}).id, problem);
}

}  // namespace corvane
