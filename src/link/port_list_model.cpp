#include "link/port_list_model.h"

#include <QFileInfo>

#include "platform/ports.h"

namespace {
QString SameDevice(const QString& path) {
  const QString canonical = QFileInfo(path).canonicalFilePath();
  return canonical.isEmpty() ? path : canonical;
}
}  // namespace

PortListModel::PortListModel(QObject* parent) : QAbstractTableModel(parent) {}

void PortListModel::Refresh(const QString& choice) {
  beginResetModel();
  rows_.clear();
  bool choiceListed = choice.isEmpty();
  for (const SerialPortEntry& e : SerialPorts().List()) {
    rows_.push_back({e, e.PreferredName(), QString()});
    if (!choiceListed && (choice == e.device || choice == e.stableName)) choiceListed = true;
  }
  if (!choiceListed) {
    Row row;
    const QString name = PortNameOfChoice(choice);
    if (name != choice) {
      // "COM1" or "COM2": the program's port as the settings lead it.
      row.entry.device = choice.toUpper();
      row.note = QStringLiteral("порт программы, ведет к %1").arg(ResolvePortName(name));
    } else {
      row.entry.device = choice;
      row.note = QStringLiteral("сейчас не найден");
    }
    row.choice = choice;
    rows_.push_back(row);
  }
  endResetModel();
}

QString PortListModel::ChoiceAt(int row) const {
  if (row <= 0 || row > int(rows_.size())) return QString();
  return rows_[size_t(row - 1)].choice;
}

int PortListModel::RowOf(const QString& choice) const {
  if (choice.isEmpty()) return 0;
  for (size_t i = 0; i < rows_.size(); ++i) {
    if (rows_[i].choice == choice) return int(i) + 1;
  }
  // The same device under another of its names.
  const QString device = SameDevice(choice);
  for (size_t i = 0; i < rows_.size(); ++i) {
    if (SameDevice(rows_[i].entry.device) == device) return int(i) + 1;
  }
  return 0;
}

int PortListModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : int(rows_.size()) + 1;
}

int PortListModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : kColumnCount;
}

QVariant PortListModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || (role != Qt::DisplayRole && role != Qt::ToolTipRole)) return QVariant();
  if (index.row() == 0) {
    if (index.column() == kDevice) return QStringLiteral("Автоматически");
    if (index.column() == kDescription)
      return QStringLiteral("порт, где прибор ответил в прошлый раз, COM1, COM2, затем все порты");
    return QVariant();
  }
  const Row& row = rows_[size_t(index.row() - 1)];
  switch (index.column()) {
    case kDevice:
      return row.entry.device;
    case kDescription:
      return row.entry.description.isEmpty() ? row.note : row.entry.description;
    case kManufacturer:
      return row.entry.manufacturer;
    case kSerialNumber:
      return row.entry.serialNumber;
    case kStableName:
      return row.entry.stableName;
    default:
      break;
  }
  return QVariant();
}

QVariant PortListModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return QVariant();
  switch (section) {
    case kDevice:
      return QStringLiteral("Порт");
    case kDescription:
      return QStringLiteral("Описание");
    case kManufacturer:
      return QStringLiteral("Изготовитель");
    case kSerialNumber:
      return QStringLiteral("Серийный номер");
    case kStableName:
      return QStringLiteral("Постоянное имя");
    default:
      break;
  }
  return QVariant();
}
