#include "workspace/analysis_window.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QKeySequence>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QProgressDialog>
#include <QScrollArea>
#include <QSettings>
#include <QSortFilterProxyModel>
#include <QSplitter>
#include <QStatusBar>
#include <QTabWidget>
#include <QTableView>
#include <QUrl>
#include <fstream>

#include "formats/instrument_file.h"
#include "formats/x3p.h"
#include "report/chart_canvas.h"
#include "report/figure_drawings.h"
#include "report/report_pages.h"
#include "report/report_writer.h"
#include "workspace/autocorrelation_view.h"
#include "workspace/chart_view.h"
#include "workspace/figures_model.h"
#include "workspace/height_map_view.h"
#include "workspace/profile_view.h"
#include "workspace/settings_panel.h"
#include "workspace/surface_3d_view.h"
#include "workspace/surface_store.h"
#include "workspace/surfaces_model.h"
#include "workspace/workspace_dialogs.h"

namespace corvane::workspace {
namespace {

constexpr int kMostRecent = 10;
const QString kWindowTitle = QStringLiteral("Corvane Analysis");
const QString kRecentKey = QStringLiteral("recentFiles");

QString fromUtf8(const std::string& text) {
  return QString::fromUtf8(text.data(), static_cast<int>(text.size()));
}

// The Figures table copies its selected rows, tab-separated under a header line.
class FiguresTable : public QTableView {
 public:
  FiguresTable(FiguresModel& model, QWidget* parent) : QTableView(parent), model_(model) {}

 protected:
  void keyPressEvent(QKeyEvent* event) override {
    if (event->matches(QKeySequence::Copy)) {
      copy();
      return;
    }
    QTableView::keyPressEvent(event);
  }

 public:
  void copy() {
    const QModelIndexList cells = selectionModel()->selectedIndexes();
    if (cells.isEmpty()) return;
    QApplication::clipboard()->setText(model_.copiedText(cells));
  }

