#pragma once

#include <QWidget>
#include <functional>
#include <optional>

#include "analysis/surface_curves.h"
#include "workspace/surface_result.h"

class QLabel;
class QSpinBox;

namespace corvane::workspace {

class ProfilePicture;

// The Profile tab: the scan line picked on the map or chosen by number ("Scan line"; at first
// the report's profile, the evaluated one nearest the middle), P with its mean line and R with
// the evaluation and sampling lengths, Rp and Rv, drawn by the report's code, and that profile's
// own figures beside it, or why it was not evaluated. A profile's curves are worked out on a
// worker thread; the newest choice wins.
class ProfileView : public QWidget {
 public:
  explicit ProfileView(QWidget* parent = nullptr);
  ~ProfileView() override;

  void setSurface(SurfaceResultPtr surface);
  void showProfile(int profile);  // 1, 2, ... in the file's order
  int profile() const;
  void onProfileChosen(std::function<void(int)> chosen) { chosen_ = std::move(chosen); }
  // The picture as drawn at this size (tests, screenshots).
  QPixmap picture(const QSize& size) const;

 private:
  void chosen(int profile);
  void showCurves(int profile, std::optional<ProfileCurves> curves);

  SurfaceResultPtr surface_;
  QSpinBox* scanLine_;
  ProfilePicture* picture_;
  QLabel* figures_;
  std::function<void(int)> chosen_;
  unsigned request_ = 0;  // the newest profile asked for
};

}  // namespace corvane::workspace
