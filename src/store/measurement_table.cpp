#include "store/measurement_table.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <limits>

#include "platform/file_ops.h"
#include "store/dbf/dbf_table.h"
#include "store/dbf/mdx_index.h"

const std::vector<FieldSpec>& MeasurementSchema() {
  static const std::vector<FieldSpec> schema = {
      {"N", 'N', 9, 0},        {"DATE", 'C', 20, 0},     {"TIME", 'C', 20, 0},
      {"DEV_TYPE", 'N', 4, 0}, {"SERIAL", 'N', 9, 0},    {"NB_TYPE", 'N', 4, 0},
      {"P", 'N', 18, 9},       {"R", 'N', 18, 9},        {"ZAV", 'C', 50, 0},
      {"TYPE", 'C', 15, 0},    {"COMMENT", 'C', 100, 0}, {"H", 'N', 18, 9},
      {"T", 'C', 50, 0},       {"O1", 'N', 4, 0},        {"O2", 'N', 4, 0},
      {"O3", 'N', 4, 0},       {"O4", 'N', 4, 0},        {"O5", 'N', 4, 0},
      {"O6", 'N', 4, 0},       {"P1", 'N', 4, 0},        {"P2", 'N', 4, 0},
      {"P3", 'N', 4, 0},       {"P4", 'N', 4, 0},        {"P5", 'N', 4, 0},
      {"T1", 'C', 20, 0},      {"T2", 'C', 20, 0},       {"T3", 'C', 20, 0},
      {"T4", 'C', 20, 0},      {"T5", 'C', 20, 0},
  };
  return schema;
}

namespace {

enum class Kind { Integer, Float, Text };

// The day (Julian day number) of a date text that begins with D.M.YYYY,
// read in place from a record's field; 0 when it does not.
int64_t DayOfDateText(const char* p, int length) {
  const char* end = p + length;
  while (p < end && *p == ' ') ++p;
  int parts[3] = {0, 0, 0};
  for (int i = 0; i < 3; ++i) {
    const char* digits = p;
    while (p < end && *p >= '0' && *p <= '9' && p - digits < 4)
      parts[i] = parts[i] * 10 + (*p++ - '0');
    const bool sized = i < 2 ? (p - digits >= 1 && p - digits <= 2) : p - digits == 4;
    if (!sized) return 0;
    if (i < 2 && (p == end || *p++ != '.')) return 0;
  }
  if (p < end && *p != ' ' && *p != 0) return 0;
  const QDate date(parts[2], parts[1], parts[0]);
  return date.isValid() ? date.toJulianDay() : 0;
}

Kind KindOf(const dbf::FieldDef& f) {
  if (f.type == 'N' || f.type == 'F') return f.decimals > 0 ? Kind::Float : Kind::Integer;
  return Kind::Text;
}

// Whether a file's field can hold a schema field: integers need N without
// decimals of at most 9 digits (a longer one would read as a 64-bit
// integer), floating-point fields N with decimals, texts C of any length.
bool Compatible(const FieldSpec& spec, const dbf::FieldDef& f) {
  if (spec.type == 'C') return f.type == 'C';
  if (f.type != 'N' && f.type != 'F') return false;
  if (spec.decimals > 0) return f.decimals > 0;
  return f.decimals == 0 && f.length <= 9;
}

// The names of the fields the program reads and writes, by Field.
const std::array<QString, kFieldCount>& ProgramFieldNames() {
  static const std::array<QString, kFieldCount> names = [] {
    std::array<QString, kFieldCount> out;
    for (int f = 0; f < kFieldCount; ++f)
      out[size_t(f)] = QLatin1String(MeasurementSchema()[size_t(f)].name);
    return out;
  }();
  return names;
}

// A header written by a program that stopped half-way: the record count
// from the file length, and no index flag when the index holds no tag.
void RepairHeaderOf(dbf::Table& table, dbf::Index& index) {
  if (table.HeaderCountStale()) table.WriteHeader();
  if (table.IndexFlag() && index.TagCount() == 0) table.SetIndexFlag(false);
}

// The visible rows: the records in row order as last computed, with rows
// deleted since then struck out in a counting tree, so that deleting a row
// costs a logarithm instead of a pass over the table.
class VisibleRows {
 public:
  void Assign(std::vector<uint32_t> records, uint32_t recordCount) {
    slots_ = std::move(records);
    slotOf_.assign(size_t(recordCount) + 1, -1);
    alive_.assign(slots_.size(), 1);
    tree_.assign(slots_.size() + 1, 0);
    for (size_t i = 1; i <= slots_.size(); ++i) {
      tree_[i] += 1;
      const size_t up = i + (i & (~i + 1));
      if (up <= slots_.size()) tree_[up] += tree_[i];
    }
    for (size_t i = 0; i < slots_.size(); ++i) slotOf_[slots_[i]] = int(i);
    live_ = int(slots_.size());
    holes_ = 0;
  }
  void Clear() { Assign({}, 0); }
  // Makes room for records appended to the table but not listed.
  void Grow(uint32_t recordCount) {
    if (slotOf_.size() < size_t(recordCount) + 1) slotOf_.resize(size_t(recordCount) + 1, -1);
  }
  void Append(uint32_t record) {
    Grow(record);
    slots_.push_back(record);
    alive_.push_back(1);
    const size_t k = slots_.size();
    tree_.push_back(1 + Prefix(k - 1) - Prefix(k - (k & (~k + 1))));
    slotOf_[record] = int(k - 1);
    ++live_;
  }
  void Remove(uint32_t record) {
    const int slot = SlotOf(record);
    if (slot < 0 || !alive_[size_t(slot)]) return;
    alive_[size_t(slot)] = 0;
    for (size_t i = size_t(slot) + 1; i < tree_.size(); i += i & (~i + 1)) tree_[i] -= 1;
    --live_;
    ++holes_;
  }
  int Size() const { return live_; }
  uint32_t At(int index) const { return slots_[SlotAt(index)]; }
  int IndexOf(uint32_t record) const {
    const int slot = SlotOf(record);
    if (slot < 0 || !alive_[size_t(slot)]) return -1;
    return holes_ == 0 ? slot : Prefix(size_t(slot));
  }
  // For a record listed once and removed since: the index its successor
  // has now (Size() when it was the last).
  int IndexAfterRemoved(uint32_t record) const {
    const int slot = SlotOf(record);
    return slot < 0 ? -1 : Prefix(size_t(slot));
  }
  std::vector<uint32_t> Records() const {
    std::vector<uint32_t> out;
    for (size_t i = 0; i < slots_.size(); ++i)
      if (alive_[i]) out.push_back(slots_[i]);
    return out;
  }

