#pragma once

#include <QImage>
#include <QSize>
#include <QString>
#include <QWidget>

#include "analysis/surface_display.h"
#include "workspace/surface_result.h"

class Q3DSurface;
class QDoubleSpinBox;
class QLabel;
class QStackedWidget;
class QSurface3DSeries;

namespace corvane::workspace {

// The 3D view of the selected surface: S over x and y as a surface in the height map's colours,
// turned with the mouse and zoomed with the wheel, its heights drawn larger by a vertical
// exaggeration (1: the heights at the scale of x and y). A large map is drawn reduced to at
// most kMaxSide x kMaxSide block means, non-measured blocks left as holes. Where OpenGL cannot
// start the tab says so; its accessible description says in words what it shows, since a
// screen reader sees nothing inside the graph's own window.
class Surface3dView : public QWidget {
 public:
  static constexpr std::size_t kMaxSide = 512;
  // The side of the coarse map the graph draws first.
  static constexpr std::size_t kFirstSide = 64;

  explicit Surface3dView(QWidget* parent = nullptr);
  ~Surface3dView() override;

  void setSurface(SurfaceResultPtr surface);

  // The graph as it stands drawn into an image of `size`; null without OpenGL.
  QImage renderToImage(QSize size);

  // What the view draws: the reduced height map (no points when there is nothing to draw).
  const ReducedSurface& drawn() const { return drawn_; }
  bool hasOpenGl() const { return graph_ != nullptr; }

 private:
  void clear(const QString& reason);
  void applyExaggeration();
  void describe();
  void drawFull();
  bool eventFilter(QObject* watched, QEvent* event) override;

  QDoubleSpinBox* exaggeration_ = nullptr;
  QLabel* exaggerationLabel_ = nullptr;
  QStackedWidget* pages_ = nullptr;
  QWidget* graphPage_ = nullptr;  // the container of the graph's window; null without OpenGL
  QLabel* noOpenGl_ = nullptr;
  QLabel* nothing_ = nullptr;
  Q3DSurface* graph_ = nullptr;  // owned by its container
  QSurface3DSeries* series_ = nullptr;

  SurfaceResultPtr surface_;
  ReducedSurface drawn_;
  QString reason_;             // why nothing is drawn, when nothing is
  QString unit_;               // of x, y and S
  double low_ = 0, high_ = 0;  // the S axis: the heights the colours span
  double lateral_ = 0;         // the longer side of the map
  std::size_t holes_ = 0;      // blocks without a measured point
  std::size_t mapColumns_ = 0, mapRows_ = 0;
  bool fullPending_ = false;  // the coarse map is drawn, the reduced one still to follow
  unsigned generation_ = 0;   // of the surface drawn, so that a late step is dropped
};

}  // namespace corvane::workspace
