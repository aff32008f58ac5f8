#include "app/form2.h"

#include <QGuiApplication>
#include <QPainter>
#include <QScreen>
#include <QTimer>

#include "app/artwork.h"

namespace corvane {

namespace {
constexpr int kTickMilliseconds = 1000;
constexpr int kTicksShown = 3;
}  // namespace

Form2::Form2(std::function<void()> showMainWindow, QWidget* parent)
    : QWidget(parent, Qt::SplashScreen | Qt::FramelessWindowHint),
      showMainWindow_(std::move(showMainWindow)),
      timer1_(new QTimer(this)) {
  setObjectName(QStringLiteral("Form2"));
  setFixedSize(320, 237);
  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    move(screen->geometry().center() - rect().center());
  }
  timer1_->setObjectName(QStringLiteral("Timer1"));
  timer1_->setInterval(kTickMilliseconds);
  connect(timer1_, &QTimer::timeout, this, &Form2::tick);
  timer1_->start();
}

void Form2::tick() {
  ++splashTicks_;
  if (splashTicks_ != kTicksShown) return;
  timer1_->stop();
  close();
  deleteLater();
  if (showMainWindow_) showMainWindow_();
}

void Form2::paintEvent(QPaintEvent*) {
  static const QPixmap picture = splashPicture();
  QPainter(this).drawPixmap(0, 0, picture);
}

}  // namespace corvane