 private:
  int SlotOf(uint32_t record) const { return record < slotOf_.size() ? slotOf_[record] : -1; }
  // Live rows among the first `n` slots.
  int Prefix(size_t n) const {
    int sum = 0;
    for (size_t i = n; i > 0; i -= i & (~i + 1)) sum += tree_[i];
    return sum;
  }
  size_t SlotAt(int index) const {
    if (holes_ == 0) return size_t(index);
    size_t pos = 0;
    int rest = index + 1;
    size_t step = 1;
    while (step * 2 <= slots_.size()) step *= 2;
    for (; step > 0; step /= 2) {
      if (pos + step <= slots_.size() && tree_[pos + step] < rest) {
        pos += step;
        rest -= tree_[pos];
      }
    }
    return pos;
  }

  std::vector<uint32_t> slots_;
  std::vector<int> slotOf_;
  std::vector<uint8_t> alive_;
  std::vector<int> tree_;
  int live_ = 0;
  int holes_ = 0;
};

}  // namespace

struct MeasurementTable::Subscription::Entry {
  Listener listener;
  bool live;
};

// Shared by the table and its subscriptions, so that ending one after the
// table is gone is safe.
struct MeasurementTable::Subscription::List {
  std::vector<std::shared_ptr<Entry>> entries;
};

struct MeasurementTable::Impl {
  QString folder;
  QString fileName;
  // The two joined, made once: a table asks for it at every step.
  QString path = QDir(folder).filePath(fileName);
  bool open = false;
  bool wrote = false;
  int headerRowCount = 0;
  dbf::Table table;
  dbf::Index index{&table};
  std::array<int, kFieldCount> fieldOf{};  // the program's own fields' numbers

  QString filter;
  int filterField = -1;
  int64_t filterValue = 0;
  DateRange dates;  // of the filter; its ends as days, open ends at the limits
  int64_t firstDay = std::numeric_limits<int64_t>::min();
  int64_t lastDay = std::numeric_limits<int64_t>::max();
  QString sortTag;

  VisibleRows visible;
  int current = -1;
  bool eof = true;

  enum class Edit { None, Append, Change } edit = Edit::None;
  QByteArray pending;
  uint32_t editRecord = 0;

  int runDepth = 0;
  bool runChanged = false;  // rows appended in the run, not yet announced

  std::shared_ptr<Subscription::List> listeners = std::make_shared<Subscription::List>();
  int walkDepth = 0;
  bool movedInWalk = false;  // a move not yet told, held for the end of the walk

  const QString& Path() const { return path; }

  void Notify(Change c) {
    if (c == Change::CurrentMoved && walkDepth > 0) {
      movedInWalk = true;
      return;
    }
    // The entries stay alive through the calls even when a call ends them;
    // an ended one is skipped.
    const auto entries = listeners->entries;
    for (const auto& e : entries)
      if (e->live) e->listener(c);
  }

  // The first field of that name, in any case, or -1. Stored names are
  // upper case and a table has a few dozen fields: a scan costs less than
  // building a map at every open.
  int FindField(QStringView name) const {
    const std::vector<dbf::FieldDef>& fields = table.Fields();
    for (size_t i = 0; i < fields.size(); ++i)
      if (fields[i].name.size() == name.size() &&
          QLatin1String(fields[i].name).compare(name, Qt::CaseInsensitive) == 0)
        return int(i);
    return -1;
  }
  static bool NameIs(const dbf::FieldDef& field, const char* name) {
    const qsizetype size = qsizetype(std::strlen(name));
    return field.name.size() == size && qstrnicmp(field.name.constData(), name, size) == 0;
  }
  int FindField(const char* name) const {
    const std::vector<dbf::FieldDef>& fields = table.Fields();
    for (size_t i = 0; i < fields.size(); ++i)
      if (NameIs(fields[i], name)) return int(i);
    return -1;
  }
  int FieldNumber(const QString& name) const {
    const int field = FindField(QStringView(name));
    if (field < 0) throw TableError(QStringLiteral("Поле %1 не найдено").arg(name));
    return field;
  }
  int FieldNumber(Field f) const { return fieldOf[size_t(f)]; }

  bool ParseFilter(const QString& expr, int* field, int64_t* value) const {
    static const QRegularExpression re(
        QStringLiteral("^\\s*([A-Za-z_][A-Za-z0-9_]*)\\s*=\\s*([+-]?\\d+)\\s*$"));
    const QRegularExpressionMatch m = re.match(expr);
    if (!m.hasMatch()) return false;
    const int found = FindField(m.capturedView(1));
    if (found < 0) return false;
    if (KindOf(table.Fields()[size_t(found)]) == Kind::Text) return false;
    bool ok = false;
    const qlonglong v = m.captured(2).toLongLong(&ok);
    if (!ok) return false;
    *field = found;
    *value = v;
    return true;
  }

