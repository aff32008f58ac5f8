#include "app/form1.h"

#include <QCoreApplication>
#include <QFile>
#include <QLocale>
#include <QMouseEvent>
#include <algorithm>
#include <filesystem>
#include <limits>
#include <span>

#include "analysis/mean_deviation.h"
#include "analysis/plan_view.h"
#include "analysis/profile_roughness.h"
#include "analysis/reference_plane.h"
#include "app/file_dialog.h"
#include "app/form3.h"
#include "app/message_boxes.h"
#include "app/samples_folder.h"
#include "data/point_reader.h"
#include "plot/point_plots.h"
#include "speech/announcements.h"
#include "speech/speaker.h"
#include "text/number_text.h"
#include "text/picture_descriptions.h"
#include "text/result_lines.h"

namespace corvane {

namespace {

const QString kTitle = QStringLiteral("Corvane");
const QRgb kYellow = qRgb(255, 255, 0);
const QString kLoadError = QStringLiteral("An error occured loading file");
constexpr int kDefaultBrightness = 255;
constexpr int kDefaultPointWidth = 2;
constexpr int kDefaultSamplingLength = 3;

// The user's decimal separator, from the regional settings Qt reads.
std::string decimalSeparator() { return QLocale().decimalPoint().toStdString(); }

// A value label shows its value; a screen reader hears the label's name and, as its
// description, the same value.
void setValueText(QLabel* label, const QString& text) {
  label->setText(text);
  label->setAccessibleDescription(text);
}

// What a picture shows, in words, for a screen reader.
void describePicture(PictureBox* picture, const std::string& text) {
  picture->setAccessibleDescription(QString::fromStdString(text));
}

std::filesystem::path toPath(const QString& fileName) {
  return std::filesystem::path(QFile::encodeName(fileName).toStdString());
}

}  // namespace

Form1::Form1(FileDialog& dialog, MessageBoxes& messages, Speaker& speaker, QWidget* parent)
    : QMainWindow(parent), dialog_(dialog), messages_(messages), speaker_(speaker) {
  ui_.setupUi(this);
  // A fixed single-line border: the size cannot change, the window can be minimised but not
  // maximised.
  setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                 Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                 Qt::WindowCloseButtonHint);
  setFixedSize(ui_.centralwidget->size().width(),
               ui_.centralwidget->size().height() + menuBar()->sizeHint().height());
  connectCommands();
  load();
}

Form1::~Form1() { delete about_.data(); }

void Form1::connectCommands() {
  connect(ui_.menu2, &QAction::triggered, this, &Form1::open);
  connect(ui_.menu6, &QAction::triggered, this, &Form1::closeFile);
  connect(ui_.menu3, &QAction::triggered, this, &Form1::exitProgram);
  connect(ui_.menu5, &QAction::triggered, this, &Form1::about);
  connect(ui_.Check1, &QCheckBox::clicked, this, &Form1::speechSwitchClicked);
  connect(ui_.HScroll3, &QScrollBar::valueChanged, this, &Form1::referencePlaneChanged);
  connect(ui_.Command8, &QPushButton::clicked, this, &Form1::defaultReferencePlane);
  connect(ui_.HScroll4, &QScrollBar::valueChanged, this, &Form1::samplingLengthChanged);
  connect(ui_.Command1, &QPushButton::clicked, this, &Form1::planViewDraw);
  connect(ui_.Command3, &QPushButton::clicked, this,
          [this] { ui_.HScroll1->setValue(kDefaultBrightness); });
  connect(ui_.Command2, &QPushButton::clicked, this,
          [this] { ui_.HScroll2->setValue(kDefaultPointWidth); });
  connect(ui_.Command10, &QPushButton::clicked, this, &Form1::calculateProfileRoughness);
  connect(ui_.Command7, &QPushButton::clicked, this, &Form1::clearProfileResults);
  connect(ui_.Command5, &QPushButton::clicked, this, &Form1::referencePlaneDraw);
  connect(ui_.Command6, &QPushButton::clicked, this, &Form1::calculateRa);
  connect(ui_.Command9, &QPushButton::clicked, ui_.List2, &QListWidget::clear);
  for (const QString& name : speakingLabels()) {
    if (auto* label = findChild<QLabel*>(name)) label->installEventFilter(this);
  }
}

// The window's initial state, in this order.
void Form1::load() {
  fileOpen_ = 0;
  ui_.Command1->setEnabled(false);
  ui_.HScroll1->setValue(kDefaultBrightness);
  ui_.HScroll2->setValue(kDefaultPointWidth);
  speechOn_ = 0;
  ui_.Check1->setChecked(false);
  ui_.Frame1->setEnabled(false);
  ui_.Frame2->setEnabled(false);
  setWindowTitle(kTitle);
  describePicture(ui_.Picture1, emptyPlanViewDescription());
  describePicture(ui_.Picture2, emptyProfilePlotDescription());
}

