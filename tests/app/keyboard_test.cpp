// Reaching the controls with the keyboard, including the "Ra" panel beyond the window's edge.
#include <QApplication>
#include <QListWidget>
#include <QtTest/QTest>

#include "main_window_fixture.h"

namespace corvane::testing {
namespace {

using Keyboard = MainWindowTest;

// Presses Tab from the first control until focus comes round again; returns the names visited.
QStringList tabRound(QWidget* window, QWidget* first) {
  QStringList visited;
  first->setFocus(Qt::TabFocusReason);
  for (int presses = 0; presses < 60; ++presses) {
    QWidget* focused = QApplication::focusWidget();
    if (focused == nullptr || (presses > 0 && focused == first)) break;
    visited << focused->objectName();
    QTest::keyClick(window, Qt::Key_Tab);
  }
  return visited;
}

TEST_F(Keyboard, TabReachesOnlyTheEnabledControlsBeforeAFileIsLoaded) {
  form->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
  EXPECT_EQ(tabRound(form.get(), find<QWidget>("Picture1")),
            QStringList({"Picture1", "HScroll1", "HScroll2", "Command2", "Command3", "Check1",
                         "Picture2"}));
}

TEST_F(Keyboard, TabFollowsTheWindowsFocusOrderIntoTheRaPanelOnceAFileIsLoaded) {
  openPoints("0,0,1\n1,0,2\n0,1,3\n");
  form->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
  EXPECT_EQ(tabRound(form.get(), find<QWidget>("Command1")),
            QStringList({"Command1",  "Picture1", "HScroll1", "HScroll2", "Command2",
                         "Command3",  "Check1",   "HScroll3", "Command5", "Command6",
                         "List2",     "Command7", "Command8", "Command9", "HScroll4",
                         "Command10", "List1",    "Picture2", "List3",    "List4"}));
}

TEST_F(Keyboard, ArrowKeysMoveTheReferencePlaneAndItsLabelFollows) {
  openPoints("0,0,1\n1,0,2\n0,1,3\n");
  QScrollBar* plane = scrollBar("HScroll3");
  ASSERT_EQ(plane->value(), 200);
  plane->setFocus();
  QTest::keyClick(plane, Qt::Key_Right);
  EXPECT_EQ(plane->value(), 201);
  EXPECT_EQ(text("Label21"), "2.01");
  QTest::keyClick(find<QWidget>("Command8"), Qt::Key_Space);
  EXPECT_EQ(plane->value(), 200) << "D puts the plane back at the mean";
  EXPECT_EQ(text("Label21"), "2");
}

TEST_F(Keyboard, AFileCanBeOpenedAndTheRaPanelUsedWithoutAMouse) {
  form->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
  dialog.choices << QString::fromStdString(files.write("keys.txt", "0,0,1\n1,0,3\n").string());
  QTest::keyClick(form.get(), Qt::Key_Alt);  // the menu bar takes the keyboard
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Down);
  QWidget* fileMenu = QApplication::activePopupWidget();
  ASSERT_NE(fileMenu, nullptr);
  QTest::keyClick(fileMenu, Qt::Key_Return);  // "Open", the first item
  ASSERT_EQ(form->fileOpen(), 1);

  // Tab from the reference-plane scroll bar reaches the Ra panel's Calculate button.
  find<QWidget>("HScroll3")->setFocus(Qt::TabFocusReason);
  QTest::keyClick(form.get(), Qt::Key_Tab);
  QTest::keyClick(form.get(), Qt::Key_Tab);
  ASSERT_EQ(QApplication::focusWidget()->objectName(), "Command6");
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Space);
  EXPECT_EQ(find<QListWidget>("List2")->count(), 1);
}

}  // namespace
}  // namespace corvane::testing
