#include "simulator/sim_images.h"

#include <QList>

namespace sim {

QByteArray WaterRecordBytes(const WaterRecord& r) {
  QByteArray b(kWaterRecordSize, '\0');
  b[0] = static_cast<char>(r.height);
  b[1] = static_cast<char>(r.series);
  for (int i = 0; i < 6; ++i) {
    b[2 + i] = static_cast<char>(r.start[i]);
    b[8 + i] = static_cast<char>(r.end[i]);
  }
  for (int i = 0; i < 3; ++i) b[14 + i] = static_cast<char>(r.hold[i]);
  b[17] = static_cast<char>(r.mode);
  for (int s = 0; s < 6; ++s)
    for (int i = 0; i < 3; ++i) b[18 + 3 * s + i] = static_cast<char>(r.samples[s][i]);
  return b;
}

QByteArray BuildWaterImage(const std::vector<WaterRecord>& records) {
  QByteArray image;
  for (const WaterRecord& r : records) image += WaterRecordBytes(r);
  return image;
}

namespace {
void AppendWord(QByteArray* b, uint16_t w) {
  b->append(static_cast<char>(w & 0xFF));
  b->append(static_cast<char>(w >> 8));
}
}  // namespace

QByteArray BuildPlateImage(const std::vector<PlateRecord>& records, uint16_t recordSize,
                           int padTo) {
  if (recordSize < kPlateRecordMinSize) recordSize = kPlateRecordMinSize;
  QByteArray image;
  AppendWord(&image, static_cast<uint16_t>(records.size()));
  AppendWord(&image, recordSize);
  for (const PlateRecord& r : records) {
    QByteArray rec;
    rec.append(static_cast<char>(r.hour));
    rec.append(static_cast<char>(r.minute));
    rec.append(static_cast<char>(r.second));
    rec.append(static_cast<char>(r.year));
    rec.append(static_cast<char>(r.month));
    rec.append(static_cast<char>(r.day));
    AppendWord(&rec, r.r);
    AppendWord(&rec, r.p);
    rec.append(static_cast<char>(r.plate));
    rec.append(QByteArray(recordSize - rec.size(), '\0'));
    image += rec;
  }
  if (padTo > image.size()) image.append(QByteArray(padTo - image.size(), '\0'));
  return image;
}

std::vector<WaterRecord> GenerateWaterRecords(int n) {
  std::vector<WaterRecord> out;
  for (int i = 0; i < n; ++i) {
    WaterRecord r;
    r.height = static_cast<uint8_t>(100 + (i % 4) * 25);
    r.series = static_cast<uint8_t>(i + 1);
    const uint8_t day = static_cast<uint8_t>(1 + i % 26);
    r.start = {10, static_cast<uint8_t>(1 + i % 12), day, 9, 15, 0};
    r.end = {10, static_cast<uint8_t>(1 + i % 12), static_cast<uint8_t>(day + 2), 9, 15, 0};
    r.hold = {16, 0, 0};
    r.mode = i % 7 == 6 ? 5 : 0;
    for (int s = 0; s < 6; ++s) {
      if ((i + s) % 5 == 4) {
        r.samples[s] = {0, 0, 156};  // no result
      } else {
        r.samples[s] = {static_cast<uint8_t>((s + 1) * 8 + i % 3), static_cast<uint8_t>(i % 60),
                        static_cast<uint8_t>((i * 7 + s) % 60)};
      }
    }
    out.push_back(r);
  }
  return out;
}

std::vector<PlateRecord> GeneratePlateRecords(int n) {
  std::vector<PlateRecord> out;
  for (int i = 0; i < n; ++i) {
    PlateRecord r;
    r.hour = static_cast<uint8_t>(8 + i % 10);
    r.minute = static_cast<uint8_t>(i % 60);
    r.second = static_cast<uint8_t>((i * 13) % 60);
    r.year = 10;
    r.month = static_cast<uint8_t>(1 + i % 12);
    r.day = static_cast<uint8_t>(1 + i % 28);
    r.r = static_cast<uint16_t>(500 + (i * 37) % 4000);
    r.p = static_cast<uint16_t>(20 + (i * 11) % 900);
    r.plate = i % 2 == 0 ? 0xA8 : 0x32;  // 40x40 square, round 50
    out.push_back(r);
  }
  return out;
}

QByteArray IdentificationBody(const Identity& id) {
  QByteArray b;
  b.append(static_cast<char>(id.kind));
  b.append(static_cast<char>(id.type));
  // The version travels as its third, second and first number.
  b.append(static_cast<char>(id.version[0]));
  b.append(static_cast<char>(id.version[1]));
  b.append(static_cast<char>(id.version[2]));
  AppendWord(&b, id.serial);
  b.append(QByteArray(4, '\0'));  // not read by the program
  b.append(static_cast<char>(id.recordCount));
  return b;
}

namespace {
// Two characters a byte, low nibble first, from `out` on; returns the end.
char* EncodeInto(const char* bytes, qsizetype size, char* out) {
  for (qsizetype i = 0; i < size; ++i) {
    const auto b = static_cast<uint8_t>(bytes[i]);
    *out++ = static_cast<char>(0x30 + (b & 15));
    *out++ = static_cast<char>(0x30 + (b >> 4));
  }
  return out;
}

uint32_t ChecksumOf(const char* chars, qsizetype size) {
  uint32_t sum = 0;
  uint16_t counter = 0;
  for (qsizetype i = 0; i < size; ++i) {
    ++counter;
    sum += static_cast<uint16_t>(static_cast<uint8_t>(chars[i]) ^ counter);
  }
  return sum;
}
}  // namespace

QByteArray EncodeBytes(const QByteArray& bytes) {
  QByteArray out(bytes.size() * 2, Qt::Uninitialized);
  EncodeInto(bytes.constData(), bytes.size(), out.data());
  return out;
}

uint32_t FrameChecksum(const QByteArray& bodyChars) {
  return ChecksumOf(bodyChars.constData(), bodyChars.size());
}

QByteArray EncodeFrame(const QByteArray& body, bool corrupt) {
  // Built in place: a memory frame is the whole memory's characters, and
  // the fuzz targets and tests build many.
  QByteArray frame(1 + 2 * body.size() + 8 + 1, Qt::Uninitialized);
  char* const chars = frame.data() + 1;
  frame[0] = 'S';
  char* end = EncodeInto(body.constData(), body.size(), chars);
  uint32_t sum = ChecksumOf(chars, end - chars);
  if (corrupt) ++sum;
  char sumBytes[4];
  for (int i = 0; i < 4; ++i) sumBytes[i] = static_cast<char>(sum >> (8 * i));
  end = EncodeInto(sumBytes, 4, end);
  *end = 'P';
  return frame;
}

bool ParseRecordsText(const QByteArray& text, std::vector<QByteArray>* records, QString* error) {
  records->clear();
  int lineNo = 0;
  for (QByteArray line : text.split('\n')) {
    ++lineNo;
    const int hash = line.indexOf('#');
    if (hash >= 0) line.truncate(hash);
    line = line.simplified();
    if (line.isEmpty()) continue;
    QByteArray rec;
    for (const QByteArray& item : line.split(' ')) {
      bool ok = false;
      const uint v = item.toUInt(&ok, 16);
      if (!ok || v > 255) {
        *error = QStringLiteral("line %1: \"%2\" is not a hexadecimal byte")
                     .arg(lineNo)
                     .arg(QString::fromLatin1(item));
        return false;
      }
      rec.append(static_cast<char>(v));
    }
    if (!records->empty() && rec.size() != records->front().size()) {
      *error = QStringLiteral("line %1: %2 bytes, the first record has %3")
                   .arg(lineNo)
                   .arg(rec.size())
                   .arg(records->front().size());
      return false;
    }
    records->push_back(rec);
  }
  return true;
}

}  // namespace sim
