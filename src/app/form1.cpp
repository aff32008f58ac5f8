#include "app/form1.h"

#include <QCoreApplication>
#include <QFile>
#include <QLocale>
#include <algorithm>
#include <filesystem>

#include "analysis/reference_plane.h"
#include "app/file_dialog.h"
#include "app/form3.h"
#include "app/message_boxes.h"
#include "data/point_reader.h"
#include "speech/speaker.h"
#include "text/number_text.h"

namespace corvane {

namespace {

const QString kTitle = QStringLiteral("Corvane");
const QString kLoadError = QStringLiteral("An error occured loading file");
constexpr int kDefaultBrightness = 255;
constexpr int kDefaultPointWidth = 2;
constexpr int kDefaultSamplingLength = 3;

// The user's decimal separator, from the regional settings Qt reads.
std::string decimalSeparator() { return QLocale().decimalPoint().toStdString(); }

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
}

void Form1::open() {
  if (fileOpen_ == 1) {
    if (speechOn_ == 1)
      speaker_.speak(QStringLiteral("A file is already open. please close the file first."));
    messages_.information(QStringLiteral("Please close the file first."));
  } else {
    dialog_.setInitialFolder(QCoreApplication::applicationDirPath() + QStringLiteral("/samples"));
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
  ui_.Label18->setText(localeText(extents_.meanZ));
  ui_.Label3->setText(localeText(extents_.maxX));
  ui_.Label4->setText(localeText(extents_.minX));
  ui_.Label7->setText(localeText(extents_.maxY));
  ui_.Label8->setText(localeText(extents_.minY));
  ui_.Label11->setText(localeText(extents_.maxZ));
  ui_.Label12->setText(localeText(extents_.minZ));
}

QString Form1::localeText(float value) const {
  return QString::fromStdString(localeNumberText(value, decimalSeparator()));
}

void Form1::closeFile() {
  ui_.List3->clear();
  ui_.Picture2->cls();
  ui_.Picture1->cls();
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
  ui_.Label21->clear();
  ui_.Label22->clear();
  table_.clear();
  std::fill(profileRn_.begin() + 1, profileRn_.end(), 0.0f);
  for (QLabel* label :
       {ui_.Label3, ui_.Label4, ui_.Label7, ui_.Label8, ui_.Label11, ui_.Label12, ui_.Label18}) {
    label->clear();
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
  ui_.Label21->setText(
      QString::fromStdString(heightText(ui_.HScroll3->value(), decimalSeparator())));
  ui_.HScroll3->setSingleStep(1);
}

void Form1::referencePlaneChanged(int position) {
  ui_.Label21->setText(QString::fromStdString(heightText(position, decimalSeparator())));
}

void Form1::defaultReferencePlane() { ui_.HScroll3->setValue(scrollPositionOf(extents_.meanZ)); }

void Form1::rnhesap() {
  ui_.Label22->setText(QString::number(kDefaultSamplingLength));
  ui_.HScroll4->setValue(kDefaultSamplingLength);
}

void Form1::samplingLengthChanged(int length) { ui_.Label22->setText(QString::number(length)); }

}  // namespace corvane
