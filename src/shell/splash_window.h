#pragma once
// The splash window shown during start-up: borderless, 400 x 77, centred on
// the desktop, one picture; it closes itself after 3000 ms (modal result 1).
#include <QDialog>
#include <QTimer>

class QLabel;

class SplashWindow : public QDialog {
  Q_OBJECT
 public:
  explicit SplashWindow(QWidget* parent = nullptr);

  // The timer that ends the showing.
  const QTimer& CloseTimer() const { return closeTimer_; }

  // Escape and the window system's close do not end the showing: only the
  // timer does.
  void reject() override {}

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void CloseByTimer();

  QTimer closeTimer_;
  QLabel* picture_ = nullptr;
};