void Form1::open() {
  if (fileOpen_ == 1) {
    if (speechOn_ == 1)
      speaker_.speak(QStringLiteral("A file is already open. please close the file first."));
    messages_.information(QStringLiteral("Please close the file first."));
  } else {
    dialog_.setInitialFolder(samplesFolder(QCoreApplication::applicationDirPath()));
    dialog_.setFilter(QStringLiteral("*.txt"));
    dialog_.showOpen();
    if (dialog_.fileName().isEmpty()) {
      messages_.critical(QStringLiteral("Please select a point cloud data."),
                         QStringLiteral("Error"));
    } else {
      // These run after a failed load too: the loader has then closed the file, and the
      // reference plane and sampling length are set up from the emptied state.
      calculation();
      setupReferencePlane();
      rnhesap();
    }
  }
  setWindowTitle(kTitle + QStringLiteral("  ") + dialog_.fileName());
}

void Form1::calculation() {
  const ReadResult result = readPointFile(toPath(dialog_.fileName()), table_);
  if (!result.ok()) {
    loadFailed(result);
    return;
  }
  fileOpen_ = 1;
  ui_.Command1->setEnabled(true);
  extents_ = computeExtents(table_);
  showExtents();
  ui_.Frame1->setEnabled(true);
  ui_.Frame2->setEnabled(true);
}

void Form1::loadFailed(const ReadResult& result) {
  if (speechOn_ == 1) speaker_.speak(kLoadError + QLatin1Char('.'));
  messages_.critical(kLoadError, {}, QString::fromStdString(describe(result)));
  closeFile();
}

void Form1::showExtents() {
  setValueText(ui_.Label18, localeText(extents_.meanZ));
  setValueText(ui_.Label3, localeText(extents_.maxX));
  setValueText(ui_.Label4, localeText(extents_.minX));
  setValueText(ui_.Label7, localeText(extents_.maxY));
  setValueText(ui_.Label8, localeText(extents_.minY));
  setValueText(ui_.Label11, localeText(extents_.maxZ));
  setValueText(ui_.Label12, localeText(extents_.minZ));
}

QString Form1::localeText(float value) const {
  return QString::fromStdString(localeNumberText(value, decimalSeparator()));
}

void Form1::closeFile() {
  ui_.List3->clear();
  ui_.Picture2->cls();
  ui_.Picture1->cls();
  describePicture(ui_.Picture1, emptyPlanViewDescription());
  describePicture(ui_.Picture2, emptyProfilePlotDescription());
  ui_.Frame1->setEnabled(false);
  ui_.Frame2->setEnabled(false);
  setWindowTitle(kTitle);
  fileOpen_ = 0;
  ui_.Command1->setEnabled(false);
  extents_ = Extents{};
  meanRn_ = 0;
  planeHeight_ = 0;
  meanDeviation_ = 0;
  ui_.HScroll4->setValue(1);
  setValueText(ui_.Label21, {});
  setValueText(ui_.Label22, {});
  table_.clear();
  std::fill(profileRn_.begin() + 1, profileRn_.end(), 0.0f);
  for (QLabel* label :
       {ui_.Label3, ui_.Label4, ui_.Label7, ui_.Label8, ui_.Label11, ui_.Label12, ui_.Label18}) {
    setValueText(label, {});
  }
  ui_.HScroll1->setValue(kDefaultBrightness);
  ui_.HScroll2->setValue(kDefaultPointWidth);
}

void Form1::exitProgram() { QCoreApplication::exit(0); }

// There is one about window; asking again brings the same one back to the front.
void Form1::about() {
  if (about_.isNull()) {
    about_ = new Form3();
    about_->setAttribute(Qt::WA_DeleteOnClose);
  }
  about_->show();
  about_->raise();
  about_->activateWindow();
}

// The box is read twice, as two separate tests; a partly checked box changes nothing.
void Form1::speechSwitchClicked() {
  const Qt::CheckState state = ui_.Check1->checkState();
  if (state == Qt::Unchecked) speechOn_ = 0;
  if (state == Qt::Checked) speechOn_ = 1;
}

void Form1::setupReferencePlane() {
  ui_.HScroll3->setMinimum(scrollPositionOf(extents_.minZ));
  ui_.HScroll3->setMaximum(scrollPositionOf(extents_.maxZ));
  ui_.HScroll3->setValue(scrollPositionOf(extents_.meanZ));
  setValueText(ui_.Label21,
               QString::fromStdString(heightText(ui_.HScroll3->value(), decimalSeparator())));
  ui_.HScroll3->setSingleStep(1);
}

