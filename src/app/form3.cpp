#include "app/form3.h"

#include <QLabel>

#include "app/artwork.h"

namespace corvane {

Form3::Form3(QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint) {
  ui_.setupUi(this);

  QPalette white = palette();
  white.setColor(QPalette::Window, Qt::white);
  setPalette(white);
  setAutoFillBackground(true);

  ui_.Picture1->setPixmap(aboutLogo());
  ui_.Picture2->setPixmap(aboutWideLogo());
  // Every label, the two logos included, takes the size of what it shows.
  for (QLabel* label : findChildren<QLabel*>()) {
    label->adjustSize();
  }
  resize(366, 446);
}

}  // namespace corvane
