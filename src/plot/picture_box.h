#pragma once

#include <QFrame>
#include <QImage>
#include <QPointF>
#include <QRgb>
#include <algorithm>
#include <array>
#include <cstddef>
#include <span>
#include <utility>
#include <vector>

namespace corvane {

struct Extents;
struct PlanView;
class PointTable;

// A picture box: a black drawing surface inside a sunken two-pixel border. What is drawn goes
// into a retained image of the inner area, and painting only copies that image to the screen,
// so a covered and uncovered window shows the same picture and tests can read its pixels.
//
// Drawing uses a logical coordinate system with its origin at the top-left corner of the inner
// area: x grows to the right, y downwards, and (scaleWidth, scaleHeight) is the bottom-right
// corner. Until a scale is set the unit is the twip, 15 to a pixel. A logical position falls
// in the pixel that contains it: column floor(x * innerWidth / scaleWidth), and likewise the row.
// What falls outside the inner area is clipped; positions too large for a pixel number,
// infinite or NaN draw nothing.
class PictureBox : public QFrame {
  Q_OBJECT

 public:
  explicit PictureBox(QWidget* parent = nullptr);

  // The retained picture of the inner drawing area.
  const QImage& image();

  // Clears the picture to the background colour. Scale and draw width stay.
  void cls();

  // Sets the logical size of the inner area; the two axes are scaled independently. A size
  // that is not positive and finite leaves nothing drawable (every position falls outside).
  void setScale(double logicalWidth, double logicalHeight);
  double scaleWidth() const noexcept;
  double scaleHeight() const noexcept;

  // The width in pixels of dots and lines (at least 1, at most kMaxDrawWidth).
  void setDrawWidth(int pixels);
  int drawWidth() const noexcept { return drawWidth_; }
  static constexpr int kMaxDrawWidth = 64;

  // A colour from red, green and blue; a component above 255 counts as 255, below 0 as 0.
  static QRgb rgb(int red, int green, int blue) noexcept {
    return qRgb(std::clamp(red, 0, 255), std::clamp(green, 0, 255), std::clamp(blue, 0, 255));
  }

  // One round dot of the draw width, centred on the logical position: the pixels whose centres
  // lie within half the draw width of the dot's centre. For an odd width that centre is the
  // centre of the position's pixel; for an even width it is that pixel's bottom-right corner,
  // so a dot of width 2 is the pixel with its right, lower and lower-right neighbours.
  void pset(double x, double y, QRgb colour);

  // Straight lines of the draw width between logical positions: one line, or a polyline
  // through every point in order. Each end lies on the centre of its position's pixel, where a
  // dot at the same position has its centre. A segment with an infinite or NaN end is not drawn.
  void line(double x1, double y1, double x2, double y2, QRgb colour);
  void polyline(std::span<const QPointF> points, QRgb colour);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  friend void plotPoints(PictureBox& box, const PointTable& table, const Extents& extents,
                         const PlanView& view, double onlyAbove);

  // One row of a dot: the pixels dxFrom..dxTo (inclusive) of row dy, relative to the pixel of
  // the dot's position.
  struct StampRow {
    int dy;
    int dxFrom;
    int dxTo;
  };
  // Row `index` (0 at the top) of the dot of this width; a dot of width w has w rows.
  static constexpr StampRow stampRow(int width, int index) noexcept {
    // In half pixels from the dot's centre, the centre of pixel (dx, dy) lies at
    // (2 dx - shift, 2 dy - shift): shift 0 when the dot is centred on the pixel's centre (odd
    // widths), 1 when on its bottom-right corner (even widths). A pixel belongs to the dot
    // when its centre lies within the radius, width / 2 pixels or width half pixels.
    const int shift = width % 2 == 0 ? 1 : 0;
    const int dy = index - (width - 1) / 2;
    const int v = 2 * dy - shift;
    int dxTo = 0;
    while ((2 * (dxTo + 1) - shift) * (2 * (dxTo + 1) - shift) + v * v <= width * width) ++dxTo;
    return {dy, shift - dxTo, dxTo};  // the row is symmetric about the centre
  }
  // Writes the dot of width kWidth around the pixel `centre` as straight-line stores.
  template <int kWidth, std::size_t... kRow>
  static void writeStamp(QRgb* centre, std::ptrdiff_t stride, QRgb colour,
                         std::index_sequence<kRow...>) noexcept {
    (writeStampRow<stampRow(kWidth, static_cast<int>(kRow))>(centre, stride, colour), ...);
  }
  template <StampRow kRow>
  static void writeStampRow(QRgb* centre, std::ptrdiff_t stride, QRgb colour) noexcept {
    QRgb* const row = centre + kRow.dy * stride + kRow.dxFrom;
    [&]<std::size_t... kDx>(std::index_sequence<kDx...>) { ((row[kDx] = colour), ...); }
    (std::make_index_sequence<static_cast<std::size_t>(kRow.dxTo - kRow.dxFrom + 1)>());
  }
  // The pixels of one dot, and the box around them relative to the position's pixel.
  struct Stamp {
    std::vector<StampRow> rows;
    int left = 0;
    int right = 0;
    int top = 0;
    int bottom = 0;
  };
  static Stamp stampOf(int width);

  // Pixels per logical unit on each axis, taken once for a run of drawing; 0 when the scale
  // leaves nothing drawable.
  struct PixelScale {
    double x = 0;
    double y = 0;
  };
  PixelScale pixelScale() const noexcept;

  // Writes dots straight into the image's memory: scale, stamp and image taken once for a
  // run of dots (pset is one such run, plotPoints another), so both give the same pixels.
  // Valid while the image, the scale and the draw width stay.
  class Dots {
   public:
    explicit Dots(PictureBox& box);

