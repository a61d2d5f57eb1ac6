#pragma once
// The dialog seam for tests: the file and colour dialogs answer from queues
// (an empty queue cancels), message boxes answer `answer` and are recorded
// with their detail text, and the program's own modal dialogs go to `exec`
// (cancelled when it is not set). Hooks see each message and dialog as it
// comes, for what a test must look at in that instant.
#include <QColor>
#include <QDialog>
#include <QStringList>
#include <functional>
#include <vector>

#include "platform/dialogs.h"

struct RecordingDialogs : DialogSeam {
  struct Shown {
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QString caption;
    QString text;
    QString detail;
    QMessageBox::StandardButtons buttons;
  };

  QStringList openNames;
  QStringList saveNames;
  // The folder each file dialog started in: "open:<dir>" / "save:<dir>".
  QStringList dirs;
  // What the last save dialog was given, and how often one was shown.
  QString filter, suffix;
  int saveAsked = 0;

  std::vector<QColor> colors;          // an invalid colour cancels
  std::vector<QColor> colorsOpenedOn;  // the colour each dialog started with

  QMessageBox::StandardButton answer = QMessageBox::No;
  std::vector<Shown> messages;
  std::function<void(const Shown&)> onMessage;

  std::vector<QDialog*> executed;
  std::function<int(QDialog*)> exec;

  // The texts of the messages shown, in order.
  QStringList Texts() const {
    QStringList out;
    for (const Shown& m : messages) out << m.text;
    return out;
  }

  QString GetOpenFileName(QWidget*, const QString&, const QString& dir, const QString&,
                          const QString&) override {
    dirs << QStringLiteral("open:") + dir;
    return openNames.isEmpty() ? QString() : openNames.takeFirst();
  }
  QString GetSaveFileName(QWidget*, const QString&, const QString& dir, const QString& f,
                          const QString& s) override {
    dirs << QStringLiteral("save:") + dir;
    ++saveAsked;
    filter = f;
    suffix = s;
    return saveNames.isEmpty() ? QString() : saveNames.takeFirst();
  }
  bool GetColor(QWidget*, const QColor& initial, QColor* chosen) override {
    colorsOpenedOn.push_back(initial);
    const QColor c = colors.empty() ? QColor() : colors.front();
    if (!colors.empty()) colors.erase(colors.begin());
    if (!c.isValid()) return false;
    *chosen = c;
    return true;
  }
  QMessageBox::StandardButton Message(QWidget*, QMessageBox::Icon icon, const QString& caption,
                                      const QString& text,
                                      QMessageBox::StandardButtons buttons) override {
    return Record({icon, caption, text, QString(), buttons});
  }
  QMessageBox::StandardButton DetailedMessage(QWidget*, QMessageBox::Icon icon,
                                              const QString& caption, const QString& text,
                                              const QString& detail,
                                              QMessageBox::StandardButtons buttons) override {
    return Record({icon, caption, text, detail, buttons});
  }
  int Exec(QDialog* dialog) override {
    executed.push_back(dialog);
    return exec ? exec(dialog) : int(QDialog::Rejected);
  }

 private:
  QMessageBox::StandardButton Record(const Shown& shown) {
    messages.push_back(shown);
    if (onMessage) onMessage(shown);
    return answer;
  }
};
