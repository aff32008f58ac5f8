#include "report/figure_drawings.h"

#include <QtCharts/QAreaSeries>
#include <QtCharts/QLogValueAxis>
#include <algorithm>
#include <cmath>
#include <numbers>

#include "report/chart_canvas.h"
#include "report/viridis.h"

namespace corvane::report {
namespace {

const QColor kInk(40, 40, 40);
const QColor kAccent(200, 60, 40);
const QColor kCurve(30, 90, 160);

QPen pen(const QColor& colour, double width, Qt::PenStyle style = Qt::SolidLine) {
  QPen p(colour, width, style);
  p.setCosmetic(false);
  return p;
}

// A note in small type at a point of the chart, drawn after the chart.
void note(QPainter& painter, const QPointF& at, const QString& text, const QColor& colour,
          Qt::Alignment align = Qt::AlignLeft | Qt::AlignBottom) {
  painter.save();
  painter.setFont(textFont(5.5));
  painter.setPen(colour);
  const QRectF box(at.x() - (align & Qt::AlignRight ? 200 : 0), at.y() - 20, 200, 20);
  painter.drawText(box, static_cast<int>(align), text);
  painter.restore();
}

// A curve with gaps where its heights are NaN (non-measured points): a series for each run of
// measured points. Returns the first.
QLineSeries* brokenLine(ChartCanvas& canvas, const std::vector<QPointF>& points, const QPen& style,
                        QAbstractAxis* x, QAbstractAxis* y) {
  QLineSeries* first = nullptr;
  std::vector<QPointF> run;
  const auto flush = [&] {
    if (run.empty()) return;
    QLineSeries* series = canvas.line(run, style, x, y);
    if (first == nullptr) first = series;
    run.clear();
  };
  for (const QPointF& p : points) {
    if (std::isnan(p.y())) {
      flush();
    } else {
      run.push_back(p);
    }
  }
  flush();
  return first != nullptr ? first : canvas.line({}, style, x, y);
}

// A filled area between two lines, as the Rk construction's triangles.
void area(ChartCanvas& canvas, const std::vector<QPointF>& upper, const std::vector<QPointF>& lower,
          const QColor& fill, QAbstractAxis* x, QAbstractAxis* y) {
  auto* top = new QLineSeries;
  top->replace(QList<QPointF>(upper.begin(), upper.end()));
  auto* bottom = new QLineSeries;
  bottom->replace(QList<QPointF>(lower.begin(), lower.end()));
  auto* series = new QAreaSeries(top, bottom);
  series->setBrush(fill);
  series->setPen(pen(fill.darker(130), 0.6));
  canvas.chart().addSeries(series);
  series->attachAxis(x);
  series->attachAxis(y);
}

}  // namespace

QImage heightMapImage(const HeightMap& map, const QColor& nonMeasured) {
  // Without empty cells (a grid, or points that fill the raster) no transparency is needed,
  // which spares the PDF a mask as large as the image.
  const bool empty =
      std::find(map.levels.begin(), map.levels.end(), HeightMap::kEmpty) != map.levels.end() ||
      (nonMeasured.alpha() < 255 && map.nonMeasured > 0);
  const QRgb hole = nonMeasured.rgba();
  QImage image(static_cast<int>(map.columns), static_cast<int>(map.rows),
               empty ? QImage::Format_ARGB32 : QImage::Format_RGB32);
  image.fill(Qt::transparent);
  for (std::size_t row = 0; row < map.rows; ++row) {
    // Image rows run down from the highest y.
    auto* line = reinterpret_cast<QRgb*>(image.scanLine(static_cast<int>(map.rows - 1 - row)));
    for (std::size_t column = 0; column < map.columns; ++column) {
      const std::int16_t level = map.levels[row * map.columns + column];
      if (level == HeightMap::kNonMeasured) {
        line[column] = hole;
      } else if (level != HeightMap::kEmpty) {
        line[column] = viridis(level).rgb();
      }
    }
  }
  return image;
}

QString surfaceCaption(const StandardResult& result) {
  if (result.scaleLimited) return QStringLiteral("S, the S-L surface");
  if (result.settings.form == 1) return QStringLiteral("S, height above the plane");
  return QStringLiteral("S, height above the form of degree %1").arg(result.settings.form);
}

void drawHeightMap(QPainter& painter, const QRectF& rect, const HeightMap& map,
                   const UnitNames& units, const QString& surface) {
  if (map.columns == 0) return drawNothing(painter, rect, QStringLiteral("no points"));
  const double barWidth = 96;
  // Non-measured points are named in a line of their own under the map, beside a swatch of
  // their grey.
  const double noteHeight = map.nonMeasured > 0 ? 12 : 0;
  ChartCanvas canvas(QSizeF(rect.width() - barWidth, rect.height() - noteHeight),
                     QStringLiteral("Height map: %1").arg(surface));
  const double xSpan = map.right - map.left, ySpan = map.top - map.bottom;
  QCategoryAxis* x = canvas.valueAxis(Qt::AlignBottom, QStringLiteral("x (%1)").arg(units.many),
                                      map.left, map.right);
  QCategoryAxis* y = canvas.valueAxis(Qt::AlignLeft, QStringLiteral("y (%1)").arg(units.many),
                                      map.bottom, map.top);
  QLineSeries* corners =
      canvas.line({{map.left, map.bottom}, {map.right, map.top}}, QPen(Qt::NoPen), x, y);
  canvas.layOut();

  // Equal scale: the longer side per pixel sets both, the other range widens about its centre.
  const QRectF plot = canvas.plotArea();
  const double perPixel = std::max(xSpan / plot.width(), ySpan / plot.height());
  const double xMid = (map.left + map.right) / 2, yMid = (map.bottom + map.top) / 2;
  x->setRange(xMid - perPixel * plot.width() / 2, xMid + perPixel * plot.width() / 2);
  y->setRange(yMid - perPixel * plot.height() / 2, yMid + perPixel * plot.height() / 2);
  roundTicks(*x, niceStep(x->min(), x->max(), 6));
  roundTicks(*y, niceStep(y->min(), y->max(), 5));
  canvas.layOut();
  const QPointF topLeft = canvas.position({map.left, map.top}, corners);
  const QPointF bottomRight = canvas.position({map.right, map.bottom}, corners);
  canvas.render(painter, rect.topLeft());
  painter.save();
  painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
  painter.drawImage(QRectF(rect.topLeft() + topLeft, rect.topLeft() + bottomRight),
                    heightMapImage(map));
  if (map.nonMeasured > 0) {
    const double share =
        100.0 * static_cast<double>(map.nonMeasured) / static_cast<double>(map.points);
    const QPointF at(rect.left() + topLeft.x(), rect.bottom() - noteHeight + 2);
    painter.fillRect(QRectF(at, QSizeF(8, 8)), kNonMeasuredGrey);
    painter.setFont(textFont(6.5));
    painter.setPen(kInk);
    painter.drawText(QRectF(at + QPointF(12, -2), QSizeF(rect.width(), noteHeight)),
                     Qt::AlignLeft | Qt::AlignTop,
                     QStringLiteral("not measured: %1 points (%2 %)")
                         .arg(map.nonMeasured)
                         .arg(numberText(share, 3)));
  }
  painter.restore();

  // The colour bar: a chart of its own whose plot area holds the colours, low at the foot, with
  // S on its axis. Laid out once to learn its margins, then again so that its plot area spans
  // the image's height.
  const double high = map.high > map.low ? map.high : map.low + 1;
  const double imageTop = topLeft.y(), imageHeight = bottomRight.y() - topLeft.y();
  QSizeF barSize(barWidth, imageHeight + 40);
  QRectF barPlot;
  for (int pass = 0; pass < 2; ++pass) {
    ChartCanvas bar(barSize, QString());
    QCategoryAxis* across = bar.valueAxis(Qt::AlignBottom, QString(), 0, 1);
    across->setVisible(false);
    QCategoryAxis* scale = bar.valueAxis(Qt::AlignRight, QStringLiteral("S"), map.low, high);
    bar.line({{0, map.low}, {1, high}}, QPen(Qt::NoPen), across, scale);
    bar.layOut();
    barPlot = bar.plotArea();
    if (pass == 0) {
      barSize.setHeight(imageHeight + barPlot.top() + (barSize.height() - barPlot.bottom()));
      continue;
    }
    const QPointF barAt(rect.right() - barWidth, rect.top() + imageTop - barPlot.top());
    bar.render(painter, barAt);
    barPlot.translate(barAt);
  }
  QImage colours(1, 256, QImage::Format_RGB32);
  for (int k = 0; k < 256; ++k) colours.setPixel(0, 255 - k, viridis(k).rgb());
  painter.save();
  painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
  painter.drawImage(barPlot, colours);
  painter.restore();
}

void drawProfile(QPainter& painter, const QRectF& rect, const ProfileCurves& profile, double cutoff,
                 int profiles, const UnitNames& units, bool robust) {
  const std::size_t n = profile.x.size();
  std::vector<QPointF> primary(n), meanLine(n), roughness(n);
  double low = 0, high = 0, rLow = 0, rHigh = 0;
  for (std::size_t i = 0; i < n; ++i) {
    primary[i] = {profile.x[i], profile.primary[i]};
    meanLine[i] = {profile.x[i], profile.meanLine[i]};
    roughness[i] = {profile.x[i], profile.roughness[i]};
    if (std::isnan(profile.primary[i])) continue;  // not measured: a gap in the curves
    low = std::min({low, profile.primary[i], profile.meanLine[i]});
    high = std::max({high, profile.primary[i], profile.meanLine[i]});
    rLow = std::min(rLow, profile.roughness[i]);
    rHigh = std::max(rHigh, profile.roughness[i]);
  }
  const double x0 = profile.x.front(), x1 = profile.x.back();
  const QString caption = QStringLiteral(
                              "Profile %1 of %2 (y %3): primary profile P and its "
                              "%5 mean line, cut-off %4")
                              .arg(profile.profile)
                              .arg(profiles)
                              .arg(numberText(profile.y, 4))
                              .arg(numberText(cutoff))
                              .arg(robust ? QStringLiteral("robust") : QStringLiteral("Gaussian"));
  const double split = rect.height() * 0.45;
  {
    ChartCanvas canvas(QSizeF(rect.width(), split), caption);
    QCategoryAxis* x = canvas.valueAxis(Qt::AlignBottom, QString(), x0, x1);
    QCategoryAxis* y = canvas.valueAxis(Qt::AlignLeft, QStringLiteral("P"), low, high);
    brokenLine(canvas, primary, pen(kCurve, 0.7), x, y);
    brokenLine(canvas, meanLine, pen(kAccent, 1.0), x, y);
    canvas.render(painter, rect.topLeft());
  }
  ChartCanvas canvas(QSizeF(rect.width(), rect.height() - split),
                     QStringLiteral("Roughness profile R = P - mean line: evaluation length "
                                    "(solid), sampling lengths (dotted), Rp and Rv (dashed)"));
  QCategoryAxis* x =
      canvas.valueAxis(Qt::AlignBottom, QStringLiteral("x (%1)").arg(units.many), x0, x1);
  QCategoryAxis* y = canvas.valueAxis(Qt::AlignLeft, QStringLiteral("R"), rLow, rHigh);
  const double start = profile.x[profile.first], end = profile.x[profile.last - 1];
  QLineSeries* r = brokenLine(canvas, roughness, pen(kCurve, 0.7), x, y);
  canvas.line({{start, profile.rp}, {end, profile.rp}}, pen(kAccent, 0.8, Qt::DashLine), x, y);
  canvas.line({{start, -profile.rv}, {end, -profile.rv}}, pen(kAccent, 0.8, Qt::DashLine), x, y);
  canvas.layOut();
  const QPointF rpAt = canvas.position({end, profile.rp}, r);
  const QPointF rvAt = canvas.position({end, -profile.rv}, r);
  const QPointF offset = rect.topLeft() + QPointF(0, split);
  canvas.render(painter, offset);
  // The sampling lengths' ends and the evaluation length, straight onto the page: a series
  // each would cost the chart a layout each.
  painter.save();
  const auto mark = [&](double at, const QPen& style) {
    painter.setPen(style);
    painter.drawLine(offset + canvas.position({at, rLow}, r),
                     offset + canvas.position({at, rHigh}, r));
  };
  for (const double at : profile.boundaries) mark(at, pen(kInk, 0.5, Qt::DotLine));
  for (const double at : {start, end}) mark(at, pen(kInk, 0.8));
  painter.restore();
  note(painter, offset + rpAt + QPointF(2, 0), QStringLiteral("Rp"), kAccent);
  note(painter, offset + rvAt + QPointF(2, 10), QStringLiteral("-Rv"), kAccent);
}

void drawMaterialRatio(QPainter& painter, const QRectF& rect, const SurfaceCurves& curves,
                       const ArealFigures& areal, const UnitNames& units) {
  const std::vector<double>& c = curves.materialRatio;
  if (c.empty()) return drawNothing(painter, rect, QStringLiteral("no heights"));
  const RkConstruction& rk = curves.rk;
  const double textWidth = 88;
  ChartCanvas canvas(QSizeF(rect.width() - textWidth, rect.height()),
                     QStringLiteral("Material ratio curve of S, Rk construction"));
  const double top = std::max(c.front(), rk.upper + rk.peaks);
  const double bottom = std::min(c.back(), rk.lower - rk.valleys);
  QCategoryAxis* x =
      canvas.valueAxis(Qt::AlignBottom, QStringLiteral("material ratio (%)"), 0, 100);
  roundTicks(*x, 20);
  QCategoryAxis* y =
      canvas.valueAxis(Qt::AlignLeft, QStringLiteral("height (%1)").arg(units.many), bottom, top);
  std::vector<QPointF> curve(c.size());
  for (std::size_t j = 0; j < c.size(); ++j) curve[j] = {static_cast<double>(j) / 10.0, c[j]};
  // The triangles whose areas equal A1 and A2: over Mr1 at the peak side, over 100 - Mr2 at the
  // valley side, Rpk and Rvk high.
  area(canvas, {{0, rk.upper + rk.peaks}, {rk.mr1, rk.upper}}, {{0, rk.upper}, {rk.mr1, rk.upper}},
       QColor(200, 60, 40, 70), x, y);
  area(canvas, {{rk.mr2, rk.lower}, {100, rk.lower}},
       {{rk.mr2, rk.lower}, {100, rk.lower - rk.valleys}}, QColor(30, 90, 160, 70), x, y);
  QLineSeries* line = canvas.line(curve, pen(kCurve, 1.1), x, y);
  canvas.line({{0, rk.upper}, {100, rk.lower}}, pen(kInk, 0.7, Qt::DashLine), x, y);
  canvas.line({{0, rk.upper}, {100, rk.upper}}, pen(kInk, 0.5, Qt::DotLine), x, y);
  canvas.line({{0, rk.lower}, {100, rk.lower}}, pen(kInk, 0.5, Qt::DotLine), x, y);
  canvas.line({{rk.mr1, bottom}, {rk.mr1, rk.upper}}, pen(kAccent, 0.6, Qt::DotLine), x, y);
  canvas.line({{rk.mr2, bottom}, {rk.mr2, rk.lower}}, pen(kAccent, 0.6, Qt::DotLine), x, y);
  canvas.layOut();
  const QPointF u = canvas.position({100, rk.upper}, line);
  const QPointF v = canvas.position({100, rk.lower}, line);
  const QPointF mr1 = canvas.position({rk.mr1, bottom}, line);
  const QPointF mr2 = canvas.position({rk.mr2, bottom}, line);
  canvas.render(painter, rect.topLeft());
  const QPointF at = rect.topLeft();
  note(painter, at + u + QPointF(-2, -1), QStringLiteral("U"), kInk,
       Qt::AlignRight | Qt::AlignBottom);
  note(painter, at + v + QPointF(-2, -1), QStringLiteral("V"), kInk,
       Qt::AlignRight | Qt::AlignBottom);
  note(painter, at + mr1 + QPointF(2, -2), QStringLiteral("Smr1"), kAccent);
  note(painter, at + mr2 + QPointF(2, -2), QStringLiteral("Smr2"), kAccent);

  painter.save();
  painter.setFont(textFont(6.5));
  painter.setPen(kInk);
  const QString lines[] = {QStringLiteral("Sk   %1").arg(numberText(areal[figure::Sk])),
                           QStringLiteral("Spk  %1").arg(numberText(areal[figure::Spk])),
                           QStringLiteral("Svk  %1").arg(numberText(areal[figure::Svk])),
                           QStringLiteral("Smr1 %1 %").arg(numberText(areal[figure::Smr1])),
                           QStringLiteral("Smr2 %1 %").arg(numberText(areal[figure::Smr2])),
                           QStringLiteral("secant from %1 %").arg(numberText(rk.secantStart)),
                           QStringLiteral("heights in %1").arg(units.many)};
  double y0 = rect.top() + 24;
  for (const QString& text : lines) {
    painter.drawText(QPointF(rect.right() - textWidth + 6, y0), text);
    y0 += 11;
  }
  painter.restore();
}

void drawHistogram(QPainter& painter, const QRectF& rect, const Histogram& histogram,
                   const UnitNames& units) {
  if (histogram.counts.empty()) return drawNothing(painter, rect, QStringLiteral("no heights"));
  const double n = static_cast<double>(histogram.total);
  std::vector<QPointF> steps, base;
  double most = 0;
  for (std::size_t k = 0; k < histogram.counts.size(); ++k) {
    const double from = histogram.start + static_cast<double>(k) * histogram.width;
    const double density = static_cast<double>(histogram.counts[k]) / (n * histogram.width);
    steps.push_back({from, density});
    steps.push_back({from + histogram.width, density});
    most = std::max(most, density);
  }
  base = {{steps.front().x(), 0}, {steps.back().x(), 0}};
  std::vector<QPointF> normal;
  const double sigma = histogram.sq;
  const double lo = histogram.start,
               hi =
                   histogram.start + histogram.width * static_cast<double>(histogram.counts.size());
  if (sigma > 0) {
    for (int k = 0; k <= 200; ++k) {
      const double h = lo + (hi - lo) * k / 200.0;
      const double u = (h - histogram.mean) / sigma;
      const double density = std::exp(-0.5 * u * u) / (sigma * std::sqrt(2 * std::numbers::pi));
      normal.push_back({h, density});
      most = std::max(most, density);
    }
  }
  ChartCanvas canvas(rect.size(),
                     QStringLiteral("Height distribution of S (%1 bins), normal density")
                         .arg(histogram.counts.size()));
  QCategoryAxis* x =
      canvas.valueAxis(Qt::AlignBottom, QStringLiteral("S (%1)").arg(units.many), lo, hi);
  QCategoryAxis* y = canvas.valueAxis(
      Qt::AlignLeft, QStringLiteral("density (1/%1)").arg(units.one), 0, most * 1.05);
  area(canvas, steps, base, QColor(30, 90, 160, 110), x, y);
  if (!normal.empty()) canvas.line(normal, pen(kAccent, 1.0), x, y);
  canvas.render(painter, rect.topLeft());
}

void drawSpectrum(QPainter& painter, const QRectF& rect, const Spectrum& spectrum, double cutoff,
                  const UnitNames& units) {
  std::vector<QPointF> points;
  double low = 0, high = 0;
  for (std::size_t k = 1; k < spectrum.frequency.size(); ++k) {
    const double d = spectrum.density[k];
    if (!(d > 0)) continue;  // a log axis has no place for 0
    points.push_back({spectrum.frequency[k], d});
    low = points.size() == 1 ? d : std::min(low, d);
    high = std::max(high, d);
  }
  if (points.empty()) return drawNothing(painter, rect, QStringLiteral("no spectrum"));
  ChartCanvas canvas(rect.size(),
                     QStringLiteral("PSD of P: Hann window, mean of %1 profiles of %2 points")
                         .arg(spectrum.profiles)
                         .arg(spectrum.length));
  const auto logAxis = [&](Qt::Alignment side, const QString& title, double min, double max) {
    auto* axis = new QLogValueAxis;
    axis->setBase(10);
    axis->setRange(std::pow(10, std::floor(std::log10(min))),
                   std::pow(10, std::ceil(std::log10(max))));
    axis->setLabelFormat(QStringLiteral("%g"));
    axis->setLabelsFont(textFont(6));
    axis->setTitleFont(textFont(6.5));
    axis->setTitleText(title);
    axis->setMinorTickCount(-1);
    axis->setGridLineColor(QColor(225, 225, 225));
    axis->setMinorGridLineColor(QColor(242, 242, 242));
    canvas.chart().addAxis(axis, side);
    return axis;
  };
  QLogValueAxis* x =
      logAxis(Qt::AlignBottom, QStringLiteral("spatial frequency (1/%1)").arg(units.one),
              points.front().x(), points.back().x());
  QLogValueAxis* y = logAxis(
      Qt::AlignLeft, QStringLiteral("PSD (") + units.many + QStringLiteral("³)"), low, high);
  QLineSeries* line = canvas.line(points, pen(kCurve, 0.8), x, y);
  const double f = 1 / cutoff;
  const bool marked = f >= x->min() && f <= x->max();
  if (marked) canvas.line({{f, y->min()}, {f, y->max()}}, pen(kAccent, 0.8, Qt::DashLine), x, y);
  canvas.layOut();
  const QPointF at = canvas.position({f, y->max()}, line);
  canvas.render(painter, rect.topLeft());
  if (marked) note(painter, rect.topLeft() + at + QPointF(3, 12), QStringLiteral("1/λc"), kAccent);
}

void drawNothing(QPainter& painter, const QRectF& rect, const QString& why) {
  painter.save();
  painter.setPen(pen(QColor(180, 180, 180), 0.5));
  painter.drawRect(rect.adjusted(4, 4, -4, -4));
  painter.setFont(textFont(7));
  painter.setPen(kInk);
  painter.drawText(rect, Qt::AlignCenter, why);
  painter.restore();
}

}  // namespace corvane::report
