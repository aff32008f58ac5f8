#include "speech/qt_speaker.h"

#include <QTextToSpeech>
#include <QtDebug>

namespace corvane {

QtSpeaker::QtSpeaker(QObject* parent) : QObject(parent) {
  setObjectName(QStringLiteral("DirectSS1"));
}

QtSpeaker::~QtSpeaker() = default;

QString QtSpeaker::engineName() const { return engine_ ? engine_->engine() : QString(); }

QTextToSpeech* QtSpeaker::start(const QString& name) {
  if (!QTextToSpeech::availableEngines().contains(name)) return nullptr;
  auto* tts = new QTextToSpeech(name, this);
  if (tts->state() != QTextToSpeech::Error) return tts;
  qInfo().noquote() << "Speech engine" << name << "is not available:" << tts->errorString();
  delete tts;
  return nullptr;
}

QTextToSpeech* QtSpeaker::engine() {
  if (!tried_) {
    tried_ = true;
    engine_ = start(QStringLiteral("speechd"));
    if (engine_ == nullptr) engine_ = start(QStringLiteral("flite"));
    if (engine_ == nullptr) {
      reportOnce(QStringLiteral("no speech engine could be started"));
    } else {
      connect(engine_, &QTextToSpeech::errorOccurred, this,
              [this](QTextToSpeech::ErrorReason, const QString& problem) { reportOnce(problem); });
    }
  }
  return engine_;
}

void QtSpeaker::reportOnce(const QString& problem) {
  if (reported_) return;
  reported_ = true;
  qWarning().noquote() << "Speech is not heard:" << problem;
}

void QtSpeaker::speak(const QString& sentence) {
  if (QTextToSpeech* tts = engine()) tts->say(sentence);
}

}  // namespace corvane
