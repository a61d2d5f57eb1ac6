#include "views/grid/grid_model.h"

#include <QBrush>
#include <QLocale>
#include <cmath>

#include "platform/colors.h"
#include "store/decimal_round.h"
#include "store/table_stats.h"

namespace {

const FieldSpec* SpecOf(const QString& field) {
  for (const FieldSpec& f : MeasurementSchema())
    if (field.compare(QLatin1String(f.name), Qt::CaseInsensitive) == 0) return &f;
  return nullptr;
}

Qt::Alignment ToQt(CellAlign a, bool numeric) {
  switch (a) {
    case CellAlign::Left:
      return Qt::AlignLeft | Qt::AlignVCenter;
    case CellAlign::Right:
      return Qt::AlignRight | Qt::AlignVCenter;
    case CellAlign::Center:
      return Qt::AlignHCenter | Qt::AlignVCenter;
    case CellAlign::Default:
      break;
  }
  return (numeric ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignVCenter;
}

// As many decimals as the pattern has after its point ("0.0", "0.00"),
// rounded on the decimal value; no pattern gives the general format.
QString FormatNumber(double v, const QString& format) {
  if (format.isEmpty()) return FooterNumberText(v);
  const int dot = format.indexOf(QLatin1Char('.'));
  const int decimals = dot >= 0 ? int(format.size()) - dot - 1 : 0;
  return QLocale().toString(RoundDecimal(v, decimals), 'f', decimals);
}

}  // namespace

GridModel::GridModel(GridCore* core, QObject* parent) : QAbstractTableModel(parent), core_(core) {}

void GridModel::SetTable(MeasurementTable* table) {
  table_ = table;
  Reload();
}

void GridModel::Reload() {
  beginResetModel();
  rows_ = table_ && table_->IsOpen() ? table_->VisibleRowCount() : 0;
  endResetModel();
}

void GridModel::ColumnsChanged() {
  beginResetModel();
  endResetModel();
}

void GridModel::ColumnLookChanged(int column) {
  if (rows_ > 0 && column >= 0 && column < columnCount())
    emit dataChanged(index(0, column), index(rows_ - 1, column),
                     {Qt::BackgroundRole, Qt::TextAlignmentRole});
}

void GridModel::RowChanged(int row) {
  if (row >= 0 && row < rows_ && columnCount() > 0)
    emit dataChanged(index(row, 0), index(row, columnCount() - 1));
}

int GridModel::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : rows_; }

int GridModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : int(core_->columns().size());
}

QString GridModel::DisplayText(const GridColumn& column, const FieldValue& value) {
  if (std::holds_alternative<std::monostate>(value)) return QString();
  if (const auto* s = std::get_if<QString>(&value)) return *s;
  const double v = std::holds_alternative<double>(value) ? std::get<double>(value)
                                                         : double(std::get<int64_t>(value));
  switch (column.presentation) {
    case Presentation::Number:
      return FormatNumber(
          v, column.displayFormat.isEmpty() ? QStringLiteral("0.0") : column.displayFormat);
    case Presentation::Text:
      if (const auto* i = std::get_if<int64_t>(&value)) return QString::number(*i);
      return FooterNumberText(v);
    case Presentation::Plain:
      break;
  }
  if (const auto* i = std::get_if<int64_t>(&value)) return QString::number(*i);
  const QString own = MeasurementTable::DisplayFormat(column.fieldName());
  return own.isEmpty() ? FooterNumberText(v) : FormatNumber(v, own);
}

FieldValue GridModel::CellValue(int row, const QString& field) const {
  // The row being edited shows its pending values.
  if (table_->IsEditing() && table_->CurrentIndex() == row) return table_->GetField(field);
  return table_->FieldAt(row, field);
}

QVariant GridModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || !table_ || index.row() >= rows_) return QVariant();
  const GridColumn& column = core_->columns()[index.column()];
  switch (role) {
    case Qt::DisplayRole:
      return DisplayText(column, CellValue(index.row(), column.fieldName()));
    case Qt::EditRole: {
      const FieldValue v = CellValue(index.row(), column.fieldName());
      if (const auto* d = std::get_if<double>(&v)) return FooterNumberText(*d);
      return DisplayText(column, v);
    }
    case Qt::TextAlignmentRole: {
      const bool numeric = column.presentation == Presentation::Number;
      return QVariant::fromValue(ToQt(column.state.alignment, numeric));
    }
    case Qt::BackgroundRole:
      if (column.state.color != kClNone) return QBrush(ColorFromValue(column.state.color));
      return QVariant();
    default:
      return QVariant();
  }
}

QVariant GridModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 &&
      section < columnCount())
    return core_->columns()[section].caption;
  return QAbstractTableModel::headerData(section, orientation, role);
}

Qt::ItemFlags GridModel::flags(const QModelIndex& index) const {
  Qt::ItemFlags f = QAbstractTableModel::flags(index);
  // A table open for reading only shows its cells without editors.
  if (index.isValid() && !core_->columns()[index.column()].readOnly &&
      !(table_ && table_->IsReadOnly()))
    f |= Qt::ItemIsEditable;
  return f;
}

bool GridModel::setData(const QModelIndex& index, const QVariant& value, int role) {
  if (role != Qt::EditRole || !index.isValid() || !table_ || !table_->IsOpen()) return false;
  const GridColumn& column = core_->columns()[index.column()];
  if (column.readOnly) return false;
  const QString text = value.toString();
  const FieldValue old = CellValue(index.row(), column.fieldName());
  // Numbers are typed with the user's separator; "." is accepted as well.
  FieldValue typed;
  const FieldSpec* spec = SpecOf(column.fieldName());
  if (!spec || spec->type == 'C') {
    typed = text;
  } else if (!text.trimmed().isEmpty()) {
    bool ok = false;
    double d = QLocale().toDouble(text.trimmed(), &ok);
    if (!ok) d = QLocale::c().toDouble(text.trimmed(), &ok);
    if (!ok || !std::isfinite(d)) return false;  // not a number: the cell keeps its value
    if (spec->decimals == 0) {
      if (d != std::trunc(d) || std::fabs(d) > 999999999.0) return false;
      typed = int64_t(d);
    } else {
      typed = d;
    }
  } else {
    typed = QString();  // a cleared number is stored blank
  }
  if (typed == old) return true;
  try {
    if (table_->CurrentIndex() != index.row()) table_->MoveTo(index.row());
    if (!table_->IsEditing()) table_->EditRow();
    if (const auto* s = std::get_if<QString>(&typed))
      table_->SetField(column.fieldName(), *s);
    else if (const auto* i = std::get_if<int64_t>(&typed))
      table_->SetField(column.fieldName(), *i);
    else
      table_->SetField(column.fieldName(), std::get<double>(typed));
  } catch (const TableError& e) {
    if (onWriteError) onWriteError(e.text());
    return false;
  }
  emit dataChanged(index, index);
  return true;
}
