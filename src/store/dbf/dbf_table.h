#pragma once
// A small dBase IV table engine: the table file (version 0x03, no memo) with
// its header, field descriptors, fixed-length records and deletion flags.
// The records are held in memory while the table is open; every write goes
// to the file at once, so the file is always what the program shows. The
// one exception is a run of appends (a whole download), whose records reach
// the file in large blocks; see BeginAppendRun.
#include <QByteArray>
#include <QString>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <vector>

#include "platform/operator_error.h"

struct stat;

namespace dbf {

// Every failure of the engine; the text is meant for the operator.
class Error : public OperatorError {
 public:
  using OperatorError::OperatorError;
};

// The table file is held by another writer (another copy of the program,
// say): it can be opened for reading only.
class BusyError : public Error {
 public:
  using Error::Error;
};

struct FieldDef {
  QByteArray name;  // upper case, at most 10 characters
  char type = 'C';  // 'C' or 'N' (others are read as text)
  int length = 0;
  int decimals = 0;
  int offset = 0;  // first byte within the record (byte 0 is the deletion flag)
};

// The language driver byte the program writes: Windows-1251, Russian.
constexpr uint8_t kLanguageRussianWindows = 0xC9;

// Names the code page of a language driver byte ("windows-1251", ...), in
// which the table's texts are kept.
const char* CodecForLanguage(uint8_t language);

// Writes a number into the field's f.length bytes at `out` as the table
// file stores it (platform/fixed_number.h). Throws Error when it does not
// fit or is no number.
void PutNumber(const FieldDef& f, double value, char* out);
void PutInteger(const FieldDef& f, int64_t value, char* out);

class Table {
 public:
  Table();
  ~Table();
  Table(const Table&) = delete;
  Table& operator=(const Table&) = delete;

  // Writes a new, empty table at `path`, replacing a file of that name
  // (refused while another writer holds it).
  static void Create(const QString& path, const std::vector<FieldDef>& fields, uint8_t language);
  // The bytes of a new, empty table (`path` only names it in messages).
  static QByteArray NewFileImage(const QString& path, const std::vector<FieldDef>& fields,
                                 uint8_t language);

  enum class Access {
    ReadWrite,        // with the write lock
    ReadOnly,         // no lock; nothing is ever written
    WriteIfAllowed,   // ReadWrite, or ReadOnly where the user may not write
                      // (write-protected disk, folder or file)
    ReadWriteNoLink,  // ReadWrite, but a symbolic link at `path` is refused
                      // (for a file the program has just made beside its
                      // final name)
  };
  // Opens for reading and writing with a write lock (a second writer
  // fails with BusyError, readers may read), or for reading only (no lock,
  // no write can succeed). Throws Error; the file is unmodified when it
  // throws.
  void Open(const QString& path, Access access = Access::ReadWrite);
  // Opened for reading only (asked for, or not allowed to write).
  bool IsReadOnly() const { return readOnly_; }
  // Parses a whole table file image without any file (validation only).
  void LoadImage(const QByteArray& bytes);
  void Close();
  bool IsOpen() const { return fd_ >= 0; }
  QString Path() const { return path_; }

  const std::vector<FieldDef>& Fields() const { return fields_; }
  int FieldIndex(const QByteArray& upperName) const;  // -1 when missing
  uint8_t Language() const { return language_; }
  int RecordLength() const { return recordLength_; }
  uint32_t RecordCount() const { return count_; }
  bool IndexFlag() const { return indexFlag_; }
  // Whether the header's record count disagrees with the file length
  // (Open leaves the file as it is; the owner corrects it once it accepts
  // the table).
  bool HeaderCountStale() const { return headerCount_ != count_; }
  // The record count the header gives.
  uint32_t HeaderRecordCount() const { return headerCount_; }

  // Record `recno` (1-based) as stored, deletion flag first.
  const char* Record(uint32_t recno) const;
  bool IsDeleted(uint32_t recno) const { return Record(recno)[0] == '*'; }
  QByteArray BlankRecord() const;

  // Writes one record in place / at the end (returns its number).
  void WriteRecord(uint32_t recno, const QByteArray& record);
  uint32_t AppendRecord(const QByteArray& record);
  // Sets the deletion flag of `records` (descending, lying close together)
  // and writes the stretch they span in one write. When that fails, the
  // flags go to the file one by one from the highest, as single deletions
  // would; from the first that fails on, the records keep their old flag,
  // in memory and in the file, and Error is thrown. *done counts the
  // records (from the front) that are flagged.
  void MarkDeleted(const std::vector<uint32_t>& records, size_t* done);

