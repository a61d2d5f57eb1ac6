#include "link/memory_image_file.h"

#include <errno.h>
#include <fcntl.h>

#include <QFile>
#include <algorithm>
#include <cstring>

#include "platform/file_ops.h"
#include "platform/operator_error.h"

using namespace memory_image_file;

namespace {
void PutWord(QByteArray* out, uint16_t v) {
  out->append(static_cast<char>(v & 0xFF));
  out->append(static_cast<char>(v >> 8));
}
void PutDword(QByteArray* out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out->append(static_cast<char>((v >> (8 * i)) & 0xFF));
}

// Reads forward through the file; every read past its end fails.
struct Reader {
  const QByteArray& bytes;
  qsizetype pos = 0;
  bool Take(qsizetype n, const char** at) {
    if (n < 0 || bytes.size() - pos < n) return false;
    *at = bytes.constData() + pos;
    pos += n;
    return true;
  }
  bool Byte(uint8_t* v) {
    const char* at;
    if (!Take(1, &at)) return false;
    *v = static_cast<uint8_t>(at[0]);
    return true;
  }
  bool Word(uint16_t* v) {
    const char* at;
    if (!Take(2, &at)) return false;
    *v = static_cast<uint16_t>(uint8_t(at[0]) | (uint8_t(at[1]) << 8));
    return true;
  }
  bool Dword(uint32_t* v) {
    const char* at;
    if (!Take(4, &at)) return false;
    *v = 0;
    for (int i = 0; i < 4; ++i) *v |= uint32_t(uint8_t(at[i])) << (8 * i);
    return true;
  }
};
}  // namespace

QByteArray EncodeMemoryImageFile(const DownloadResult& download) {
  const DeviceIdentity& identity = download.identity;
  const MemoryImage& image = download.image;
  const uint32_t length = std::min<uint32_t>(download.length, image.size());
  const QByteArray version = identity.version.toLatin1().left(kMaxVersionText);
  QByteArray out(kMagic, sizeof kMagic);
  PutWord(&out, kVersion);
  out.append(static_cast<char>(identity.kind));
  out.append(static_cast<char>(identity.type));
  PutWord(&out, identity.serial);
  PutWord(&out, identity.recordCount);
  out.append(static_cast<char>(version.size()));
  out.append(version);
  PutDword(&out, length);
  out.append(reinterpret_cast<const char*>(image.data()), static_cast<qsizetype>(length));
  return out;
}

bool ReadMemoryImageFileBytes(const QString& path, QByteArray* bytes, QString* error) {
  FileOps& f = Files();
  const int fd = OpenRegularFile(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    *error = FileErrorText(errno);
    return false;
  }
  // One byte past the largest image: a longer file is told by its length.
  bytes->resize(kMaxFileSize + 1);
  const ssize_t done = ReadAllAt(fd, 0, bytes->data(), size_t(bytes->size()));
  const int err = done < 0 ? errno : 0;
  f.Close(fd);
  bytes->resize(done < 0 ? 0 : qsizetype(done));
  if (err != 0) *error = FileErrorText(err);
  return err == 0;
}

bool DecodeMemoryImageFile(const QByteArray& file, DownloadResult* download, QString* error) {
  const QString damaged = QStringLiteral("файл поврежден или обрезан");
  Reader r{file};
  const char* magic;
  if (!r.Take(sizeof kMagic, &magic) || std::memcmp(magic, kMagic, sizeof kMagic) != 0) {
    *error = QStringLiteral("это не образ памяти прибора");
    return false;
  }
  uint16_t version = 0;
  if (!r.Word(&version)) {
    *error = damaged;
    return false;
  }
  if (version != kVersion) {
    *error = QStringLiteral("версия формата %1 не поддерживается").arg(version);
    return false;
  }
  DeviceIdentity id;
  uint8_t textLength = 0;
  const char* text = nullptr;
  uint32_t n = 0;
  const char* body = nullptr;
  if (!r.Byte(&id.kind) || !r.Byte(&id.type) || !r.Word(&id.serial) || !r.Word(&id.recordCount) ||
      !r.Byte(&textLength) || textLength > kMaxVersionText || !r.Take(textLength, &text) ||
      !r.Dword(&n) || n > download->image.size() || !r.Take(qsizetype(n), &body)) {
    *error = damaged;
    return false;
  }
  if (r.pos != file.size()) {
    *error = QStringLiteral("после образа памяти есть лишние данные");
    return false;
  }
  id.version = QString::fromLatin1(text, textLength);
  download->image.fill(0);
  std::memcpy(download->image.data(), body, n);
  download->identity = id;
  download->length = n;
  return true;
}
