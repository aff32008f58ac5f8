#pragma once

#include <QWidget>
#include <functional>

class QTimer;

namespace corvane {

// The splash window: Corvane's picture, centred on the screen, without border or task-bar
// button. Its timer ticks every second; on the third tick the splash closes and then hands
// over to the main window.
class Form2 : public QWidget {
  Q_OBJECT

 public:
  // `showMainWindow` runs once, after the splash has closed.
  explicit Form2(std::function<void()> showMainWindow, QWidget* parent = nullptr);

  int splashTicks() const noexcept { return splashTicks_; }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private slots:
  // One tick of Timer1.
  void tick();

 private:
  std::function<void()> showMainWindow_;
  QTimer* timer1_;
  qint16 splashTicks_ = 0;
};

}  // namespace corvane
