#include "speech/speech_worker.h"

#include <QMutexLocker>
#include <QTextToSpeech>
#include <QtDebug>
#include <array>
#include <utility>

namespace corvane {

namespace {

// Qt's flite engine hands flite's wave to the sound server in chunks of 320 samples and takes
// a chunk of no samples, which flite sends last when the wave is an exact number of chunks
// long, for a refused write: it reports "Audio streaming error." and discards the whole
// sentence, already synthesised and waiting in the buffer. The length depends on the text
// alone, so the same sentence fails every time. Speaking it again a fraction of a percent
// faster or slower gives a wave of another length, which plays; the change is not audible.
constexpr std::array<double, 3> kFliteRates = {0.0, 0.01, -0.01};

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
    : engines_(std::move(engines)), mailbox_(std::move(mailbox)) {}

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
  say();
}

void SpeechWorker::say() {
  sounding_ = false;
  if (engine_->engine() == QLatin1String("flite")) engine_->setRate(kFliteRates.at(attempt_));
  engine_->say(current_.sentence);
}

void SpeechWorker::stateChanged(int state) {
  if (current_.id == 0) return;
  if (state == QTextToSpeech::Speaking) {
    sounding_ = true;
  } else if (state == QTextToSpeech::Ready && sounding_) {
    // Played to its end. A Ready before the sentence started is what is left of the one it
    // cut off or of a refused attempt.
    emit finished(std::exchange(current_, {}).id);
  }
}

void SpeechWorker::errorOccurred(const QString& problem) {
  if (current_.id == 0) return;
  if (engine_->engine() == QLatin1String("flite") &&
      attempt_ + 1 < static_cast<int>(kFliteRates.size())) {
    qInfo().noquote() << "Speech engine flite refused the sentence (" << problem
                      << "); speaking it again at another rate";
    ++attempt_;
    say();
    return;
  }
  emit failed(std::exchange(current_, {}).id, problem);
}

}  // namespace corvane
