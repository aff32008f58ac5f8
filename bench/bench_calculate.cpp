// The Rn3d panel's Calculate on the 100000-point sample, the way a user runs it: the whole
// handler (reload, plan-view redraw, profiles, the three lists, the polyline) and the repaint
// that follows, on the offscreen platform. Measured against the bare from_chars scan of the
// same file in the same run:
//
//   BM_Calculate           Calculate on samples/rough_surface_100k.txt (250 scan lines)
//   BM_BareParse           the baseline: from_chars over the same file, no checks
//   BM_CalculateManyLines  Calculate on a file whose x drops at every other point: 50000
//                          profiles, so 50000 lines in the per-profile list

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QListWidget>
#include <QPushButton>
#include <fstream>
#include <memory>
#include <random>

#include "app/file_dialog.h"
#include "app/form1.h"
#include "app/message_boxes.h"
#include "bare_parse.h"
#include "speech/speaker.h"

namespace {

const std::filesystem::path kSample =
    std::filesystem::path(CORVANE_SAMPLES_DIR) / "rough_surface_100k.txt";

class ChosenFile : public corvane::FileDialog {
 public:
  QString file;

 protected:
  QString choose(const QString&, const QString&) override { return file; }
};

class NoMessages : public corvane::MessageBoxes {
 public:
  int shown = 0;

 protected:
  void show(Icon, const QString&, const QString&, const QString&) override { ++shown; }
};

class Silent : public corvane::Speaker {
 public:
  void speak(const QString&) override {}
};

void calculate(benchmark::State& state, const std::filesystem::path& file, int expectedLines) {
  ChosenFile dialog;
  NoMessages messages;
  Silent speaker;
  corvane::Form1 form(dialog, messages, speaker);
  form.show();
  dialog.file = QString::fromStdString(file.string());
  form.findChild<QAction*>(QStringLiteral("menu2"))->trigger();
  auto* button = form.findChild<QPushButton*>(QStringLiteral("Command10"));
  auto* profiles = form.findChild<QListWidget*>(QStringLiteral("List3"));
  for (auto _ : state) {
    button->click();
    QCoreApplication::processEvents();
  }
  if (messages.shown != 0 || profiles->count() != expectedLines) {
    state.SkipWithError("the calculation did not run as expected");
  }
}

void BM_Calculate(benchmark::State& state) { calculate(state, kSample, 250); }

void BM_BareParse(benchmark::State& state) {
  corvane::bench::BareParse parse(kSample);
  for (auto _ : state) benchmark::DoNotOptimize(parse.run());
}

std::filesystem::path& manyLinesFile() {
  static std::filesystem::path file;
  return file;
}

void BM_CalculateManyLines(benchmark::State& state) { calculate(state, manyLinesFile(), 50000); }

}  // namespace

BENCHMARK(BM_Calculate)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BareParse)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CalculateManyLines)->Unit(benchmark::kMillisecond)->Iterations(5);

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  manyLinesFile() = std::filesystem::temp_directory_path() /
                    ("corvane-bench-profiles-" + std::to_string(std::random_device{}()) + ".txt");
  {
    std::ofstream out(manyLinesFile());
    for (int i = 0; i < 50000; ++i) out << "0,0," << i % 7 << "\n5,0.5,1\n";
  }
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  std::error_code ignored;
  std::filesystem::remove(manyLinesFile(), ignored);
  return 0;
}
