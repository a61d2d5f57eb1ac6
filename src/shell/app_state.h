#pragma once
// The application's help file: "\\ФИР.HLP" unless a "klt3.hlp" lies beside
// the executable.
#include <QString>

QString ApplicationHelpFile();
void SetApplicationHelpFile(const QString& path);
// The name used when no help file is found beside the executable.
QString DefaultHelpFile();
// The full path of "klt3.hlp" in the folder, or empty when it is not there.
QString LocalHelpFile(const QString& folder);
