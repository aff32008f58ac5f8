#include "workspace/surfaces_model.h"

#include <cmath>
#include <limits>

#include "report/chart_canvas.h"

namespace corvane::workspace {
namespace {

const char* const kHeaders[] = {"Name", "Points", "Unit", "State",   "Sa",      "Sq",
                                "Sz",   "Sdr",    "Str",  "mean Ra", "mean Rz", "mean Rk"};

// The figure of a column, NaN until an analysis has it.
double figureOf(const SurfaceStore::Entry& entry, int column) {
  constexpr double kNone = std::numeric_limits<double>::quiet_NaN();
  if (!entry.result) return kNone;
  const StandardResult& s = entry.result->analysis.standard;
  switch (column) {
    case SurfacesModel::Sa:
      return s.areal[figure::Sa];
    case SurfacesModel::Sq:
      return s.areal[figure::Sq];
    case SurfacesModel::Sz:
      return s.areal[figure::Sz];
    case SurfacesModel::Sdr:
      return s.areal[figure::Sdr];
    case SurfacesModel::Str:
      return s.areal[figure::Str];
    case SurfacesModel::MeanRa:
      return s.mean[figure::Ra];
    case SurfacesModel::MeanRz:
      return s.mean[figure::Rz];
    case SurfacesModel::MeanRk:
      return s.mean[figure::Rk];
    default:
      return kNone;
  }
}

}  // namespace

QString unitSymbol(LengthUnit unit) {
  switch (unit) {
    case LengthUnit::Micrometre:
      return QStringLiteral("µm");
    case LengthUnit::Metre:
      return QStringLiteral("m");
    default:
      return QStringLiteral("mm");
  }
}

SurfacesModel::SurfacesModel(SurfaceStore& store, QObject* parent)
    : QAbstractTableModel(parent), store_(store) {
  connect(&store_, &SurfaceStore::rowsAdded, this, [this](int first, int last) {
    beginInsertRows({}, first, last);
    endInsertRows();
  });
  connect(&store_, &SurfaceStore::rowRemoved, this, [this](int row) {
    beginRemoveRows({}, row, row);
    endRemoveRows();
  });
  connect(&store_, &SurfaceStore::rowChanged, this,
          [this](int row) { emit dataChanged(index(row, 0), index(row, Columns - 1)); });
}

int SurfacesModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : store_.count();
}

int SurfacesModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : Columns;
}

QVariant SurfacesModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= store_.count()) return {};
  const SurfaceStore::Entry& entry = store_.at(index.row());
  const int column = index.column();
  if (role == Qt::TextAlignmentRole) {
    return column >= Points && column != Unit && column != State
               ? QVariant(Qt::AlignRight | Qt::AlignVCenter)
               : QVariant(Qt::AlignLeft | Qt::AlignVCenter);
  }
  if (role == Qt::ToolTipRole && column == Name) return entry.path;
  if (role != Qt::DisplayRole && role != Qt::UserRole) return {};
  switch (column) {
    case Name:
      return entry.name;
    case Points:
      if (!entry.result) return role == Qt::UserRole ? QVariant(-1) : QVariant();
      return entry.result->analysis.points;
    case Unit:
      return entry.result ? unitSymbol(entry.result->settings.unit) : QString();
    case State:
      return stateText(entry);
    default: {
      const double value = figureOf(entry, column);
      if (role == Qt::UserRole) {
        // Undefined figures sort after every number.
        return std::isnan(value) ? std::numeric_limits<double>::infinity() : value;
      }
      return entry.result ? report::numberText(value) : QString();
    }
  }
}

QVariant SurfacesModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 ||
      section >= Columns) {
    return QAbstractTableModel::headerData(section, orientation, role);
  }
  QString header = QString::fromLatin1(kHeaders[section]);
  if (section >= Sa && section != Str) {
    // The figures' unit, which one set of settings gives every surface.
    header += QStringLiteral(" (%1)").arg(section == Sdr ? QStringLiteral("%")
                                                         : unitSymbol(store_.settings().unit));
  }
  return header;
}

}  // namespace corvane::workspace
