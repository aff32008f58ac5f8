#include "workspace/height_map_view.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPushButton>
#include <QResizeEvent>
#include <QVBoxLayout>
#include <QWheelEvent>
#include <QtCharts/QChart>
#include <QtCharts/QChartView>
#include <QtCharts/QLineSeries>
#include <QtCharts/QValueAxis>
#include <algorithm>
#include <cmath>

#include "analysis/surface_display.h"
#include "report/chart_canvas.h"
#include "report/figure_drawings.h"
#include "report/viridis.h"
#include "workspace/surfaces_model.h"

namespace corvane::workspace {

// The range with ticks at round numbers (1, 2 or 5 times a power of ten), about `ticks`
// intervals. The interval is set first: a new range under an old interval (of another unit)
// could ask for thousands of ticks.
void setRoundRange(QValueAxis& axis, double min, double max, int ticks) {
  axis.setTickType(QValueAxis::TicksDynamic);
  axis.setTickAnchor(0);
  axis.setLabelFormat(QStringLiteral("%.6g"));
  axis.setTickInterval(report::niceStep(min, max, std::max(ticks, 2)));
  axis.setRange(min, max);
}

// A chart whose plot area shows an image under Qt Charts' axes: the height map (at equal scale,
// zoomed and panned by its axes' ranges) or its colour bar.
class MapChart : public QChartView {
 public:
  MapChart(HeightMapView& owner, bool bar) : owner_(owner), bar_(bar) {
    auto* chart = new QChart;
    chart->legend()->hide();
    chart->setMargins(QMargins(2, 2, 2, 2));
    chart->setBackgroundRoundness(0);
    x_ = new QValueAxis;
    y_ = new QValueAxis;
    x_->setLabelsFont(report::textFont(8));
    // Labels are written whole: Qt would cut them short where it reckons them too long.
    x_->setTruncateLabels(false);
    y_->setTruncateLabels(false);
    y_->setLabelsFont(report::textFont(8));
    x_->setTitleFont(report::textFont(8));
    y_->setTitleFont(report::textFont(8));
    chart->addAxis(x_, Qt::AlignBottom);
    chart->addAxis(y_, bar ? Qt::AlignRight : Qt::AlignLeft);
    // A series of no visible line, so that values map to positions through the axes.
    anchor_ = new QLineSeries;
    anchor_->setPen(Qt::NoPen);
    chart->addSeries(anchor_);
    anchor_->attachAxis(x_);
    anchor_->attachAxis(y_);
    if (bar) {
      x_->setVisible(false);
      x_->setRange(0, 1);
      chart->setBackgroundVisible(false);  // the strip of colour and its labels on the window
    }
    setChart(chart);
    setRenderHint(QPainter::Antialiasing, false);
    setFocusPolicy(bar ? Qt::NoFocus : Qt::StrongFocus);
    setMouseTracking(!bar);
    // New ranges may widen the labels and so move the plot area again: the ranges follow the
    // plot area's size after the layout has settled, and not for a change of under a pixel.
    connect(
        chart, &QChart::plotAreaChanged, this,
        [this](const QRectF& plot) {
          if (std::fabs(plot.width() - applied_.width()) < 1 &&
              std::fabs(plot.height() - applied_.height()) < 1) {
            return;
          }
          applyRanges();
        },
        Qt::QueuedConnection);
  }

  QValueAxis& x() { return *x_; }
  QValueAxis& y() { return *y_; }

  // The map's extent, in the unit; the view then fits it.
  void setExtent(double left, double right, double bottom, double top) {
    left_ = left, right_ = right, bottom_ = bottom, top_ = top;
    crosshair_.reset();
    fit();
  }

  void fit() {
    const QRectF plot = chart()->plotArea();
    centreX_ = (left_ + right_) / 2;
    centreY_ = (bottom_ + top_) / 2;
    if (plot.width() < 2 || plot.height() < 2) {
      scale_ = 0;  // fitted once the plot area has a size
      return;
    }
    scale_ = std::max((right_ - left_) / plot.width(), (top_ - bottom_) / plot.height());
    if (!(scale_ > 0)) scale_ = 1;
    applyRanges();
  }

