#include "workspace/autocorrelation_view.h"

#include <QFontMetricsF>
#include <QGraphicsLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QStackedWidget>
#include <QtCharts/QCategoryAxis>
#include <QtCharts/QChart>
#include <QtCharts/QChartView>
#include <QtCharts/QLineSeries>
#include <algorithm>
#include <array>
#include <cmath>
#include <vector>

#include "report/chart_canvas.h"
#include "report/figure_drawings.h"
#include "workspace/surfaces_model.h"

namespace corvane::workspace {
namespace {

// Blue through white to red (ColorBrewer's RdBu, reversed, white in the middle): evenly spaced
// stops from -1 to 1.
constexpr std::array<std::array<int, 3>, 11> kDiverging = {{{5, 48, 97},
                                                            {33, 102, 172},
                                                            {67, 147, 195},
                                                            {146, 197, 222},
                                                            {209, 229, 240},
                                                            {255, 255, 255},
                                                            {253, 219, 199},
                                                            {244, 165, 130},
                                                            {214, 96, 77},
                                                            {178, 24, 43},
                                                            {103, 0, 31}}};

const QColor kOutline(0, 0, 0);
const QColor kHalo(255, 255, 255, 220);

// The colours of the bar, -1 at the foot; the middle one white.
QImage colourBar() {
  constexpr int kLevels = 257;
  QImage bar(1, kLevels, QImage::Format_RGB32);
  for (int k = 0; k < kLevels; ++k) {
    bar.setPixel(0, kLevels - 1 - k, autocorrelationColour(2.0 * k / (kLevels - 1) - 1));
  }
  return bar;
}

// The edge between the samples in the lobe and those not (or beyond the map), as runs of cell
// edges, in lengths: cell (column, row) spans half a spacing either side of its lag.
QPainterPath lobeOutline(const AutocorrelationMap& map) {
  QPainterPath path;
  const auto columns = static_cast<long>(map.columns), rows = static_cast<long>(map.rows);
  const auto in = [&](long column, long row) {
    return column >= 0 && column < columns && row >= 0 && row < rows &&
           map.lobe[static_cast<std::size_t>(row * columns + column)];
  };
  const double sx = map.spacingX, sy = map.spacingY;
  const double x0 = -(static_cast<double>(map.reachX()) + 0.5) * sx;
  const double y0 = -(static_cast<double>(map.reachY()) + 0.5) * sy;
  // Edges along x: between rows row - 1 and row; along y: between columns column - 1 and column.
  for (long row = 0; row <= rows; ++row) {
    for (long column = 0; column < columns;) {
      if (in(column, row - 1) == in(column, row)) {
        ++column;
        continue;
      }
      const long start = column;
      while (column < columns && in(column, row - 1) != in(column, row)) ++column;
      const double y = y0 + static_cast<double>(row) * sy;
      path.moveTo(x0 + static_cast<double>(start) * sx, y);
      path.lineTo(x0 + static_cast<double>(column) * sx, y);
    }
  }
  for (long column = 0; column <= columns; ++column) {
    for (long row = 0; row < rows;) {
      if (in(column - 1, row) == in(column, row)) {
        ++row;
        continue;
      }
      const long start = row;
      while (row < rows && in(column - 1, row) != in(column, row)) ++row;
      const double x = x0 + static_cast<double>(column) * sx;
      path.moveTo(x, y0 + static_cast<double>(start) * sy);
      path.lineTo(x, y0 + static_cast<double>(row) * sy);
    }
  }
  return path;
}

// The reason a surface has no map, in words.
QString reasonText(const SurfaceResult& surface) {
  const SurfaceAnalysis& analysis = surface.analysis;
  if (!analysis.ok) {
    return QStringLiteral("No autocorrelation: the file was not read (%1).")
        .arg(QString::fromStdString(analysis.error));
  }
  const StandardResult& standard = analysis.standard;
  QStringList reasons;
  if (standard.measured == 0) reasons << QStringLiteral("no measured points");
  for (const std::string& reason : standard.arealReasons) {
    reasons << QString::fromStdString(reason);
  }
  if (reasons.isEmpty()) reasons << QStringLiteral("no areal figures");
  QString text =
      QStringLiteral("No autocorrelation map: %1.").arg(reasons.join(QStringLiteral("; ")));
  if (!standard.grid && standard.measured > 0) {
    text += QStringLiteral(
        "\n\nThe autocorrelation, Sal and Str need the points on a regular grid: the same number "
        "of points on every scan line, evenly spaced along x, and the lines evenly spaced in y.");
  } else if (std::find(standard.arealReasons.begin(), standard.arealReasons.end(),
                       kAllHeightsEqual) != standard.arealReasons.end()) {
    text += QStringLiteral("\n\nWith every height the same, f has no lobe to measure.");
  }
  return text;
}

double lengthOf(const Lag& lag, const Grid& grid) {
  return std::hypot(static_cast<double>(lag.tx) * grid.dx, static_cast<double>(lag.ty) * grid.dy);
}

// Why Sal or Str is undefined, for the words beside them.
QString undefinedReason(const TextureDirection& texture) {
  if (texture.unpaired) return QString::fromUtf8(kUnpairedLag.data(), kUnpairedLag.size());
  if (!texture.decays) return QString::fromUtf8(kNoDecay.data(), kNoDecay.size());
  return QStringLiteral("no lag decays to 0.2");
}

}  // namespace

QRgb autocorrelationColour(double share) {
  if (std::isnan(share)) return report::kNonMeasuredGrey.rgb();
  const double at = (std::clamp(share, -1.0, 1.0) + 1) * 5;
  const auto k = std::min(static_cast<std::size_t>(at), kDiverging.size() - 2);
  const double t = at - static_cast<double>(k);
  const auto mix = [&](std::size_t c) {
    return static_cast<int>(
        std::lround(kDiverging[k][c] + t * (kDiverging[k + 1][c] - kDiverging[k][c])));
  };
  return qRgb(mix(0), mix(1), mix(2));
}

// A chart whose plot area holds an image under Qt Charts' axes: the map, at equal scale in tx dx
// and ty dy about (0, 0), with the lobe's outline, the decay lines and the figures drawn over
// it; or the colour bar with f on its axis.
class LagChart : public QChartView {
 public:
  LagChart(AutocorrelationView& owner, bool bar) : owner_(owner), bar_(bar) {
    auto* chart = new QChart;
    chart->legend()->hide();
    chart->setMargins(QMargins(4, 4, 4, 4));
    chart->layout()->setContentsMargins(0, 0, 0, 0);
    chart->setBackgroundRoundness(0);
    chart->setAnimationOptions(QChart::NoAnimation);
    x_ = axis(Qt::AlignBottom, chart);
    y_ = axis(bar ? Qt::AlignRight : Qt::AlignLeft, chart);
    // A series of no visible line, so that values map to positions through the axes.
    anchor_ = new QLineSeries;
    anchor_->setPen(Qt::NoPen);
    chart->addSeries(anchor_);
    anchor_->attachAxis(x_);
    anchor_->attachAxis(y_);
    if (bar) {
      x_->setVisible(false);
      x_->setRange(0, 1);
      // Room for half a label above and below the scale's ends.
      chart->setMargins(QMargins(4, 10, 4, 10));
    } else {
      chart->setTitleFont(report::textFont(9, true));
      chart->setTitle(QStringLiteral("Autocorrelation f(tx, ty) of S, the 0.2 lobe outlined"));
    }
    setChart(chart);
    setRenderHint(QPainter::Antialiasing, true);
    setFocusPolicy(Qt::NoFocus);
    connect(chart, &QChart::plotAreaChanged, this, [this] { fit(); });
  }

