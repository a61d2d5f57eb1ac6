#pragma once
// What every writer asks before it replaces a file the operator named.
#include <QByteArray>
#include <QString>
#include <QStringList>

// Why `target` must not be written: it is one of `sources` (the file the
// command reads, the open table or its index; the same file under any
// name), a table another program holds open, or a file the user made
// read-only. Empty when it may be written.
QString WriteTargetRefusal(const QString& target, const QStringList& sources);

// Throws OperatorError with WriteTargetRefusal's text when there is one.
void CheckWriteTarget(const QString& target, const QStringList& sources);

// Replaces the file at `path` with `bytes` as ReplaceFileContents does
// (`durable`: on the disk before it takes the name). 0, or the errno of the
// failed step.
int ReplaceFile(const QString& path, const QByteArray& bytes, bool durable);