  bool Passes(uint32_t r) const {
    const char* rec = table.Record(r);
    if (rec[0] == '*') return false;
    if (filterField < 0) return true;
    // A blank numeric field counts as 0.
    const dbf::FieldDef& f = table.Fields()[size_t(filterField)];
    if (KindOf(f) == Kind::Float) {
      double d = 0;
      table.Number(rec, filterField, &d);
      return d == double(filterValue) && InDates(rec);
    }
    int64_t v = 0;
    table.Integer(rec, filterField, &v);
    return v == filterValue && InDates(rec);
  }

  void SetDates(const DateRange& range) {
    dates = range;
    firstDay =
        range.from.isValid() ? range.from.toJulianDay() : std::numeric_limits<int64_t>::min();
    lastDay = range.to.isValid() ? range.to.toJulianDay() : std::numeric_limits<int64_t>::max();
  }

  bool InDates(const char* rec) const {
    if (dates.IsUnbounded()) return true;
    const dbf::FieldDef& f = table.Fields()[size_t(FieldNumber(Field::Date))];
    const int64_t day = DayOfDateText(rec + f.offset, f.length);
    return day != 0 && day >= firstDay && day <= lastDay;
  }

  const std::vector<uint32_t>* Order() const {
    return sortTag.isEmpty() ? nullptr : index.Order(sortTag);
  }

  void Recompute() {
    std::vector<uint32_t> rows;
    const uint32_t n = table.RecordCount();
    const std::vector<uint32_t>* order = Order();
    rows.reserve(order ? order->size() : n);
    if (order) {
      for (uint32_t r : *order)
        if (Passes(r)) rows.push_back(r);
    } else {
      for (uint32_t r = 1; r <= n; ++r)
        if (Passes(r)) rows.push_back(r);
    }
    visible.Assign(std::move(rows), n);
  }

  // Makes `record` current when it is visible, else the next visible row
  // after it in the row order, else the previous one.
  void Reposition(uint32_t record) {
    const int size = visible.Size();
    eof = size == 0;
    if (size == 0) {
      current = -1;
      return;
    }
    if (record == 0 || record > table.RecordCount()) {
      current = 0;
      return;
    }
    const int at = visible.IndexOf(record);
    if (at >= 0) {
      current = at;
      return;
    }
    const int after = visible.IndexAfterRemoved(record);
    if (after >= 0) {
      current = std::min(after, size - 1);
      return;
    }
    const std::vector<uint32_t>* order = Order();
    size_t pos;
    if (order) {
      pos = size_t(std::find(order->begin(), order->end(), record) - order->begin());
    } else {
      pos = record - 1;
    }
    const size_t total = order ? order->size() : table.RecordCount();
    auto recordAt = [&](size_t i) { return order ? (*order)[i] : uint32_t(i + 1); };
    for (size_t i = pos + 1; i < total; ++i) {
      const int idx = visible.IndexOf(recordAt(i));
      if (idx >= 0) {
        current = idx;
        return;
      }
    }
    for (size_t i = std::min(pos, total); i-- > 0;) {
      const int idx = visible.IndexOf(recordAt(i));
      if (idx >= 0) {
        current = idx;
        return;
      }
    }
    current = 0;
  }

  uint32_t CurrentRecord() const { return current >= 0 ? visible.At(current) : 0; }

  // Reading only, the tags live in memory alone: the index file beside
  // the table is left as it is.
  void StoreIndex() {
    if (!table.IsReadOnly()) index.Save();
  }
  void SaveIndex() {
    if (index.TagCount() > 0) StoreIndex();
  }

  // Every write to the table starts here.
  void RequireWritable() const {
    if (!open) throw TableError(QStringLiteral("Таблица не открыта"));
    if (table.IsReadOnly())
      throw TableError(QStringLiteral("Таблица %1 открыта только для чтения").arg(Path()));
  }

  // After a block of a run could not be written: the table lost the rows
  // not in the file, so the tags and visible rows are rebuilt without them.
  void AppendsDropped(uint32_t previous) {
    index.RebuildAll();
    Recompute();
    Reposition(previous <= table.RecordCount() ? previous : table.RecordCount());
    if (runDepth > 0)
      runChanged = true;
    else
      Notify(Change::Reset);
  }

  // Writes the rows of a run collected so far (before any other write).
  void FlushAppends() {
    if (table.WrittenRecordCount() >= table.RecordCount()) return;
    const uint32_t previous = CurrentRecord();
    try {
      table.FlushAppends();
    } catch (const dbf::Error&) {
      AppendsDropped(previous);
      throw;
    }
  }

  FieldValue Decode(const char* rec, int field) const {
    const dbf::FieldDef& f = table.Fields()[size_t(field)];
    switch (KindOf(f)) {
      case Kind::Text:
        return table.Text(rec, field);
      case Kind::Integer: {
        int64_t v = 0;
        if (!table.Integer(rec, field, &v)) return std::monostate{};
        return v;
      }
      case Kind::Float: {
        double d = 0;
        if (!table.Number(rec, field, &d)) return std::monostate{};
        return d;
      }
    }
    return std::monostate{};
  }

  // The current row's value, an edit's as it stands.
  FieldValue CurrentValue(int field) const {
    if (edit != Edit::None) return Decode(pending.constData(), field);
    if (current < 0) return Empty(field);
    return Decode(table.Record(CurrentRecord()), field);
  }