  QCategoryAxis& x() { return *x_; }
  QCategoryAxis& y() { return *y_; }

  // The map reaches halfX and halfY either side of 0; the axes then fit it at equal scale.
  void setExtent(double halfX, double halfY) {
    halfX_ = halfX;
    halfY_ = halfY;
    fit(true);
  }

  // The bar's scale: -largest .. largest.
  void setScale(double largest) {
    y_->setRange(-largest, largest);
    report::roundTicks(*y_, report::niceStep(-largest, largest, 6));
    viewport()->update();
  }

 protected:
  void drawForeground(QPainter* painter, const QRectF&) override {
    const QRectF plot = chart()->plotArea();
    painter->save();
    painter->setClipRect(plot);
    if (bar_) {
      static const QImage colours = colourBar();
      painter->setRenderHint(QPainter::SmoothPixmapTransform, true);
      const double low = y_->min(), high = y_->max();
      painter->drawImage(QRectF(position(0, high), position(1, low)), colours);
      // The lobe's level, in the outline's colour.
      if (kAutocorrelationThreshold < high) {
        const double y = position(0, kAutocorrelationThreshold).y();
        painter->setPen(QPen(kOutline, 1.5));
        painter->drawLine(QPointF(plot.left(), y), QPointF(plot.right(), y));
      }
      painter->restore();
      return;
    }
    const QImage& image = owner_.image();
    if (!image.isNull() && halfX_ > 0 && halfY_ > 0) drawMap(*painter, plot, image);
    painter->restore();
  }

