#pragma once

#include <QString>

namespace corvane {

// Speaks one sentence aloud. Speaking never blocks the caller, never throws and never stops
// the program; when no voice is available a sentence is simply not heard.
class Speaker {
 public:
  virtual ~Speaker();
  virtual void speak(const QString& sentence) = 0;
};

}  // namespace corvane
