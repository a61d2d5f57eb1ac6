#include "shell/splash_window.h"

#include <QGuiApplication>
#include <QLabel>
#include <QScreen>

#include "shell/pictures.h"

SplashWindow::SplashWindow(QWidget* parent)
    : QDialog(parent, Qt::SplashScreen | Qt::FramelessWindowHint) {
  setFixedSize(400, 77);
  picture_ = new QLabel(this);
  picture_->setObjectName(QStringLiteral("picture"));
  picture_->setGeometry(0, 0, 400, 78);
  picture_->setPixmap(SplashPicture());
  closeTimer_.setInterval(3000);
  closeTimer_.setSingleShot(true);
  connect(&closeTimer_, &QTimer::timeout, this, &SplashWindow::CloseByTimer);
}

void SplashWindow::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (QScreen* screen = QGuiApplication::primaryScreen()) {
    const QRect desk = screen->geometry();
    move(desk.center() - rect().center());
  }
  closeTimer_.start();
}

void SplashWindow::CloseByTimer() {
  closeTimer_.stop();
  done(1);
}
