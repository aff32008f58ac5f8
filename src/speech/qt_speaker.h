#pragma once

#include <QObject>

#include "speech/speaker.h"

class QTextToSpeech;

namespace corvane {

// Speaks through Qt's text-to-speech engines. The engine is started on the first sentence, so a
// missing or slow engine costs nothing until speech is wanted; a failed engine is reported once
// in the log and from then on sentences are dropped.
class QtSpeaker : public QObject, public Speaker {
  Q_OBJECT

 public:
  explicit QtSpeaker(QObject* parent = nullptr);
  ~QtSpeaker() override;

  void speak(const QString& sentence) override;

 private:
  QTextToSpeech* engine();

  QTextToSpeech* engine_ = nullptr;
  bool failed_ = false;
};

}  // namespace corvane
