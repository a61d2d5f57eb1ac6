#pragma once
// The instrument's memory as received, kept in a file of ours so that a
// table can be made from it again later (klt3-cli download --save-image,
// klt3-cli decode). All numbers little-endian:
//
//   offset  size  field
//   0       8     magic "KLT3MEM" and byte 0x1A
//   8       2     format version, 1
//   10      1     device kind
//   11      1     device type
//   12      2     serial number
//   14      2     record count (as the identification frame gave it)
//   16      1     length L of the software version text (at most 32)
//   17      L     software version text, ASCII ("01.12.05")
//   17+L    4     length N of the memory image (at most 65536)
//   21+L    N     the memory image: the bytes of the memory frame's body and
//                 its checksum, as unpacked from the line
//
// Nothing follows the image. Bytes of the memory beyond N are zero, as after
// the program's first download.
#include <QByteArray>
#include <QString>
#include <cstdint>

#include "platform/device_data.h"

namespace memory_image_file {
constexpr char kMagic[8] = {'K', 'L', 'T', '3', 'M', 'E', 'M', 0x1A};
constexpr uint16_t kVersion = 1;
constexpr int kMaxVersionText = 32;
// The largest file EncodeMemoryImageFile makes.
constexpr int kMaxFileSize = 21 + kMaxVersionText + kMemoryImageSize;
}  // namespace memory_image_file

// The file of a download: its identity and the first `length` bytes of its
// image.
QByteArray EncodeMemoryImageFile(const DownloadResult& download);

// Reads the file at `path` for DecodeMemoryImageFile: a folder, a FIFO or a
// device is refused at once, and no more than one byte past the largest
// image file is read (a longer file is no image). Returns false with the
// reason, in Russian, in *error.
bool ReadMemoryImageFileBytes(const QString& path, QByteArray* bytes, QString* error);

// Fills the download (its image with zeros beyond the length) from the
// file's bytes. Returns false with the reason, in Russian, in *error; the
// download is left as it was then.
bool DecodeMemoryImageFile(const QByteArray& file, DownloadResult* download, QString* error);
