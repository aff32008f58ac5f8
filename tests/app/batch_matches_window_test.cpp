// corvane-batch against the real window: for every sample, what the window shows after
// File > Open, Calculate in the Rn3d panel and Calculate in the Ra panel is exactly what the
// batch report says, under a period and a comma as decimal separator.

#include <QListWidget>
#include <QPushButton>
#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "analysis/reference_plane.h"
#include "batch/file_report.h"
#include "main_window_fixture.h"

namespace corvane::testing {
namespace {

using BatchMatchesWindow = MainWindowTest;

std::vector<std::string> lines(const QListWidget* list) {
  std::vector<std::string> result;
  for (int i = 0; i < list->count(); ++i) result.push_back(list->item(i)->text().toStdString());
  return result;
}

std::vector<std::filesystem::path> samples() {
  std::vector<std::filesystem::path> files;
  for (const auto& entry : std::filesystem::directory_iterator(CORVANE_SAMPLES_DIR)) {
    if (entry.path().extension() == ".txt") files.push_back(entry.path());
  }
  std::sort(files.begin(), files.end());
  return files;
}

TEST_F(BatchMatchesWindow, OnEverySampleWithEitherDecimalSeparator) {
  const auto files = samples();
  ASSERT_GE(files.size(), 3u) << "samples in " << CORVANE_SAMPLES_DIR;
  auto workspace = std::make_unique<Workspace>();
  for (const QLocale& locale : {QLocale::c(), QLocale(QLocale::German, QLocale::Germany)}) {
    const std::string separator = locale.decimalPoint().toStdString();
    for (const auto& file : files) {
      SCOPED_TRACE(file.filename().string() + " with separator " + separator);
      QLocale::setDefault(locale);
      choose("menu6");
      for (const char* list : {"List1", "List2", "List3", "List4"})
        find<QListWidget>(list)->clear();
      dialog.choices << QString::fromStdString(file.string());
      choose("menu2");
      find<QPushButton>("Command10")->click();
      find<QPushButton>("Command6")->click();
      QLocale::setDefault(QLocale::c());
      ASSERT_TRUE(messages.shown.empty());

      const FileReport report = analyseFile(file.string(), BatchOptions{}, separator, *workspace);
      ASSERT_TRUE(report.ok) << report.error;
      for (std::size_t i = 0; i < kValueLabels.size(); ++i) {
        EXPECT_EQ(text(kValueLabels[i].data()).toStdString(), report.labels[i]) << kValueLabels[i];
      }
      EXPECT_EQ(text("Label21").toStdString(), report.label21);
      EXPECT_EQ(scrollBar("HScroll3")->value(), report.planePosition);
      EXPECT_EQ(lines(find<QListWidget>("List1")), std::vector<std::string>{report.rnLine});
      EXPECT_EQ(lines(find<QListWidget>("List2")), std::vector<std::string>{report.raLine});
      EXPECT_EQ(lines(find<QListWidget>("List3")), report.list3);
      EXPECT_EQ(lines(find<QListWidget>("List4")), std::vector<std::string>{report.rn2dLine});

      // The window's own numbers behind the texts.
      EXPECT_EQ(form->pointTable().count(), report.points);
      EXPECT_EQ(form->meanRn(), report.meanRn);
      EXPECT_EQ(form->planeHeight(), report.planeHeight);
      EXPECT_EQ(form->meanDeviation(), report.meanDeviation);
    }
  }
}

TEST_F(BatchMatchesWindow, WithTheSamplingLengthAndPlaneTheUserSets) {
  const auto file = samples().front();
  dialog.choices << QString::fromStdString(file.string());
  choose("menu2");
  scrollBar("HScroll4")->setValue(7);
  scrollBar("HScroll3")->setValue(scrollBar("HScroll3")->minimum() + 3);
  find<QPushButton>("Command10")->click();
  find<QPushButton>("Command6")->click();

  BatchOptions options;
  options.samplingLength = 7;
  options.planeHeight = planeHeightOf(scrollBar("HScroll3")->value());
  auto workspace = std::make_unique<Workspace>();
  const FileReport report = analyseFile(file.string(), options, ".", *workspace);
  EXPECT_EQ(report.planePosition, scrollBar("HScroll3")->value());
  EXPECT_EQ(text("Label21").toStdString(), report.label21);
  EXPECT_EQ(lines(find<QListWidget>("List1")), std::vector<std::string>{report.rnLine});
  EXPECT_EQ(lines(find<QListWidget>("List2")), std::vector<std::string>{report.raLine});
  EXPECT_EQ(lines(find<QListWidget>("List3")), report.list3);
  EXPECT_EQ(lines(find<QListWidget>("List4")), std::vector<std::string>{report.rn2dLine});
}

}  // namespace
}  // namespace corvane::testing
