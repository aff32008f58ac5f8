#pragma once

#include <QPainter>
#include <QRectF>
#include <QString>
#include <span>

#include "analysis/surface_analysis.h"
#include "report/figure_drawings.h"

namespace corvane::report {

// What every page says of the report as a whole.
struct ReportStamp {
  QString date;     // when it was made, yyyy-mm-dd
  QString version;  // Corvane's
};

// The page of a file that loaded: title block, height map, material ratio curve, profile,
// height distribution, spectrum and the table of every figure.
void drawSurfacePage(QPainter& painter, const QRectF& page, const SurfaceAnalysis& report,
                     const ReportStamp& stamp);

// The page of a file that did not load: its name and the diagnosis.
void drawFailedPage(QPainter& painter, const QRectF& page, const SurfaceAnalysis& report,
                    const ReportStamp& stamp);

// The rows of a summary page for the files of `reports` from `first` on; returns how many fit.
std::size_t drawSummaryPage(QPainter& painter, const QRectF& page,
                            std::span<const SurfaceAnalysis> reports, std::size_t first,
                            const ReportStamp& stamp);

// How a report names its file's lengths and heights: the unit when known (given on the command
// line, or an X3P file's), else "file units".
UnitNames unitNamesOf(const SurfaceAnalysis& report);

// The unit a figure is given in: the length unit, "%" or "" for a ratio.
QString unitOf(std::string_view figure, const UnitNames& units);

}  // namespace corvane::report
