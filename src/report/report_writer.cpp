#include "report/report_writer.h"

#include <QDate>
#include <QDir>
#include <QFile>
#include <QPdfWriter>
#include <QSaveFile>
#include <QSvgGenerator>
#include <charconv>
#include <fstream>
#include <set>
#include <vector>

#include "report/figure_drawings.h"
#include "report/report_pages.h"

namespace corvane::report {
namespace {

QString fromUtf8(const std::string& text) {
  return QString::fromUtf8(text.data(), static_cast<int>(text.size()));
}

std::string toUtf8(const QString& text) { return text.toUtf8().toStdString(); }

ReportStamp stampOfToday() {
  return {QDate::currentDate().toString(Qt::ISODate), QStringLiteral(CORVANE_VERSION)};
}

// The PDF: every report is kept until the last is in, because the summary comes first.
class PdfReport final : public ReportWriter {
 public:
  explicit PdfReport(QString path) : path_(std::move(path)) {}

  bool add(const SurfaceAnalysis& report, std::string&) override {
    reports_.push_back(report);
    return true;
  }

  bool finish(const ReportProgress& progress, std::string& error) override {
    // Written beside the target and put in its place only when complete.
    QSaveFile file(path_);
    if (!file.open(QIODevice::WriteOnly)) {
      error = "cannot write the report " + toUtf8(path_) + ": " + toUtf8(file.errorString());
      return false;
    }
    QPdfWriter writer(&file);
    writer.setPageSize(QPageSize(QPageSize::A4));
    writer.setPageOrientation(QPageLayout::Portrait);
    writer.setPageMargins(QMarginsF(0, 0, 0, 0));
    // The resolution the charts are laid out at, so that their text fits where it is measured.
    writer.setResolution(96);
    writer.setTitle(QStringLiteral("Corvane report"));
    writer.setCreator(QStringLiteral("Corvane ") + QStringLiteral(CORVANE_VERSION));
    QPainter painter;
    if (!painter.begin(&writer)) {
      error = "cannot write the report " + toUtf8(path_);
      return false;
    }
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::LosslessImageRendering);
    const QRectF page(0, 0, writer.width(), writer.height());
    const ReportStamp stamp = stampOfToday();
    bool first = true;
    const auto newPage = [&] {
      if (!first) writer.newPage();
      first = false;
    };
    if (reports_.size() > 1) {
      for (std::size_t from = 0; from < reports_.size();) {
        newPage();
        const std::size_t rows = drawSummaryPage(painter, page, reports_, from, stamp);
        from += std::max<std::size_t>(rows, 1);
      }
    }
    for (std::size_t k = 0; k < reports_.size(); ++k) {
      newPage();
      const SurfaceAnalysis& report = reports_[k];
      if (report.ok && report.curves) {
        drawSurfacePage(painter, page, report, stamp);
      } else {
        drawFailedPage(painter, page, report, stamp);
      }
      if (!progress(k + 1, reports_.size())) {
        painter.end();
        file.cancelWriting();
        error = "the report " + toUtf8(path_) + " was " + kReportStopped;
        return false;
      }
    }
    painter.end();
    if (!file.commit()) {
      error = "cannot write the report " + toUtf8(path_) + ": " + toUtf8(file.errorString());
      return false;
    }
    return true;
  }

 private:
  QString path_;
  std::vector<SurfaceAnalysis> reports_;
};

// A number that reads back exactly.
void appendNumber(std::string& line, double value) {
  char text[32];
  const auto written = std::to_chars(text, text + sizeof text, value);
  line.append(text, written.ptr);
}

// Each figure of a file as SVG beside its data as CSV, the height map as PNG.
class FigureFiles final : public ReportWriter {
 public:
  explicit FigureFiles(QString folder) : folder_(std::move(folder)) {}

