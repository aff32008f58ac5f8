#include "report/chart_canvas.h"

#include <QApplication>
#include <QGraphicsLayout>
#include <charconv>
#include <cmath>

namespace corvane::report {

QFont textFont(double points, bool bold) {
  QFont font(QStringLiteral("DejaVu Sans"));
  font.setPointSizeF(points);
  font.setBold(bold);
  // No ligatures: text copied out of the PDF keeps its letters ("fi", not one glyph).
  font.setStyleStrategy(QFont::PreferNoShaping);
  return font;
}

ChartCanvas::ChartCanvas(const QSizeF& size, const QString& title)
    : chart_(new QChart), size_(size) {
  scene_.addItem(chart_);
  chart_->setGeometry(QRectF(QPointF(0, 0), size));
  chart_->setBackgroundRoundness(0);
  chart_->setBackgroundPen(Qt::NoPen);
  chart_->setMargins(QMargins(2, 2, 2, 2));
  chart_->layout()->setContentsMargins(0, 0, 0, 0);
  chart_->legend()->hide();
  chart_->setAnimationOptions(QChart::NoAnimation);
  if (!title.isEmpty()) {
    chart_->setTitle(title);
    chart_->setTitleFont(textFont(7.5, true));
  }
}

QValueAxis* ChartCanvas::valueAxis(Qt::Alignment side, const QString& title, double min,
                                   double max) {
  auto* axis = new QValueAxis;
  if (!(max > min)) {
    // A flat range still gets an axis: one unit either side.
    const double pad = min == 0 ? 1 : std::fabs(min) * 0.01;
    min -= pad;
    max += pad;
  }
  axis->setRange(min, max);
  const double step = niceStep(min, max, side & (Qt::AlignLeft | Qt::AlignRight) ? 4 : 6);
  axis->setTickType(QValueAxis::TicksDynamic);
  axis->setTickAnchor(0);
  axis->setTickInterval(step);
  axis->setLabelFormat(QStringLiteral("%g"));
  axis->setLabelsFont(textFont(6));
  axis->setTitleFont(textFont(6.5));
  axis->setTitleText(title);
  axis->setGridLineColor(QColor(225, 225, 225));
  axis->setMinorTickCount(0);
  chart_->addAxis(axis, side);
  return axis;
}

QLineSeries* ChartCanvas::line(const std::vector<QPointF>& points, const QPen& pen,
                               QAbstractAxis* x, QAbstractAxis* y) {
  auto* series = new QLineSeries;
  series->replace(QList<QPointF>(points.begin(), points.end()));
  series->setPen(pen);
  chart_->addSeries(series);
  series->attachAxis(x);
  series->attachAxis(y);
  return series;
}

void ChartCanvas::layOut() {
  chart_->setGeometry(QRectF(QPointF(0, 0), size_));
  // The chart lays itself out on the layout request the geometry posted.
  QCoreApplication::sendPostedEvents();
  if (chart_->layout() != nullptr) chart_->layout()->activate();
}

QPointF ChartCanvas::position(const QPointF& value, QAbstractSeries* series) const {
  return chart_->mapToPosition(value, series);
}

void ChartCanvas::render(QPainter& painter, const QPointF& at) {
  layOut();
  scene_.render(&painter, QRectF(at, size_), QRectF(QPointF(0, 0), size_));
}

double niceStep(double min, double max, int ticks) {
  const double span = max - min;
  if (!(span > 0) || !std::isfinite(span)) return 1;
  const double raw = span / ticks;
  const double power = std::pow(10.0, std::floor(std::log10(raw)));
  for (const double factor : {1.0, 2.0, 5.0, 10.0}) {
    if (factor * power >= raw) return factor * power;
  }
  return 10 * power;
}

QString numberText(double value, int digits) {
  if (!std::isfinite(value)) return QStringLiteral("-");
  char text[32];
  const auto written =
      std::to_chars(text, text + sizeof text, value, std::chars_format::general, digits);
  return QString::fromLatin1(text, static_cast<int>(written.ptr - text));
}

}  // namespace corvane::report
