#pragma once

#include <QString>
#include <QStringList>
#include <vector>

#include "app/file_dialog.h"
#include "app/message_boxes.h"
#include "speech/speaker.h"

namespace corvane::testing {

// One log shared by the fakes, so a test can see what happened in which order
// ("speak: ...", "box: ...", "dialog").
using EventLog = QStringList;

// A file dialog that answers with prepared choices, one per showing; with none left it is
// cancelled.
class FakeFileDialog : public FileDialog {
 public:
  explicit FakeFileDialog(EventLog& log) : log_(log) {}
  QStringList choices;
  int timesShown = 0;

 protected:
  QString choose(const QString& initialFolder, const QString& filter) override;

 private:
  EventLog& log_;
};

class FakeMessageBoxes : public MessageBoxes {
 public:
  struct Box {
    Icon icon;
    QString title;
    QString text;
    QString details;
  };
  explicit FakeMessageBoxes(EventLog& log) : log_(log) {}
  std::vector<Box> shown;
  QStringList texts() const;

 protected:
  void show(Icon icon, const QString& title, const QString& text, const QString& details) override;

 private:
  EventLog& log_;
};

class FakeSpeaker : public Speaker {
 public:
  explicit FakeSpeaker(EventLog& log) : log_(log) {}
  QStringList spoken;
  void speak(const QString& sentence) override;

 private:
  EventLog& log_;
};

}  // namespace corvane::testing
