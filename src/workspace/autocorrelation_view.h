#pragma once

#include <QImage>
#include <QPainterPath>
#include <QString>
#include <QWidget>

#include "workspace/surface_result.h"

class QLabel;
class QStackedWidget;

namespace corvane::workspace {

class LagChart;

// The Autocorrelation tab: f(tx, ty) of S around (0, 0) in a diverging colour map (blue below 0,
// white at 0, red above, symmetric about 0) with a colour bar, over lag axes tx dx and ty dy in
// the unit at equal scale; the 0.2 lobe outlined, lines from the centre to the lobe's nearest and
// farthest boundary lags, and Sal and Str written on it. Off a regular grid, or where f has no
// lobe, it says why in words. The image and the outline are made once per surface; painting
// only places them under the axes.
class AutocorrelationView : public QWidget {
 public:
  explicit AutocorrelationView(QWidget* parent = nullptr);
  void setSurface(SurfaceResultPtr surface);

  // The map's colours, a pixel per sample, rows from the highest ty down; null when no map.
  const QImage& image() const { return image_; }

 private:
  friend class LagChart;
  void describe();

  SurfaceResultPtr surface_;
  QImage image_;
  QPainterPath outline_;  // the lobe's edge, in lengths
  QString unit_;
  bool unpaired_ = false;  // some samples have no measured pairs (drawn grey)
  QStackedWidget* pages_;
  QLabel* reason_;
  LagChart* map_;
  LagChart* bar_;
};

// The colour of f at `share` of the way from 0 to the colour map's end (-1 .. 1; 0 white).
QRgb autocorrelationColour(double share);

}  // namespace corvane::workspace
