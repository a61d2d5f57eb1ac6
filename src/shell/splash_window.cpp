#include "shell/splash_window.h"

#include <QGuiApplication>
#include <QLabel>
#include <QScreen>

#include "shell/pictures.h"

TForm5::TForm5(QWidget* parent) : QDialog(parent, Qt::SplashScreen | Qt::FramelessWindowHint) {
  setFixedSize(400, 77);
  Image1 = new QLabel(this);
  Image1->setGeometry(0, 0, 400, 78);
  Image1->setPixmap(SplashPicture());
  Timer1.setInterval(3000);
  Timer1.setSingleShot(true);
  connect(&Timer1, &QTimer::timeout, this, &TForm5::Timer1Timer);
}

void TForm5::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  FormShow();
}

void TForm5::FormShow() {
  if (QScreen* screen = QGuiApplication::primaryScreen()) {
    const QRect desk = screen->geometry();
    move(desk.center() - rect().center());
  }
  Timer1.start();
}

void TForm5::Timer1Timer() {
  Timer1.stop();
  done(1);
}