 private:
  FiguresModel& model_;
};

QString describeMaterialRatio(const SurfaceResult& surface) {
  const ArealFigures& a = surface.analysis.standard.areal;
  const QString unit = unitSymbol(surface.settings.unit);
  using namespace figure;
  return QStringLiteral(
             "Material ratio curve: Sk %1 %6, Spk %2 %6, Svk %3 %6, Smr1 %4 %, Smr2 %5 %")
      .arg(report::numberText(a[Sk], 3), report::numberText(a[Spk], 3),
           report::numberText(a[Svk], 3), report::numberText(a[Smr1], 3),
           report::numberText(a[Smr2], 3), unit);
}

QString describeHistogram(const SurfaceResult& surface) {
  if (!surface.analysis.curves) return {};
  const Histogram& h = surface.analysis.curves->histogram;
  return QStringLiteral(
             "Height distribution of S: %1 bins of %2 %3 from %4 %3, mean %5 %3, Sq %6 %3, with "
             "the "
             "normal density of that mean and Sq")
      .arg(h.counts.size())
      .arg(report::numberText(h.width, 3), unitSymbol(surface.settings.unit),
           report::numberText(h.start, 3), report::numberText(h.mean, 3),
           report::numberText(h.sq, 3));
}

QString describeSpectrum(const SurfaceResult& surface) {
  if (!surface.analysis.curves || !surface.analysis.curves->spectrum) {
    return QStringLiteral("Spectrum: no whole evaluated profile to transform");
  }
  const Spectrum& s = *surface.analysis.curves->spectrum;
  return QStringLiteral(
             "Spectrum: power spectral density of %1 primary profiles of %2 points, %3 %4 apart, "
             "log-log, with 1 / cut-off marked")
      .arg(s.profiles)
      .arg(s.length)
      .arg(report::numberText(s.spacing, 3), unitSymbol(surface.settings.unit));
}

}  // namespace

AnalysisWindow::AnalysisWindow(std::unique_ptr<WorkspaceDialogs> dialogs, QWidget* parent)
    : QMainWindow(parent), dialogs_(dialogs ? std::move(dialogs) : qtDialogs()) {
  setObjectName(QStringLiteral("analysisWindow"));
  setWindowTitle(kWindowTitle);
  setAcceptDrops(true);
  store_ = new SurfaceStore(this);

  surfacesModel_ = new SurfacesModel(*store_, this);
  surfacesSorted_ = new QSortFilterProxyModel(this);
  surfacesSorted_->setSourceModel(surfacesModel_);
  surfacesSorted_->setSortRole(Qt::UserRole);
  surfaces_ = new QTableView(this);
  surfaces_->setObjectName(QStringLiteral("surfaces"));
  surfaces_->setAccessibleName(tr("Surfaces"));
  surfaces_->setModel(surfacesSorted_);
  surfaces_->setSortingEnabled(true);
  surfaces_->sortByColumn(-1, Qt::AscendingOrder);  // the order they were opened in
  surfaces_->setSelectionBehavior(QAbstractItemView::SelectRows);
  surfaces_->setSelectionMode(QAbstractItemView::SingleSelection);
  // Tab goes on to the next control; the arrow keys move within the table.
  surfaces_->setTabKeyNavigation(false);
  surfaces_->verticalHeader()->hide();
  surfaces_->horizontalHeader()->setStretchLastSection(true);
  surfaces_->setMinimumWidth(300);

  figuresModel_ = new FiguresModel(this);
  auto* figures = new FiguresTable(*figuresModel_, this);
  figures_ = figures;
  figures_->setObjectName(QStringLiteral("figures"));
  figures_->setAccessibleName(tr("Figures"));
  figures_->setModel(figuresModel_);
  figures_->setSelectionBehavior(QAbstractItemView::SelectRows);
  figures_->setSelectionMode(QAbstractItemView::ExtendedSelection);
  figures_->setTabKeyNavigation(false);
  figures_->verticalHeader()->hide();
  figures_->horizontalHeader()->setStretchLastSection(true);

  tabs_ = new QTabWidget(this);
  tabs_->setObjectName(QStringLiteral("views"));
  heightMap_ = new HeightMapView(this);
  view3d_ = new Surface3dView(this);
  profile_ = new ProfileView(this);
  const auto units = [](const SurfaceResult& s) { return report::unitNamesOf(s.analysis); };
  materialRatio_ = new ChartView(
      [units](QPainter& p, const QRectF& r, const SurfaceResult& s) {
        if (!s.analysis.curves) return report::drawNothing(p, r, QStringLiteral("no curves"));
        report::drawMaterialRatio(p, r, *s.analysis.curves, s.analysis.standard.areal, units(s));
      },
      describeMaterialRatio, this);
  histogram_ = new ChartView(
      [units](QPainter& p, const QRectF& r, const SurfaceResult& s) {
        if (!s.analysis.curves) return report::drawNothing(p, r, QStringLiteral("no curves"));
        report::drawHistogram(p, r, s.analysis.curves->histogram, units(s));
      },
      describeHistogram, this);
  spectrum_ = new ChartView(
      [units](QPainter& p, const QRectF& r, const SurfaceResult& s) {
        if (!s.analysis.curves || !s.analysis.curves->spectrum) {
          return report::drawNothing(
              p, r,
              s.analysis.standard.evaluated > 0
                  ? QStringLiteral("every evaluated profile has non-measured points")
                  : QStringLiteral("no profile could be evaluated"));
        }
        report::drawSpectrum(p, r, *s.analysis.curves->spectrum, s.analysis.standard.cutoff,
                             units(s));
      },
      describeSpectrum, this);
  autocorrelation_ = new AutocorrelationView(this);
  const std::pair<QWidget*, QString> views[] = {{heightMap_, tr("Height map")},
                                                {view3d_, tr("3D view")},
                                                {profile_, tr("Profile")},
                                                {materialRatio_, tr("Material ratio")},
                                                {histogram_, tr("Height distribution")},
                                                {spectrum_, tr("Spectrum")},
                                                {autocorrelation_, tr("Autocorrelation")}};
  for (const auto& [view, title] : views) {
    view->setAccessibleName(title);
    tabs_->addTab(view, title);
  }

  settings_ = new SettingsPanel(this);
  auto* settingsArea = new QScrollArea(this);
  settingsArea->setWidget(settings_);
  settingsArea->setWidgetResizable(true);
  settingsArea->setMinimumWidth(200);
  settingsArea->setFrameShape(QFrame::NoFrame);
  settingsArea->setFocusPolicy(Qt::NoFocus);  // the fields inside take the focus

  auto* middle = new QSplitter(Qt::Vertical, this);
  middle->addWidget(tabs_);
  middle->addWidget(figures_);
  middle->setStretchFactor(0, 3);
  middle->setStretchFactor(1, 2);
  auto* body = new QSplitter(Qt::Horizontal, this);
  body->addWidget(surfaces_);
  body->addWidget(middle);
  body->addWidget(settingsArea);
  body->setStretchFactor(0, 2);
  body->setStretchFactor(1, 5);
  body->setStretchFactor(2, 1);
  setCentralWidget(body);
  statusBar()->showMessage(tr("Open surface files with File > Open, or drop them here."));
  setTabOrder(surfaces_, tabs_);
  setTabOrder(tabs_, figures_);
  setTabOrder(figures_, settings_);
  resize(1280, 800);

  createMenus();

  connect(surfaces_->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
          [this] { showSelected(); });
  connect(store_, &SurfaceStore::rowChanged, this, [this](int row) { rowChanged(row); });
  connect(store_, &SurfaceStore::rowRemoved, this, [this] { showSelected(); });
  connect(store_, &SurfaceStore::idle, this, [this] {
    // A failure stays in the status bar until the next message; else all is done.
    for (int row = 0; row < store_->count(); ++row) {
      if (store_->at(row).state == SurfaceStore::State::Failed) return;
    }
    if (store_->count() > 0) statusBar()->showMessage(tr("Every surface is analysed"));
  });
  heightMap_->onStatus([this](const QString& text) { statusBar()->showMessage(text); });
  heightMap_->onScanLinePicked([this](int profile) { profile_->showProfile(profile); });
  profile_->onProfileChosen([this](int profile) { heightMap_->markScanLine(profile); });
  settings_->onChanged([this](const AnalysisSettings& settings) {
    store_->setSettings(settings);
    surfacesModel_->headerDataChanged(Qt::Horizontal, 0, SurfacesModel::Columns - 1);
    statusBar()->showMessage(tr("Analysing every surface with the new settings"));
  });
}

AnalysisWindow::~AnalysisWindow() = default;

void AnalysisWindow::createMenus() {
  QMenu* file = menuBar()->addMenu(tr("&File"));
  QAction* openAction = file->addAction(tr("&Open..."), this, &AnalysisWindow::open);
  openAction->setShortcut(QKeySequence::Open);
  recentMenu_ = file->addMenu(tr("Open &Recent"));
  refreshRecent();
  QAction* close = file->addAction(tr("&Close"), this, &AnalysisWindow::closeSelected);
  QList<QKeySequence> closeKeys = QKeySequence::keyBindings(QKeySequence::Close);
  if (!closeKeys.contains(QKeySequence(Qt::CTRL | Qt::Key_W))) {
    closeKeys.prepend(QKeySequence(Qt::CTRL | Qt::Key_W));
  }
  close->setShortcuts(closeKeys);
  file->addAction(tr("Close &All"), this, [this] { store_->closeAll(); });
  file->addSeparator();
  file->addAction(tr("&Save Settings..."), this, &AnalysisWindow::saveSettings);
  file->addAction(tr("&Load Settings..."), this, &AnalysisWindow::loadSettings);
  file->addSeparator();
  file->addAction(tr("Export Re&port..."), this, &AnalysisWindow::exportReport);
  file->addAction(tr("Export &Figures..."), this, &AnalysisWindow::exportFigures);
  file->addAction(tr("Export &X3P..."), this, &AnalysisWindow::exportX3p);
  file->addSeparator();
  QAction* quit = file->addAction(tr("&Quit"), this, &QWidget::close);
  quit->setShortcut(QKeySequence::Quit);

  QMenu* edit = menuBar()->addMenu(tr("&Edit"));
  QAction* copy = edit->addAction(tr("&Copy Figures"), this,
                                  [this] { static_cast<FiguresTable*>(figures_)->copy(); });
  copy->setShortcut(QKeySequence::Copy);
  copy->setShortcutContext(Qt::WidgetWithChildrenShortcut);
  figures_->addAction(copy);

  QMenu* view = menuBar()->addMenu(tr("&View"));
  QAction* zoomIn = view->addAction(tr("Zoom &In"), this, [this] { heightMap_->zoom(1.25); });
  zoomIn->setShortcut(QKeySequence::ZoomIn);
  QAction* zoomOut = view->addAction(tr("Zoom &Out"), this, [this] { heightMap_->zoom(0.8); });
  zoomOut->setShortcut(QKeySequence::ZoomOut);
  view->addAction(tr("&Fit"), this, [this] { heightMap_->fit(); });
}

void AnalysisWindow::openFiles(const QStringList& paths) {
  if (paths.isEmpty()) return;
  const int first = store_->count();
  store_->open(paths);
  rememberRecent(paths);
  if (!surfaces_->selectionModel()->currentIndex().isValid()) {
    const QModelIndex row = surfacesSorted_->mapFromSource(surfacesModel_->index(first, 0));
    surfaces_->selectionModel()->setCurrentIndex(
        row, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
  }
  statusBar()->showMessage(tr("Reading %n file(s)", nullptr, static_cast<int>(paths.size())));
}

SurfaceResultPtr AnalysisWindow::selected() const {
  const QModelIndex current = surfaces_->selectionModel()->currentIndex();
  if (!current.isValid()) return nullptr;
  const int row = surfacesSorted_->mapToSource(current).row();
  if (row < 0 || row >= store_->count()) return nullptr;
  return store_->at(row).result;
}

void AnalysisWindow::showSelected() {
  const QModelIndex current = surfaces_->selectionModel()->currentIndex();
  const int row = current.isValid() ? surfacesSorted_->mapToSource(current).row() : -1;
  const SurfaceResultPtr result =
      row >= 0 && row < store_->count() ? store_->at(row).result : nullptr;
  shown_ = row >= 0 && row < store_->count() ? store_->at(row).id : 0;
  heightMap_->setSurface(result);
  view3d_->setSurface(result);
  profile_->setSurface(result);
  materialRatio_->setSurface(result);
  histogram_->setSurface(result);
  spectrum_->setSurface(result);
  autocorrelation_->setSurface(result);
  figuresModel_->setSurface(result);
  updateTitle();
}

void AnalysisWindow::rowChanged(int row) {
  const SurfaceStore::Entry& entry = store_->at(row);
  if (entry.state == SurfaceStore::State::Failed) {
    statusBar()->showMessage(tr("%1: %2").arg(entry.name, entry.diagnosis));
  }
  surfaces_->resizeColumnToContents(SurfacesModel::Name);
  if (entry.id == shown_ && entry.state != SurfaceStore::State::Reading &&
      entry.state != SurfaceStore::State::Analysing) {
    showSelected();
  }
}

void AnalysisWindow::updateTitle() {
  const QModelIndex current = surfaces_->selectionModel()->currentIndex();
  const int row = current.isValid() ? surfacesSorted_->mapToSource(current).row() : -1;
  setWindowTitle(row >= 0 && row < store_->count()
                     ? kWindowTitle + QStringLiteral(" - ") + store_->at(row).name
                     : kWindowTitle);
}

void AnalysisWindow::open() {
  // X3P, point files and every instrument format Corvane reads.
  QString patterns = QStringLiteral("*.x3p *.txt *.xyz *.asc *.csv");
  for (const InstrumentFormat& format : instrumentFormats()) {
    for (const std::string_view extension : format.extensions) {
      patterns += QStringLiteral(" *") +
                  QString::fromLatin1(extension.data(), static_cast<qsizetype>(extension.size()));
    }
  }
  openFiles(dialogs_->openFiles(this, tr("Open Surfaces"),
                                tr("Surface files (%1);;All files (*)").arg(patterns)));
}

void AnalysisWindow::closeSelected() {
  const QModelIndex current = surfaces_->selectionModel()->currentIndex();
  if (!current.isValid()) return;
  store_->close(surfacesSorted_->mapToSource(current).row());
}

void AnalysisWindow::rememberRecent(const QStringList& paths) {
  QSettings settings;
  QStringList recent = settings.value(kRecentKey).toStringList();
  for (const QString& path : paths) {
    const QString absolute = QFileInfo(path).absoluteFilePath();
    recent.removeAll(absolute);
    recent.prepend(absolute);
  }
  while (recent.size() > kMostRecent) recent.removeLast();
  settings.setValue(kRecentKey, recent);
  refreshRecent();
}

void AnalysisWindow::refreshRecent() {
  recentMenu_->clear();
  const QStringList recent = QSettings().value(kRecentKey).toStringList();
  for (const QString& path : recent) {
    recentMenu_->addAction(QFileInfo(path).fileName(), this, [this, path] { openFiles({path}); })
        ->setToolTip(path);
  }
  recentMenu_->setEnabled(!recent.isEmpty());
}

void AnalysisWindow::dragEnterEvent(QDragEnterEvent* event) {
  if (event->mimeData()->hasUrls()) event->acceptProposedAction();
}

void AnalysisWindow::dropEvent(QDropEvent* event) {
  QStringList paths;
  for (const QUrl& url : event->mimeData()->urls()) {
    if (url.isLocalFile()) paths << url.toLocalFile();
  }
  openFiles(paths);
  event->acceptProposedAction();
}

void AnalysisWindow::saveSettings() {
  const QString path =
      dialogs_->saveFile(this, tr("Save Settings"), QStringLiteral("corvane-settings.json"),
                         tr("Settings (*.json);;All files (*)"));
  if (path.isEmpty()) return;
  const std::string text = settingsText(settings_->settings());
  std::ofstream out(path.toStdString(), std::ios::binary | std::ios::trunc);
  out << text;
  out.close();
  if (!out) {
    dialogs_->failed(this, tr("Save Settings"), tr("%1 could not be written.").arg(path));
    return;
  }
  statusBar()->showMessage(tr("Settings saved to %1").arg(path));
}

void AnalysisWindow::loadSettings() {
  const QStringList paths =
      dialogs_->openFiles(this, tr("Load Settings"), tr("Settings (*.json);;All files (*)"));
  if (paths.isEmpty()) return;
  const SettingsRead read = readSettingsFile(paths.front().toStdString());
  if (!read.ok) {
    dialogs_->failed(this, tr("Load Settings"),
                     tr("%1: %2").arg(paths.front(), fromUtf8(read.error)));
    return;
  }
  settings_->setSettings(read.settings);
}

namespace {

// Every surface's newest analysis, when every one is done with the settings in force.
bool everyAnalysed(const SurfaceStore& store, std::vector<SurfaceAnalysis>& surfaces) {
  for (int row = 0; row < store.count(); ++row) {
    const SurfaceStore::Entry& entry = store.at(row);
    if (entry.state == SurfaceStore::State::Reading ||
        entry.state == SurfaceStore::State::Analysing) {
      return false;
    }
    if (entry.result) {
      surfaces.push_back(entry.result->analysis);
    } else {
      SurfaceAnalysis failed;
      failed.file = entry.path.toStdString();
      failed.title = entry.name.toStdString();
      failed.error = entry.diagnosis.toStdString();
      surfaces.push_back(std::move(failed));
    }
  }
  return true;
}

}  // namespace

void AnalysisWindow::exportReport() {
  std::vector<SurfaceAnalysis> surfaces;
  if (store_->count() == 0) return statusBar()->showMessage(tr("No surface to report."));
  if (!everyAnalysed(*store_, surfaces)) {
    return statusBar()->showMessage(tr("Wait until every surface is analysed, then export."));
  }
  const QString path = dialogs_->saveFile(this, tr("Export Report"), QStringLiteral("report.pdf"),
                                          tr("PDF (*.pdf)"));
  if (path.isEmpty()) return;
  std::string error;
  const auto writer = report::makeReportWriter({path.toStdString(), std::nullopt}, error);
  bool ok = writer != nullptr;
  for (const SurfaceAnalysis& surface : surfaces) {
    if (ok) ok = writer->add(surface, error);
  }
  QProgressDialog progress(tr("Writing the report..."), tr("Cancel"), 0,
                           static_cast<int>(surfaces.size()), this);
  progress.setWindowModality(Qt::WindowModal);
  progress.setMinimumDuration(300);
  if (ok) {
    ok = writer->finish(
        [&progress](std::size_t done, std::size_t) {
          progress.setValue(static_cast<int>(done));
          QCoreApplication::processEvents();
          return !progress.wasCanceled();
        },
        error);
  }
  progress.reset();
  if (!ok) {
    if (progress.wasCanceled()) return statusBar()->showMessage(tr("Report not written."));
    return dialogs_->failed(this, tr("Export Report"), fromUtf8(error));
  }
  statusBar()->showMessage(tr("Report written to %1").arg(path));
}

void AnalysisWindow::exportFigures() {
  std::vector<SurfaceAnalysis> surfaces;
  if (store_->count() == 0) return statusBar()->showMessage(tr("No surface to export."));
  if (!everyAnalysed(*store_, surfaces)) {
    return statusBar()->showMessage(tr("Wait until every surface is analysed, then export."));
  }
  const QString folder = dialogs_->folder(this, tr("Export Figures"));
  if (folder.isEmpty()) return;
  std::string error;
  const auto writer = report::makeReportWriter({std::nullopt, folder.toStdString()}, error);
  QProgressDialog progress(tr("Writing the figures..."), tr("Cancel"), 0,
                           static_cast<int>(surfaces.size()), this);
  progress.setWindowModality(Qt::WindowModal);
  progress.setMinimumDuration(300);
  bool ok = writer != nullptr;
  for (std::size_t k = 0; ok && k < surfaces.size(); ++k) {
    std::string why;
    if (!writer->add(surfaces[k], why)) error += (error.empty() ? "" : "; ") + why;
    progress.setValue(static_cast<int>(k + 1));
    QCoreApplication::processEvents();
    if (progress.wasCanceled()) return statusBar()->showMessage(tr("Export stopped."));
  }
  if (ok) ok = writer->finish([](std::size_t, std::size_t) { return true; }, error);
  if (!ok || !error.empty()) return dialogs_->failed(this, tr("Export Figures"), fromUtf8(error));
  statusBar()->showMessage(tr("Figures written to %1").arg(folder));
}

void AnalysisWindow::exportX3p() {
  const QModelIndex current = surfaces_->selectionModel()->currentIndex();
  if (!current.isValid()) return statusBar()->showMessage(tr("No surface selected."));
  const SurfaceStore::Entry& entry = store_->at(surfacesSorted_->mapToSource(current).row());
  if (!entry.points) return statusBar()->showMessage(tr("The surface is not read yet."));
  const QString path = dialogs_->saveFile(
      this, tr("Export X3P"), QFileInfo(entry.path).completeBaseName() + QStringLiteral(".x3p"),
      tr("X3P (*.x3p)"));
  if (path.isEmpty()) return;
  const X3pWrite written = writeX3p(
      path.toStdString(), entry.points->points(), store_->settings().unit,
      "written by Corvane Analysis from " + entry.name.toStdString(), CORVANE_VERSION, true);
  if (!written.ok) return dialogs_->failed(this, tr("Export X3P"), fromUtf8(written.error));
  statusBar()->showMessage(tr("%1 written to %2").arg(entry.name, path));
}

}  // namespace corvane::workspace
