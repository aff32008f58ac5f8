#include "workspace/chart_view.h"

#include <QPainter>
#include <QResizeEvent>

#include "report/figure_drawings.h"

namespace corvane::workspace {

ChartView::ChartView(Draw draw, Describe describe, QWidget* parent)
    : QWidget(parent), draw_(std::move(draw)), describe_(std::move(describe)) {
  setMinimumSize(320, 240);
  setAccessibleDescription(QString::fromLatin1(kNoSurface));
}

void ChartView::setSurface(SurfaceResultPtr surface) {
  surface_ = std::move(surface);
  cache_ = QPixmap();
  setAccessibleDescription(surface_ ? describe_(*surface_) : QString::fromLatin1(kNoSurface));
  update();
}

QPixmap ChartView::picture(const QSize& size) {
  QPixmap pixmap(size);
  pixmap.fill(Qt::white);
  QPainter painter(&pixmap);
  painter.setRenderHint(QPainter::Antialiasing);
  const QRectF area(QPointF(0, 0), QSizeF(size));
  if (surface_) {
    draw_(painter, area, *surface_);
  } else {
    report::drawNothing(painter, area, QString::fromLatin1(kNoSurface));
  }
  return pixmap;
}

void ChartView::paintEvent(QPaintEvent*) {
  // Qt Charts lays a chart out each time it is drawn: the picture is kept between paints.
  if (cache_.size() != size()) cache_ = picture(size());
  QPainter painter(this);
  painter.drawPixmap(0, 0, cache_);
}

void ChartView::resizeEvent(QResizeEvent* event) {
  cache_ = QPixmap();
  QWidget::resizeEvent(event);
}

}  // namespace corvane::workspace
