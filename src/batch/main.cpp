// corvane-batch: the figures of the Corvane window for many point files, on the command line.
#include <unistd.h>

#include <QLocale>
#include <algorithm>
#include <iostream>
#include <string>
#include <thread>
#include <vector>

#include "batch/batch_run.h"

int main(int argc, char** argv) {
  const std::vector<std::string> arguments(argv + std::min(argc, 1), argv + argc);
  corvane::BatchEnvironment environment;
  // The user's decimal separator, taken as the window takes it. Qt reads LC_ALL, LC_NUMERIC and
  // LANG itself, so this works also where the system has not generated that locale.
  environment.decimalSeparator = QLocale().decimalPoint().toStdString();
  environment.workers = std::max(1u, std::thread::hardware_concurrency());
  environment.progressLine = isatty(STDERR_FILENO) == 1;
  return corvane::runBatch(arguments, environment, std::cout, std::cerr);
}
