// The analysis window driven as a user drives it, offscreen: its figures against corvane-batch's
// for the same files and settings, a file that fails beside others that do not, settings saved
// and read by corvane-batch, the copied figures, settings changed during a long analysis, and
// the pixels of a height map whose answer is known.

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QProcess>
#include <QSpinBox>
#include <QTableView>
#include <QTest>
#include <cmath>
#include <cstdlib>
#include <deque>
#include <string>

#include "batch/json_reader.h"
#include "report/chart_canvas.h"
#include "support/temp_dir.h"
#include "workspace/analysis_window.h"
#include "workspace/figures_model.h"
#include "workspace/height_map_view.h"
#include "workspace/surface_store.h"

namespace corvane::workspace {
namespace {

using corvane::testing::JsonReader;
using corvane::testing::JsonValue;

// The window's remembered files go to a folder of the tests' own, never the user's.
const corvane::testing::TempDir& configuration() {
  static const corvane::testing::TempDir folder;
  return folder;
}
const bool kIsolated = [] {
  return setenv("XDG_CONFIG_HOME", configuration().path().c_str(), 1) == 0;
}();

const QString kSample = QStringLiteral(CORVANE_SAMPLES_DIR "/rough_surface_100k.txt");

// Answers the window's questions from a queue.
class FakeDialogs final : public WorkspaceDialogs {
 public:
  std::deque<QStringList> files;
  std::deque<QString> saves;
  QStringList failures;
  QStringList openFiles(QWidget*, const QString&, const QString&) override {
    if (files.empty()) return {};
    QStringList answer = files.front();
    files.pop_front();
    return answer;
  }
  QString saveFile(QWidget*, const QString&, const QString&, const QString&) override {
    if (saves.empty()) return {};
    QString answer = saves.front();
    saves.pop_front();
    return answer;
  }
  QString folder(QWidget*, const QString&) override { return {}; }
  void failed(QWidget*, const QString&, const QString& text) override { failures << text; }
};

class Window : public ::testing::Test {
 protected:
  Window() {
    auto fake = std::make_unique<FakeDialogs>();
    dialogs_ = fake.get();
    window_ = std::make_unique<AnalysisWindow>(std::move(fake));
    window_->show();
  }

  // Lets the window's event loop run until every read and analysis has ended.
  void waitUntilIdle(int seconds = 60) {
    QElapsedTimer timer;
    timer.start();
    QApplication::processEvents();
    while (window_->store().busy() && timer.elapsed() < seconds * 1000) {
      QTest::qWait(10);
    }
    ASSERT_FALSE(window_->store().busy()) << "still working after " << seconds << " s";
    QApplication::processEvents();
  }

  QTableView* table(const char* name) {
    return window_->findChild<QTableView*>(QString::fromLatin1(name));
  }

  // The Figures table's cell of a figure in a group ("Areal" or "Profile (mean)").
  QString figure(const QString& group, const std::string& name, int column = FiguresModel::Value) {
    QAbstractItemModel* model = table("figures")->model();
    for (int row = 0; row < model->rowCount(); ++row) {
      if (model->index(row, FiguresModel::Group).data().toString() == group &&
          model->index(row, FiguresModel::Figure).data().toString() ==
              QString::fromStdString(name)) {
        return model->index(row, column).data().toString();
      }
    }
    return QStringLiteral("(missing)");
  }

  // Every areal figure and profile mean of the table against corvane-batch's JSON for the same
  // file and options, to the digits shown.
  void expectBatchFigures(const QStringList& options, const QString& file) {
    QProcess batch;
    batch.start(QStringLiteral(CORVANE_BATCH_PROGRAM),
                QStringList{QStringLiteral("--standard"), QStringLiteral("--json")} + options +
                    QStringList{file});
    ASSERT_TRUE(batch.waitForFinished(60000));
    const std::string out = batch.readAllStandardOutput().toStdString();
    const auto json = JsonReader::read(out.substr(0, out.find('\n')));
    ASSERT_TRUE(json.has_value()) << out;
    const JsonValue* standard = json->find("standard");
    ASSERT_NE(standard, nullptr);
    const auto shown = [](const JsonValue& value) {
      return value.isNull() ? QStringLiteral("-") : report::numberText(std::stod(value.text));
    };
    for (const auto& [name, value] : standard->find("areal")->members) {
      EXPECT_EQ(figure(QStringLiteral("Areal"), name), shown(value)) << name;
    }
    for (const auto& [name, value] : standard->find("mean")->members) {
      if (name == "profiles") continue;
      EXPECT_EQ(figure(QStringLiteral("Profile (mean)"), name), shown(value)) << name;
    }
  }

  void enter(const char* field, const QString& text) {
    auto* edit = window_->findChild<QLineEdit*>(QString::fromLatin1(field));
    ASSERT_NE(edit, nullptr) << field;
    edit->setFocus();
    edit->selectAll();
    QTest::keyClicks(edit, text);
    QTest::keyClick(edit, Qt::Key_Return);
  }

