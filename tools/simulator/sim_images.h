#pragma once
// Memory images and frames as the instruments produce them: records of the
// water-permeability tester and of the plate tester, the identification
// frame body, and the nibble encoding with its checksum. Used by the
// simulator and by tests that need realistic images.
#include <QByteArray>
#include <QString>
#include <array>
#include <cstdint>
#include <vector>

namespace sim {

// One series of the water-permeability tester: a 36-byte record.
struct WaterRecord {
  uint8_t height = 150;            // sample height, mm
  uint8_t series = 1;              // series number
  std::array<uint8_t, 6> start{};  // year - 2000, month, day, hours, minutes, seconds
  std::array<uint8_t, 6> end{};    // the same for the end of the test
  std::array<uint8_t, 3> hold{};   // holding time per pressure step: h, m, s
  uint8_t mode = 0;                // test mode; 5: not to the standard
  std::array<std::array<uint8_t, 3>, 6> samples{};  // elapsed h, m, s; s = 156: no result
};
constexpr int kWaterRecordSize = 36;

// One test of the plate tester: 11 bytes, padded to the record size.
struct PlateRecord {
  uint8_t hour = 0, minute = 0, second = 0;
  uint8_t year = 10, month = 1, day = 1;  // year - 2000
  uint16_t r = 0;                         // strength, hundredths of MPa
  uint16_t p = 0;                         // force, hundredths of kN
  uint8_t plate = 0;                      // bit 7: square; bits 0-6: size, mm
};
constexpr int kPlateRecordMinSize = 11;

QByteArray WaterRecordBytes(const WaterRecord& r);
// The water-permeability image: the records one after the other from 0.
QByteArray BuildWaterImage(const std::vector<WaterRecord>& records);
// The plate image: record count and record size (16-bit, little-endian),
// then the records, each padded with zeros to recordSize (at least 11).
// padTo, when larger, appends zero bytes up to that image size.
QByteArray BuildPlateImage(const std::vector<PlateRecord>& records,
                           uint16_t recordSize = kPlateRecordMinSize, int padTo = 0);

// Plausible records, the same for the same n.
std::vector<WaterRecord> GenerateWaterRecords(int n);
std::vector<PlateRecord> GeneratePlateRecords(int n);

// What the identification frame carries.
struct Identity {
  uint8_t kind = 1;
  uint8_t type = 1;
  std::array<uint8_t, 3> version{5, 12, 1};  // shown as 01.12.05
  uint16_t serial = 1234;
  uint8_t recordCount = 0;
};
constexpr uint8_t kWaterKind = 1, kWaterType = 1;
constexpr uint8_t kPlateKind = 17, kPlateType = 16;
QByteArray IdentificationBody(const Identity& id);

// Two nibble characters per byte, low nibble first.
QByteArray EncodeBytes(const QByteArray& bytes);
// The instrument's 32-bit checksum of the body characters.
uint32_t FrameChecksum(const QByteArray& bodyChars);
// "S", the encoded body, the checksum, "P". corrupt: the checksum is off by one.
QByteArray EncodeFrame(const QByteArray& body, bool corrupt = false);

// Parses a records file: one record per line as hexadecimal bytes
// separated by blanks; "#" starts a comment. Every record must have the
// same length. Returns false with a message on a malformed file.
bool ParseRecordsText(const QByteArray& text, std::vector<QByteArray>* records, QString* error);

}  // namespace sim
