// Start-up: the splash hand-over, the main window's initial state, Exit and About.
#include <QApplication>
#include <QCheckBox>
#include <QGroupBox>
#include <QPushButton>
#include <QTimer>
#include <QtTest/QTest>

#include "app/form2.h"
#include "app/form3.h"
#include "main_window_fixture.h"

namespace corvane::testing {
namespace {

TEST(SplashWindow, HandsOverToTheMainWindowOnTheThirdTickAfterClosing) {
  int handedOver = 0;
  bool splashVisibleAtHandOver = true;
  QPointer<Form2> splash;
  splash = new Form2([&] {
    ++handedOver;
    splashVisibleAtHandOver = splash && splash->isVisible();
  });
  splash->show();
  auto* timer = splash->findChild<QTimer*>(QStringLiteral("Timer1"));
  ASSERT_NE(timer, nullptr);
  EXPECT_EQ(timer->interval(), 1000);
  EXPECT_TRUE(timer->isActive());
  EXPECT_EQ(splash->size(), QSize(320, 237));
  EXPECT_TRUE(splash->windowFlags() & Qt::FramelessWindowHint);

  for (int tick = 1; tick <= 2; ++tick) {
    QMetaObject::invokeMethod(splash, "tick");
    EXPECT_EQ(handedOver, 0) << "tick " << tick;
    EXPECT_TRUE(splash->isVisible());
  }
  QMetaObject::invokeMethod(splash, "tick");
  EXPECT_EQ(handedOver, 1);
  EXPECT_FALSE(splashVisibleAtHandOver) << "the splash closes before the main window loads";
  EXPECT_FALSE(timer->isActive());
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_TRUE(splash.isNull()) << "the splash window is unloaded, never shown again";
}

using StartUp = MainWindowTest;

TEST_F(StartUp, MainWindowBeginsWithNoFileAndDefaultSettings) {
  EXPECT_EQ(form->windowTitle(), "Corvane");
  EXPECT_EQ(form->fileOpen(), 0);
  EXPECT_EQ(form->speechOn(), 0);
  EXPECT_FALSE(find<QPushButton>("Command1")->isEnabled());
  EXPECT_FALSE(find<QGroupBox>("Frame1")->isEnabled());
  EXPECT_FALSE(find<QGroupBox>("Frame2")->isEnabled());
  EXPECT_EQ(scrollBar("HScroll1")->value(), 255);
  EXPECT_EQ(scrollBar("HScroll2")->value(), 2);
  EXPECT_FALSE(find<QCheckBox>("Check1")->isChecked());
  for (const char* label : {"Label3", "Label4", "Label7", "Label8", "Label11", "Label12", "Label18",
                            "Label21", "Label22"}) {
    EXPECT_TRUE(text(label).isEmpty()) << label;
  }
}

TEST_F(StartUp, MainWindowHasAFixedClientAreaAndCannotBeMaximised) {
  EXPECT_EQ(form->centralWidget()->size(), QSize(833, 588));
  EXPECT_EQ(form->minimumSize(), form->maximumSize());
  EXPECT_TRUE(form->windowFlags() & Qt::WindowMinimizeButtonHint);
  EXPECT_FALSE(form->windowFlags() & Qt::WindowMaximizeButtonHint);
}

TEST_F(StartUp, ExitEndsTheEventLoopAtOnce) {
  QTimer::singleShot(0, form.get(), [this] { choose("menu3"); });
  // Should Exit fail to end the loop, this ends it with another code instead of hanging.
  QTimer::singleShot(5000, form.get(), [] { QCoreApplication::exit(99); });
  EXPECT_EQ(QApplication::exec(), 0);
}

TEST_F(StartUp, AboutTwiceShowsOneModelessAboutWindow) {
  choose("menu5");
  choose("menu5");
  QList<Form3*> abouts;
  for (QWidget* window : QApplication::topLevelWidgets()) {
    if (auto* about = qobject_cast<Form3*>(window); about && about->isVisible()) abouts << about;
  }
  ASSERT_EQ(abouts.size(), 1);
  EXPECT_EQ(abouts.front()->windowTitle(), "About");
  EXPECT_FALSE(abouts.front()->isModal());
  EXPECT_TRUE(find<QPushButton>("Command3")->isEnabled()) << "the main window stays usable";

  abouts.front()->close();
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  choose("menu5");
  int visible = 0;
  for (QWidget* window : QApplication::topLevelWidgets()) {
    if (qobject_cast<Form3*>(window) && window->isVisible()) ++visible;
  }
  EXPECT_EQ(visible, 1) << "a closed about window comes back when asked for again";
}

TEST_F(StartUp, SettingsDoesNothing) {
  choose("menu7");
  EXPECT_TRUE(messages.shown.empty());
  EXPECT_EQ(dialog.timesShown, 0);
  EXPECT_EQ(form->windowTitle(), "Corvane");
}

}  // namespace
}  // namespace corvane::testing