  FakeDialogs* dialogs_ = nullptr;
  std::unique_ptr<AnalysisWindow> window_;
  corvane::testing::TempDir files_;
};

TEST_F(Window, ShowsTheBatchsFiguresAndFollowsANewCutoff) {
  window_->openFiles({kSample});
  EXPECT_EQ(window_->windowTitle(), QStringLiteral("Corvane Analysis - rough_surface_100k.txt"));
  waitUntilIdle();
  expectBatchFigures({}, kSample);
  enter("cutoff", QStringLiteral("2.5"));
  waitUntilIdle();
  expectBatchFigures({QStringLiteral("--cutoff"), QStringLiteral("2.5")}, kSample);
}

TEST_F(Window, AFileThatFailsSaysWhyAndTheOthersAreAnalysed) {
  const QString bad = QString::fromStdString(files_.write("bad.txt", "1,2,3\n4,5,oops\n").string());
  window_->openFiles({bad, kSample});
  waitUntilIdle();
  QProcess batch;
  batch.start(QStringLiteral(CORVANE_BATCH_PROGRAM), {QStringLiteral("--json"), bad});
  ASSERT_TRUE(batch.waitForFinished(60000));
  const auto json = JsonReader::read(batch.readAllStandardOutput().toStdString());
  ASSERT_TRUE(json.has_value());
  const SurfaceStore& store = window_->store();
  ASSERT_EQ(store.count(), 2);
  EXPECT_EQ(store.at(0).state, SurfaceStore::State::Failed);
  EXPECT_EQ(stateText(store.at(0)), QString::fromStdString(json->find("error")->text));
  EXPECT_EQ(store.at(1).state, SurfaceStore::State::Ready);
}

TEST_F(Window, SavedSettingsGiveCorvaneBatchTheWindowsFigures) {
  window_->openFiles({kSample});
  auto* form = window_->findChild<QSpinBox*>(QStringLiteral("formDegree"));
  ASSERT_NE(form, nullptr);
  form->setValue(2);
  enter("lambdaS", QStringLiteral("0.25"));
  waitUntilIdle();
  const QString saved = QString::fromStdString((files_.path() / "settings.json").string());
  dialogs_->saves.push_back(saved);
  for (QAction* action : window_->findChildren<QAction*>()) {
    if (action->text() == QStringLiteral("&Save Settings...")) action->trigger();
  }
  ASSERT_TRUE(QFile::exists(saved));
  expectBatchFigures({QStringLiteral("--settings"), saved}, kSample);
}

TEST_F(Window, CopyGivesTheHeaderAndTheSelectedRows) {
  window_->openFiles({kSample});
  waitUntilIdle();
  QTableView* figures = table("figures");
  figures->setFocus();
  figures->selectRow(0);
  figures->selectionModel()->select(figures->model()->index(2, 0),
                                    QItemSelectionModel::Select | QItemSelectionModel::Rows);
  QTest::keyClick(figures, Qt::Key_C, Qt::ControlModifier);
  const QStringList lines = QApplication::clipboard()->text().split(QLatin1Char('\n'));
  ASSERT_GE(lines.size(), 3);
  EXPECT_EQ(lines[0], QStringLiteral("Group\tFigure\tValue\tLowest\tHighest\tUnit"));
  EXPECT_EQ(lines[1], QStringLiteral("Areal\tSa\t%1\t\t\tmm").arg(figure("Areal", "Sa")));
  EXPECT_TRUE(lines[2].startsWith(QStringLiteral("Areal\tSsk\t"))) << lines[2].toStdString();
}

TEST_F(Window, AnotherUnitConvertsTheLengthsAndTheX3pData) {
  const QString confocal = QStringLiteral(CORVANE_SAMPLES_DIR "/confocal_holes.x3p");
  window_->openFiles({confocal});
  waitUntilIdle();
  auto* unit = window_->findChild<QComboBox*>(QStringLiteral("unit"));
  ASSERT_NE(unit, nullptr);
  unit->setCurrentIndex(unit->findText(QStringLiteral("µm")));
  waitUntilIdle();
  // The cut-off stays 0.8 mm, now written in um, and the X3P file is read again in um.
  EXPECT_EQ(window_->findChild<QLineEdit*>(QStringLiteral("cutoff"))->text(),
            QStringLiteral("800"));
  expectBatchFigures({QStringLiteral("--unit"), QStringLiteral("um")}, confocal);
}

TEST_F(Window, OpensAnInstrumentsFileWithTheBatchsFigures) {
  // Digital Surf: a surface with non-measured points, its lengths in mm in the file.
  const QString sur = QStringLiteral(CORVANE_FORMATS_DIR "/sur_surface_nonmeasured.sur");
  window_->openFiles({sur});
  waitUntilIdle();
  ASSERT_EQ(window_->store().at(0).state, SurfaceStore::State::Ready);
  expectBatchFigures({}, sur);
}

// The text of a PDF as pdftotext reads it.
std::string pdfText(const QString& pdf) {
  QProcess text;
  text.start(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), pdf, QStringLiteral("-")});
  text.waitForFinished(60000);
  return text.readAllStandardOutput().toStdString();
}

