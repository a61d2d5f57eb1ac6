#pragma once
// The instruments a table's rows come from, told by their device type.
#include <QString>

// The plate tester "ЗЕН-ТЛ7": device type 13, and 16 and up.
inline bool IsPlateTesterType(int deviceType) { return deviceType == 13 || deviceType >= 16; }

// The instrument of plate rows of a device type: "ЗЕН-ТЛ7" for the plate
// tester's, "ДК-ТЛ7" for the others.
inline QString PlateInstrumentName(int deviceType) {
  return IsPlateTesterType(deviceType) ? QStringLiteral("ЗЕН-ТЛ7") : QStringLiteral("ДК-ТЛ7");
}
