#include "app/samples_folder.h"

#include <QDir>
#include <QFileInfo>

namespace corvane {

QString samplesFolder(const QString& programFolder) {
  const QString besideProgram = programFolder + QStringLiteral("/samples");
  if (QFileInfo(besideProgram).isDir()) return besideProgram;
  // CORVANE_INSTALLED_SAMPLES is the installed samples folder relative to the installed
  // program's folder, worked out by the build from its install directories.
  const QString installed = QDir::cleanPath(programFolder + QStringLiteral("/") +
                                            QStringLiteral(CORVANE_INSTALLED_SAMPLES));
  if (QFileInfo(installed).isDir()) return installed;
  return besideProgram;
}

}  // namespace corvane
