#pragma once
// The program names its ports "\\.\COM1" and "\\.\COM2". Where they lead is
// decided here only: on Windows the name itself; elsewhere the per-user
// settings values COM1 / COM2 (device paths) when present, else /dev/ttyS0
// and /dev/ttyS1.
#include <QString>

QString ResolvePortName(const QString& portName);