  // A run of appends: the appended records collect in memory and go to the
  // file in blocks of about kAppendBlockBytes, each write carrying the end
  // mark after its records, and the header is written once, when the run
  // ends. So the file is a complete table at every instant: its length
  // tells the records written so far, and Open corrects the stale count.
  // Every other write, Reload and Close first write what is collected
  // (Pack writes it into the new file). When a block cannot be written,
  // the file is put back to its last complete record, as many of the
  // block's records as still fit are written one by one (as single appends
  // would have been), the others are dropped from memory too and Error is
  // thrown: RecordCount() is then what the file holds.
  static constexpr qint64 kAppendBlockBytes = 256 * 1024;
  void BeginAppendRun();
  // Makes room for `more` records to come, so that appending them moves
  // none of those held.
  void ReserveRecords(uint32_t more);
  // Writes the rest and the header; the run is over even when it throws.
  void EndAppendRun();
  bool InAppendRun() const { return run_; }
  // Writes the collected records now (throws Error as described above).
  void FlushAppends();
  uint32_t WrittenRecordCount() const { return written_; }

  void SetIndexFlag(bool on);
  void WriteHeader();
  // Re-reads the records from the file; nothing to do when the file is as
  // it was when last read and nothing was written since.
  void Reload();

  // Rewrites the table with its live records only (atomically: a new file
  // beside it, renamed over it). Returns the old record numbers in their
  // new order (position i holds the old number of new record i + 1).
  std::vector<uint32_t> Pack();

  // Field access on a record image.
  QString Text(const char* record, int field) const;  // trailing blanks dropped
  bool IsBlank(const char* record, int field) const;
  // Numeric value of an N field; false for blanks or unreadable contents.
  bool Integer(const char* record, int field, int64_t* out) const;
  bool Number(const char* record, int field, double* out) const;
  void PutText(QByteArray& record, int field, const QString& text) const;
  void PutBlank(QByteArray& record, int field) const;
  void PutRaw(QByteArray& record, int field, const QByteArray& bytes) const;

 private:
  void ParseHeader(const QByteArray& bytes, qint64 fileSize);
  // The facts of an accepted header besides its fields.
  void SetHeaderFacts(const char* header, int headerLength, int recordLength);
  // Reads header and records of the open file (and, reading only, again
  // until a writer is no longer changing them), then StampRead.
  void ReadTable();
  // One read of the header and the records, each byte once; the header's
  // bytes and the file's size as read.
  void ReadTableOnce(QByteArray* head, qint64* size);
  // Reads the records of a file of `fileSize` bytes whose header (parsed)
  // declares `declared` records.
  void ReadRecords(qint64 fileSize, uint32_t declared);
  // Reads records first .. first + n - 1 into place; false when the file
  // ends before them.
  bool ReadRecordsInto(uint32_t first, uint32_t n);
  // Whether the file still holds the `head` bytes, `fileSize` bytes in all
  // and the records held.
  bool StillAsRead(const QByteArray& head, qint64 fileSize) const;
  // Reading only: when the table's name now leads to another file (its
  // writer packed it, replacing the file), reads that one from now on.
  void FollowReplacement();
  // Notes the file's identity, size and times after reading it whole.
  void StampRead();
  QByteArray HeaderBytes() const;
  // The records live in chunks of 2^kChunkShift records, so that a growing
  // table never copies more than its last chunk and a record never
  // straddles chunks. Only the last chunk may hold less than a full chunk:
  // it grows by doubling, so that a small table takes little memory.
  static constexpr int kChunkShift = 11;
  static constexpr uint32_t kChunkMask = (1u << kChunkShift) - 1;
  char* Slot(uint32_t recno) const {
    return chunks_[(recno - 1) >> kChunkShift].get() +
           size_t((recno - 1) & kChunkMask) * size_t(recordLength_);
  }
  // Makes room for `count` records (count_ is left alone).
  void Reserve(uint32_t count);
  // Forgets the records past `count`.
  void Truncate(uint32_t count);
  void WriteAt(qint64 pos, const char* data, qint64 size);
  [[noreturn]] void ThrowWriteError(int err) const;
  [[noreturn]] void ThrowReadError(int err) const;
  // Reads up to `size` bytes at `pos`; fewer only where the file ends.
  qint64 ReadAt(qint64 pos, char* out, qint64 size) const;

  QString path_;
  int fd_ = -1;
  bool readOnly_ = false;
  std::vector<FieldDef> fields_;
  QByteArray descriptors_;  // the raw descriptors as found, carried through packs
  uint8_t version_ = 0x03;
  uint8_t language_ = kLanguageRussianWindows;
  bool indexFlag_ = false;
  int headerLength_ = 0;
  int recordLength_ = 0;
  uint32_t count_ = 0;
  uint32_t headerCount_ = 0;
  uint32_t written_ = 0;  // records in the file; fewer than count_ only in a run
  bool run_ = false;
  std::vector<std::unique_ptr<char[]>> chunks_;
  uint32_t lastCapacity_ = 0;  // records the last chunk has room for
  std::unique_ptr<struct stat> readStamp_;  // none after a write of ours
};

}  // namespace dbf
