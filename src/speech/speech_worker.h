#pragma once

#include <QElapsedTimer>
#include <QHash>
#include <QMutex>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <atomic>
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
  // The speaker is gone: nothing more is to be started.
  void close() { closed_ = true; }
  bool closed() const { return closed_; }

 private:
  QMutex mutex_;
  Request waiting_;
  std::atomic<bool> closed_{false};
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
  int attempt_ = 0;                   // how many times the current sentence has been refused
  int rateIndex_ = 0;                 // the flite rate it is being spoken at
  QHash<QString, int> goodRates_;
  QElapsedTimer sinceError_;  // flite: since its last error
  QTimer settle_{this};  // says the current sentence once flite has settled     // flite: sentences
                         // that play at another rate than the first
  bool sounding_ = false;  // the engine has started to play the current sentence
};

}  // namespace corvane
