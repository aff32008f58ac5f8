#pragma once

// Corvane's main window. It holds the program's state (the point table, the extents, the result
// values) and one short handler per command: each reads its controls, asks the pure core
// (src/data, src/analysis, src/text) for every figure, and writes the answers back into labels,
// lists and pictures. Nothing here computes a figure itself. The platform's file dialog, message
// boxes and speech are seams handed in at construction, so tests drive every handler without a
// person at the screen.

#include <QMainWindow>
#include <QPointer>
#include <vector>

#include "data/extents.h"
#include "data/point_table.h"
#include "ui_form1.h"

namespace corvane {

class FileDialog;
class Form3;
class MessageBoxes;
class Speaker;
struct ReadResult;

class Form1 : public QMainWindow {
  Q_OBJECT

 public:
  Form1(FileDialog& dialog, MessageBoxes& messages, Speaker& speaker, QWidget* parent = nullptr);
  ~Form1() override;

  // Procedures shared by the commands.

  // Reloads the point file the dialog names: point table, extents, mean and their labels. A
  // failure is reported to the user and closes the file; the caller carries on either way.
  void calculation();
  // Spans the reference-plane scroll bar over the loaded heights and stands it at the mean.
  void setupReferencePlane();
  // Sets the sampling length back to 3.
  void rnhesap();
  // The Close command: forgets the file and returns the window to its state before any load.
  void closeFile();
  // The plan-view Draw: reloads the file and draws every point from above, grey by height.
  void planViewDraw();
  // The reference-plane Draw: the same picture with only the points above the plane.
  void referencePlaneDraw();

  // State, for the tests and the commands of later panels.
  const PointTable& pointTable() const noexcept { return table_; }
  const Extents& extents() const noexcept { return extents_; }
  int fileOpen() const noexcept { return fileOpen_; }
  int speechOn() const noexcept { return speechOn_; }
  float planeHeight() const noexcept { return planeHeight_; }
  float meanDeviation() const noexcept { return meanDeviation_; }
  float meanRn() const noexcept { return meanRn_; }
  const std::vector<float>& profileRn() const noexcept { return profileRn_; }

 protected:
  // Clicks on the labels that speak.
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void load();
  void connectCommands();

  // Commands.
  void open();
  void exitProgram();
  void about();
  void speechSwitchClicked();
  void referencePlaneChanged(int position);
  void defaultReferencePlane();
  void samplingLengthChanged(int length);
  void calculateProfileRoughness();
  void clearProfileResults();
  void calculateRa();

  // Reloads the file and draws the points from above: all of them, or only those strictly
  // above the reference plane.
  void drawPoints(bool abovePlaneOnly);
  void loadFailed(const ReadResult& result);
  void showExtents();
  QString localeText(float value) const;

  Ui::Form1 ui_;
  FileDialog& dialog_;
  MessageBoxes& messages_;
  Speaker& speaker_;
  QPointer<Form3> about_;

  PointTable table_;
  Extents extents_;
  int fileOpen_ = 0;
  int speechOn_ = 0;
  float planeHeight_ = 0;
  float meanDeviation_ = 0;
  float meanRn_ = 0;
  // The Rn of profile k of the last calculation in entry k; entry 0 is never used.
  std::vector<float> profileRn_ = std::vector<float>(kMaxPoints + 1, 0.0f);
};

}  // namespace corvane
