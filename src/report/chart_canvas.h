#pragma once

#include <QFont>
#include <QGraphicsScene>
#include <QPainter>
#include <QRectF>
#include <QString>
#include <QtCharts/QCategoryAxis>
#include <QtCharts/QChart>
#include <QtCharts/QLineSeries>
#include <QtCharts/QValueAxis>
#include <memory>
#include <utility>
#include <vector>

namespace corvane::report {

// The fonts of a report page, in points.
QFont textFont(double points, bool bold = false);

// A chart on its own scene, drawn into a painter: the charts of a page are Qt Charts laid out
// at the size they are drawn at, with small fonts, thin margins, a white background and no
// legend, so that axes, ticks and labels come from the library.
class ChartCanvas {
 public:
  ChartCanvas(const QSizeF& size, const QString& title);
  ChartCanvas(const ChartCanvas&) = delete;
  ChartCanvas& operator=(const ChartCanvas&) = delete;

  QChart& chart() { return *chart_; }

  // A value axis on that side, its ticks at round numbers (1, 2 or 5 times a power of ten).
  QCategoryAxis* valueAxis(Qt::Alignment side, const QString& title, double min, double max);
  // A line through the points, attached to the axes, in that pen.
  QLineSeries* line(const std::vector<QPointF>& points, const QPen& pen, QAbstractAxis* x,
                    QAbstractAxis* y);

  // Lays the chart out; afterwards plotArea() and position() are valid.
  void layOut();
  QRectF plotArea() const { return chart_->plotArea(); }
  // Where a value lands, in the chart's coordinates (the top left corner of the chart is 0, 0).
  QPointF position(const QPointF& value, QAbstractSeries* series) const;

  // Draws the chart with its top left corner at `at`.
  void render(QPainter& painter, const QPointF& at);

 private:
  QGraphicsScene scene_;
  QChart* chart_;  // owned by the scene
  QSizeF size_;
};

// A round step for about `ticks` intervals across max - min: 1, 2 or 5 times a power of ten.
double niceStep(double min, double max, int ticks);

// Ticks, grid lines and labels at every multiple of `step` within the axis's range, each worked
// out as k times the step, so that the tick at 0 reads "0" (Qt's own dynamic ticks add the step
// up and label the rounding, "-2.77556e-17").
void roundTicks(QCategoryAxis& axis, double step);

// Shortest text of a number with at most `digits` significant digits ("-" when not finite).
QString numberText(double value, int digits = 6);

}  // namespace corvane::report
