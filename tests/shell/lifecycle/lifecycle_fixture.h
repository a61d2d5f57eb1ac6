#pragma once
// What the lifecycle tests share: scripted answers to the modal dialogs, the
// real download dialog run against a simulated instrument, and the rows of
// a table file as an independent reader sees them.
#include <QDialog>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTimer>
#include <QStringList>
#include <functional>
#include <vector>

#include "platform/dialogs.h"
#include "simulator/sim_images.h"
#include "support/test_env.h"

// Answers the file dialogs from queues (an empty queue cancels), the
// message boxes with `answer`, and records every message shown.
struct ScriptedDialogs : DialogSeam {
  struct Shown {
    QMessageBox::Icon icon;
    QString caption;
    QString text;
  };
  QStringList saveNames;
  QStringList openNames;
  // The folder each file dialog started in: "open:<dir>" / "save:<dir>".
  QStringList dirs;
  QMessageBox::StandardButton answer = QMessageBox::No;
  std::vector<Shown> messages;
  // Called as each message is shown.
  std::function<void()> onMessage;
  // Runs in place of a modal dialog; the default cancels it.
  std::function<int(QDialog*)> exec;

  QString GetOpenFileName(QWidget*, const QString&, const QString& dir, const QString&,
                          const QString&) override {
    dirs << QStringLiteral("open:") + dir;
    return openNames.isEmpty() ? QString() : openNames.takeFirst();
  }
  QString GetSaveFileName(QWidget*, const QString&, const QString& dir, const QString&,
                          const QString&) override {
    dirs << QStringLiteral("save:") + dir;
    return saveNames.isEmpty() ? QString() : saveNames.takeFirst();
  }
  bool GetColor(QWidget*, const QColor&, QColor*) override { return false; }
  QMessageBox::StandardButton Message(QWidget*, QMessageBox::Icon icon, const QString& caption,
                                      const QString& text, QMessageBox::StandardButtons) override {
    messages.push_back({icon, caption, text});
    if (onMessage) onMessage();
    return answer;
  }
  int Exec(QDialog* dialog) override { return exec ? exec(dialog) : QDialog::Rejected; }
};

// Runs the real download dialog; a guard timer cancels a dialog that never
// finishes.
inline int RunDownloadDialog(QDialog* dialog) {
  QTimer guard;
  guard.setSingleShot(true);
  QObject::connect(&guard, &QTimer::timeout, dialog, &QDialog::reject);
  guard.start(30000);
  return dialog->exec();
}

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
