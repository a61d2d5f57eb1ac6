#pragma once
// The one object through which the program reads and writes the operator's
// table file: a dBase IV table of 29 fixed fields holding the rows of both
// instrument kinds (NB_TYPE 0 plate tester, 1 water-permeability tester),
// with a transient production index (.mdx) for the views' sort tags.
//
// Every failing operation throws TableError carrying the engine's text.
#include <QDate>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "store/dbf/dbf_table.h"
#include "store/measurement_row.h"

// The engine's failures are the table's: their text is the operator's.
using TableError = dbf::Error;
// The table file is held by another writer (another copy of the program,
// say); it can still be opened read-only.
using TableBusyError = dbf::BusyError;

// The schema: names, dBase type letters, lengths and decimal counts in order.
struct FieldSpec {
  const char* name;
  char type;  // 'C' or 'N'
  int length;
  int decimals;
};
const std::vector<FieldSpec>& MeasurementSchema();

// The dates of the rows a filter lets through, by the date their DATE
// begins with (DD.MM.YYYY), both ends included; a null end leaves that side
// open. A row without a readable date lies outside any bounded range, and
// a range that ends before it begins holds no row.
struct DateRange {
  QDate from;
  QDate to;

  bool IsUnbounded() const { return from.isNull() && to.isNull(); }
  friend bool operator==(const DateRange& a, const DateRange& b) {
    return a.from == b.from && a.to == b.to;
  }
};

class MeasurementTable {
 public:
  // Names a row by its 1-based record number in the file; valid until Pack.
  using BookmarkT = uint32_t;

  // What changed, for the models and widgets that show the table.
  enum class Change {
    Reset,          // open, close, filter, sort order, refresh, delete, pack
    RowWritten,     // a posted row (current row's values changed); an appended
                    // row, or one the post moved or hid, gives Reset instead
    CurrentMoved,   // the current row moved
  };
  using Listener = std::function<void(Change)>;

  MeasurementTable();
  ~MeasurementTable();
  MeasurementTable(const MeasurementTable&) = delete;
  MeasurementTable& operator=(const MeasurementTable&) = delete;

  void SetLocation(const QString& path);  // only while closed
  QString FilePath() const;               // folder + file name
  QString Folder() const;
  QString FileName() const;

  enum class OpenMode {
    Write,       // reading and writing; a stale header count is corrected
    KeepHeader,  // reading and writing, nothing written yet: see RepairHeader;
                 // a table the user may not change (write-protected disk,
                 // folder or file) opens read-only instead
    ReadOnly,    // reading only: nothing is ever written to the file
    NewFile,     // as Write, for a file just made by NewFileImage: a symbolic
                 // link in its place is refused
  };
  void CreateFile();  // throws; the object stays closed
  // The bytes of a new, empty table with the schema.
  static QByteArray NewFileImage();
  // Throws (TableBusyError when another writer holds the file); on failure
  // the object stays closed.
  void Open(OpenMode mode = OpenMode::Write);
  // Open for reading only: every write (rows, deletion, pack) throws; sort
  // tags work in memory and leave the index file alone.
  bool IsReadOnly() const;
  // The record count the header gave at the last Open (it may disagree with
  // the records the file holds, StoredRowCount).
  int HeaderRowCount() const;
  // After an Open that kept the header: corrects a stale record count and a
  // stale index flag. Throws.
  void RepairHeader();
  void Close();
  bool IsOpen() const;

  void First();
  void Next();
  void Last();
  bool AtEnd() const;

  void AppendRow();
  void EditRow();
  bool IsEditing() const;  // a row is being appended or edited
  void CancelRow();        // drops an unposted append or edit
  void SetField(const QString& name, int64_t value);
  void SetField(const QString& name, int value) { SetField(name, int64_t(value)); }
  void SetField(const QString& name, double value);
  void SetField(const QString& name, const QString& value);
  void PostRow();  // throws on a failed write

  // Appends the rows in one run of appends (see BeginAppendRun), each as
  // AppendRow, its values (a blank value leaves the field blank) and
  // PostRow. Throws TableError: the rows written before stay (with a full
  // disk, every row that fits), the row in progress is dropped.
  void AppendRows(const std::vector<MeasurementRow>& rows);

  // A run of appends, as a download makes: the posted rows reach the file
  // in large blocks and its header once, at the end of the run, and the
  // listeners hear of the new rows once, at the end too (one Reset). Any
  // other write (edit, delete, pack, refresh, sort tags, close) first
  // writes the rows collected so far. The file is a complete table at
  // every instant. When a block cannot be written, the rows that still fit
  // are kept as single posts would have kept them, the others are dropped
  // (the table shows what the file holds) and the call that wrote throws.
  // Runs nest; the outermost end ends the run.
  void BeginAppendRun();
  void EndAppendRun();  // throws TableError
  // Begins a run and ends it when it goes, also when an error leaves the
  // scope (a failure at that point is not reported: call End() for that).
  class AppendRun {
   public:
    explicit AppendRun(MeasurementTable& table) : table_(&table) { table.BeginAppendRun(); }
    ~AppendRun();
    void End();
    AppendRun(const AppendRun&) = delete;
    AppendRun& operator=(const AppendRun&) = delete;

