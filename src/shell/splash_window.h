#pragma once
// The splash window shown during start-up: borderless, 400 x 77, centred on
// the desktop, one picture; it closes itself after 3000 ms (modal result 1).
#include <QDialog>
#include <QTimer>

class QLabel;

class TForm5 : public QDialog {
  Q_OBJECT
 public:
  explicit TForm5(QWidget* parent = nullptr);

  void FormShow();
  void Timer1Timer();

  QTimer Timer1;
  QLabel* Image1 = nullptr;

 protected:
  void showEvent(QShowEvent* event) override;
};
