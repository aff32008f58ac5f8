#pragma once

// The analysis window: every open surface in the Surfaces table, the selected one's views in
// tabs, one set of settings for all, and the selected one's figures in the Figures table. The
// window holds no figure of its own: the store reads and analyses on a thread pool through the
// core, the views draw what an analysis gave (its charts by the report's code).

#include <QMainWindow>
#include <QStringList>
#include <memory>

#include "workspace/surface_result.h"
#include "workspace/workspace_dialogs.h"

class QLabel;
class QSortFilterProxyModel;
class QTabWidget;
class QTableView;
class QMenu;

namespace corvane::workspace {

class AutocorrelationView;
class ChartView;
class FiguresModel;
class HeightMapView;
class ProfileView;
class SettingsPanel;
class Surface3dView;
class SurfaceStore;
class SurfacesModel;

class AnalysisWindow : public QMainWindow {
 public:
  // `dialogs` asks the user for files and folders; null for the real dialogs.
  explicit AnalysisWindow(std::unique_ptr<WorkspaceDialogs> dialogs = nullptr,
                          QWidget* parent = nullptr);
  ~AnalysisWindow() override;

  // Opens the files (the first of them selected); reading and analysis go on in the background.
  void openFiles(const QStringList& paths);

  SurfaceStore& store() { return *store_; }
  // The selected surface's newest analysis, or null.
  SurfaceResultPtr selected() const;

 protected:
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  void createMenus();
  void open();
  void closeSelected();
  void closeOthers();
  void saveSettings();
  void loadSettings();
  void exportReport();
  void exportFigures();
  void exportX3p();
  void rememberRecent(const QStringList& paths);
  void refreshRecent();
  void showSelected();
  void rowChanged(int row);
  void updateTitle();

  std::unique_ptr<WorkspaceDialogs> dialogs_;
  SurfaceStore* store_ = nullptr;
  SurfacesModel* surfacesModel_ = nullptr;
  QSortFilterProxyModel* surfacesSorted_ = nullptr;
  FiguresModel* figuresModel_ = nullptr;
  QTableView* surfaces_ = nullptr;
  QTableView* figures_ = nullptr;
  QTabWidget* tabs_ = nullptr;
  HeightMapView* heightMap_ = nullptr;
  Surface3dView* view3d_ = nullptr;
  ProfileView* profile_ = nullptr;
  ChartView* materialRatio_ = nullptr;
  ChartView* histogram_ = nullptr;
  ChartView* spectrum_ = nullptr;
  AutocorrelationView* autocorrelation_ = nullptr;
  SettingsPanel* settings_ = nullptr;
  QMenu* recentMenu_ = nullptr;
  std::uint64_t shown_ = 0;  // the id of the surface the views show
};

}  // namespace corvane::workspace
