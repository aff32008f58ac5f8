// The main of every test program that needs Qt: one QApplication for all tests, on the
// offscreen platform unless the environment names another, with the windows' own font.
#include <gtest/gtest.h>

#include <QApplication>
#include <QLocale>

#include "app/artwork.h"

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  ::testing::InitGoogleTest(&argc, argv);
  QApplication app(argc, argv);
  QApplication::setFont(corvane::windowFont());
  QLocale::setDefault(QLocale::c());
  return RUN_ALL_TESTS();
}
