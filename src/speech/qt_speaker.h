#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <memory>

#include "speech/speaker.h"

class QThread;

namespace corvane {

class FailureLog;
class SentenceMailbox;
class SpeechWorker;

// Speaks through Qt's text-to-speech engines: speech-dispatcher where the desktop runs it (the
// user's own voice settings), flite otherwise, which needs no daemon. The engine lives on a
// speech thread of its own, started with the speaker, so speak() only hands the sentence over
// and returns at once, however slow or stuck the engine or its daemon is. A sentence asked for
// while the engine is still starting is spoken as soon as it is ready, unless a newer one came
// in the meantime; a new sentence cuts off the one being spoken. Every sentence that is not
// heard to its end (no engine, an engine error, no answer in time) is logged, rate-limited.
class QtSpeaker : public QObject, public Speaker {
  Q_OBJECT

 public:
  // The engines to try, in order of preference.
  static QStringList defaultEngines();

  explicit QtSpeaker(QStringList engines = defaultEngines(), QObject* parent = nullptr);
  ~QtSpeaker() override;

  void speak(const QString& sentence) override;

  // The engine in use ("speechd", "flite"), empty until one is ready or when none works.
  QString engineName() const { return engineName_; }

 signals:
  void engineReady(const QString& engine);

 private:
  void ready(const QString& engine);
  void unavailable(const QString& problem);
  void finished(quint64 id);
  void failed(quint64 id, const QString& problem);
  void noAnswer();

  std::shared_ptr<SentenceMailbox> mailbox_;
  QThread* thread_ = nullptr;
  SpeechWorker* worker_ = nullptr;
  FailureLog* failures_ = nullptr;
  QTimer answerTimer_;
  QString engineName_;
  bool unavailable_ = false;
  QString unavailableProblem_;
  quint64 lastId_ = 0;
  quint64 awaitedId_ = 0;  // the newest sentence, while its fate is not known
  QString awaitedSentence_;
};

}  // namespace corvane