  bool add(const SurfaceAnalysis& report, std::string& error) override {
    if (!report.ok || !report.curves) return true;
    if (!titles_.insert(report.title).second) {
      error = "figure files of " + report.file + " not written: an earlier file of the same " +
              "name has them";
      return false;
    }
    const SurfaceCurves& curves = *report.curves;
    const StandardResult& s = report.standard;
    const UnitNames units = unitNamesOf(report);
    const QString base = QDir(folder_).filePath(fromUtf8(report.title) + QStringLiteral("-"));
    bool ok = true;
    const auto svg = [&](const QString& name, QSizeF size, const auto& draw) {
      QSvgGenerator generator;
      generator.setFileName(base + name + QStringLiteral(".svg"));
      generator.setSize(size.toSize());
      generator.setViewBox(QRectF(QPointF(0, 0), size));
      generator.setResolution(96);
      generator.setTitle(fromUtf8(report.title) + QStringLiteral(" ") + name);
      QPainter painter;
      if (!painter.begin(&generator)) {
        ok = false;
        return;
      }
      draw(painter, QRectF(QPointF(0, 0), size));
      painter.end();
    };
    const auto csv = [&](const QString& name, const std::string& text) {
      QSaveFile file(base + name + QStringLiteral(".csv"));
      ok = ok && file.open(QIODevice::WriteOnly) &&
           file.write(text.data(), static_cast<qint64>(text.size())) ==
               static_cast<qint64>(text.size()) &&
           file.commit();
    };

    svg(QStringLiteral("heightmap"), QSizeF(520, 420), [&](QPainter& p, const QRectF& r) {
      drawHeightMap(p, r, curves.heightMap, units, surfaceCaption(s));
    });
    if (curves.heightMap.columns > 0) {
      ok = heightMapImage(curves.heightMap, Qt::transparent)
               .save(base + QStringLiteral("heightmap.png")) &&
           ok;
    }

    svg(QStringLiteral("material-ratio"), QSizeF(520, 400),
        [&](QPainter& p, const QRectF& r) { drawMaterialRatio(p, r, curves, s.areal, units); });
    std::string text = "material ratio (%),height\n";
    for (std::size_t j = 0; j < curves.materialRatio.size(); ++j) {
      appendNumber(text, static_cast<double>(j) / 10.0);
      text += ',';
      appendNumber(text, curves.materialRatio[j]);
      text += '\n';
    }
    csv(QStringLiteral("material-ratio"), text);

    const Histogram& h = curves.histogram;
    svg(QStringLiteral("histogram"), QSizeF(520, 360),
        [&](QPainter& p, const QRectF& r) { drawHistogram(p, r, h, units); });
    text = "from,to,count,density\n";
    for (std::size_t k = 0; k < h.counts.size(); ++k) {
      const double from = h.start + static_cast<double>(k) * h.width;
      appendNumber(text, from);
      text += ',';
      appendNumber(text, from + h.width);
      text += ',' + std::to_string(h.counts[k]) + ',';
      appendNumber(text,
                   static_cast<double>(h.counts[k]) / (static_cast<double>(h.total) * h.width));
      text += '\n';
    }
    csv(QStringLiteral("histogram"), text);

    if (curves.profile) {
      const ProfileCurves& pc = *curves.profile;
      svg(QStringLiteral("profile"), QSizeF(800, 420), [&](QPainter& p, const QRectF& r) {
        drawProfile(p, r, pc, s.cutoff, static_cast<int>(s.profiles.size()), units,
                    s.settings.robust);
      });
      text = "x,P,mean line,R,evaluated\n";
      for (std::size_t i = 0; i < pc.x.size(); ++i) {
        for (const double v : {pc.x[i], pc.primary[i], pc.meanLine[i], pc.roughness[i]}) {
          appendNumber(text, v);
          text += ',';
        }
        text += i >= pc.first && i < pc.last ? "1\n" : "0\n";
      }
      csv(QStringLiteral("profile"), text);
    }
    if (curves.spectrum) {
      const Spectrum& sp = *curves.spectrum;
      svg(QStringLiteral("spectrum"), QSizeF(520, 360),
          [&](QPainter& p, const QRectF& r) { drawSpectrum(p, r, sp, s.cutoff, units); });
      text = "frequency,psd\n";
      for (std::size_t k = 0; k < sp.frequency.size(); ++k) {
        appendNumber(text, sp.frequency[k]);
        text += ',';
        appendNumber(text, sp.density[k]);
        text += '\n';
      }
      csv(QStringLiteral("spectrum"), text);
    }
    if (!ok)
      error = "cannot write every figure file of " + report.file + " into " + toUtf8(folder_);
    return ok;
  }

  bool finish(const ReportProgress&, std::string&) override { return true; }

 private:
  QString folder_;
  std::set<std::string> titles_;
};

class BothWriters final : public ReportWriter {
 public:
  void push(std::unique_ptr<ReportWriter> sink) { writers_.push_back(std::move(sink)); }

  bool add(const SurfaceAnalysis& report, std::string& error) override {
    bool ok = true;
    for (const auto& writer : writers_) {
      std::string why;
      if (!writer->add(report, why)) {
        ok = false;
        error += (error.empty() ? "" : "; ") + why;
      }
    }
    return ok;
  }

  bool finish(const ReportProgress& progress, std::string& error) override {
    bool ok = true;
    for (const auto& writer : writers_) {
      std::string why;
      if (!writer->finish(progress, why)) {
        ok = false;
        error += (error.empty() ? "" : "; ") + why;
      }
    }
    return ok;
  }

 private:
  std::vector<std::unique_ptr<ReportWriter>> writers_;
};

}  // namespace

std::unique_ptr<ReportWriter> makeReportWriter(const ReportRequest& options, std::string& error) {
  auto writers = std::make_unique<BothWriters>();
  if (options.figuresFolder) {
    const QString folder = fromUtf8(*options.figuresFolder);
    if (!QDir().mkpath(folder)) {
      error = "cannot make the folder " + *options.figuresFolder + " for the figures";
      return nullptr;
    }
    writers->push(std::make_unique<FigureFiles>(folder));
  }
  if (options.reportFile) {
    // Refused at once rather than after every file is read: a report that cannot be written.
    const QString path = fromUtf8(*options.reportFile);
    QSaveFile probe(path);
    if (!probe.open(QIODevice::WriteOnly)) {
      error = "cannot write the report " + *options.reportFile + ": " + toUtf8(probe.errorString());
      return nullptr;
    }
    probe.cancelWriting();
    writers->push(std::make_unique<PdfReport>(path));
  }
  return writers;
}

}  // namespace corvane::report