  // A visible row's value (0-based position in range), an edit's as it stands.
  FieldValue ValueAt(int visibleIndex, int field) const {
    const uint32_t rec = visible.At(visibleIndex);
    if (edit == Edit::Change && editRecord == rec) return Decode(pending.constData(), field);
    return Decode(table.Record(rec), field);
  }

  bool HoldsRecord(uint32_t record) const {
    return open && record != 0 && record <= table.RecordCount();
  }

  FieldValue Empty(int field) const {
    if (KindOf(table.Fields()[size_t(field)]) == Kind::Text) return QString();
    return std::monostate{};
  }

  void RequireEditing() const {
    if (edit == Edit::None) throw TableError(QStringLiteral("Запись не редактируется"));
  }

  // The writes of a value into the row in progress; `name` names the field
  // in a refusal.
  void PutInt(int field, int64_t value) {
    const dbf::FieldDef& f = table.Fields()[size_t(field)];
    switch (KindOf(f)) {
      case Kind::Text:
        table.PutText(pending, field, QString::number(qlonglong(value)));
        break;
      case Kind::Integer:
        dbf::PutInteger(f, value, pending.data() + f.offset);
        break;
      case Kind::Float:
        dbf::PutNumber(f, double(value), pending.data() + f.offset);
        break;
    }
  }

  void PutFloat(int field, const QString& name, double value) {
    const dbf::FieldDef& f = table.Fields()[size_t(field)];
    switch (KindOf(f)) {
      case Kind::Text:
        table.PutText(pending, field, QString::number(value, 'g', 15));
        break;
      case Kind::Integer:
        if (!std::isfinite(value) || std::fabs(value) > 9e18)
          throw TableError(QStringLiteral("Недопустимое значение поля %1").arg(name));
        dbf::PutInteger(f, std::llround(value), pending.data() + f.offset);
        break;
      case Kind::Float:
        dbf::PutNumber(f, value, pending.data() + f.offset);
        break;
    }
  }

  // A text into a numeric field is read as a number ("," or "."); a blank
  // one blanks the field.
  void PutText(int field, const QString& name, const QString& value) {
    const dbf::FieldDef& f = table.Fields()[size_t(field)];
    if (KindOf(f) == Kind::Text) {
      table.PutText(pending, field, value);
      return;
    }
    const QString t = value.trimmed();
    if (t.isEmpty()) {
      table.PutBlank(pending, field);
      return;
    }
    bool ok = false;
    const double v = QString(t).replace(QLatin1Char(','), QLatin1Char('.')).toDouble(&ok);
    if (!ok) throw TableError(QStringLiteral("Недопустимое значение поля %1: %2").arg(name, value));
    if (KindOf(f) == Kind::Integer) {
      const qlonglong i = t.toLongLong(&ok);
      if (ok) {
        PutInt(field, int64_t(i));
        return;
      }
    }
    PutFloat(field, name, v);
  }

  // A blank value leaves the field as the new row has it.
  void Put(Field which, const FieldValue& value) {
    const int field = FieldNumber(which);
    const QString& name = ProgramFieldNames()[size_t(which)];
    if (const int64_t* i = std::get_if<int64_t>(&value)) PutInt(field, *i);
    if (const double* x = std::get_if<double>(&value)) PutFloat(field, name, *x);
    if (const QString* t = std::get_if<QString>(&value)) PutText(field, name, *t);
  }
};

MeasurementTable::MeasurementTable() : d(new Impl) {}
MeasurementTable::~MeasurementTable() { Close(); }

void MeasurementTable::SetLocation(const QString& path) {
  if (d->open) return;  // the location of an open table does not change
  const QFileInfo fi(path);
  d->folder = fi.path();
  d->fileName = fi.fileName();
  d->path = QDir(d->folder).filePath(d->fileName);
}

QString MeasurementTable::FilePath() const { return d->Path(); }
QString MeasurementTable::Folder() const { return d->folder; }
QString MeasurementTable::FileName() const { return d->fileName; }

namespace {
std::vector<dbf::FieldDef> SchemaFields() {
  std::vector<dbf::FieldDef> fields;
  for (const FieldSpec& s : MeasurementSchema()) {
    dbf::FieldDef f;
    f.name = QByteArray(s.name);
    f.type = s.type;
    f.length = s.length;
    f.decimals = s.decimals;
    fields.push_back(f);
  }
  return fields;
}
}  // namespace

void MeasurementTable::CreateFile() {
  if (d->open) throw TableError(QStringLiteral("Нельзя создать файл, пока таблица открыта"));
  dbf::Table::Create(d->Path(), SchemaFields(), dbf::kLanguageRussianWindows);
  d->Notify(Change::Reset);
}

QByteArray MeasurementTable::NewFileImage() {
  return dbf::Table::NewFileImage(QString(), SchemaFields(), dbf::kLanguageRussianWindows);
}

