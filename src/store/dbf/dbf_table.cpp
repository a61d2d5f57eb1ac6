#include "store/dbf/dbf_table.h"
#include "store/dbf/le_bytes.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDate>
#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>
#include <QStringEncoder>
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <ctime>

namespace dbf {

namespace {

constexpr int kHeaderFixed = 32;
constexpr int kDescriptorSize = 32;
constexpr char kEndOfDescriptors = 0x0D;
constexpr char kEndOfFile = 0x1A;


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

// Takes the write lock of an open descriptor without waiting. The lock
// belongs to the open file description, so a second open in this same
// process conflicts too, and closing another descriptor does not drop it.
// False only when another writer holds the file; a file system without
// locks falls back to whole-file locks, and without those to none.
bool LockForWriting(int fd) {
  struct flock fl;
  std::memset(&fl, 0, sizeof fl);
  fl.l_type = F_WRLCK;
  fl.l_whence = SEEK_SET;
#ifdef F_OFD_SETLK
  if (fcntl(fd, F_OFD_SETLK, &fl) == 0) return true;
#else
  if (fcntl(fd, F_SETLK, &fl) == 0) return true;
#endif
  if (errno == EAGAIN || errno == EACCES) return false;
  if (::flock(fd, LOCK_EX | LOCK_NB) == 0) return true;
  return errno != EWOULDBLOCK;
}

bool WriteAll(int fd, qint64 pos, const char* data, qint64 size) {
  while (size > 0) {
    const ssize_t n = pwrite(fd, data, size_t(size), off_t(pos));
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (n == 0) {
      errno = ENOSPC;
      return false;
    }
    data += n;
    size -= n;
    pos += n;
  }
  return true;
}

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

QByteArray Trimmed(const char* p, int n) {
  int b = 0, e = n;
  while (b < e && (p[b] == ' ' || p[b] == 0)) ++b;
  while (e > b && (p[e - 1] == ' ' || p[e - 1] == 0)) --e;
  return QByteArray(p + b, e - b);
}

}  // namespace

Error::Error(const QString& text) : std::runtime_error(text.toStdString()), text_(text) {}

QString SystemErrorText(int err) {
  switch (err) {
    case ENOSPC:
      return QStringLiteral("нет места на диске");
    case EFBIG:
      return QStringLiteral("превышен допустимый размер файла");
    case EACCES:
    case EPERM:
      return QStringLiteral("доступ запрещён");
    case ENOENT:
      return QStringLiteral("файл или папка не найдены");
    case ENOTDIR:
      return QStringLiteral("папка не найдена");
    case EROFS:
      return QStringLiteral("диск защищён от записи");
    case EIO:
      return QStringLiteral("ошибка ввода-вывода");
    case EISDIR:
      return QStringLiteral("это папка, а не файл");
    case EAGAIN:
      return QStringLiteral("файл занят другой программой");
    default:
      return QString::fromLocal8Bit(std::strerror(err));
  }
}

const char* CodecForLanguage(uint8_t language) {
  switch (language) {
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
// Opening a converter is costly; each thread keeps the last one it used.
QStringEncoder& EncoderFor(uint8_t language) {
  thread_local int cached = -1;
  thread_local QStringEncoder enc;
  if (cached != language) {
    enc = QStringEncoder(CodecForLanguage(language), QStringConverter::Flag::Stateless);
    cached = language;
  }
  return enc;
}
QStringDecoder& DecoderFor(uint8_t language) {
  thread_local int cached = -1;
  thread_local QStringDecoder dec;
  if (cached != language) {
    dec = QStringDecoder(CodecForLanguage(language), QStringConverter::Flag::Stateless);
    cached = language;
  }
  return dec;
}
}  // namespace

QByteArray EncodeText(uint8_t language, const QString& text) {
  QStringEncoder& enc = EncoderFor(language);
  if (!enc.isValid()) return text.toLatin1();
  return enc(text);
}

QString DecodeText(uint8_t language, const char* data, int size) {
  const QByteArray bytes = QByteArray::fromRawData(data, size);
  QStringDecoder& dec = DecoderFor(language);
  if (!dec.isValid()) return QString::fromLatin1(bytes);
  return dec(bytes);
}

namespace {
QByteArray RightAligned(const FieldDef& f, QByteArray digits, const QString& shown) {
  if (digits.size() > f.length)
    throw Error(QStringLiteral("Значение %1 не помещается в поле %2")
                    .arg(shown, QString::fromLatin1(f.name)));
  return QByteArray(f.length - digits.size(), ' ') + digits;
}
}  // namespace

QByteArray FormatNumber(const FieldDef& f, double value) {
  if (!std::isfinite(value))
    throw Error(QStringLiteral("Недопустимое значение поля %1").arg(QString::fromLatin1(f.name)));
  QByteArray t = QByteArray::number(value, 'f', f.decimals);
  if (t.startsWith('-')) {
    bool allZero = true;
    for (char c : t)
      if (c >= '1' && c <= '9') allZero = false;
    if (allZero) t.remove(0, 1);
  }
  return RightAligned(f, t, QString::fromLatin1(t));
}

QByteArray FormatInteger(const FieldDef& f, int64_t value) {
  QByteArray t = QByteArray::number(qlonglong(value));
  if (f.decimals > 0) t += '.' + QByteArray(f.decimals, '0');
  return RightAligned(f, t, QString::number(qlonglong(value)));
}

void ReplaceFileAtomically(const QString& path, const QByteArray& bytes, bool durable) {
  const QString tmp = path + QStringLiteral(".~tmp");
  const QByteArray ntmp = Native(tmp);
  const int fd = ::open(ntmp.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd < 0) {
    const int err = errno;
    throw Error(QStringLiteral("Не удалось записать файл %1: %2").arg(path, SystemErrorText(err)));
  }
  bool ok = WriteAll(fd, 0, bytes.constData(), bytes.size());
  int err = errno;
  if (ok && durable && ::fsync(fd) != 0) {
    ok = false;
    err = errno;
  }
  ::close(fd);
  if (ok && ::rename(ntmp.constData(), Native(path).constData()) != 0) {
    ok = false;
    err = errno;
  }
  if (!ok) {
    ::unlink(ntmp.constData());
    throw Error(QStringLiteral("Не удалось записать файл %1: %2").arg(path, SystemErrorText(err)));
  }
}

Table::Table() = default;
Table::~Table() { Close(); }

void Table::Create(const QString& path, const std::vector<FieldDef>& fields, uint8_t language) {
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

  // A file of that name that another writer holds must not be replaced
  // under it; hold its lock ourselves while we replace it.
  const QByteArray npath = Native(path);
  int old = ::open(npath.constData(), O_RDWR | O_CLOEXEC);
  if (old >= 0 && !LockForWriting(old)) {
    ::close(old);
    fail(QStringLiteral("файл занят другой программой"));
  }
  try {
    ReplaceFileAtomically(path, file);
  } catch (const Error& e) {
    if (old >= 0) ::close(old);
    const QString prefix = QStringLiteral("Не удалось записать файл %1: ").arg(path);
    QString reason = e.text();
    if (reason.startsWith(prefix)) reason = reason.mid(prefix.size());
    fail(reason);
  }
  if (old >= 0) ::close(old);
}

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
  std::vector<FieldDef> fields;
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
    int n = 0;
    while (n < 11 && d[n] != 0) ++n;
    f.name = QByteArray(d, n).trimmed().toUpper();
    f.type = char(std::toupper(uint8_t(d[11])));
    f.length = uint8_t(d[16]);
    f.decimals = uint8_t(d[17]);
    if (f.type == 'C') {
      // Character fields longer than 255 keep the high byte in the decimals.
      f.length = uint8_t(d[16]) | (uint8_t(d[17]) << 8);
      f.decimals = 0;
    }
    if (f.name.isEmpty() || f.length < 1) bad(QStringLiteral("неверное описание поля"));
    if (f.type == 'N' || f.type == 'F') {
      if (f.length > 20 || f.decimals > 18 || (f.decimals > 0 && f.decimals >= f.length))
        bad(QStringLiteral("неверное описание поля %1").arg(QString::fromLatin1(f.name)));
    }
    f.offset = offset;
    offset += f.length;
    fields.push_back(f);
    pos += kDescriptorSize;
  }
  if (!terminated || fields.empty()) bad(QStringLiteral("нет конца описаний полей"));
  if (offset != recordLength) bad(QStringLiteral("длина записи не совпадает с описаниями полей"));
  fields_ = std::move(fields);
  descriptors_ = bytes.mid(kHeaderFixed, pos - kHeaderFixed);
  version_ = uint8_t(h[0]);
  indexFlag_ = h[28] != 0;
  language_ = uint8_t(h[29]);
  headerLength_ = headerLength;
  recordLength_ = recordLength;
}

