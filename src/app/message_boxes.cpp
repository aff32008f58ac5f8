#include "app/message_boxes.h"

#include <QApplication>
#include <QMessageBox>

namespace corvane {

void MessageBoxes::critical(const QString& text, const QString& title, const QString& details) {
  show(Icon::Critical, title.isEmpty() ? applicationTitle() : title, text, details);
}

void MessageBoxes::information(const QString& text, const QString& title) {
  show(Icon::Information, title.isEmpty() ? applicationTitle() : title, text, {});
}

void QtMessageBoxes::show(Icon icon, const QString& title, const QString& text,
                          const QString& details) {
  QMessageBox box(icon == Icon::Critical ? QMessageBox::Critical : QMessageBox::Information, title,
                  text, QMessageBox::Ok, QApplication::activeWindow());
  if (!details.isEmpty()) box.setDetailedText(details);
  box.exec();
}

}  // namespace corvane
