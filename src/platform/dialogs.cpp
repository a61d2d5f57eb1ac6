#include "platform/dialogs.h"

#include <QApplication>
#include <QColorDialog>
#include <QDialog>
#include <QFileDialog>

DialogSeam::~DialogSeam() = default;

namespace {
// Applies the default extension when the operator typed a name without one.
QString WithSuffix(const QString& name, const QString& suffix) {
  if (name.isEmpty() || suffix.isEmpty()) return name;
  const int slash = name.lastIndexOf(QLatin1Char('/'));
  if (name.indexOf(QLatin1Char('.'), slash + 1) >= 0) return name;
  return name + QLatin1Char('.') + suffix;
}
}  // namespace

QString DialogSeam::GetOpenFileName(QWidget* parent, const QString& caption, const QString& dir,
                                    const QString& filter, const QString& defaultSuffix) {
  QFileDialog dlg(parent, caption, dir, filter);
  dlg.setAcceptMode(QFileDialog::AcceptOpen);
  dlg.setFileMode(QFileDialog::ExistingFile);
  dlg.setDefaultSuffix(defaultSuffix);
  if (dlg.exec() != QDialog::Accepted || dlg.selectedFiles().isEmpty()) return QString();
  return dlg.selectedFiles().first();
}

QString DialogSeam::GetSaveFileName(QWidget* parent, const QString& caption, const QString& dir,
                                    const QString& filter, const QString& defaultSuffix) {
  QFileDialog dlg(parent, caption, dir, filter);
  dlg.setAcceptMode(QFileDialog::AcceptSave);
  // Replacing an existing file is asked first (the dialog's own question):
  // a table or a workbook the operator keeps is never replaced by surprise.
  dlg.setDefaultSuffix(defaultSuffix);
  if (dlg.exec() != QDialog::Accepted || dlg.selectedFiles().isEmpty()) return QString();
  return WithSuffix(dlg.selectedFiles().first(), defaultSuffix);
}

bool DialogSeam::GetColor(QWidget* parent, const QColor& initial, QColor* chosen) {
  const QColor c = QColorDialog::getColor(initial, parent);
  if (!c.isValid()) return false;
  *chosen = c;
  return true;
}

namespace {
// Escape and the window's close button give a question its safe answer:
// "Отмена" where the step can be called off, else "Нет".
void SetSafeEscape(QMessageBox* box, QMessageBox::StandardButtons buttons) {
  if (buttons.testFlag(QMessageBox::Cancel)) {
    box->setEscapeButton(QMessageBox::Cancel);
  } else if (buttons.testFlag(QMessageBox::No)) {
    box->setEscapeButton(QMessageBox::No);
  }
}

QMessageBox::StandardButton RunMessageBox(QWidget* parent, QMessageBox::Icon icon,
                                          const QString& caption, const QString& text,
                                          const QString& detail,
                                          QMessageBox::StandardButtons buttons) {
  QMessageBox box(icon, caption, text, buttons, parent);
  SetSafeEscape(&box, buttons);
  if (!detail.isEmpty()) box.setDetailedText(detail);
  return static_cast<QMessageBox::StandardButton>(box.exec());
}
}  // namespace

QMessageBox::StandardButton DialogSeam::Message(QWidget* parent, QMessageBox::Icon icon,
                                                const QString& caption, const QString& text,
                                                QMessageBox::StandardButtons buttons) {
  return RunMessageBox(parent, icon, caption, text, QString(), buttons);
}

QMessageBox::StandardButton DialogSeam::DetailedMessage(QWidget* parent, QMessageBox::Icon icon,
                                                        const QString& caption,
                                                        const QString& text, const QString&,
                                                        QMessageBox::StandardButtons buttons) {
  return Message(parent, icon, caption, text, buttons);
}

QMessageBox::StandardButton DialogSeam::Ask(QWidget* parent, const QString& caption,
                                            const QString& text, QMessageBox::StandardButton) {
  return Message(parent, QMessageBox::Question, caption, text,
                 QMessageBox::Yes | QMessageBox::No);
}

namespace {
// The real dialogs: the base's, with the detail text and the default button
// shown.
class SystemDialogs : public DialogSeam {
 public:
  QMessageBox::StandardButton DetailedMessage(QWidget* parent, QMessageBox::Icon icon,
                                              const QString& caption, const QString& text,
                                              const QString& detail,
                                              QMessageBox::StandardButtons buttons) override {
    return RunMessageBox(parent, icon, caption, text, detail, buttons);
  }
  QMessageBox::StandardButton Ask(QWidget* parent, const QString& caption, const QString& text,
                                  QMessageBox::StandardButton defaultButton) override {
    QMessageBox box(QMessageBox::Question, caption, text, QMessageBox::Yes | QMessageBox::No,
                    parent);
    box.setDefaultButton(defaultButton);
    SetSafeEscape(&box, QMessageBox::Yes | QMessageBox::No);
    return static_cast<QMessageBox::StandardButton>(box.exec());
  }
};
}  // namespace

int DialogSeam::Exec(QDialog* dialog) { return dialog->exec(); }

namespace {
SystemDialogs g_real;
DialogSeam* g_current = &g_real;
}  // namespace

DialogSeam& Dialogs() { return *g_current; }
void SetDialogs(DialogSeam* seam) { g_current = seam ? seam : &g_real; }

namespace {
QString& TitleStorage() {
  static QString title = QString::fromUtf8("ФИР  - ТЛ7");
  return title;
}
}  // namespace

QString ApplicationTitle() { return TitleStorage(); }
void SetApplicationTitle(const QString& title) { TitleStorage() = title; }

void ShowGeneralError(QWidget* parent, const QString& errorText) {
  ShowGeneralError(parent, errorText, QString());
}

void ShowGeneralError(QWidget* parent, const QString& errorText, const QString& detail) {
  QString text = errorText;
  if (!text.endsWith(QLatin1Char('.'))) text += QLatin1Char('.');
  if (detail.isEmpty())
    Dialogs().Message(parent, QMessageBox::Critical, ApplicationTitle(), text, QMessageBox::Ok);
  else
    Dialogs().DetailedMessage(parent, QMessageBox::Critical, ApplicationTitle(), text, detail,
                              QMessageBox::Ok);
}
