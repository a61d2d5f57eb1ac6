#pragma once
// What a download yields, and what the device type says about the
// instrument. The link fills a DownloadResult; the table, the decoders and
// the reports take it and go by the rules below.
#include <QString>
#include <array>
#include <cstdint>

struct DeviceIdentity {
  uint8_t kind = 0;          // device kind; only used to admit instruments
  uint8_t type = 0;          // device type (1, 2: water permeability; 13+: plate)
  QString version;           // software version, shown only
  uint16_t serial = 0;       // serial number
  uint16_t recordCount = 0;  // from one byte of the identification frame
};

constexpr int kMemoryImageSize = 65536;
using MemoryImage = std::array<uint8_t, kMemoryImageSize>;

// A download's outcome: who the instrument is and the unpacked body of its
// memory frame.
struct DownloadResult {
  DeviceIdentity identity;
  MemoryImage image{};
  // Bytes of `image` the memory frame filled (its body and checksum); the
  // bytes beyond are not this instrument's (an earlier download's, or zeros).
  uint32_t length = 0;
};

// Device types up to this one are water-permeability testers: their memory
// holds series records, and the others' plate tests.
constexpr int kLastWaterDeviceType = 15;
inline bool IsWaterDeviceType(int deviceType) { return deviceType <= kLastWaterDeviceType; }

// The plate tester "ЗЕН-ТЛ7": device type 13, and 16 and up.
inline bool IsPlateTesterType(int deviceType) { return deviceType == 13 || deviceType >= 16; }

// The instrument of plate rows of a device type: "ЗЕН-ТЛ7" for the plate
// tester's, "ДК-ТЛ7" for the others.
inline QString PlateInstrumentName(int deviceType) {
  return IsPlateTesterType(deviceType) ? QStringLiteral("ЗЕН-ТЛ7") : QStringLiteral("ДК-ТЛ7");
}
