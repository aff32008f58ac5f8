#include "report/chart_canvas.h"

#include <QApplication>
#include <QFontMetricsF>
#include <QGraphicsLayout>
#include <algorithm>
#include <charconv>
#include <cmath>

namespace corvane::report {

QFont textFont(double points, bool bold) {
  QFont font(QStringLiteral("DejaVu Sans"));
  font.setPointSizeF(points);
  font.setBold(bold);
  // No ligatures: text copied out of the PDF keeps its letters ("fi", not one glyph).
  font.setStyleStrategy(QFont::PreferNoShaping);
  // The face's own spacing, whatever font the program drawing the page uses for its windows.
  font.setLetterSpacing(QFont::PercentageSpacing, 100);
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

QCategoryAxis* ChartCanvas::valueAxis(Qt::Alignment side, const QString& title, double min,
                                      double max) {
  auto* axis = new QCategoryAxis;
  axis->setLabelsPosition(QCategoryAxis::AxisLabelsPositionOnValue);
  if (!(max > min)) {
    // A flat range still gets an axis: one unit either side.
    const double pad = min == 0 ? 1 : std::fabs(min) * 0.01;
    min -= pad;
    max += pad;
  }
  axis->setRange(min, max);
  roundTicks(*axis, niceStep(min, max, side & (Qt::AlignLeft | Qt::AlignRight) ? 4 : 6));
  axis->setLabelsFont(textFont(6));
  // Labels are written whole: Qt cuts them short ("0....") where it reckons the room too small,
  // as beside a narrow colour bar.
  axis->setTruncateLabels(false);
  const QStringList labels = axis->categoriesLabels();
  if (side == Qt::AlignBottom && !labels.isEmpty()) {
    // The label under the right end reaches half its width past the plot area; the chart
    // keeps room for it so that it is not cut off at the chart's edge.
    QMargins margins = chart_->margins();
    const double half = QFontMetricsF(axis->labelsFont()).horizontalAdvance(labels.back()) / 2;
    margins.setRight(std::max(margins.right(), 2 + static_cast<int>(std::ceil(half))));
    chart_->setMargins(margins);
  }
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

void roundTicks(QCategoryAxis& axis, double step) {
  for (const QString& label : axis.categoriesLabels()) axis.remove(label);
  const double min = axis.min(), max = axis.max();
  if (!(step > 0) || !std::isfinite(min) || !std::isfinite(max)) return;
  // The first category starts a step below the range, so that a tick on the range's own end
  // still closes a category.
  const double first = std::ceil(min / step - 1e-9), last = std::floor(max / step + 1e-9);
  if (!(last - first < 1000)) return;
  axis.setStartValue((first - 1) * step);
  // Six significant digits, more where the ticks are close against their size (x in the
  // thousands a tenth apart), so that no two labels read alike.
  const double size = std::max(std::fabs(min), std::fabs(max)) / step;
  const int digits = std::clamp(static_cast<int>(std::floor(std::log10(size))) + 2, 6, 17);
  for (double k = first; k <= last; ++k) {
    const double value = k * step + 0.0;  // + 0: the ceiling of -0.5 is -0, read "-0"
    axis.append(numberText(value, digits), value);
  }
}

QString numberText(double value, int digits) {
  if (!std::isfinite(value)) return QStringLiteral("-");
  char text[32];
  const auto written =
      std::to_chars(text, text + sizeof text, value, std::chars_format::general, digits);
  return QString::fromLatin1(text, static_cast<int>(written.ptr - text));
}

}  // namespace corvane::report
