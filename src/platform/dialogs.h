#pragma once
// The one seam through which the program shows modal common dialogs and
// message boxes. Production code uses the real dialogs; tests install their
// own answers so that GUI tests run unattended.
#include <QColor>
#include <QMessageBox>
#include <QString>

class QWidget;
class QDialog;

class DialogSeam {
 public:
  virtual ~DialogSeam();
  // Return an empty text when the operator cancels.
  virtual QString GetOpenFileName(QWidget* parent, const QString& caption, const QString& dir,
                                  const QString& filter, const QString& defaultSuffix);
  virtual QString GetSaveFileName(QWidget* parent, const QString& caption, const QString& dir,
                                  const QString& filter, const QString& defaultSuffix);
  // Returns false when cancelled.
  virtual bool GetColor(QWidget* parent, const QColor& initial, QColor* chosen);
  virtual QMessageBox::StandardButton Message(QWidget* parent, QMessageBox::Icon icon,
                                              const QString& caption, const QString& text,
                                              QMessageBox::StandardButtons buttons);
  // A message box with detail text that the operator can unfold (which file,
  // what the instrument answered, what to try). The real dialogs show the
  // detail; a seam that does not override this gets the box as Message.
  virtual QMessageBox::StandardButton DetailedMessage(QWidget* parent, QMessageBox::Icon icon,
                                                      const QString& caption, const QString& text,
                                                      const QString& detail,
                                                      QMessageBox::StandardButtons buttons);
  // A question answered "Да" or "Нет", with the button that Enter presses.
  // A seam that does not override this gets the box as Message.
  virtual QMessageBox::StandardButton Ask(QWidget* parent, const QString& caption,
                                          const QString& text,
                                          QMessageBox::StandardButton defaultButton);
  // Runs a modal dialog of the program's own (preview, print dialog, ...).
  virtual int Exec(QDialog* dialog);
};

DialogSeam& Dialogs();
// Installs a replacement (tests); nullptr restores the real dialogs.
void SetDialogs(DialogSeam* seam);

// The application title (the task bar's text, the caption of the general
// error message). Kept here rather than in the application's display name,
// which some window systems append to every window title.
QString ApplicationTitle();
void SetApplicationTitle(const QString& title);

// The application's general error message: the error's text followed by a
// full stop, the application title as caption, an error icon, OK.
void ShowGeneralError(QWidget* parent, const QString& errorText);
// The same with detail text the operator can unfold.
void ShowGeneralError(QWidget* parent, const QString& errorText, const QString& detail);
