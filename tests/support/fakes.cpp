#include "support/fakes.h"

namespace corvane::testing {

QString FakeFileDialog::choose(const QString&, const QString&) {
  ++timesShown;
  log_ << QStringLiteral("dialog");
  return choices.isEmpty() ? QString() : choices.takeFirst();
}

QStringList FakeMessageBoxes::texts() const {
  QStringList result;
  for (const Box& box : shown) result << box.text;
  return result;
}

void FakeMessageBoxes::show(Icon icon, const QString& title, const QString& text,
                            const QString& details) {
  shown.push_back({icon, title, text, details});
  log_ << QStringLiteral("box: ") + text;
}

void FakeSpeaker::speak(const QString& sentence) {
  spoken << sentence;
  log_ << QStringLiteral("speak: ") + sentence;
}

}  // namespace corvane::testing