void Table::LoadImage(const QByteArray& bytes) {
  ParseHeader(bytes, bytes.size());
  count_ = uint32_t((bytes.size() - headerLength_) / recordLength_);
  headerCount_ = GetU32(bytes.constData() + 4);
  records_ = bytes.mid(headerLength_, qsizetype(count_) * recordLength_);
}

void Table::ReadFile(QByteArray* out, qint64 limit) const {
  struct stat st;
  if (fstat(fd_, &st) != 0) throw Error(QStringLiteral("Не удалось прочитать файл %1").arg(path_));
  const qint64 size = limit >= 0 ? std::min<qint64>(limit, st.st_size) : st.st_size;
  out->resize(qsizetype(size));
  qint64 done = 0;
  while (done < size) {
    const ssize_t n = pread(fd_, out->data() + done, size_t(size - done), off_t(done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      const int err = n < 0 ? errno : EIO;
      throw Error(
          QStringLiteral("Не удалось прочитать файл %1: %2").arg(path_, SystemErrorText(err)));
    }
    done += n;
  }
}

void Table::Open(const QString& path) {
  Close();
  const QByteArray npath = Native(path);
  const int fd = ::open(npath.constData(), O_RDWR | O_CLOEXEC);
  if (fd < 0) {
    const int err = errno;
    throw Error(QStringLiteral("Не удалось открыть файл %1: %2").arg(path, SystemErrorText(err)));
  }
  struct stat st;
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    throw Error(QStringLiteral("Файл %1 не является таблицей dBase").arg(path));
  }
  if (!LockForWriting(fd)) {
    ::close(fd);
    throw Error(QStringLiteral("Файл %1 занят другой программой").arg(path));
  }
  fd_ = fd;
  path_ = path;
  try {
    // The header alone first, so that a large file of another kind is
    // refused before it is read whole.
    QByteArray bytes;
    ReadFile(&bytes, 65536);
    struct stat st;
    if (fstat(fd_, &st) != 0) throw Error(QStringLiteral("Не удалось прочитать файл %1").arg(path));
    ParseHeader(bytes, st.st_size);
    ReadFile(&bytes);
    LoadImage(bytes);
  } catch (...) {
    ::close(fd_);
    fd_ = -1;
    fields_.clear();
    records_.clear();
    count_ = 0;
    throw;
  }
}