  void zoom(double factor, std::optional<QPointF> about = std::nullopt) {
    if (!(scale_ > 0)) return;
    const QPointF fixed = about ? *about : QPointF(centreX_, centreY_);
    // The point under `about` stays where it is.
    centreX_ = fixed.x() + (centreX_ - fixed.x()) / factor;
    centreY_ = fixed.y() + (centreY_ - fixed.y()) / factor;
    scale_ /= factor;
    applyRanges();
  }

  QPointF valueAt(const QPoint& widgetPosition) {
    return chart()->mapToValue(mapToScene(widgetPosition), anchor_);
  }

 protected:
  void drawForeground(QPainter* painter, const QRectF&) override {
    const QRectF plot = chart()->plotArea();
    painter->save();
    painter->setClipRect(plot);
    if (bar_) {
      QLinearGradient gradient = report::viridisGradient();
      gradient.setStart(plot.bottomLeft());
      gradient.setFinalStop(plot.topLeft());
      painter->fillRect(plot, gradient);
      painter->restore();
      return;
    }
    const QImage& image = owner_.image();
    if (!image.isNull() && right_ > left_ && top_ > bottom_) {
      // Only the part of the image in view, so that a close zoom draws no more than it shows.
      const double perColumn = (right_ - left_) / image.width();
      const double perRow = (top_ - bottom_) / image.height();
      const double x0 = std::max(left_, x_->min()), x1 = std::min(right_, x_->max());
      const double y0 = std::max(bottom_, y_->min()), y1 = std::min(top_, y_->max());
      if (x1 > x0 && y1 > y0) {
        const double c0 = std::floor((x0 - left_) / perColumn);
        const double c1 = std::ceil((x1 - left_) / perColumn);
        const double r0 = std::floor((top_ - y1) / perRow);
        const double r1 = std::ceil((top_ - y0) / perRow);
        const QRectF source(c0, r0, c1 - c0, r1 - r0);
        const QPointF topLeft = position(left_ + c0 * perColumn, top_ - r0 * perRow);
        const QPointF bottomRight = position(left_ + c1 * perColumn, top_ - r1 * perRow);
        painter->setRenderHint(QPainter::SmoothPixmapTransform, false);
        painter->drawImage(QRectF(topLeft, bottomRight), image, source);
      }
    }
    const auto line = [&](const QPointF& a, const QPointF& b) {
      painter->setPen(QPen(QColor(0, 0, 0, 160), 3));
      painter->drawLine(a, b);
      painter->setPen(QPen(Qt::white, 1));
      painter->drawLine(a, b);
    };
    if (owner_.marked_ > 0 && owner_.marked_ <= static_cast<int>(owner_.profileY_.size())) {
      const double y = owner_.profileY_[static_cast<std::size_t>(owner_.marked_ - 1)];
      line(QPointF(plot.left(), position(0, y).y()), QPointF(plot.right(), position(0, y).y()));
    }
    if (crosshair_) {
      const QPointF at = position(crosshair_->x(), crosshair_->y());
      line(QPointF(at.x() - 8, at.y()), QPointF(at.x() + 8, at.y()));
      line(QPointF(at.x(), at.y() - 8), QPointF(at.x(), at.y() + 8));
    }
    painter->restore();
  }

  void resizeEvent(QResizeEvent* event) override {
    QChartView::resizeEvent(event);
    // The bar is a narrow strip of colour; the rest of its width is for its labels and title.
    if (bar_) chart()->setPlotArea(QRectF(8, 12, 24, std::max(10, height() - 24)));
  }

  void mousePressEvent(QMouseEvent* event) override {
    pressed_ = event->pos();
    lastDrag_ = event->pos();
    dragging_ = event->button() == Qt::LeftButton;
    setFocus(Qt::MouseFocusReason);
  }