 private:
  static QCategoryAxis* axis(Qt::Alignment side, QChart* chart) {
    auto* axis = new QCategoryAxis;
    axis->setLabelsPosition(QCategoryAxis::AxisLabelsPositionOnValue);
    axis->setLabelsFont(report::textFont(8));
    axis->setTitleFont(report::textFont(8));
    axis->setGridLineColor(QColor(225, 225, 225));
    axis->setMinorTickCount(0);
    chart->addAxis(axis, side);
    return axis;
  }

  QPointF position(double x, double y) { return chart()->mapToPosition(QPointF(x, y), anchor_); }

  // Equal scale: the extent fills the plot area along one axis, the other range widens about 0.
  void fit(bool always = false) {
    if (bar_) return;
    const QRectF plot = chart()->plotArea();
    if (plot.width() < 2 || plot.height() < 2 || !(halfX_ > 0) || !(halfY_ > 0)) return;
    const double perPixel = std::max(2 * halfX_ / plot.width(), 2 * halfY_ / plot.height());
    const double x = perPixel * plot.width() / 2, y = perPixel * plot.height() / 2;
    // Set again only on a real change, so that relabelled ticks settle the layout.
    const auto same = [](double a, double b) { return std::fabs(a - b) <= 1e-9 * std::fabs(b); };
    if (!always && same(x_->max(), x) && same(y_->max(), y)) return;
    x_->setRange(-x, x);
    y_->setRange(-y, y);
    const auto ticks = [](double pixels) {
      return std::clamp(static_cast<int>(pixels / 80), 2, 8);
    };
    report::roundTicks(*x_, report::niceStep(-x, x, ticks(plot.width())));
    report::roundTicks(*y_, report::niceStep(-y, y, ticks(plot.height())));
    // The label under the right end reaches half its width past the plot area: room for it.
    const QStringList labels = x_->categoriesLabels();
    QMargins margins = chart()->margins();
    const double half =
        labels.isEmpty() ? 0 : QFontMetricsF(x_->labelsFont()).horizontalAdvance(labels.back()) / 2;
    margins.setRight(std::max(4, static_cast<int>(std::ceil(half)) + 2));
    chart()->setMargins(margins);
    viewport()->update();
  }

  void drawMap(QPainter& painter, const QRectF& plot, const QImage& image) {
    const AutocorrelationMap& map = *owner_.surface_->analysis.curves->autocorrelation;
    const Grid& grid = *owner_.surface_->analysis.standard.grid;
    const QPointF centre = position(0, 0);
    const double perX = (position(halfX_, 0).x() - centre.x()) / halfX_;
    const double perY = (position(0, halfY_).y() - centre.y()) / halfY_;  // below 0: y rises up
    const QTransform toPlot(perX, 0, 0, perY, centre.x(), centre.y());
    painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
    painter.drawImage(QRectF(position(-halfX_, halfY_), position(halfX_, -halfY_)), image);
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(kOutline, 1.5));
    painter.drawPath(toPlot.map(owner_.outline_));

    // The decay lines, each with its length beside its far end.
    const TextureDirection& texture = map.texture;
    const QFont font = report::textFont(8);
    const QFontMetricsF metrics(font);
    painter.setFont(font);
    std::vector<QRectF> taken;
    const auto decayLine = [&](const Lag& lag, const QString& what, Qt::PenStyle style) {
      const QPointF end = toPlot.map(
          QPointF(static_cast<double>(lag.tx) * grid.dx, static_cast<double>(lag.ty) * grid.dy));
      painter.setPen(QPen(kHalo, 4, Qt::SolidLine, Qt::RoundCap));
      painter.drawLine(centre, end);
      painter.setPen(QPen(kOutline, 2, style, Qt::FlatCap));
      painter.drawLine(centre, end);
      const QString text = QStringLiteral("%1 %2 %3")
                               .arg(what, report::numberText(lengthOf(lag, grid)), owner_.unit_);
      // Beyond the end, on the side the line points to; moved clear of a label already placed.
      const QSizeF size(metrics.horizontalAdvance(text) + 8, metrics.height() + 4);
      QPointF direction = end - centre;
      const double length = std::hypot(direction.x(), direction.y());
      direction = length > 0 ? direction / length : QPointF(1, 0);
      const QPointF at = end + direction * 6;
      QRectF box(QPointF(direction.x() >= 0 ? at.x() : at.x() - size.width(),
                         direction.y() >= 0 ? at.y() : at.y() - size.height()),
                 size);
      for (const QRectF& other : taken) {
        if (box.intersects(other)) box.moveTop(other.bottom() + 2);
      }
      box.moveLeft(std::clamp(box.left(), plot.left() + 2, plot.right() - size.width() - 2));
      box.moveTop(std::clamp(box.top(), plot.top() + 2, plot.bottom() - size.height() - 2));
      taken.push_back(box);
      painter.setPen(Qt::NoPen);
      painter.setBrush(kHalo);
      painter.drawRect(box);
      painter.setBrush(Qt::NoBrush);
      painter.setPen(kOutline);
      painter.drawText(box, Qt::AlignCenter, text);
    };
    if (texture.shortest && std::isfinite(texture.sal)) {
      decayLine(*texture.shortest, QStringLiteral("shortest"), Qt::SolidLine);
    }
    if (texture.longest && std::isfinite(texture.str)) {
      decayLine(*texture.longest, QStringLiteral("longest"), Qt::DashLine);
    }

