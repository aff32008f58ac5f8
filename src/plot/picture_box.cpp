#include "plot/picture_box.h"

#include <QPainter>
#include <QResizeEvent>

namespace corvane {

namespace {
const QColor kBackground = Qt::black;
}

PictureBox::PictureBox(QWidget* parent) : QFrame(parent) {
  setFrameStyle(QFrame::Panel | QFrame::Sunken);
  setLineWidth(2);
  setFocusPolicy(Qt::StrongFocus);
  setAttribute(Qt::WA_OpaquePaintEvent);
}

const QImage& PictureBox::image() {
  fitImage();
  return image_;
}

void PictureBox::cls() {
  fitImage();
  image_.fill(kBackground);
  update();
}

void PictureBox::resizeEvent(QResizeEvent* event) {
  QFrame::resizeEvent(event);
  fitImage();
}

void PictureBox::fitImage() {
  const QSize inner = contentsRect().size().expandedTo(QSize(1, 1));
  if (image_.size() != inner) {
    QImage resized(inner, QImage::Format_RGB32);
    resized.fill(kBackground);
    if (!image_.isNull()) {
      QPainter painter(&resized);
      painter.drawImage(0, 0, image_);
    }
    image_ = std::move(resized);
  }
}

void PictureBox::paintEvent(QPaintEvent* event) {
  QFrame::paintEvent(event);
  fitImage();
  QPainter painter(this);
  painter.drawImage(contentsRect().topLeft(), image_);
}

}  // namespace corvane