void MeasurementTable::Open(OpenMode mode) {
  if (d->open) Close();
  try {
    d->table.Open(d->Path(), mode == OpenMode::ReadOnly     ? dbf::Table::Access::ReadOnly
                             : mode == OpenMode::KeepHeader ? dbf::Table::Access::WriteIfAllowed
                             : mode == OpenMode::NewFile    ? dbf::Table::Access::ReadWriteNoLink
                                                            : dbf::Table::Access::ReadWrite);
    d->headerRowCount = int(d->table.HeaderRecordCount());
    const std::vector<dbf::FieldDef>& fields = d->table.Fields();
    const std::vector<FieldSpec>& schema = MeasurementSchema();
    // A table of the program's own layout has the fields in the schema's
    // order: while it does, the next one is where the schema says, and no
    // field before it can bear its name.
    bool inOrder = true;
    for (size_t k = 0; k < schema.size(); ++k) {
      const FieldSpec& s = schema[k];
      inOrder = inOrder && k < fields.size() && d->NameIs(fields[k], s.name);
      const int found = inOrder ? int(k) : d->FindField(s.name);
      if (found < 0)
        throw TableError(QStringLiteral("В таблице %1 нет поля %2").arg(d->Path(), s.name));
      if (!Compatible(s, fields[size_t(found)]))
        throw TableError(
            QStringLiteral("Поле %1 таблицы %2 неверного типа").arg(s.name, d->Path()));
      if (k < d->fieldOf.size()) d->fieldOf[k] = found;
    }
    // An index replacement that a writer that died left half-made (never
    // by a reader: it writes nothing).
    if (!d->table.IsReadOnly())
      RemoveLeftovers(QFile::encodeName(d->index.FilePath()).toStdString(),
                      kReplacementTag);
    d->index.Clear();
    d->index.Load();
    // The table is accepted: only now may its file change.
    if (mode == OpenMode::Write || mode == OpenMode::NewFile) RepairHeaderOf(d->table, d->index);
  } catch (...) {
    d->table.Close();
    d->index.Clear();
    throw;
  }
  d->open = true;
  d->wrote = false;
  d->edit = Impl::Edit::None;
  d->filterField = -1;
  if (!d->filter.isEmpty() && !d->ParseFilter(d->filter, &d->filterField, &d->filterValue)) {
    d->filter.clear();
    d->SetDates(DateRange());
  }
  d->Recompute();
  d->current = (d->visible.Size() == 0) ? -1 : 0;
  d->eof = d->visible.Size() == 0;
  d->Notify(Change::Reset);
}

int MeasurementTable::HeaderRowCount() const { return d->headerRowCount; }

void MeasurementTable::RepairHeader() {
  if (!d->open || d->table.IsReadOnly()) return;
  RepairHeaderOf(d->table, d->index);
}

void MeasurementTable::Close() {
  if (!d->open) return;
  d->edit = Impl::Edit::None;
  d->runDepth = 0;
  d->runChanged = false;
  if (d->wrote) {
    try {
      d->table.WriteHeader();
    } catch (const dbf::Error&) {
      // The records are written already (those of a run that cannot be
      // written are lost); a stale header date or count is corrected from
      // the file length at the next open.
    }
  }
  d->table.Close();
  d->index.Clear();
  d->open = false;
  d->visible.Clear();
  d->current = -1;
  d->eof = true;
  d->Notify(Change::Reset);
}

bool MeasurementTable::IsOpen() const { return d->open; }

bool MeasurementTable::IsReadOnly() const { return d->open && d->table.IsReadOnly(); }

void MeasurementTable::First() {
  if (d->edit != Impl::Edit::None) PostRow();
  d->current = (d->visible.Size() == 0) ? -1 : 0;
  d->eof = d->visible.Size() == 0;
  d->Notify(Change::CurrentMoved);
}

void MeasurementTable::Next() {
  if (d->edit != Impl::Edit::None) PostRow();
  if (d->visible.Size() == 0) {
    d->eof = true;
    return;
  }
  if (d->current + 1 < d->visible.Size()) {
    ++d->current;
    d->Notify(Change::CurrentMoved);
  } else {
    d->eof = true;
  }
}

void MeasurementTable::Last() {
  if (d->edit != Impl::Edit::None) PostRow();
  d->current = d->visible.Size() - 1;
  d->eof = d->visible.Size() == 0;
  d->Notify(Change::CurrentMoved);
}

bool MeasurementTable::AtEnd() const { return d->eof || d->visible.Size() == 0; }

void MeasurementTable::AppendRow() {
  d->RequireWritable();
  if (d->edit != Impl::Edit::None) PostRow();
  d->pending.fill(' ', d->table.RecordLength());
  d->edit = Impl::Edit::Append;
  d->editRecord = 0;
}

void MeasurementTable::EditRow() {
  d->RequireWritable();
  if (d->current < 0) throw TableError(QStringLiteral("Нет текущей записи"));
  uint32_t rec = d->CurrentRecord();
  if (d->edit == Impl::Edit::Change && d->editRecord == rec) return;
  if (d->edit != Impl::Edit::None) {
    PostRow();  // may move the current row (order, filter)
    if (d->current < 0) throw TableError(QStringLiteral("Нет текущей записи"));
    rec = d->CurrentRecord();
  }
  d->pending = QByteArray(d->table.Record(rec), d->table.RecordLength());
  d->edit = Impl::Edit::Change;
  d->editRecord = rec;
}

bool MeasurementTable::IsEditing() const { return d->edit != Impl::Edit::None; }

void MeasurementTable::CancelRow() { d->edit = Impl::Edit::None; }

void MeasurementTable::SetField(const QString& name, int64_t value) {
  d->RequireEditing();
  d->PutInt(d->FieldNumber(name), value);
}

void MeasurementTable::SetField(const QString& name, double value) {
  d->RequireEditing();
  d->PutFloat(d->FieldNumber(name), name, value);
}

void MeasurementTable::SetField(const QString& name, const QString& value) {
  d->RequireEditing();
  d->PutText(d->FieldNumber(name), name, value);
}

