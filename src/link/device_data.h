#pragma once
// What a download leaves for the rest of the program: the instrument's
// identity and the unpacked body of its memory frame. Program-wide, written
// by the download dialog, read by the decoders, the lifecycle and reports.
#include <QString>
#include <array>
#include <cstdint>

struct TDeviceIdentity {
  uint8_t kind = 0;          // device kind; only used to admit instruments
  uint8_t type = 0;          // device type (1, 2: water permeability; 13+: plate)
  QString version;           // software version, shown only
  uint16_t serial = 0;       // serial number
  uint16_t recordCount = 0;  // from one byte of the identification frame
};

constexpr int kDeviceDumpSize = 65536;
using TDeviceDump = std::array<uint8_t, kDeviceDumpSize>;

extern TDeviceIdentity DeviceIdentity;
extern TDeviceDump DeviceDump;
