#pragma once

#include <QObject>
#include <QString>

#include "speech/speaker.h"

class QTextToSpeech;

namespace corvane {

// Speaks through Qt's text-to-speech engines: speech-dispatcher where the desktop runs it (the
// user's own voice settings), flite otherwise, which needs no daemon. The engine is started on
// the first sentence, so a missing or slow engine costs nothing until speech is wanted. When no
// engine works, or the machine has no audio, sentences are dropped and the failure is logged
// once; the program carries on as before.
class QtSpeaker : public QObject, public Speaker {
  Q_OBJECT

 public:
  explicit QtSpeaker(QObject* parent = nullptr);
  ~QtSpeaker() override;

  void speak(const QString& sentence) override;

  // The engine in use ("speechd", "flite"), empty before the first sentence or when none works.
  QString engineName() const;

 private:
  QTextToSpeech* engine();
  QTextToSpeech* start(const QString& name);
  void reportOnce(const QString& problem);

  QTextToSpeech* engine_ = nullptr;
  bool tried_ = false;
  bool reported_ = false;
};

}  // namespace corvane
