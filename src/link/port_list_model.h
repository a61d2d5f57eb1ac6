#pragma once
// The ports the operator can choose for downloads ("Порт прибора…"): the
// first row is the automatic search, then every port the system lists, and
// the stored choice even when it is not there now (an adapter unplugged, a
// port named in the settings by hand), so that it is never lost unseen.
#include <QAbstractTableModel>
#include <vector>

#include "link/serial_ports.h"

class PortListModel : public QAbstractTableModel {
  Q_OBJECT
 public:
  enum Column { kDevice, kDescription, kManufacturer, kSerialNumber, kStableName, kColumnCount };

  explicit PortListModel(QObject* parent = nullptr);

  // Lists the ports again; `choice` (a stored value) gets a row of its own
  // when no listed port is it.
  void Refresh(const QString& choice);

  // The value to store for a row: empty for the automatic search, else the
  // port's stable name when it has one, its device path otherwise.
  QString ChoiceAt(int row) const;
  // The row of a stored value; 0 (automatic) for an empty one.
  int RowOf(const QString& choice) const;

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  QVariant headerData(int section, Qt::Orientation orientation,
                      int role = Qt::DisplayRole) const override;

 private:
  struct Row {
    SerialPortEntry entry;
    QString choice;  // what is stored when this row is chosen
    QString note;    // shown in place of a missing description
  };
  std::vector<Row> rows_;  // without the automatic row
};