void MeasurementTable::PostRow() {
  if (d->edit == Impl::Edit::None) return;
  if (d->edit == Impl::Edit::Append) {
    const uint32_t previous = d->CurrentRecord();
    const uint32_t before = d->table.RecordCount();
    uint32_t rec = 0;
    try {
      rec = d->table.AppendRecord(d->pending);
    } catch (const dbf::Error&) {
      // A block of the run failed: rows posted before are gone as well.
      if (d->table.RecordCount() < before) d->AppendsDropped(previous);
      throw;
    }
    d->wrote = true;
    d->edit = Impl::Edit::None;
    d->index.Update(rec);
    if (!d->Order()) {
      d->visible.Grow(rec);
      if (d->Passes(rec)) d->visible.Append(rec);
    } else {
      d->Recompute();
    }
    if (d->visible.IndexOf(rec) >= 0) {
      d->current = d->visible.IndexOf(rec);
      d->eof = false;
    } else if (d->Order()) {
      d->Reposition(previous);  // positions moved with the new order
    }
    if (d->runDepth > 0) {
      d->runChanged = true;  // the index file and the listeners at the end
      return;
    }
    d->SaveIndex();
    d->Notify(Change::Reset);
  } else {
    const uint32_t rec = d->editRecord;
    d->FlushAppends();
    d->table.WriteRecord(rec, d->pending);
    d->wrote = true;
    d->edit = Impl::Edit::None;
    d->index.Update(rec);
    const std::vector<uint32_t> before = d->visible.Records();
    d->Recompute();
    d->Reposition(rec);
    d->SaveIndex();
    d->Notify(before == d->visible.Records() ? Change::RowWritten : Change::Reset);
  }
}

void MeasurementTable::AppendRows(const std::vector<MeasurementRow>& rows) {
  // One run: the rows reach the file in large blocks.
  AppendRun run(*this);
  if (d->open && rows.size() <= std::numeric_limits<uint32_t>::max())
    d->table.ReserveRecords(uint32_t(rows.size()));
  for (const MeasurementRow& row : rows) {
    AppendRow();
    try {
      for (int f = 0; f < kFieldCount; ++f) d->Put(Field(f), row.values[size_t(f)]);
      PostRow();
    } catch (...) {
      // A later post or close must not write half a row.
      if (d->open) CancelRow();
      throw;
    }
  }
  run.End();
}

FieldValue MeasurementTable::GetField(const QString& name) const {
  return d->open ? d->CurrentValue(d->FieldNumber(name)) : FieldValue();
}
FieldValue MeasurementTable::GetField(Field field) const {
  return d->open ? d->CurrentValue(d->FieldNumber(field)) : FieldValue();
}

int64_t MeasurementTable::GetInt(const QString& name) const { return ValueToInt(GetField(name)); }
double MeasurementTable::GetFloat(const QString& name) const {
  return ValueToFloat(GetField(name));
}
QString MeasurementTable::GetText(const QString& name) const { return ValueToText(GetField(name)); }
int64_t MeasurementTable::GetInt(Field field) const { return ValueToInt(GetField(field)); }
double MeasurementTable::GetFloat(Field field) const { return ValueToFloat(GetField(field)); }
QString MeasurementTable::GetText(Field field) const { return ValueToText(GetField(field)); }

void MeasurementTable::SetFilter(const QString& expression) {
  if (!d->open) {
    d->filter = expression;
    d->SetDates(DateRange());
    return;
  }
  int field = -1;
  int64_t value = 0;
  if (!expression.isEmpty() && !d->ParseFilter(expression, &field, &value))
    throw TableError(QStringLiteral("Неверное условие отбора: %1").arg(expression));
  FilterBy(expression, field, value, DateRange());
}

void MeasurementTable::ShowKind(ShownKind kind, const DateRange& dates) {
  FilterBy(Field::NbType, int64_t(kind), dates);
}

void MeasurementTable::ShowSeries(int64_t serial) { FilterBy(Field::Serial, serial, DateRange()); }

void MeasurementTable::FilterBy(Field field, int64_t value, const DateRange& dates) {
  const QString text =
      ProgramFieldNames()[size_t(field)] + QLatin1Char('=') + QString::number(qlonglong(value));
  if (!d->open) {
    d->filter = text;  // taken up at the next open
    d->SetDates(dates);
    return;
  }
  FilterBy(text, d->FieldNumber(field), value, dates);
}

void MeasurementTable::FilterBy(const QString& text, int field, int64_t value,
                                const DateRange& dates) {
  if (d->edit != Impl::Edit::None) PostRow();
  d->filter = text;
  d->filterField = field;
  d->filterValue = value;
  d->SetDates(dates);
  const uint32_t rec = d->CurrentRecord();
  d->Recompute();
  d->Reposition(rec);
  d->Notify(Change::Reset);
}

QString MeasurementTable::Filter() const { return d->filter; }

DateRange MeasurementTable::FilterDates() const { return d->dates; }

int MeasurementTable::VisibleRowCount() const { return d->visible.Size(); }

int MeasurementTable::StoredRowCount() const { return d->open ? int(d->table.RecordCount()) : 0; }

void MeasurementTable::Refresh() {
  if (!d->open) return;
  if (d->edit != Impl::Edit::None) PostRow();
  d->FlushAppends();
  const uint32_t rec = d->CurrentRecord();
  d->table.Reload();
  d->index.RebuildAll();
  d->Recompute();
  d->Reposition(rec);
  d->Notify(Change::Reset);
}

void MeasurementTable::AddSortTag(const QString& tag, const QString& field, bool descending) {
  if (!d->open) throw TableError(QStringLiteral("Таблица не открыта"));
  if (tag.isEmpty() || tag.size() > 10)
    throw TableError(QStringLiteral("Неверное имя тега %1").arg(tag));
  const int f = d->FieldNumber(field);
  if (d->edit != Impl::Edit::None) PostRow();
  d->FlushAppends();
  d->index.AddTag(tag, f, descending);
  d->StoreIndex();
  if (d->sortTag.compare(tag, Qt::CaseInsensitive) == 0) {
    const uint32_t rec = d->CurrentRecord();
    d->Recompute();
    d->Reposition(rec);
    d->Notify(Change::Reset);
  }
}

