#pragma once
// The about box "О программе": product name, version line, one line of text
// and the button "ОК".
#include <QDialog>
#include <QString>

class QLabel;
class QPushButton;

// The four-part version shown in the about box, made from the version the
// build compiled in: missing parts become 0; anything that is not up to four
// dot-separated numbers gives "0.0.0.0".
QString FileVersionText(const QString& compiled);
// The version of this program ("0.0.0.0" when none was compiled in).
QString ProgramFileVersion();

class AboutBox : public QDialog {
  Q_OBJECT
 public:
  explicit AboutBox(QWidget* parent = nullptr);

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  QLabel* productName_ = nullptr;
  QLabel* versionLabel_ = nullptr;
  QLabel* commentsLabel_ = nullptr;
  QPushButton* okButton_ = nullptr;
};
