#pragma once

#include <memory>
#include <string>

#include "batch/batch_options.h"
#include "batch/batch_run.h"

namespace corvane::report {

// The sink of corvane-batch --report and --figures: a PDF of a page per file (after summary
// pages when there is more than one file) and each file's figures as SVG, CSV and PNG files.
// Needs a QApplication. Returns null, with the reason, when the report file or the figures'
// folder cannot be written.
std::unique_ptr<ReportSink> makeReportSink(const BatchOptions& options, std::string& error);

}  // namespace corvane::report
