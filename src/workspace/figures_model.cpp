#include "workspace/figures_model.h"

#include <map>
#include <set>

#include "report/chart_canvas.h"
#include "report/report_pages.h"

namespace corvane::workspace {
namespace {

const char* const kHeaders[] = {"Group", "Figure", "Value", "Lowest", "Highest", "Unit"};

QString fromUtf8(const std::string& text) {
  return QString::fromUtf8(text.data(), static_cast<int>(text.size()));
}

}  // namespace

FiguresModel::FiguresModel(QObject* parent) : QAbstractTableModel(parent) {}

void FiguresModel::setSurface(SurfaceResultPtr surface) {
  beginResetModel();
  rows_.clear();
  if (surface && surface->analysis.ok) {
    const SurfaceAnalysis& a = surface->analysis;
    const StandardResult& s = a.standard;
    const report::UnitNames units = report::unitNamesOf(a);
    for (std::size_t f = 0; f < kArealFigureNames.size(); ++f) {
      const QString name = QString::fromLatin1(kArealFigureNames[f].data(),
                                               static_cast<int>(kArealFigureNames[f].size()));
      rows_.push_back({{QStringLiteral("Areal"), name, report::numberText(s.areal[f]), QString(),
                        QString(), report::unitOf(kArealFigureNames[f], units)}});
    }
    const ProfileFigures* lowest = a.curves ? &a.curves->minimum : nullptr;
    const ProfileFigures* highest = a.curves ? &a.curves->maximum : nullptr;
    for (std::size_t f = 0; f < kProfileFigureNames.size(); ++f) {
      const QString name = QString::fromLatin1(kProfileFigureNames[f].data(),
                                               static_cast<int>(kProfileFigureNames[f].size()));
      rows_.push_back({{QStringLiteral("Profile (mean)"), name, report::numberText(s.mean[f]),
                        lowest ? report::numberText((*lowest)[f]) : QString(),
                        highest ? report::numberText((*highest)[f]) : QString(),
                        report::unitOf(kProfileFigureNames[f], units)}});
    }
    rows_.push_back({{QStringLiteral("Profiles"), QStringLiteral("evaluated"),
                      QStringLiteral("%1 of %2").arg(s.evaluated).arg(s.profiles.size()), QString(),
                      QString(), QString()}});
    if (s.nonMeasured > 0) {
      rows_.push_back({{QStringLiteral("Points"), QStringLiteral("non-measured"),
                        fromUtf8(nonMeasuredText(s)), QString(), QString(), QString()}});
    }
    for (const std::string& reason : s.arealReasons) {
      rows_.push_back({{QStringLiteral("Undefined"), QStringLiteral("areal"), fromUtf8(reason),
                        QString(), QString(), QString()}});
    }
    std::map<std::string, int> notEvaluated;
    for (const ProfileResult& p : s.profiles) {
      if (!p.ok) ++notEvaluated[p.reason];
    }
    for (const auto& [reason, count] : notEvaluated) {
      rows_.push_back({{QStringLiteral("Not evaluated"),
                        QStringLiteral("%1 profile%2").arg(count).arg(count == 1 ? "" : "s"),
                        fromUtf8(reason), QString(), QString(), QString()}});
    }
  }
  endResetModel();
}

int FiguresModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int FiguresModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : Columns;
}

QVariant FiguresModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= rowCount()) return {};
  if (role == Qt::TextAlignmentRole) {
    const bool number = index.column() >= Value && index.column() <= Highest;
    return number ? QVariant(Qt::AlignRight | Qt::AlignVCenter)
                  : QVariant(Qt::AlignLeft | Qt::AlignVCenter);
  }
  if (role != Qt::DisplayRole) return {};
  return rows_[static_cast<std::size_t>(index.row())].cells[index.column()];
}

QVariant FiguresModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 &&
      section < Columns) {
    return QString::fromLatin1(kHeaders[section]);
  }
  return QAbstractTableModel::headerData(section, orientation, role);
}

QString FiguresModel::copiedText(const QModelIndexList& cells) const {
  std::set<int> rows;
  for (const QModelIndex& cell : cells) rows.insert(cell.row());
  QStringList lines;
  QStringList header;
  for (const char* name : kHeaders) header << QString::fromLatin1(name);
  lines << header.join(QLatin1Char('\t'));
  for (const int row : rows) {
    if (row < 0 || row >= rowCount()) continue;
    QStringList line;
    for (const QString& cell : rows_[static_cast<std::size_t>(row)].cells) line << cell;
    lines << line.join(QLatin1Char('\t'));
  }
  return lines.join(QLatin1Char('\n')) + QLatin1Char('\n');
}

}  // namespace corvane::workspace