TEST_F(Window, ExportsTheReportCorvaneBatchWritesForTheSameFilesAndSettings) {
  const QString confocal = QStringLiteral(CORVANE_SAMPLES_DIR "/confocal_holes.x3p");
  window_->openFiles({kSample, confocal});
  enter("cutoff", QStringLiteral("0.08"));
  waitUntilIdle();
  const QString exported = QString::fromStdString((files_.path() / "window.pdf").string());
  dialogs_->saves.push_back(exported);
  for (QAction* action : window_->findChildren<QAction*>()) {
    if (action->text() == QStringLiteral("Export Re&port...")) action->trigger();
  }
  ASSERT_TRUE(QFile::exists(exported)) << dialogs_->failures.join(' ').toStdString();
  const QString batchPdf = QString::fromStdString((files_.path() / "batch.pdf").string());
  QProcess batch;
  batch.start(QStringLiteral(CORVANE_BATCH_PROGRAM),
              {QStringLiteral("--unit"), QStringLiteral("mm"), QStringLiteral("--cutoff"),
               QStringLiteral("0.08"), QStringLiteral("--report"), batchPdf, kSample, confocal});
  ASSERT_TRUE(batch.waitForFinished(60000));
  const std::string window = pdfText(exported);
  EXPECT_NE(window.find("confocal_holes.x3p"), std::string::npos);
  EXPECT_EQ(window, pdfText(batchPdf));
}

// A grid of nx x ny points 0.01 apart with the heights z(x, y), as a point file.
QString grid(const corvane::testing::TempDir& files, const char* name, int nx, int ny,
             double (*z)(double, double)) {
  std::string text;
  text.reserve(static_cast<std::size_t>(nx * ny) * 30);
  char line[96];
  for (int j = 0; j < ny; ++j) {
    for (int i = 0; i < nx; ++i) {
      const double x = i * 0.01, y = j * 0.01;
      std::snprintf(line, sizeof line, "%.4f,%.4f,%.9f\n", x, y, z(x, y));
      text += line;
    }
  }
  return QString::fromStdString(files.write(name, text).string());
}

TEST_F(Window, TheNewestSettingsWinOverALongAnalysis) {
  // 700 x 700 points with texture, and three cut-offs one after another while it is read and
  // analysed.
  const QString file = grid(files_, "large.txt", 700, 700, [](double x, double y) {
    return 0.01 * std::sin(37 * x) * std::cos(23 * y) + 0.002 * std::sin(301 * x + 7 * y);
  });
  window_->openFiles({file});
  QTest::qWait(50);
  ASSERT_TRUE(window_->store().busy());
  enter("cutoff", QStringLiteral("0.25"));
  QTest::qWait(20);
  enter("cutoff", QStringLiteral("1.5"));
  enter("cutoff", QStringLiteral("2.5"));
  waitUntilIdle(120);
  EXPECT_EQ(window_->selected()->settings.standard.cutoff, 2.5);
  expectBatchFigures({QStringLiteral("--cutoff"), QStringLiteral("2.5")}, file);
}

TEST_F(Window, TheHeightMapOfXSquaredVariesAlongXOnly) {
  const QString file = grid(files_, "parabola.txt", 60, 40, [](double x, double) { return x * x; });
  window_->openFiles({file});
  waitUntilIdle();
  ASSERT_EQ(window_->store().at(0).state, SurfaceStore::State::Ready)
      << stateText(window_->store().at(0)).toStdString();
  const SurfaceResultPtr shown = window_->selected();
  ASSERT_TRUE(shown && shown->analysis.curves);
  auto* view =
      dynamic_cast<HeightMapView*>(window_->findChild<QWidget*>(QStringLiteral("heightMapView")));
  ASSERT_NE(view, nullptr);
  const QImage image = view->image();
  ASSERT_EQ(image.size(), QSize(60, 40));
  for (int x = 0; x < image.width(); ++x) {
    for (int y = 1; y < image.height(); ++y) ASSERT_EQ(image.pixel(x, y), image.pixel(x, 0)) << x;
  }
  // S is x^2 less its plane: high at both ends, low between.
  EXPECT_NE(image.pixel(0, 0), image.pixel(30, 0));
  EXPECT_NE(image.pixel(15, 0), image.pixel(30, 0));
}

}  // namespace
}  // namespace corvane::workspace
