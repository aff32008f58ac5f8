#pragma once

#include <gtest/gtest.h>

#include <QAction>
#include <QCheckBox>
#include <QLabel>
#include <QScrollBar>
#include <memory>
#include <ostream>
#include <string_view>

#include "app/form1.h"
#include "support/fakes.h"
#include "support/temp_dir.h"

// Readable QStrings in test failures.
inline void PrintTo(const QString& text, std::ostream* out) {
  *out << '"' << text.toStdString() << '"';
}

namespace corvane::testing {

// A main window with fake seams, shown on the offscreen screen, and a folder for point files.
class MainWindowTest : public ::testing::Test {
 protected:
  MainWindowTest() { form->show(); }

  template <class Widget>
  Widget* find(const char* name) const {
    auto* widget = form->findChild<Widget*>(QString::fromLatin1(name));
    EXPECT_NE(widget, nullptr) << name;
    return widget;
  }
  QString text(const char* label) const { return find<QLabel>(label)->text(); }
  QScrollBar* scrollBar(const char* name) const { return find<QScrollBar>(name); }
  void choose(const char* menuItem) const { find<QAction>(menuItem)->trigger(); }

  // Writes a point file and opens it through File > Open.
  QString openPoints(std::string_view content, std::string_view name = "scan.txt") {
    const QString path = QString::fromStdString(files.write(name, content).string());
    dialog.choices << path;
    choose("menu2");
    return path;
  }

  void switchSpeechOn() {
    find<QCheckBox>("Check1")->click();
    ASSERT_EQ(form->speechOn(), 1);
  }

  TempDir files;
  EventLog log;
  FakeFileDialog dialog{log};
  FakeMessageBoxes messages{log};
  FakeSpeaker speaker{log};
  std::unique_ptr<Form1> form = std::make_unique<Form1>(dialog, messages, speaker);
};

}  // namespace corvane::testing
