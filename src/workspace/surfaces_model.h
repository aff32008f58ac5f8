#pragma once

#include <QAbstractTableModel>

#include "workspace/surface_store.h"

namespace corvane::workspace {

// The Surfaces table: a row per open surface with its name, measured points, unit, state and
// the figures a set of parts is compared by. Sorting goes by the numbers (Qt::UserRole), an
// undefined figure last.
class SurfacesModel : public QAbstractTableModel {
 public:
  enum Column { Name, Points, Unit, State, Sa, Sq, Sz, Sdr, Str, MeanRa, MeanRz, MeanRk, Columns };

  explicit SurfacesModel(SurfaceStore& store, QObject* parent = nullptr);

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

 private:
  SurfaceStore& store_;
};

// How the window writes a unit: "mm", "µm", "m".
QString unitSymbol(LengthUnit unit);

}  // namespace corvane::workspace