void Table::Reload() {
  QByteArray bytes;
  ReadFile(&bytes);
  LoadImage(bytes);
}

void Table::Close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  records_.clear();
  count_ = 0;
}

int Table::FieldIndex(const QByteArray& upperName) const {
  for (size_t i = 0; i < fields_.size(); ++i)
    if (fields_[i].name == upperName) return int(i);
  return -1;
}

const char* Table::Record(uint32_t recno) const {
  return records_.constData() + qsizetype(recno - 1) * recordLength_;
}

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

void Table::WriteAt(qint64 pos, const char* data, qint64 size) {
  if (!WriteAll(fd_, pos, data, size)) {
    const int err = errno;
    throw Error(QStringLiteral("Ошибка записи в файл %1: %2").arg(path_, SystemErrorText(err)));
  }
}

void Table::WriteHeader() {
  const QByteArray h = HeaderBytes();
  WriteAt(0, h.constData(), h.size());
  headerCount_ = count_;
}

void Table::WriteRecord(uint32_t recno, const QByteArray& record) {
  WriteAt(headerLength_ + qint64(recno - 1) * recordLength_, record.constData(), recordLength_);
  std::memcpy(records_.data() + qsizetype(recno - 1) * recordLength_, record.constData(),
              size_t(recordLength_));
}

