// Arbitrary files as klt3-cli decode reads them: a file refused is refused
// with a reason; a file accepted, made again from what was read, is the
// very same file, and the memory beyond it reads as zeros. An accepted file
// whose records lie within its own bytes also writes its table like a
// download (kept in memory), so that the work of each input stays in
// proportion to it. Traps otherwise.
#include <QByteArray>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>

#include "link/memory_image_file.h"
#include "store/decoders.h"
#include "store/table_session.h"
#include "support/memory_files.h"

namespace {
// Whether the records the decoder of the image's kind reads lie within
// the first `length` bytes of the image.
bool RecordsWithin(const DeviceIdentity& identity, const MemoryImage& image, uint32_t length) {
  if (IsWaterDeviceType(identity.type)) return uint64_t(identity.recordCount) * 36 <= length;
  const DumpView dump{image.data(), int(image.size())};
  const uint64_t count = dump_word(dump, 0), size = dump_word(dump, 2);
  return count == 0 || size == 0 || 4 + (count - 1) * size + 11 <= length;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // The image and the zeros to compare with are made once: 64 KB each.
  static const auto image = std::make_unique<MemoryImage>();
  static const auto zeros = std::make_unique<MemoryImage>();
  static MemoryFiles files;
  files.Clear();
  const QByteArray file = QByteArray::fromRawData(reinterpret_cast<const char*>(data),
                                                  static_cast<qsizetype>(size));
  DeviceIdentity identity;
  uint32_t length = 0;
  QString error;
  if (!DecodeMemoryImageFile(file, &identity, image.get(), &length, &error)) {
    if (error.isEmpty()) __builtin_trap();
    return 0;
  }
  if (length > image->size()) __builtin_trap();
  if (EncodeMemoryImageFile(identity, *image, length) != file) __builtin_trap();
  if (std::memcmp(image->data() + length, zeros->data(), image->size() - length) != 0)
    __builtin_trap();
  if (!RecordsWithin(identity, *image, length)) return 0;

  DownloadedImage download;
  download.image = DumpView{image->data(), int(image->size())};
  download.deviceType = identity.type;
  download.deviceSerial = identity.serial;
  download.recordCount = identity.recordCount;
  try {
    TableSession session;
    session.CreateFromDownload(QStringLiteral("/fuzz/fuzz.db"), download);
    session.Close();
  } catch (const std::exception&) {
    // A table that cannot be made is reported by decode, not a crash.
  }
  return 0;
}
