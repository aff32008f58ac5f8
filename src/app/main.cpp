// Corvane: measures the roughness of a scanned surface from an ASCII point file.
#include <QApplication>
#include <memory>

#include "app/artwork.h"
#include "app/file_dialog.h"
#include "app/form1.h"
#include "app/form2.h"
#include "app/message_boxes.h"
#include "speech/qt_speaker.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Corvane"));
  QGuiApplication::setDesktopFileName(QStringLiteral(CORVANE_DESKTOP_ID));
  QApplication::setWindowIcon(corvane::corvaneIcon());
  QApplication::setFont(corvane::windowFont());

  corvane::QtFileDialog dialog;
  corvane::QtMessageBoxes messages;
  corvane::QtSpeaker speaker;
  std::unique_ptr<corvane::Form1> mainWindow;

  // Between the splash closing and the main window showing, no window is open; that moment
  // must not end the program.
  QApplication::setQuitOnLastWindowClosed(false);
  auto* splash = new corvane::Form2([&] {
    mainWindow = std::make_unique<corvane::Form1>(dialog, messages, speaker);
    mainWindow->show();
    QApplication::setQuitOnLastWindowClosed(true);
  });
  splash->show();
  return QApplication::exec();
}
