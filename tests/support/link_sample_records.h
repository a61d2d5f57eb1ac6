#pragma once
// Sample instrument records shared by the end-to-end tests of the main
// window and of the command-line tool, so both download the same data.
#include <QByteArray>
#include <algorithm>
#include <memory>
#include <vector>

#include "platform/device_data.h"
#include "simulator/sim_images.h"

// A download of `image` from an instrument of `type`, as the link hands it
// on; the memory beyond the image is zero.
inline std::unique_ptr<DownloadResult> DownloadOf(const QByteArray& image, uint8_t type,
                                                  uint16_t recordCount, uint16_t serial = 0) {
  auto result = std::make_unique<DownloadResult>();
  result->identity.type = type;
  result->identity.recordCount = recordCount;
  result->identity.serial = serial;
  result->length = uint32_t(std::min<qsizetype>(image.size(), kMemoryImageSize));
  std::copy_n(image.constData(), result->length, result->image.begin());
  return result;
}

// Three series of the water-permeability tester: numbers 5, 6 and 9
// (heights 105, 106, 109), the last one with a sample without a result.
inline std::vector<sim::WaterRecord> ThreeSeries() {
  std::vector<sim::WaterRecord> out;
  for (uint8_t serial : {5, 6, 9}) {
    sim::WaterRecord r;
    r.height = 100 + serial;
    r.series = serial;
    r.start = {10, 3, 5, 9, 0, 0};
    r.end = {10, 3, 7, 9, 0, 0};
    r.hold = {16, 0, 0};
    for (int s = 0; s < 6; ++s) r.samples[s] = {uint8_t(8 * (s + 1)), 0, 0};
    if (serial == 9) r.samples[2] = {1, 2, 156};
    out.push_back(r);
  }
  return out;
}

// Two plate tests, a square and a round plate.
inline std::vector<sim::PlateRecord> TwoPlateTests() {
  sim::PlateRecord a;
  a.hour = 10, a.minute = 20, a.second = 30, a.year = 10, a.month = 5, a.day = 25;
  a.r = 1234, a.p = 56, a.plate = 0xA8;
  sim::PlateRecord b = a;
  b.r = 200, b.p = 300, b.plate = 0x32;
  return {a, b};
}