void Form1::referencePlaneChanged(int position) {
  setValueText(ui_.Label21, QString::fromStdString(heightText(position, decimalSeparator())));
}

void Form1::defaultReferencePlane() { ui_.HScroll3->setValue(scrollPositionOf(extents_.meanZ)); }

void Form1::rnhesap() {
  setValueText(ui_.Label22, QString::number(kDefaultSamplingLength));
  ui_.HScroll4->setValue(kDefaultSamplingLength);
}

void Form1::samplingLengthChanged(int length) {
  setValueText(ui_.Label22, QString::number(length));
}

void Form1::planViewDraw() { drawPoints(false); }

// The reference-plane picture uses the plan view's own mapping, so it is exactly the plan view
// without the points at or below the plane, whatever was drawn before.
void Form1::referencePlaneDraw() { drawPoints(true); }

void Form1::drawPoints(bool abovePlaneOnly) {
  ui_.Picture1->cls();
  calculation();
  double onlyAbove = -std::numeric_limits<double>::infinity();
  if (abovePlaneOnly) {
    planeHeight_ = planeHeightOf(ui_.HScroll3->value());
    onlyAbove = planeHeight_;
  }
  const PlanView view = planViewOf(extents_, ui_.HScroll1->value());
  ui_.Picture1->setDrawWidth(ui_.HScroll2->value());
  ui_.Picture1->setScale(view.logicalWidth, view.logicalHeight);
  plotPoints(*ui_.Picture1, table_, extents_, view, onlyAbove);
  const int points = table_.count();
  if (points == 0) {
    describePicture(ui_.Picture1, emptyPlanViewDescription());
  } else if (abovePlaneOnly) {
    describePicture(ui_.Picture1,
                    abovePlaneDescription(points, extents_, planeHeight_, decimalSeparator()));
  } else {
    describePicture(ui_.Picture1, planViewDescription(points, extents_, decimalSeparator()));
  }
}

void Form1::calculateRa() {
  calculation();
  if (table_.count() == 0) return;  // the reload failed and has been reported
  planeHeight_ = planeHeightOf(ui_.HScroll3->value());
  meanDeviation_ = meanDeviationOf(table_, planeHeight_);
  ui_.List2->addItem(
      QString::fromStdString(raLine(dialog_.fileTitle().toStdString(), raFigure(meanDeviation_))));
}

bool Form1::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::MouseButtonRelease) {
    auto* label = qobject_cast<QLabel*>(watched);
    const auto* mouse = static_cast<QMouseEvent*>(event);
    if (label && mouse->button() == Qt::LeftButton &&
        label->rect().contains(mouse->position().toPoint()) && speechOn_ == 1) {
      speaker_.speak(labelAnnouncement(label->objectName(), label->text()));
    }
  }
  return QMainWindow::eventFilter(watched, event);
}

void Form1::calculateProfileRoughness() {
  ui_.Picture2->cls();
  ui_.List3->clear();
  const int samplingLength = ui_.HScroll4->value();
  planViewDraw();

  const int n = evaluateProfiles(table_, samplingLength, profileRn_);
  meanRn_ = surfaceRn(profileRn_, n);
  const std::string title = dialog_.fileTitle().toStdString();
  ui_.List1->addItem(QString::fromStdString(surfaceRnLine(title, meanRn_)));

  // Profile 1 stands near the bottom, profile n on the top edge; an Rn of 1 reaches the right.
  ui_.Picture2->setScale(1, toSingle(n + 0.1));
  QStringList lines;
  lines.reserve(n);
  std::vector<QPointF> polyline;
  polyline.reserve(static_cast<std::size_t>(n));
  for (int k = 1; k <= n; ++k) {
    const float rn = profileRn_[static_cast<std::size_t>(k)];
    lines << QString::fromStdString(profileRnLine(k, rn));
    polyline.emplace_back(rn, n - k);
  }
  ui_.List3->addItems(lines);
  ui_.Picture2->polyline(polyline, kYellow);
  const auto drawn = std::span<const float>(profileRn_).subspan(1, static_cast<std::size_t>(n));
  describePicture(ui_.Picture2, profilePlotDescription(drawn, decimalSeparator()));

  ui_.List4->addItem(QString::fromStdString(threeProfileRnLine(
      dialog_.fileTitle().toStdString(), threeProfileRn(profileRn_), decimalSeparator())));
}

void Form1::clearProfileResults() {
  ui_.List1->clear();
  ui_.List3->clear();
  ui_.List4->clear();
}

}  // namespace corvane
