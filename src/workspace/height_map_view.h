#pragma once

#include <QImage>
#include <QWidget>
#include <functional>
#include <optional>
#include <vector>

#include "workspace/surface_result.h"

class QCheckBox;
class QValueAxis;

namespace corvane::workspace {

class MapChart;

// The Height map tab: S in viridis at equal scale in x and y, with its axes in the unit and a
// colour bar. The wheel and + / - zoom, dragging pans, Fit shows all; a click picks the scan
// line through that point (a thin line marks it); the arrow keys move a cross-hair point by
// point and Enter picks its scan line. The point under the cursor or the cross-hair is told to
// the status bar and the map's accessible description. "Clip colours to 1 %" spreads the colours
// over the 0.5 % to 99.5 % heights. The image is made once per surface (and per clip), so that
// zooming and panning only draw it.
class HeightMapView : public QWidget {
 public:
  explicit HeightMapView(QWidget* parent = nullptr);

  void setSurface(SurfaceResultPtr surface);
  // Marks the scan line of this profile (1, 2, ... in the file's order); 0 for none.
  void markScanLine(int profile);
  void onScanLinePicked(std::function<void(int profile)> picked) { picked_ = std::move(picked); }
  void onStatus(std::function<void(const QString&)> status) { status_ = std::move(status); }

  const QImage& image() const { return image_; }
  void zoom(double factor);  // about the middle of the view
  void fit();

 private:
  friend class MapChart;
  void makeImage();
  void describe();
  // The text of the point at (x, y) in the unit.
  QString pointText(double x, double y) const;
  int profileAt(double y) const;

  SurfaceResultPtr surface_;
  QImage image_;
  MapChart* map_;
  MapChart* bar_;
  QCheckBox* clip_;
  std::vector<double> profileY_;  // the y of each scan line, profile k at k - 1
  int marked_ = 0;
  double low_ = 0, high_ = 1;  // the heights of the colour map's ends
  std::function<void(int)> picked_;
  std::function<void(const QString&)> status_;
};

}  // namespace corvane::workspace
