#pragma once
// The one table the program works on and the steps of its life, without a
// window: New from a download, Open, Save, Close, the kind and series shown,
// the statistics of the shown rows and the deletion of rows. The main window
// binds its widgets to it; klt3-cli drives the same steps, so both write and
// show the same rows.
#include <QString>
#include <QStringList>
#include <functional>
#include <vector>

#include "platform/device_data.h"
#include "store/decoders.h"
#include "store/measurement_table.h"
#include "store/series_list.h"
#include "store/table_stats.h"

// What "Дополнить" did with a download: the instrument's records it added
// at the end of the table and those the table held already.
struct AppendCounts {
  ShownKind kind = ShownKind::Water;
  int added = 0;      // series or plate tests
  int addedRows = 0;  // rows: six a series, one a plate test
  int held = 0;
  // Where the new records are shown: the series list's entry of the first
  // new series, or the first new plate row among the plate rows; -1 when
  // nothing was added.
  int firstNew = -1;
};

// What the operator reads afterwards: "Добавлено серий: 3 (18 строк), уже
// были в таблице: 12", "Добавлено испытаний: 2, уже были в таблице: 5".
QString AppendCountsText(const AppendCounts& counts);

// A download from the instrument of the other kind than the rows the table
// holds: a table shows one kind of rows at a time.
class OtherInstrumentError : public TableError {
 public:
  using TableError::TableError;
};

// A new table made from a download, complete and on the disk in a file
// beside the name the operator chose, waiting for TableSession::Install to
// give it that name. Dropped without that, it removes the file beside.
class BuiltTable {
 public:
  BuiltTable() = default;
  BuiltTable(BuiltTable&& other) noexcept;
  BuiltTable& operator=(BuiltTable&& other) noexcept;
  ~BuiltTable();
  BuiltTable(const BuiltTable&) = delete;
  BuiltTable& operator=(const BuiltTable&) = delete;

  // The name the operator chose.
  const QString& Path() const { return path_; }
  bool IsReady() const { return fd_ >= 0; }

 private:
  friend class TableSession;
  void Discard();

  QString path_;
  QString part_;
  int fd_ = -1;  // holds the file beside, and a lock that marks it as being made
  int deviceType_ = 0;
  int decodedRecordCount_ = 0;
  std::vector<SeriesEntry> series_;
};

class TableSession {
 public:
  using Bookmark = MeasurementTable::BookmarkT;

  MeasurementTable& Table() { return table_; }
  const MeasurementTable& Table() const { return table_; }

  // A table is in use from a successful New or Open until Close.
  bool InUse() const { return inUse_; }
  // The operator changed a row since the table was made, opened or saved.
  bool IsModified() const { return modified_; }
  void MarkModified() { modified_ = true; }
  // The table in use is open for reading only (MeasurementTable::IsReadOnly).
  bool ReadOnly() const { return inUse_ && table_.IsReadOnly(); }
  // Forgets the changes without writing them (they go with Close).
  void DiscardModified() { modified_ = false; }

  // What the commands of a window go by.
  // A table is in use and its file open: its rows can be shown and read.
  bool HasTable() const { return inUse_ && table_.IsOpen(); }
  // ... and the operator may change them.
  bool IsEditable() const { return HasTable() && !table_.IsReadOnly(); }
  // In use, but its file could not be reopened (removed or locked while
  // it was saved): nothing is left to show, only closing.
  bool FileLost() const { return inUse_ && !table_.IsOpen(); }

  // The device type the reports go by: the instrument's after New, the
  // first stored row's after Open (0 for an empty table).
  int DeviceType() const { return deviceType_; }
  // The device type of the rows shown (that of the first); DeviceType()
  // when none is shown. A table may hold rows of both instruments.
  int ShownDeviceType() const;
  // After New: the record count decoded (for plate images the image's own).
  int DecodedRecordCount() const { return decodedRecordCount_; }
  // The list beside the water-permeability view: its series, and their
  // numbers.
  const std::vector<SeriesEntry>& Series() const { return series_; }
  QStringList SeriesList() const { return SeriesNumbers(series_); }
  // Minimum, mean and maximum of P and R from the last UpdateStatistics.
  const TableStats& Stats() const { return stats_; }

  // Before a download: whether a new table can take the name `path` (its
  // folder is there and takes new files, a file of that name is neither
  // held by another writer nor protected against writing; the open table's
  // own file may be replaced). Throws TableError with the reason; nothing is
  // left on the disk.
  void CheckNewTablePath(const QString& path) const;

  // New, first half: makes the table from the image in a new file beside
  // `path`, complete and on the disk. Touches neither the open table nor a
  // file of that name. Throws TableError naming `path`; nothing is left
  // beside it then.
  static BuiltTable BuildFromDownload(const QString& path, const DownloadResult& download);

  // New, second half: gives the built table its name (replacing a file of
  // that name, also the open table's own), only then closes the open table,
  // and opens the new one with its first series shown (water) or the plate
  // rows. Throws TableError: refused before the rename (a file held by
  // another writer or protected against writing), the open table stays as
  // it was; the built file is gone in any case.
  void Install(BuiltTable& table);

  // Both halves: New from a download into `path`. All or nothing: on a
  // failure a file of that name is as it was.
  void CreateFromDownload(const QString& path, const DownloadResult& download);