void MeasurementTable::DropSortTag(const QString& tag) {
  if (!d->open) return;
  if (!d->index.HasTag(tag)) return;
  d->FlushAppends();
  d->index.DropTag(tag);
  const bool wasOrder = d->sortTag.compare(tag, Qt::CaseInsensitive) == 0;
  d->StoreIndex();
  if (wasOrder) {
    const uint32_t rec = d->CurrentRecord();
    d->Recompute();
    d->Reposition(rec);
    d->Notify(Change::Reset);
  }
}

void MeasurementTable::SelectSortTag(const QString& tag) {
  d->sortTag = tag;
  if (!d->open) return;
  if (d->edit != Impl::Edit::None) PostRow();
  const uint32_t rec = d->CurrentRecord();
  d->Recompute();
  d->Reposition(rec);
  d->Notify(Change::Reset);
}

QString MeasurementTable::SelectedSortTag() const { return d->sortTag; }

void MeasurementTable::RebuildSortTags() {
  if (!d->open) return;
  if (d->edit != Impl::Edit::None) PostRow();
  d->FlushAppends();
  d->index.RebuildAll();
  d->SaveIndex();
  const uint32_t rec = d->CurrentRecord();
  d->Recompute();
  d->Reposition(rec);
  d->Notify(Change::Reset);
}

MeasurementTable::BookmarkT MeasurementTable::Bookmark() const { return d->CurrentRecord(); }

void MeasurementTable::GotoBookmark(BookmarkT bookmark) {
  if (!d->open || d->visible.IndexOf(bookmark) < 0) return;
  if (d->edit != Impl::Edit::None) PostRow();
  d->current = d->visible.IndexOf(bookmark);
  d->eof = false;
  d->Notify(Change::CurrentMoved);
}

void MeasurementTable::DeleteRow() {
  if (!d->open) return;
  if (d->edit == Impl::Edit::Append) {
    d->edit = Impl::Edit::None;  // an unposted new row is simply dropped
    return;
  }
  d->edit = Impl::Edit::None;
  if (d->current < 0) return;
  d->RequireWritable();
  d->FlushAppends();
  const uint32_t rec = d->CurrentRecord();
  QByteArray record(d->table.Record(rec), d->table.RecordLength());
  record[0] = '*';
  d->table.WriteRecord(rec, record);
  d->wrote = true;
  // Deleted records keep their tag entries until the pack, as in any
  // dBase IV index; they are no longer visible.
  d->visible.Remove(rec);
  d->Reposition(rec);
  d->Notify(Change::Reset);
}

void MeasurementTable::DeleteRows(std::vector<BookmarkT> records) {
  if (!d->open || records.empty()) return;
  d->RequireWritable();
  std::sort(records.begin(), records.end(), std::greater<BookmarkT>());
  records.erase(std::unique(records.begin(), records.end()), records.end());
  // An edit in progress or a row not shown: as one DeleteRow after the
  // other, which is what those cases mean.
  bool plain = d->edit == Impl::Edit::None;
  for (BookmarkT r : records) plain = plain && d->visible.IndexOf(r) >= 0;
  if (!plain) {
    for (BookmarkT r : records) {
      GotoBookmark(r);
      DeleteRow();
    }
    return;
  }
  d->FlushAppends();
  // Records closer than this share one write (a system call costs about as
  // much as writing a few kilobytes).
  constexpr BookmarkT kGap = 16;
  QString failure;
  BookmarkT stoppedAt = 0;
  for (size_t i = 0; i < records.size() && failure.isEmpty();) {
    size_t j = i + 1;
    while (j < records.size() && records[j - 1] - records[j] <= kGap) ++j;
    const std::vector<uint32_t> span(records.begin() + std::ptrdiff_t(i),
                                     records.begin() + std::ptrdiff_t(j));
    size_t done = 0;
    try {
      d->table.MarkDeleted(span, &done);
    } catch (const dbf::Error& e) {
      failure = e.text();
      stoppedAt = span[done];
    }
    if (done > 0) d->wrote = true;
    // Deleted records keep their tag entries until the pack, as in any
    // dBase IV index; they are no longer visible.
    for (size_t k = 0; k < done; ++k) d->visible.Remove(span[k]);
    i = j;
  }
  if (failure.isEmpty()) {
    d->Reposition(records.back());
  } else {
    // The failed row is current, as after its GotoBookmark.
    d->current = d->visible.IndexOf(stoppedAt);
    d->eof = false;
  }
  d->Notify(Change::Reset);
  if (!failure.isEmpty()) throw TableError(failure);
}

void MeasurementTable::Pack() {
  d->RequireWritable();
  if (d->edit != Impl::Edit::None) PostRow();
  d->FlushAppends();
  const uint32_t rec = d->CurrentRecord();
  std::vector<uint32_t> kept;
  kept = d->table.Pack();
  d->wrote = true;
  d->index.RebuildAll();
  uint32_t newRec = 0;
  if (rec) {
    auto it = std::lower_bound(kept.begin(), kept.end(), rec);
    if (it != kept.end() && *it == rec) newRec = uint32_t(it - kept.begin()) + 1;
  }
  d->Recompute();
  d->Reposition(newRec);
  try {
    d->SaveIndex();
  } catch (const dbf::Error&) {
    d->Notify(Change::Reset);
    throw;
  }
  d->Notify(Change::Reset);
}

