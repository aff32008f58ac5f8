#include "speech/failure_log.h"

#include <QtDebug>

namespace corvane {

FailureLog::FailureLog(std::chrono::milliseconds interval, QObject* parent)
    : QObject(parent), interval_(interval) {
  flushTimer_.setSingleShot(true);
  connect(&flushTimer_, &QTimer::timeout, this, &FailureLog::flush);
}

FailureLog::~FailureLog() { flush(); }

void FailureLog::report(const QString& problem, const QString& sentence) {
  lastProblem_ = problem;
  lastSentence_ = sentence;
  if (!sinceLastWarning_.isValid() ||
      std::chrono::milliseconds(sinceLastWarning_.elapsed()) >= interval_) {
    qWarning().noquote() << QStringLiteral("Speech not heard: %1 (\"%2\")").arg(problem, sentence);
    sinceLastWarning_.start();
    return;
  }
  ++held_;
  if (!flushTimer_.isActive()) {
    const auto left = interval_ - std::chrono::milliseconds(sinceLastWarning_.elapsed());
    flushTimer_.start(std::max(left, std::chrono::milliseconds(0)));
  }
}

void FailureLog::flush() {
  if (held_ == 0) return;
  qWarning().noquote() << QStringLiteral(
                              "Speech not heard: %1 more since the last warning, the last: %2 "
                              "(\"%3\")")
                              .arg(held_)
                              .arg(lastProblem_, lastSentence_);
  held_ = 0;
  sinceLastWarning_.start();
}

}  // namespace corvane
