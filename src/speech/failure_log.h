#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>
#include <chrono>

namespace corvane {

// Logs every sentence that is not heard, without flooding the log: one warning at once, then
// at most one per interval, which counts the sentences lost since the last one and names the
// last problem.
class FailureLog : public QObject {
 public:
  explicit FailureLog(std::chrono::milliseconds interval, QObject* parent = nullptr);
  ~FailureLog() override;

  void report(const QString& problem, const QString& sentence);

 private:
  void flush();

  std::chrono::milliseconds interval_;
  QElapsedTimer sinceLastWarning_;
  QTimer flushTimer_;
  int held_ = 0;
  QString lastProblem_;
  QString lastSentence_;
};

}  // namespace corvane
