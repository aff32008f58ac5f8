#pragma once

#include <QPixmap>
#include <QString>
#include <QWidget>
#include <functional>

#include "workspace/surface_result.h"

class QPainter;

namespace corvane::workspace {

// A chart of the report drawn in the window: the same drawing code, at the widget's size, into a
// picture kept until the surface or the size changes. `describe` gives the chart's accessible
// description in words.
class ChartView : public QWidget {
 public:
  using Draw = std::function<void(QPainter&, const QRectF&, const SurfaceResult&)>;
  using Describe = std::function<QString(const SurfaceResult&)>;

  ChartView(Draw draw, Describe describe, QWidget* parent = nullptr);

  void setSurface(SurfaceResultPtr surface);
  // The picture as drawn at this size (for tests and the screenshot script).
  QPixmap picture(const QSize& size);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  Draw draw_;
  Describe describe_;
  SurfaceResultPtr surface_;
  QPixmap cache_;
};

// Says in words what no surface gives the charts.
inline constexpr const char* kNoSurface = "No surface selected.";

}  // namespace corvane::workspace
