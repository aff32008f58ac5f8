#include "workspace/surface_3d_view.h"

#include <QDoubleSpinBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLocale>
#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QOpenGLFunctions>
#include <QStackedWidget>
#include <QTimer>
#include <QVBoxLayout>
#include <QtDataVisualization/Q3DCamera>
#include <QtDataVisualization/Q3DScene>
#include <QtDataVisualization/Q3DSurface>
#include <QtDataVisualization/Q3DTheme>
#include <QtDataVisualization/QSurface3DSeries>
#include <QtDataVisualization/QSurfaceDataProxy>
#include <QtDataVisualization/QValue3DAxis>
#include <QtDataVisualization/QValue3DAxisFormatter>
#include <algorithm>
#include <cmath>

#include "report/chart_canvas.h"
#include "report/viridis.h"
#include "workspace/surfaces_model.h"

namespace corvane::workspace {
namespace {

// The heights of the default view span this share of the map's longer side.
constexpr double kDefaultRelief = 0.25;
// The exaggerations a user can choose: from heights a thousandth of their true scale to a
// billion times it (a polished surface a few nanometres deep over millimetres).
constexpr double kLeastExaggeration = 0.001, kMostExaggeration = 1e9;
// Light that shows the relief and keeps the colours of the scale: less direct light than the
// theme's, with its white glints on crests, and more ambient.
constexpr float kLightStrength = 3, kAmbientLight = 0.6f;
// The camera's zoom (100: the graph's own) that keeps the box's near corner and its label in view
// at the default exaggeration.
constexpr float kZoom = 80;

// The exaggeration as plain digits ("40", "0.5"), not with the spin box's fixed decimals.
class ExaggerationBox : public QDoubleSpinBox {
 public:
  using QDoubleSpinBox::QDoubleSpinBox;
  QString textFromValue(double value) const override {
    QString text = locale().toString(value, 'f', QLocale::FloatingPointShortest);
    if (!isGroupSeparatorShown()) text.remove(locale().groupSeparator());
    return text;
  }
};

// 1, 2 or 5 times a power of ten, the nearest to `value` in ratio.
double roundValue(double value) {
  const double power = std::pow(10.0, std::floor(std::log10(value)));
  double best = power;
  for (const double factor : {2.0, 5.0, 10.0}) {
    if (std::abs(std::log(factor * power / value)) < std::abs(std::log(best / value))) {
      best = factor * power;
    }
  }
  return best;
}

// A number as plain digits, as the spin box shows it ("40", "0.5", "2000000").
QString plainNumber(double value) {
  return QLocale::c().toString(value, 'f', QLocale::FloatingPointShortest);
}

struct OpenGl {
  bool starts = false;
  bool software = false;  // Mesa's renderers on the processor
};

// Whether an OpenGL context starts here, tried on a context of its own so that the graph is
// made only where it can work. The offscreen platform shows no window, and where it makes a
// context (through an X display) the graph's first frame crashes in Qt Data Visualization 6.4.
OpenGl probeOpenGl() {
  if (QGuiApplication::platformName() == QStringLiteral("offscreen") ||
      QGuiApplication::platformName() == QStringLiteral("minimal")) {
    return {};
  }
  QOpenGLContext context;
  if (!context.create()) return {};
  QOffscreenSurface surface;
  surface.setFormat(context.format());
  surface.create();
  if (!surface.isValid() || !context.makeCurrent(&surface)) return {};
  const auto* name = reinterpret_cast<const char*>(context.functions()->glGetString(GL_RENDERER));
  const QString renderer = QString::fromLatin1(name ? name : "").toLower();
  context.doneCurrent();
  return {true, renderer.contains(QStringLiteral("llvmpipe")) ||
                    renderer.contains(QStringLiteral("softpipe")) ||
                    renderer.contains(QStringLiteral("swrast"))};
}

// Ticks at round values, "0.002" rather than the graph's own at fifths of the range
// ("0.00406"), which a range from the lowest to the highest height gives.
class RoundTicks : public QValue3DAxisFormatter {
 protected:
  QValue3DAxisFormatter* createNewInstance() const override { return new RoundTicks; }
  void recalculate() override {
    gridPositions().clear();
    subGridPositions().clear();
    labelPositions().clear();
    labelStrings().clear();
    const double min = axis()->min(), max = axis()->max();
    const double step = report::niceStep(min, max, 5);
    if (!(max > min) || !(step > 0) || !std::isfinite(step)) return;
    for (double k = std::ceil(min / step - 1e-6), last = std::floor(max / step + 1e-6);
         k <= last && labelStrings().size() < 20; ++k) {
      const double value = k == 0 ? 0.0 : k * step;
      const auto position = static_cast<float>(std::clamp((value - min) / (max - min), 0.0, 1.0));
      gridPositions().append(position);
      labelPositions().append(position);
      labelStrings().append(report::numberText(value, 6));
    }
  }
};

// Every so many block of a reduced map, so that at most `side` blocks lie along either side: a
// coarse map drawn while the whole one waits its turn.
ReducedSurface sampled(const ReducedSurface& drawn, std::size_t side) {
  const std::size_t step =
      std::max((drawn.columns + side - 1) / side, (drawn.rows + side - 1) / side);
  if (step <= 1) return drawn;
  ReducedSurface coarse;
  coarse.left = drawn.left;
  coarse.right = drawn.right;
  coarse.bottom = drawn.bottom;
  coarse.top = drawn.top;
  coarse.columns = (drawn.columns + step - 1) / step;
  coarse.rows = (drawn.rows + step - 1) / step;
  coarse.heights.reserve(coarse.columns * coarse.rows);
  for (std::size_t r = 0; r < drawn.rows; r += step) {
    for (std::size_t c = 0; c < drawn.columns; c += step) {
      coarse.heights.push_back(drawn.heights[r * drawn.columns + c]);
    }
  }
  return coarse;
}

// The points of a reduced map as the graph takes them: at the centres of the blocks, rows from
// the lowest y as in the map. A block without a measured point keeps S NaN: the graph leaves out
// the cells around it.
QSurfaceDataArray* dataArray(const ReducedSurface& drawn) {
  const std::size_t columns = drawn.columns, rows = drawn.rows;
  const double dx = (drawn.right - drawn.left) / static_cast<double>(columns);
  const double dy = (drawn.top - drawn.bottom) / static_cast<double>(rows);
  auto* array = new QSurfaceDataArray;
  array->reserve(static_cast<qsizetype>(rows));
  for (std::size_t r = 0; r < rows; ++r) {
    auto* row = new QSurfaceDataRow(static_cast<qsizetype>(columns));
    const auto y = static_cast<float>(drawn.bottom + (static_cast<double>(r) + 0.5) * dy);
    const float* heights = drawn.heights.data() + r * columns;
    for (std::size_t c = 0; c < columns; ++c) {
      const auto x = static_cast<float>(drawn.left + (static_cast<double>(c) + 0.5) * dx);
      (*row)[static_cast<qsizetype>(c)].setPosition(QVector3D(x, heights[c], y));
    }
    array->append(row);
  }
  return array;
}

void titleAxis(QValue3DAxis* axis, const QString& title) {
  axis->setTitle(title);
  axis->setTitleVisible(true);
  // Labels and titles turned towards the camera, not lying flat on the box's floor and walls.
  axis->setLabelAutoRotation(90);
  axis->setTitleFixed(false);
}

}  // namespace

Surface3dView::Surface3dView(QWidget* parent) : QWidget(parent) {
  exaggeration_ = new ExaggerationBox(this);
  exaggeration_->setObjectName(QStringLiteral("verticalExaggeration"));
  exaggeration_->setDecimals(3);
  exaggeration_->setRange(kLeastExaggeration, kMostExaggeration);
  exaggeration_->setStepType(QAbstractSpinBox::AdaptiveDecimalStepType);
  exaggeration_->setValue(1);
  exaggeration_->setAccessibleName(QStringLiteral("Vertical exaggeration"));
  exaggeration_->setToolTip(
      QStringLiteral("How many times higher the heights are drawn than at the scale of x and y"));
  exaggerationLabel_ = new QLabel(QStringLiteral("Vertical exaggeration"), this);
  exaggerationLabel_->setBuddy(exaggeration_);

  noOpenGl_ = new QLabel(
      QStringLiteral("The 3D view needs OpenGL, which could not start here, so the surface is not "
                     "drawn in 3D. The height map and the figures are not affected."),
      this);
  noOpenGl_->setObjectName(QStringLiteral("noOpenGl"));
  nothing_ = new QLabel(this);
  nothing_->setObjectName(QStringLiteral("nothingToDraw"));
  for (QLabel* label : {noOpenGl_, nothing_}) {
    label->setAlignment(Qt::AlignCenter);
    label->setWordWrap(true);
  }

  pages_ = new QStackedWidget(this);
  // The graph is a window of its own: it works only where an OpenGL context can be made, and it
  // must not be used at all where none could.
  const OpenGl openGl = probeOpenGl();
  Q3DSurface* graph = nullptr;
  if (openGl.starts) {
    // Multisampling costs a software renderer half its frames; a graphics card's edges keep it.
    QSurfaceFormat plain;
    plain.setDepthBufferSize(24);
    plain.setStencilBufferSize(8);
    graph = openGl.software ? new Q3DSurface(&plain) : new Q3DSurface();
    if (!graph->hasContext()) {
      delete graph;
      graph = nullptr;
    }
  }
  if (graph) {
    graph_ = graph;
    graph_->installEventFilter(this);
    graphPage_ = QWidget::createWindowContainer(graph_, this);
    // Tab moves between the widgets around the graph, never into its window.
    graphPage_->setFocusPolicy(Qt::NoFocus);
    graphPage_->setAccessibleName(QStringLiteral("3D view"));
    pages_->addWidget(graphPage_);

    // Shadows and selection each draw the scene once more per frame: without them it turns on a
    // software renderer too.
    graph_->setShadowQuality(QAbstract3DGraph::ShadowQualityNone);
    graph_->setSelectionMode(QAbstract3DGraph::SelectionNone);
    Q3DTheme* theme = graph_->activeTheme();
    theme->setType(Q3DTheme::ThemeQt);
    // Labels are text images at the font's size, scaled into the scene: twice the window's font
    // keeps them sharp.
    QFont labels = font();
    labels.setPointSizeF(2 * labels.pointSizeF());
    theme->setFont(labels);
    theme->setLightStrength(kLightStrength);
    theme->setAmbientLightStrength(kAmbientLight);
    Q3DCamera* camera = graph_->scene()->activeCamera();
    camera->setCameraPreset(Q3DCamera::CameraPresetIsometricRight);
    camera->setZoomLevel(kZoom);
    for (QValue3DAxis* axis : {graph_->axisX(), graph_->axisY(), graph_->axisZ()}) {
      axis->setFormatter(new RoundTicks);
    }

    series_ = new QSurface3DSeries;
    series_->setDrawMode(QSurface3DSeries::DrawSurface);
    series_->setFlatShadingEnabled(false);
    // Colours by height over the S axis, which spans the height map's colour scale.
    series_->setBaseGradient(report::viridisGradient());
    series_->setColorStyle(Q3DTheme::ColorStyleRangeGradient);
    graph_->addSeries(series_);
  }
  pages_->addWidget(noOpenGl_);
  pages_->addWidget(nothing_);
  // Without the graph there is nothing to exaggerate.
  exaggerationLabel_->setVisible(graph_ != nullptr);
  exaggeration_->setVisible(graph_ != nullptr);

  auto* controls = new QHBoxLayout;
  controls->addWidget(exaggerationLabel_);
  controls->addWidget(exaggeration_);
  controls->addStretch(1);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(controls);
  layout->addWidget(pages_, 1);

  connect(exaggeration_, &QDoubleSpinBox::valueChanged, this, [this] { applyExaggeration(); });
  if (graph_ && openGl.software) {
    // A software renderer compiles its shaders, its label textures' and every other drawing
    // step's machine code on the graph's first frame: over a tenth of a second in one go. Drawn
    // once here, before the window shows, that frame does not hold the window up when the first
    // surface arrives. A graphics card starts in a few milliseconds and needs none of it.
    graph_->renderToImage(0, QSize(8, 8));
  }
  clear(QStringLiteral("no surface is selected"));
}

Surface3dView::~Surface3dView() = default;

void Surface3dView::setSurface(SurfaceResultPtr surface) {
  if (surface && surface == surface_) return;
  // Another analysis of the surface shown (new settings) keeps the exaggeration chosen for it.
  const bool sameFile =
      surface && surface_ && reason_.isEmpty() && surface->analysis.file == surface_->analysis.file;
  surface_ = std::move(surface);
  if (!surface_) return clear(QStringLiteral("no surface is selected"));
  const SurfaceAnalysis& analysis = surface_->analysis;
  if (!analysis.ok) return clear(QStringLiteral("the file did not load"));
  if (!analysis.curves) return clear(QStringLiteral("the surface has not been analysed"));
  const HeightMap& map = analysis.curves->heightMap;
  if (map.values.size() != map.columns * map.rows || map.columns == 0 || map.rows == 0) {
    return clear(QStringLiteral("the surface has no heights"));
  }
  if (map.columns < 2 || map.rows < 2) {
    return clear(QStringLiteral("the points form a single line, not a surface"));
  }
  const double lateral = std::max(map.right - map.left, map.top - map.bottom);
  if (!std::isfinite(lateral) || !(lateral > 0)) {
    return clear(QStringLiteral("the points form a single line, not a surface"));
  }

  ReducedSurface reduced = reducedSurface(map, kMaxSide);
  double least = INFINITY, most = -INFINITY;
  std::size_t holes = 0;
  for (const float h : reduced.heights) {
    if (std::isnan(h)) {
      ++holes;
      continue;
    }
    least = std::min(least, static_cast<double>(h));
    most = std::max(most, static_cast<double>(h));
  }
  if (holes == reduced.heights.size()) {
    return clear(QStringLiteral("the surface has no measured heights"));
  }

  reason_.clear();
  drawn_ = std::move(reduced);
  holes_ = holes;
  mapColumns_ = map.columns;
  mapRows_ = map.rows;
  lateral_ = lateral;
  // The colours span the height map's scale, S of every point; the block means lie within it.
  const bool scaled = std::isfinite(map.low) && std::isfinite(map.high) && map.high >= map.low;
  low_ = scaled ? map.low : least;
  high_ = scaled ? map.high : most;
  unit_ = unitSymbol(analysis.unitKnown ? analysis.unit : surface_->settings.unit);

  if (!sameFile) {
    // Heights over a fraction of the longer side: S is mostly micrometres over millimetres, flat
    // at true scale. A flat surface is shown at true scale.
    const double relief = high_ > low_ ? kDefaultRelief * lateral_ / (high_ - low_) : 1;
    const QSignalBlocker quiet(exaggeration_);
    exaggeration_->setValue(std::clamp(roundValue(relief), kLeastExaggeration, kMostExaggeration));
  }
  exaggeration_->setEnabled(true);

  if (graph_) {
    // On a software renderer the graph's first frame (its shaders compiled, its mesh built) and
    // a frame of the whole reduced map each take most of a tenth of a second: together they
    // would hold the window up. So the graph first draws a coarse map, and the reduced one only
    // once that frame is drawn, each frame in an event of its own.
    ++generation_;
    const ReducedSurface first = sampled(drawn_, kFirstSide);
    fullPending_ = first.columns < drawn_.columns || first.rows < drawn_.rows;
    series_->dataProxy()->resetArray(dataArray(fullPending_ ? first : drawn_));

    titleAxis(graph_->axisX(), QStringLiteral("x (%1)").arg(unit_));
    titleAxis(graph_->axisZ(), QStringLiteral("y (%1)").arg(unit_));
    titleAxis(graph_->axisY(), QStringLiteral("S (%1)").arg(unit_));
    graph_->axisX()->setRange(static_cast<float>(drawn_.left), static_cast<float>(drawn_.right));
    graph_->axisZ()->setRange(static_cast<float>(drawn_.bottom), static_cast<float>(drawn_.top));
    pages_->setCurrentWidget(graphPage_);
  } else {
    pages_->setCurrentWidget(noOpenGl_);
  }
  applyExaggeration();
}

void Surface3dView::drawFull() {
  if (!fullPending_ || !series_) return;
  fullPending_ = false;
  series_->dataProxy()->resetArray(dataArray(drawn_));
}

bool Surface3dView::eventFilter(QObject* watched, QEvent* event) {
  // The graph draws a frame when its window is exposed and on an update request: once the coarse
  // map's has been drawn, the reduced map follows in an event of its own.
  if (watched == graph_ && fullPending_ &&
      (event->type() == QEvent::UpdateRequest || event->type() == QEvent::Expose)) {
    QTimer::singleShot(0, this, [this, generation = generation_] {
      if (generation == generation_) drawFull();
    });
  }
  return QWidget::eventFilter(watched, event);
}

void Surface3dView::clear(const QString& reason) {
  ++generation_;
  fullPending_ = false;
  reason_ = reason;
  drawn_ = {};
  holes_ = 0;
  if (series_) series_->dataProxy()->resetArray(nullptr);
  exaggeration_->setEnabled(false);
  nothing_->setText(QStringLiteral("Nothing to show in 3D: %1.").arg(reason));
  pages_->setCurrentWidget(graph_ ? nothing_ : noOpenGl_);
  describe();
}

void Surface3dView::applyExaggeration() {
  if (graph_ && reason_.isEmpty()) {
    // The S axis spans the colour scale; a flat surface gets a box a quarter as high as it is
    // wide, at true scale.
    const double span = high_ > low_ ? high_ - low_ : kDefaultRelief * lateral_;
    const double middle = (low_ + high_) / 2;
    graph_->axisY()->setRange(static_cast<float>(middle - span / 2),
                              static_cast<float>(middle + span / 2));
    // The longer side over the height of the S axis as drawn.
    const double aspect = lateral_ / (span * exaggeration_->value());
    if (std::isfinite(aspect) && aspect > 0) graph_->setAspectRatio(aspect);
  }
  describe();
}

void Surface3dView::describe() {
  QString text;
  if (!reason_.isEmpty()) {
    text = QStringLiteral("3D view: nothing to show, %1").arg(reason_);
  } else {
    const bool grid = surface_->analysis.curves->heightMap.grid;
    text = QStringLiteral(
               "3D view of S: %1 x %2 %3 drawn as %4 x %5, heights from %6 to %7 %8, "
               "vertical exaggeration %9")
               .arg(mapColumns_)
               .arg(mapRows_)
               .arg(grid ? QStringLiteral("points") : QStringLiteral("height map cells"))
               .arg(drawn_.columns)
               .arg(drawn_.rows)
               .arg(report::numberText(low_, 3), report::numberText(high_, 3), unit_,
                    plainNumber(exaggeration_->value()));
    if (holes_ > 0) {
      text +=
          QStringLiteral(", %1 drawn points without a measured height left as holes").arg(holes_);
    }
  }
  if (!graph_) text += QStringLiteral("; not drawn: OpenGL could not start");
  setAccessibleDescription(text);
  if (graphPage_) graphPage_->setAccessibleDescription(text);
}

QImage Surface3dView::renderToImage(QSize size) {
  if (!graph_ || !graph_->hasContext() || size.isEmpty()) return {};
  drawFull();
  return graph_->renderToImage(0, size);
}

}  // namespace corvane::workspace
