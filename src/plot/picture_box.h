#pragma once

#include <QFrame>
#include <QImage>

namespace corvane {

// A picture box: a black drawing surface inside a sunken two-pixel border. What is drawn goes
// into a retained image of the inner area, and painting only copies that image to the screen,
// so a covered and uncovered window shows the same picture and tests can read its pixels.
class PictureBox : public QFrame {
  Q_OBJECT

 public:
  explicit PictureBox(QWidget* parent = nullptr);

  // The retained picture of the inner drawing area.
  const QImage& image();

  // Clears the picture to the background colour. Scale and draw width stay.
  void cls();

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  // Keeps the image the size of the inner area; what was drawn stays where it fits.
  void fitImage();

  QImage image_;
};

}  // namespace corvane
