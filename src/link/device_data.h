#pragma once
// What a download yields: the instrument's identity and the unpacked body of
// its memory frame. Each download object holds its own; the decoders, the
// table and the reports are handed them.
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
