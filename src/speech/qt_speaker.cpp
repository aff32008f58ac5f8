#include "speech/qt_speaker.h"

#include <QTextToSpeech>
#include <QtDebug>

namespace corvane {

QtSpeaker::QtSpeaker(QObject* parent) : QObject(parent) {
  setObjectName(QStringLiteral("DirectSS1"));
}

QtSpeaker::~QtSpeaker() = default;

QTextToSpeech* QtSpeaker::engine() {
  if (failed_) return nullptr;
  if (engine_ == nullptr) {
    engine_ = new QTextToSpeech(this);
    if (engine_->state() == QTextToSpeech::Error) {
      qWarning().noquote() << "Speech is not available:" << engine_->errorString()
                           << "- sentences will not be spoken.";
      failed_ = true;
      return nullptr;
    }
  }
  return engine_;
}

void QtSpeaker::speak(const QString& sentence) {
  if (QTextToSpeech* tts = engine()) tts->say(sentence);
}

}  // namespace corvane
