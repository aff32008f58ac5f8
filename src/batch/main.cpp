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
#include "report/report_sink.h"

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
    return corvane::report::makeReportSink(options, error);
  };
  return corvane::runBatch(arguments, environment, std::cout, std::cerr);
}
