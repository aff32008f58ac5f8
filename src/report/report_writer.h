#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "analysis/surface_analysis.h"

namespace corvane::report {

// What a report is asked to write.
struct ReportRequest {
  std::optional<std::string> reportFile;     // the PDF: a page per surface, after summary pages
                                             // when there is more than one
  std::optional<std::string> figuresFolder;  // each surface's figures as SVG, CSV and PNG files
};

// Told each page done and of how many; returns false to stop (the PDF is then not written).
using ReportProgress = std::function<bool(std::size_t done, std::size_t of)>;

// Takes the surfaces one after another and writes what waits until every one is in.
class ReportWriter {
 public:
  virtual ~ReportWriter() = default;
  // False, with the reason in `error`, when something could not be written; the others go on.
  virtual bool add(const SurfaceAnalysis& surface, std::string& error) = 0;
  // False, with the reason, when it could not be written or was stopped.
  virtual bool finish(const ReportProgress& progress, std::string& error) = 0;
};

// The writer of a request. Needs a QApplication. Returns null, with the reason, when the report
// file or the figures' folder cannot be written.
std::unique_ptr<ReportWriter> makeReportWriter(const ReportRequest& request, std::string& error);

// The report's words for a report that was stopped.
inline constexpr const char* kReportStopped = "stopped before it was done";

}  // namespace corvane::report