  void mouseMoveEvent(QMouseEvent* event) override {
    if (bar_) return;
    if (dragging_ && (event->buttons() & Qt::LeftButton) && scale_ > 0) {
      const QPoint delta = event->pos() - lastDrag_;
      lastDrag_ = event->pos();
      centreX_ -= delta.x() * scale_;
      centreY_ += delta.y() * scale_;
      applyRanges();
      return;
    }
    const QPointF value = valueAt(event->pos());
    tell(owner_.pointText(value.x(), value.y()));
  }

  void mouseReleaseEvent(QMouseEvent* event) override {
    const bool click = dragging_ && (event->pos() - pressed_).manhattanLength() < 4;
    dragging_ = false;
    if (click && !bar_) pick(valueAt(event->pos()).y());
  }

  void wheelEvent(QWheelEvent* event) override {
    if (bar_) return;
    const QPointF about = valueAt(event->position().toPoint());
    zoom(event->angleDelta().y() > 0 ? 1.25 : 0.8, about);
    event->accept();
  }

  void keyPressEvent(QKeyEvent* event) override {
    if (bar_ || owner_.image().isNull()) return QChartView::keyPressEvent(event);
    if (event->matches(QKeySequence::ZoomIn) || event->key() == Qt::Key_Plus) return zoom(1.25);
    if (event->matches(QKeySequence::ZoomOut) || event->key() == Qt::Key_Minus) return zoom(0.8);
    const QImage& image = owner_.image();
    const double perColumn = (right_ - left_) / image.width();
    const double perRow = (top_ - bottom_) / image.height();
    int dx = 0, dy = 0;
    switch (event->key()) {
      case Qt::Key_Left:
        dx = -1;
        break;
      case Qt::Key_Right:
        dx = 1;
        break;
      case Qt::Key_Up:
        dy = 1;
        break;
      case Qt::Key_Down:
        dy = -1;
        break;
      case Qt::Key_Return:
      case Qt::Key_Enter:
      case Qt::Key_Space:
        if (crosshair_) pick(crosshair_->y());
        return;
      case Qt::Key_Home:
        fit();
        return;
      default:
        return QChartView::keyPressEvent(event);
    }
    // Point by point: the cross-hair steps from pixel centre to pixel centre.
    if (!crosshair_) {
      crosshair_ = QPointF(left_ + (std::floor(image.width() / 2.0) + 0.5) * perColumn,
                           bottom_ + (std::floor(image.height() / 2.0) + 0.5) * perRow);
    } else {
      crosshair_->rx() = std::clamp(crosshair_->x() + dx * perColumn, left_ + perColumn / 2,
                                    right_ - perColumn / 2);
      crosshair_->ry() =
          std::clamp(crosshair_->y() + dy * perRow, bottom_ + perRow / 2, top_ - perRow / 2);
    }
    // Keep it in view.
    if (crosshair_->x() < x_->min() || crosshair_->x() > x_->max() || crosshair_->y() < y_->min() ||
        crosshair_->y() > y_->max()) {
      centreX_ = crosshair_->x();
      centreY_ = crosshair_->y();
      applyRanges();
    }
    const QString text = owner_.pointText(crosshair_->x(), crosshair_->y());
    tell(text);
    owner_.map_->setAccessibleDescription(owner_.accessibleDescription() +
                                          QStringLiteral(" Cross-hair: ") + text + '.');
    viewport()->update();
  }

 private:
  QPointF position(double x, double y) { return chart()->mapToPosition(QPointF(x, y), anchor_); }

  void applyRanges() {
    if (bar_) return;
    const QRectF plot = chart()->plotArea();
    if (plot.width() < 2 || plot.height() < 2) return;
    if (!(scale_ > 0)) return fit();
    applied_ = plot.size();
    const double halfX = scale_ * plot.width() / 2, halfY = scale_ * plot.height() / 2;
    setRoundRange(*x_, centreX_ - halfX, centreX_ + halfX, static_cast<int>(plot.width() / 90));
    setRoundRange(*y_, centreY_ - halfY, centreY_ + halfY, static_cast<int>(plot.height() / 60));
    viewport()->update();
  }

