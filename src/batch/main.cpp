// corvane-batch: the figures of the Corvane window for many point files, on the command line.
#include <unistd.h>

#include <QApplication>
#include <QLocale>
#include <algorithm>
#include <iostream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "batch/batch_run.h"
#include "report/report_writer.h"

namespace {

// The report of corvane-batch --report and --figures: the files' reports handed on to the
// report's writer as the surfaces they are.
class ReportOfFiles final : public corvane::ReportSink {
 public:
  explicit ReportOfFiles(std::unique_ptr<corvane::report::ReportWriter> writer)
      : writer_(std::move(writer)) {}
  bool add(const corvane::FileReport& report, std::string& error) override {
    return writer_->add(report, error);
  }
  bool finish(const std::function<void(std::size_t, std::size_t)>& progress,
              std::string& error) override {
    return writer_->finish(
        [&](std::size_t done, std::size_t of) {
          progress(done, of);
          return true;
        },
        error);
  }

 private:
  std::unique_ptr<corvane::report::ReportWriter> writer_;
};

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> arguments(argv + std::min(argc, 1), argv + argc);
  corvane::BatchEnvironment environment;
  // The user's decimal separator, taken as the window takes it. Qt reads LC_ALL, LC_NUMERIC and
  // LANG itself, so this works also where the system has not generated that locale.
  environment.decimalSeparator = QLocale().decimalPoint().toStdString();
  environment.workers = std::max(1u, std::thread::hardware_concurrency());
  environment.progressLine = isatty(STDERR_FILENO) == 1;
  // The report draws with Qt, which needs an application object; it draws into files only, so
  // on the offscreen platform, whatever display there is or is not.
  std::unique_ptr<QApplication> application;
  int applicationArgc = 3;
  char programName[] = "corvane-batch", platformOption[] = "-platform", platform[] = "offscreen";
  char* applicationArgv[] = {programName, platformOption, platform, nullptr};
  // Qt's own notes (a missing runtime folder, a font substituted) are not the user's business
  // here; its critical messages still reach standard error.
  qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString& message) {
    if (type == QtCriticalMsg || type == QtFatalMsg) {
      std::cerr << "corvane-batch: " << message.toStdString() << '\n';
    }
  });
  environment.makeReportSink = [&](const corvane::BatchOptions& options, std::string& error) {
    if (!application)
      application = std::make_unique<QApplication>(applicationArgc, applicationArgv);
    std::unique_ptr<corvane::report::ReportWriter> writer =
        corvane::report::makeReportWriter({options.reportFile, options.figuresFolder}, error);
    return writer ? std::make_unique<ReportOfFiles>(std::move(writer))
                  : std::unique_ptr<corvane::ReportSink>();
  };
  return corvane::runBatch(arguments, environment, std::cout, std::cerr);
}
