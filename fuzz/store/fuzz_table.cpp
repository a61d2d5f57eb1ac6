// The measurement table layer over a table file kept in memory. The input
// describes up to 32 rows (kind, number, series, day, P and R, deleted or
// not, P as unreadable text), how the header lies about them (record
// count, index flag), what trails the records, a filter, and which rows to
// delete. The file is written in the table's own layout, by its own field
// writers, and then spoilt as described. Its first byte picks one use of
// the spoilt file, so that each execution runs one part of the layer:
// opened with the filter in force and its header repaired; or opened by a
// session, its series listed and shown with their statistics; or its kind
// shown within a range of dates, rows deleted and the file packed and
// opened again. Traps when what the table shows disagrees with the rows
// the input described.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "store/dbf/dbf_table.h"
#include "store/table_session.h"
#include "store/table_stats.h"
#include "support/fuzz_input.h"
#include "support/memory_files.h"

namespace {

struct Row {
  bool deleted = false;
  bool water = false;
  bool garbledP = false;  // P holds text that need not read as a number
  int n = 0;
  int serial = 0;
  int p = 0;  // hundredths
  int r = 0;
  int day = 0;  // of January 2024; 0: no date
};

const char kPath[] = "/fuzz/t.db";
constexpr int kHeaderLength = 961;
constexpr int kRecordLength = 480;
constexpr int kOffsetP = 67;

[[noreturn]] void Trap() { __builtin_trap(); }
void Check(bool ok) {
  if (!ok) Trap();
}

// The records (1-based numbers) a filter on NB_TYPE or SERIAL shows.
std::vector<uint32_t> Shown(const std::vector<Row>& rows, bool bySerial, int value) {
  std::vector<uint32_t> out;
  for (size_t i = 0; i < rows.size(); ++i) {
    const Row& r = rows[i];
    if (r.deleted) continue;
    if (bySerial ? r.serial == value : int(r.water) == value) out.push_back(uint32_t(i + 1));
  }
  return out;
}

// The records of a kind that lie in a range of January days (0: that end
// open); a row without a date lies outside a bounded range.
std::vector<uint32_t> InRange(const std::vector<Row>& rows, bool water, int from, int to) {
  std::vector<uint32_t> out;
  for (size_t i = 0; i < rows.size(); ++i) {
    const Row& r = rows[i];
    if (r.deleted || r.water != water) continue;
    if ((from || to) && (r.day == 0 || (from && r.day < from) || (to && r.day > to))) continue;
    out.push_back(uint32_t(i + 1));
  }
  return out;
}

std::vector<uint32_t> Visible(const MeasurementTable& t) {
  std::vector<uint32_t> out;
  for (int i = 0; i < t.VisibleRowCount(); ++i) out.push_back(t.BookmarkAt(i));
  return out;
}

// The statistics of the rows shown agree with their values.
void CheckStats(TableSession& s) {
  MeasurementTable& t = s.Table();
  s.UpdateStatistics();
  const int n = t.VisibleRowCount();
  if (n < 2) return;
  double lo = 0, hi = 0;
  for (int i = 0; i < n; ++i) {
    const double v = ValueToFloat(t.FieldAt(i, Field::P));
    if (i == 0 || v < lo) lo = v;
    if (i == 0 || v > hi) hi = v;
  }
  const TableStats& st = s.Stats();
  Check(st.PMin == lo && st.PMax == hi);
}

// How the table lays out its file: the header of a new table, its fields,
// and a record with every field blank. Made once by the table itself; the
// rows of each input are then written straight into place, by the
// engine's own field writers, at a fraction of a table's whole append.
struct Layout {
  std::string header;
  std::string blank;
  dbf::FieldDef n, serial, nbType, p, r, date;
};

const Layout& FileLayout() {
  static const Layout layout = [] {
    const QByteArray image = MeasurementTable::NewFileImage();
    dbf::Table t;
    t.LoadImage(image);
    Layout l;
    if (image.size() != kHeaderLength + 1) Trap();  // the header and the end mark
    l.header = image.left(kHeaderLength).toStdString();
    l.blank = t.BlankRecord().toStdString();
    auto field = [&](const char* name) {
      const int i = t.FieldIndex(QByteArray(name));
      if (i < 0) Trap();
      return t.Fields()[size_t(i)];
    };
    l.n = field("N");
    l.serial = field("SERIAL");
    l.nbType = field("NB_TYPE");
    l.p = field("P");
    l.r = field("R");
    l.date = field("DATE");
    // What the spoiling of the records relies on.
    Check(l.blank.size() == size_t(kRecordLength) && l.p.offset == kOffsetP);
    return l;
  }();
  return layout;
}

// The rows as the table writes them: the header, the records, the end mark.
void WriteFile(const std::vector<Row>& rows, std::string* file) {
  const Layout& l = FileLayout();
  file->assign(l.header);
  for (const Row& row : rows) {
    const size_t at = file->size();
    file->append(l.blank);
    char* rec = &(*file)[at];
    dbf::PutInteger(l.n, row.n, rec + l.n.offset);
    dbf::PutInteger(l.serial, row.serial, rec + l.serial.offset);
    dbf::PutInteger(l.nbType, row.water ? 1 : 0, rec + l.nbType.offset);
    dbf::PutNumber(l.p, row.p / 100.0, rec + l.p.offset);
    dbf::PutNumber(l.r, double(row.r), rec + l.r.offset);
    if (row.day > 0) {
      char date[20];
      std::snprintf(date, sizeof date, "%02d.01.2024 10:00:00", row.day);
      std::memcpy(rec + l.date.offset, date, std::strlen(date));
    }
  }
  file->push_back('\x1A');
}

// Opened with a filter in force: nothing written before the header is
// repaired, then the repair leaves the true count and no index flag.
void OpenFiltered(MemoryFiles& files, const std::vector<Row>& rows, uint32_t declared,
                  uint8_t filterChoice, uint8_t filterValue, const QString& garbage) {
  MeasurementTable t;
  t.SetLocation(QString::fromLatin1(kPath));
  const bool bySerial = filterChoice & 1;
  const QString filter = bySerial ? QStringLiteral("SERIAL=%1").arg(filterValue % 8)
                                  : QStringLiteral("NB_TYPE=%1").arg(filterValue % 2);
  t.SetFilter((filterChoice & 2) ? garbage : filter);
  const std::string before = files.files[kPath];
  t.Open(MeasurementTable::OpenMode::KeepHeader);
  Check(files.files[kPath] == before);
  Check(t.StoredRowCount() == int(rows.size()) && t.HeaderRowCount() == int(declared));
  if (t.Filter() == filter)
    Check(Visible(t) == Shown(rows, bySerial, bySerial ? filterValue % 8 : filterValue % 2));
  for (size_t i = 0; i < rows.size(); ++i) {
    if (rows[i].garbledP) continue;
    const FieldValue p = t.FieldOfRecord(uint32_t(i + 1), Field::P);
    Check(ValueToFloat(p) == rows[i].p / 100.0);
  }
  t.RepairHeader();
  uint32_t stored = 0;
  std::memcpy(&stored, &files.files[kPath][4], 4);
  Check(stored == rows.size() && files.files[kPath][28] == 0);
  t.Close();
}

// The series of the kind shown, each with its statistics.
void ShowEachSeries(TableSession& s, const std::vector<Row>& rows) {
  const ShownKind kind = s.ChooseShownKind();
  const QStringList series = s.RebuildSeriesList(kind);
  std::vector<uint32_t> kindRows = Shown(rows, false, kind == ShownKind::Water ? 1 : 0);
  Check(series.size() <= int(kindRows.size()) && (series.isEmpty() == kindRows.empty()));
  for (int i = 0; i < series.size() && i < 4; ++i) {
    s.ShowSeries(series[i]);
    Check(Visible(s.Table()) == Shown(rows, true, series[i].toInt()));
    CheckStats(s);
  }
}

// The plate tests within a range of dates, then the rows the rest of the
// input marks go and the pack keeps the others in their order.
void DeleteInRange(TableSession& s, const std::vector<Row>& rows, uint8_t filterChoice,
                   uint8_t filterValue, FuzzInput& in) {
  const ShownKind kind = s.ChooseShownKind();
  const bool water = kind == ShownKind::Water;
  int from = 0, to = 0;
  if (filterChoice & 4) {
    from = filterChoice >> 3;
    to = (filterValue >> 4) == 15 ? 0 : from + (filterValue >> 4);
  }
  auto day = [](int d) { return d ? QDate(2024, 1, 1).addDays(d - 1) : QDate(); };
  s.SetPlateDates(DateRange{day(from), day(to)});
  if (water) from = to = 0;  // the water series know no range
  s.ShowKind(kind);
  Check(Visible(s.Table()) == InRange(rows, water, from, to));
  CheckStats(s);
  std::vector<TableSession::Bookmark> marked;
  const int shown = s.Table().VisibleRowCount();
  for (int i = 0; i < shown && !in.Empty(); ++i)
    if (in.Byte() & 1) marked.push_back(s.Table().BookmarkAt(i));
  const std::vector<TableSession::Bookmark> doomed = s.RowsToDelete(marked);
  std::vector<Row> kept;
  for (size_t i = 0; i < rows.size(); ++i)
    if (!rows[i].deleted && !std::binary_search(doomed.begin(), doomed.end(), uint32_t(i + 1)))
      kept.push_back(rows[i]);
  s.DeleteRowsAndPack(doomed);
  Check(s.Table().StoredRowCount() == int(kept.size()));
  Check(s.Table().VisibleRowCount() == int(InRange(kept, water, from, to).size()));
  for (size_t i = 0; i < kept.size(); ++i) {
    const MeasurementTable& k = s.Table();
    Check(ValueToInt(k.FieldOfRecord(uint32_t(i + 1), Field::Serial)) == kept[i].serial);
    Check(ValueToInt(k.FieldOfRecord(uint32_t(i + 1), Field::N)) == kept[i].n);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static MemoryFiles files;
  files.Clear();
  FuzzInput in{data, size};
  const uint8_t use = in.Byte() % 3;
  const uint8_t lies = in.Byte();
  const uint8_t filterChoice = in.Byte();
  const uint8_t filterValue = in.Byte();
  const uint8_t trailer = in.Byte();
  // At most 32 rows: every row takes the same steps through the layer, and
  // longer tables only cost more time per input and give the fuzzer more
  // counts of the same loops to track.
  constexpr size_t kMaxRows = 32;
  std::vector<Row> rows;
  while (in.left >= 5 && rows.size() < kMaxRows) {
    Row r;
    const uint8_t flags = in.Byte();
    r.deleted = flags & 1;
    r.water = flags & 2;
    r.garbledP = (flags & 0x1C) == 0x1C;
    r.n = flags >> 5;
    const uint8_t serialAndDay = in.Byte();
    r.serial = serialAndDay % 8;
    r.day = serialAndDay >> 3;
    r.p = int(in.Byte()) - 64;
    r.r = in.Byte();
    const uint8_t deleteIt = in.Byte();
    rows.push_back(r);
    if (deleteIt < 0x30) break;  // the rest of the input marks rows for deletion
  }

  // The file as the table would write it, then spoilt as the input says.
  std::string& file = files.Put(kPath, "", 0);
  WriteFile(rows, &file);
  for (size_t i = 0; i < rows.size(); ++i) {
    char* rec = &file[kHeaderLength + i * kRecordLength];
    if (rows[i].deleted) rec[0] = '*';
    if (rows[i].garbledP) {
      // Two bytes of the input as the number's text.
      rec[kOffsetP + 16] = char(rows[i].p);
      rec[kOffsetP + 17] = char(rows[i].r);
    }
  }
  const uint32_t declared =
      (lies & 1) ? uint32_t(rows.size()) ^ (lies >> 4) : uint32_t(rows.size());
  std::memcpy(&file[4], &declared, 4);  // little-endian on the machines we fuzz on
  file[28] = (lies & 2) ? 1 : 0;        // an index that does not exist
  if (lies & 4) file.append(std::string(trailer % 64, char(trailer)));  // never a whole record
  if (lies & 8) file.pop_back();                                        // no end mark

  if (use == 0) {
    const size_t skip = std::min<size_t>(size, 1);  // the input's own text after its first byte
    const QString garbage = QString::fromLatin1(reinterpret_cast<const char*>(data) + skip,
                                                int(std::min<size_t>(size - skip, 12)));
    OpenFiltered(files, rows, declared, filterChoice, filterValue, garbage);
    return 0;
  }
  TableSession s;
  s.Open(QString::fromLatin1(kPath));
  if (use == 1)
    ShowEachSeries(s, rows);
  else
    DeleteInRange(s, rows, filterChoice, filterValue, in);
  s.Close();
  return 0;
}
