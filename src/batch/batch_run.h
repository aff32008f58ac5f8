#pragma once

#include <cstddef>
#include <functional>
#include <iosfwd>
#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "batch/batch_options.h"
#include "batch/file_report.h"

namespace corvane {

// The exit statuses of corvane-batch.
inline constexpr int kExitAllLoaded = 0;
inline constexpr int kExitSomeFailed = 1;  // also when the output could not be written
inline constexpr int kExitUsage = 2;

// Takes every file's report, in the order of the files, for what corvane-batch writes beside its
// output: the PDF report and the figure files. Called on one thread only.
class ReportSink {
 public:
  virtual ~ReportSink() = default;
  // False, with the reason in `error`, when something could not be written; the batch goes on.
  virtual bool add(const FileReport& report, std::string& error) = 0;
  // Writes what waits until every file is in; `progress` is told each page done (and of how
  // many). False, with the reason, when it could not be written.
  virtual bool finish(const std::function<void(std::size_t done, std::size_t of)>& progress,
                      std::string& error) = 0;
};

// What corvane-batch takes from its surroundings; main() fills it in.
struct BatchEnvironment {
  std::string decimalSeparator = ".";  // the user's, for locale number texts
  unsigned workers = 1;                // threads that analyse files
  bool progressLine = false;           // stderr is a terminal: show "12/100 files" on it
  // Makes the sink for --report and --figures; without it those options are refused. Returns
  // null, with the reason in `error`, when the report cannot be started.
  std::function<std::unique_ptr<ReportSink>(const BatchOptions& options, std::string& error)>
      makeReportSink;
};

// Analyses the files on up to `workers` threads, each with its own Workspace, and hands every
// report to `deliver` on the calling thread, in the order of the files: a report is delivered
// as soon as it and all before it are done. Workers run at most a few files ahead of delivery,
// so memory stays bounded however many files there are. Without threads (workers 1, or none
// could be started) the files are analysed on the calling thread.
void analyseInOrder(const BatchOptions& options, std::string_view decimalSeparator,
                    unsigned workers,
                    const std::function<void(std::size_t index, FileReport&& report)>& deliver);

// corvane-batch itself: parses the arguments after the program name, writes the reports to
// `out` and usage texts, diagnoses of files that did not load and the progress line to `err`,
// and returns the exit status.
int runBatch(std::span<const std::string> arguments, const BatchEnvironment& environment,
             std::ostream& out, std::ostream& err);

}  // namespace corvane