  // "Дополнить": appends to the open table, at its end and in the
  // instrument's order, the records of the download it does not hold yet.
  // A series counts as held when the table has one of that number and
  // start with all six samples, a plate test when it has a row of that
  // instrument serial, date, time, P, R and plate; each row of the table
  // stands for one record of the download. An edit in progress is posted
  // first. The rows go into a copy of the file beside it, which then takes
  // its place as New's table does (`replacing` is called just before), so
  // a failure leaves the file and the open table as they were; with
  // nothing new the file is not written. Afterwards the table is open with
  // no unsaved changes, the series list rebuilt, and the first new series
  // (or the plate rows, the first new one current) shown. Throws
  // TableError (OtherInstrumentError for a download of the other kind of
  // instrument than the rows the table holds; an empty table takes either).
  AppendCounts AppendFromDownload(const DownloadResult& download,
                                  const std::function<void()>& replacing = {});

  // After New or Open: what tells that the table was cut short while it
  // was written (its header's row count disagrees with the rows in the
  // file, or its last water-permeability series has fewer than six
  // samples). Empty when neither holds.
  QString IncompleteNotice() const { return incompleteNotice_; }

  // Open: opens the file with no filter and reads the device type (that of
  // the first stored row). Throws TableError when the file cannot
  // be opened; nothing is in use then. `mode` as for MeasurementTable::Open
  // (commands that only read open read-only: the file is never written).
  // TableBusyError when another writer holds the file.
  void Open(const QString& path,
            MeasurementTable::OpenMode mode = MeasurementTable::OpenMode::Write);

  // Writes the table to disk by closing and reopening it; an edit in
  // progress is posted first. Throws TableError; the table may then be
  // closed (a file removed meanwhile cannot be reopened).
  void Save();

  // Ends the use of the table; the index file beside it goes too (a sort
  // tag is rebuilt at need), unless the table was open read-only. Unposted
  // values are dropped.
  void Close();

  // The kind of rows the views show: water-permeability when the table has
  // any, else plate; that kind's filter stays in force.
  ShownKind ChooseShownKind();
  // Puts the kind filter of a view in force; the plate tests within the
  // dates of SetPlateDates.
  void ShowKind(ShownKind kind);
  // The dates of the plate tests shown from the next ShowKind on (all of
  // them with an unbounded range). A new or opened table starts with all.
  void SetPlateDates(const DateRange& dates) { plateDates_ = dates; }
  const DateRange& PlateDates() const { return plateDates_; }
  // Rebuilds the series list from the rows of the given kind, and returns
  // its numbers; that kind's rows stay shown.
  QStringList RebuildSeriesList(ShownKind kind);
  // Shows the rows of one entry of the series list.
  void ShowSeries(const QString& entry);

  // The first and the last date of the rows shown (DateOfText of their
  // DATE); unbounded when none has one.
  DateRange ShownDateSpan() const;

  // Recomputes the statistics over the shown rows; the first shown row
  // becomes current (with one row or none the current row stays).
  void UpdateStatistics();

  // The rows a delete command removes: the marked rows or, with none
  // marked, the current row, of those shown; ascending record order, each
  // once.
  std::vector<Bookmark> RowsToDelete(const std::vector<Bookmark>& marked) const;
  // Names the rows a deletion takes, for the question before it: one row by
  // what the operator knows it by ("образец 1 серии 3, 12.05.2010", a plate
  // test "испытание № 2, 25.05.2010 10:20:30"), several by their number
  // ("3 отмеченные строки").
  QString RowsToDeleteText(const std::vector<Bookmark>& rows) const;
  // Posts an edit in progress. Throws TableError.
  void PostEdit();
  // The delete command: posts an edit in progress, calls `posted` (the
  // views drop their sort order, which the renumbering breaks), marks the
  // rows (ascending) deleted from the last to the first, packs the file
  // and reopens it under the same filter; the table counts as saved
  // afterwards. Throws TableError at the first step that fails, and takes
  // no further step: rows marked before a failure stay hidden until the
  // next pack.
  void DeleteRowsAndPack(const std::vector<Bookmark>& rows,
                         const std::function<void()>& posted = {});

 private:
  // Makes a table in a new file beside `finalPath`: the bytes `start`, then
  // `fill` on it opened as a table; complete and on the disk afterwards.
  // `fill` returns false when there is nothing to keep: the file goes, and
  // the BuiltTable is not ready. Throws TableError naming `finalPath`.
  static BuiltTable BuildBeside(const QString& finalPath, const QByteArray& start,
                                const std::function<bool(MeasurementTable&)>& fill);
  // Gives the built table its name (holding the lock of a file of that
  // name across the rename), closes the open table and opens the new one
  // with no filter.
  void PutInPlace(BuiltTable& built);
  // Notes, right after an open, whether the table was cut short.
  void NoteIncompleteness();

  MeasurementTable table_;
  bool inUse_ = false;
  bool modified_ = false;
  int deviceType_ = 0;
  int decodedRecordCount_ = 0;
  std::vector<SeriesEntry> series_;
  DateRange plateDates_;
  TableStats stats_;
  QString incompleteNotice_;
};

// Recomputes the statistics over the visible rows of the open table and
// leaves the first visible row current (one row or none: the current row's
// values, the current row stays).
void ComputeShownStats(MeasurementTable& table, TableStats* stats);

// The index file beside a table: its path with ".mdx" in place of its
// extension.
QString IndexFileOf(const QString& tablePath);

// The detail of "База данных повреждена !": which file was refused, why
// (the reason the table gave), and what the operator can do.
QString DamagedTableDetail(const QString& tablePath, const QString& reason);
