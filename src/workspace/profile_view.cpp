#include "workspace/profile_view.h"

#include <QFutureWatcher>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QSpinBox>
#include <QVBoxLayout>
#include <QtConcurrent/QtConcurrentRun>

#include "analysis/profile_curves.h"
#include "report/chart_canvas.h"
#include "report/figure_drawings.h"
#include "report/report_pages.h"

namespace corvane::workspace {

// P and R of one profile, drawn by the report's code into a picture kept until it changes.
class ProfilePicture : public QWidget {
 public:
  explicit ProfilePicture(QWidget* parent) : QWidget(parent) { setMinimumSize(420, 300); }

  void show(SurfaceResultPtr surface, std::optional<ProfileCurves> curves, QString note) {
    surface_ = std::move(surface);
    curves_ = std::move(curves);
    note_ = std::move(note);
    cache_ = QPixmap();
    update();
  }

  QPixmap picture(const QSize& size) const {
    QPixmap pixmap(size);
    pixmap.fill(Qt::white);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF area(QPointF(0, 0), QSizeF(size));
    if (surface_ && curves_) {
      const StandardResult& s = surface_->analysis.standard;
      report::drawProfile(painter, area, *curves_, s.cutoff, static_cast<int>(s.profiles.size()),
                          report::unitNamesOf(surface_->analysis), s.settings.robust);
    } else {
      report::drawNothing(painter, area, note_);
    }
    return pixmap;
  }

 protected:
  void paintEvent(QPaintEvent*) override {
    if (cache_.size() != size()) cache_ = picture(size());
    QPainter painter(this);
    painter.drawPixmap(0, 0, cache_);
  }

 private:
  SurfaceResultPtr surface_;
  std::optional<ProfileCurves> curves_;
  QString note_;
  QPixmap cache_;
};

ProfileView::ProfileView(QWidget* parent) : QWidget(parent) {
  auto* layout = new QVBoxLayout(this);
  auto* top = new QHBoxLayout;
  auto* label = new QLabel(tr("Sca&n line"), this);
  scanLine_ = new QSpinBox(this);
  scanLine_->setObjectName(QStringLiteral("scanLine"));
  scanLine_->setAccessibleName(tr("Scan line"));
  scanLine_->setRange(0, 0);
  label->setBuddy(scanLine_);
  top->addWidget(label);
  top->addWidget(scanLine_);
  top->addStretch(1);
  layout->addLayout(top);
  auto* body = new QHBoxLayout;
  picture_ = new ProfilePicture(this);
  picture_->setObjectName(QStringLiteral("profileChart"));
  picture_->setAccessibleName(tr("Profile chart"));
  figures_ = new QLabel(this);
  figures_->setObjectName(QStringLiteral("profileFigures"));
  figures_->setAlignment(Qt::AlignTop | Qt::AlignLeft);
  figures_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  figures_->setMinimumWidth(190);
  figures_->setFont(QFont(QStringLiteral("DejaVu Sans Mono"), 9));
  body->addWidget(picture_, 1);
  body->addWidget(figures_);
  layout->addLayout(body, 1);
  connect(scanLine_, &QSpinBox::valueChanged, this, [this](int profile) { chosen(profile); });
}

ProfileView::~ProfileView() = default;

void ProfileView::setSurface(SurfaceResultPtr surface) {
  surface_ = std::move(surface);
  const int profiles = surface_ ? static_cast<int>(surface_->analysis.standard.profiles.size()) : 0;
  int initial = 0;
  if (surface_ && surface_->analysis.curves && surface_->analysis.curves->profile) {
    initial = surface_->analysis.curves->profile->profile;
  } else if (profiles > 0) {
    initial = (profiles + 1) / 2;
  }
  const QSignalBlocker quiet(scanLine_);
  scanLine_->setRange(profiles > 0 ? 1 : 0, profiles);
  scanLine_->setValue(initial);
  chosen(initial);
}

void ProfileView::showProfile(int profile) { scanLine_->setValue(profile); }

int ProfileView::profile() const { return scanLine_->value(); }

QPixmap ProfileView::picture(const QSize& size) const { return picture_->picture(size); }

void ProfileView::chosen(int profile) {
  const unsigned request = ++request_;
  if (chosen_ && profile > 0) chosen_(profile);
  if (!surface_ || profile <= 0) return showCurves(profile, std::nullopt);
  const ProfileResult& result =
      surface_->analysis.standard.profiles[static_cast<std::size_t>(profile - 1)];
  if (!result.ok) return showCurves(profile, std::nullopt);
  if (surface_->analysis.curves && surface_->analysis.curves->profile &&
      surface_->analysis.curves->profile->profile == profile) {
    return showCurves(profile, surface_->analysis.curves->profile);
  }
  // Another profile is evaluated again, off the window's thread (a long one with the robust
  // mean line takes a while).
  auto* watcher = new QFutureWatcher<std::optional<ProfileCurves>>(this);
  connect(watcher, &QFutureWatcher<std::optional<ProfileCurves>>::finished, this,
          [this, watcher, request, profile] {
            if (request == request_) showCurves(profile, watcher->result());
            watcher->deleteLater();
          });
  const SurfaceResultPtr surface = surface_;
  watcher->setFuture(QtConcurrent::run([surface, profile] {
    StandardWorkspace workspace;
    return profileCurves(surface->points->points(), surface->analysis.standard, profile, workspace);
  }));
}

void ProfileView::showCurves(int profile, std::optional<ProfileCurves> curves) {
  QString note = tr("No surface selected.");
  QString text;
  if (surface_ && profile > 0) {
    const ProfileResult& result =
        surface_->analysis.standard.profiles[static_cast<std::size_t>(profile - 1)];
    const report::UnitNames units = report::unitNamesOf(surface_->analysis);
    if (result.ok) {
      using namespace figure;
      text = tr("Profile %1\n").arg(profile);
      for (const std::size_t f :
           {Ra, Rq, Rsk, Rku, Rp, Rv, Rz, Rt, Rdq, RSm, Rk, Rpk, Rvk, Mr1, Mr2}) {
        const std::string_view name = kProfileFigureNames[f];
        text += QStringLiteral("%1 %2 %3\n")
                    .arg(QString::fromLatin1(name.data(), static_cast<int>(name.size())), -4)
                    .arg(report::numberText(result.figures[f]), 11)
                    .arg(report::unitOf(name, units));
      }
    } else {
      note = tr("Profile %1 was not evaluated: %2")
                 .arg(profile)
                 .arg(QString::fromStdString(result.reason));
      text = note;
    }
  } else if (surface_) {
    note = tr("No profile to show.");
    text = note;
  }
  figures_->setText(text);
  figures_->setAccessibleDescription(text);
  picture_->setAccessibleDescription(
      curves ? tr("Profile %1: primary profile P with its mean line, and the roughness profile R "
                  "with its evaluation length, sampling lengths, Rp and Rv.")
                   .arg(profile)
             : note);
  picture_->show(surface_, std::move(curves), note);
}

}  // namespace corvane::workspace
