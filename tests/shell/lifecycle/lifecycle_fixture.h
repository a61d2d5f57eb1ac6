#pragma once
// What the lifecycle tests share: scripted answers to the modal dialogs, the
// real download dialog run against a simulated instrument, and the rows of
// a table file as an independent reader sees them.
#include <QDialog>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStringList>
#include <functional>
#include <vector>

#include "platform/dialogs.h"
#include "support/link_ports.h"
#include "support/recording_dialogs.h"
#include "simulator/sim_images.h"
#include "support/test_env.h"

// The lifecycle tests answer through the shared recorder.
using ScriptedDialogs = RecordingDialogs;


// The live rows of a table file read by an independent dBase reader, each
// as field name -> value (texts trimmed, numbers as numbers, blanks null).
inline std::vector<QJsonObject> FileRows(const QString& path) {
  static const char kScript[] = R"(
import json, sys
from dbfread import DBF
rows = [dict(r) for r in DBF(sys.argv[1], encoding='cp1251', char_decode_errors='strict')]
for r in rows:
    for k, v in r.items():
        if isinstance(v, str): r[k] = v.strip()
print(json.dumps(rows, ensure_ascii=False))
)";
  QByteArray out, err;
  std::vector<QJsonObject> rows;
  if (RunPython(QString::fromLatin1(kScript), {path}, &out, &err) != 0) {
    qWarning("dbf reader failed: %s", err.constData());
    return rows;
  }
  for (const QJsonValue& v : QJsonDocument::fromJson(out).array()) rows.push_back(v.toObject());
  return rows;
}