  void tell(const QString& text) {
    if (owner_.status_) owner_.status_(text);
  }

  void pick(double y) {
    const int profile = owner_.profileAt(y);
    if (profile <= 0) return;
    owner_.markScanLine(profile);
    if (owner_.picked_) owner_.picked_(profile);
  }

  HeightMapView& owner_;
  bool bar_;
  QValueAxis* x_;
  QValueAxis* y_;
  QLineSeries* anchor_;
  double left_ = 0, right_ = 1, bottom_ = 0, top_ = 1;
  double centreX_ = 0.5, centreY_ = 0.5, scale_ = 0;  // units per pixel, the same both ways
  std::optional<QPointF> crosshair_;
  QSizeF applied_;  // the plot area's size the ranges were set for
  QPoint pressed_, lastDrag_;
  bool dragging_ = false;
};

HeightMapView::HeightMapView(QWidget* parent) : QWidget(parent) {
  setObjectName(QStringLiteral("heightMapView"));
  auto* layout = new QVBoxLayout(this);
  auto* tools = new QHBoxLayout;
  auto* fitButton = new QPushButton(tr("Fi&t"), this);
  fitButton->setObjectName(QStringLiteral("fit"));
  clip_ = new QCheckBox(tr("Clip c&olours to 1 %"), this);
  clip_->setObjectName(QStringLiteral("clipColours"));
  tools->addWidget(fitButton);
  tools->addWidget(clip_);
  tools->addStretch(1);
  layout->addLayout(tools);
  auto* maps = new QHBoxLayout;
  map_ = new MapChart(*this, false);
  map_->setObjectName(QStringLiteral("heightMap"));
  map_->setAccessibleName(tr("Height map"));
  bar_ = new MapChart(*this, true);
  bar_->setObjectName(QStringLiteral("colourBar"));
  bar_->setAccessibleName(tr("Colour bar"));
  bar_->setFixedWidth(140);
  maps->addWidget(map_, 1);
  maps->addWidget(bar_);
  layout->addLayout(maps, 1);
  connect(fitButton, &QPushButton::clicked, this, [this] { fit(); });
  connect(clip_, &QCheckBox::toggled, this, [this] {
    makeImage();
    describe();
  });
}

void HeightMapView::setSurface(SurfaceResultPtr surface) {
  surface_ = std::move(surface);
  profileY_.clear();
  marked_ = 0;
  if (surface_ && surface_->points) {
    // The y of each scan line (a strict drop in x starts the next), for picking them.
    const auto points = surface_->points->points();
    for (std::size_t i = 0; i < points.size(); ++i) {
      if (i == 0 || points[i - 1].x > points[i].x) profileY_.push_back(points[i].y);
    }
  }
  makeImage();
  if (surface_ && surface_->analysis.curves) {
    const HeightMap& map = surface_->analysis.curves->heightMap;
    const QString unit = unitSymbol(surface_->settings.unit);
    map_->x().setTitleText(QStringLiteral("x (%1)").arg(unit));
    map_->y().setTitleText(QStringLiteral("y (%1)").arg(unit));
    bar_->y().setTitleText(QStringLiteral("S (%1)").arg(unit));
    map_->setExtent(map.left, map.right, map.bottom, map.top);
  }
  describe();
}

void HeightMapView::makeImage() {
  image_ = QImage();
  if (!surface_ || !surface_->analysis.curves) return;
  const SurfaceCurves& curves = *surface_->analysis.curves;
  const HeightMap& map = curves.heightMap;
  if (map.columns == 0) return;
  low_ = map.low;
  high_ = map.high;
  if (clip_->isChecked() && curves.materialRatio.size() == MaterialRatioCurve::kSteps + 1) {
    // c(p) at p = 99.5 % and 0.5 %: the heights with that much of the surface above them.
    low_ = curves.materialRatio[995];
    high_ = curves.materialRatio[5];
  }
  const std::vector<std::int16_t> levels =
      clip_->isChecked() ? levelsBetween(map, low_, high_) : map.levels;
  image_ = QImage(static_cast<int>(map.columns), static_cast<int>(map.rows), QImage::Format_ARGB32);
  const QRgb grey = report::kNonMeasuredGrey.rgb();
  std::array<QRgb, 256> colours;
  for (int k = 0; k < 256; ++k) colours[static_cast<std::size_t>(k)] = report::viridis(k).rgb();
  for (std::size_t row = 0; row < map.rows; ++row) {
    auto* line = reinterpret_cast<QRgb*>(image_.scanLine(static_cast<int>(map.rows - 1 - row)));
    for (std::size_t column = 0; column < map.columns; ++column) {
      const std::int16_t level = levels[row * map.columns + column];
      line[column] = level == HeightMap::kEmpty         ? qRgba(0, 0, 0, 0)
                     : level == HeightMap::kNonMeasured ? grey
                                                        : colours[static_cast<std::size_t>(level)];
    }
  }
  setRoundRange(bar_->y(), low_, high_ > low_ ? high_ : low_ + 1, 6);
  map_->viewport()->update();
}

void HeightMapView::describe() {
  QString text;
  if (!surface_ || !surface_->analysis.curves ||
      surface_->analysis.curves->heightMap.columns == 0) {
    text = tr("Height map: no surface.");
  } else {
    const HeightMap& map = surface_->analysis.curves->heightMap;
    const QString unit = unitSymbol(surface_->settings.unit);
    text = tr("Height map of S, %1 by %2 %3: %4 x %5 pixels, colours from %6 to %7 %8")
               .arg(report::numberText(map.right - map.left),
                    report::numberText(map.top - map.bottom), unit)
               .arg(map.columns)
               .arg(map.rows)
               .arg(report::numberText(low_), report::numberText(high_), unit);
    if (map.nonMeasured > 0) {
      text += tr("; %1 non-measured points in grey").arg(map.nonMeasured);
    }
    text += QLatin1Char('.');
  }
  map_->setAccessibleDescription(text);
  setAccessibleDescription(text);
  bar_->setAccessibleDescription(
      surface_ ? tr("Colour bar of the height map: viridis from dark blue at %1 to yellow at %2 %3")
                     .arg(report::numberText(low_), report::numberText(high_),
                          unitSymbol(surface_->settings.unit))
               : QString());
}

QString HeightMapView::pointText(double x, double y) const {
  if (!surface_ || !surface_->analysis.curves || image_.isNull()) return {};
  const HeightMap& map = surface_->analysis.curves->heightMap;
  const QString unit = unitSymbol(surface_->settings.unit);
  QString text = QStringLiteral("x %1 %3, y %2 %3")
                     .arg(report::numberText(x, 6), report::numberText(y, 6), unit);
  if (x < map.left || x >= map.right || y < map.bottom || y >= map.top) return text;
  const auto column = static_cast<std::size_t>((x - map.left) / (map.right - map.left) *
                                               static_cast<double>(map.columns));
  const auto row = static_cast<std::size_t>((y - map.bottom) / (map.top - map.bottom) *
                                            static_cast<double>(map.rows));
  const std::size_t k =
      std::min(row, map.rows - 1) * map.columns + std::min(column, map.columns - 1);
  const std::int16_t level = map.levels[k];
  if (level == HeightMap::kNonMeasured) return text + tr(", not measured");
  if (level == HeightMap::kEmpty) return text + tr(", no point");
  return text + QStringLiteral(", S %1 %2").arg(report::numberText(map.values[k]), unit);
}

int HeightMapView::profileAt(double y) const {
  int best = 0;
  double nearest = 0;
  for (std::size_t k = 0; k < profileY_.size(); ++k) {
    const double d = std::fabs(profileY_[k] - y);
    if (best == 0 || d < nearest) best = static_cast<int>(k) + 1, nearest = d;
  }
  return best;
}

void HeightMapView::markScanLine(int profile) {
  marked_ = profile;
  map_->viewport()->update();
}

void HeightMapView::zoom(double factor) { map_->zoom(factor); }

void HeightMapView::fit() { map_->fit(); }

}  // namespace corvane::workspace
