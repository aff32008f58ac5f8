// corvane-analysis: the standard figures, the filters and the report of any number of surfaces
// in a desktop window.
#include <QApplication>
#include <QStringList>

#include "workspace/analysis_window.h"

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Corvane Analysis"));
  QApplication::setOrganizationName(QStringLiteral("Corvane"));
  QApplication::setApplicationVersion(QStringLiteral(CORVANE_VERSION));
  // The desktop entry's id, which Wayland compositors match the running window against.
  QGuiApplication::setDesktopFileName(QStringLiteral(CORVANE_DESKTOP_ID ".Analysis"));
  QStringList files = QApplication::arguments();
  files.removeFirst();
  corvane::workspace::AnalysisWindow window;
  window.show();
  window.openFiles(files);
  return QApplication::exec();
}