void MeasurementTable::BeginAppendRun() {
  d->RequireWritable();
  if (d->runDepth++ == 0) d->table.BeginAppendRun();
}

void MeasurementTable::EndAppendRun() {
  if (d->runDepth == 0 || --d->runDepth > 0) return;
  const uint32_t previous = d->CurrentRecord();
  QString failure;
  try {
    d->table.EndAppendRun();
  } catch (const dbf::Error& e) {
    failure = e.text();
    d->AppendsDropped(previous);  // marks the run changed
  }
  if (d->runChanged) {
    d->runChanged = false;
    try {
      d->SaveIndex();
    } catch (const dbf::Error& e) {
      if (failure.isEmpty()) failure = e.text();
    }
    d->Notify(Change::Reset);
  }
  if (!failure.isEmpty()) throw TableError(failure);
}

MeasurementTable::AppendRun::~AppendRun() {
  try {
    End();
  } catch (const TableError&) {
    // The file holds the rows written before the failure; the caller is
    // already leaving with an error of its own or chose not to ask.
  }
}

void MeasurementTable::AppendRun::End() {
  if (!table_) return;
  MeasurementTable* t = table_;
  table_ = nullptr;
  t->EndAppendRun();
}

int MeasurementTable::CurrentIndex() const { return d->current; }

void MeasurementTable::MoveTo(int visibleIndex) {
  if (visibleIndex < 0 || visibleIndex >= d->visible.Size()) return;
  if (d->edit != Impl::Edit::None) PostRow();
  d->current = visibleIndex;
  d->eof = false;
  d->Notify(Change::CurrentMoved);
}

MeasurementTable::BookmarkT MeasurementTable::BookmarkAt(int visibleIndex) const {
  if (visibleIndex < 0 || visibleIndex >= d->visible.Size()) return 0;
  return d->visible.At(visibleIndex);
}

FieldValue MeasurementTable::FieldAt(int visibleIndex, const QString& name) const {
  if (visibleIndex < 0 || visibleIndex >= d->visible.Size()) return std::monostate{};
  return d->ValueAt(visibleIndex, d->FieldNumber(name));
}
FieldValue MeasurementTable::FieldAt(int visibleIndex, Field field) const {
  if (visibleIndex < 0 || visibleIndex >= d->visible.Size()) return std::monostate{};
  return d->ValueAt(visibleIndex, d->FieldNumber(field));
}

FieldValue MeasurementTable::FieldOfRecord(BookmarkT record, const QString& name) const {
  if (!d->HoldsRecord(record)) return std::monostate{};
  return d->Decode(d->table.Record(record), d->FieldNumber(name));
}
FieldValue MeasurementTable::FieldOfRecord(BookmarkT record, Field field) const {
  if (!d->HoldsRecord(record)) return std::monostate{};
  return d->Decode(d->table.Record(record), d->FieldNumber(field));
}

QString MeasurementTable::DisplayFormat(const QString& name) {
  return name.compare(QLatin1String("P"), Qt::CaseInsensitive) == 0 ? QStringLiteral("0.0")
                                                                    : QString();
}

MeasurementTable::Subscription MeasurementTable::AddListener(Listener listener) {
  Subscription s;
  s.entry_ = std::make_shared<Subscription::Entry>(Subscription::Entry{std::move(listener), true});
  s.list_ = d->listeners;
  d->listeners->entries.push_back(s.entry_);
  return s;
}

MeasurementTable::Walk::Walk(MeasurementTable& table) : table_(&table) { ++table.d->walkDepth; }

MeasurementTable::Walk::~Walk() {
  Impl& d = *table_->d;
  if (--d.walkDepth > 0 || !d.movedInWalk) return;
  d.movedInWalk = false;
  d.Notify(Change::CurrentMoved);
}

MeasurementTable::Subscription::~Subscription() { Cancel(); }

MeasurementTable::Subscription& MeasurementTable::Subscription::operator=(
    Subscription&& other) noexcept {
  if (this != &other) {
    Cancel();
    list_ = std::move(other.list_);
    entry_ = std::move(other.entry_);
  }
  return *this;
}

void MeasurementTable::Subscription::Cancel() {
  if (!entry_) return;
  entry_->live = false;
  if (const auto list = list_.lock()) {
    auto& entries = list->entries;
    entries.erase(std::remove(entries.begin(), entries.end(), entry_), entries.end());
  }
  entry_.reset();
  list_.reset();
}

QDate DateOfText(const QString& text) {
  const QByteArray bytes = text.toLatin1();
  const int64_t day = DayOfDateText(bytes.constData(), int(bytes.size()));
  return day != 0 ? QDate::fromJulianDay(day) : QDate();
}

int64_t ValueToInt(const FieldValue& v) {
  if (const int64_t* i = std::get_if<int64_t>(&v)) return *i;
  if (const double* f = std::get_if<double>(&v)) return std::isfinite(*f) ? std::llround(*f) : 0;
  return 0;
}

double ValueToFloat(const FieldValue& v) {
  if (const int64_t* i = std::get_if<int64_t>(&v)) return double(*i);
  if (const double* f = std::get_if<double>(&v)) return *f;
  return 0.0;
}

QString ValueToText(const FieldValue& v) {
  if (const int64_t* i = std::get_if<int64_t>(&v)) return QString::number(qlonglong(*i));
  if (const double* f = std::get_if<double>(&v)) return QString::number(*f, 'g', 15);
  if (const QString* s = std::get_if<QString>(&v)) return *s;
  return QString();
}
