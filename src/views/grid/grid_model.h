#pragma once
// The item model of a grid: the visible rows of the table as rows, the
// grid's columns as columns. Edits go into the table's current row and are
// posted when the row is left.
#include <QAbstractTableModel>
#include <functional>

#include "store/measurement_table.h"
#include "views/grid/grid_core.h"

class GridModel : public QAbstractTableModel {
  Q_OBJECT

 public:
  GridModel(GridCore* core, QObject* parent = nullptr);

  void SetTable(MeasurementTable* table);
  MeasurementTable* table() const { return table_; }

  // Re-reads the row count (after the table announced a reset).
  void Reload();
  // Columns were replaced or their look changed.
  void ColumnsChanged();
  void ColumnLookChanged(int column);
  // The current row was rewritten.
  void RowChanged(int row);

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;
  bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;

  // The text a cell shows for a value under the column's presentation.
  static QString DisplayText(const GridColumn& column, const FieldValue& value);

  // Called when an edit fails to be written (the grid reports it).
  std::function<void(const QString&)> onWriteError;

 private:
  FieldValue CellValue(int row, const QString& field) const;

  GridCore* core_;
  MeasurementTable* table_ = nullptr;
  int rows_ = 0;
};