   private:
    MeasurementTable* table_;
  };

  FieldValue GetField(const QString& name) const;
  FieldValue GetField(Field field) const;
  // Typed reads; a blank numeric field or no current row gives 0 / "".
  int64_t GetInt(const QString& name) const;
  double GetFloat(const QString& name) const;
  QString GetText(const QString& name) const;
  int64_t GetInt(Field field) const;
  double GetFloat(Field field) const;
  QString GetText(Field field) const;

  // A filter "FIELD=number" on a numeric field; an empty one shows all.
  void SetFilter(const QString& expression);
  // The filters the program sets itself: the rows of one kind
  // ("NB_TYPE=1" for the water-permeability series), within a range of
  // dates; of one series ("SERIAL=7"). Each filter replaces the one before,
  // dates included; a filter stays in force over Close and Open.
  void ShowKind(ShownKind kind, const DateRange& dates = DateRange());
  void ShowSeries(int64_t serial);
  // The filter's condition on a field ("NB_TYPE=0"), and its dates.
  QString Filter() const;
  DateRange FilterDates() const;
  int VisibleRowCount() const;
  int StoredRowCount() const;
  void Refresh();

  void AddSortTag(const QString& tag, const QString& field, bool descending);  // throws
  void DropSortTag(const QString& tag);                                         // throws
  void SelectSortTag(const QString& tag);
  QString SelectedSortTag() const;
  void RebuildSortTags();  // throws

  BookmarkT Bookmark() const;  // 0 when there is no current row
  void GotoBookmark(BookmarkT bookmark);

  void DeleteRow();  // throws on a failed write
  // Deletes the rows of `records` as DeleteRow on each of them, from the
  // highest record to the lowest, would: the same rows end deleted, also
  // when a write fails (those above the failed one), and the same row ends
  // current. The flags of records lying close together go to the file in
  // one write, and the listeners hear of it once. Throws TableError.
  void DeleteRows(std::vector<BookmarkT> records);
  void Pack();       // throws

  // Random access to the visible rows for the views (0-based positions).
  int CurrentIndex() const;  // -1 when there is no current row
  void MoveTo(int visibleIndex);
  BookmarkT BookmarkAt(int visibleIndex) const;
  FieldValue FieldAt(int visibleIndex, const QString& name) const;
  FieldValue FieldAt(int visibleIndex, Field field) const;
  // Reads a field of any live or deleted record by its record number.
  FieldValue FieldOfRecord(BookmarkT record, const QString& name) const;
  FieldValue FieldOfRecord(BookmarkT record, Field field) const;

  // The display pattern of a field ("0.0" for P, else empty).
  static QString DisplayFormat(const QString& name);

  // Keeps a listener hearing of the changes for as long as it lives;
  // moving it hands the listening on, destroying it ends it. It may outlive
  // the table, and a listener it ends during a notification (its own or
  // another's) is not called again.
  class Subscription {
   public:
    Subscription() = default;
    ~Subscription();
    Subscription(Subscription&& other) noexcept = default;
    Subscription& operator=(Subscription&& other) noexcept;
    Subscription(const Subscription&) = delete;
    Subscription& operator=(const Subscription&) = delete;
    void Cancel();

   private:
    friend class MeasurementTable;
    struct Entry;
    struct List;
    std::weak_ptr<List> list_;
    std::shared_ptr<Entry> entry_;
  };
  [[nodiscard]] Subscription AddListener(Listener listener);

  // A walk over the rows with the cursor, as a report makes: while it
  // lasts the listeners do not hear of each move of the cursor, only once
  // when it ends (if the cursor moved). Other changes are told at once.
  // Walks nest; the outermost end tells.
  class Walk {
   public:
    explicit Walk(MeasurementTable& table);
    ~Walk();
    Walk(const Walk&) = delete;
    Walk& operator=(const Walk&) = delete;

   private:
    MeasurementTable* table_;
  };

 private:
  void FilterBy(Field field, int64_t value, const DateRange& dates);
  void FilterBy(const QString& text, int field, int64_t value, const DateRange& dates);

  struct Impl;
  std::unique_ptr<Impl> d;
};

// The date a DATE text begins with ("05.03.2024", "5.3.2024 09:15:00"), as
// a range of dates reads it; null when it begins with none.
QDate DateOfText(const QString& text);

// Converts a field value to a number (0 for none or text) or to text.
int64_t ValueToInt(const FieldValue& v);
double ValueToFloat(const FieldValue& v);
QString ValueToText(const FieldValue& v);
