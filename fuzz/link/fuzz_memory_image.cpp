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
bool RecordsWithin(const DownloadResult& download) {
  if (IsWaterDeviceType(download.identity.type))
    return uint64_t(download.identity.recordCount) * 36 <= download.length;
  const DumpView dump{download.image.data(), int(download.image.size())};
  const uint64_t count = dump_word(dump, 0), size = dump_word(dump, 2);
  return count == 0 || size == 0 || 4 + (count - 1) * size + 11 <= download.length;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // The download and the zeros to compare with are made once: 64 KB each.
  static const auto download = std::make_unique<DownloadResult>();
  static const auto zeros = std::make_unique<MemoryImage>();
  static MemoryFiles files;
  files.Clear();
  const QByteArray file = QByteArray::fromRawData(reinterpret_cast<const char*>(data),
                                                  static_cast<qsizetype>(size));
  QString error;
  if (!DecodeMemoryImageFile(file, download.get(), &error)) {
    if (error.isEmpty()) __builtin_trap();
    return 0;
  }
  const MemoryImage& image = download->image;
  const uint32_t length = download->length;
  if (length > image.size()) __builtin_trap();
  if (EncodeMemoryImageFile(*download) != file) __builtin_trap();
  if (std::memcmp(image.data() + length, zeros->data(), image.size() - length) != 0)
    __builtin_trap();
  if (!RecordsWithin(*download)) return 0;

  try {
    TableSession session;
    session.CreateFromDownload(QStringLiteral("/fuzz/fuzz.db"), *download);
    session.Close();
  } catch (const std::exception&) {
    // A table that cannot be made is reported by decode, not a crash.
  }
  return 0;
}
