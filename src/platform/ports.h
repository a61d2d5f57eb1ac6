#pragma once
// The program names its ports "\\.\COM1" and "\\.\COM2". Where they lead is
// decided here only: on Windows the name itself; elsewhere the per-user
// settings values COM1 / COM2 (device paths) when present, else /dev/ttyS0
// and /dev/ttyS1.
//
// Beside them the settings keep the operator's choice of port ("Порт
// прибора…") and the port on which an instrument last answered.
#include <QString>

QString ResolvePortName(const QString& portName);

// The port chosen for downloads: empty for the automatic search; "COM1" or
// "COM2" for the program's port of that name; else a device path.
QString ChosenPort();
// Returns false when the settings could not be written.
bool StoreChosenPort(const QString& port);

// The device on which an instrument last answered; empty when none did.
QString LastAnsweredPort();
void StoreLastAnsweredPort(const QString& device);

// The name the transport opens for a stored port value: "COM1" and "COM2"
// become the program's port names, device paths stay as they are.
QString PortNameOfChoice(const QString& choice);