    // Sal and Str in the first corner clear of the labels.
    QStringList lines;
    lines << QStringLiteral("Sal %1").arg(std::isfinite(texture.sal)
                                              ? report::numberText(texture.sal) + ' ' + owner_.unit_
                                              : QStringLiteral("undefined"))
          << QStringLiteral("Str %1").arg(std::isfinite(texture.str)
                                              ? report::numberText(texture.str)
                                              : QStringLiteral("undefined"));
    if (!std::isfinite(texture.sal) || !std::isfinite(texture.str)) {
      lines << undefinedReason(texture);
    }
    if (owner_.unpaired_) lines << QStringLiteral("grey: lags without measured pairs");
    const QFont bold = report::textFont(9, true);
    const QFontMetricsF boldMetrics(bold);
    double width = 0;
    for (const QString& line : lines) width = std::max(width, boldMetrics.horizontalAdvance(line));
    const QSizeF size(width + 12, boldMetrics.height() * static_cast<double>(lines.size()) + 8);
    const QRectF inside = plot.adjusted(4, 4, -4, -4);
    const std::array<QRectF, 4> corners = {
        QRectF(inside.topLeft(), size), QRectF(inside.topRight() - QPointF(size.width(), 0), size),
        QRectF(inside.bottomLeft() - QPointF(0, size.height()), size),
        QRectF(inside.bottomRight() - QPointF(size.width(), size.height()), size)};
    QRectF box = corners[0];
    for (const QRectF& corner : corners) {
      if (std::none_of(taken.begin(), taken.end(),
                       [&](const QRectF& label) { return label.intersects(corner); })) {
        box = corner;
        break;
      }
    }
    painter.setPen(QPen(QColor(120, 120, 120), 1));
    painter.setBrush(kHalo);
    painter.drawRect(box);
    painter.setPen(kOutline);
    painter.setFont(bold);
    painter.drawText(box.adjusted(6, 4, -6, -4), Qt::AlignLeft | Qt::AlignVCenter,
                     lines.join(QLatin1Char('\n')));
  }

  AutocorrelationView& owner_;
  bool bar_;
  QCategoryAxis* x_;
  QCategoryAxis* y_;
  QLineSeries* anchor_;
  double halfX_ = 0, halfY_ = 0;
};

AutocorrelationView::AutocorrelationView(QWidget* parent) : QWidget(parent) {
  auto* layout = new QHBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  pages_ = new QStackedWidget(this);
  layout->addWidget(pages_);
  reason_ = new QLabel(pages_);
  reason_->setObjectName(QStringLiteral("autocorrelationReason"));
  reason_->setWordWrap(true);
  reason_->setAlignment(Qt::AlignCenter);
  reason_->setMargin(24);
  pages_->addWidget(reason_);
  auto* charts = new QWidget(pages_);
  auto* row = new QHBoxLayout(charts);
  row->setContentsMargins(0, 0, 0, 0);
  map_ = new LagChart(*this, false);
  map_->setObjectName(QStringLiteral("autocorrelationMap"));
  map_->setAccessibleName(QStringLiteral("Autocorrelation map"));
  bar_ = new LagChart(*this, true);
  bar_->setObjectName(QStringLiteral("autocorrelationColourBar"));
  bar_->setAccessibleName(QStringLiteral("Colour bar"));
  bar_->y().setTitleText(QStringLiteral("f"));
  bar_->setFixedWidth(110);
  row->addWidget(map_, 1);
  row->addWidget(bar_);
  pages_->addWidget(charts);
  pages_->setCurrentWidget(reason_);
  setFocusPolicy(Qt::TabFocus);
  describe();
}

