#include "report/report_pages.h"

#include <QFileInfo>
#include <algorithm>
#include <array>
#include <cmath>
#include <map>

#include "report/chart_canvas.h"
#include "report/figure_drawings.h"

namespace corvane::report {
namespace {

const QColor kInk(30, 30, 30);
const QColor kQuiet(110, 110, 110);
constexpr double kMargin = 34;

QString fromUtf8(const std::string& text) {
  return QString::fromUtf8(text.data(), static_cast<int>(text.size()));
}

// A line of text at the baseline y, left-aligned at x; returns the next baseline.
double textLine(QPainter& painter, double x, double y, const QString& text, const QFont& font,
                const QColor& colour = kInk) {
  painter.setFont(font);
  painter.setPen(colour);
  painter.drawText(QPointF(x, y), text);
  return y + QFontMetricsF(font).lineSpacing();
}

// Texts in columns at the given left edges (right-aligned where the edge is negative, to -edge).
void tableRow(QPainter& painter, double y, std::span<const double> edges,
              std::span<const QString> cells) {
  const QFontMetricsF metrics(painter.font());
  for (std::size_t i = 0; i < cells.size() && i < edges.size(); ++i) {
    const double edge = edges[i];
    const double x = edge >= 0 ? edge : -edge - metrics.horizontalAdvance(cells[i]);
    painter.drawText(QPointF(x, y), cells[i]);
  }
}

double titleBlock(QPainter& painter, const QRectF& page, const SurfaceAnalysis& report,
                  const ReportStamp& stamp) {
  const double left = page.left() + kMargin, right = page.right() - kMargin;
  double y = page.top() + kMargin + 10;
  painter.setFont(textFont(6.5));
  painter.setPen(kQuiet);
  const QString made = QStringLiteral("Corvane %1 · %2").arg(stamp.version, stamp.date);
  painter.drawText(QRectF(left, y - 10, right - left, 14), Qt::AlignRight | Qt::AlignTop, made);
  y = textLine(painter, left, y, fromUtf8(report.title), textFont(12, true));
  const QFileInfo file(fromUtf8(report.file));
  y = textLine(painter, left, y, file.absolutePath(), textFont(6.5), kQuiet);
  return y;
}

}  // namespace

UnitNames unitNamesOf(const SurfaceAnalysis& report) {
  if (!report.unitKnown) return {};
  const QString symbol = report.unit == LengthUnit::Micrometre ? QStringLiteral("µm")
                         : report.unit == LengthUnit::Metre    ? QStringLiteral("m")
                                                               : QStringLiteral("mm");
  return {symbol, symbol};
}

QString unitOf(std::string_view figure, const UnitNames& units) {
  const UnitNames& names = units;
  static const std::map<std::string_view, QString> table = {
      {"Rsk", ""}, {"Rku", ""},  {"Rdq", ""},  {"Ssk", ""},   {"Sku", ""},   {"Sdq", ""},
      {"Str", ""}, {"Mr1", "%"}, {"Mr2", "%"}, {"Smr1", "%"}, {"Smr2", "%"}, {"Sdr", "%"}};
  const auto found = table.find(figure);
  return found == table.end() ? names.many : found->second;
}

// How the profiles and the areal surface were taken from the points: the filtering chain in
// the order it ran.
QString chainText(const StandardResult& s) {
  const StandardSettings& chain = s.settings;
  const QString form =
      chain.form == 1 ? QStringLiteral("least-squares line")
                      : QStringLiteral("least-squares polynomial of degree %1").arg(chain.form);
  const QString surfaceForm = chain.form == 1 ? QStringLiteral("least-squares plane")
                                              : QStringLiteral(
                                                    "least-squares polynomial in x and y of "
                                                    "total degree %1")
                                                    .arg(chain.form);
  const QString smoothing =
      chain.lambdaS
          ? QStringLiteral("Gaussian S-filter λs %1, then ").arg(numberText(*chain.lambdaS))
          : QString();
  QString text = QStringLiteral("Profiles: the scan lines, %1%2 off; ").arg(smoothing, form);
  text += chain.robust ? QStringLiteral(
                             "robust Gaussian regression mean line (second order, "
                             "at most 50 passes), cut-off λc %1 (weights to ±λc); ")
                             .arg(numberText(s.cutoff))
                       : QStringLiteral(
                             "Gaussian mean line, cut-off λc %1 (weights to ±λc, "
                             "renormalised at the ends); ")
                             .arg(numberText(s.cutoff));
  text += QStringLiteral("evaluated from λc/2 in at either end, in whole sampling lengths of λc.");
  if (!chain.lambdaS && !chain.arealCutoff && chain.form == 1) {
    return text + QStringLiteral(
                      "\nAreal: S, the height above the least-squares plane of all "
                      "points, unfiltered.");
  }
  const bool grid = s.grid.has_value();
  text += QStringLiteral("\nAreal: %1, ")
              .arg(s.scaleLimited ? QStringLiteral("the S-L surface")
                                  : QStringLiteral("the S-F surface"));
  if (chain.lambdaS) {
    text += grid ? QStringLiteral("the heights smoothed by the areal Gaussian S-filter λs %1, ")
                       .arg(numberText(*chain.lambdaS))
                 : QStringLiteral("unsmoothed (not a regular grid), ");
  }
  text += QStringLiteral("less the %1 of all points").arg(surfaceForm);
  if (chain.arealCutoff) {
    text += s.scaleLimited ? QStringLiteral(
                                 ", less its areal Gaussian mean surface of cut-off "
                                 "λ %1 (renormalised at the edges)")
                                 .arg(numberText(*chain.arealCutoff))
                           : QStringLiteral("; no L-filter (not a regular grid)");
  }
  return text + QStringLiteral(".");
}

void drawSurfacePage(QPainter& painter, const QRectF& page, const SurfaceAnalysis& report,
                     const ReportStamp& stamp) {
  const StandardResult& s = report.standard;
  const SurfaceCurves& curves = *report.curves;
  const Extents& e = report.extents;
  const UnitNames units = unitNamesOf(report);
  const double left = page.left() + kMargin, width = page.width() - 2 * kMargin;
  double y = titleBlock(painter, page, report, stamp);
  const QString settings =
      QStringLiteral(
          "%1 points%9 · x %2 … %3 · y %4 … %5 · z %6 … %7 · all lengths and heights in "
          "%8.\n")
          .arg(report.points)
          .arg(numberText(e.minX), numberText(e.maxX), numberText(e.minY), numberText(e.maxY),
               numberText(e.minZ), numberText(e.maxZ), units.many)
          .arg(s.nonMeasured > 0 ? QStringLiteral(" · ") + fromUtf8(nonMeasuredText(s))
                                 : QString()) +
      chainText(s) +
      QStringLiteral(
          " Rk family: 40 % secant of least slope. RSm: height discrimination 10 % of "
          "Rz. Volumes at p = 10 % and q = 80 %. Sal and Str: s = 0.2.");
  if (report.x3p) {
    // What the X3P file says of itself: its kind and size, and its Record2.
    const X3pInfo& x = report.x3pInfo;
    QString line = QStringLiteral("X3P %1, %2 × %3 × %4, %5 invalid points, checksums %6")
                       .arg(fromUtf8(x.featureType))
                       .arg(x.size[0])
                       .arg(x.size[1])
                       .arg(x.size[2])
                       .arg(x.invalidPoints)
                       .arg(fromUtf8(x.checksums));
    for (const auto& [label, value] :
         {std::pair{"made", x.date}, std::pair{"by", x.creator},
          std::pair{"instrument", x.instrument}, std::pair{"comment", x.comment}}) {
      if (!value.empty())
        line += QStringLiteral(" · %1 %2").arg(QLatin1String(label), fromUtf8(value));
    }
    y = textLine(painter, left, y,
                 QFontMetricsF(textFont(6.5)).elidedText(line, Qt::ElideRight, width),
                 textFont(6.5));
  } else if (report.measurement) {
    // What an instrument's file says of its measurement.
    const MeasurementInfo& m = *report.measurement;
    QString line = QStringLiteral("%1 file, %2 × %3 points, %4 non-measured")
                       .arg(fromUtf8(m.format).toUpper())
                       .arg(m.size[0])
                       .arg(m.size[1])
                       .arg(m.nonMeasured);
    for (const auto& [label, value] :
         {std::pair{"made", m.date}, std::pair{"instrument", m.instrument},
          std::pair{"comment", m.comment}, std::pair{"heights in the file in", m.unitInFile}}) {
      if (!value.empty())
        line += QStringLiteral(" · %1 %2").arg(QLatin1String(label), fromUtf8(value));
    }
    y = textLine(painter, left, y,
                 QFontMetricsF(textFont(6.5)).elidedText(line, Qt::ElideRight, width),
                 textFont(6.5));
  }
  painter.setFont(textFont(6.5));
  painter.setPen(kInk);
  QRectF block(left, y - QFontMetricsF(painter.font()).ascent(), width, 120);
  painter.drawText(block, Qt::TextWordWrap, settings, &block);
  y = block.bottom();
  y += 4;
  // A filtering chain takes more words than the defaults: the top figures give up the height.
  const double squeezed = std::max(0.0, block.height() - 60);

  // Height map beside the material ratio curve, the profile across the page, the height
  // distribution beside the spectrum, and the table at the foot.
  const double half = (width - 10) / 2;
  const QRectF map(left, y, half, 300 - squeezed), ratio(left + half + 10, y, half, 300 - squeezed);
  const QRectF profile(left, map.bottom() + 6, width, 225);
  const QRectF histogram(left, profile.bottom() + 6, half, 195);
  const QRectF spectrum(left + half + 10, profile.bottom() + 6, half, 195);
  drawHeightMap(painter, map, curves.heightMap, units, surfaceCaption(s));
  drawMaterialRatio(painter, ratio, curves, s.areal, units);
  if (curves.profile) {
    drawProfile(painter, profile, *curves.profile, s.cutoff, static_cast<int>(s.profiles.size()),
                units, s.settings.robust);
  } else {
    drawNothing(painter, profile, QStringLiteral("no profile could be evaluated"));
  }
  drawHistogram(painter, histogram, curves.histogram, units);
  if (curves.spectrum) {
    drawSpectrum(painter, spectrum, *curves.spectrum, s.cutoff, units);
  } else {
    drawNothing(painter, spectrum,
                s.evaluated > 0 ? QStringLiteral("every evaluated profile has non-measured points")
                                : QStringLiteral("no profile could be evaluated"));
  }

  // The table: areal figures on the left, profile figures (mean, lowest, highest) on the right.
  double top = histogram.bottom() + 14;
  painter.setFont(textFont(7, true));
  painter.setPen(kInk);
  painter.drawText(QPointF(left, top), QStringLiteral("Areal figures (S)"));
  painter.drawText(QPointF(left + 300, top),
                   QStringLiteral("Profile figures: %1 of %2 profiles evaluated")
                       .arg(s.evaluated)
                       .arg(s.profiles.size()));
  painter.setFont(textFont(6.5));
  const double line = QFontMetricsF(painter.font()).lineSpacing();
  const double arealEdges[] = {left,       -(left + 90),  left + 94,
                               left + 150, -(left + 240), left + 244};
  const std::size_t half_rows = (kArealFigureNames.size() + 1) / 2;
  for (std::size_t r = 0; r < half_rows; ++r) {
    std::array<QString, 6> cells;
    for (std::size_t side = 0; side < 2; ++side) {
      const std::size_t f = r + side * half_rows;
      if (f >= kArealFigureNames.size()) continue;
      cells[side * 3] = QString::fromLatin1(kArealFigureNames[f].data(),
                                            static_cast<int>(kArealFigureNames[f].size()));
      cells[side * 3 + 1] = numberText(s.areal[f]);
      cells[side * 3 + 2] = unitOf(kArealFigureNames[f], units);
    }
    tableRow(painter, top + line * static_cast<double>(r + 1), arealEdges, cells);
  }
  double below = top + line * static_cast<double>(half_rows + 1) + 4;
  painter.setPen(kQuiet);
  for (const std::string& reason : s.arealReasons) {
    painter.drawText(QPointF(left, below),
                     QStringLiteral("Undefined (-): %1").arg(fromUtf8(reason)));
    below += line;
  }
  std::map<std::string, int> notEvaluated;
  for (const ProfileResult& p : s.profiles) {
    if (!p.ok) ++notEvaluated[p.reason];
  }
  for (const auto& [reason, count] : notEvaluated) {
    painter.drawText(QPointF(left, below), QStringLiteral("%1 profile%2 not evaluated: %3")
                                               .arg(count)
                                               .arg(count == 1 ? "" : "s", fromUtf8(reason)));
    below += line;
  }

  painter.setPen(kInk);
  const double x0 = left + 300;
  const double profileEdges[] = {x0, -(x0 + 110), -(x0 + 180), -(x0 + 250), x0 + 256};
  painter.setFont(textFont(6.5, true));
  const std::array<QString, 5> header = {QStringLiteral("figure"), QStringLiteral("mean"),
                                         QStringLiteral("lowest"), QStringLiteral("highest"),
                                         QStringLiteral("unit")};
  tableRow(painter, top + line, profileEdges, header);
  painter.setFont(textFont(6.5));
  for (std::size_t f = 0; f < kProfileFigureNames.size(); ++f) {
    const std::array<QString, 5> cells = {
        QString::fromLatin1(kProfileFigureNames[f].data(),
                            static_cast<int>(kProfileFigureNames[f].size())),
        numberText(s.mean[f]), numberText(curves.minimum[f]), numberText(curves.maximum[f]),
        unitOf(kProfileFigureNames[f], units)};
    tableRow(painter, top + line * static_cast<double>(f + 2), profileEdges, cells);
  }
}

void drawFailedPage(QPainter& painter, const QRectF& page, const SurfaceAnalysis& report,
                    const ReportStamp& stamp) {
  double y = titleBlock(painter, page, report, stamp) + 10;
  const double left = page.left() + kMargin;
  y = textLine(painter, left, y, QStringLiteral("This file did not load:"), textFont(9, true));
  painter.setFont(textFont(9));
  painter.setPen(kInk);
  painter.drawText(QRectF(left, y, page.width() - 2 * kMargin, 200), Qt::TextWordWrap,
                   fromUtf8(report.error));
}

std::size_t drawSummaryPage(QPainter& painter, const QRectF& page,
                            std::span<const SurfaceAnalysis> reports, std::size_t first,
                            const ReportStamp& stamp) {
  const double left = page.left() + kMargin, right = page.right() - kMargin;
  double y = page.top() + kMargin + 10;
  painter.setFont(textFont(6.5));
  painter.setPen(kQuiet);
  painter.drawText(QRectF(left, y - 10, right - left, 14), Qt::AlignRight | Qt::AlignTop,
                   QStringLiteral("Corvane %1 · %2").arg(stamp.version, stamp.date));
  y = textLine(painter, left, y, QStringLiteral("Summary of %1 files").arg(reports.size()),
               textFont(12, true));
  y = textLine(painter, left, y,
               QStringLiteral("Areal figures of S and the mean profile figures, in file units (Sdr "
                              "in %, Str a ratio); a page per file follows, in this order."),
               textFont(6.5), kQuiet);
  y += 8;
  const double edges[] = {left,          -(left + 220), -(left + 282), -(left + 344),
                          -(left + 406), -(left + 468), -(left + 530), -(left + 592),
                          -(left + 654), -(left + 716)};
  painter.setFont(textFont(6.5, true));
  painter.setPen(kInk);
  const std::array<QString, 10> header = {QStringLiteral("file"),    QStringLiteral("points"),
                                          QStringLiteral("Sa"),      QStringLiteral("Sq"),
                                          QStringLiteral("Sz"),      QStringLiteral("Sdr"),
                                          QStringLiteral("Str"),     QStringLiteral("mean Ra"),
                                          QStringLiteral("mean Rz"), QStringLiteral("mean Rk")};
  tableRow(painter, y, edges, header);
  painter.setFont(textFont(6.5));
  const QFontMetricsF metrics(painter.font());
  const double line = metrics.lineSpacing() + 1;
  std::size_t k = first;
  for (; k < reports.size() && y + line < page.bottom() - kMargin; ++k) {
    y += line;
    const SurfaceAnalysis& r = reports[k];
    const QString name = metrics.elidedText(fromUtf8(r.title), Qt::ElideMiddle, 165);
    if (!r.ok) {
      painter.drawText(QPointF(left, y), name);
      painter.setPen(kQuiet);
      painter.drawText(QPointF(left + 180, y),
                       metrics.elidedText(QStringLiteral("did not load: ") + fromUtf8(r.error),
                                          Qt::ElideRight, right - left - 180));
      painter.setPen(kInk);
      continue;
    }
    using namespace figure;
    const auto& a = r.standard.areal;
    const auto& m = r.standard.mean;
    const std::array<QString, 10> cells = {name,
                                           QString::number(r.points),
                                           numberText(a[Sa]),
                                           numberText(a[Sq]),
                                           numberText(a[Sz]),
                                           numberText(a[Sdr]),
                                           numberText(a[Str]),
                                           numberText(m[Ra]),
                                           numberText(m[Rz]),
                                           numberText(m[Rk])};
    tableRow(painter, y, edges, cells);
  }
  return k - first;
}

}  // namespace corvane::report