    // A dot of the draw width at a logical position.
    void put(double x, double y, QRgb colour) noexcept { putAs<0>(x, y, colour); }

    // Calls draw(put) once, where put(x, y, colour) is put specialised for the draw width: for
    // the widths the window offers (and one more) the dot's pixels are written as straight
    // stores known at compile time, with no loop over rows of varying length.
    template <class Draw>
    void withPut(Draw&& draw) {
      switch (runsEnd_ - runs_.data()) {
        case 1:
          return draw([this](double x, double y, QRgb c) { putAs<1>(x, y, c); });
        case 2:
          return draw([this](double x, double y, QRgb c) { putAs<2>(x, y, c); });
        case 3:
          return draw([this](double x, double y, QRgb c) { putAs<3>(x, y, c); });
        case 4:
          return draw([this](double x, double y, QRgb c) { putAs<4>(x, y, c); });
        case 5:
          return draw([this](double x, double y, QRgb c) { putAs<5>(x, y, c); });
        case 6:
          return draw([this](double x, double y, QRgb c) { putAs<6>(x, y, c); });
        default:
          return draw([this](double x, double y, QRgb c) { putAs<0>(x, y, c); });
      }
    }

   private:
    // One row of the stamp as a run of pixels from the dot's pixel, in pixels of the image's
    // memory. Signed, not int: stores of pixels (unsigned int) cannot change these.
    struct Run {
      std::ptrdiff_t offset;
      std::ptrdiff_t length;
    };

    // A dot whose width is kWidth, or any width for 0.
    template <int kWidth>
    void putAs(double x, double y, QRgb colour) noexcept;
    // A dot at the position (u, v) scaled to pixels that is not wholly inside the image: the
    // part inside, if any. Inline and without calls, like putAs: a call in a loop of puts
    // makes the compiler keep the loop's values in memory rather than in registers.
    template <int kWidth>
    void putClipped(double u, double v, QRgb colour) noexcept;
    void putRowClipped(int row, int from, int to, QRgb colour) noexcept {
      if (row < 0 || row >= height_) return;
      QRgb* const pixels = pixels_ + row * stride_;
      for (int x = std::max(from, 0); x <= std::min(to, width_ - 1); ++x) pixels[x] = colour;
    }

    const Stamp* stamp_ = nullptr;
    QRgb* pixels_ = nullptr;
    std::ptrdiff_t stride_ = 0;  // pixels from one row to the next
    int width_ = 0;
    int height_ = 0;
    PixelScale scale_;
    // The pixels whose dot lies wholly inside the image: [insideLeft, insideRight) x
    // [insideTop, insideBottom), integers no less than 0 held as doubles. A scaled position
    // compares with them safely before any conversion to int (floor(p) >= n exactly when
    // p >= n, for an integer n, and NaN fails), and within them truncation rounds down.
    double insideLeft_ = 0;
    double insideRight_ = 0;
    double insideTop_ = 0;
    double insideBottom_ = 0;
    // The pixels whose dot touches the image, likewise.
    double touchLeft_ = 0;
    double touchRight_ = 0;
    double touchTop_ = 0;
    double touchBottom_ = 0;
    std::array<Run, kMaxDrawWidth> runs_{};
    const Run* runsEnd_ = runs_.data();
  };

  // Keeps the image the size of the inner area; what was drawn stays where it fits.
  void fitImage();
  // One repaint after a run of drawing, however many dots it held.
  void scheduleRepaint();
  // Draws the segments between consecutive points with one painter, each between the centres
  // of the pixels of its ends and clipped first to the image and a margin of the draw width.
  void drawSegments(std::span<const QPointF> points, QRgb colour);

  QImage image_;
  bool scaleSet_ = false;  // until set the scale is the inner area in twips
  double scaleWidth_ = 0;
  double scaleHeight_ = 0;
  int drawWidth_ = 1;
  Stamp stamp_;
  bool repaintPending_ = false;
};

template <int kWidth>
inline void PictureBox::Dots::putAs(double x, double y, QRgb colour) noexcept {
  const double u = x * scale_.x;
  const double v = y * scale_.y;
  if (!(u >= insideLeft_ && u < insideRight_ && v >= insideTop_ && v < insideBottom_)) {
    putClipped<kWidth>(u, v, colour);
    return;
  }
  QRgb* const centre = pixels_ + static_cast<int>(v) * stride_ + static_cast<int>(u);
  if constexpr (kWidth == 0) {
    for (const Run* run = runs_.data(); run != runsEnd_; ++run) {
      QRgb* const pixel = centre + run->offset;
      for (std::ptrdiff_t i = 0; i < run->length; ++i) pixel[i] = colour;
    }
  } else {
    writeStamp<kWidth>(centre, stride_, colour,
                       std::make_index_sequence<static_cast<std::size_t>(kWidth)>());
  }
}

template <int kWidth>
inline void PictureBox::Dots::putClipped(double u, double v, QRgb colour) noexcept {
  // NaN and out-of-range values fail here, before any conversion to int.
  if (!(u >= touchLeft_ && u < touchRight_ && v >= touchTop_ && v < touchBottom_)) return;
  // Rounded down: truncated, and one less for a negative value with a fraction.
  int column = static_cast<int>(u);
  column -= u < column;
  int row = static_cast<int>(v);
  row -= v < row;
  if constexpr (kWidth == 0) {
    for (const StampRow& span : stamp_->rows) {
      putRowClipped(row + span.dy, column + span.dxFrom, column + span.dxTo, colour);
    }
  } else {
    for (int i = 0; i < kWidth; ++i) {
      const StampRow span = stampRow(kWidth, i);
      putRowClipped(row + span.dy, column + span.dxFrom, column + span.dxTo, colour);
    }
  }
}

}  // namespace corvane
