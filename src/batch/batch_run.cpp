#include "batch/batch_run.h"

#include <algorithm>
#include <condition_variable>
#include <filesystem>
#include <mutex>
#include <optional>
#include <ostream>
#include <system_error>
#include <thread>
#include <vector>

#include "batch/report_format.h"

namespace corvane {

void analyseInOrder(const BatchOptions& options, std::string_view decimalSeparator,
                    unsigned workers,
                    const std::function<void(std::size_t index, FileReport&& report)>& deliver) {
  const std::size_t count = options.files.size();
  if (count == 0) return;
  const std::size_t threads = std::clamp<std::size_t>(workers, 1, count);
  if (threads == 1) {
    Workspace workspace;
    for (std::size_t i = 0; i < count; ++i) {
      deliver(i, analyseFile(options.files[i], options, decimalSeparator, workspace));
    }
    return;
  }

  // Reports wait here until every report before them has been delivered. A report is small,
  // except for a file of many scan lines (50000 lines of Rn text), so the workers run no more
  // than `ahead` files in front of delivery.
  const std::size_t ahead = 2 * threads;
  std::mutex mutex;
  std::condition_variable done;  // a report was finished
  std::condition_variable room;  // a report was delivered, so a worker may take the next file
  std::vector<std::optional<FileReport>> reports(count);
  std::size_t next = 0;       // the next file a worker takes
  std::size_t delivered = 0;  // files delivered so far

  const auto work = [&] {
    Workspace workspace;
    for (;;) {
      std::size_t index = 0;
      {
        std::unique_lock lock(mutex);
        room.wait(lock, [&] { return next >= count || next < delivered + ahead; });
        if (next >= count) return;
        index = next++;
      }
      FileReport report = analyseFile(options.files[index], options, decimalSeparator, workspace);
      {
        const std::lock_guard lock(mutex);
        reports[index] = std::move(report);
      }
      done.notify_one();
    }
  };

  std::vector<std::jthread> pool;
  pool.reserve(threads);
  for (std::size_t i = 0; i < threads; ++i) {
    try {
      pool.emplace_back(work);
    } catch (const std::system_error&) {
      break;  // the system gives no more threads: work with those there are
    }
  }
  if (pool.empty()) {
    Workspace workspace;
    for (std::size_t i = 0; i < count; ++i) {
      deliver(i, analyseFile(options.files[i], options, decimalSeparator, workspace));
    }
    return;
  }

  for (std::size_t i = 0; i < count; ++i) {
    FileReport report;
    {
      std::unique_lock lock(mutex);
      done.wait(lock, [&] { return reports[i].has_value(); });
      report = std::move(*reports[i]);
      reports[i].reset();
      delivered = i + 1;
    }
    room.notify_all();
    deliver(i, std::move(report));
  }
  // The workers have left their loop by now; the jthreads join as the pool goes.
}

int runBatch(std::span<const std::string> arguments, const BatchEnvironment& environment,
             std::ostream& out, std::ostream& err) {
  const CommandLine line = parseCommandLine(arguments);
  if (line.action == CommandLine::Action::Help) {
    out << usageText() << std::flush;
    return out ? kExitAllLoaded : kExitSomeFailed;
  }
  if (line.action == CommandLine::Action::UsageError) {
    // One line of what is wrong and where to look, not the whole help.
    err << "corvane-batch: " << plainText(line.error) << "\nTry 'corvane-batch --help'.\n"
        << std::flush;
    return kExitUsage;
  }

  const BatchOptions& options = line.options;
  std::unique_ptr<ReportSink> sink;
  bool reportWritten = true;
  if (wantsCurves(options)) {
    if (!environment.makeReportSink) {
      err << "corvane-batch: this build cannot write reports\n" << std::flush;
      return kExitUsage;
    }
    std::string error;
    sink = environment.makeReportSink(options, error);
    if (!sink) {
      err << "corvane-batch: " << plainText(error) << '\n' << std::flush;
      return kExitSomeFailed;
    }
  }
  if (options.x3pFolder) {
    std::error_code why;
    std::filesystem::create_directories(*options.x3pFolder, why);
    if (why || !std::filesystem::is_directory(*options.x3pFolder)) {
      err << "corvane-batch: cannot make the folder " << plainText(*options.x3pFolder)
          << " for the X3P files" << (why ? ": " + why.message() : std::string()) << '\n'
          << std::flush;
      return kExitSomeFailed;
    }
  }
  const std::size_t total = options.files.size();
  const bool progress = environment.progressLine && total > 1;
  std::size_t progressWidth = 0;  // the length of the progress text on the terminal
  const auto eraseProgress = [&] {
    if (progressWidth == 0) return;
    err << '\r' << std::string(progressWidth, ' ') << '\r';
    progressWidth = 0;
  };

  bool allLoaded = true;
  analyseInOrder(options, environment.decimalSeparator, environment.workers,
                 [&](std::size_t index, FileReport&& report) {
                   eraseProgress();
                   if (!report.ok) {
                     allLoaded = false;
                     // A file that cannot be opened or read is already named by the diagnosis.
                     const bool named = report.error.find(report.file) != std::string::npos;
                     err << "corvane-batch: " << (named ? "" : plainText(report.file) + ": ")
                         << plainText(report.error) << '\n';
                   }
                   const std::string name = plainText(report.file);
                   if (report.ok && report.x3p && report.x3pInfo.checksums == "mismatch") {
                     err << "corvane-batch: " << name
                         << ": warning: its MD5 checksums do not match its contents; read all "
                            "the same\n";
                   }
                   if (!report.x3pError.empty()) {
                     err << "corvane-batch: " << name << ": " << plainText(report.x3pError) << '\n';
                     reportWritten = false;
                   }
                   out << (options.json ? jsonReport(report) : plainReport(report)) << std::flush;
                   if (std::string error; sink && !sink->add(report, error)) {
                     err << "corvane-batch: " << plainText(error) << '\n';
                     reportWritten = false;
                   }
                   if (progress) {
                     const std::string text =
                         std::to_string(index + 1) + "/" + std::to_string(total) + " files";
                     err << '\r' << text << std::flush;
                     progressWidth = text.size();
                   }
                 });
  eraseProgress();
  if (std::string error; sink && !sink->finish(
                                     [&](std::size_t done, std::size_t of) {
                                       if (!progress) return;
                                       const std::string text = "page " + std::to_string(done) +
                                                                "/" + std::to_string(of);
                                       eraseProgress();
                                       err << '\r' << text << std::flush;
                                       progressWidth = text.size();
                                     },
                                     error)) {
    eraseProgress();
    err << "corvane-batch: " << plainText(error) << '\n';
    reportWritten = false;
  }
  eraseProgress();
  err << std::flush;
  if (!out) {
    err << "corvane-batch: cannot write the output\n" << std::flush;
    return kExitSomeFailed;
  }
  return allLoaded && reportWritten ? kExitAllLoaded : kExitSomeFailed;
}

}  // namespace corvane