void AutocorrelationView::setSurface(SurfaceResultPtr surface) {
  surface_ = std::move(surface);
  image_ = QImage();
  outline_ = QPainterPath();
  const bool shown = surface_ && surface_->analysis.ok && surface_->analysis.curves &&
                     surface_->analysis.curves->autocorrelation && surface_->analysis.standard.grid;
  if (!shown) {
    reason_->setText(surface_ ? reasonText(*surface_) : QString());
    pages_->setCurrentWidget(reason_);
    describe();
    return;
  }
  const SurfaceAnalysis& analysis = surface_->analysis;
  const AutocorrelationMap& map = *analysis.curves->autocorrelation;
  unit_ = unitSymbol(analysis.unitKnown ? analysis.unit : surface_->settings.unit);

  // A pixel per sample, the highest ty at the top; the colours symmetric about 0.
  unpaired_ =
      std::any_of(map.values.begin(), map.values.end(), [](float f) { return std::isnan(f); });
  image_ = QImage(static_cast<int>(map.columns), static_cast<int>(map.rows), QImage::Format_RGB32);
  for (std::size_t row = 0; row < map.rows; ++row) {
    auto* line = reinterpret_cast<QRgb*>(image_.scanLine(static_cast<int>(map.rows - 1 - row)));
    for (std::size_t column = 0; column < map.columns; ++column) {
      line[column] = autocorrelationColour(map.values[row * map.columns + column] / map.largest);
    }
  }
  // The outline's y runs up like the axis: the transform to the plot turns it over.
  outline_ = lobeOutline(map);

  map_->x().setTitleText(QStringLiteral("lag tx·dx (%1)").arg(unit_));
  map_->y().setTitleText(QStringLiteral("lag ty·dy (%1)").arg(unit_));
  map_->setExtent((static_cast<double>(map.reachX()) + 0.5) * map.spacingX,
                  (static_cast<double>(map.reachY()) + 0.5) * map.spacingY);
  bar_->setScale(map.largest);
  pages_->setCurrentIndex(1);
  map_->viewport()->update();
  describe();
}

void AutocorrelationView::describe() {
  QString text;
  if (!surface_) {
    text = QStringLiteral("Autocorrelation: no surface.");
  } else if (image_.isNull()) {
    text = reason_->text().section(QLatin1Char('\n'), 0, 0);
  } else {
    const AutocorrelationMap& map = *surface_->analysis.curves->autocorrelation;
    const Grid& grid = *surface_->analysis.standard.grid;
    const TextureDirection& texture = map.texture;
    const auto length = [&](double value) {
      return report::numberText(value) + QLatin1Char(' ') + unit_;
    };
    text = QStringLiteral("Autocorrelation of S over lags to %1 along x and %2 along y, ")
               .arg(length(static_cast<double>(map.reachX()) * map.spacingX),
                    length(static_cast<double>(map.reachY()) * map.spacingY));
    if (texture.unpaired) {
      text += QStringLiteral("the 0.2 lobe meets a lag without measured pairs");
    } else if (texture.shortest && !texture.decays) {
      text += QStringLiteral(
                  "the 0.2 lobe reaches %1 at its nearest and runs to the edge of the "
                  "data")
                  .arg(length(lengthOf(*texture.shortest, grid)));
    } else if (texture.shortest && texture.longest) {
      text += QStringLiteral("the 0.2 lobe reaches %1 at its nearest and %2 at its farthest")
                  .arg(length(lengthOf(*texture.shortest, grid)),
                       length(lengthOf(*texture.longest, grid)));
    } else {
      text += QStringLiteral("the 0.2 lobe has no edge");
    }
    text += QStringLiteral("; Sal %1, Str %2")
                .arg(std::isfinite(texture.sal) ? length(texture.sal) : QStringLiteral("undefined"),
                     std::isfinite(texture.str) ? report::numberText(texture.str)
                                                : QStringLiteral("undefined"));
    if (!std::isfinite(texture.sal) || !std::isfinite(texture.str)) {
      text += QStringLiteral(" (%1)").arg(undefinedReason(texture));
    }
    text += QLatin1Char('.');
  }
  setAccessibleDescription(text);
  map_->setAccessibleDescription(text);
}

}  // namespace corvane::workspace
