#pragma once

#include <QMutex>
#include <QObject>
#include <QString>
#include <QStringList>
#include <memory>

class QTextToSpeech;

namespace corvane {

// The newest sentence asked for and not yet taken by the engine. The window thread puts, the
// speech thread takes; a sentence put before the previous one was taken replaces it.
class SentenceMailbox {
 public:
  struct Request {
    quint64 id = 0;
    QString sentence;
  };
  void put(Request request);
  // The waiting request, or one with id 0 when there is none.
  Request take();

 private:
  QMutex mutex_;
  Request waiting_;
};

// Owns the Qt text-to-speech engine on the speech thread, where the engine's slow start (the
// speech-dispatcher engine connects and lists its voices before its constructor returns) and
// any call that waits on a daemon never hold up the window. Reports what became of each
// sentence it was given.
class SpeechWorker : public QObject {
  Q_OBJECT

 public:
  SpeechWorker(QStringList engines, std::shared_ptr<SentenceMailbox> mailbox);
  ~SpeechWorker() override;

  // Starts the first engine of the list that works (on the speech thread).
  void start();
  // Speaks the sentence waiting in the mailbox, if any, cutting off the one being spoken.
  void speakWaiting();

 signals:
  void engineReady(const QString& engine);
  void engineUnavailable(const QString& problem);
  void finished(quint64 id);
  void failed(quint64 id, const QString& problem);

 private:
  QTextToSpeech* open(const QString& name);
  void say();
  void stateChanged(int state);
  void errorOccurred(const QString& problem);

  QStringList engines_;
  std::shared_ptr<SentenceMailbox> mailbox_;
  bool started_ = false;
  QTextToSpeech* engine_ = nullptr;
  SentenceMailbox::Request current_;  // id 0: nothing being spoken
  int attempt_ = 0;
  bool sounding_ = false;  // the engine has started to play the current sentence
};

}  // namespace corvane
