#pragma once
// The application's help file: "\\ФИР.HLP" unless a help file is found for
// the executable (FindHelpFile).
#include <QString>

QString ApplicationHelpFile();
void SetApplicationHelpFile(const QString& path);
// The name used when no help file is found beside the executable.
QString DefaultHelpFile();
// The full path of "klt3.hlp" in the folder, or empty when it is not there.
QString LocalHelpFile(const QString& folder);
// The help the program opens when started from the executable's folder, in
// this order: "klt3.hlp" beside the executable; the operator's guide
// installed with it (<prefix>/share/doc/klt3/index.html for <prefix>/bin);
// the guide the build writes (<build>/share/doc/klt3/index.html for the
// program in <build>/src/shell). Empty when none of them is there.
QString FindHelpFile(const QString& executableDir);
