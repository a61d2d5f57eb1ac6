#include "store/dbf/dbf_table.h"
#include "store/dbf/le_bytes.h"
#include "platform/codepage.h"
#include "platform/file_ops.h"
#include "platform/fixed_number.h"
#include "platform/operator_error.h"
#include "platform/write_target.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <limits.h>
#include <sys/uio.h>
#include <unistd.h>

#include <QDate>
#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <limits>
#include <mutex>

namespace dbf {

namespace {

constexpr int kHeaderFixed = 32;
constexpr int kDescriptorSize = 32;
constexpr char kEndOfDescriptors = 0x0D;
constexpr char kEndOfFile = 0x1A;
// The mark of the new file a pack writes beside the table.
constexpr char kPackTag[] = ".~pack";


bool IsTableVersion(uint8_t v) {
  switch (v) {
    case 0x02:
    case 0x03:
    case 0x30:
    case 0x31:
    case 0x32:
    case 0x43:
    case 0x63:
    case 0x83:
    case 0x8B:
    case 0xCB:
    case 0xE5:
    case 0xF5:
    case 0xFB:
      return true;
    default:
      return false;
  }
}

QByteArray Native(const QString& path) { return QFile::encodeName(path); }

// Takes the write lock of an open descriptor without waiting; false only
// when another writer holds the file.
bool LockForWriting(int fd) { return Files().Lock(fd); }

// Asking for the local date reads the time zone each time; a header write
// per appended row only needs it once a minute.
QDate Today() {
  thread_local time_t minute = -1;
  thread_local QDate today;
  const time_t now = ::time(nullptr) / 60;
  if (now != minute) {
    today = QDate::currentDate();
    minute = now;
  }
  return today;
}

void StampDate(char* p) {
  const QDate today = Today();
  p[0] = char(today.year() - 1900);
  p[1] = char(today.month());
  p[2] = char(today.day());
}

}  // namespace


const char* CodecForLanguage(uint8_t language) {
  switch (language) {
    // 0 names no code page; the tables of this program's users are Russian.
    case 0x00:
    case 0xC9:
      return "windows-1251";
    case 0x26:
    case 0x65:
    case 0x6A:
    case 0x6B:
    case 0x66:
      return "IBM866";
    case 0x01:
    case 0x1B:
      return "IBM437";
    case 0x02:
    case 0x37:
      return "IBM850";
    case 0x64:
    case 0x1F:
      return "IBM852";
    case 0xC8:
      return "windows-1250";
    case 0xCA:
      return "windows-1254";
    case 0xCB:
      return "windows-1253";
    default:
      return "windows-1252";
  }
}

namespace {
[[noreturn]] void Refuse(const FieldDef& f, FixedFit fit, const QByteArray& shown) {
  const QString field = QString::fromLatin1(f.name);
  if (fit == FixedFit::kNotFinite)
    throw Error(QStringLiteral("Недопустимое значение поля %1").arg(field));
  throw Error(QStringLiteral("Значение %1 не помещается в поле %2")
                  .arg(QString::fromLatin1(shown), field));
}
}  // namespace

void PutNumber(const FieldDef& f, double value, char* out) {
  QByteArray shown;
  const FixedFit fit = PutFixedNumber(value, f.length, f.decimals, out, &shown);
  if (fit != FixedFit::kWritten) Refuse(f, fit, shown);
}

void PutInteger(const FieldDef& f, int64_t value, char* out) {
  QByteArray shown;
  const FixedFit fit = PutFixedInteger(value, f.length, f.decimals, out, &shown);
  if (fit != FixedFit::kWritten) Refuse(f, fit, shown);
}

Table::Table() = default;
Table::~Table() { Close(); }

QByteArray Table::NewFileImage(const QString& path, const std::vector<FieldDef>& fields,
                               uint8_t language) {
  auto fail = [&](const QString& reason) {
    throw Error(QStringLiteral("Не удалось создать файл %1: %2").arg(path, reason));
  };
  if (fields.empty() || fields.size() > 255) fail(QStringLiteral("неверный список полей"));
  int recordLength = 1;
  QByteArray descriptors;
  for (const FieldDef& f : fields) {
    if (f.name.isEmpty() || f.name.size() > 10 || f.length < 1 || f.length > 254)
      fail(QStringLiteral("неверное поле %1").arg(QString::fromLatin1(f.name)));
    QByteArray d(kDescriptorSize, 0);
    std::memcpy(d.data(), f.name.toUpper().constData(), size_t(f.name.size()));
    d[11] = f.type;
    d[16] = char(f.length);
    d[17] = char(f.decimals);
    descriptors += d;
    recordLength += f.length;
  }
  QByteArray file(kHeaderFixed, 0);
  file[0] = 0x03;
  StampDate(file.data() + 1);
  PutU16(file.data() + 8, uint32_t(kHeaderFixed + descriptors.size() + 1));
  PutU16(file.data() + 10, uint32_t(recordLength));
  file[29] = char(language);
  file += descriptors;
  file += kEndOfDescriptors;
  file += kEndOfFile;
  return file;
}

void Table::Create(const QString& path, const std::vector<FieldDef>& fields, uint8_t language) {
  auto fail = [&](const QString& reason) {
    throw Error(QStringLiteral("Не удалось создать файл %1: %2").arg(path, reason));
  };
  const QByteArray file = NewFileImage(path, fields, language);
  // A file of that name that another writer holds is not replaced under it
  // (the replacement holds its lock until the new file has the name).
  if (const int err = ReplaceFile(path, file, true)) fail(FileErrorText(err));
}

namespace {
// Where a descriptor's name lies: up to its first zero byte, without the
// blanks around it.
struct NameSpan {
  int start = 0;
  int size = 0;
};
NameSpan NameIn(const char* descriptor) {
  int end = 0;
  while (end < 11 && descriptor[end] != 0) ++end;
  auto blank = [](char c) { return c == ' ' || (c >= '\t' && c <= '\r'); };
  int start = 0;
  while (start < end && blank(descriptor[start])) ++start;
  while (end > start && blank(descriptor[end - 1])) --end;
  return {start, end - start};
}

// The fields of the last header accepted, by its descriptors: the same
// table is opened again and again (after a pack, on every reopen), and
// every table of the program's own layout has the same ones, so their few
// dozen names are made once rather than at every open. Guarded, as tables
// could be read from more than one thread.
struct AcceptedFields {
  std::mutex lock;
  QByteArray descriptors;  // up to the end mark, not including it
  std::vector<FieldDef> fields;
  int recordLength = 0;
};
AcceptedFields& LastAccepted() {
  static AcceptedFields last;
  return last;
}
}  // namespace

void Table::ParseHeader(const QByteArray& bytes, qint64 fileSize) {
  auto bad = [&](const QString& why) {
    throw Error(QStringLiteral("Файл %1 не является таблицей dBase: %2").arg(path_, why));
  };
  if (bytes.size() < kHeaderFixed + 1) bad(QStringLiteral("файл слишком короткий"));
  const char* h = bytes.constData();
  if (!IsTableVersion(uint8_t(h[0]))) bad(QStringLiteral("неизвестная версия"));
  const int headerLength = int(GetU16(h + 8));
  const int recordLength = int(GetU16(h + 10));
  if (headerLength < kHeaderFixed + kDescriptorSize + 1 || headerLength > bytes.size() ||
      headerLength > fileSize)
    bad(QStringLiteral("неверная длина заголовка"));
  if (recordLength < 2) bad(QStringLiteral("неверная длина записи"));
  {
    // The same descriptors, followed by the end mark inside the header,
    // read as they read before.
    AcceptedFields& last = LastAccepted();
    const std::lock_guard<std::mutex> hold(last.lock);
    const qsizetype n = last.descriptors.size();
    if (n > 0 && kHeaderFixed + n < headerLength && h[kHeaderFixed + n] == kEndOfDescriptors &&
        std::memcmp(h + kHeaderFixed, last.descriptors.constData(), size_t(n)) == 0) {
      if (last.recordLength != recordLength)
        bad(QStringLiteral("длина записи не совпадает с описаниями полей"));
      fields_ = last.fields;
      descriptors_ = last.descriptors;
      SetHeaderFacts(h, headerLength, recordLength);
      return;
    }
  }
  std::vector<FieldDef> fields;
  fields.reserve(size_t(headerLength - kHeaderFixed) / kDescriptorSize);
  int pos = kHeaderFixed;
  int offset = 1;
  bool terminated = false;
  while (pos < headerLength) {
    if (h[pos] == kEndOfDescriptors) {
      terminated = true;
      break;
    }
    if (pos + kDescriptorSize > headerLength) break;
    const char* d = h + pos;
    FieldDef f;
    const NameSpan name = NameIn(d);
    f.type = char(std::toupper(uint8_t(d[11])));
    f.length = uint8_t(d[16]);
    f.decimals = uint8_t(d[17]);
    if (f.type == 'C') {
      // Character fields longer than 255 keep the high byte in the decimals.
      f.length = uint8_t(d[16]) | (uint8_t(d[17]) << 8);
      f.decimals = 0;
    }
    if (name.size == 0 || f.length < 1) bad(QStringLiteral("неверное описание поля"));
    if (f.type == 'N' || f.type == 'F') {
      if (f.length > 20 || f.decimals > 18 || (f.decimals > 0 && f.decimals >= f.length))
        bad(QStringLiteral("неверное описание поля %1")
                .arg(QString::fromLatin1(QByteArray(d + name.start, name.size).toUpper())));
    }
    f.offset = offset;
    offset += f.length;
    fields.push_back(f);
    pos += kDescriptorSize;
  }
  if (!terminated || fields.empty()) bad(QStringLiteral("нет конца описаний полей"));
  if (offset != recordLength) bad(QStringLiteral("длина записи не совпадает с описаниями полей"));
  // The names only for a header that holds: a file of another kind is
  // refused without making one.
  for (size_t i = 0; i < fields.size(); ++i) {
    const char* d = h + kHeaderFixed + i * kDescriptorSize;
    const NameSpan name = NameIn(d);
    fields[i].name = QByteArray(d + name.start, name.size).toUpper();
  }
  fields_ = std::move(fields);
  descriptors_ = bytes.mid(kHeaderFixed, pos - kHeaderFixed);
  SetHeaderFacts(h, headerLength, recordLength);
  AcceptedFields& last = LastAccepted();
  const std::lock_guard<std::mutex> hold(last.lock);
  last.descriptors = descriptors_;
  last.fields = fields_;
  last.recordLength = recordLength;
}

void Table::SetHeaderFacts(const char* h, int headerLength, int recordLength) {
  version_ = uint8_t(h[0]);
  indexFlag_ = h[28] != 0;
  language_ = uint8_t(h[29]);
  headerLength_ = headerLength;
  recordLength_ = recordLength;
}

void Table::Reserve(uint32_t count) {
  constexpr uint32_t kFull = kChunkMask + 1;
  const size_t chunks = (size_t(count) + kChunkMask) >> kChunkShift;
  if (chunks == 0) return;
  // The room the last chunk needs: a whole chunk unless it is the last one.
  auto grow = [this](uint32_t capacity) {
    std::unique_ptr<char[]> bigger(new char[size_t(capacity) * size_t(recordLength_)]);
    std::memcpy(bigger.get(), chunks_.back().get(), size_t(lastCapacity_) * size_t(recordLength_));
    chunks_.back() = std::move(bigger);
    lastCapacity_ = capacity;
  };
  if (chunks_.size() < chunks && !chunks_.empty() && lastCapacity_ < kFull) grow(kFull);
  while (chunks_.size() < chunks) {
    const uint32_t capacity =
        chunks_.size() + 1 < chunks ? kFull : count - uint32_t(chunks_.size() << kChunkShift);
    chunks_.emplace_back(new char[size_t(capacity) * size_t(recordLength_)]);
    lastCapacity_ = capacity;
  }
  const uint32_t inLast = count - uint32_t((chunks - 1) << kChunkShift);
  if (inLast > lastCapacity_) grow(std::min(kFull, std::max(inLast, 2 * lastCapacity_)));
}

void Table::Truncate(uint32_t count) {
  const size_t chunks = (size_t(count) + kChunkMask) >> kChunkShift;
  if (chunks < chunks_.size()) {
    chunks_.resize(chunks);
    lastCapacity_ = chunks == 0 ? 0 : kChunkMask + 1;
  }
  count_ = std::min(count_, count);
}

void Table::LoadImage(const QByteArray& bytes) {
  ParseHeader(bytes, bytes.size());
  const uint32_t count = uint32_t((bytes.size() - headerLength_) / recordLength_);
  headerCount_ = GetU32(bytes.constData() + 4);
  Truncate(0);
  Reserve(count);
  const char* p = bytes.constData() + headerLength_;
  for (uint32_t r = 1; r <= count; ++r, p += recordLength_)
    std::memcpy(Slot(r), p, size_t(recordLength_));
  count_ = count;
  written_ = count_;
}

bool Table::ReadRecordsInto(uint32_t first, uint32_t n) {
  // Chunk by chunk, straight into place.
  while (n > 0) {
    const uint32_t inChunk = std::min(n, (kChunkMask + 1) - ((first - 1) & kChunkMask));
    const qint64 size = qint64(inChunk) * recordLength_;
    if (ReadAt(headerLength_ + qint64(first - 1) * recordLength_, Slot(first), size) < size)
      return false;
    first += inChunk;
    n -= inChunk;
  }
  return true;
}

void Table::ReadRecords(qint64 fileSize, uint32_t declared) {
  const qint64 whole = std::min<qint64>((fileSize - headerLength_) / recordLength_,
                                        std::numeric_limits<uint32_t>::max() - kChunkMask);
  const uint32_t sure = uint32_t(std::min<qint64>(whole, declared));
  // The chunks held are read into again (ReadTable drops them when the
  // record length changed).
  Truncate(sure);
  Reserve(sure);
  // A file that shrank under us since its size was taken.
  if (!ReadRecordsInto(1, sure)) ThrowReadError(EIO);
  count_ = sure;
  // Records past the declared count are what a writer that stopped during
  // its appends left: they count as long as they are records. The first
  // byte that is no deletion flag (the end mark, the zeros of a sparse or
  // preallocated stretch) ends them, so a file far longer than its header
  // says is read only as far as its records go, a few at first.
  for (uint32_t step = 1; count_ < whole; step = std::min(2 * step, kChunkMask + 1)) {
    const uint32_t n = uint32_t(std::min<qint64>(step, whole - count_));
    Reserve(count_ + n);
    if (!ReadRecordsInto(count_ + 1, n)) ThrowReadError(EIO);
    uint32_t good = 0;
    while (good < n && (Slot(count_ + 1 + good)[0] == ' ' || Slot(count_ + 1 + good)[0] == '*'))
      ++good;
    count_ += good;
    if (good < n) break;
  }
  Truncate(count_);
  written_ = count_;
}

qint64 Table::ReadAt(qint64 pos, char* out, qint64 size) const {
  const ssize_t done = ReadAllAt(fd_, off_t(pos), out, size_t(size));
  if (done < 0) ThrowReadError(errno);
  return done;
}

void Table::ThrowReadError(int err) const {
  throw Error(QStringLiteral("Не удалось прочитать файл %1: %2").arg(path_, FileErrorText(err)));
}

void Table::ReadTableOnce(QByteArray* head, qint64* size) {
  off_t fileSize = 0;
  if (!Files().Size(fd_, &fileSize)) ThrowReadError(errno);
  // The fixed part first, then the rest of the header its length gives, so
  // that a large file of another kind is refused before it is read.
  QByteArray bytes(kHeaderFixed, Qt::Uninitialized);
  bytes.resize(qsizetype(ReadAt(0, bytes.data(), kHeaderFixed)));
  if (bytes.size() == kHeaderFixed) {
    const qint64 headerLength = std::min<qint64>(GetU16(bytes.constData() + 8), fileSize);
    if (headerLength > kHeaderFixed) {
      bytes.resize(qsizetype(headerLength));
      bytes.resize(kHeaderFixed + qsizetype(ReadAt(kHeaderFixed, bytes.data() + kHeaderFixed,
                                                    headerLength - kHeaderFixed)));
    }
  }
  const int recordLength = recordLength_;
  ParseHeader(bytes, fileSize);
  if (recordLength_ != recordLength) Truncate(0);
  headerCount_ = GetU32(bytes.constData() + 4);
  ReadRecords(fileSize, headerCount_);
  *head = std::move(bytes);
  *size = fileSize;
}

void Table::ReadTable() {
  // Without the lock a writer may change the file while it is read (a
  // torn record, rows of two states): the read stands once a second one
  // finds the file as the first left it.
  constexpr int kAttempts = 8;
  for (int attempt = 1;; ++attempt) {
    QByteArray head;
    qint64 fileSize = 0;
    ReadTableOnce(&head, &fileSize);
    if (!readOnly_ || StillAsRead(head, fileSize)) break;
    if (attempt == kAttempts)
      throw Error(QStringLiteral("Файл %1 все время изменяется другой программой; повторите позже")
                      .arg(path_));
    ::usleep(useconds_t(10000 * attempt));  // let the writer finish
  }
  StampRead();
}

bool Table::StillAsRead(const QByteArray& head, qint64 fileSize) const {
  off_t size = 0;
  if (!Files().Size(fd_, &size) || qint64(size) != fileSize) return false;
  QByteArray again(head.size(), Qt::Uninitialized);
  if (ReadAt(0, again.data(), again.size()) != again.size() || again != head) return false;
  QByteArray block;
  for (uint32_t first = 1; first <= count_; first += kChunkMask + 1) {
    const uint32_t n = std::min<uint32_t>(kChunkMask + 1, count_ - first + 1);
    block.resize(qsizetype(n) * recordLength_);
    if (ReadAt(headerLength_ + qint64(first - 1) * recordLength_, block.data(), block.size()) !=
        block.size())
      return false;
    if (std::memcmp(block.constData(), Slot(first), size_t(block.size())) != 0) return false;
  }
  return true;
}

namespace {
// Errors of an open for writing that say the user may not write there.
bool WriteRefused(int err) { return err == EACCES || err == EROFS || err == EPERM; }

// Whether new files may be made in the table's folder (the index, a pack).
bool FolderWritable(const QByteArray& nativePath) {
  const QByteArray folder = QFile::encodeName(QFileInfo(QFile::decodeName(nativePath)).absolutePath());
  return ::access(folder.constData(), W_OK) == 0 || !WriteRefused(errno);
}
}  // namespace

void Table::Open(const QString& path, Access access) {
  Close();
  const QByteArray npath = Native(path);
  const bool fallBack = access == Access::WriteIfAllowed;
  const int noLink = access == Access::ReadWriteNoLink ? O_NOFOLLOW : 0;
  bool readOnly = access == Access::ReadOnly || (fallBack && !FolderWritable(npath));
  int fd = OpenRegularFile(npath.constData(), (readOnly ? O_RDONLY : O_RDWR) | noLink | O_CLOEXEC);
  if (fd < 0 && !readOnly && fallBack && WriteRefused(errno)) {
    readOnly = true;
    fd = OpenRegularFile(npath.constData(), O_RDONLY | O_CLOEXEC);
  }
  if (fd < 0) {
    const int err = errno;
    throw Error(QStringLiteral("Не удалось открыть файл %1: %2").arg(path, FileErrorText(err)));
  }
  if (!readOnly && !LockForWriting(fd)) {
    Files().Close(fd);
    throw BusyError(QStringLiteral("Файл %1 занят другой программой").arg(path));
  }
  fd_ = fd;
  path_ = path;
  readOnly_ = readOnly;
  // Holding the lock, no other writer is replacing or packing this table:
  // a file beside it of ours is what a writer that died left behind. A
  // reader holds no lock: such a file may be a live writer's.
  if (!readOnly) {
    RemoveLeftovers(npath.toStdString(), {kReplacementTag, kPackTag});
  }
  try {
    ReadTable();
  } catch (...) {
    Files().Close(fd_);
    fd_ = -1;
    fields_.clear();
    Truncate(0);
    count_ = 0;
    written_ = 0;
    throw;
  }
}

namespace {
bool SameFile(const struct stat& a, const struct stat& b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino && a.st_size == b.st_size &&
         a.st_mtim.tv_sec == b.st_mtim.tv_sec && a.st_mtim.tv_nsec == b.st_mtim.tv_nsec &&
         a.st_ctim.tv_sec == b.st_ctim.tv_sec && a.st_ctim.tv_nsec == b.st_ctim.tv_nsec;
}
}  // namespace

void Table::Reload() {
  FlushAppends();
  // Every write of ours goes to the file as well, so the records held are
  // the file's unless it changed since it was last read (the lock keeps
  // other writers out; this is for those that ignore it, and for a table
  // read without the lock while its writer works on it).
  struct stat now;
  if (readOnly_) FollowReplacement();
  if (readStamp_ && fstat(fd_, &now) == 0 && SameFile(now, *readStamp_)) return;
  ReadTable();
}

void Table::FollowReplacement() {
  struct stat named, held;
  const QByteArray npath = Native(path_);
  if (::stat(npath.constData(), &named) != 0 || fstat(fd_, &held) != 0) return;
  if (named.st_dev == held.st_dev && named.st_ino == held.st_ino) return;
  const int fd = Files().Open(npath.constData(), O_RDONLY | O_CLOEXEC, 0);
  if (fd < 0) return;  // the file held stays readable
  Files().Close(fd_);
  fd_ = fd;
  readStamp_.reset();
}

void Table::StampRead() {
  struct stat st;
  if (fstat(fd_, &st) == 0)
    readStamp_ = std::make_unique<struct stat>(st);
  else
    readStamp_.reset();
}

void Table::Close() {
  if (fd_ >= 0 && written_ < count_) {
    try {
      FlushAppends();
    } catch (const Error&) {
      // The file stays a complete table of the records written before.
    }
  }
  if (fd_ >= 0) Files().Close(fd_);
  fd_ = -1;
  readOnly_ = false;
  readStamp_.reset();
  run_ = false;
  Truncate(0);
  count_ = 0;
  written_ = 0;
}

int Table::FieldIndex(const QByteArray& upperName) const {
  for (size_t i = 0; i < fields_.size(); ++i)
    if (fields_[i].name == upperName) return int(i);
  return -1;
}

const char* Table::Record(uint32_t recno) const { return Slot(recno); }

QByteArray Table::BlankRecord() const { return QByteArray(recordLength_, ' '); }

QByteArray Table::HeaderBytes() const {
  QByteArray h(kHeaderFixed, 0);
  h[0] = char(version_);
  StampDate(h.data() + 1);
  PutU32(h.data() + 4, count_);
  PutU16(h.data() + 8, uint32_t(headerLength_));
  PutU16(h.data() + 10, uint32_t(recordLength_));
  h[28] = indexFlag_ ? 1 : 0;
  h[29] = char(language_);
  return h;
}

void Table::ThrowWriteError(int err) const {
  throw Error(QStringLiteral("Ошибка записи в файл %1: %2").arg(path_, FileErrorText(err)));
}

void Table::WriteAt(qint64 pos, const char* data, qint64 size) {
  readStamp_.reset();
  if (!WriteAllAt(fd_, off_t(pos), data, size_t(size))) ThrowWriteError(errno);
}

void Table::WriteHeader() {
  FlushAppends();
  const QByteArray h = HeaderBytes();
  WriteAt(0, h.constData(), h.size());
  headerCount_ = count_;
}

void Table::WriteRecord(uint32_t recno, const QByteArray& record) {
  FlushAppends();
  WriteAt(headerLength_ + qint64(recno - 1) * recordLength_, record.constData(), recordLength_);
  std::memcpy(Slot(recno), record.constData(), size_t(recordLength_));
}

uint32_t Table::AppendRecord(const QByteArray& record) {
  if (run_) {
    Reserve(count_ + 1);
    std::memcpy(Slot(count_ + 1), record.constData(), size_t(recordLength_));
    ++count_;
    if (qint64(count_ - written_) * recordLength_ >= kAppendBlockBytes) FlushAppends();
    return count_;
  }
  // Record and end mark first, then the count: a failure in between leaves
  // a file whose length still tells the complete records apart.
  readStamp_.reset();
  static char endMark = kEndOfFile;
  const qint64 end = headerLength_ + qint64(count_) * recordLength_;
  if (!WritePiecesAt(fd_, end,
                      {{const_cast<char*>(record.constData()), size_t(recordLength_)},
                       {&endMark, 1}})) {
    const int err = errno;
    // Put the end back where it was, so no torn record stays behind.
    if (Files().Truncate(fd_, off_t(end)) == 0) WriteAllAt(fd_, end, &kEndOfFile, 1);
    ThrowWriteError(err);
  }
  Reserve(count_ + 1);
  std::memcpy(Slot(count_ + 1), record.constData(), size_t(recordLength_));
  ++count_;
  written_ = count_;
  WriteHeader();
  return count_;
}

void Table::ReserveRecords(uint32_t more) {
  if (fd_ < 0 || more > std::numeric_limits<uint32_t>::max() - kChunkMask - count_) return;
  Reserve(count_ + more);
}

void Table::BeginAppendRun() {
  if (fd_ >= 0) run_ = true;
}

void Table::EndAppendRun() {
  if (!run_) return;
  run_ = false;
  FlushAppends();
  if (headerCount_ != count_) WriteHeader();
}

void Table::FlushAppends() {
  if (written_ >= count_ || fd_ < 0) return;
  readStamp_.reset();
  static char endMark = kEndOfFile;
  const qint64 end = headerLength_ + qint64(written_) * recordLength_;
  // One piece per chunk, then the end mark.
  std::vector<struct iovec> pieces;
  for (uint32_t first = written_ + 1; first <= count_;) {
    const uint32_t inChunk = (kChunkMask + 1) - ((first - 1) & kChunkMask);
    const uint32_t n = std::min(inChunk, count_ - first + 1);
    pieces.push_back({Slot(first), size_t(n) * size_t(recordLength_)});
    first += n;
  }
  pieces.push_back({&endMark, 1});
  if (WritePiecesAt(fd_, end, std::move(pieces))) {
    written_ = count_;
    return;
  }
  // Put the end back where it was, so no torn record stays behind; then
  // keep as many of the records as still fit, one by one as single
  // appends would have, and forget the others.
  int err = errno;
  if (Files().Truncate(fd_, off_t(end)) == 0) WriteAllAt(fd_, end, &kEndOfFile, 1);
  while (written_ < count_) {
    const qint64 at = headerLength_ + qint64(written_) * recordLength_;
    if (!WritePiecesAt(fd_, at, {{Slot(written_ + 1), size_t(recordLength_)}, {&endMark, 1}})) {
      err = errno;
      if (Files().Truncate(fd_, off_t(at)) == 0) WriteAllAt(fd_, at, &kEndOfFile, 1);
      break;
    }
    ++written_;
  }
  const bool lost = written_ < count_;
  Truncate(written_);
  try {
    WriteHeader();
  } catch (const Error&) {
    if (!lost) throw;
    // The count is corrected from the file length at the next Open.
  }
  if (lost) ThrowWriteError(err);
}

void Table::MarkDeleted(const std::vector<uint32_t>& records, size_t* done) {
  *done = 0;
  if (records.empty()) return;
  FlushAppends();
  readStamp_.reset();
  const uint32_t hi = records.front();
  const uint32_t lo = records.back();
  std::vector<char> old(records.size());
  for (size_t i = 0; i < records.size(); ++i) {
    old[i] = Slot(records[i])[0];
    Slot(records[i])[0] = '*';
  }
  std::vector<struct iovec> pieces;
  for (uint32_t first = lo; first <= hi;) {
    const uint32_t inChunk = (kChunkMask + 1) - ((first - 1) & kChunkMask);
    const uint32_t n = std::min(inChunk, hi - first + 1);
    pieces.push_back({Slot(first), size_t(n) * size_t(recordLength_)});
    first += n;
  }
  auto flagAt = [&](uint32_t recno) { return headerLength_ + qint64(recno - 1) * recordLength_; };
  if (WritePiecesAt(fd_, flagAt(lo), std::move(pieces))) {
    *done = records.size();
    return;
  }
  // Flag by flag from the highest, as single deletions go; a one-byte
  // write is all or nothing. From the first that fails on, the old flags
  // go back, also into what the failed stretch may have written.
  int err = errno;
  size_t k = 0;
  for (; k < records.size(); ++k) {
    if (!WriteAllAt(fd_, flagAt(records[k]), "*", 1)) {
      err = errno;
      break;
    }
  }
  for (size_t m = k; m < records.size(); ++m) {
    Slot(records[m])[0] = old[m];
    WriteAllAt(fd_, flagAt(records[m]), &old[m], 1);
  }
  *done = k;
  if (k < records.size()) ThrowWriteError(err);
}

void Table::SetIndexFlag(bool on) {
  if (indexFlag_ == on) return;
  FlushAppends();
  indexFlag_ = on;
  WriteHeader();
}

std::vector<uint32_t> Table::Pack() {
  // Records of a run not written yet go into the new file with the others.
  std::vector<uint32_t> kept;
  for (uint32_t r = 1; r <= count_; ++r)
    if (!IsDeleted(r)) kept.push_back(r);
  QByteArray header = HeaderBytes();
  PutU32(header.data() + 4, uint32_t(kept.size()));
  header += descriptors_;
  header += kEndOfDescriptors;
  if (header.size() < headerLength_) header += QByteArray(headerLength_ - header.size(), 0);
  // The new file straight from the records held: one piece per stretch of
  // kept records within a chunk.
  std::vector<struct iovec> pieces;
  pieces.push_back({header.data(), size_t(header.size())});
  for (size_t i = 0; i < kept.size();) {
    size_t j = i + 1;
    while (j < kept.size() && kept[j] == kept[j - 1] + 1 &&
           ((kept[j] - 1) >> kChunkShift) == ((kept[i] - 1) >> kChunkShift))
      ++j;
    pieces.push_back({Slot(kept[i]), (j - i) * size_t(recordLength_)});
    i = j;
  }
  static char endMark = kEndOfFile;
  pieces.push_back({&endMark, 1});

  const std::string npath = Native(path_).toStdString();
  auto fail = [&](int err) {
    throw Error(QStringLiteral("Не удалось записать таблицу %1 после удаления строк: %2")
                    .arg(path_, FileErrorText(err)));
  };
  struct stat old;
  if (Files().Stat(npath.c_str(), &old) != 0) fail(errno);
  // The new file is made private and locked before it takes the table's
  // name, so no other writer can slip in between; it gets the table's mode
  // and group, and all its data is on the disk before the rename.
  std::string ntmp;
  const int fd = CreateBeside(npath, kPackTag, 0600, &ntmp);
  if (fd < 0) fail(errno);
  bool ok = WritePiecesAt(fd, 0, std::move(pieces)) && Files().KeepAttributes(fd, old) == 0 &&
            Files().Sync(fd) == 0 && Files().Rename(ntmp.c_str(), npath.c_str()) == 0;
  if (!ok) {
    const int err = errno;
    Files().Close(fd);
    Files().Remove(ntmp.c_str());
    fail(err);
  }
  SyncFolderOf(npath);
  Files().Close(fd_);
  fd_ = fd;
  readStamp_.reset();
  // The kept records move down in place, in their old order.
  uint32_t to = 0;
  for (uint32_t from : kept)
    if (++to != from) std::memcpy(Slot(to), Slot(from), size_t(recordLength_));
  Truncate(to);
  count_ = to;
  written_ = count_;
  headerCount_ = count_;
  return kept;
}

QString Table::Text(const char* record, int field) const {
  const FieldDef& f = fields_[size_t(field)];
  int n = f.length;
  const char* p = record + f.offset;
  while (n > 0 && (p[n - 1] == ' ' || p[n - 1] == 0)) --n;
  return DecodeFromCodePage(CodecForLanguage(language_), p, n);
}

bool Table::IsBlank(const char* record, int field) const {
  const FieldDef& f = fields_[size_t(field)];
  for (int i = 0; i < f.length; ++i)
    if (record[f.offset + i] != ' ' && record[f.offset + i] != 0) return false;
  return true;
}

bool Table::Number(const char* record, int field, double* out) const {
  const FieldDef& f = fields_[size_t(field)];
  return ReadFixedNumber(record + f.offset, f.length, out);
}

bool Table::Integer(const char* record, int field, int64_t* out) const {
  const FieldDef& f = fields_[size_t(field)];
  return ReadFixedInteger(record + f.offset, f.length, out);
}

void Table::PutText(QByteArray& record, int field, const QString& text) const {
  const FieldDef& f = fields_[size_t(field)];
  EncodeIntoWidth(CodecForLanguage(language_), text, record.data() + f.offset, f.length);
}

void Table::PutBlank(QByteArray& record, int field) const {
  const FieldDef& f = fields_[size_t(field)];
  std::memset(record.data() + f.offset, ' ', size_t(f.length));
}

void Table::PutRaw(QByteArray& record, int field, const QByteArray& bytes) const {
  const FieldDef& f = fields_[size_t(field)];
  std::memcpy(record.data() + f.offset, bytes.constData(),
              size_t(std::min<int>(f.length, bytes.size())));
}

}  // namespace dbf
