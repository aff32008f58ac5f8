#include "plot/picture_box.h"

#include <QAccessibleWidget>
#include <QLineF>
#include <QList>
#include <QPainter>
#include <QPen>
#include <QResizeEvent>
#include <cmath>
#include <utility>

namespace corvane {

namespace {

const QColor kBackground = Qt::black;
constexpr double kTwipsPerPixel = 15;

// Screen readers are told a picture box is a picture: as a plain frame it would be announced
// with the role desktop accessibility gives to windows.
QAccessibleInterface* accessibleFor(const QString& className, QObject* object) {
  if (className == QLatin1String(PictureBox::staticMetaObject.className()) &&
      object->isWidgetType()) {
    return new QAccessibleWidget(static_cast<QWidget*>(object), QAccessible::Graphic);
  }
  return nullptr;
}

QSize innerSizeOf(const QFrame& frame) { return frame.contentsRect().size().expandedTo({1, 1}); }

// A segment in pixel coordinates, clipped in place to [left, right] x [top, bottom]; false when
// nothing of it lies inside. The ends must be finite. The clipping parameters are worked out on
// half the coordinates, whose differences cannot overflow; a clipped end lies exactly on the
// edge that clipped it, its other coordinate interpolated from the nearer end, and both are
// kept inside the rectangle against rounding, so only small coordinates leave here.
bool clipSegment(QPointF& a, QPointF& b, double left, double top, double right, double bottom) {
  const double dx = b.x() / 2 - a.x() / 2;
  const double dy = b.y() / 2 - a.y() / 2;
  // Each edge: the segment runs p * t towards its outside and starts q inside it (halved).
  const double edges[4][2] = {{-dx, a.x() / 2 - left / 2},
                              {dx, right / 2 - a.x() / 2},
                              {-dy, a.y() / 2 - top / 2},
                              {dy, bottom / 2 - a.y() / 2}};
  double enter = 0;
  double leave = 1;
  int enterEdge = -1;
  int leaveEdge = -1;
  for (int edge = 0; edge < 4; ++edge) {
    const auto [p, q] = edges[edge];
    if (p == 0) {
      if (q < 0) return false;  // parallel to the edge and outside it
      continue;
    }
    const double t = q / p;
    if (p < 0 && t > enter) {
      enter = t;
      enterEdge = edge;
    } else if (p > 0 && t < leave) {
      leave = t;
      leaveEdge = edge;
    }
  }
  if (!(enter <= leave)) return false;
  const auto at = [&](double t, int edge) {
    // a + t * (b - a), or b - (1 - t) * (b - a), with the halved difference added twice.
    const double s = 1 - t;
    double x = t <= 0.5 ? a.x() + t * dx + t * dx : b.x() - s * dx - s * dx;
    double y = t <= 0.5 ? a.y() + t * dy + t * dy : b.y() - s * dy - s * dy;
    if (edge == 0) x = left;
    if (edge == 1) x = right;
    if (edge == 2) y = top;
    if (edge == 3) y = bottom;
    return QPointF(std::clamp(x, left, right), std::clamp(y, top, bottom));
  };
  const QPointF clippedA = at(enter, enterEdge);
  b = at(leave, leaveEdge);
  a = clippedA;
  return true;
}

}  // namespace

PictureBox::PictureBox(QWidget* parent) : QFrame(parent), stamp_(stampOf(1)) {
  setFrameStyle(QFrame::Panel | QFrame::Sunken);
  setLineWidth(2);
  setFocusPolicy(Qt::StrongFocus);
  setAttribute(Qt::WA_OpaquePaintEvent);
  [[maybe_unused]] static const bool accessible =
      (QAccessible::installFactory(accessibleFor), true);
}

const QImage& PictureBox::image() {
  fitImage();
  return image_;
}

void PictureBox::cls() {
  fitImage();
  image_.fill(kBackground);
  scheduleRepaint();
}

void PictureBox::setScale(double logicalWidth, double logicalHeight) {
  scaleSet_ = true;
  scaleWidth_ = logicalWidth;
  scaleHeight_ = logicalHeight;
}

double PictureBox::scaleWidth() const noexcept {
  return scaleSet_ ? scaleWidth_ : innerSizeOf(*this).width() * kTwipsPerPixel;
}

double PictureBox::scaleHeight() const noexcept {
  return scaleSet_ ? scaleHeight_ : innerSizeOf(*this).height() * kTwipsPerPixel;
}

void PictureBox::setDrawWidth(int pixels) {
  const int width = std::clamp(pixels, 1, kMaxDrawWidth);
  if (width == drawWidth_) return;
  drawWidth_ = width;
  stamp_ = stampOf(width);
}

PictureBox::Stamp PictureBox::stampOf(int width) {
  Stamp stamp;
  for (int i = 0; i < width; ++i) {
    const StampRow row = stampRow(width, i);
    stamp.rows.push_back(row);
    stamp.left = std::min(stamp.left, row.dxFrom);
    stamp.right = std::max(stamp.right, row.dxTo);
  }
  stamp.top = stamp.rows.front().dy;
  stamp.bottom = stamp.rows.back().dy;
  return stamp;
}

PictureBox::PixelScale PictureBox::pixelScale() const noexcept {
  const double width = scaleWidth();
  const double height = scaleHeight();
  if (!(std::isfinite(width) && width > 0 && std::isfinite(height) && height > 0)) return {};
  const PixelScale scale{image_.width() / width, image_.height() / height};
  // A scale so small that a pixel is beyond double precision leaves nothing drawable either.
  if (!(std::isfinite(scale.x) && std::isfinite(scale.y))) return {};
  return scale;
}

PictureBox::Dots::Dots(PictureBox& box) {
  box.fitImage();
  stamp_ = &box.stamp_;
  // bits() detaches the image from copies handed out by image(). RGB32 rows are whole pixels.
  pixels_ = reinterpret_cast<QRgb*>(box.image_.bits());
  stride_ = box.image_.bytesPerLine() / static_cast<qsizetype>(sizeof(QRgb));
  width_ = box.image_.width();
  height_ = box.image_.height();
  scale_ = box.pixelScale();
  if (scale_.x != 0) {  // otherwise nothing is drawable: the ranges stay empty
    insideLeft_ = -stamp_->left;
    insideRight_ = std::max(width_ - stamp_->right, -stamp_->left);
    insideTop_ = -stamp_->top;
    insideBottom_ = std::max(height_ - stamp_->bottom, -stamp_->top);
    touchLeft_ = -stamp_->right;
    touchRight_ = width_ - stamp_->left;
    touchTop_ = -stamp_->bottom;
    touchBottom_ = height_ - stamp_->top;
  }
  Run* run = runs_.data();
  for (const StampRow& row : stamp_->rows) {
    *run++ = {row.dy * stride_ + row.dxFrom, row.dxTo - row.dxFrom + 1};
  }
  runsEnd_ = run;
  box.scheduleRepaint();
}

void PictureBox::pset(double x, double y, QRgb colour) { Dots(*this).put(x, y, colour); }

void PictureBox::line(double x1, double y1, double x2, double y2, QRgb colour) {
  const QPointF ends[] = {{x1, y1}, {x2, y2}};
  drawSegments(ends, colour);
}

void PictureBox::polyline(std::span<const QPointF> points, QRgb colour) {
  drawSegments(points, colour);
}

void PictureBox::drawSegments(std::span<const QPointF> points, QRgb colour) {
  fitImage();
  const PixelScale scale = pixelScale();
  if (scale.x == 0 || points.size() < 2) return;
  // A line and a dot at the same position meet: both are centred on the centre of its pixel.
  const auto pixelCentre = [&](const QPointF& p) {
    return QPointF(std::floor(p.x() * scale.x) + 0.5, std::floor(p.y() * scale.y) + 0.5);
  };
  const auto finite = [](const QPointF& p) { return std::isfinite(p.x()) && std::isfinite(p.y()); };
  // Beyond this margin a stroke of the draw width cannot reach the image.
  const double margin = drawWidth_;
  const double left = -margin;
  const double top = -margin;
  const double right = image_.width() + margin;
  const double bottom = image_.height() + margin;

  QList<QLineF> segments;
  segments.reserve(static_cast<qsizetype>(points.size()) - 1);
  for (std::size_t i = 0; i + 1 < points.size(); ++i) {
    QPointF a = pixelCentre(points[i]);
    QPointF b = pixelCentre(points[i + 1]);
    if (!finite(a) || !finite(b)) continue;
    if (clipSegment(a, b, left, top, right, bottom)) segments.append(QLineF(a, b));
  }
  if (segments.isEmpty()) return;

  QPainter painter(&image_);
  painter.setRenderHint(QPainter::Antialiasing, false);
  painter.setPen(QPen(QColor(colour), drawWidth_, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  painter.drawLines(segments);
  painter.end();
  scheduleRepaint();
}

void PictureBox::scheduleRepaint() {
  if (repaintPending_) return;
  repaintPending_ = true;
  update();
}

void PictureBox::resizeEvent(QResizeEvent* event) {
  QFrame::resizeEvent(event);
  fitImage();
}

void PictureBox::fitImage() {
  const QSize inner = innerSizeOf(*this);
  if (image_.size() != inner) {
    QImage resized(inner, QImage::Format_RGB32);
    resized.fill(kBackground);
    if (!image_.isNull()) {
      QPainter painter(&resized);
      painter.drawImage(0, 0, image_);
    }
    image_ = std::move(resized);
  }
}

void PictureBox::paintEvent(QPaintEvent* event) {
  repaintPending_ = false;
  QFrame::paintEvent(event);
  fitImage();
  QPainter painter(this);
  painter.drawImage(contentsRect().topLeft(), image_);
}

}  // namespace corvane
