#include "app/artwork.h"

#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPolygonF>
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <vector>

namespace corvane {

namespace {

// ---- The surface every picture shows ----------------------------------------------------------

// A fixed pseudo-random value in -1..1 for a lattice corner, so every run paints the same surface.
double latticeValue(int i, int j) {
  std::uint32_t h = static_cast<std::uint32_t>(i) * 73856093u;
  h ^= static_cast<std::uint32_t>(j) * 19349663u;
  h ^= h >> 13;
  h *= 0x5bd1e995u;
  h ^= h >> 15;
  return static_cast<double>(h & 0xffffu) / 32767.5 - 1.0;
}

// Smoothly interpolated lattice noise: the fine grain of the surface.
double grain(double x, double y) {
  const double fx = std::floor(x);
  const double fy = std::floor(y);
  const int i = static_cast<int>(fx);
  const int j = static_cast<int>(fy);
  const double u = (x - fx) * (x - fx) * (3 - 2 * (x - fx));
  const double v = (y - fy) * (y - fy) * (3 - 2 * (y - fy));
  const double top = latticeValue(i, j) + u * (latticeValue(i + 1, j) - latticeValue(i, j));
  const double bottom =
      latticeValue(i, j + 1) + u * (latticeValue(i + 1, j + 1) - latticeValue(i, j + 1));
  return top + v * (bottom - top);
}

// The height of a machined, slightly worn surface at (x, y): crossing waves for the tool marks,
// grain for the roughness. Heights stay within about -1..1.
double surfaceHeight(double x, double y) {
  return 0.42 * std::sin(0.9 * x + 0.6 * std::sin(0.7 * y)) + 0.22 * std::sin(1.3 * y + 0.4 * x) +
         0.12 * std::sin(3.1 * x - 2.3 * y) + 0.18 * grain(2.2 * x, 2.2 * y) +
         0.08 * grain(6.0 * x + 17, 6.0 * y);
}

// ---- Colours shared by the pictures -----------------------------------------------------------

const QColor kNight(6, 14, 34);
const QColor kDusk(22, 52, 82);
const QColor kTitle(255, 255, 255);
const QColor kSubtitle(150, 225, 225);
const QColor kSand(255, 214, 120);
const QColor kScanLight(210, 255, 250);

QColor mix(const QColor& a, const QColor& b, double t) {
  return QColor::fromRgbF(static_cast<float>(a.redF() + (b.redF() - a.redF()) * t),
                          static_cast<float>(a.greenF() + (b.greenF() - a.greenF()) * t),
                          static_cast<float>(a.blueF() + (b.blueF() - a.blueF()) * t));
}

// A height in -1..1 as a colour, dimmed or brightened by `light`: deep teal in the valleys
// through cyan to warm sand on the peaks.
QColor heightColour(double h, double light) {
  static constexpr std::array<std::array<double, 3>, 4> kStops{
      {{{0, 90, 120}}, {{0, 190, 200}}, {{120, 230, 200}}, {{255, 214, 120}}}};
  const double pos = std::clamp((h + 1) / 2, 0.0, 1.0) * (kStops.size() - 1);
  const auto k = std::min<std::size_t>(static_cast<std::size_t>(pos), kStops.size() - 2);
  const double f = pos - static_cast<double>(k);
  auto channel = [&](std::size_t c) {
    const double value = kStops[k][c] + f * (kStops[k + 1][c] - kStops[k][c]);
    return std::clamp(static_cast<int>(std::lround(value * light)), 0, 255);
  };
  return QColor(channel(0), channel(1), channel(2));
}

// The night-blue sky every picture starts from.
QImage backdrop(QSize size) {
  QImage image(size, QImage::Format_RGB32);
  QPainter painter(&image);
  QLinearGradient sky(0, 0, 0, size.height());
  sky.setColorAt(0, kNight);
  sky.setColorAt(1, kDusk);
  painter.fillRect(image.rect(), sky);
  return image;
}

// The surface seen at a slant from above and lit from the upper left, into `area`. Each column
// of the picture is walked from the nearest ground towards the horizon, and every stretch of
// ground that rises above what that column already shows is painted. Scan lines (profiles) run
// across the surface as light bands, and the far ground fades into the sky. Rendered at twice
// the size and scaled down, so edges come out smooth. `seed` picks the stretch of surface shown.
void paintSurface(QImage& image, const QRect& area, double seed) {
  constexpr int kOversample = 2;
  constexpr double kEye = 1.0;      // eye height above the mean surface
  constexpr double kRelief = 0.42;  // height of the surface's features
  constexpr double kNear = 1.0;
  constexpr double kFar = 14.0;
  constexpr double kScale = 1.6;  // surface units per unit of ground
  constexpr double kScanSpacing = 0.3;
  constexpr double kStep = 1.006;                             // depth step, relative
  constexpr std::array<double, 3> kLight{-0.55, 0.75, 0.37};  // left, up, towards the eye

  const int width = area.width() * kOversample;
  const int height = area.height() * kOversample;
  QImage ground(width, height, QImage::Format_ARGB32);
  ground.fill(Qt::transparent);
  const double focal = (height - 6.0) / (kEye * (1 / kNear - 1 / kFar));
  const double horizon = height - kEye * focal / kNear;
  const double centre = width / 2.0;

  // Per column, the highest row painted so far: ground further away shows only above it.
  std::vector<int> clear(static_cast<std::size_t>(width), height);
  // Start in front of the picture's bottom edge, so even the highest ground there is drawn from
  // its top down to the edge rather than as a wall.
  for (double z = kNear * (kEye - kRelief) / kEye * 0.9; z < kFar; z *= kStep) {
    const bool onScanLine = std::fmod(z, kScanSpacing) < z * (kStep - 1) * 1.5;
    const double fog = std::pow(std::max(0.0, z - kNear) / (kFar - kNear), 0.8);
    for (int sx = 0; sx < width; ++sx) {
      int& free = clear[static_cast<std::size_t>(sx)];
      if (free <= 0) continue;
      const double u = seed + (sx - centre) * z / focal * kScale;
      const double v = z * kScale;
      const double h = surfaceHeight(u, v);
      const int top = std::max(0, static_cast<int>(horizon + (kEye - kRelief * h) * focal / z));
      if (top >= free) continue;
      constexpr double kDelta = 0.02;
      const double gx = kRelief * kScale * (surfaceHeight(u + kDelta, v) - h) / kDelta;
      const double gz = kRelief * kScale * (surfaceHeight(u, v + kDelta) - h) / kDelta;
      const double lit = std::max(
          0.0, (-gx * kLight[0] + kLight[1] + gz * kLight[2]) / std::sqrt(gx * gx + 1 + gz * gz));
      QColor colour = heightColour(h, 0.3 + 0.85 * lit);
      if (onScanLine) colour = mix(colour, kScanLight, 0.4);
      const QRgb pixel = mix(colour, kDusk, fog).rgb();
      for (int y = top; y < free; ++y) ground.setPixel(sx, y, pixel);
      free = top;
    }
  }
  QPainter painter(&image);
  painter.drawImage(area,
                    ground.scaled(area.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation));
}

QFont titleFont(int pixels) {
  QFont font(QStringLiteral("DejaVu Sans"));
  font.setPixelSize(pixels);
  font.setBold(true);
  return font;
}

QFont captionFont(int pixels) {
  QFont font(QStringLiteral("DejaVu Sans"));
  font.setPixelSize(pixels);
  return font;
}

// Text with a soft dark shadow, so it stands out over the surface.
void paintShadowedText(QPainter& painter, const QRectF& box, int flags, const QString& text,
                       const QFont& font, const QColor& colour) {
  painter.save();
  painter.setRenderHint(QPainter::TextAntialiasing);
  painter.setFont(font);
  painter.setPen(QColor(0, 0, 0, 160));
  painter.drawText(box.translated(1.5, 1.5), flags, text);
  painter.setPen(colour);
  painter.drawText(box, flags, text);
  painter.restore();
}

// ---- The icon -----------------------------------------------------------------------------------

// The sixteen colours of the classic palette; the icon uses no others.
constexpr std::array<QRgb, 16> kClassicColours{
    0xff000000, 0xff800000, 0xff008000, 0xff808000, 0xff000080, 0xff800080, 0xff008080, 0xffc0c0c0,
    0xff808080, 0xffff0000, 0xff00ff00, 0xffffff00, 0xff0000ff, 0xffff00ff, 0xff00ffff, 0xffffffff};
constexpr QRgb kBlack = kClassicColours[0];
constexpr QRgb kNavy = kClassicColours[4];
constexpr QRgb kTeal = kClassicColours[6];
constexpr QRgb kSilver = kClassicColours[7];
constexpr QRgb kRed = kClassicColours[9];
constexpr QRgb kYellow = kClassicColours[11];
constexpr QRgb kAqua = kClassicColours[14];

}  // namespace

// A tile holding a rough profile over a dashed red reference line: the program's subject in one
// glyph. Drawn pixel by pixel, so no smoothing brings in colours outside the palette. Strokes are
// one pixel up to 63 pixels and grow with the tile above that, so large icons stay legible.
QImage iconImage(int size) {
  QImage image(size, size, QImage::Format_ARGB32);
  image.fill(Qt::transparent);
  const int stroke = std::max(1, size / 32);
  const int left = size / 16;
  const int right = size - 1 - size / 16;
  const int top = size / 8;
  const int bottom = size - 1 - size / 8;
  for (int y = top; y <= bottom; ++y) {
    for (int x = left; x <= right; ++x) {
      const bool edge =
          x < left + stroke || x > right - stroke || y < top + stroke || y > bottom - stroke;
      image.setPixel(x, y, edge ? kBlack : kNavy);
    }
  }
  const int innerLeft = left + stroke;
  const int innerRight = right - stroke;
  const int innerBottom = bottom - stroke;
  const int middle = (top + bottom) / 2 + 1;
  const double swing = (bottom - top) * 0.3;
  std::vector<int> surface;
  for (int x = innerLeft; x <= innerRight; ++x) {
    const double h = surfaceHeight(1.4 + (x - left) * 14.0 / size, 0.9);
    surface.push_back(std::clamp(middle - static_cast<int>(std::lround(h * swing)),
                                 top + 2 * stroke, bottom - 3 * stroke));
  }
  // The reference plane lies at the profile's mean height.
  double sum = 0;
  for (int row : surface) sum += row;
  const int reference = static_cast<int>(std::lround(sum / static_cast<double>(surface.size())));
  const int dash = std::max(1, size / 16);
  auto paintRows = [&](int x, int from, int to, QRgb colour) {
    for (int y = from; y <= to; ++y) image.setPixel(x, y, colour);
  };
  for (int x = innerLeft; x <= innerRight; ++x) {
    const int row = surface[static_cast<std::size_t>(x - innerLeft)];
    paintRows(x, row, row + stroke - 1, kYellow);
    paintRows(x, row + stroke, row + 2 * stroke - 1, kAqua);
    paintRows(x, row + 2 * stroke, innerBottom - stroke, kTeal);
    if ((x / dash) % 2 == 0) paintRows(x, reference, reference + stroke - 1, kRed);
    // The base plate under the sample.
    paintRows(x, innerBottom - stroke + 1, innerBottom, kSilver);
  }
  return image;
}

QIcon corvaneIcon() {
  QIcon icon;
  icon.addPixmap(QPixmap::fromImage(iconImage(32)));
  icon.addPixmap(QPixmap::fromImage(iconImage(16)));
  return icon;
}

QPixmap splashPicture() {
  QImage image = backdrop(QSize(320, 240));
  paintSurface(image, QRect(0, 84, 320, 156), 3.0);
  QPainter painter(&image);
  paintShadowedText(painter, QRectF(0, 8, 320, 54), Qt::AlignHCenter | Qt::AlignTop,
                    QStringLiteral("Corvane"), titleFont(46), kTitle);
  paintShadowedText(painter, QRectF(0, 62, 320, 20), Qt::AlignHCenter | Qt::AlignTop,
                    QStringLiteral("surface roughness"), captionFont(14), kSubtitle);
  // The window shows 237 of the 240 rows; the version stays clear of the hidden ones.
  paintShadowedText(painter, QRectF(0, 0, 312, 230), Qt::AlignRight | Qt::AlignBottom,
                    QStringLiteral("V 1.0"), titleFont(12), kTitle);
  painter.end();
  return QPixmap::fromImage(image.convertToFormat(QImage::Format_RGB888));
}

QPixmap aboutLogo() {
  QImage image = backdrop(QSize(247, 122));
  paintSurface(image, QRect(0, 44, 247, 78), 7.5);
  QPainter painter(&image);
  paintShadowedText(painter, QRectF(0, 4, 247, 36), Qt::AlignHCenter | Qt::AlignTop,
                    QStringLiteral("Corvane"), titleFont(32), kTitle);
  painter.end();
  return QPixmap::fromImage(image);
}

// The wide logo shows what the program does with a surface: the plan view as the program draws
// it (grey dots, lighter when higher), and one scan line of it cut into sampling lengths, each
// with its peak-to-valley height marked.
QPixmap aboutWideLogo() {
  QImage image = backdrop(QSize(331, 122));
  QPainter painter(&image);

  constexpr double kUnitsPerPixel = 1.0 / 9;
  const QRect plan(8, 8, 106, 106);
  painter.fillRect(plan.adjusted(-2, -2, 2, 2), QColor(90, 110, 130));
  painter.fillRect(plan, Qt::black);
  // Grey spans the plan's own lowest to highest point, as the program's plot spans the file's.
  auto planHeight = [&](int x, int y) {
    return surfaceHeight((x - plan.left()) * kUnitsPerPixel, (y - plan.top()) * kUnitsPerPixel);
  };
  double lowest = 10;
  double highest = -10;
  for (int y = plan.top(); y < plan.bottom(); y += 2) {
    for (int x = plan.left(); x < plan.right(); x += 2) {
      lowest = std::min(lowest, planHeight(x, y));
      highest = std::max(highest, planHeight(x, y));
    }
  }
  for (int y = plan.top(); y < plan.bottom(); y += 2) {
    for (int x = plan.left(); x < plan.right(); x += 2) {
      const double t = (planHeight(x, y) - lowest) / (highest - lowest);
      const int grey = static_cast<int>(std::lround(40 + 215 * t));
      painter.fillRect(x, y, 2, 2, QColor(grey, grey, grey));
    }
  }
  const int scanRow = 70;  // the scan line drawn on the right, marked on the plan
  painter.fillRect(plan.left(), plan.top() + scanRow, plan.width(), 1, kSand);

  const QRectF profile(132, 44, 188, 66);
  auto heightAt = [&](double x) {
    return surfaceHeight((x - profile.left()) * plan.width() / profile.width() * kUnitsPerPixel,
                         scanRow * kUnitsPerPixel);
  };
  auto rowOf = [&](double h) { return profile.center().y() - h * profile.height() / 2.4; };
  QPolygonF line;
  for (double x = profile.left(); x <= profile.right(); x += 1.0)
    line << QPointF(x, rowOf(heightAt(x)));
  QPolygonF body = line;
  body << QPointF(profile.right(), profile.bottom() + 6)
       << QPointF(profile.left(), profile.bottom() + 6);
  QLinearGradient shade(0, profile.top(), 0, profile.bottom() + 6);
  shade.setColorAt(0, QColor(0, 130, 150));
  shade.setColorAt(1, kNight);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setPen(Qt::NoPen);
  painter.setBrush(shade);
  painter.drawPolygon(body);
  painter.setPen(QPen(heightColour(0.7, 1.0), 1.6));
  painter.drawPolyline(line);

  constexpr int kSamplingLengths = 4;
  const double length = profile.width() / kSamplingLengths;
  for (int s = 0; s < kSamplingLengths; ++s) {
    const double from = profile.left() + s * length;
    double peak = -10;
    double valley = 10;
    for (double x = from; x <= from + length; x += 1.0) {
      peak = std::max(peak, heightAt(x));
      valley = std::min(valley, heightAt(x));
    }
    const double bar = from + length - 6;
    painter.setPen(QPen(kSand, 1.2));
    painter.drawLine(QPointF(bar, rowOf(peak)), QPointF(bar, rowOf(valley)));
    painter.drawLine(QPointF(bar - 3, rowOf(peak)), QPointF(bar + 3, rowOf(peak)));
    painter.drawLine(QPointF(bar - 3, rowOf(valley)), QPointF(bar + 3, rowOf(valley)));
    if (s > 0) {
      painter.setPen(QPen(QColor(150, 225, 225, 150), 1.0, Qt::DashLine));
      painter.drawLine(QPointF(from, profile.top() - 6), QPointF(from, profile.bottom() + 6));
    }
  }
  paintShadowedText(painter, QRectF(profile.left(), 4, profile.width(), 30),
                    Qt::AlignHCenter | Qt::AlignTop, QStringLiteral("Rn  \u00b7  Ra"),
                    titleFont(24), kTitle);
  painter.end();
  return QPixmap::fromImage(image);
}

QFont windowFont() {
  // 10 pixels (7.5 points at 96 dots per inch), set a little tighter than the face's own spacing:
  // the longest captions ("Height of Reference Plane", "D50 (mm)") then fit their fixed labels,
  // and the about window's 75-character lines fit its 366-pixel width.
  QFont font(QStringLiteral("DejaVu Sans"));
  font.setStyleHint(QFont::SansSerif);
  font.setPointSizeF(7.5);
  font.setLetterSpacing(QFont::PercentageSpacing, 95);
  return font;
}

}  // namespace corvane