uint32_t Table::AppendRecord(const QByteArray& record) {
  QByteArray out = record.left(recordLength_);
  out += kEndOfFile;
  // Record and end mark first, then the count: a failure in between leaves
  // a file whose length still tells the complete records apart.
  const qint64 end = headerLength_ + qint64(count_) * recordLength_;
  try {
    WriteAt(end, out.constData(), out.size());
  } catch (const Error&) {
    // Put the end back where it was, so no torn record stays behind.
    if (::ftruncate(fd_, off_t(end)) == 0) WriteAll(fd_, end, &kEndOfFile, 1);
    throw;
  }
  records_.append(record.constData(), recordLength_);
  ++count_;
  WriteHeader();
  return count_;
}

void Table::SetIndexFlag(bool on) {
  if (indexFlag_ == on) return;
  indexFlag_ = on;
  WriteHeader();
}

std::vector<uint32_t> Table::Pack() {
  std::vector<uint32_t> kept;
  for (uint32_t r = 1; r <= count_; ++r)
    if (!IsDeleted(r)) kept.push_back(r);
  QByteArray image = HeaderBytes();
  PutU32(image.data() + 4, uint32_t(kept.size()));
  image += descriptors_;
  image += kEndOfDescriptors;
  if (image.size() < headerLength_) image += QByteArray(headerLength_ - image.size(), 0);
  image.reserve(image.size() + qsizetype(kept.size()) * recordLength_ + 1);
  for (uint32_t r : kept) image.append(Record(r), recordLength_);
  image += kEndOfFile;

  const QString tmp = path_ + QStringLiteral(".~pack");
  const QByteArray ntmp = Native(tmp);
  const int fd = ::open(ntmp.constData(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  auto fail = [&](int err) {
    throw Error(QStringLiteral("Не удалось сжать таблицу %1: %2").arg(path_, SystemErrorText(err)));
  };
  if (fd < 0) fail(errno);
  // The new file is locked before it takes the table's name, so no other
  // writer can slip in between.
  bool ok = LockForWriting(fd) && WriteAll(fd, 0, image.constData(), image.size()) &&
            ::fsync(fd) == 0 && ::rename(ntmp.constData(), Native(path_).constData()) == 0;
  if (!ok) {
    const int err = errno;
    ::close(fd);
    ::unlink(ntmp.constData());
    fail(err);
  }
  ::close(fd_);
  fd_ = fd;
  count_ = uint32_t(kept.size());
  headerCount_ = count_;
  records_ = image.mid(headerLength_, qsizetype(count_) * recordLength_);
  return kept;
}

QString Table::Text(const char* record, int field) const {
  const FieldDef& f = fields_[size_t(field)];
  int n = f.length;
  const char* p = record + f.offset;
  while (n > 0 && (p[n - 1] == ' ' || p[n - 1] == 0)) --n;
  return DecodeText(language_, p, n);
}

bool Table::IsBlank(const char* record, int field) const {
  const FieldDef& f = fields_[size_t(field)];
  for (int i = 0; i < f.length; ++i)
    if (record[f.offset + i] != ' ' && record[f.offset + i] != 0) return false;
  return true;
}

bool Table::Number(const char* record, int field, double* out) const {
  const FieldDef& f = fields_[size_t(field)];
  const QByteArray t = Trimmed(record + f.offset, f.length);
  if (t.isEmpty()) return false;
  bool ok = false;
  const double v = t.toDouble(&ok);
  if (!ok || !std::isfinite(v)) return false;
  *out = v;
  return true;
}

bool Table::Integer(const char* record, int field, int64_t* out) const {
  const FieldDef& f = fields_[size_t(field)];
  const QByteArray t = Trimmed(record + f.offset, f.length);
  if (t.isEmpty()) return false;
  bool ok = false;
  const qlonglong v = t.toLongLong(&ok);
  if (ok) {
    *out = v;
    return true;
  }
  double d = 0;
  if (!Number(record, field, &d) || std::fabs(d) > 9.2e18) return false;
  *out = int64_t(std::trunc(d));
  return true;
}

void Table::PutText(QByteArray& record, int field, const QString& text) const {
  const FieldDef& f = fields_[size_t(field)];
  QByteArray b = EncodeText(language_, text).left(f.length);
  b += QByteArray(f.length - b.size(), ' ');
  std::memcpy(record.data() + f.offset, b.constData(), size_t(f.length));
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
