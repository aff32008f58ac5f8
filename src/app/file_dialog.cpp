#include "app/file_dialog.h"

#include <QApplication>
#include <QFileDialog>
#include <QFileInfo>

namespace corvane {

void FileDialog::showOpen() {
  fileName_ = choose(initialFolder_, filter_);
  fileTitle_ = fileName_.isEmpty() ? QString() : QFileInfo(fileName_).fileName();
}

QString QtFileDialog::choose(const QString& initialFolder, const QString& filter) {
  return QFileDialog::getOpenFileName(QApplication::activeWindow(), QStringLiteral("Open"),
                                      initialFolder, filter);
}

}  // namespace corvane
