#pragma once

#include <QAbstractTableModel>
#include <QModelIndexList>
#include <QString>
#include <vector>

#include "workspace/surface_result.h"

namespace corvane::workspace {

// The Figures table: every standard figure of one surface, grouped as the report groups them:
// the areal figures, the profile figures as their mean, lowest and highest over the evaluated
// profiles, how many profiles were evaluated, how many points are not measured, and each reason
// a figure is undefined or a profile not evaluated. Values to 6 significant digits, as the
// report writes them.
class FiguresModel : public QAbstractTableModel {
 public:
  enum Column { Group, Figure, Value, Lowest, Highest, Unit, Columns };

  explicit FiguresModel(QObject* parent = nullptr);

  void setSurface(SurfaceResultPtr surface);

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

  // The rows of these cells as tab-separated text, a header line first, each row once and in
  // the table's order: what Copy puts on the clipboard for a spreadsheet.
  QString copiedText(const QModelIndexList& cells) const;

 private:
  struct Row {
    QString cells[Columns];
  };
  std::vector<Row> rows_;
};

}  // namespace corvane::workspace
