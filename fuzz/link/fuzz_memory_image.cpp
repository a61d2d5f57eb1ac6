// Arbitrary files as klt3-cli decode reads them: a file refused is refused
// with a reason; a file accepted writes its table like a download and, made
// again from what was read, is the very same file. Traps otherwise.
#include <QByteArray>
#include <QDir>
#include <QTemporaryDir>
#include <cstddef>
#include <cstdint>
#include <memory>

#include "link/memory_image_file.h"
#include "store/table_session.h"

namespace {
QTemporaryDir& Folder() {
  static QTemporaryDir dir;
  return dir;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const QByteArray file(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
  DeviceIdentity identity;
  const auto image = std::make_unique<MemoryImage>();
  uint32_t length = 0;
  QString error;
  if (!DecodeMemoryImageFile(file, &identity, image.get(), &length, &error)) {
    if (error.isEmpty()) __builtin_trap();
    return 0;
  }
  if (length > image->size()) __builtin_trap();
  if (EncodeMemoryImageFile(identity, *image, length) != file) __builtin_trap();
  for (size_t i = length; i < image->size(); ++i)
    if ((*image)[i] != 0) __builtin_trap();

  DownloadedImage download;
  download.image = DumpView{image->data(), int(image->size())};
  download.deviceType = identity.type;
  download.deviceSerial = identity.serial;
  download.recordCount = identity.recordCount;
  try {
    TableSession session;
    session.CreateFromDownload(QDir(Folder().path()).filePath(QStringLiteral("fuzz.db")), download);
    session.Close();
  } catch (const std::exception&) {
    // A table that cannot be made is reported by decode, not a crash.
  }
  return 0;
}
